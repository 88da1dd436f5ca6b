// The headless dialog surface of the tests: the controls of one template,
// what the controller did to each, and the user's actions (click, choose,
// type, leave an edit, scroll). A controller touching a control its template
// does not have, or using it as the wrong kind, fails the test; so does a
// user acting on a missing or disabled control.
//
// HeadlessRunner runs controllers on headless surfaces: per template a queue
// of scripts (what the user does while the dialog is open); a dialog still
// open after its script is closed with Cancel.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/DialogSurface.h"
#include "ui/DialogTemplates.h"

namespace tarvo::test {

struct HeadlessControl {
  ControlKind kind = ControlKind::kLabel;
  std::string text;
  std::vector<std::string> items;
  int selection = kNoSelection;
  bool checked = false, enabled = true, visible = true, ranged = false;
  int low = 0, high = 0, position = 0;
  std::vector<int> ticks;

  bool HasItem(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < items.size();
  }
  int Clamp(int p) const {
    return ranged ? std::clamp(p, std::min(low, high), std::max(low, high)) : p;
  }
};

class HeadlessSurface final : public DialogSurface {
 public:
  explicit HeadlessSurface(DialogTemplate which) : which_(which) {
    for (const ControlForm& form : TemplateControls(which)) {
      HeadlessControl& c = controls_[form.id];
      c.kind = form.kind;
      c.enabled = c.visible = !form.hidden;
    }
  }

  // Attaches the controller and sends the initialisation.
  void Start(DialogController& controller) {
    controller_ = &controller;
    controller.OnInit(*this);
  }

  // ---- what the controller did ----
  const std::string& title() const { return title_; }
  const HeadlessControl& control(int id) const {
    static const HeadlessControl kMissing;
    auto it = controls_.find(id);
    if (it != controls_.end()) return it->second;
    ADD_FAILURE() << "template " << TemplateName(which_) << " has no control " << id;
    return kMissing;
  }
  const std::string& text(int id) const { return control(id).text; }
  const std::vector<std::string>& items(int id) const { return control(id).items; }
  int selection(int id) const { return control(id).selection; }
  // The selected entry's text, "" without selection.
  std::string selectedText(int id) const {
    const HeadlessControl& c = control(id);
    return c.HasItem(c.selection) ? c.items[static_cast<std::size_t>(c.selection)] : "";
  }
  bool checked(int id) const { return control(id).checked; }
  bool enabled(int id) const { return control(id).enabled; }
  int position(int id) const { return control(id).position; }
  bool ended() const { return ended_; }
  std::intptr_t result() const { return result_; }
  // The filters the open-file chooser was shown with ("" when never).
  const std::string& chooserFilter() const { return chooserFilter_; }
  int chooserCalls() const { return chooserCalls_; }

  // ---- what the user does ----
  void Click(int id) {  // an auto check box toggles first
    HeadlessControl* c = FindEnabled(id, "Click", {kButton, kCheckBox});
    if (c == nullptr || !c->enabled || !c->visible) return;
    if (c->kind == kCheckBox) c->checked = !c->checked;
    Send({EventKind::kClicked, id});
  }
  void Choose(int list, int index) {  // selection changed, then closed up
    HeadlessControl* c = FindEnabled(list, "Choose", {kList});
    if (c == nullptr || !c->enabled) return;
    if (!c->HasItem(index)) {
      ADD_FAILURE() << "Choose: list " << list << " has no entry " << index;
      return;
    }
    c->selection = index;
    Send({EventKind::kListSelChanged, list});
    if (!ended_) Send({EventKind::kListClosedUp, list});
  }
  void NotifyList(int list) {  // any other notification of a list
    if (Find(list, "NotifyList", {kList})) Send({EventKind::kListOther, list});
  }
  void Type(int edit, const std::string& text) {
    if (HeadlessControl* c = FindEnabled(edit, "Type", {kEdit})) c->text = text;
  }
  void Leave(int edit) {
    if (Find(edit, "Leave", {kEdit})) Send({EventKind::kEditLostFocus, edit});
  }
  void TypeAndLeave(int edit, const std::string& text) {
    Type(edit, text);
    Leave(edit);
  }
  // Moves a trackbar or an up-down to `position`, clamped to its range.
  void ScrollTrackbar(int trackbar, int position, int code = 5) {
    if (HeadlessControl* c = FindEnabled(trackbar, "ScrollTrackbar", {kTrackbar})) {
      c->position = c->Clamp(position);
      Send({EventKind::kTrackbarScrolled, trackbar, code, c->position});
    }
  }
  void ScrollUpDown(int upDown, int position) {
    if (HeadlessControl* c = FindEnabled(upDown, "ScrollUpDown", {kUpDown})) {
      c->position = c->Clamp(position);
      Send({EventKind::kUpDownScrolled, upDown, 4, c->position});
    }
  }
  // What the next open-file chooser answers: a name, or nothing (cancelled).
  std::optional<std::string> nextChosenFile;

