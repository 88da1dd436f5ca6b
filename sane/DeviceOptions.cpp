// The RT650's own options: one row a parameter of tarvoscn.h, with the SANE
// name, title and description, the value's type, unit and range, and what a
// change makes the frontend reload.
#include <sane/saneopts.h>

#include <string>

#include "Options.h"
#include "tarvoscn.h"

namespace tarvo::sanebackend {
namespace {

constexpr const char* kImprinter = "Imprinter";
constexpr const char* kProcessing = "Feeder and image processing";
constexpr const char* kSensors = SANE_TITLE_SENSORS;

constexpr const char* kSeparatorChoices[] = {"Off", "Detect"};
constexpr std::int32_t kSeparatorValues[] = {0, 5};  // 5: detect, and go on after the sheet
constexpr const char* kPolarityChoices[] = {"Normal", "Reverse", "Auto"};

constexpr SANE_Int kParams = SANE_INFO_RELOAD_PARAMS;

constexpr DeviceOption kRows[] = {
    {PAR_ADDON, kImprinter, "imprinter", "Imprinter",
     "Print the imprinter text (and the counter) on every sheet as it is fed", SANE_TYPE_BOOL,
     SANE_UNIT_NONE, 0, 1, false, 0, nullptr, nullptr},
    {PAR_ADDON_TEXT, kImprinter, "imprinter-text", "Imprinter text",
     "The text printed on each sheet, at most 63 characters", SANE_TYPE_STRING, SANE_UNIT_NONE,
     0, 64, false, 0, nullptr, nullptr},
    {PAR_ADDON_COUNTER_ON, kImprinter, "imprinter-counter", "Imprinter counter",
     "Print the imprinter counter after the text", SANE_TYPE_BOOL, SANE_UNIT_NONE, 0, 1, false,
     0, nullptr, nullptr},
    {PAR_RESET_VALUE, kImprinter, "imprinter-counter-start", "Counter start",
     "The value the imprinter counter starts from when it is reset", SANE_TYPE_INT,
     SANE_UNIT_NONE, 0, 255, false, 0, nullptr, nullptr},
    {PAR_COUNTUP_AMOUNT, kImprinter, "imprinter-counter-step", "Counter step",
     "How much the imprinter counter grows with each sheet", SANE_TYPE_INT, SANE_UNIT_NONE, 0,
     255, false, 0, nullptr, nullptr},
    {PAR_ADDON_X, kImprinter, "imprinter-x", "Imprinter position X",
     "Distance of the printed text from the sheet's leading edge", SANE_TYPE_INT, SANE_UNIT_MM,
     0, 500, false, 0, nullptr, nullptr},
    {PAR_ADDON_Y, kImprinter, "imprinter-y", "Imprinter position Y",
     "Distance of the printed text from the sheet's side", SANE_TYPE_INT, SANE_UNIT_MM, 0, 300,
     false, 0, nullptr, nullptr},

    {PAR_JOB_SEPARATOR, kProcessing, "job-separator", "Job separator",
     "Detect: the scanner reports separator sheets, which are scanned as pages and end no "
     "batch",
     SANE_TYPE_STRING, SANE_UNIT_NONE, 0, 1, false, 0, kSeparatorChoices, kSeparatorValues},
    {PAR_AUTO_SIZE, kProcessing, "auto-size", "Automatic size",
     "The scanner measures each sheet and the page has the sheet's size; the page length is "
     "known only once the sheet is read",
     SANE_TYPE_BOOL, SANE_UNIT_NONE, 0, 1, false, kParams, nullptr, nullptr},
    {PAR_MARGIN_SCAN, kProcessing, "margin-scan", "Margin scan",
     "Scan the whole sheet with its margins; the page length is known only once the sheet is "
     "read",
     SANE_TYPE_BOOL, SANE_UNIT_NONE, 0, 1, false, kParams, nullptr, nullptr},
    {PAR_AE, kProcessing, "ae-level", "AE level",
     "Automatic exposure level, 1 (light) to 17 (dark)", SANE_TYPE_INT, SANE_UNIT_NONE, 1, 17,
     false, 0, nullptr, nullptr},
    {PAR_EDGE_EMPHASIS, kProcessing, "edge-emphasis", "Edge emphasis",
     "Sharpening of edges, 1 (none) to 5 (strongest)", SANE_TYPE_INT, SANE_UNIT_NONE, 1, 5,
     false, 0, nullptr, nullptr},
    {PAR_BACKGROUND_ERASE, kProcessing, "background-erase", "Background erase",
     "Remove a coloured or gray background of the sheet", SANE_TYPE_BOOL, SANE_UNIT_NONE, 0, 1,
     false, 0, nullptr, nullptr},
    {PAR_POLARITY, kProcessing, "polarity", "Polarity", "Image polarity", SANE_TYPE_STRING,
     SANE_UNIT_NONE, 0, 2, false, 0, kPolarityChoices, nullptr},
};

struct SensorRow {
  std::int32_t first;
  int count;
  const char* name;   // the number follows
  const char* title;  // a blank and the number follow
  const char* description;
};
constexpr SensorRow kSensorRows[] = {
    {PAR_FKEY_1, 10, "function-key-", "Function key",
     "The function assigned to the scanner's function key (0: none)"},
    {PAR_COUNTER_1, 3, "page-counter-", "Page counter",
     "Counter 1: sheets fed since the scanner was switched on; 2: sheets of this batch; "
     "3: the imprinter counter. Read after each page"},
};

}  // namespace

std::vector<DeviceOption> DeviceOptions() {
  std::vector<DeviceOption> rows(std::begin(kRows), std::end(kRows));
  // Names and titles of the numbered sensors live as long as the process.
  static std::vector<std::string> texts = [] {
    std::vector<std::string> t;
    for (const SensorRow& s : kSensorRows) {
      for (int i = 1; i <= s.count; ++i) {
        t.push_back(s.name + std::to_string(i));
        t.push_back(std::string(s.title) + " " + std::to_string(i));
      }
    }
    return t;
  }();
  std::size_t text = 0;
  for (const SensorRow& s : kSensorRows) {
    for (int i = 0; i < s.count; ++i) {
      const char* name = texts[text++].c_str();
      const char* title = texts[text++].c_str();
      rows.push_back({s.first + i, kSensors, name, title, s.description, SANE_TYPE_INT,
                      SANE_UNIT_NONE, 0, 0, true, 0, nullptr, nullptr});
    }
  }
  return rows;
}

}  // namespace tarvo::sanebackend
