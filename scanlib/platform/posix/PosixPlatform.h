// The platform on POSIX systems.
//
// One root folder stands for drive C:: "c:\scan.log" is <root>/scan.log and
// the Windows folder "c:\windows" is <root>/windows. Backslashes in the
// driver's names become slashes; other names (a host's "/tmp/doc.tif",
// "cdb.log" in the current folder) are used as they are. Errors are reported
// as Windows error numbers; a message box is one line on standard error.
#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

namespace tarvo {

struct PosixPlatformOptions {
  std::string root;           // the folder that stands for drive C:
  bool commandTrace = false;  // the debugging set-up asks for the SCSI command trace
  std::string languageEnv;    // LC_ALL / LC_MESSAGES / LANG value, first set
  std::string aspiLibrary;    // TARVOSCN_ASPI: path of the ASPI provider library
};

// Options from the process environment: TARVOSCN_ROOT (default
// ${XDG_DATA_HOME:-$HOME/.local/share}/tarvoscn), TARVOSCN_CDB_TRACE=1,
// LC_ALL / LC_MESSAGES / LANG, TARVOSCN_ASPI.
PosixPlatformOptions PosixOptionsFromEnvironment();

// The installed share folder found from this library's own place
// (<libdir>/../share/tarvoscn after an install), or empty when there is none.
std::string InstalledDataFolder();

// The Windows language identifier text for a POSIX locale name
// ("ja_JP.UTF-8" -> "0411"; unknown -> "0409").
const char* LanguageIdForLocale(const char* locale);

// The Windows error number for an errno value.
std::uint32_t WindowsErrorFromErrno(int error);

class PosixPlatform : public Platform {
 public:
  // `dataFolder`, the installed share folder, stands in for the Windows
  // folder while the root has no language files (windows/klxscan) of its own.
  explicit PosixPlatform(PosixPlatformOptions options, std::string dataFolder = {});

  // The native path for a name in the driver's form.
  std::string NativePath(const char* name) const;
  const std::string& root() const { return options_.root; }

  FileHandle FileOpen(const char* name, std::uint32_t access, std::uint32_t share,
                      std::uint32_t disposition, std::uint32_t flags) override;
  bool FileRead(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* done) override;
  bool FileWrite(FileHandle file, const void* buffer, std::uint32_t count,
                 std::uint32_t* done) override;
  std::uint32_t FileSeek(FileHandle file, std::int32_t distance, std::uint32_t method) override;
  std::uint32_t FileSize(FileHandle file) override;
  bool FileTruncateHere(FileHandle file) override;
  bool FileClose(FileHandle file) override;
  bool FileCopy(const char* from, const char* to, bool failIfExists) override;
  bool FileDelete(const char* name) override;
  bool FileRename(const char* from, const char* to) override;

  std::uint32_t LastError() override { return lastError_; }
  void SetLastError(std::uint32_t code) override { lastError_ = code; }
  std::size_t ErrorText(std::uint32_t code, char* buffer, std::size_t size) override;

  std::uint32_t ProfileRead(const char* file, const char* section, const char* key,
                            const char* defaultValue, char* buffer, std::uint32_t size) override;
  bool ProfileWrite(const char* file, const char* section, const char* key,
                    const char* value) override;

  std::uint32_t LibraryPath(char* buffer, std::uint32_t size) override;
  std::uint32_t HostExecutablePath(char* buffer, std::uint32_t size) override;
  std::uint32_t WindowsFolder(char* buffer, std::uint32_t size) override;
  bool SettingsFilePath(char* buffer, std::uint32_t size) override;
  bool LibraryFileVersion(const char* path, char* buffer, std::uint32_t size) override;
  void ThreadLanguageId(char (&out)[8]) override;

  LocalTime Now() override;
  std::uint32_t Ticks() override;
  void SleepFor(std::uint32_t milliseconds) override;

  int ShowMessageBox(void* owner, const char* text, const char* caption,
                     std::uint32_t style) override;
  PumpResult PumpOneMessage() override { return PumpResult::kNone; }

  LibraryHandle LibraryLoad(const char* name) override;
  ProcAddress LibrarySymbol(LibraryHandle library, const char* symbol) override;
  ProcAddress LibraryOrdinal(LibraryHandle library, std::uint16_t ordinal) override;
  bool LibraryFree(LibraryHandle library) override;

  EventHandle EventCreate() override;
  bool EventWait(EventHandle event) override;
  bool EventClose(EventHandle event) override;

  bool CommandTraceRequested() override { return options_.commandTrace; }

  // The file name a library name maps to ("RIZIDUD" -> "librizidud.so").
  std::string LibraryFileName(const char* name) const;

 private:
  bool Fail(int error);  // records errno as the last error; returns false
  void EnsureRootFor(const std::string& nativePath);

  PosixPlatformOptions options_;
  std::string dataFolder_;
  std::uint32_t lastError_ = 0;
};

}  // namespace tarvo