  // ---- DialogSurface ----
  void SetText(int control, const char* text) override {
    const std::string value = text != nullptr ? text : "";
    if (control == kDialogTitle) {
      title_ = value;
    } else if (HeadlessControl* c = Find(control, "SetText", {kLabel, kButton, kCheckBox, kEdit})) {
      c->text = value;
    }
  }
  std::size_t GetText(int control, char* buffer, std::size_t size) override {
    HeadlessControl* c = Find(control, "GetText");
    return CopyOut(c != nullptr ? c->text : std::string(), buffer, size);
  }
  void ListAdd(int control, const char* text) override {
    if (HeadlessControl* c = Find(control, "ListAdd", {kList})) {
      c->items.emplace_back(text != nullptr ? text : "");
    }
  }
  void ListSelect(int control, int index) override {
    if (HeadlessControl* c = Find(control, "ListSelect", {kList})) {
      c->selection = c->HasItem(index) ? index : kNoSelection;
    }
  }
  int ListSelection(int control) override {
    HeadlessControl* c = Find(control, "ListSelection", {kList});
    return c != nullptr ? c->selection : kNoSelection;
  }
  int ListCount(int control) override {
    HeadlessControl* c = Find(control, "ListCount", {kList});
    return c != nullptr ? static_cast<int>(c->items.size()) : 0;
  }
  bool ListText(int control, int index, char* buffer, std::size_t size) override {
    HeadlessControl* c = Find(control, "ListText", {kList});
    if (c == nullptr || !c->HasItem(index)) return false;
    CopyOut(c->items[static_cast<std::size_t>(index)], buffer, size);
    return true;
  }
  void SetChecked(int control, bool checked) override {
    if (HeadlessControl* c = Find(control, "SetChecked", {kCheckBox})) c->checked = checked;
  }
  bool IsChecked(int control) override {
    HeadlessControl* c = Find(control, "IsChecked", {kCheckBox});
    return c != nullptr && c->checked;
  }
  void Enable(int control, bool enabled) override {
    if (HeadlessControl* c = Find(control, "Enable")) c->enabled = enabled;
  }
  void SetRange(int control, int low, int high) override {
    if (HeadlessControl* c = Find(control, "SetRange", {kTrackbar, kUpDown})) {
      std::tie(c->ranged, c->low, c->high) = std::tuple(true, low, high);
      c->position = c->Clamp(c->position);
    }
  }
  void SetPosition(int control, int position) override {
    if (HeadlessControl* c = Find(control, "SetPosition", {kTrackbar, kUpDown})) {
      c->position = c->Clamp(position);
    }
  }
  int Position(int control) override {
    HeadlessControl* c = Find(control, "Position", {kTrackbar, kUpDown});
    return c != nullptr ? c->position : 0;
  }
  void SetTicks(int control, std::span<const int> ticks) override {
    if (HeadlessControl* c = Find(control, "SetTicks", {kTrackbar})) {
      c->ticks.assign(ticks.begin(), ticks.end());
    }
  }
  void End(std::intptr_t result) override {
    if (ended_) ADD_FAILURE() << "End called twice";
    ended_ = true;
    result_ = result;
  }
  bool ChooseFile(const char* filter, char* buffer, std::size_t size) override {
    ++chooserCalls_;
    chooserFilter_.clear();
    // Description/pattern pairs up to the empty text.
    for (const char* p = filter; p != nullptr && *p != '\0'; p += std::strlen(p) + 1) {
      chooserFilter_ += std::string(p) + '|';
    }
    if (nextChosenFile) CopyOut(*nextChosenFile, buffer, size);
    return nextChosenFile.has_value();
  }
  void* Window() override { return this; }

