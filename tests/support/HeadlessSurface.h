// The headless dialog surface of the tests: the controls of one template,
// what the controller did to each, and the user's actions (click, choose,
// type, leave an edit, scroll). A controller touching a control its template
// does not have, or using it as the wrong kind, fails the test.
//
// HeadlessRunner runs controllers on headless surfaces: per template a queue
// of scripts (what the user does while the dialog is open); a dialog still
// open after its script is closed with Cancel.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/DialogSurface.h"
#include "ui/DialogTemplates.h"

namespace tarvo::test {

struct HeadlessControl {
  ControlKind kind = ControlKind::kLabel;
  std::string text;
  std::vector<std::string> items;
  int selection = kNoSelection;
  bool checked = false;
  bool enabled = true;
  bool visible = true;
  bool ranged = false;
  int low = 0;
  int high = 0;
  int position = 0;
  std::vector<int> ticks;
};

class HeadlessSurface final : public DialogSurface {
 public:
  explicit HeadlessSurface(DialogTemplate which);

  DialogTemplate which() const { return which_; }
  // Attaches the controller and sends the initialisation.
  void Start(DialogController& controller);

  // ---- what the controller did ----
  const std::string& title() const { return title_; }
  const HeadlessControl& control(int id) const;
  const std::string& text(int id) const { return control(id).text; }
  const std::vector<std::string>& items(int id) const { return control(id).items; }
  int selection(int id) const { return control(id).selection; }
  // The selected entry's text, "" without selection.
  std::string selectedText(int id) const;
  bool checked(int id) const { return control(id).checked; }
  bool enabled(int id) const { return control(id).enabled; }
  int position(int id) const { return control(id).position; }
  bool ended() const { return ended_; }
  std::intptr_t result() const { return result_; }
  // The filters the open-file chooser was shown with ("" when never).
  const std::string& chooserFilter() const { return chooserFilter_; }
  int chooserCalls() const { return chooserCalls_; }

  // ---- what the user does (each fails the test on a missing or disabled control) ----
  void Click(int id);                 // an auto check box toggles first
  void Choose(int list, int index);   // selection changed, then closed up
  void NotifyList(int list);          // any other notification of a list
  void Type(int edit, const std::string& text);
  void Leave(int edit);
  void TypeAndLeave(int edit, const std::string& text) {
    Type(edit, text);
    Leave(edit);
  }
  // Moves a trackbar or an up-down to `position`, clamped to its range.
  void ScrollTrackbar(int trackbar, int position, int code = 5);
  void ScrollUpDown(int upDown, int position);
  // What the next open-file chooser answers: a name, or nothing (cancelled).
  std::optional<std::string> nextChosenFile;

  // ---- DialogSurface ----
  void SetText(int control, const char* text) override;
  std::size_t GetText(int control, char* buffer, std::size_t size) override;
  void ListAdd(int control, const char* text) override;
  void ListSelect(int control, int index) override;
  int ListSelection(int control) override;
  int ListCount(int control) override;
  bool ListText(int control, int index, char* buffer, std::size_t size) override;
  void SetChecked(int control, bool checked) override;
  bool IsChecked(int control) override;
  void Enable(int control, bool enabled) override;
  void SetRange(int control, int low, int high) override;
  void SetPosition(int control, int position) override;
  int Position(int control) override;
  void SetTicks(int control, std::span<const int> ticks) override;
  void End(std::intptr_t result) override;
  bool ChooseFile(const char* filter, char* buffer, std::size_t size) override;
  void* Window() override { return this; }

 private:
  HeadlessControl* Find(int id, const char* operation, unsigned kinds);
  HeadlessControl* FindEnabled(int id, const char* operation, unsigned kinds);
  void Send(const DialogEvent& event);

  DialogTemplate which_;
  std::map<int, HeadlessControl> controls_;
  std::string title_;
  DialogController* controller_ = nullptr;
  bool ended_ = false;
  std::intptr_t result_ = 0;
  std::string chooserFilter_;
  int chooserCalls_ = 0;
};

// A controller on its own headless surface, initialised.
template <class Controller>
struct OpenDialog {
  template <class... Args>
  explicit OpenDialog(DialogTemplate which, Args&&... args)
      : dialog(std::forward<Args>(args)...), surface(which) {
    surface.Start(dialog);
  }
  Controller dialog;
  HeadlessSurface surface;
};

// One dialog at a time, opened afresh by each Open (the last one stays for
// assertions).
template <class Controller>
struct Reopening {
  template <class... Args>
  HeadlessSurface& Open(DialogTemplate which, Args&&... args) {
    opened.reset();
    opened.emplace(which, std::forward<Args>(args)...);
    return opened->surface;
  }
  Controller& dialog() { return opened->dialog; }
  std::optional<OpenDialog<Controller>> opened;
};

class HeadlessRunner final : public DialogRunner {
 public:
  using Script = std::function<void(HeadlessSurface&)>;

  // Queues what the user does in the next dialog of the template.
  void Plan(DialogTemplate which, Script script) { scripts_[which].push_back(std::move(script)); }
  // Every dialog fails to be created with `error` while set.
  std::optional<std::uint32_t> failWith;

  struct Opening {
    DialogTemplate which;
    void* instance;
    void* owner;
  };
  const std::vector<Opening>& openings() const { return openings_; }

  DialogOutcome Run(DialogTemplate which, void* instance, void* owner,
                    DialogController& controller) override;

 private:
  std::map<DialogTemplate, std::deque<std::function<void(HeadlessSurface&)>>> scripts_;
  std::vector<Opening> openings_;
  std::vector<std::unique_ptr<HeadlessSurface>> surfaces_;
};

}  // namespace tarvo::test
