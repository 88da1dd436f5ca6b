// ForwardingPlatform passes every call to an inner platform (a test overrides what it fails,
// counts or fixes); TestPlatform is a POSIX platform over a fresh temporary root, with a fixed
// host path, locale and (on request) clock, that records its message boxes.
#pragma once

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/posix/PosixPlatform.h"
#include "support/TempDir.h"

namespace tarvo::test {

class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

  FileHandle FileOpen(const char* n, std::uint32_t a, std::uint32_t s, std::uint32_t d,
                      std::uint32_t f) override { return inner_.FileOpen(n, a, s, d, f); }
  bool FileRead(FileHandle f, void* b, std::uint32_t n, std::uint32_t* done) override {
    return inner_.FileRead(f, b, n, done);
  }
  bool FileWrite(FileHandle f, const void* b, std::uint32_t n, std::uint32_t* done) override {
    return inner_.FileWrite(f, b, n, done);
  }
  std::uint32_t FileSeek(FileHandle f, std::int32_t d, std::uint32_t m) override { return inner_.FileSeek(f, d, m); }
  std::uint32_t FileSize(FileHandle f) override { return inner_.FileSize(f); }
  bool FileTruncateHere(FileHandle f) override { return inner_.FileTruncateHere(f); }
  bool FileClose(FileHandle f) override { return inner_.FileClose(f); }
  bool FileCopy(const char* a, const char* b, bool x) override { return inner_.FileCopy(a, b, x); }
  bool FileDelete(const char* name) override { return inner_.FileDelete(name); }
  bool FileRename(const char* a, const char* b) override { return inner_.FileRename(a, b); }
  std::uint32_t LastError() override { return inner_.LastError(); }
  void SetLastError(std::uint32_t code) override { inner_.SetLastError(code); }
  std::size_t ErrorText(std::uint32_t c, char* b, std::size_t n) override { return inner_.ErrorText(c, b, n); }
  std::uint32_t ProfileRead(const char* f, const char* s, const char* k, const char* d, char* b,
                            std::uint32_t n) override { return inner_.ProfileRead(f, s, k, d, b, n); }
  bool ProfileWrite(const char* f, const char* s, const char* k, const char* v) override {
    return inner_.ProfileWrite(f, s, k, v);
  }
  std::uint32_t LibraryPath(char* b, std::uint32_t n) override { return inner_.LibraryPath(b, n); }
  std::uint32_t HostExecutablePath(char* b, std::uint32_t n) override { return inner_.HostExecutablePath(b, n); }
  std::uint32_t WindowsFolder(char* b, std::uint32_t n) override { return inner_.WindowsFolder(b, n); }
  bool SettingsFilePath(char* b, std::uint32_t n) override { return inner_.SettingsFilePath(b, n); }
  bool LibraryFileVersion(const char* p, char* b, std::uint32_t n) override { return inner_.LibraryFileVersion(p, b, n); }
  void ThreadLanguageId(char (&out)[8]) override { inner_.ThreadLanguageId(out); }
  LocalTime Now() override { return inner_.Now(); }
  std::uint32_t Ticks() override { return inner_.Ticks(); }
  void SleepFor(std::uint32_t ms) override { inner_.SleepFor(ms); }
  int ShowMessageBox(void* o, const char* t, const char* c, std::uint32_t s) override {
    return inner_.ShowMessageBox(o, t, c, s);
  }
  PumpResult PumpOneMessage() override { return inner_.PumpOneMessage(); }
  LibraryHandle LibraryLoad(const char* name) override { return inner_.LibraryLoad(name); }
  ProcAddress LibrarySymbol(LibraryHandle l, const char* s) override { return inner_.LibrarySymbol(l, s); }
  ProcAddress LibraryOrdinal(LibraryHandle l, std::uint16_t o) override { return inner_.LibraryOrdinal(l, o); }
  bool LibraryFree(LibraryHandle l) override { return inner_.LibraryFree(l); }
  EventHandle EventCreate() override { return inner_.EventCreate(); }
  bool EventWait(EventHandle e) override { return inner_.EventWait(e); }
  bool EventClose(EventHandle e) override { return inner_.EventClose(e); }
  bool CommandTraceRequested() override { return inner_.CommandTraceRequested(); }

 protected:
  Platform& inner_;
};

namespace detail {
struct TestPlatformBase {
  TempDir dir;
  PosixPlatform posix{PosixPlatformOptions{dir.path() + "/c", false, "", ""}};
};
}  // namespace detail

struct RecordedBox {
  std::string caption, text;
  std::uint32_t style;
};

class TestPlatform : private detail::TestPlatformBase, public ForwardingPlatform {
 public:
  TestPlatform() : ForwardingPlatform(posix) {}

  // The folder that stands for drive C:, and a file in it.
  const std::string& root() const { return posix.root(); }
  std::string RootFile(const std::string& name) const { return root() + "/" + name; }
  // A scratch folder beside the root, for host files.
  std::string Scratch(const std::string& name) const { return dir.File(name); }

  std::string hostPath = "/opt/hosts/TestHost.exe";
  std::string languageId = "0409";
  bool noSettingsPath = false;  // the library's path cannot be obtained
  std::optional<LocalTime> fixedTime;
  bool fakeClock = false;  // Ticks() and SleepFor() on a counter
  std::uint32_t tick = 0;
  std::uint32_t tickStep = 0;  // added at every Ticks() call
  bool commandTrace = false;
  std::vector<RecordedBox> boxes;

  std::uint32_t HostExecutablePath(char* b, std::uint32_t n) override {
    if (n == 0) return 0;
    std::snprintf(b, n, "%s", hostPath.c_str());
    return static_cast<std::uint32_t>(std::strlen(b));
  }
  bool SettingsFilePath(char* b, std::uint32_t n) override {
    return !noSettingsPath && ForwardingPlatform::SettingsFilePath(b, n);
  }
  void ThreadLanguageId(char (&out)[8]) override { std::snprintf(out, sizeof out, "%s", languageId.c_str()); }
  LocalTime Now() override { return fixedTime ? *fixedTime : ForwardingPlatform::Now(); }
  std::uint32_t Ticks() override {
    if (!fakeClock) return ForwardingPlatform::Ticks();
    tick += tickStep;
    return tick - tickStep;
  }
  void SleepFor(std::uint32_t ms) override {
    if (!fakeClock) return ForwardingPlatform::SleepFor(ms);
    tick += ms;
  }
  int ShowMessageBox(void*, const char* text, const char* caption, std::uint32_t style) override {
    boxes.push_back({caption != nullptr ? caption : "", text != nullptr ? text : "", style});
    return kIdOk;
  }
  bool CommandTraceRequested() override { return commandTrace; }
};

}  // namespace tarvo::test