 private:
  static std::size_t CopyOut(const std::string& text, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
  }
  // The control `id` of one of `kinds`, or a failure naming the operation.
  using Kinds = std::initializer_list<ControlKind>;  // empty: any kind
  static constexpr auto kLabel = ControlKind::kLabel, kButton = ControlKind::kButton,
                        kCheckBox = ControlKind::kCheckBox, kList = ControlKind::kList,
                        kEdit = ControlKind::kEdit, kTrackbar = ControlKind::kTrackbar,
                        kUpDown = ControlKind::kUpDown;

  HeadlessControl* Find(int id, const char* operation, Kinds kinds = {}) {
    auto it = controls_.find(id);
    if (it == controls_.end()) {
      ADD_FAILURE() << operation << ": template " << TemplateName(which_) << " has no control "
                    << id;
    } else if (kinds.size() != 0 &&
               std::find(kinds.begin(), kinds.end(), it->second.kind) == kinds.end()) {
      ADD_FAILURE() << operation << ": control " << id << " of " << TemplateName(which_)
                    << " is of another kind";
    } else {
      return &it->second;
    }
    return nullptr;
  }
  HeadlessControl* FindEnabled(int id, const char* operation, Kinds kinds) {
    HeadlessControl* c = Find(id, operation, kinds);
    if (c != nullptr && (!c->enabled || !c->visible)) {
      ADD_FAILURE() << operation << ": control " << id << " is disabled or hidden";
    }
    return c;
  }
  void Send(const DialogEvent& event) {
    if (ended_) {
      ADD_FAILURE() << "event for control " << event.control << " after the dialog ended";
    } else if (controller_ != nullptr) {
      controller_->OnEvent(*this, event);
    }
  }

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
  // Queues what the user does in the next dialog of the template.
  void Plan(DialogTemplate which, std::function<void(HeadlessSurface&)> script) {
    scripts_[which].push_back(std::move(script));
  }
  // Every dialog fails to be created with `error` while set.
  std::optional<std::uint32_t> failWith;

  struct Opening {
    DialogTemplate which;
    void* instance;
    void* owner;
  };
  const std::vector<Opening>& openings() const { return openings_; }

  DialogOutcome Run(DialogTemplate which, void* instance, void* owner,
                    DialogController& controller) override {
    openings_.push_back({which, instance, owner});
    if (failWith) return {false, 0, *failWith};
    HeadlessSurface& surface = *surfaces_.emplace_back(std::make_unique<HeadlessSurface>(which));
    surface.Start(controller);
    auto& queue = scripts_[which];
    if (!surface.ended() && !queue.empty()) {
      auto script = std::move(queue.front());
      queue.pop_front();
      script(surface);
    }
    if (!surface.ended()) surface.Click(kIdCancelButton);
    return {true, surface.result(), 0};
  }

 private:
  std::map<DialogTemplate, std::deque<std::function<void(HeadlessSurface&)>>> scripts_;
  std::vector<Opening> openings_;
  std::vector<std::unique_ptr<HeadlessSurface>> surfaces_;
};

}  // namespace tarvo::test
