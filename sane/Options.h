// The backend's options: SANE descriptors over the driver's settings.
//
// The standard options (mode, resolution, the window in millimetres, source,
// brightness, contrast, gamma) have SANE's well-known names; brightness,
// contrast and the RT650's own (imprinter, separator, image processing,
// function keys and counters) are made from the public parameter table
// (DeviceOptions.cpp).
#pragma once

#include <sane/sane.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Device.h"

namespace tarvo::sanebackend {

// How an option's value reaches the driver.
enum class Binding : std::uint8_t {
  kNone,        // the option count and the group titles
  kMode,        // image type
  kResolution,  // window resolution
  kSource,      // the feeder, the only source
  kTlX,
  kTlY,
  kBrX,
  kBrY,
  kPageWidth,
  kPageHeight,
  kCustomGamma,
  kGammaTable,
  kParameter,    // an int or bool parameter of tarvoscn.h
  kText,         // a text parameter
  kSensor,       // a read-only parameter
};

// One option made from a parameter of tarvoscn.h.
struct DeviceOption {
  std::int32_t id;  // PAR_...
  const char* group;
  const char* name;
  const char* title;
  const char* description;
  SANE_Value_Type type;
  SANE_Unit unit;
  std::int32_t min;  // a text's longest length in max
  std::int32_t max;
  bool sensor;
  SANE_Int info;                 // what a set makes the frontend reload
  const std::int32_t* values;    // the accepted values ended by TSD_TABLE_END, or none
};

// The options made from the parameter table, in the order shown.
std::vector<DeviceOption> DeviceOptions();

// Clamps or rounds `value` into the descriptor's constraint. Ranges clamp
// and quantise, word lists take the nearest word, both with
// SANE_INFO_INEXACT; booleans outside 0/1 and strings not in the list are
// refused with SANE_STATUS_INVAL.
SANE_Status ConstrainValue(const SANE_Option_Descriptor& option, void* value, SANE_Int* info);

class OptionSet {
 public:
  explicit OptionSet(Driver& driver);
  OptionSet(const OptionSet&) = delete;  // the descriptors point into the set
  OptionSet& operator=(const OptionSet&) = delete;

  SANE_Int Count() const { return static_cast<SANE_Int>(descriptors_.size()); }
  const SANE_Option_Descriptor* Descriptor(SANE_Int index) const;
  SANE_Status Get(SANE_Int index, void* value);
  SANE_Status Set(SANE_Int index, void* value, SANE_Int* info);
  SANE_Status SetAuto(SANE_Int index, SANE_Int* info);

  // The window the options describe, in pixels at the chosen resolution.
  Window PixelWindow() const;
  bool CustomGamma() const { return customGamma_ != 0; }
  const std::uint8_t (&Gamma() const)[256] { return gamma_; }
  // An estimate of the next page's parameters before it is read.
  SANE_Parameters Estimate() const;

 private:
  struct Slot {
    Binding binding;
    DeviceOption device{};
  };
  void Add(const SANE_Option_Descriptor& descriptor, Binding binding, const DeviceOption* device = nullptr);
  void AddParameter(const DeviceOption& option);
  SANE_Status PushWindow();
  void SetActive(Binding binding, bool active);

  Driver& driver_;
  std::vector<SANE_Option_Descriptor> descriptors_;
  std::vector<Slot> slots_;
  std::vector<SANE_String_Const> modes_;
  std::vector<std::vector<SANE_Word>> wordLists_;
  std::vector<SANE_Range> ranges_;
  SANE_Range xRange_{};
  SANE_Range yRange_{};

  // Values kept by the backend.
  SANE_Word resolution_ = 300;
  SANE_Fixed tlX_ = 0, tlY_ = 0, brX_ = 0, brY_ = 0;
  SANE_Fixed pageWidth_ = 0, pageHeight_ = 0;
  SANE_Bool customGamma_ = SANE_FALSE;
  std::uint8_t gamma_[256] = {};
};

}  // namespace tarvo::sanebackend
