#include "support/HeadlessSurface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace tarvo::test {
namespace {

constexpr unsigned Kinds(std::initializer_list<ControlKind> kinds) {
  unsigned mask = 0;
  for (ControlKind k : kinds) mask |= 1u << static_cast<unsigned>(k);
  return mask;
}
constexpr unsigned kAnyKind = ~0u;
constexpr unsigned kRanged = Kinds({ControlKind::kTrackbar, ControlKind::kUpDown});

std::size_t CopyOut(const std::string& text, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  const std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n;
}

int Clamp(const HeadlessControl& c, int position) {
  if (!c.ranged) return position;
  return std::clamp(position, std::min(c.low, c.high), std::max(c.low, c.high));
}

bool HasItem(const HeadlessControl& c, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < c.items.size();
}

}  // namespace

HeadlessSurface::HeadlessSurface(DialogTemplate which) : which_(which) {
  for (const ControlForm& form : TemplateControls(which)) {
    HeadlessControl& c = controls_[form.id];
    c.kind = form.kind;
    c.enabled = c.visible = !form.hidden;
  }
}

void HeadlessSurface::Start(DialogController& controller) {
  controller_ = &controller;
  controller.OnInit(*this);
}

const HeadlessControl& HeadlessSurface::control(int id) const {
  static const HeadlessControl kMissing;
  auto it = controls_.find(id);
  if (it != controls_.end()) return it->second;
  ADD_FAILURE() << "template " << TemplateName(which_) << " has no control " << id;
  return kMissing;
}

std::string HeadlessSurface::selectedText(int id) const {
  const HeadlessControl& c = control(id);
  return HasItem(c, c.selection) ? c.items[static_cast<std::size_t>(c.selection)] : "";
}

// The control `id` of one of `kinds`, or a failure naming the operation.
HeadlessControl* HeadlessSurface::Find(int id, const char* operation, unsigned kinds) {
  auto it = controls_.find(id);
  if (it == controls_.end()) {
    ADD_FAILURE() << operation << ": template " << TemplateName(which_) << " has no control "
                  << id;
    return nullptr;
  }
  if ((kinds & (1u << static_cast<unsigned>(it->second.kind))) == 0) {
    ADD_FAILURE() << operation << ": control " << id << " of " << TemplateName(which_)
                  << " is of another kind";
    return nullptr;
  }
  return &it->second;
}

HeadlessControl* HeadlessSurface::FindEnabled(int id, const char* operation, unsigned kinds) {
  HeadlessControl* c = Find(id, operation, kinds);
  if (c != nullptr && (!c->enabled || !c->visible)) {
    ADD_FAILURE() << operation << ": control " << id << " is disabled or hidden";
  }
  return c;
}

void HeadlessSurface::Send(const DialogEvent& event) {
  if (ended_) {
    ADD_FAILURE() << "event for control " << event.control << " after the dialog ended";
  } else if (controller_ != nullptr) {
    controller_->OnEvent(*this, event);
  }
}

void HeadlessSurface::Click(int id) {
  HeadlessControl* c =
      FindEnabled(id, "Click", Kinds({ControlKind::kButton, ControlKind::kCheckBox}));
  if (c == nullptr || !c->enabled || !c->visible) return;
  if (c->kind == ControlKind::kCheckBox) c->checked = !c->checked;
  Send({EventKind::kClicked, id});
}

void HeadlessSurface::Choose(int list, int index) {
  HeadlessControl* c = FindEnabled(list, "Choose", Kinds({ControlKind::kList}));
  if (c == nullptr || !c->enabled) return;
  if (!HasItem(*c, index)) {
    ADD_FAILURE() << "Choose: list " << list << " has no entry " << index;
    return;
  }
  c->selection = index;
  Send({EventKind::kListSelChanged, list});
  if (!ended_) Send({EventKind::kListClosedUp, list});
}

void HeadlessSurface::NotifyList(int list) {
  if (Find(list, "NotifyList", Kinds({ControlKind::kList}))) Send({EventKind::kListOther, list});
}

void HeadlessSurface::Type(int edit, const std::string& text) {
  if (HeadlessControl* c = FindEnabled(edit, "Type", Kinds({ControlKind::kEdit}))) c->text = text;
}

void HeadlessSurface::Leave(int edit) {
  if (Find(edit, "Leave", Kinds({ControlKind::kEdit}))) Send({EventKind::kEditLostFocus, edit});
}

void HeadlessSurface::ScrollTrackbar(int trackbar, int position, int code) {
  if (HeadlessControl* c = FindEnabled(trackbar, "ScrollTrackbar", Kinds({ControlKind::kTrackbar}))) {
    c->position = Clamp(*c, position);
    Send({EventKind::kTrackbarScrolled, trackbar, code, c->position});
  }
}

