#include "core/Diagnostics.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "core/LogFile.h"

namespace tarvo {
namespace {

const RotatingLog kDriverLog{
    "c:\\scan.log",
    {"c:\\scan0.log", "c:\\scan1.log", "c:\\scan2.log", "c:\\scan3.log", "c:\\scan4.log"},
    kDriverLogLimit,
    kFlagRandomAccess};

constexpr std::size_t kSystemTextSize = 128;  // at most 127 characters of system text



}  // namespace

void DriverLog(GroundContext& context, const char* tag, int callSite, const char* module,
               std::int32_t code) {
  Platform& platform = context.platform;
  const LogStamp stamp = MakeLogStamp(platform.Now());
  char systemText[kSystemTextSize] = {};
  platform.ErrorText(static_cast<std::uint32_t>(code), systemText, sizeof systemText);
  // The entry goes out in one write: the report line, the system's text, CR LF.
  // The report line has room for a tag that names a full path; the system's
  // text and the closing CR LF are pieces of their own and are never cut.
  char line[512];
  const int length = std::snprintf(line, sizeof line, "%s %s %s %d returned from line %d of %s\r\n",
                                   stamp.date, stamp.time, tag, code, callSite, module);
  if (length <= 0) return;
  const std::string_view pieces[] = {
      std::string_view(line, std::min(static_cast<std::size_t>(length), sizeof line - 1)),
      std::string_view(systemText), std::string_view("\r\n")};
  AppendLogEntry(platform, kDriverLog, pieces);
}

void SpinWait(GroundContext& context, std::uint32_t milliseconds) {
  Platform& platform = context.platform;
  const std::uint32_t start = platform.Ticks();
  // Until the counter has passed start + milliseconds; differences survive its wrap.
  while (platform.Ticks() - start <= milliseconds) {
  }
}

void ReportFileSizeError(GroundContext& context, const char* caption, std::uint32_t code,
                         int callSite) {
  if (code == 0) return;
  char text[128];
  std::snprintf(text, sizeof text, "%d returned at line %d %s", static_cast<int>(code), callSite,
                kModuleScan);
  context.platform.ShowMessageBox(nullptr, text, caption, kMbOk);
}

int ShowDriverMessage(GroundContext& context, void* owner, const char* text, const char* caption,
                      std::uint32_t style) {
  if (context.messageSwitch == nullptr || *context.messageSwitch == 0) return 1;
  return context.platform.ShowMessageBox(owner, text, caption, style);
}

}  // namespace tarvo
