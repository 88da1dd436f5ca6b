// The headless dialog surface of the tests: the controls of one template, what
// the controller did to each, and what the user does. A controller touching a
// control its template lacks, or of the wrong kind, fails the test; so does a
// user acting on a missing, disabled or hidden control, or after the end.
// HeadlessRunner runs a queued script per template; a dialog still open after
// its script is cancelled.
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

  bool HasItem(int i) const { return i >= 0 && static_cast<std::size_t>(i) < items.size(); }
  int Clamp(int p) const { return ranged ? std::clamp(p, std::min(low, high), std::max(low, high)) : p; }
};

class HeadlessSurface final : public DialogSurface {
  using K = ControlKind;

 public:
  explicit HeadlessSurface(DialogTemplate which) : which_(which) {
    for (const ControlForm& form : TemplateControls(which)) {
      HeadlessControl& c = controls_[form.id];
      c.kind = form.kind;
      c.enabled = c.visible = !form.hidden;
    }
  }
  void Start(DialogController& controller) {
    controller_ = &controller;
    controller.OnInit(*this);
  }

  // What the controller did: s[id].text, .items, .selection, .checked, ...
  const std::string& title() const { return title_; }
  const HeadlessControl& operator[](int id) const {
    static const HeadlessControl kMissing;
    auto it = controls_.find(id);
    if (it != controls_.end()) return it->second;
    ADD_FAILURE() << TemplateName(which_) << " has no control " << id;
    return kMissing;
  }
  // COMPAT-BEGIN
  const HeadlessControl& control(int id) const { return (*this)[id]; }
  const std::string& text(int id) const { return (*this)[id].text; }
  const std::vector<std::string>& items(int id) const { return (*this)[id].items; }
  int selection(int id) const { return (*this)[id].selection; }
  std::string selectedText(int id) const {
    const HeadlessControl& c = (*this)[id];
    return c.HasItem(c.selection) ? c.items[static_cast<std::size_t>(c.selection)] : "";
  }
  bool checked(int id) const { return (*this)[id].checked; }
  bool enabled(int id) const { return (*this)[id].enabled; }
  int position(int id) const { return (*this)[id].position; }
  // COMPAT-END
  bool ended() const { return ended_; }
  std::intptr_t result() const { return result_; }
  const std::string& chooserFilter() const { return chooserFilter_; }  // "a|b|..." of the last
  int chooserCalls() const { return chooserCalls_; }
  std::optional<std::string> nextChosenFile;  // the chooser's answer; nothing: cancelled

  // What the user does.
  void Click(int id) {  // a check box toggles first
    if (HeadlessControl* c = Find(id, "Click", {K::kButton, K::kCheckBox}, true)) {
      if (c->kind == K::kCheckBox) c->checked = !c->checked;
      Send({EventKind::kClicked, id});
    }
  }
  void Choose(int list, int index) {  // selection changed, then closed up
    HeadlessControl* c = Find(list, "Choose", {K::kList}, true);
    if (c == nullptr) return;
    if (!c->HasItem(index)) {
      ADD_FAILURE() << "list " << list << " has no entry " << index;
      return;
    }
    c->selection = index;
    Send({EventKind::kListSelChanged, list});
    if (!ended_) Send({EventKind::kListClosedUp, list});
  }
  void NotifyList(int list) {
    if (Find(list, "NotifyList", {K::kList})) Send({EventKind::kListOther, list});
  }
  void Type(int edit, const std::string& text) {
    if (HeadlessControl* c = Find(edit, "Type", {K::kEdit}, true)) c->text = text;
  }
  void TypeAndLeave(int edit, const std::string& text) {
    Type(edit, text);
    Send({EventKind::kEditLostFocus, edit});
  }
  void ScrollTrackbar(int id, int position) { Scroll(id, K::kTrackbar, position); }
  void ScrollUpDown(int id, int position) { Scroll(id, K::kUpDown, position); }

