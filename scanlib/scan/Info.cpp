#include "scan/Info.h"

#include <cstring>

#include "scan/DriverContext.h"

namespace tarvo {
namespace {

constexpr char kScannerName[12] = "Tarvo RT650";
constexpr std::uint32_t kModulePathSize = 260;

}  // namespace

std::uint32_t SetMessageBoxes(DriverContext& context, std::uint32_t on) {
  context.state.showMessages = on != 0 ? 1 : 0;
  return static_cast<std::uint32_t>(context.state.showMessages);
}

std::uint32_t GetDriverName(DriverContext& context, char* fileName, char* version) {
  char path[kModulePathSize] = {};
  context.platform.LibraryPath(path, sizeof path);
  char name[kModulePathSize];
  FileNamePart(path, name, sizeof name);
  // The caller's buffers are of a size the driver does not know.
  if (fileName != nullptr) std::strcpy(fileName, name);
  char text[64] = {};
  if (!context.platform.LibraryFileVersion(path, text, sizeof text)) text[0] = '\0';
  if (version != nullptr) std::strcpy(version, text);
  return 0;
}

std::uint32_t GetScannerName(char* name) {
  if (name != nullptr) std::memcpy(name, kScannerName, sizeof kScannerName);
  return 0;
}

std::uint32_t AskAreYouSure(DriverContext& context) {
  context.platform.ShowMessageBox(nullptr, "Are you sure?", "SORREL", kMbOk);
  return 0;
}

}  // namespace tarvo
