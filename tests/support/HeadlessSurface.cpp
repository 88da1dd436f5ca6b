#include "support/HeadlessSurface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace tarvo::test {
namespace {

void CopyOut(const std::string& text, char* buffer, std::size_t size, std::size_t* length) {
  if (buffer == nullptr || size == 0) {
    if (length != nullptr) *length = 0;
    return;
  }
  const std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  if (length != nullptr) *length = n;
}

int Clamp(const HeadlessControl& c, int position) {
  if (!c.ranged) return position;
  return std::clamp(position, std::min(c.low, c.high), std::max(c.low, c.high));
}

}  // namespace

HeadlessSurface::HeadlessSurface(DialogTemplate which) : which_(which) {
  for (const ControlForm& form : TemplateControls(which)) {
    HeadlessControl& c = controls_[form.id];
    c.kind = form.kind;
    c.enabled = !form.hidden;
    c.visible = !form.hidden;
  }
}

void HeadlessSurface::Start(DialogController& controller) {
  controller_ = &controller;
  controller.OnInit(*this);
}

const HeadlessControl& HeadlessSurface::control(int id) const {
  static const HeadlessControl kMissing;
  auto it = controls_.find(id);
  if (it == controls_.end()) {
    ADD_FAILURE() << "template " << TemplateName(which_) << " has no control " << id;
    return kMissing;
  }
  return it->second;
}

std::string HeadlessSurface::selectedText(int id) const {
  const HeadlessControl& c = control(id);
  if (c.selection < 0 || static_cast<std::size_t>(c.selection) >= c.items.size()) return "";
  return c.items[static_cast<std::size_t>(c.selection)];
}

HeadlessControl* HeadlessSurface::Find(int id, const char* operation) {
  auto it = controls_.find(id);
  if (it == controls_.end()) {
    ADD_FAILURE() << operation << ": template " << TemplateName(which_) << " has no control "
                  << id;
    return nullptr;
  }
  return &it->second;
}

HeadlessControl* HeadlessSurface::FindKind(int id, ControlKind kind, const char* operation) {
  HeadlessControl* c = Find(id, operation);
  if (c != nullptr && c->kind != kind) {
    ADD_FAILURE() << operation << ": control " << id << " of " << TemplateName(which_)
                  << " is of another kind";
    return nullptr;
  }
  return c;
}

HeadlessControl* HeadlessSurface::FindRanged(int id, const char* operation) {
  HeadlessControl* c = Find(id, operation);
  if (c != nullptr && c->kind != ControlKind::kTrackbar && c->kind != ControlKind::kUpDown) {
    ADD_FAILURE() << operation << ": control " << id << " is neither trackbar nor up-down";
    return nullptr;
  }
  return c;
}

void HeadlessSurface::Send(const DialogEvent& event) {
  if (ended_) {
    ADD_FAILURE() << "event for control " << event.control << " after the dialog ended";
    return;
  }
  if (controller_ != nullptr) controller_->OnEvent(*this, event);
}

void HeadlessSurface::Click(int id) {
  HeadlessControl* c = Find(id, "Click");
  if (c == nullptr) return;
  if (c->kind != ControlKind::kButton && c->kind != ControlKind::kCheckBox) {
    ADD_FAILURE() << "Click: control " << id << " is not a button";
    return;
  }
  if (!c->enabled || !c->visible) {
    ADD_FAILURE() << "Click: control " << id << " is disabled or hidden";
    return;
  }
  if (c->kind == ControlKind::kCheckBox) c->checked = !c->checked;
  Send({EventKind::kClicked, id});
}

void HeadlessSurface::Choose(int list, int index) {
  HeadlessControl* c = FindKind(list, ControlKind::kList, "Choose");
  if (c == nullptr) return;
  if (!c->enabled) {
    ADD_FAILURE() << "Choose: list " << list << " is disabled";
    return;
  }
  if (index < 0 || static_cast<std::size_t>(index) >= c->items.size()) {
    ADD_FAILURE() << "Choose: list " << list << " has no entry " << index;
    return;
  }
  c->selection = index;
  Send({EventKind::kListSelChanged, list});
  if (!ended_) Send({EventKind::kListClosedUp, list});
}

void HeadlessSurface::NotifyList(int list) {
  if (FindKind(list, ControlKind::kList, "NotifyList") == nullptr) return;
  Send({EventKind::kListOther, list});
}

void HeadlessSurface::Type(int edit, const std::string& text) {
  HeadlessControl* c = FindKind(edit, ControlKind::kEdit, "Type");
  if (c == nullptr) return;
  if (!c->enabled) ADD_FAILURE() << "Type: edit " << edit << " is disabled";
  c->text = text;
}

void HeadlessSurface::Leave(int edit) {
  if (FindKind(edit, ControlKind::kEdit, "Leave") == nullptr) return;
  Send({EventKind::kEditLostFocus, edit});
}

void HeadlessSurface::ScrollTrackbar(int trackbar, int position, int code) {
  HeadlessControl* c = FindKind(trackbar, ControlKind::kTrackbar, "ScrollTrackbar");
  if (c == nullptr) return;
  if (!c->enabled) ADD_FAILURE() << "ScrollTrackbar: " << trackbar << " is disabled";
  c->position = Clamp(*c, position);
  Send({EventKind::kTrackbarScrolled, trackbar, code, c->position});
}

