// The backend's SANE entry points called the way a careless frontend might:
// out of order, with bad values, cancelled in the middle. Every call answers
// a status; none crashes or hangs. The backend is loaded as frontends load it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sane/sane.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "support/TempDir.h"

namespace {

struct Sane {
  void* library = dlopen(TARVO_SANE_BACKEND, RTLD_NOW | RTLD_LOCAL);
  template <typename F>
  F* Get(const char* name) { return reinterpret_cast<F*>(dlsym(library, name)); }
  decltype(&sane_init) init = Get<decltype(sane_init)>("sane_init");
  decltype(&sane_exit) exit = Get<decltype(sane_exit)>("sane_exit");
  decltype(&sane_get_devices) devices = Get<decltype(sane_get_devices)>("sane_get_devices");
  decltype(&sane_open) open = Get<decltype(sane_open)>("sane_open");
  decltype(&sane_close) close = Get<decltype(sane_close)>("sane_close");
  decltype(&sane_get_option_descriptor) descriptor =
      Get<decltype(sane_get_option_descriptor)>("sane_get_option_descriptor");
  decltype(&sane_control_option) control = Get<decltype(sane_control_option)>("sane_control_option");
  decltype(&sane_get_parameters) parameters = Get<decltype(sane_get_parameters)>("sane_get_parameters");
  decltype(&sane_start) start = Get<decltype(sane_start)>("sane_start");
  decltype(&sane_read) read = Get<decltype(sane_read)>("sane_read");
  decltype(&sane_cancel) cancel = Get<decltype(sane_cancel)>("sane_cancel");
  decltype(&sane_set_io_mode) ioMode = Get<decltype(sane_set_io_mode)>("sane_set_io_mode");
  decltype(&sane_get_select_fd) selectFd = Get<decltype(sane_get_select_fd)>("sane_get_select_fd");

  SANE_Int Find(SANE_Handle h, const char* name) {
    for (SANE_Int i = 1; const SANE_Option_Descriptor* d = descriptor(h, i); ++i) {
      if (d->name != nullptr && std::strcmp(d->name, name) == 0) return i;
    }
    return -1;
  }
  // Reads the page to its end in pieces of `piece` bytes; the byte count.
  long ReadPage(SANE_Handle h, SANE_Int piece) {
    std::vector<SANE_Byte> buffer(static_cast<std::size_t>(piece));
    long total = 0;
    SANE_Int got = 0;
    for (long calls = 0; calls < 100000000L; ++calls) {
      const SANE_Status st = read(h, buffer.data(), piece, &got);
      if (st != SANE_STATUS_GOOD) return st == SANE_STATUS_EOF ? total : -st;
      total += got;
    }
    return -1;
  }
};

class SaneCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    tarvo::test::WriteFileBytes(dir.File("sim.conf"), "synthetic 3 seed 2 dpi 200\n");
    tarvo::test::WriteFileBytes(dir.File("tarvoscn.conf"),
                                std::string("aspi ") + TARVO_SIM_PROVIDER + "\nsimulator sim.conf\n");
    setenv("SANE_CONFIG_DIR", dir.path().c_str(), 1);
    setenv("TARVOSCN_ROOT", dir.path().c_str(), 1);
    ASSERT_NE(sane.library, nullptr) << dlerror();
  }
  void TearDown() override { sane.exit(); }
  tarvo::test::TempDir dir;
  Sane sane;
};

