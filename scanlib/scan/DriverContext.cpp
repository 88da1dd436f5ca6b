#include "scan/DriverContext.h"

#include <cstdio>
#include <cstring>

namespace tarvo {
namespace {

constexpr const char* kMarkerFile = "c:\\sorrel.dlg";
constexpr const char* kKeyRotate = "ROTATE90";
constexpr const char* kKeyLanguage = "LANGUAGE";
constexpr const char* kRotateOff = "FALSE";
constexpr const char* kRotateOn = "TRUE";
constexpr const char* kLanguageUnset = "NOTDEFINED";

constexpr std::uint32_t kSettingsPathSize = 1024;
constexpr std::uint32_t kHostPathSize = 512;
constexpr std::uint32_t kRotateValueSize = 512;
constexpr std::uint32_t kLanguageValueSize = 32;

void CopyText(char* out, std::size_t size, const char* text) {
  if (out == nullptr || size == 0) return;
  std::snprintf(out, size, "%s", text);
}

bool MarkerFileExists(Platform& platform) {
  // Opened for no access, without sharing, only if it exists; closed at once.
  FileHandle marker = platform.FileOpen(kMarkerFile, 0, kShareNone, kOpenExisting, kAttributeNormal);
  if (marker == kInvalidFile) return false;
  platform.FileClose(marker);
  return true;
}

}  // namespace

void FileNamePart(const char* path, char* out, std::size_t size) {
  if (path == nullptr) {
    CopyText(out, size, "");
    return;
  }
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (IsPathSeparator(*p)) name = p + 1;
  }
  CopyText(out, size, name);
}

void ReadDriverSetting(DriverContext& context, const char* section, const char* key,
                       const char* defaultValue, char* buffer, std::uint32_t size) {
  char path[kSettingsPathSize];
  if (!context.platform.SettingsFilePath(path, sizeof path)) return;
  context.platform.ProfileRead(path, section, key, defaultValue, buffer, size);
}

void WriteDriverSetting(DriverContext& context, const char* section, const char* key,
                        const char* value) {
  char path[kSettingsPathSize];
  if (!context.platform.SettingsFilePath(path, sizeof path)) return;
  context.platform.ProfileWrite(path, section, key, value);
}

void HostSection(DriverContext& context, char* out, std::size_t size) {
  char host[kHostPathSize] = {};
  context.platform.HostExecutablePath(host, sizeof host);
  FileNamePart(host, out, size);
}

void DriverLoad(DriverContext& context, void* moduleHandle) {
  context.cdbTraceOn = context.platform.CommandTraceRequested();
  context.state = DriverState{};
  context.state.moduleHandle = moduleHandle;

  context.settings = ScanSettings{};
  char section[kHostPathSize];
  HostSection(context, section, sizeof section);
  char rotate[kRotateValueSize];
  CopyText(rotate, sizeof rotate, kRotateOff);
  ReadDriverSetting(context, section, kKeyRotate, kRotateOff, rotate, sizeof rotate);
  context.settings.rotate = std::strcmp(rotate, kRotateOff) == 0 ? 0 : 1;

  // No open document, no separator left over (DriverState{} above).
  context.state.showMessages = MarkerFileExists(context.platform) ? 1 : 0;

  char language[kLanguageValueSize];
  CopyText(language, sizeof language, kLanguageUnset);
  ReadDriverSetting(context, section, kKeyLanguage, kLanguageUnset, language, sizeof language);
  LoadLanguage(context, std::strcmp(language, kLanguageUnset) == 0 ? nullptr : language);
}

void DriverUnload(DriverContext& context) {
  char section[kHostPathSize];
  HostSection(context, section, sizeof section);
  WriteDriverSetting(context, section, kKeyRotate,
                     context.settings.rotate != 0 ? kRotateOn : kRotateOff);
}

}  // namespace tarvo
