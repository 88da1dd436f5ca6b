// The SANE 1.0 entry points of the tarvoscn backend.
//
// One driver per process (sane_init to sane_exit) and one open scanner at a
// time: the driver keeps one state. sane_start reads the whole next sheet
// into the driver's page buffer, so the page's size is exact from then on;
// sane_read hands out its rows. The backend blocks; it has no select
// descriptor.
#include <sane/sane.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "Config.h"
#include "Device.h"
#include "Options.h"

#define TARVO_SANE_EXPORT extern "C" __attribute__((visibility("default")))

namespace tarvo::sanebackend {
namespace {

constexpr SANE_Int kBuild = 1;
constexpr const char* kDeviceType = "sheetfed scanner";

enum class Stage : std::uint8_t {
  kIdle,     // no batch, or the batch ended
  kBetween,  // a batch runs; the last page was read to its end
  kReading,  // a page is in the buffer
};

struct Handle {
  explicit Handle(Driver& driver) : options(driver) {}
  OptionSet options;
  Stage stage = Stage::kIdle;
  bool batch = false;
  Page page;
  SANE_Parameters parameters{};
  std::size_t row = 0;     // next row of the page to hand out
  std::size_t offset = 0;  // bytes of that row already handed out
};

// Everything between sane_init and sane_exit. A plain pointer on purpose:
// frontends may call sane_exit from their own exit handlers, after the
// library's static objects are gone.
struct Backend {
  std::unique_ptr<Driver> driver;
  std::unique_ptr<Handle> handle;
  std::vector<ScannerEntry> entries;
  std::vector<SANE_Device> devices;
  std::vector<const SANE_Device*> deviceList;
  std::vector<std::string> names;
};
constinit Backend* g_backend = nullptr;
// Set by sane_cancel, which may run in a signal handler while the driver
// waits for a sheet; the driver's page wait asks it.
std::atomic<bool> g_cancel{false};
std::atomic<bool> g_busy{false};

std::int32_t CancelRequested() { return g_cancel.load() ? 1 : 0; }

// While the driver works: a sane_cancel then only leaves its request.
struct BusyScope {
  BusyScope() { g_busy = true; }
  ~BusyScope() { g_busy = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
};

std::string DeviceName(const ScannerEntry& e) {
  return std::to_string(e.adapter) + ":" + std::to_string(e.target);
}

// The device name without the backend's prefix, which frontends may give.
const char* WithoutPrefix(const char* name) {
  constexpr const char kPrefix[] = "tarvoscn:";
  if (std::strncmp(name, kPrefix, sizeof kPrefix - 1) == 0) return name + sizeof kPrefix - 1;
  return name;
}

SANE_Parameters PageParameters(const Page& page) {
  SANE_Parameters p{};
  p.format = SANE_FRAME_GRAY;
  p.last_frame = SANE_TRUE;
  p.pixels_per_line = page.width;
  p.lines = page.height;
  p.depth = page.gray ? 8 : 1;
  p.bytes_per_line = page.gray ? page.width : (page.width + 7) / 8;
  return p;
}

struct StatusTextRow {
  SANE_Status status;
  const char* text;
};
constexpr StatusTextRow kStatusTexts[] = {
    {SANE_STATUS_GOOD, "Success"},
    {SANE_STATUS_UNSUPPORTED, "Operation not supported"},
    {SANE_STATUS_CANCELLED, "Operation was cancelled"},
    {SANE_STATUS_DEVICE_BUSY, "Device busy"},
    {SANE_STATUS_INVAL, "Invalid argument"},
    {SANE_STATUS_EOF, "End of file reached"},
    {SANE_STATUS_JAMMED, "Document feeder jammed"},
    {SANE_STATUS_NO_DOCS, "Document feeder out of documents"},
    {SANE_STATUS_COVER_OPEN, "Scanner cover is open"},
    {SANE_STATUS_IO_ERROR, "Error during device I/O"},
    {SANE_STATUS_NO_MEM, "Out of memory"},
    {SANE_STATUS_ACCESS_DENIED, "Access to resource has been denied"},
};

const char* StatusText(SANE_Status status) {
  for (const StatusTextRow& row : kStatusTexts) {
    if (row.status == status) return row.text;
  }
  return "Unknown SANE status code";
}

bool IsOurs(SANE_Handle h) {
  return h != nullptr && g_backend != nullptr && h == g_backend->handle.get();
}

void EndBatch(Handle& h) {
  if (h.batch) g_backend->driver->EndBatch();
  h.batch = false;
  h.stage = Stage::kIdle;
}

}  // namespace
}  // namespace tarvo::sanebackend

using namespace tarvo::sanebackend;

TARVO_SANE_EXPORT SANE_Status sane_tarvoscn_init(SANE_Int* version, SANE_Auth_Callback) {
  if (version != nullptr) *version = SANE_VERSION_CODE(SANE_CURRENT_MAJOR, 0, kBuild);
  if (g_backend != nullptr) return SANE_STATUS_GOOD;
  auto* backend = new (std::nothrow) Backend;
  if (backend == nullptr) return SANE_STATUS_NO_MEM;
  backend->driver = Driver::Create(ReadConfig(ConfigFolders(std::getenv("SANE_CONFIG_DIR"))));
  if (!backend->driver) {
    delete backend;
    return SANE_STATUS_NO_MEM;
  }
  g_backend = backend;
  return SANE_STATUS_GOOD;
}

TARVO_SANE_EXPORT void sane_tarvoscn_exit(void) {
  Backend* backend = g_backend;
  g_backend = nullptr;
  if (backend == nullptr) return;
  if (backend->handle) {
    Handle& h = *backend->handle;
    if (h.batch) backend->driver->EndBatch();
  }
  delete backend;
}

TARVO_SANE_EXPORT SANE_Status sane_tarvoscn_get_devices(const SANE_Device*** list, SANE_Bool) {
  if (list == nullptr) return SANE_STATUS_INVAL;
  if (g_backend == nullptr) return SANE_STATUS_INVAL;
  Backend& b = *g_backend;
  // While a scanner is open the bus belongs to its batch: the list stays.
  if (!b.handle) b.entries = b.driver->FindScanners();
  b.names.clear();
  b.devices.clear();
  b.deviceList.clear();
  for (const ScannerEntry& e : b.entries) b.names.push_back(DeviceName(e));
  for (std::size_t i = 0; i < b.entries.size(); ++i) {
    b.devices.push_back({b.names[i].c_str(), b.entries[i].vendor.c_str(),
                         b.entries[i].model.c_str(), kDeviceType});
  }
  for (const SANE_Device& d : b.devices) b.deviceList.push_back(&d);
  b.deviceList.push_back(nullptr);
  *list = b.deviceList.data();
  return SANE_STATUS_GOOD;
}

TARVO_SANE_EXPORT SANE_Status sane_tarvoscn_open(SANE_String_Const name, SANE_Handle* handle) {
  if (handle == nullptr || name == nullptr) return SANE_STATUS_INVAL;
  *handle = nullptr;
  if (g_backend == nullptr) return SANE_STATUS_INVAL;
  Backend& b = *g_backend;
  if (b.handle) return SANE_STATUS_DEVICE_BUSY;
  if (b.entries.empty()) b.entries = b.driver->FindScanners();
  const char* wanted = WithoutPrefix(name);
  const ScannerEntry* entry = nullptr;
  for (const ScannerEntry& e : b.entries) {
    if (*wanted == '\0' || DeviceName(e) == wanted) {
      entry = &e;
      break;
    }
  }
  if (entry == nullptr) return SANE_STATUS_INVAL;
  if (SANE_Status st = b.driver->Open(*entry); st != SANE_STATUS_GOOD) return st;
  b.handle.reset(new (std::nothrow) Handle(*b.driver));
  if (!b.handle) return SANE_STATUS_NO_MEM;
  *handle = b.handle.get();
  return SANE_STATUS_GOOD;
}

TARVO_SANE_EXPORT void sane_tarvoscn_close(SANE_Handle h) {
  if (!IsOurs(h)) return;
  EndBatch(*g_backend->handle);
  g_backend->handle.reset();
}

TARVO_SANE_EXPORT const SANE_Option_Descriptor* sane_tarvoscn_get_option_descriptor(SANE_Handle h,
                                                                                    SANE_Int n) {
  if (!IsOurs(h)) return nullptr;
  return g_backend->handle->options.Descriptor(n);
}

TARVO_SANE_EXPORT SANE_Status sane_tarvoscn_control_option(SANE_Handle h, SANE_Int n,
                                                           SANE_Action action, void* value,
                                                           SANE_Int* info) {
  if (!IsOurs(h)) return SANE_STATUS_INVAL;
  if (info != nullptr) *info = 0;
  Handle& handle = *g_backend->handle;
  switch (action) {
    case SANE_ACTION_GET_VALUE:
      return handle.options.Get(n, value);
    case SANE_ACTION_SET_VALUE:
      if (handle.stage == Stage::kReading) return SANE_STATUS_DEVICE_BUSY;
      return handle.options.Set(n, value, info);
    case SANE_ACTION_SET_AUTO:
      if (handle.stage == Stage::kReading) return SANE_STATUS_DEVICE_BUSY;
      return handle.options.SetAuto(n, info);
  }
  return SANE_STATUS_INVAL;
}

TARVO_SANE_EXPORT SANE_Status sane_tarvoscn_get_parameters(SANE_Handle h, SANE_Parameters* p) {
  if (!IsOurs(h) || p == nullptr) return SANE_STATUS_INVAL;
  const Handle& handle = *g_backend->handle;
  *p = handle.stage == Stage::kReading ? handle.parameters : handle.options.Estimate();
  return SANE_STATUS_GOOD;
}

TARVO_SANE_EXPORT SANE_Status sane_tarvoscn_start(SANE_Handle h) {
  if (!IsOurs(h)) return SANE_STATUS_INVAL;
  Handle& handle = *g_backend->handle;
  if (handle.stage == Stage::kReading) return SANE_STATUS_DEVICE_BUSY;
  Driver& driver = *g_backend->driver;
  g_cancel = false;
  SANE_Status st = SANE_STATUS_GOOD;
  {
    const BusyScope busy;
    if (!handle.batch) {
      const SANE_Parameters estimate = handle.options.Estimate();
      if (estimate.pixels_per_line <= 0 || estimate.lines == 0) return SANE_STATUS_INVAL;
      if (handle.options.CustomGamma()) st = driver.SendGamma(handle.options.Gamma());
      if (st == SANE_STATUS_GOOD) st = driver.StartBatch();
      if (st != SANE_STATUS_GOOD) return st;
      handle.batch = true;
    }
    st = driver.NextPage(handle.page, &CancelRequested);
  }
  if (st != SANE_STATUS_GOOD) {
    handle.batch = false;  // the driver ended the batch
    handle.stage = Stage::kIdle;
    return st;
  }
  if (g_cancel) {
    EndBatch(handle);
    return SANE_STATUS_CANCELLED;
  }
  handle.parameters = PageParameters(handle.page);
  handle.row = 0;
  handle.offset = 0;
  handle.stage = Stage::kReading;
  return SANE_STATUS_GOOD;
}

TARVO_SANE_EXPORT SANE_Status sane_tarvoscn_read(SANE_Handle h, SANE_Byte* data, SANE_Int max,
                                                 SANE_Int* length) {
  if (length != nullptr) *length = 0;
  if (!IsOurs(h) || data == nullptr || length == nullptr || max < 0) return SANE_STATUS_INVAL;
  Handle& handle = *g_backend->handle;
  if (g_cancel) {
    EndBatch(handle);
    g_cancel = false;
    return SANE_STATUS_CANCELLED;
  }
  if (handle.stage != Stage::kReading) {
    return handle.stage == Stage::kBetween ? SANE_STATUS_EOF : SANE_STATUS_INVAL;
  }
  const std::size_t rows = static_cast<std::size_t>(handle.parameters.lines);
  const std::size_t line = static_cast<std::size_t>(handle.parameters.bytes_per_line);
  const std::size_t stride = static_cast<std::size_t>(handle.page.stride);
  std::size_t done = 0;
  const std::size_t room = static_cast<std::size_t>(max);
  while (done < room && handle.row < rows) {
    const std::size_t n = std::min(room - done, line - handle.offset);
    std::memcpy(data + done, handle.page.raster + handle.row * stride + handle.offset, n);
    done += n;
    handle.offset += n;
    if (handle.offset == line) {
      handle.offset = 0;
      ++handle.row;
    }
  }
  if (done == 0 && handle.row >= rows) {
    handle.stage = Stage::kBetween;
    return SANE_STATUS_EOF;
  }
  *length = static_cast<SANE_Int>(done);
  return SANE_STATUS_GOOD;
}

TARVO_SANE_EXPORT void sane_tarvoscn_cancel(SANE_Handle h) {
  if (!IsOurs(h)) return;
  g_cancel = true;
  if (g_busy) return;  // the driver's page wait sees the request
  EndBatch(*g_backend->handle);
}

TARVO_SANE_EXPORT SANE_Status sane_tarvoscn_set_io_mode(SANE_Handle h, SANE_Bool nonBlocking) {
  if (!IsOurs(h)) return SANE_STATUS_INVAL;
  if (g_backend->handle->stage != Stage::kReading) return SANE_STATUS_INVAL;
  return nonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

TARVO_SANE_EXPORT SANE_Status sane_tarvoscn_get_select_fd(SANE_Handle h, SANE_Int* fd) {
  if (!IsOurs(h) || fd == nullptr) return SANE_STATUS_INVAL;
  if (g_backend->handle->stage != Stage::kReading) return SANE_STATUS_INVAL;
  return SANE_STATUS_UNSUPPORTED;
}

TARVO_SANE_EXPORT SANE_String_Const sane_tarvoscn_strstatus(SANE_Status status) {
  return StatusText(status);
}

// The plain names, for frontends that load the backend directly.
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_init) sane_init [[gnu::alias("sane_tarvoscn_init")]];
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_exit) sane_exit [[gnu::alias("sane_tarvoscn_exit")]];
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_get_devices) sane_get_devices
    [[gnu::alias("sane_tarvoscn_get_devices")]];
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_open) sane_open [[gnu::alias("sane_tarvoscn_open")]];
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_close) sane_close [[gnu::alias("sane_tarvoscn_close")]];
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_get_option_descriptor) sane_get_option_descriptor
    [[gnu::alias("sane_tarvoscn_get_option_descriptor")]];
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_control_option) sane_control_option
    [[gnu::alias("sane_tarvoscn_control_option")]];
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_get_parameters) sane_get_parameters
    [[gnu::alias("sane_tarvoscn_get_parameters")]];
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_start) sane_start [[gnu::alias("sane_tarvoscn_start")]];
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_read) sane_read [[gnu::alias("sane_tarvoscn_read")]];
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_cancel) sane_cancel [[gnu::alias("sane_tarvoscn_cancel")]];
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_set_io_mode) sane_set_io_mode
    [[gnu::alias("sane_tarvoscn_set_io_mode")]];
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_get_select_fd) sane_get_select_fd
    [[gnu::alias("sane_tarvoscn_get_select_fd")]];
TARVO_SANE_EXPORT __typeof__(sane_tarvoscn_strstatus) sane_strstatus
    [[gnu::alias("sane_tarvoscn_strstatus")]];
