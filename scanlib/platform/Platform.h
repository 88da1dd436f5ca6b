// The operating-system seam of the driver.
//
// Everything the driver asks of the operating system goes through one
// Platform object: files with Windows-style results and last-error codes,
// private-profile (INI) files, the library's and the host's paths, local time
// and ticks, message boxes, dynamic libraries, event objects and the system's
// text for an error code. The driver itself speaks in Windows terms (drive
// C:, backslashes, Windows error numbers); each implementation maps them:
//
//   Win32Platform  calls the Windows API directly.
//   PosixPlatform  maps drive C: to a root folder (TARVOSCN_ROOT), backslashes
//                  to slashes, errno to Windows error numbers.
//
// Tests derive from ForwardingPlatform (tests/support) to inject faults or a
// fixed clock. This header includes no OS header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace tarvo {

// ---- files ------------------------------------------------------------------

using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFile = -1;  // all bits set, as INVALID_HANDLE_VALUE

// Access, sharing, disposition and flag values are the Windows ones.
inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kShareNone = 0;
inline constexpr std::uint32_t kShareRead = 0x1;
inline constexpr std::uint32_t kShareWrite = 0x2;

inline constexpr std::uint32_t kCreateNew = 1;
inline constexpr std::uint32_t kCreateAlways = 2;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kOpenAlways = 4;
inline constexpr std::uint32_t kTruncateExisting = 5;

inline constexpr std::uint32_t kAttributeNormal = 0x80;
inline constexpr std::uint32_t kFlagRandomAccess = 0x10000000u;
inline constexpr std::uint32_t kFlagWriteThrough = 0x80000000u;

inline constexpr std::uint32_t kFileBegin = 0;
inline constexpr std::uint32_t kFileCurrent = 1;
inline constexpr std::uint32_t kFileEnd = 2;
inline constexpr std::uint32_t kInvalidFilePosition = 0xFFFFFFFFu;  // SetFilePointer failure
inline constexpr std::uint32_t kInvalidFileSize = 0xFFFFFFFFu;      // GetFileSize failure

// Windows system error numbers that the driver and the POSIX mapping use.
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorWriteProtect = 19;
inline constexpr std::uint32_t kErrorNotReady = 21;
inline constexpr std::uint32_t kErrorSeek = 25;
inline constexpr std::uint32_t kErrorWriteFault = 29;
inline constexpr std::uint32_t kErrorReadFault = 30;
inline constexpr std::uint32_t kErrorGenFailure = 31;  // device attached but not functioning
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorHandleEof = 38;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorNegativeSeek = 131;
inline constexpr std::uint32_t kErrorBusy = 170;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorFilenameTooLong = 206;
inline constexpr std::uint32_t kErrorFileTooLarge = 223;
inline constexpr std::uint32_t kErrorModNotFound = 126;
inline constexpr std::uint32_t kErrorProcNotFound = 127;
inline constexpr std::uint32_t kErrorTimeout = 1460;

// Path separators of the driver's names: the backslash everywhere, and the
// slash too where the system's own paths use it.
constexpr bool IsPathSeparator(char c) {
#ifdef _WIN32
  return c == '\\';
#else
  return c == '\\' || c == '/';
#endif
}

// ---- message boxes ------------------------------------------------------------

inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbIconError = 0x10;
inline constexpr std::uint32_t kMbIconWarning = 0x30;
inline constexpr std::uint32_t kMbIconInformation = 0x40;
inline constexpr int kIdOk = 1;

enum class PumpResult { kNone, kDispatched, kQuit };

// ---- time ---------------------------------------------------------------------

struct LocalTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;  // 1..12
  std::uint16_t day = 0;    // 1..31
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

// ---- libraries and events -------------------------------------------------------

using LibraryHandle = void*;
using ProcAddress = void (*)();

// An event object: manual reset, created not signalled. `native` is what goes
// into an ASPI request block's SRB_PostProc (a HANDLE on Windows, an eventfd
// descriptor stored as (void *)(intptr_t)fd on POSIX).
struct EventHandle {
  void* native = nullptr;
  bool valid = false;
};

// ---- the interface ----------------------------------------------------------------