void HeadlessSurface::TrackbarCode(int trackbar, int code) {
  HeadlessControl* c = FindKind(trackbar, ControlKind::kTrackbar, "TrackbarCode");
  if (c == nullptr) return;
  Send({EventKind::kTrackbarScrolled, trackbar, code, c->position});
}

void HeadlessSurface::ScrollUpDown(int upDown, int position) {
  HeadlessControl* c = FindKind(upDown, ControlKind::kUpDown, "ScrollUpDown");
  if (c == nullptr) return;
  if (!c->enabled) ADD_FAILURE() << "ScrollUpDown: " << upDown << " is disabled";
  c->position = Clamp(*c, position);
  Send({EventKind::kUpDownScrolled, upDown, 4, c->position});
}

void HeadlessSurface::SetText(int control, const char* text) {
  const std::string value = text != nullptr ? text : "";
  if (control == kDialogTitle) {
    title_ = value;
    return;
  }
  HeadlessControl* c = Find(control, "SetText");
  if (c == nullptr) return;
  if (c->kind == ControlKind::kList || c->kind == ControlKind::kTrackbar ||
      c->kind == ControlKind::kUpDown) {
    ADD_FAILURE() << "SetText: control " << control << " has no text";
    return;
  }
  c->text = value;
}

std::size_t HeadlessSurface::GetText(int control, char* buffer, std::size_t size) {
  std::size_t length = 0;
  HeadlessControl* c = Find(control, "GetText");
  CopyOut(c != nullptr ? c->text : std::string(), buffer, size, &length);
  return length;
}

void HeadlessSurface::ListAdd(int control, const char* text) {
  if (HeadlessControl* c = FindKind(control, ControlKind::kList, "ListAdd")) {
    c->items.emplace_back(text != nullptr ? text : "");
  }
}

void HeadlessSurface::ListSelect(int control, int index) {
  if (HeadlessControl* c = FindKind(control, ControlKind::kList, "ListSelect")) {
    c->selection = index >= 0 && static_cast<std::size_t>(index) < c->items.size() ? index
                                                                                   : kNoSelection;
  }
}

int HeadlessSurface::ListSelection(int control) {
  HeadlessControl* c = FindKind(control, ControlKind::kList, "ListSelection");
  return c != nullptr ? c->selection : kNoSelection;
}

int HeadlessSurface::ListCount(int control) {
  HeadlessControl* c = FindKind(control, ControlKind::kList, "ListCount");
  return c != nullptr ? static_cast<int>(c->items.size()) : 0;
}

bool HeadlessSurface::ListText(int control, int index, char* buffer, std::size_t size) {
  HeadlessControl* c = FindKind(control, ControlKind::kList, "ListText");
  if (c == nullptr || index < 0 || static_cast<std::size_t>(index) >= c->items.size()) return false;
  CopyOut(c->items[static_cast<std::size_t>(index)], buffer, size, nullptr);
  return true;
}

void HeadlessSurface::SetChecked(int control, bool checked) {
  if (HeadlessControl* c = FindKind(control, ControlKind::kCheckBox, "SetChecked")) {
    c->checked = checked;
  }
}

bool HeadlessSurface::IsChecked(int control) {
  HeadlessControl* c = FindKind(control, ControlKind::kCheckBox, "IsChecked");
  return c != nullptr && c->checked;
}

void HeadlessSurface::Enable(int control, bool enabled) {
  if (HeadlessControl* c = Find(control, "Enable")) c->enabled = enabled;
}

void HeadlessSurface::SetRange(int control, int low, int high) {
  if (HeadlessControl* c = FindRanged(control, "SetRange")) {
    c->ranged = true;
    c->low = low;
    c->high = high;
    c->position = Clamp(*c, c->position);
  }
}

void HeadlessSurface::SetPosition(int control, int position) {
  if (HeadlessControl* c = FindRanged(control, "SetPosition")) c->position = Clamp(*c, position);
}

int HeadlessSurface::Position(int control) {
  HeadlessControl* c = FindRanged(control, "Position");
  return c != nullptr ? c->position : 0;
}

void HeadlessSurface::SetTicks(int control, std::span<const int> ticks) {
  if (HeadlessControl* c = FindKind(control, ControlKind::kTrackbar, "SetTicks")) {
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
    chooserFilter_ += p;
    chooserFilter_ += '|';
  }
  if (!nextChosenFile) return false;
  CopyOut(*nextChosenFile, buffer, size, nullptr);
  return true;
}

const HeadlessSurface* HeadlessRunner::last(DialogTemplate which) const {
  for (auto it = surfaces_.rbegin(); it != surfaces_.rend(); ++it) {
    if ((*it)->which() == which) return it->get();
  }
  return nullptr;
}

DialogOutcome HeadlessRunner::Run(DialogTemplate which, void* instance, void* owner,
                                  DialogController& controller) {
  openings_.push_back({which, instance, owner});
  if (failWith) return {false, 0, *failWith};
  surfaces_.push_back(std::make_unique<HeadlessSurface>(which));
  HeadlessSurface& surface = *surfaces_.back();
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