TEST_F(SaneCalls, OutOfOrderAndBadValuesAnswerAStatus) {
  const SANE_Device** list = nullptr;
  SANE_Handle h = nullptr;
  EXPECT_EQ(sane.devices(&list, SANE_FALSE), SANE_STATUS_INVAL);  // before sane_init
  EXPECT_EQ(sane.open("", &h), SANE_STATUS_INVAL);
  ASSERT_EQ(sane.init(nullptr, nullptr), SANE_STATUS_GOOD);
  ASSERT_EQ(sane.devices(&list, SANE_TRUE), SANE_STATUS_GOOD);
  ASSERT_NE(list[0], nullptr);
  EXPECT_STREQ(list[0]->name, "0:0");
  EXPECT_EQ(list[1], nullptr);
  EXPECT_EQ(sane.open("tarvoscn:0:6", &h), SANE_STATUS_INVAL);
  ASSERT_EQ(sane.open("tarvoscn:0:0", &h), SANE_STATUS_GOOD);
  SANE_Handle second = nullptr;
  EXPECT_EQ(sane.open("0:0", &second), SANE_STATUS_DEVICE_BUSY);

  SANE_Byte byte = 0;
  SANE_Int length = 1, fd = 0, info = 0;
  EXPECT_EQ(sane.read(h, &byte, 1, &length), SANE_STATUS_INVAL);  // no sane_start yet
  EXPECT_EQ(length, 0);
  EXPECT_EQ(sane.ioMode(h, SANE_FALSE), SANE_STATUS_INVAL);
  EXPECT_EQ(sane.selectFd(h, &fd), SANE_STATUS_INVAL);
  EXPECT_EQ(sane.descriptor(h, -1), nullptr);
  SANE_Word word = 0;
  EXPECT_EQ(sane.control(h, 9999, SANE_ACTION_GET_VALUE, &word, &info), SANE_STATUS_INVAL);
  EXPECT_EQ(sane.control(h, 1, SANE_ACTION_SET_VALUE, &word, &info), SANE_STATUS_INVAL);  // a group
  word = 7;
  EXPECT_EQ(sane.control(h, sane.Find(h, "page-counter-1"), SANE_ACTION_SET_VALUE, &word, &info),
            SANE_STATUS_INVAL);
  EXPECT_EQ(sane.control(h, sane.Find(h, "auto-size"), SANE_ACTION_SET_VALUE, &word, &info),
            SANE_STATUS_INVAL);  // a boolean is 0 or 1
  char mode[16] = "Color";
  EXPECT_EQ(sane.control(h, sane.Find(h, "mode"), SANE_ACTION_SET_VALUE, mode, &info), SANE_STATUS_INVAL);
  char text[80];
  std::memset(text, 'x', sizeof text - 1);
  text[sizeof text - 1] = '\0';
  EXPECT_EQ(sane.control(h, sane.Find(h, "imprinter-text"), SANE_ACTION_SET_VALUE, text, &info),
            SANE_STATUS_INVAL);
  word = 1000;  // rounded into 0..255
  EXPECT_EQ(sane.control(h, sane.Find(h, "brightness"), SANE_ACTION_SET_VALUE, &word, &info), SANE_STATUS_GOOD);
  EXPECT_EQ(word, 255);
  EXPECT_TRUE(info & SANE_INFO_INEXACT);
  word = 260;
  EXPECT_EQ(sane.control(h, sane.Find(h, "resolution"), SANE_ACTION_SET_VALUE, &word, &info), SANE_STATUS_GOOD);
  EXPECT_EQ(word, 300);
  EXPECT_EQ(info, SANE_INFO_INEXACT | SANE_INFO_RELOAD_PARAMS);
  word = SANE_TRUE;
  EXPECT_EQ(sane.control(h, sane.Find(h, "custom-gamma"), SANE_ACTION_SET_VALUE, &word, &info), SANE_STATUS_GOOD);
  EXPECT_EQ(info, SANE_INFO_RELOAD_OPTIONS);
  EXPECT_FALSE(sane.descriptor(h, sane.Find(h, "gamma-table"))->cap & SANE_CAP_INACTIVE);
  sane.close(h);
  EXPECT_EQ(sane.start(h), SANE_STATUS_INVAL);  // a closed handle
}

TEST_F(SaneCalls, PagesCancelAndTheEndOfTheFeeder) {
  ASSERT_EQ(sane.init(nullptr, nullptr), SANE_STATUS_GOOD);
  SANE_Handle h = nullptr;
  ASSERT_EQ(sane.open("", &h), SANE_STATUS_GOOD);
  char gray[16] = "Gray";
  ASSERT_EQ(sane.control(h, sane.Find(h, "mode"), SANE_ACTION_SET_VALUE, gray, nullptr), SANE_STATUS_GOOD);

  ASSERT_EQ(sane.start(h), SANE_STATUS_GOOD);
  SANE_Parameters p{};
  ASSERT_EQ(sane.parameters(h, &p), SANE_STATUS_GOOD);
  EXPECT_EQ(p.depth, 8);
  EXPECT_EQ(p.bytes_per_line, p.pixels_per_line);
  EXPECT_EQ(sane.start(h), SANE_STATUS_DEVICE_BUSY);  // the page is not read yet
  SANE_Word word = 200;
  EXPECT_EQ(sane.control(h, sane.Find(h, "resolution"), SANE_ACTION_SET_VALUE, &word, nullptr),
            SANE_STATUS_DEVICE_BUSY);
  EXPECT_EQ(sane.ioMode(h, SANE_TRUE), SANE_STATUS_UNSUPPORTED);
  EXPECT_EQ(sane.ioMode(h, SANE_FALSE), SANE_STATUS_GOOD);
  EXPECT_EQ(sane.ReadPage(h, 4093), static_cast<long>(p.bytes_per_line) * p.lines);

  ASSERT_EQ(sane.start(h), SANE_STATUS_GOOD);  // sheet 2, cancelled halfway
  SANE_Byte buffer[100];
  SANE_Int got = 0;
  EXPECT_EQ(sane.read(h, buffer, sizeof buffer, &got), SANE_STATUS_GOOD);
  sane.cancel(h);
  EXPECT_EQ(sane.read(h, buffer, sizeof buffer, &got), SANE_STATUS_CANCELLED);
  sane.cancel(h);

  ASSERT_EQ(sane.start(h), SANE_STATUS_GOOD);  // a new batch takes sheet 3
  EXPECT_GT(sane.ReadPage(h, 65536), 0);
  EXPECT_EQ(sane.start(h), SANE_STATUS_NO_DOCS);
  EXPECT_EQ(sane.start(h), SANE_STATUS_NO_DOCS);
  sane.cancel(h);
  sane.close(h);
  sane.close(h);
}

}  // namespace
