// The sibling codec libraries as libjpeg and libpng read their files, the image coder's call
// protocol against a recording coder, missing libraries or entries.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "image/ExternalCodecs.h"
#include "support/ImageRead.h"
#include "support/TestPlatform.h"

namespace tarvo {
namespace {

// The built sibling libraries under their Windows names; hides an entry, or puts a recording
// coder in the image coder's place.
class CodecPlatform : public test::TestPlatform {
 public:
  std::set<std::string> missingSymbols;
  std::map<std::string, ProcAddress> fakeCoder;  // by entry name; empty: the real one
  int loads = 0, frees = 0;

  LibraryHandle LibraryLoad(const char* name) override {
    ++loads;
    const std::string n = name;
    if (n == kCoderLibraryName && !fakeCoder.empty()) return &fakeCoder;
    if (n == kJpegLibraryName) return TestPlatform::LibraryLoad(TARVO_KLXJPEG);
    return n == kCoderLibraryName ? TestPlatform::LibraryLoad(TARVO_RAVEZEVA) : nullptr;
  }
  ProcAddress LibrarySymbol(LibraryHandle library, const char* symbol) override {
    if (missingSymbols.count(symbol) != 0) return nullptr;
    if (library != &fakeCoder) return TestPlatform::LibrarySymbol(library, symbol);
    auto it = fakeCoder.find(symbol);
    return it == fakeCoder.end() ? nullptr : it->second;
  }
  bool LibraryFree(LibraryHandle library) override {
    ++frees;
    return library == &fakeCoder || TestPlatform::LibraryFree(library);
  }
};

// A gray page of `width` pixels (stride rounded up to 8) with a gradient and a dark box.
std::vector<std::uint8_t> GrayPage(int width, int rows) {
  const int stride = (width + 7) / 8 * 8;
  std::vector<std::uint8_t> page(static_cast<std::size_t>(stride * rows), 0x33);
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool box = x > width / 3 && x < width / 2 && y > rows / 4 && y < rows / 2;
      page[static_cast<std::size_t>(y * stride + x)] = static_cast<std::uint8_t>(box ? 10 : 40 + (x * 200) / width);
    }
  }
  return page;
}

TEST(KlxJpeg, WritesGrayJpegWithSizeDensityAndBoundedError) {
  CodecPlatform platform;
  const int width = 203, rows = 77, stride = 208;
  const std::vector<std::uint8_t> page = GrayPage(width, rows);
  std::map<int, std::size_t> sizes;
  for (int quality : {20, 95}) {
    const std::string path = platform.Scratch("page" + std::to_string(quality) + ".jpg");
    ASSERT_EQ(SaveJpeg(platform, path.c_str(), page.data(), width / 8 * 8, rows, 300, stride, quality), Result::Ok);
    const test::Gray jpeg = test::ReadJpegGray(path);
    ASSERT_EQ(std::tuple(jpeg.width, jpeg.height, jpeg.header),
              std::tuple(200u, unsigned{rows}, std::vector<unsigned>{1, 1, 300, 300}));  // dots per inch
    double error = 0;
    for (int y = 0; y < rows; ++y) {
      for (int x = 0; x < 200; ++x) error += std::abs(jpeg.At(x, y) - page[static_cast<std::size_t>(y * stride + x)]);
    }
    EXPECT_LT(error / (200 * rows), quality > 50 ? 2.0 : 6.0) << quality;
    sizes[quality] = test::ReadFileBytes(path).size();
  }
  EXPECT_LT(sizes[20], sizes[95]);
  // Quality 0, a stride shorter than the row, an unwritable file and a library without the entry fail.
  const std::string path = platform.Scratch("bad.jpg");
  EXPECT_EQ(SaveJpeg(platform, path.c_str(), page.data(), 16, 4, 300, 16, 0), Result::FileError);
  EXPECT_EQ(SaveJpeg(platform, path.c_str(), page.data(), 16, 4, 300, 8, 75), Result::FileError);
  EXPECT_EQ(SaveJpeg(platform, platform.Scratch("no/such/dir/x.jpg").c_str(), page.data(), 16, 4, 300, 16, 75),
            Result::FileError);
  platform.missingSymbols = {kSaveJpegSymbol};
  EXPECT_EQ(SaveJpeg(platform, path.c_str(), page.data(), 16, 4, 300, 16, 75), Result::FileError);
  EXPECT_TRUE(!test::FileExists(path) && platform.loads == platform.frees);
}

