#include "platform/posix/PosixPlatform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <vector>

#include "platform/ProfileText.h"
#include "version.h"

namespace tarvo {
namespace {

// Largest settings file read; a bigger one is treated as unreadable.
constexpr std::size_t kMaxProfileBytes = 1u << 20;

struct ErrnoMapping {
  int error;
  std::uint32_t windows;
};

constexpr std::array<ErrnoMapping, 20> kErrnoMap{{
    {ENOENT, kErrorFileNotFound},      {ENOTDIR, kErrorPathNotFound},
    {EMFILE, kErrorTooManyOpenFiles},  {ENFILE, kErrorTooManyOpenFiles},
    {EACCES, kErrorAccessDenied},      {EPERM, kErrorAccessDenied},
    {EISDIR, kErrorAccessDenied},      {EBADF, kErrorInvalidHandle},
    {ENOMEM, kErrorNotEnoughMemory},   {EROFS, kErrorWriteProtect},
    {EIO, kErrorGenFailure},           {EWOULDBLOCK, kErrorSharingViolation},
    {EEXIST, kErrorFileExists},        {EINVAL, kErrorInvalidParameter},
    {ENOSPC, kErrorDiskFull},          {EDQUOT, kErrorDiskFull},
    {ENAMETOOLONG, kErrorFilenameTooLong}, {EFBIG, kErrorFileTooLarge},
    {EBUSY, kErrorBusy},               {ETIMEDOUT, kErrorTimeout},
}};

struct ErrorMessage {
  std::uint32_t code;
  const char* text;
};

// The system's texts, worded as the Windows system words them, so that log
// entries read the same on both systems.
constexpr std::array<ErrorMessage, 27> kErrorMessages{{
    {kErrorSuccess, "The operation completed successfully."},
    {1, "Incorrect function."},
    {kErrorFileNotFound, "The system cannot find the file specified."},
    {kErrorPathNotFound, "The system cannot find the path specified."},
    {kErrorTooManyOpenFiles, "The system cannot open the file."},
    {kErrorAccessDenied, "Access is denied."},
    {kErrorInvalidHandle, "The handle is invalid."},
    {kErrorNotEnoughMemory, "Not enough memory resources are available to process this command."},
    {kErrorWriteProtect, "The media is write protected."},
    {kErrorNotReady, "The device is not ready."},
    {kErrorSeek, "The drive cannot locate a specific area or track on the disk."},
    {kErrorWriteFault, "The system cannot write to the specified device."},
    {kErrorReadFault, "The system cannot read from the specified device."},
    {kErrorGenFailure, "A device attached to the system is not functioning."},
    {kErrorSharingViolation,
     "The process cannot access the file because it is being used by another process."},
    {kErrorHandleEof, "Reached the end of the file."},
    {kErrorNotSupported, "The request is not supported."},
    {kErrorFileExists, "The file exists."},
    {kErrorInvalidParameter, "The parameter is incorrect."},
    {kErrorDiskFull, "There is not enough space on the disk."},
    {kErrorInsufficientBuffer, "The data area passed to a system call is too small."},
    {kErrorModNotFound, "The specified module could not be found."},
    {kErrorProcNotFound, "The specified procedure could not be found."},
    {kErrorNegativeSeek,
     "An attempt was made to move the file pointer before the beginning of the file."},
    {kErrorBusy, "The requested resource is in use."},
    {kErrorAlreadyExists, "Cannot create a file when that file already exists."},
    {kErrorFilenameTooLong, "The filename or extension is too long."},
}};

struct LocaleMapping {
  const char* prefix;
  const char* languageId;
};

constexpr std::array<LocaleMapping, 6> kLocaleMap{{
    {"ja", "0411"}, {"es", "0C0A"}, {"fr", "040C"}, {"de", "0407"}, {"it", "0410"}, {"zh", "0804"},
}};

int FdOf(FileHandle file) { return static_cast<int>(file); }

// Copies `text` into a GetModuleFileNameA-style buffer: the length copied,
// cut to size - 1, 0 when there is no room at all.
std::uint32_t CopyOut(std::string_view text, char* buffer, std::uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<std::uint32_t>(n);
}

bool StartsWithDriveC(const char* name) {
  return (name[0] == 'c' || name[0] == 'C') && name[1] == ':' &&
         (name[2] == '\\' || name[2] == '/');
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out.clear();
  char chunk[4096];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    if (out.size() + static_cast<std::size_t>(n) > kMaxProfileBytes) {
      ok = false;
      break;
    }
    out.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return ok;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Anchor for dladdr: an address inside this library.
void LibraryAnchor() {}

}  // namespace

std::uint32_t WindowsErrorFromErrno(int error) {
  for (const ErrnoMapping& m : kErrnoMap) {
    if (m.error == error) return m.windows;
  }
  return kErrorGenFailure;
}

const char* LanguageIdForLocale(const char* locale) {
  if (locale == nullptr) return "0409";
  for (const LocaleMapping& m : kLocaleMap) {
    if (std::strncmp(locale, m.prefix, 2) == 0 &&
        (locale[2] == '\0' || locale[2] == '_' || locale[2] == '.' || locale[2] == '@' ||
         locale[2] == '-')) {
      return m.languageId;
    }
  }
  return "0409";
}

PosixPlatformOptions PosixOptionsFromEnvironment() {
  PosixPlatformOptions options;
  const char* root = std::getenv("TARVOSCN_ROOT");
  if (root != nullptr && root[0] != '\0') {
    options.root = root;
  } else {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (xdg != nullptr && xdg[0] != '\0') {
      options.root = std::string(xdg) + "/tarvoscn";
    } else if (home != nullptr && home[0] != '\0') {
      options.root = std::string(home) + "/.local/share/tarvoscn";
    } else {
      options.root = "/tmp/tarvoscn";
    }
  }
  const char* trace = std::getenv("TARVOSCN_CDB_TRACE");
  options.commandTrace = trace != nullptr && std::strcmp(trace, "1") == 0;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') {
      options.languageEnv = value;
      break;
    }
  }
  if (const char* aspi = std::getenv("TARVOSCN_ASPI"); aspi != nullptr) options.aspiLibrary = aspi;
  return options;
}

