// The controls of the library's dialog templates (resources/tarvoscn.rc):
// their IDs, named per dialog, and per template the list of controls with
// their kinds. The headless test surface refuses any control that is not in
// its template, and a test checks the resource script against these lists.
#pragma once

#include <cstdint>
#include <span>

#include "platform/DialogSurface.h"

namespace tarvo {

enum class ControlKind : std::uint8_t {
  kButton,    // push button
  kCheckBox,  // auto check box
  kLabel,     // static text
  kList,      // drop-down list (combo box)
  kEdit,
  kTrackbar,  // "msctls_trackbar32"
  kUpDown,    // "msctls_updown32", no buddy
};

struct ControlForm {
  int id;
  ControlKind kind;
  bool hidden = false;  // created hidden and disabled
};

// Every control with an ID of its own (not the IDC_STATIC labels, icons and
// separator lines), in template order.
std::span<const ControlForm> TemplateControls(DialogTemplate which);
// The control `id` of the template, or null.
const ControlForm* FindControl(DialogTemplate which, int id);

namespace setting {
inline constexpr int kDetail = 1003;
inline constexpr int kImageTypeLabel = 1184;
inline constexpr int kImageType = 1001;
inline constexpr int kResolutionLabel = 1182;
inline constexpr int kResolution = 1002;
inline constexpr int kPageSizeLabel = 1183;
inline constexpr int kPageSize = 1010;
inline constexpr int kFrameAreaLabel = 1192;
inline constexpr int kFrameArea = 1193;
inline constexpr int kBrightnessLabel = 1185;
inline constexpr int kAutomatic = 1186;
inline constexpr int kBrightnessTrackbar = 1025;
inline constexpr int kBrightnessEdit = 1049;
inline constexpr int kBrightnessUpDown = 1225;
inline constexpr int kContrastLabel = 1189;
inline constexpr int kContrastAutomatic = 1190;  // hidden and disabled, never checked
inline constexpr int kContrastTrackbar = 1096;
inline constexpr int kContrastEdit = 1097;
inline constexpr int kContrastUpDown = 1226;
inline constexpr int kVersion = 1011;
}  // namespace setting

namespace details {
inline constexpr int kDefaults = 1017;
inline constexpr int kAddon = 1012;
inline constexpr int kGamma = 1004;
inline constexpr int kFunctionKey = 1016;
inline constexpr int kPolarityLabel = 1230;
inline constexpr int kPolarity = 1175;
inline constexpr int kBatchModeLabel = 1193;
inline constexpr int kBatchMode = 1001;
inline constexpr int kRotate = 1182;
inline constexpr int kAutoSize = 1020;
inline constexpr int kAddonOn = 1118;
inline constexpr int kKeyStart = 1033;
inline constexpr int kMarginLabel = 1186;
inline constexpr int kMarginScan = 1026;
inline constexpr int kMarginTrackbar = 1171;
inline constexpr int kMarginEdit = 1172;
inline constexpr int kMarginUpDown = 1227;
inline constexpr int kAeLabel = 1189;
inline constexpr int kAeTrackbar = 1025;
inline constexpr int kAeEdit = 1052;
inline constexpr int kAeUpDown = 1228;
inline constexpr int kEdgeLabel = 1188;
inline constexpr int kEdgeTrackbar = 1037;
inline constexpr int kEdgeEdit = 1053;
inline constexpr int kEdgeUpDown = 1229;
inline constexpr int kOtherFilterLabel = 1187;
inline constexpr int kBackgroundErase = 1235;
inline constexpr int kNotchErase = 1041;
inline constexpr int kThinLine = 1042;
inline constexpr int kUserGrc = 1104;
}  // namespace details

namespace gamma {
inline constexpr int kCurveLabel = 1191;
inline constexpr int kCurve = 1001;
inline constexpr int kFromFile = 1003;  // hidden and disabled; acts as "Download"
inline constexpr int kToFile = 1004;    // hidden and disabled; no action
}  // namespace gamma

namespace addon {
inline constexpr int kTextLabel = 1198;
inline constexpr int kText = 1090;
inline constexpr int kXLabel = 1199;
inline constexpr int kXEdit = 1110;
inline constexpr int kXUpDown = 1231;
inline constexpr int kYLabel = 1200;
inline constexpr int kYEdit = 1111;
inline constexpr int kYUpDown = 1225;
inline constexpr int kTimingLabel = 1201;
inline constexpr int kTiming = 1010;
inline constexpr int kColorLabel = 1202;
inline constexpr int kColor = 1002;
inline constexpr int kCounterOn = 1194;
inline constexpr int kCounterLabel = 1205;
inline constexpr int kCountUpTimingLabel = 1203;
inline constexpr int kCountUpTiming = 1113;
inline constexpr int kCountUpAmountLabel = 1204;
inline constexpr int kCountUpAmountEdit = 1114;
inline constexpr int kCountUpAmountUpDown = 1232;
inline constexpr int kResetTimingLabel = 1206;
inline constexpr int kResetTiming = 1115;
inline constexpr int kResetValueLabel = 1207;
inline constexpr int kResetValueEdit = 1116;
inline constexpr int kResetValueUpDown = 1226;
}  // namespace addon

namespace fkey {
inline constexpr int kKeyLabel = 1064;
inline constexpr int kKey = 1001;
inline constexpr int kFunctionLabel = 1234;
inline constexpr int kFunction = 1005;
inline constexpr int kSaveSetting = 1222;  // hidden and disabled, not used
}  // namespace fkey

namespace startscan {
inline constexpr int kFileName = 1100;
inline constexpr int kJobSeparator = 1001;
}  // namespace startscan

}  // namespace tarvo
