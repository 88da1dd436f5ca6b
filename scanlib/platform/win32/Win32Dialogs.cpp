// The dialogs on Windows: each controller runs in a real modal dialog built
// from the library's resource templates with DialogBoxParamA; its events are
// taken from the window messages of the dialog.
//
// Events: WM_COMMAND from a button (BN_CLICKED) is a click, from a combo box
// a list notification (selection change, close-up, or any other), from an
// edit EN_KILLFOCUS; WM_HSCROLL/WM_VSCROLL from a trackbar carry the scroll
// code, from an up-down its position in the high word (signed 16 bits).
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cstring>
#include <optional>

#include "platform/DialogSurface.h"

namespace tarvo {
namespace {

enum class ClassKind { kOther, kButton, kList, kEdit, kTrackbar, kUpDown };

struct ClassRow {
  const char* name;
  ClassKind kind;
};
constexpr ClassRow kClasses[] = {
    {"Button", ClassKind::kButton},
    {"ComboBox", ClassKind::kList},
    {"Edit", ClassKind::kEdit},
    {"msctls_trackbar32", ClassKind::kTrackbar},
    {"msctls_updown32", ClassKind::kUpDown},
};

ClassKind KindOf(HWND control) {
  char name[64] = {};
  if (control == nullptr || ::GetClassNameA(control, name, sizeof name) == 0) {
    return ClassKind::kOther;
  }
  for (const ClassRow& row : kClasses) {
    if (::lstrcmpiA(name, row.name) == 0) return row.kind;
  }
  return ClassKind::kOther;
}

class Win32Surface final : public DialogSurface {
 public:
  explicit Win32Surface(HWND dialog) : dialog_(dialog) {}

  void SetText(int control, const char* text) override {
    if (control == kDialogTitle) {
      ::SetWindowTextA(dialog_, text);
    } else {
      ::SetDlgItemTextA(dialog_, control, text);
    }
  }
  std::size_t GetText(int control, char* buffer, std::size_t size) override {
    if (buffer == nullptr || size == 0) return 0;
    buffer[0] = '\0';
    return ::GetDlgItemTextA(dialog_, control, buffer, static_cast<int>(size));
  }

