// A headless dialog surface: the controls of one template, what the controller
// did to each, and what the user does. Touching a missing control or one of the
// wrong kind fails the test, as does a user acting on a disabled or hidden one
// or after the end. With it, a runner that plays scripts and a driver context
// whose message N reads "mN" and whose platform records message boxes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

#include "platform/DialogSurface.h"
#include "scan/DriverContext.h"
#include "support/TestPlatform.h"
#include "ui/DialogTemplates.h"

namespace tarvo::test {

struct HeadlessControl {
  ControlKind kind = ControlKind::kLabel;
  std::string text;
  std::vector<std::string> items;
  int selection = kNoSelection;
  bool checked = false, enabled = true, visible = true, ranged = false;
  int low = 0, high = 0, position = 0;

  bool HasItem(int i) const { return i >= 0 && static_cast<std::size_t>(i) < items.size(); }
  int Clamp(int p) const { return ranged ? std::clamp(p, std::min(low, high), std::max(low, high)) : p; }
};

class HeadlessSurface final : public DialogSurface {
  using K = ControlKind;

 public:
  explicit HeadlessSurface(DialogTemplate which) : which_(which) {
    for (const ControlForm& f : TemplateControls(which)) {
      HeadlessControl& c = controls_[f.id];
      std::tie(c.kind, c.enabled, c.visible) = std::tuple(f.kind, !f.hidden, !f.hidden);
    }
  }
  void Start(DialogController& controller) { (controller_ = &controller)->OnInit(*this); }

  // What the controller did: s[id].text, .items, .selection, .checked, ...
  std::string title;
  bool ended = false;
  std::intptr_t result = 0;  // End's value
  std::string chooserFilter;  // "a|b|..." of the last chooser
  std::optional<std::string> nextChosenFile;  // the chooser's answer; nothing: cancelled
  const HeadlessControl& operator[](int id) const { return At(id, "read"); }

  // What the user does.
  void Click(int id) {  // a check box toggles first
    if (HeadlessControl* c = Find(id, "Click", {K::kButton, K::kCheckBox}, true)) {
      c->checked ^= c->kind == K::kCheckBox;
      Send({EventKind::kClicked, id});
    }
  }
  void Choose(int list, int index) {  // selection changed, then closed up
    HeadlessControl* c = Find(list, "Choose", {K::kList}, true);
    if (c == nullptr || !c->HasItem(index)) return void(ADD_FAILURE() << "list " << list << " has no entry " << index);
    c->selection = index;
    Send({EventKind::kListSelChanged, list});
    if (!ended) Send({EventKind::kListClosedUp, list});
  }
  void NotifyList(int list) { if (Find(list, "NotifyList", {K::kList})) Send({EventKind::kListOther, list}); }
  void Type(int edit, const std::string& text) {
    if (HeadlessControl* c = Find(edit, "Type", {K::kEdit}, true)) c->text = text;
  }
  void TypeAndLeave(int edit, const std::string& text) { Type(edit, text), Send({EventKind::kEditLostFocus, edit}); }
  void ScrollTrackbar(int id, int position) { Scroll(id, K::kTrackbar, position); }
  void ScrollUpDown(int id, int position) { Scroll(id, K::kUpDown, position); }

  // DialogSurface: a wrong control fails the test and acts on a scratch one.
  void SetText(int id, const char* text) override {
    (id == kDialogTitle ? title : At(id, "SetText", {K::kLabel, K::kButton, K::kCheckBox, K::kEdit}).text) =
        text != nullptr ? text : "";
  }
  std::size_t GetText(int id, char* buf, std::size_t n) override { return CopyOut(At(id, "GetText").text, buf, n); }
  void ListAdd(int id, const char* s) override { At(id, "ListAdd", {K::kList}).items.emplace_back(s ? s : ""); }
  void ListSelect(int id, int index) override {
    HeadlessControl& c = At(id, "ListSelect", {K::kList});
    c.selection = c.HasItem(index) ? index : kNoSelection;
  }
  int ListSelection(int id) override { return At(id, "ListSelection", {K::kList}).selection; }
  int ListCount(int id) override { return static_cast<int>(At(id, "ListCount", {K::kList}).items.size()); }
  bool ListText(int id, int index, char* buffer, std::size_t size) override {
    const HeadlessControl& c = At(id, "ListText", {K::kList});
    return c.HasItem(index) && (CopyOut(c.items[static_cast<std::size_t>(index)], buffer, size), true);
  }
  void SetChecked(int id, bool checked) override { At(id, "SetChecked", {K::kCheckBox}).checked = checked; }
  bool IsChecked(int id) override { return At(id, "IsChecked", {K::kCheckBox}).checked; }
  void Enable(int id, bool enabled) override { At(id, "Enable").enabled = enabled; }
  void SetRange(int id, int low, int high) override {
    HeadlessControl& c = At(id, "SetRange", {K::kTrackbar, K::kUpDown});
    std::tie(c.ranged, c.low, c.high) = std::tuple(true, low, high), c.position = c.Clamp(c.position);
  }
  void SetPosition(int id, int position) override {
    HeadlessControl& c = At(id, "SetPosition", {K::kTrackbar, K::kUpDown});
    c.position = c.Clamp(position);
  }
  int Position(int id) override { return At(id, "Position", {K::kTrackbar, K::kUpDown}).position; }
  void SetTicks(int id, std::span<const int>) override { At(id, "SetTicks", {K::kTrackbar}); }
  void End(std::intptr_t value) override {
    if (ended) ADD_FAILURE() << "End called twice";
    std::tie(ended, result) = std::tuple(true, value);
  }
  bool ChooseFile(const char* filter, char* buffer, std::size_t size) override {
    chooserFilter.clear();  // description/pattern pairs up to the empty text
    for (const char* p = filter; p != nullptr && *p != '\0'; p += std::strlen(p) + 1) chooserFilter += std::string(p) + '|';
    if (nextChosenFile) CopyOut(*nextChosenFile, buffer, size);
    return nextChosenFile.has_value();
  }
  void* Window() override { return this; }

