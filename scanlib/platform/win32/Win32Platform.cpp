// The platform on Windows: every call goes to the Windows API of the same
// meaning.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/Platform.h"
#include "platform/SystemPlatform.h"

namespace tarvo {
namespace {

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(HMODULE module) : module_(module) {}

  FileHandle FileOpen(const char* name, std::uint32_t access, std::uint32_t share,
                      std::uint32_t disposition, std::uint32_t flags) override {
    HANDLE h = ::CreateFileA(name, access, share, nullptr, disposition, flags, nullptr);
    return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
  }
  bool FileRead(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* done) override {
    DWORD got = 0;
    BOOL ok = ::ReadFile(ToHandle(file), buffer, count, &got, nullptr);
    if (done != nullptr) *done = got;
    return ok != FALSE;
  }
  bool FileWrite(FileHandle file, const void* buffer, std::uint32_t count,
                 std::uint32_t* done) override {
    DWORD put = 0;
    BOOL ok = ::WriteFile(ToHandle(file), buffer, count, &put, nullptr);
    if (done != nullptr) *done = put;
    return ok != FALSE;
  }
  std::uint32_t FileSeek(FileHandle file, std::int32_t distance, std::uint32_t method) override {
    return ::SetFilePointer(ToHandle(file), distance, nullptr, method);
  }
  std::uint32_t FileSize(FileHandle file) override {
    return ::GetFileSize(ToHandle(file), nullptr);
  }
  bool FileTruncateHere(FileHandle file) override {
    return ::SetEndOfFile(ToHandle(file)) != FALSE;
  }
  bool FileClose(FileHandle file) override { return ::CloseHandle(ToHandle(file)) != FALSE; }
  bool FileCopy(const char* from, const char* to, bool failIfExists) override {
    return ::CopyFileA(from, to, failIfExists ? TRUE : FALSE) != FALSE;
  }
  bool FileDelete(const char* name) override { return ::DeleteFileA(name) != FALSE; }
  bool FileRename(const char* from, const char* to) override {
    return ::MoveFileA(from, to) != FALSE;
  }

  std::uint32_t LastError() override { return ::GetLastError(); }
  void SetLastError(std::uint32_t code) override { ::SetLastError(code); }
  std::size_t ErrorText(std::uint32_t code, char* buffer, std::size_t size) override {
    if (buffer == nullptr || size == 0) return 0;
    buffer[0] = '\0';
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
                               buffer, static_cast<DWORD>(size), nullptr);
    if (n == 0) buffer[0] = '\0';
    return n;
  }

  std::uint32_t ProfileRead(const char* file, const char* section, const char* key,
                            const char* defaultValue, char* buffer, std::uint32_t size) override {
    return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
  }
  bool ProfileWrite(const char* file, const char* section, const char* key,
                    const char* value) override {
    return ::WritePrivateProfileStringA(section, key, value, file) != FALSE;
  }

  std::uint32_t LibraryPath(char* buffer, std::uint32_t size) override {
    return ::GetModuleFileNameA(module_, buffer, size);
  }
  std::uint32_t HostExecutablePath(char* buffer, std::uint32_t size) override {
    return ::GetModuleFileNameA(nullptr, buffer, size);
  }
  std::uint32_t WindowsFolder(char* buffer, std::uint32_t size) override {
    return ::GetWindowsDirectoryA(buffer, size);
  }
  bool SettingsFilePath(char* buffer, std::uint32_t size) override {
    // The library's own path with its last three characters replaced by "ini".
    DWORD n = ::GetModuleFileNameA(module_, buffer, size);
    if (n < 3 || n >= size) return false;
    std::memcpy(buffer + n - 3, "ini", 3);
    return true;
  }
  bool LibraryFileVersion(const char* path, char* buffer, std::uint32_t size) override {
    DWORD ignored = 0;
    DWORD length = ::GetFileVersionInfoSizeA(path, &ignored);
    if (length == 0 || size == 0) return false;
    std::unique_ptr<char[]> block(new char[length]);
    if (!::GetFileVersionInfoA(path, 0, length, block.get())) return false;
    void* value = nullptr;
    UINT valueLength = 0;
    char query[] = "\\StringFileInfo\\041104b0\\FileVersion";
    if (!::VerQueryValueA(block.get(), query, &value, &valueLength) || value == nullptr) {
      return false;
    }
    std::snprintf(buffer, size, "%s", static_cast<const char*>(value));
    return true;
  }
  void ThreadLanguageId(char (&out)[8]) override {
    if (::GetLocaleInfoA(::GetThreadLocale(), LOCALE_ILANGUAGE, out, sizeof out) == 0) {
      std::snprintf(out, sizeof out, "0409");
    }
  }

  LocalTime Now() override {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    LocalTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.milliseconds = st.wMilliseconds;
    return t;
  }
  std::uint32_t Ticks() override { return ::GetTickCount(); }
  void SleepFor(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }

  int ShowMessageBox(void* owner, const char* text, const char* caption,
                     std::uint32_t style) override {
    return ::MessageBoxA(static_cast<HWND>(owner), text, caption, style);
  }
  PumpResult PumpOneMessage() override {
    MSG msg;
    if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return PumpResult::kNone;
    if (msg.message == WM_QUIT) return PumpResult::kQuit;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
    return PumpResult::kDispatched;
  }

  LibraryHandle LibraryLoad(const char* name) override {
    return reinterpret_cast<LibraryHandle>(::LoadLibraryA(name));
  }
  ProcAddress LibrarySymbol(LibraryHandle library, const char* symbol) override {
    return reinterpret_cast<ProcAddress>(
        reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), symbol)));
  }
  ProcAddress LibraryOrdinal(LibraryHandle library, std::uint16_t ordinal) override {
    return reinterpret_cast<ProcAddress>(reinterpret_cast<void*>(::GetProcAddress(
        static_cast<HMODULE>(library), MAKEINTRESOURCEA(ordinal))));
  }
  bool LibraryFree(LibraryHandle library) override {
    return ::FreeLibrary(static_cast<HMODULE>(library)) != FALSE;
  }

  EventHandle EventCreate() override {
    HANDLE h = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EventHandle event;
    event.native = h;
    event.valid = h != nullptr;
    return event;
  }
  bool EventWait(EventHandle event) override {
    return ::WaitForSingleObject(static_cast<HANDLE>(event.native), INFINITE) == WAIT_OBJECT_0;
  }
  bool EventClose(EventHandle event) override {
    return ::CloseHandle(static_cast<HANDLE>(event.native)) != FALSE;
  }

  bool CommandTraceRequested() override {
#ifdef TARVOSCN_CDB_TRACE
    return true;
#else
    return false;
#endif
  }

 private:
  HMODULE module_;
};

}  // namespace

std::unique_ptr<Platform> CreateSystemPlatform(void* module) {
  return std::make_unique<Win32Platform>(static_cast<HMODULE>(module));
}

}  // namespace tarvo
