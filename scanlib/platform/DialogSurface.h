// The dialogs apart from the window system.
//
// Each dialog is a controller (DialogController) that speaks to a small
// surface interface (DialogSurface) and reacts to events. A runner
// (DialogRunner) builds the surface from one of the library's templates and
// runs the controller modally:
//
//   Win32 runner     real modal dialogs from the resource templates with
//                    DialogBoxParamA; events come from the window messages
//                    (scanlib/platform/win32/Win32Dialogs.cpp).
//   POSIX runner     no window system: every dialog fails to be created with
//                    ERROR_NOT_SUPPORTED (50).
//   headless runner  the tests' surface, which records what the controller
//                    did to each control and lets a test click, type and
//                    scroll (tests/support/HeadlessSurface.h).
//
// Message boxes do not go through the surface: every box of the dialogs is
// shown without owner, through Platform::ShowMessageBox.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvo {

// The dialog itself, where a control ID is expected (its title).
inline constexpr int kDialogTitle = 0;
// The two buttons every template has.
inline constexpr int kIdOkButton = 1;
inline constexpr int kIdCancelButton = 2;
// What a list answers when it has no selection.
inline constexpr int kNoSelection = -1;

enum class DialogTemplate : std::uint8_t {
  kSetting,
  kDetails,
  kDetailsUs,
  kGamma,
  kImprinter,
  kFunction,
  kStartScan,
};

// The resource name of a template ("SETTING", "DETAILS_US", ...).
const char* TemplateName(DialogTemplate which);

enum class EventKind : std::uint8_t {
  kClicked,           // a push button or check box was pressed (also OK/Cancel by keyboard)
  kListSelChanged,    // a drop-down list's selection changed
  kListClosedUp,      // a drop-down list closed up
  kListOther,         // any other notification of a drop-down list (focus, drop-down, ...)
  kEditLostFocus,     // an edit lost the keyboard focus
  kTrackbarScrolled,  // a trackbar moved; `code` is the scroll code (0..8)
  kUpDownScrolled,    // an up-down moved; `position` is its position as a signed 16-bit value
};

struct DialogEvent {
  EventKind kind;
  int control;
  int code = 0;
  int position = 0;
};

// Trackbar scroll codes 0..5 (line, page, thumb position, thumb track) move
// the value; 6..8 (top, bottom, end of tracking) do not.
constexpr bool ScrollMovesValue(int code) { return code >= 0 && code <= 5; }

class DialogSurface {
 public:
  DialogSurface() = default;
  DialogSurface(const DialogSurface&) = delete;
  DialogSurface& operator=(const DialogSurface&) = delete;
  virtual ~DialogSurface() = default;

  // The title (kDialogTitle) or a control's caption or edit text.
  virtual void SetText(int control, const char* text) = 0;
  // At most size - 1 bytes of a control's text, NUL-terminated; the length.
  virtual std::size_t GetText(int control, char* buffer, std::size_t size) = 0;

  virtual void ListAdd(int control, const char* text) = 0;
  // An index outside the list leaves it without a selection.
  virtual void ListSelect(int control, int index) = 0;
  virtual int ListSelection(int control) = 0;  // kNoSelection when none
  virtual int ListCount(int control) = 0;
  // At most size - 1 bytes of an entry, NUL-terminated; false for a bad index.
  virtual bool ListText(int control, int index, char* buffer, std::size_t size) = 0;

  virtual void SetChecked(int control, bool checked) = 0;
  virtual bool IsChecked(int control) = 0;
  virtual void Enable(int control, bool enabled) = 0;

  // Trackbars and up-downs.
  virtual void SetRange(int control, int low, int high) = 0;
  virtual void SetPosition(int control, int position) = 0;
  virtual int Position(int control) = 0;
  virtual void SetTicks(int control, std::span<const int> ticks) = 0;

  // Closes the dialog; the runner returns `result`.
  virtual void End(std::intptr_t result) = 0;
  // The system's open-file chooser, without owner. `filter` is a list of
  // NUL-separated description/pattern pairs ended by an empty text. False
  // when the user cancels.
  virtual bool ChooseFile(const char* filter, char* buffer, std::size_t size) = 0;
  // The dialog's window, as owner of the dialogs it opens.
  virtual void* Window() = 0;
};

class DialogController {
 public:
  DialogController() = default;
  DialogController(const DialogController&) = delete;
  DialogController& operator=(const DialogController&) = delete;
  virtual ~DialogController() = default;

  virtual void OnInit(DialogSurface& surface) = 0;
  virtual void OnEvent(DialogSurface& surface, const DialogEvent& event) = 0;
};

struct DialogOutcome {
  bool created = false;
  std::intptr_t result = 0;   // what the dialog ended with
  std::uint32_t error = 0;    // the system's error code when not created
};

class DialogRunner {
 public:
  DialogRunner() = default;
  DialogRunner(const DialogRunner&) = delete;
  DialogRunner& operator=(const DialogRunner&) = delete;
  virtual ~DialogRunner() = default;

  // Runs `controller` modally on the template `which` of `instance`, owned
  // by `owner`; returns when the dialog has ended.
  virtual DialogOutcome Run(DialogTemplate which, void* instance, void* owner,
                            DialogController& controller) = 0;
};

// The runner of the running system (Win32, or the POSIX one that cannot
// create dialogs).
DialogRunner& SystemDialogRunner();

}  // namespace tarvo