  // DialogSurface.
  void SetText(int id, const char* text) override {
    if (id == kDialogTitle) {
      title_ = text != nullptr ? text : "";
    } else if (HeadlessControl* c = Find(id, "SetText", {K::kLabel, K::kButton, K::kCheckBox, K::kEdit})) {
      c->text = text != nullptr ? text : "";
    }
  }
  std::size_t GetText(int id, char* buffer, std::size_t size) override {
    HeadlessControl* c = Find(id, "GetText");
    return CopyOut(c != nullptr ? c->text : "", buffer, size);
  }
  void ListAdd(int id, const char* text) override {
    if (HeadlessControl* c = Find(id, "ListAdd", {K::kList})) {
      c->items.emplace_back(text != nullptr ? text : "");
    }
  }
  void ListSelect(int id, int index) override {
    if (HeadlessControl* c = Find(id, "ListSelect", {K::kList})) {
      c->selection = c->HasItem(index) ? index : kNoSelection;
    }
  }
  int ListSelection(int id) override {
    HeadlessControl* c = Find(id, "ListSelection", {K::kList});
    return c != nullptr ? c->selection : kNoSelection;
  }
  int ListCount(int id) override {
    HeadlessControl* c = Find(id, "ListCount", {K::kList});
    return c != nullptr ? static_cast<int>(c->items.size()) : 0;
  }
  bool ListText(int id, int index, char* buffer, std::size_t size) override {
    HeadlessControl* c = Find(id, "ListText", {K::kList});
    if (c == nullptr || !c->HasItem(index)) return false;
    CopyOut(c->items[static_cast<std::size_t>(index)], buffer, size);
    return true;
  }
  void SetChecked(int id, bool checked) override {
    if (HeadlessControl* c = Find(id, "SetChecked", {K::kCheckBox})) c->checked = checked;
  }
  bool IsChecked(int id) override {
    HeadlessControl* c = Find(id, "IsChecked", {K::kCheckBox});
    return c != nullptr && c->checked;
  }
  void Enable(int id, bool enabled) override {
    if (HeadlessControl* c = Find(id, "Enable")) c->enabled = enabled;
  }
  void SetRange(int id, int low, int high) override {
    if (HeadlessControl* c = Find(id, "SetRange", {K::kTrackbar, K::kUpDown})) {
      c->ranged = true;
      c->low = low;
      c->high = high;
      c->position = c->Clamp(c->position);
    }
  }
  void SetPosition(int id, int position) override {
    if (HeadlessControl* c = Find(id, "SetPosition", {K::kTrackbar, K::kUpDown})) {
      c->position = c->Clamp(position);
    }
  }
  int Position(int id) override {
    HeadlessControl* c = Find(id, "Position", {K::kTrackbar, K::kUpDown});
    return c != nullptr ? c->position : 0;
  }
  void SetTicks(int id, std::span<const int> ticks) override {
    if (HeadlessControl* c = Find(id, "SetTicks", {K::kTrackbar})) c->ticks.assign(ticks.begin(), ticks.end());
  }
  void End(std::intptr_t result) override {
    if (ended_) ADD_FAILURE() << "End called twice";
    ended_ = true;
    result_ = result;
  }
  bool ChooseFile(const char* filter, char* buffer, std::size_t size) override {
    ++chooserCalls_;
    chooserFilter_.clear();  // description/pattern pairs up to the empty text
    for (const char* p = filter; p != nullptr && *p != '\0'; p += std::strlen(p) + 1) chooserFilter_ += std::string(p) + '|';
    if (nextChosenFile) CopyOut(*nextChosenFile, buffer, size);
    return nextChosenFile.has_value();
  }
  void* Window() override { return this; }

 private:
  static std::size_t CopyOut(const std::string& text, char* buffer, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
  }
  // The control `id` of one of `kinds` (none: any), enabled and visible when `user`.
  HeadlessControl* Find(int id, const char* op, std::initializer_list<K> kinds = {}, bool user = false) {
    auto it = controls_.find(id);
    HeadlessControl* c = it != controls_.end() ? &it->second : nullptr;
    if (c == nullptr) {
      ADD_FAILURE() << op << ": " << TemplateName(which_) << " has no control " << id;
    } else if (kinds.size() != 0 && std::find(kinds.begin(), kinds.end(), c->kind) == kinds.end()) {
      ADD_FAILURE() << op << ": control " << id << " is of another kind";
      c = nullptr;
    } else if (user && (!c->enabled || !c->visible)) {
      ADD_FAILURE() << op << ": control " << id << " is disabled or hidden";
      c = nullptr;
    }
    return c;
  }
  void Scroll(int id, K kind, int position) {
    if (HeadlessControl* c = Find(id, "Scroll", {kind}, true)) {
      c->position = c->Clamp(position);
      Send({kind == K::kTrackbar ? EventKind::kTrackbarScrolled : EventKind::kUpDownScrolled, id,
            kind == K::kTrackbar ? 5 : 4, c->position});
    }
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
  explicit OpenDialog(DialogTemplate which, Args&&... args) : dialog(std::forward<Args>(args)...), surface(which) {
    surface.Start(dialog);
  }
  Controller dialog;
  HeadlessSurface surface;
};

// One dialog at a time, opened afresh by each Open.
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
  void Plan(DialogTemplate which, std::function<void(HeadlessSurface&)> script) {
    scripts_[which].push_back(std::move(script));
  }
  std::optional<std::uint32_t> failWith;  // every dialog fails to be created while set
  struct Opening {
    DialogTemplate which;
    void* instance;
    void* owner;
  };
  std::vector<Opening> openings;
  const std::vector<Opening>& openings_() const { return openings; }  // COMPAT

  DialogOutcome Run(DialogTemplate which, void* instance, void* owner, DialogController& controller) override {
    openings.push_back({which, instance, owner});
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
  std::vector<std::unique_ptr<HeadlessSurface>> surfaces_;
};

}  // namespace tarvo::test