 private:
  static std::size_t CopyOut(const std::string& text, char* buffer, std::size_t size) {
    const std::size_t n = size == 0 ? 0 : text.copy(buffer, size - 1);
    if (size != 0) buffer[n] = '\0';
    return n;
  }
  // The control `id` of one of `kinds` (none: any), enabled and visible when `user`.
  HeadlessControl* Find(int id, const char* op, std::initializer_list<K> kinds = {}, bool user = false) const {
    auto it = controls_.find(id);
    HeadlessControl* c = it == controls_.end() ? nullptr : &it->second;
    if (c == nullptr || (kinds.size() != 0 && std::find(kinds.begin(), kinds.end(), c->kind) == kinds.end()) ||
        (user && !(c->enabled && c->visible))) {
      ADD_FAILURE() << op << ": control " << id << " of " << TemplateName(which_)
                    << (c == nullptr ? " is missing" : " is of another kind, disabled or hidden");
      return nullptr;
    }
    return c;
  }
  HeadlessControl& At(int id, const char* op, std::initializer_list<K> kinds = {}) const {
    HeadlessControl* c = Find(id, op, kinds);
    return c != nullptr ? *c : (scratch_ = HeadlessControl());
  }
  void Scroll(int id, K kind, int position) {
    if (HeadlessControl* c = Find(id, "Scroll", {kind}, true)) {
      c->position = c->Clamp(position);
      Send({kind == K::kTrackbar ? EventKind::kTrackbarScrolled : EventKind::kUpDownScrolled, id,
            kind == K::kTrackbar ? 5 : 4, c->position});
    }
  }
  void Send(const DialogEvent& event) {
    if (ended) ADD_FAILURE() << "event for control " << event.control << " after the dialog ended";
    else if (controller_ != nullptr) controller_->OnEvent(*this, event);
  }

  DialogTemplate which_;
  mutable std::map<int, HeadlessControl> controls_;
  mutable HeadlessControl scratch_;
  DialogController* controller_ = nullptr;
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

class HeadlessRunner final : public DialogRunner {
 public:
  void Plan(DialogTemplate which, std::function<void(HeadlessSurface&)> s) { scripts_[which].push_back(std::move(s)); }
  std::optional<std::uint32_t> failWith;  // every dialog fails to be created while set
  struct Opening { DialogTemplate which; void *instance, *owner; };
  std::vector<Opening> openings;

  // Runs the next script queued for the template; a dialog still open after it is cancelled.
  DialogOutcome Run(DialogTemplate which, void* instance, void* owner, DialogController& controller) override {
    openings.push_back({which, instance, owner});
    if (failWith) return {false, 0, *failWith};
    HeadlessSurface& surface = *surfaces_.emplace_back(std::make_unique<HeadlessSurface>(which));
    surface.Start(controller);
    if (auto& queue = scripts_[which]; !surface.ended && !queue.empty()) {
      auto script = std::move(queue.front());
      queue.pop_front();
      script(surface);
    }
    if (!surface.ended) surface.Click(kIdCancelButton);
    return {true, surface.result, 0};
  }

 private:
  std::map<DialogTemplate, std::deque<std::function<void(HeadlessSurface&)>>> scripts_;
  std::vector<std::unique_ptr<HeadlessSurface>> surfaces_;
};

inline std::string Msg(std::uint32_t id) {
  std::string text = "m";  // appended, not "m" + ...: GCC 12 -O3 warns on that (-Wrestrict)
  return text += std::to_string(id);
}
inline void* Handle(std::uintptr_t v) { return reinterpret_cast<void*>(v); }  // a made-up handle

struct DialogTestContext {
  DialogTestContext() {
    for (std::uint32_t id = 1; id <= kMaxMessageId; ++id) context.messages.Set(id, Msg(id));
  }
  // Exactly `count` boxes so far, the last with `text` under `caption`.
  ::testing::AssertionResult LastBox(std::size_t count, const std::string& text,
                                     const std::string& caption = "RT650") const {
    const auto& boxes = platform.boxes;
    if (boxes.size() != count) return ::testing::AssertionFailure() << boxes.size() << " boxes";
    if (count == 0 || (boxes.back().text == text && boxes.back().caption == caption)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << boxes.back().text << " / " << boxes.back().caption;
  }
  // A controller on the context (and `args`), initialised; open until the test ends.
  template <class Controller, class... Args>
  OpenDialog<Controller>& Open(DialogTemplate which, Args&&... args) {
    auto d = std::make_shared<OpenDialog<Controller>>(which, context, std::forward<Args>(args)...);
    open_.push_back(d);
    return *d;
  }

  TestPlatform platform;
  DriverContext context{platform};
  ScanSettings& r = context.settings;
  HeadlessRunner runner;
  std::vector<std::shared_ptr<void>> open_;
};

}  // namespace tarvo::test