// Bilevel pages become 1-bit palette images that show black as black; gray pages at any depth
// become 8-bit gray.
TEST(RavezevaPng, PagesReadAsAViewerShowsThem) {
  CodecPlatform platform;
  const int width = 83, rows = 21;  // the coder gets 80 pixels
  auto black = [](int x, int y) { return (x / 5 + y / 3) % 2 == 0 || x == y; };
  for (int bitsPerPixel : {1, 2, 4, 8}) {
    const bool bilevel = bitsPerPixel == 1;
    const int stride = bilevel ? (width + 7) / 8 : (width + 7) / 8 * 8;
    std::vector<std::uint8_t> page = bilevel ? std::vector<std::uint8_t>(std::size_t(stride * rows)) : GrayPage(width, rows);
    for (int y = 0; y < rows && bilevel; ++y) {
      for (int x = 0; x < width; ++x) page[std::size_t(y * stride + x / 8)] |= black(x, y) ? 0x80 >> (x % 8) : 0;
    }
    const std::string path = platform.Scratch("page" + std::to_string(bitsPerPixel) + ".png");
    ASSERT_EQ(WriteCodedFile(platform, path.c_str(), page.data(), width / 8 * 8, rows, 300, bitsPerPixel, stride), Result::Ok);
    const test::Gray png = test::ReadPngGray(path);
    const std::string bytes = test::ReadFileBytes(path);  // bit depth and colour type of the header
    ASSERT_EQ(std::tuple(png.width, png.height, int(bytes.at(24)), int(bytes.at(25))),
              std::tuple(80u, unsigned{rows}, bilevel ? 1 : 8, bilevel ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_GRAY));
    for (int y = 0; y < rows; ++y) {
      for (int x = 0; x < 80; ++x) {
        const int shown = bilevel ? (black(x, y) ? 0 : 255) : page[static_cast<std::size_t>(y * stride + x)];
        ASSERT_EQ(png.At(x, y), shown) << bitsPerPixel << ": " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(platform.loads, platform.frees);
}

struct Recorder {
  std::string calls;
  int openResult = 0, putResult = 1, finishResult = 0;
  bool advance = true;
};
Recorder g_recorder;  // the recording coder's functions have no context argument

void TARVO_CODER_CALL FakeInit(void*, std::int32_t) { g_recorder.calls += "init "; }
void TARVO_CODER_CALL FakeOption(void*, std::int32_t) { g_recorder.calls += "option "; }
std::int32_t TARVO_CODER_CALL FakeOpen(void*) { return g_recorder.calls += "open ", g_recorder.openResult; }
std::int32_t TARVO_CODER_CALL FakeFinish(void*) { return g_recorder.calls += "finish ", g_recorder.finishResult; }
std::int32_t TARVO_CODER_CALL FakePut(void* block, const std::uint8_t**, std::int32_t) {
  const ByteSpan b(static_cast<std::uint8_t*>(block), kCoderParamsBytes);
  g_recorder.calls += "put ";
  if (g_recorder.advance) PutLe32(b, kCoderRowsWrittenAt, GetLe32(b, kCoderRowsWrittenAt) + 1);
  return g_recorder.putResult;
}

// A missing entry or any failing call: FileError and no call after it.
TEST(CoderProtocol, EachFailureGivesFileErrorAndStopsTheCalls) {
  CodecPlatform platform;
  platform.fakeCoder = {{"ravezeva_init_block", reinterpret_cast<ProcAddress>(&FakeInit)},
                        {"ravezeva_put_rows", reinterpret_cast<ProcAddress>(&FakePut)},
                        {"ravezeva_open_image", reinterpret_cast<ProcAddress>(&FakeOpen)},
                        {"ravezeva_finish_image", reinterpret_cast<ProcAddress>(&FakeFinish)},
                        {"ravezeva_set_option", reinterpret_cast<ProcAddress>(&FakeOption)}};
  const std::vector<std::uint8_t> page(96);
  auto run = [&](Recorder recorder, const char* name = "c:\\pages\\p1.png") {
    g_recorder = recorder;
    const Result result = WriteCodedFile(platform, name, page.data(), 24, 3, 300, 8, 32);
    return (result == Result::Ok ? "ok: " : result == Result::FileError ? "4: " : "?: ") + g_recorder.calls;
  };
  EXPECT_EQ(run({}), "ok: init option open put put put finish ");
  EXPECT_EQ(run({{}, 3}), "4: init option open ");
  EXPECT_EQ(run({{}, 0, 0}), "4: init option open put ");  // no finish after a failed row
  EXPECT_EQ(run({{}, 0, 1, 1}), "4: init option open put put put finish ");
  EXPECT_EQ(run({{}, 0, 1, 0, false}), "4: init option open put put put ");  // a coder that never counts its rows
  EXPECT_EQ(run({}, std::string(300, 'a').c_str()), "4: ");
  for (const CoderEntry& e : kCoderEntries) {
    platform.missingSymbols = {e.name};
    EXPECT_EQ(run({}), "4: ") << e.name;
  }
  EXPECT_EQ(platform.loads, platform.frees);
}

}  // namespace
}  // namespace tarvo