std::string InstalledDataFolder() {
#ifdef TARVOSCN_DATA_FROM_LIBDIR
  // Relative to the library's folder, so that an installed tree can move.
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&LibraryAnchor), &info) != 0 && info.dli_fname != nullptr) {
    std::string_view library = info.dli_fname;
    std::size_t slash = library.rfind('/');
    std::string folder = std::string(library.substr(0, slash + 1)) + TARVOSCN_DATA_FROM_LIBDIR;
    char resolved[PATH_MAX];
    if (slash != std::string_view::npos && ::realpath(folder.c_str(), resolved) != nullptr) {
      return resolved;
    }
  }
#endif
  return {};
}

PosixPlatform::PosixPlatform(PosixPlatformOptions options, std::string dataFolder)
    : options_(std::move(options)), dataFolder_(std::move(dataFolder)) {
  while (options_.root.size() > 1 && options_.root.back() == '/') options_.root.pop_back();
}

std::string PosixPlatform::NativePath(const char* name) const {
  std::string path;
  if (StartsWithDriveC(name)) {
    path = options_.root;
    path += '/';
    name += 3;
  }
  for (const char* p = name; *p != '\0'; ++p) path += *p == '\\' ? '/' : *p;
  return path;
}

bool PosixPlatform::Fail(int error) {
  lastError_ = WindowsErrorFromErrno(error);
  return false;
}

void PosixPlatform::EnsureRootFor(const std::string& nativePath) {
  if (nativePath.compare(0, options_.root.size(), options_.root) != 0) return;
  // Create the root folder itself (and its parents); never folders inside it.
  std::string partial;
  std::size_t pos = 0;
  while (pos <= options_.root.size()) {
    std::size_t slash = options_.root.find('/', pos);
    if (slash == std::string::npos) slash = options_.root.size();
    partial = options_.root.substr(0, slash);
    if (!partial.empty()) ::mkdir(partial.c_str(), 0755);
    pos = slash + 1;
  }
}

