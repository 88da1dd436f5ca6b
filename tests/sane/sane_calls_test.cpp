// The backend's SANE entry points called the way a careless frontend might:
// out of order, with bad values, cancelled in the middle. Every call answers
// a status; none crashes or hangs. The backend is loaded as frontends load it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sane/sane.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/TempDir.h"

// An entry point of the loaded backend.
#define SANE(name) reinterpret_cast<decltype(&sane_##name)>(dlsym(library, "sane_" #name))

namespace {

class SaneCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    tarvo::test::WriteFileBytes(dir.File("sim.conf"), "synthetic 3 seed 2 dpi 200\n");
    tarvo::test::WriteFileBytes(dir.File("tarvoscn.conf"),
                                std::string("aspi ") + TARVO_SIM_PROVIDER + "\nsimulator sim.conf\n");
    setenv("SANE_CONFIG_DIR", dir.path().c_str(), 1);
    setenv("TARVOSCN_ROOT", dir.path().c_str(), 1);
    ASSERT_NE(library, nullptr) << dlerror();
  }
  void TearDown() override { SANE(exit)(); }

  SANE_Int Find(SANE_Handle h, const char* name) {
    for (SANE_Int i = 1; const SANE_Option_Descriptor* d = SANE(get_option_descriptor)(h, i); ++i) {
      if (d->name != nullptr && std::strcmp(d->name, name) == 0) return i;
    }
    return -1;
  }
  SANE_Status Set(SANE_Handle h, const char* name, void* value, SANE_Int* info = nullptr) {
    return SANE(control_option)(h, Find(h, name), SANE_ACTION_SET_VALUE, value, info);
  }
  // Reads the page to its end in pieces of `piece` bytes; the byte count, or minus the status.
  long ReadPage(SANE_Handle h, SANE_Int piece) {
    std::vector<SANE_Byte> buffer(static_cast<std::size_t>(piece));
    long total = 0;
    SANE_Int got = 0;
    SANE_Status st;
    while ((st = SANE(read)(h, buffer.data(), piece, &got)) == SANE_STATUS_GOOD) total += got;
    return st == SANE_STATUS_EOF ? total : -st;
  }
  tarvo::test::TempDir dir;
  void* library = dlopen(TARVO_SANE_BACKEND, RTLD_NOW | RTLD_LOCAL);
};

TEST_F(SaneCalls, OutOfOrderAndBadValuesAnswerAStatus) {
  const SANE_Device** list = nullptr;
  SANE_Handle h = nullptr;
  EXPECT_EQ(SANE(get_devices)(&list, SANE_FALSE), SANE_STATUS_INVAL);  // before sane_init
  EXPECT_EQ(SANE(open)("", &h), SANE_STATUS_INVAL);
  ASSERT_EQ(SANE(init)(nullptr, nullptr), SANE_STATUS_GOOD);
  ASSERT_EQ(SANE(get_devices)(&list, SANE_TRUE), SANE_STATUS_GOOD);
  EXPECT_TRUE(list[0] != nullptr && list[1] == nullptr);
  ASSERT_EQ(SANE(open)("tarvoscn:0:0", &h), SANE_STATUS_GOOD);
  SANE_Handle second = nullptr;
  EXPECT_EQ(SANE(open)("0:0", &second), SANE_STATUS_DEVICE_BUSY);

  SANE_Byte byte = 0;
  SANE_Int length = 1, fd = 0, info = 0;
  EXPECT_EQ(SANE(read)(h, &byte, 1, &length), SANE_STATUS_INVAL);  // no sane_start yet
  EXPECT_EQ(length, 0);
  EXPECT_EQ(SANE(set_io_mode)(h, SANE_FALSE), SANE_STATUS_INVAL);
  EXPECT_EQ(SANE(get_select_fd)(h, &fd), SANE_STATUS_INVAL);
  EXPECT_EQ(SANE(get_option_descriptor)(h, -1), nullptr);
  SANE_Word word = 7;
  EXPECT_EQ(SANE(control_option)(h, 9999, SANE_ACTION_GET_VALUE, &word, &info), SANE_STATUS_INVAL);
  EXPECT_EQ(SANE(control_option)(h, 1, SANE_ACTION_SET_VALUE, &word, &info), SANE_STATUS_INVAL);
  EXPECT_EQ(Set(h, "page-counter-1", &word), SANE_STATUS_INVAL);
  EXPECT_EQ(Set(h, "auto-size", &word), SANE_STATUS_INVAL);  // a boolean is 0 or 1
  std::string text(79, 'x');
  EXPECT_EQ(Set(h, "imprinter-text", text.data()), SANE_STATUS_INVAL);
  word = 1000;  // rounded into 0..255
  EXPECT_EQ(Set(h, "brightness", &word, &info), SANE_STATUS_GOOD);
  EXPECT_TRUE(word == 255 && (info & SANE_INFO_INEXACT)) << word;
  word = 260;
  EXPECT_EQ(Set(h, "resolution", &word, &info), SANE_STATUS_GOOD);
  EXPECT_EQ(std::pair(word, info), std::pair(300, SANE_INFO_INEXACT | SANE_INFO_RELOAD_PARAMS));
  word = SANE_TRUE;
  EXPECT_EQ(Set(h, "custom-gamma", &word, &info), SANE_STATUS_GOOD);
  EXPECT_EQ(info, SANE_INFO_RELOAD_OPTIONS);
  EXPECT_FALSE(SANE(get_option_descriptor)(h, Find(h, "gamma-table"))->cap & SANE_CAP_INACTIVE);
  SANE(close)(h);
  EXPECT_EQ(SANE(start)(h), SANE_STATUS_INVAL);  // a closed handle
}

