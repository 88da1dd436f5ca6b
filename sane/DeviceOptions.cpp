// The RT650's own options, made from the public parameter table: each row
// here gives a parameter its SANE name, title and group; the value's type,
// range or value list, unit and description come from the parameter's row
// in tarvoscn_params.h.
#include <sane/saneopts.h>

#include <cstring>

#include "Options.h"
#include "tarvoscn_params.h"

namespace tarvo::sanebackend {
namespace {

constexpr const char* kImprinter = "Imprinter";
constexpr const char* kProcessing = "Feeder and image processing";
constexpr const char* kSensors = SANE_TITLE_SENSORS;
constexpr SANE_Int kParams = SANE_INFO_RELOAD_PARAMS;

struct Presentation {
  std::int32_t id;
  const char* group;
  const char* name;
  const char* title;
  bool sensor;    // shown read-only, as SANE backends show buttons
  SANE_Int info;  // what a set makes the frontend reload
};

constexpr Presentation kRows[] = {
    {PAR_BRIGHTNESS, SANE_TITLE_STANDARD, SANE_NAME_BRIGHTNESS, SANE_TITLE_BRIGHTNESS, false, 0},
    {PAR_CONTRAST, SANE_TITLE_STANDARD, SANE_NAME_CONTRAST, SANE_TITLE_CONTRAST, false, 0},
    {PAR_ADDON, kImprinter, "imprinter", "Imprinter", false, 0},
    {PAR_ADDON_TEXT, kImprinter, "imprinter-text", "Imprinter text", false, 0},
    {PAR_ADDON_COUNTER_ON, kImprinter, "imprinter-counter", "Imprinter counter", false, 0},
    {PAR_RESET_VALUE, kImprinter, "imprinter-counter-start", "Counter start", false, 0},
    {PAR_COUNTUP_AMOUNT, kImprinter, "imprinter-counter-step", "Counter step", false, 0},
    {PAR_ADDON_X, kImprinter, "imprinter-x", "Imprinter position X", false, 0},
    {PAR_ADDON_Y, kImprinter, "imprinter-y", "Imprinter position Y", false, 0},
    {PAR_JOB_SEPARATOR, kProcessing, "job-separator", "Job separator", false, 0},
    {PAR_AUTO_SIZE, kProcessing, "auto-size", "Automatic size", false, kParams},
    {PAR_MARGIN_SCAN, kProcessing, "margin-scan", "Margin scan", false, kParams},
    {PAR_AE, kProcessing, "ae-level", "AE level", false, 0},
    {PAR_EDGE_EMPHASIS, kProcessing, "edge-emphasis", "Edge emphasis", false, 0},
    {PAR_BACKGROUND_ERASE, kProcessing, "background-erase", "Background erase", false, 0},
    {PAR_POLARITY, kProcessing, "polarity", "Polarity", false, 0},
    {PAR_FKEY_1, kSensors, "function-key-1", "Function key 1", true, 0},
    {PAR_FKEY_2, kSensors, "function-key-2", "Function key 2", true, 0},
    {PAR_FKEY_3, kSensors, "function-key-3", "Function key 3", true, 0},
    {PAR_FKEY_4, kSensors, "function-key-4", "Function key 4", true, 0},
    {PAR_FKEY_5, kSensors, "function-key-5", "Function key 5", true, 0},
    {PAR_FKEY_6, kSensors, "function-key-6", "Function key 6", true, 0},
    {PAR_FKEY_7, kSensors, "function-key-7", "Function key 7", true, 0},
    {PAR_FKEY_8, kSensors, "function-key-8", "Function key 8", true, 0},
    {PAR_FKEY_9, kSensors, "function-key-9", "Function key 9", true, 0},
    {PAR_FKEY_10, kSensors, "function-key-10", "Function key 10", true, 0},
    {PAR_COUNTER_1, kSensors, "page-counter-1", "Page counter 1", true, 0},
    {PAR_COUNTER_2, kSensors, "page-counter-2", "Page counter 2", true, 0},
    {PAR_COUNTER_3, kSensors, "page-counter-3", "Page counter 3", true, 0},
};

struct UnitRow {
  const char* text;
  SANE_Unit unit;
};
constexpr UnitRow kUnits[] = {
    {"mm", SANE_UNIT_MM}, {"dpi", SANE_UNIT_DPI}, {"pixels", SANE_UNIT_PIXEL}, {"bits", SANE_UNIT_BIT},
};

SANE_Unit UnitOf(const char* text) {
  for (const UnitRow& row : kUnits) {
    if (std::strcmp(row.text, text) == 0) return row.unit;
  }
  return SANE_UNIT_NONE;
}

const TsdParamDesc* FindRow(std::int32_t id) {
  for (const TsdParamDesc& row : tsdParamTable) {
    if (row.id == id) return &row;
  }
  return nullptr;
}

SANE_Value_Type TypeOf(const TsdParamDesc& row) {
  switch (row.type) {
    case TSD_PARAM_FLAG: return SANE_TYPE_BOOL;
    case TSD_PARAM_TEXT: return SANE_TYPE_STRING;
    default: return SANE_TYPE_INT;
  }
}

}  // namespace

std::vector<DeviceOption> DeviceOptions() {
  std::vector<DeviceOption> options;
  for (const Presentation& p : kRows) {
    const TsdParamDesc* row = FindRow(p.id);
    if (row == nullptr) continue;
    const bool sensor = p.sensor || (row->access & TSD_PARAM_SETTABLE) == 0;
    options.push_back({p.id, p.group, p.name, p.title, row->meaning, TypeOf(*row),
                       UnitOf(row->unit), row->min, row->max, sensor, p.info,
                       row->type == TSD_PARAM_CHOICE ? row->values : nullptr});
  }
  return options;
}

}  // namespace tarvo::sanebackend