FileHandle PosixPlatform::FileOpen(const char* name, std::uint32_t access, std::uint32_t share,
                                   std::uint32_t disposition, std::uint32_t flags) {
  (void)flags;  // random-access and write-through hints: the page cache decides
  if (name == nullptr || name[0] == '\0') {
    Fail(ENOENT);
    return kInvalidFile;
  }
  std::string path = NativePath(name);
  int oflags = O_CLOEXEC;
  bool read = (access & kGenericRead) != 0;
  bool write = (access & kGenericWrite) != 0;
  if (read && write) {
    oflags |= O_RDWR;
  } else if (write) {
    oflags |= O_WRONLY;
  } else if (read) {
    oflags |= O_RDONLY;
  } else {
    oflags |= O_PATH;  // no access: only the existence is of interest
  }
  bool mayCreate = false;
  switch (disposition) {
    case kCreateNew: oflags |= O_CREAT | O_EXCL; mayCreate = true; break;
    case kCreateAlways: oflags |= O_CREAT | O_TRUNC; mayCreate = true; break;
    case kOpenExisting: break;
    case kOpenAlways: oflags |= O_CREAT; mayCreate = true; break;
    case kTruncateExisting: oflags |= O_TRUNC; break;
    default: Fail(EINVAL); return kInvalidFile;
  }
  struct stat before {};
  bool existed = ::stat(path.c_str(), &before) == 0;
  if (existed && S_ISDIR(before.st_mode)) {
    Fail(EACCES);
    return kInvalidFile;
  }
  if (mayCreate && !existed) EnsureRootFor(path);
  int fd = ::open(path.c_str(), oflags, 0644);
  if (fd < 0) {
    Fail(errno);
    return kInvalidFile;
  }
  if ((oflags & O_PATH) == 0) {
    // Opened without sharing: exclusive; with sharing: shared with others alike.
    int lock = (share == kShareNone ? LOCK_EX : LOCK_SH) | LOCK_NB;
    if (::flock(fd, lock) != 0 && (errno == EWOULDBLOCK || errno == EAGAIN)) {
      ::close(fd);
      lastError_ = kErrorSharingViolation;
      return kInvalidFile;
    }
  }
  // As on Windows: success, but "already exists" when an existing file was opened
  // or replaced by a creating disposition.
  lastError_ = (mayCreate && existed) ? kErrorAlreadyExists : kErrorSuccess;
  return static_cast<FileHandle>(fd);
}

bool PosixPlatform::FileRead(FileHandle file, void* buffer, std::uint32_t count,
                             std::uint32_t* done) {
  if (done != nullptr) *done = 0;
  std::uint32_t total = 0;
  auto* out = static_cast<char*>(buffer);
  while (total < count) {
    ssize_t n = ::read(FdOf(file), out + total, count - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(errno);
    if (n == 0) break;  // end of file: success with fewer bytes
    total += static_cast<std::uint32_t>(n);
  }
  if (done != nullptr) *done = total;
  return true;
}

bool PosixPlatform::FileWrite(FileHandle file, const void* buffer, std::uint32_t count,
                              std::uint32_t* done) {
  if (done != nullptr) *done = 0;
  std::uint32_t total = 0;
  const auto* in = static_cast<const char*>(buffer);
  while (total < count) {
    ssize_t n = ::write(FdOf(file), in + total, count - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (done != nullptr) *done = total;
      return Fail(errno);
    }
    if (n == 0) {
      if (done != nullptr) *done = total;
      return Fail(ENOSPC);
    }
    total += static_cast<std::uint32_t>(n);
  }
  if (done != nullptr) *done = total;
  return true;
}

std::uint32_t PosixPlatform::FileSeek(FileHandle file, std::int32_t distance,
                                      std::uint32_t method) {
  int whence = method == kFileBegin ? SEEK_SET : method == kFileCurrent ? SEEK_CUR : SEEK_END;
  if (method > kFileEnd) {
    Fail(EINVAL);
    return kInvalidFilePosition;
  }
  off_t base = 0;
  if (whence != SEEK_SET) {
    base = ::lseek(FdOf(file), 0, whence);
    if (base < 0) {
      Fail(errno);
      return kInvalidFilePosition;
    }
  }
  off_t target = base + distance;
  if (target < 0) {
    lastError_ = kErrorNegativeSeek;
    return kInvalidFilePosition;
  }
  if (target >= static_cast<off_t>(kInvalidFilePosition)) {
    Fail(EFBIG);
    return kInvalidFilePosition;
  }
  off_t at = ::lseek(FdOf(file), target, SEEK_SET);
  if (at < 0) {
    Fail(errno);
    return kInvalidFilePosition;
  }
  lastError_ = kErrorSuccess;
  return static_cast<std::uint32_t>(at);
}

std::uint32_t PosixPlatform::FileSize(FileHandle file) {
  struct stat st {};
  if (::fstat(FdOf(file), &st) != 0) {
    Fail(errno);
    return kInvalidFileSize;
  }
  if (st.st_size >= static_cast<off_t>(kInvalidFileSize)) {
    Fail(EFBIG);
    return kInvalidFileSize;
  }
  lastError_ = kErrorSuccess;
  return static_cast<std::uint32_t>(st.st_size);
}

bool PosixPlatform::FileTruncateHere(FileHandle file) {
  off_t at = ::lseek(FdOf(file), 0, SEEK_CUR);
  if (at < 0) return Fail(errno);
  if (::ftruncate(FdOf(file), at) != 0) return Fail(errno);
  return true;
}

bool PosixPlatform::FileClose(FileHandle file) {
  if (file == kInvalidFile) return Fail(EBADF);
  if (::close(FdOf(file)) != 0 && errno != EINTR) return Fail(errno);
  return true;
}

bool PosixPlatform::FileCopy(const char* from, const char* to, bool failIfExists) {
  std::string src = NativePath(from);
  std::string dst = NativePath(to);
  int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail(errno);
  int out = ::open(dst.c_str(),
                   O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC), 0644);
  if (out < 0) {
    int error = errno;
    ::close(in);
    return Fail(error);
  }
  std::vector<char> chunk(1u << 16);
  bool ok = true;
  int error = 0;
  for (;;) {
    ssize_t n = ::read(in, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      error = errno;
      break;
    }
    if (n == 0) break;
    if (!WriteAll(out, chunk.data(), static_cast<std::size_t>(n))) {
      ok = false;
      error = errno != 0 ? errno : ENOSPC;
      break;
    }
  }
  ::close(in);
  if (::close(out) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) return Fail(error);
  return true;
}