TEST_F(SaneCalls, PagesCancelAndTheEndOfTheFeeder) {
  ASSERT_EQ(SANE(init)(nullptr, nullptr), SANE_STATUS_GOOD);
  SANE_Handle h = nullptr;
  ASSERT_EQ(SANE(open)("", &h), SANE_STATUS_GOOD);
  ASSERT_EQ(Set(h, "mode", std::string("Gray").data()), SANE_STATUS_GOOD);
  ASSERT_EQ(SANE(start)(h), SANE_STATUS_GOOD);
  SANE_Parameters p{};
  ASSERT_EQ(SANE(get_parameters)(h, &p), SANE_STATUS_GOOD);
  EXPECT_TRUE(p.depth == 8 && p.bytes_per_line == p.pixels_per_line) << p.depth;
  EXPECT_EQ(SANE(start)(h), SANE_STATUS_DEVICE_BUSY);  // the page is not read yet
  SANE_Word word = 200;
  EXPECT_EQ(Set(h, "resolution", &word), SANE_STATUS_DEVICE_BUSY);
  EXPECT_EQ(SANE(set_io_mode)(h, SANE_TRUE), SANE_STATUS_UNSUPPORTED);
  EXPECT_EQ(SANE(set_io_mode)(h, SANE_FALSE), SANE_STATUS_GOOD);
  EXPECT_EQ(ReadPage(h, 4093), static_cast<long>(p.bytes_per_line) * p.lines);

  ASSERT_EQ(SANE(start)(h), SANE_STATUS_GOOD);  // sheet 2, cancelled halfway
  SANE_Byte buffer[100];
  SANE_Int got = 0;
  EXPECT_EQ(SANE(read)(h, buffer, sizeof buffer, &got), SANE_STATUS_GOOD);
  SANE(cancel)(h);
  EXPECT_EQ(SANE(read)(h, buffer, sizeof buffer, &got), SANE_STATUS_CANCELLED);
  SANE(cancel)(h);

  ASSERT_EQ(SANE(start)(h), SANE_STATUS_GOOD);  // a new batch takes sheet 3
  EXPECT_GT(ReadPage(h, 65536), 0);
  EXPECT_EQ(SANE(start)(h), SANE_STATUS_NO_DOCS);
  EXPECT_EQ(SANE(start)(h), SANE_STATUS_NO_DOCS);
  SANE(cancel)(h);
  SANE(close)(h);
  SANE(close)(h);
}

}  // namespace