class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  // Files. Names are in the driver's form ("c:\scan.log", "cdb.log", a host
  // path). Each failing call sets the last error to a Windows error number.
  virtual FileHandle FileOpen(const char* name, std::uint32_t access, std::uint32_t share,
                              std::uint32_t disposition, std::uint32_t flags) = 0;
  virtual bool FileRead(FileHandle file, void* buffer, std::uint32_t count,
                        std::uint32_t* done) = 0;
  virtual bool FileWrite(FileHandle file, const void* buffer, std::uint32_t count,
                         std::uint32_t* done) = 0;
  // Returns the new position, or kInvalidFilePosition.
  virtual std::uint32_t FileSeek(FileHandle file, std::int32_t distance, std::uint32_t method) = 0;
  // Returns the size, or kInvalidFileSize.
  virtual std::uint32_t FileSize(FileHandle file) = 0;
  // Cuts the file at its current position.
  virtual bool FileTruncateHere(FileHandle file) = 0;
  virtual bool FileClose(FileHandle file) = 0;
  virtual bool FileCopy(const char* from, const char* to, bool failIfExists) = 0;
  virtual bool FileDelete(const char* name) = 0;
  virtual bool FileRename(const char* from, const char* to) = 0;

  virtual std::uint32_t LastError() = 0;
  virtual void SetLastError(std::uint32_t code) = 0;
  // The system's text for an error code, as FormatMessage gives it (usually
  // ending in CR LF), cut to size - 1 bytes and NUL-terminated. Returns the
  // length; 0 and an empty text when the system has none.
  virtual std::size_t ErrorText(std::uint32_t code, char* buffer, std::size_t size) = 0;

  // Private-profile files, with GetPrivateProfileStringA and
  // WritePrivateProfileStringA semantics. ProfileRead returns the number of
  // bytes copied without the NUL.
  virtual std::uint32_t ProfileRead(const char* file, const char* section, const char* key,
                                    const char* defaultValue, char* buffer,
                                    std::uint32_t size) = 0;
  virtual bool ProfileWrite(const char* file, const char* section, const char* key,
                            const char* value) = 0;

  // Paths, GetModuleFileNameA style: the length copied, 0 on failure.
  virtual std::uint32_t LibraryPath(char* buffer, std::uint32_t size) = 0;
  virtual std::uint32_t HostExecutablePath(char* buffer, std::uint32_t size) = 0;
  virtual std::uint32_t WindowsFolder(char* buffer, std::uint32_t size) = 0;
  // The settings file: beside the library with the extension "ini" on
  // Windows, $TARVOSCN_ROOT/tarvoscn.ini on POSIX. False when unknown.
  virtual bool SettingsFilePath(char* buffer, std::uint32_t size) = 0;
  // "\StringFileInfo\041104b0\FileVersion" of the library file `path`.
  virtual bool LibraryFileVersion(const char* path, char* buffer, std::uint32_t size) = 0;
  // The thread locale's language identifier as four hexadecimal digits.
  virtual void ThreadLanguageId(char (&out)[8]) = 0;

  // Time.
  virtual LocalTime Now() = 0;
  virtual std::uint32_t Ticks() = 0;  // milliseconds, wrapping at 2^32
  virtual void SleepFor(std::uint32_t milliseconds) = 0;

  // User interface.
  virtual int ShowMessageBox(void* owner, const char* text, const char* caption,
                             std::uint32_t style) = 0;
  // Takes one waiting window message of the calling thread: a quit message
  // is reported and not dispatched; any other is translated and dispatched.
  // POSIX hosts have no window messages: always kNone.
  virtual PumpResult PumpOneMessage() = 0;

  // Dynamic libraries. Names are the Windows ones ("RIZIDUD", "klxjpeg.dll");
  // the POSIX implementation maps them to lib<name>.so.
  virtual LibraryHandle LibraryLoad(const char* name) = 0;
  virtual ProcAddress LibrarySymbol(LibraryHandle library, const char* symbol) = 0;
  virtual ProcAddress LibraryOrdinal(LibraryHandle library, std::uint16_t ordinal) = 0;
  virtual bool LibraryFree(LibraryHandle library) = 0;

  // Events.
  virtual EventHandle EventCreate() = 0;
  virtual bool EventWait(EventHandle event) = 0;  // no time limit
  virtual bool EventClose(EventHandle event) = 0;

  // The debugging set-up asks for the SCSI command trace.
  virtual bool CommandTraceRequested() = 0;
};

// ---- owners ----------------------------------------------------------------------

// Owns an open file; closes it (unguarded) when it goes out of scope.
class UniqueFile {
 public:
  UniqueFile() = default;
  UniqueFile(Platform& platform, FileHandle handle) : platform_(&platform), handle_(handle) {}
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;
  UniqueFile(UniqueFile&& other) noexcept
      : platform_(other.platform_), handle_(std::exchange(other.handle_, kInvalidFile)) {}
  UniqueFile& operator=(UniqueFile&& other) noexcept {
    if (this != &other) {
      Reset();
      platform_ = other.platform_;
      handle_ = std::exchange(other.handle_, kInvalidFile);
    }
    return *this;
  }
  ~UniqueFile() { Reset(); }

  FileHandle get() const { return handle_; }
  bool valid() const { return handle_ != kInvalidFile; }
  explicit operator bool() const { return valid(); }
  // Gives up ownership without closing.
  FileHandle Release() { return std::exchange(handle_, kInvalidFile); }
  void Reset() {
    if (handle_ != kInvalidFile && platform_ != nullptr) platform_->FileClose(handle_);
    handle_ = kInvalidFile;
  }

 private:
  Platform* platform_ = nullptr;
  FileHandle handle_ = kInvalidFile;
};

// Owns a loaded library.
class UniqueLibrary {
 public:
  UniqueLibrary() = default;
  UniqueLibrary(Platform& platform, LibraryHandle handle) : platform_(&platform), handle_(handle) {}
  UniqueLibrary(const UniqueLibrary&) = delete;
  UniqueLibrary& operator=(const UniqueLibrary&) = delete;
  UniqueLibrary(UniqueLibrary&& other) noexcept
      : platform_(other.platform_), handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueLibrary& operator=(UniqueLibrary&& other) noexcept {
    if (this != &other) {
      Reset();
      platform_ = other.platform_;
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  ~UniqueLibrary() { Reset(); }

  LibraryHandle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  LibraryHandle Release() { return std::exchange(handle_, nullptr); }
  void Reset() {
    if (handle_ != nullptr && platform_ != nullptr) platform_->LibraryFree(handle_);
    handle_ = nullptr;
  }

 private:
  Platform* platform_ = nullptr;
  LibraryHandle handle_ = nullptr;
};

// Owns an event object.
class UniqueEvent {
 public:
  UniqueEvent(Platform& platform, EventHandle event) : platform_(&platform), event_(event) {}
  UniqueEvent(const UniqueEvent&) = delete;
  UniqueEvent& operator=(const UniqueEvent&) = delete;
  ~UniqueEvent() {
    if (event_.valid) platform_->EventClose(event_);
  }
  const EventHandle& get() const { return event_; }
  bool valid() const { return event_.valid; }

 private:
  Platform* platform_;
  EventHandle event_;
};

}  // namespace tarvo