bool PosixPlatform::FileDelete(const char* name) {
  if (::unlink(NativePath(name).c_str()) != 0) return Fail(errno);
  return true;
}

bool PosixPlatform::FileRename(const char* from, const char* to) {
  std::string dst = NativePath(to);
  struct stat st {};
  if (::stat(dst.c_str(), &st) == 0) {
    lastError_ = kErrorAlreadyExists;
    return false;
  }
  if (::rename(NativePath(from).c_str(), dst.c_str()) != 0) return Fail(errno);
  return true;
}

std::size_t PosixPlatform::ErrorText(std::uint32_t code, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  for (const ErrorMessage& m : kErrorMessages) {
    if (m.code != code) continue;
    int n = std::snprintf(buffer, size, "%s\r\n", m.text);
    if (n < 0) return 0;
    return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
  }
  return 0;
}

std::uint32_t PosixPlatform::ProfileRead(const char* file, const char* section, const char* key,
                                         const char* defaultValue, char* buffer,
                                         std::uint32_t size) {
  std::string text;
  std::optional<std::string> value;
  if (section != nullptr && key != nullptr && ReadWholeFile(NativePath(file), text)) {
    value = profile::Find(text, section, key);
  }
  if (value) return CopyOut(*value, buffer, size);
  // The default loses its trailing blanks, as the Windows function does.
  std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
  while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
  return CopyOut(fallback, buffer, size);
}

bool PosixPlatform::ProfileWrite(const char* file, const char* section, const char* key,
                                 const char* value) {
  if (section == nullptr || key == nullptr) return Fail(EINVAL);
  std::string path = NativePath(file);
  std::string text;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !ReadWholeFile(path, text)) return Fail(EIO);
  std::string updated = profile::Write(text, section, key, value, "\n");
  EnsureRootFor(path);
  // Write beside, then rename over: the settings file is whole at every instant.
  std::string temporary = path + ".new";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Fail(errno);
  bool ok = WriteAll(fd, updated.data(), updated.size());
  int error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    return Fail(error != 0 ? error : EIO);
  }
  return true;
}

std::uint32_t PosixPlatform::LibraryPath(char* buffer, std::uint32_t size) {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&LibraryAnchor), &info) == 0 || info.dli_fname == nullptr) {
    lastError_ = kErrorModNotFound;
    return 0;
  }
  return CopyOut(info.dli_fname, buffer, size);
}

std::uint32_t PosixPlatform::HostExecutablePath(char* buffer, std::uint32_t size) {
  char path[4096];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) {
    Fail(errno);
    return 0;
  }
  return CopyOut(std::string_view(path, static_cast<std::size_t>(n)), buffer, size);
}

std::uint32_t PosixPlatform::WindowsFolder(char* buffer, std::uint32_t size) {
  // The language files: the root's own copies first, then the installed ones.
  struct stat info {};
  if (!dataFolder_.empty() && dataFolder_.size() < size &&
      ::stat(NativePath("c:\\windows\\klxscan").c_str(), &info) != 0 &&
      ::stat((dataFolder_ + "/klxscan").c_str(), &info) == 0) {
    return CopyOut(dataFolder_, buffer, size);
  }
  return CopyOut("c:\\windows", buffer, size);
}

bool PosixPlatform::SettingsFilePath(char* buffer, std::uint32_t size) {
  std::string path = options_.root + "/tarvoscn.ini";
  if (path.size() + 1 > size) return false;
  return CopyOut(path, buffer, size) > 0;
}