  void ListAdd(int control, const char* text) override {
    Send(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  void ListSelect(int control, int index) override {
    Send(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
  int ListSelection(int control) override {
    const LRESULT r = Send(control, CB_GETCURSEL, 0, 0);
    return r == CB_ERR ? kNoSelection : static_cast<int>(r);
  }
  int ListCount(int control) override {
    const LRESULT r = Send(control, CB_GETCOUNT, 0, 0);
    return r == CB_ERR ? 0 : static_cast<int>(r);
  }
  bool ListText(int control, int index, char* buffer, std::size_t size) override {
    if (buffer == nullptr || size == 0) return false;
    const LRESULT length = Send(control, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return false;
    // The entry is copied whole, then cut to the caller's buffer.
    char whole[1024] = {};
    if (static_cast<std::size_t>(length) >= sizeof whole) return false;
    Send(control, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(whole));
    const std::size_t n = static_cast<std::size_t>(length) < size - 1
                              ? static_cast<std::size_t>(length)
                              : size - 1;
    std::memcpy(buffer, whole, n);
    buffer[n] = '\0';
    return true;
  }

  void SetChecked(int control, bool checked) override {
    ::CheckDlgButton(dialog_, control, checked ? BST_CHECKED : BST_UNCHECKED);
  }
  bool IsChecked(int control) override {
    return ::IsDlgButtonChecked(dialog_, control) == BST_CHECKED;
  }
  void Enable(int control, bool enabled) override {
    ::EnableWindow(::GetDlgItem(dialog_, control), enabled ? TRUE : FALSE);
  }

  void SetRange(int control, int low, int high) override {
    switch (KindOf(::GetDlgItem(dialog_, control))) {
      case ClassKind::kTrackbar:
        Send(control, TBM_SETRANGEMIN, FALSE, low);
        Send(control, TBM_SETRANGEMAX, TRUE, high);
        break;
      case ClassKind::kUpDown:
        Send(control, UDM_SETRANGE, 0, MAKELPARAM(static_cast<short>(high), static_cast<short>(low)));
        break;
      default:
        break;
    }
  }
  void SetPosition(int control, int position) override {
    switch (KindOf(::GetDlgItem(dialog_, control))) {
      case ClassKind::kTrackbar:
        Send(control, TBM_SETPOS, TRUE, position);
        break;
      case ClassKind::kUpDown:
        Send(control, UDM_SETPOS, 0, MAKELPARAM(static_cast<short>(position), 0));
        break;
      default:
        break;
    }
  }
  int Position(int control) override {
    switch (KindOf(::GetDlgItem(dialog_, control))) {
      case ClassKind::kTrackbar:
        return static_cast<int>(Send(control, TBM_GETPOS, 0, 0));
      case ClassKind::kUpDown:
        return static_cast<short>(LOWORD(Send(control, UDM_GETPOS, 0, 0)));
      default:
        return 0;
    }
  }
  void SetTicks(int control, std::span<const int> ticks) override {
    Send(control, TBM_CLEARTICS, FALSE, 0);
    for (int tick : ticks) Send(control, TBM_SETTIC, 0, tick);
  }

  void End(std::intptr_t result) override {
    ended_ = true;
    ::EndDialog(dialog_, result);
  }
  // After End the controller is done: what the dialog reports while it goes
  // (EndDialog takes the focus from an edit, which then reports losing it)
  // must not store anything after the controller restored its values.
  bool Ended() const { return ended_; }
  bool ChooseFile(const char* filter, char* buffer, std::size_t size) override {
    if (buffer == nullptr || size == 0) return false;
    buffer[0] = '\0';
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = nullptr;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer;
    ofn.nMaxFile = static_cast<DWORD>(size);
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    return ::GetOpenFileNameA(&ofn) != FALSE;
  }
  void* Window() override { return dialog_; }

 private:
  LRESULT Send(int control, UINT message, WPARAM w, LPARAM l) {
    return ::SendDlgItemMessageA(dialog_, control, message, w, l);
  }

  HWND dialog_;
  bool ended_ = false;
};

struct Session {
  DialogController* controller;
  std::optional<Win32Surface> surface;
};

void Deliver(Session& s, const DialogEvent& event) {
  if (s.surface && !s.surface->Ended()) s.controller->OnEvent(*s.surface, event);
}

void OnCommand(Session& s, WPARAM w, LPARAM l) {
  const int id = LOWORD(w);
  const int code = HIWORD(w);
  HWND control = reinterpret_cast<HWND>(l);
  if (control == nullptr) {  // keyboard or close box: IDOK / IDCANCEL
    if (id == kIdOkButton || id == kIdCancelButton) Deliver(s, {EventKind::kClicked, id});
    return;
  }
  switch (KindOf(control)) {
    case ClassKind::kButton:
      if (code == BN_CLICKED) Deliver(s, {EventKind::kClicked, id});
      break;
    case ClassKind::kList:
      Deliver(s, {code == CBN_SELCHANGE ? EventKind::kListSelChanged
                  : code == CBN_CLOSEUP ? EventKind::kListClosedUp
                                        : EventKind::kListOther,
                  id, code});
      break;
    case ClassKind::kEdit:
      if (code == EN_KILLFOCUS) Deliver(s, {EventKind::kEditLostFocus, id});
      break;
    default:
      break;
  }
}

void OnScroll(Session& s, WPARAM w, LPARAM l) {
  HWND control = reinterpret_cast<HWND>(l);
  if (control == nullptr) return;
  const int id = ::GetDlgCtrlID(control);
  switch (KindOf(control)) {
    case ClassKind::kTrackbar:
      Deliver(s, {EventKind::kTrackbarScrolled, id, LOWORD(w),
                  static_cast<int>(::SendMessageA(control, TBM_GETPOS, 0, 0))});
      break;
    case ClassKind::kUpDown:
      Deliver(s, {EventKind::kUpDownScrolled, id, LOWORD(w), static_cast<short>(HIWORD(w))});
      break;
    default:
      break;
  }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_INITDIALOG) {
    auto* s = reinterpret_cast<Session*>(l);
    ::SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
    s->surface.emplace(dialog);
    s->controller->OnInit(*s->surface);
    return TRUE;
  }
  auto* s = reinterpret_cast<Session*>(::GetWindowLongPtrA(dialog, DWLP_USER));
  if (s == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      OnCommand(*s, w, l);
      return TRUE;
    case WM_HSCROLL:
    case WM_VSCROLL:
      OnScroll(*s, w, l);
      return TRUE;
    default:
      return FALSE;
  }
}

class Win32DialogRunner final : public DialogRunner {
 public:
  DialogOutcome Run(DialogTemplate which, void* instance, void* owner,
                    DialogController& controller) override {
    Session session{&controller, std::nullopt};
    const INT_PTR r =
        ::DialogBoxParamA(static_cast<HINSTANCE>(instance), TemplateName(which),
                          static_cast<HWND>(owner), &DialogProc, reinterpret_cast<LPARAM>(&session));
    if (r == -1) return {false, 0, ::GetLastError()};
    return {true, r, 0};
  }
};

}  // namespace

DialogRunner& SystemDialogRunner() {
  static Win32DialogRunner runner;
  return runner;
}

}  // namespace tarvo