void HeadlessSurface::ScrollUpDown(int upDown, int position) {
  if (HeadlessControl* c = FindEnabled(upDown, "ScrollUpDown", Kinds({ControlKind::kUpDown}))) {
    c->position = Clamp(*c, position);
    Send({EventKind::kUpDownScrolled, upDown, 4, c->position});
  }
}

void HeadlessSurface::SetText(int control, const char* text) {
  const std::string value = text != nullptr ? text : "";
  if (control == kDialogTitle) {
    title_ = value;
  } else if (HeadlessControl* c = Find(control, "SetText", kAnyKind & ~kRanged &
                                                               ~Kinds({ControlKind::kList}))) {
    c->text = value;
  }
}

std::size_t HeadlessSurface::GetText(int control, char* buffer, std::size_t size) {
  HeadlessControl* c = Find(control, "GetText", kAnyKind);
  return CopyOut(c != nullptr ? c->text : std::string(), buffer, size);
}

void HeadlessSurface::ListAdd(int control, const char* text) {
  if (HeadlessControl* c = Find(control, "ListAdd", Kinds({ControlKind::kList}))) {
    c->items.emplace_back(text != nullptr ? text : "");
  }
}

void HeadlessSurface::ListSelect(int control, int index) {
  if (HeadlessControl* c = Find(control, "ListSelect", Kinds({ControlKind::kList}))) {
    c->selection = HasItem(*c, index) ? index : kNoSelection;
  }
}

int HeadlessSurface::ListSelection(int control) {
  HeadlessControl* c = Find(control, "ListSelection", Kinds({ControlKind::kList}));
  return c != nullptr ? c->selection : kNoSelection;
}

int HeadlessSurface::ListCount(int control) {
  HeadlessControl* c = Find(control, "ListCount", Kinds({ControlKind::kList}));
  return c != nullptr ? static_cast<int>(c->items.size()) : 0;
}

bool HeadlessSurface::ListText(int control, int index, char* buffer, std::size_t size) {
  HeadlessControl* c = Find(control, "ListText", Kinds({ControlKind::kList}));
  if (c == nullptr || !HasItem(*c, index)) return false;
  CopyOut(c->items[static_cast<std::size_t>(index)], buffer, size);
  return true;
}

void HeadlessSurface::SetChecked(int control, bool checked) {
  if (HeadlessControl* c = Find(control, "SetChecked", Kinds({ControlKind::kCheckBox}))) {
    c->checked = checked;
  }
}

bool HeadlessSurface::IsChecked(int control) {
  HeadlessControl* c = Find(control, "IsChecked", Kinds({ControlKind::kCheckBox}));
  return c != nullptr && c->checked;
}

void HeadlessSurface::Enable(int control, bool enabled) {
  if (HeadlessControl* c = Find(control, "Enable", kAnyKind)) c->enabled = enabled;
}

void HeadlessSurface::SetRange(int control, int low, int high) {
  if (HeadlessControl* c = Find(control, "SetRange", kRanged)) {
    c->ranged = true;
    c->low = low;
    c->high = high;
    c->position = Clamp(*c, c->position);
  }
}

void HeadlessSurface::SetPosition(int control, int position) {
  if (HeadlessControl* c = Find(control, "SetPosition", kRanged)) c->position = Clamp(*c, position);
}

int HeadlessSurface::Position(int control) {
  HeadlessControl* c = Find(control, "Position", kRanged);
  return c != nullptr ? c->position : 0;
}

void HeadlessSurface::SetTicks(int control, std::span<const int> ticks) {
  if (HeadlessControl* c = Find(control, "SetTicks", Kinds({ControlKind::kTrackbar}))) {
    c->ticks.assign(ticks.begin(), ticks.end());
  }
}

void HeadlessSurface::End(std::intptr_t result) {
  if (ended_) ADD_FAILURE() << "End called twice";
  ended_ = true;
  result_ = result;
}

bool HeadlessSurface::ChooseFile(const char* filter, char* buffer, std::size_t size) {
  ++chooserCalls_;
  chooserFilter_.clear();
  // Description/pattern pairs up to the empty text.
  for (const char* p = filter; p != nullptr && *p != '\0'; p += std::strlen(p) + 1) {
    chooserFilter_ += std::string(p) + '|';
  }
  if (!nextChosenFile) return false;
  CopyOut(*nextChosenFile, buffer, size);
  return true;
}

DialogOutcome HeadlessRunner::Run(DialogTemplate which, void* instance, void* owner,
                                  DialogController& controller) {
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

}  // namespace tarvo::test