bool PosixPlatform::LibraryFileVersion(const char* path, char* buffer, std::uint32_t size) {
  (void)path;  // no version resources here: the texts are compiled in
  return CopyOut(TARVOSCN_FILE_VERSION_TEXT, buffer, size) > 0;
}

void PosixPlatform::ThreadLanguageId(char (&out)[8]) {
  std::snprintf(out, sizeof out, "%s",
                LanguageIdForLocale(options_.languageEnv.empty() ? nullptr
                                                                 : options_.languageEnv.c_str()));
}

LocalTime PosixPlatform::Now() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  struct tm tm {};
  ::localtime_r(&ts.tv_sec, &tm);
  LocalTime t;
  t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
  t.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
  t.day = static_cast<std::uint16_t>(tm.tm_mday);
  t.hour = static_cast<std::uint16_t>(tm.tm_hour);
  t.minute = static_cast<std::uint16_t>(tm.tm_min);
  t.second = static_cast<std::uint16_t>(tm.tm_sec);
  t.milliseconds = static_cast<std::uint16_t>(ts.tv_nsec / 1000000);
  return t;
}

std::uint32_t PosixPlatform::Ticks() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                     static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

void PosixPlatform::SleepFor(std::uint32_t milliseconds) {
  if (milliseconds == 0) {
    ::sched_yield();
    return;
  }
  struct timespec ts {};
  ts.tv_sec = milliseconds / 1000;
  ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

int PosixPlatform::ShowMessageBox(void* owner, const char* text, const char* caption,
                                  std::uint32_t style) {
  (void)owner;
  (void)style;
  std::string line = caption != nullptr ? caption : "Error";
  line += ": ";
  for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
    if (*p == '\r') continue;
    line += *p == '\n' ? ' ' : *p;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  line += '\n';
  (void)!::write(STDERR_FILENO, line.data(), line.size());
  return kIdOk;
}

std::string PosixPlatform::LibraryFileName(const char* name) const {
  std::string_view n = name;
  if (n.find('/') != std::string_view::npos) return std::string(n);
  if (EqualsNoCase(n, "WNASPI32.dll") || EqualsNoCase(n, "WNASPI32")) {
    if (!options_.aspiLibrary.empty()) return options_.aspiLibrary;
  }
  if (n.size() > 4 && EqualsNoCase(n.substr(n.size() - 4), ".dll")) n.remove_suffix(4);
  std::string file = "lib";
  for (char c : n) file += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  file += ".so";
  return file;
}

LibraryHandle PosixPlatform::LibraryLoad(const char* name) {
  if (name == nullptr) {
    lastError_ = kErrorInvalidParameter;
    return nullptr;
  }
  std::string file = LibraryFileName(name);
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) lastError_ = kErrorModNotFound;
  return handle;
}

ProcAddress PosixPlatform::LibrarySymbol(LibraryHandle library, const char* symbol) {
  if (library == nullptr || symbol == nullptr) {
    lastError_ = kErrorInvalidHandle;
    return nullptr;
  }
  void* address = ::dlsym(library, symbol);
  if (address == nullptr) {
    lastError_ = kErrorProcNotFound;
    return nullptr;
  }
  return reinterpret_cast<ProcAddress>(address);
}

ProcAddress PosixPlatform::LibraryOrdinal(LibraryHandle library, std::uint16_t ordinal) {
  (void)library;
  (void)ordinal;
  lastError_ = kErrorProcNotFound;  // shared objects have no ordinals
  return nullptr;
}

bool PosixPlatform::LibraryFree(LibraryHandle library) {
  if (library == nullptr || ::dlclose(library) != 0) {
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  return true;
}

EventHandle PosixPlatform::EventCreate() {
  int fd = ::eventfd(0, EFD_CLOEXEC);
  if (fd < 0) {
    Fail(errno);
    return {};
  }
  EventHandle event;
  event.native = reinterpret_cast<void*>(static_cast<std::intptr_t>(fd));
  event.valid = true;
  return event;
}

bool PosixPlatform::EventWait(EventHandle event) {
  if (!event.valid) return Fail(EBADF);
  int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(event.native));
  std::uint64_t value = 0;
  for (;;) {
    ssize_t n = ::read(fd, &value, sizeof value);
    if (n == static_cast<ssize_t>(sizeof value)) return true;
    if (n < 0 && errno == EINTR) continue;
    return Fail(n < 0 ? errno : EIO);
  }
}

bool PosixPlatform::EventClose(EventHandle event) {
  if (!event.valid) return Fail(EBADF);
  int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(event.native));
  return ::close(fd) == 0 || Fail(errno);
}

}  // namespace tarvo
