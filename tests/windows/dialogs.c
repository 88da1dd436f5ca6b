/* The driver's dialogs on screen. The first thread opens each dialog through
 * its export and sits in the modal loop; a second thread, the hand, plays a
 * script on it with window messages, measures the template on screen and
 * photographs it. The first thread then reads back what the dialog stored. */
#define COBJMACROS
#include <windows.h>
#include <commctrl.h>
#include <wincodec.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host.h"

typedef uint32_t(TSD_CALL* Dialog2Fn)(HINSTANCE, HWND);
typedef uint32_t(TSD_CALL* Dialog3Fn)(HINSTANCE, HWND, void*);
static struct Driver g_drv;

struct IdValue {
  int32_t id, value;
};
#define COUNT(table) (sizeof(table) / sizeof((table)[0]))

static void SetAll(const struct IdValue* t, size_t n) {
  for (size_t i = 0; i < n; ++i) Set(&g_drv, t[i].id, t[i].value);
}

static void CheckAll(const struct IdValue* t, size_t n, const char* where) {
  for (size_t i = 0; i < n; ++i) {
    char what[96];
    snprintf(what, sizeof what, "%s parameter %d", where, (int)t[i].id);
    CHECK_EQ(Get(&g_drv, t[i].id), t[i].value, what);
  }
}

/* The parameters `t` names, as they are now. */
static void Take(struct IdValue* now, const struct IdValue* t, size_t n) {
  for (size_t i = 0; i < n; ++i) now[i] = (struct IdValue){t[i].id, Get(&g_drv, t[i].id)};
}

/* A text or table parameter: the cell holds the buffer's address. */
static int32_t Buffer(ParFn fn, int32_t id, void* buffer) {
  uintptr_t cell = (uintptr_t)buffer;
  return fn(id, &cell);
}

static DWORD g_uiThread;         /* the thread that runs the modal loops */
static HANDLE g_exportDone;      /* set when the dialog export has returned */
static HWND g_owner;             /* the host's window, owner of the dialogs */
static char g_screens[MAX_PATH]; /* where the pictures go, with its backslash */
static IWICImagingFactory* g_handWic;
static const char* g_languageFile;

enum { kWaitMs = 10000 };

/* A message to a window of the first thread, given up after five seconds. */
static LRESULT Send(HWND window, UINT message, WPARAM w, LPARAM l) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, message, w, l, SMTO_NORMAL, 5000, &result) ? (LRESULT)result : 0;
}

static void WindowText(HWND window, char* out, int size) {
  out[0] = '\0';
  if (window != NULL) Send(window, WM_GETTEXT, (WPARAM)size, (LPARAM)out);
  out[size - 1] = '\0';
}

struct Find {
  int control; /* a control ID only the wanted dialog has; 0: any dialog */
  HWND found;
};

static BOOL CALLBACK FindOne(HWND window, LPARAM l) {
  struct Find* f = (struct Find*)l;
  char name[16] = {0};
  if (GetClassNameA(window, name, sizeof name) > 0 && strcmp(name, "#32770") == 0 && IsWindowVisible(window) &&
      IsWindowEnabled(window) && (f->control == 0 || GetDlgItem(window, f->control) != NULL)) {
    f->found = window;
  }
  return f->found == NULL;
}

static HWND FindDialog(int control) {
  struct Find f = {control, NULL};
  EnumThreadWindows(g_uiThread, FindOne, (LPARAM)&f);
  return f.found;
}

/* The enabled dialog that has `control`, within ten seconds (a failed check). */
static HWND WaitDialog(int control, const char* what) {
  HWND found = NULL;
  for (DWORD waited = 0; found == NULL && waited < kWaitMs; waited += 20, Sleep(20)) found = FindDialog(control);
  if (CHECK(found != NULL, what)) Send(found, WM_NULL, 0, 0); /* its initialisation is done */
  return found;
}

/* Waits until `window` is gone (`gone`) or enabled; 0 after ten seconds. */
static int WaitFor(HWND window, int gone) {
  for (DWORD waited = 0; waited <= kWaitMs; waited += 20, Sleep(20)) {
    if (gone ? !IsWindow(window) : IsWindowEnabled(window)) return 1;
  }
  return 0;
}

/* 1 when `text` fits in `room` pixels of the control in its font and the font
 * has a glyph for every character; else prints why. */
static int Fits(const char* template_, HWND c, const char* text, LONG room) {
  WCHAR wide[256];
  WORD glyphs[256];
  RECT r = {0, 0, 0, 0};
  int missing = 0;
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 256) - 1;
  HDC dc = GetDC(c);
  HFONT font = (HFONT)Send(c, WM_GETFONT, 0, 0);
  HGDIOBJ old = SelectObject(dc, font != NULL ? (HGDIOBJ)font : GetStockObject(DEFAULT_GUI_FONT));
  DrawTextA(dc, text, -1, &r, DT_CALCRECT | DT_SINGLELINE);
  if (n > 0 && GetGlyphIndicesW(dc, wide, n, glyphs, GGI_MARK_NONEXISTING_GLYPHS) == (DWORD)n) {
    for (int i = 0; i < n; ++i) missing += glyphs[i] == 0xFFFF && wide[i] != '&';
  }
  SelectObject(dc, old);
  ReleaseDC(c, dc);
  if (r.right - r.left <= room && missing == 0) return 1;
  printf("%s: \"%s\" of control %d needs %ld pixels, has %ld; %d characters without a glyph\n",
         template_, text, GetDlgCtrlID(c), (long)(r.right - r.left), (long)room, missing);
  return 0;
}

/* Every visible control lies inside the dialog and on no other; every caption
 * and list entry fits its control; Tab (through the tab stops in the order of
 * the child windows) reaches the push buttons last. */
static void CheckLayout(HWND dialog, const char* template_) {
  enum { kMax = 64 };
  HWND controls[kMax];
  RECT places[kMax], client;
  int count = 0, faults[4] = {0, 0, 0, 0}, buttonSeen = 0;
  char text[256];
  GetClientRect(dialog, &client);
  for (HWND at = GetWindow(dialog, GW_CHILD); at != NULL && count < kMax; at = GetWindow(at, GW_HWNDNEXT)) {
    const LONG style = GetWindowLongA(at, GWL_STYLE), kind = style & BS_TYPEMASK;
    if (!(style & WS_VISIBLE)) continue;
    char cls[32] = "";
    GetClassNameA(at, cls, sizeof cls);
    RECT* r = &places[count];
    GetWindowRect(at, r);
    MapWindowPoints(NULL, dialog, (POINT*)r, 2);
    if (r->left < 0 || r->top < 0 || r->right > client.right || r->bottom > client.bottom) {
      printf("%s: control %d reaches outside the dialog\n", template_, GetDlgCtrlID(at));
      ++faults[0];
    }
    for (int k = 0; k < count; ++k) {
      RECT both;
      if (IntersectRect(&both, r, &places[k])) {
        printf("%s: controls %d and %d overlap\n", template_, GetDlgCtrlID(controls[k]), GetDlgCtrlID(at));
        ++faults[1];
      }
    }
    controls[count++] = at;
    const LONG width = r->right - r->left;
    const int button = strcmp(cls, "Button") == 0, check = kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX;
    WindowText(at, text, sizeof text);
    if (strcmp(cls, "Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT) {
      faults[2] += !Fits(template_, at, text, width);
    } else if (button) { /* a check box's box and gap, a button's edges */
      faults[2] += !Fits(template_, at, text, check ? width - GetSystemMetrics(SM_CXMENUCHECK) - 4 : width - 6);
    }
    const int entries = strcmp(cls, "ComboBox") == 0 ? (int)Send(at, CB_GETCOUNT, 0, 0) : 0;
    for (int e = 0; e < entries && e < 32; ++e) { /* the list's button and margins */
      if (Send(at, CB_GETLBTEXTLEN, (WPARAM)e, 0) >= (LRESULT)sizeof text) continue;
      Send(at, CB_GETLBTEXT, (WPARAM)e, (LPARAM)text);
      faults[2] += !Fits(template_, at, text, width - GetSystemMetrics(SM_CXVSCROLL) - 6);
    }
    if (!(style & WS_TABSTOP)) continue;
    const int push = button && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON);
    if (buttonSeen && !push) printf("%s: tab stop %d after the push buttons\n", template_, GetDlgCtrlID(at));
    faults[3] += buttonSeen && !push;
    buttonSeen = buttonSeen || push;
  }
  static const char* const rules[4] = {"every control lies inside the dialog", "no control lies on another",
                                       "every text fits its control and has its glyphs",
                                       "Tab reaches the push buttons last"};
  for (int i = 0; i < 4; ++i) CHECK_EQ(faults[i], 0, rules[i]);
}

/* Writes 24-bit BGR rows, top row first, as a PNG file. */
static int WritePng(const char* path, const BYTE* rows, UINT width, UINT height, UINT stride) {
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
  IWICStream* stream = NULL;
  IWICBitmapEncoder* encoder = NULL;
  IWICBitmapFrameEncode* frame = NULL;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  int ok = g_handWic != NULL && SUCCEEDED(IWICImagingFactory_CreateStream(g_handWic, &stream)) &&
           SUCCEEDED(IWICStream_InitializeFromFilename(stream, wide, GENERIC_WRITE)) &&
           SUCCEEDED(IWICImagingFactory_CreateEncoder(g_handWic, &GUID_ContainerFormatPng, NULL, &encoder)) &&
           SUCCEEDED(IWICBitmapEncoder_Initialize(encoder, (IStream*)stream, WICBitmapEncoderNoCache)) &&
           SUCCEEDED(IWICBitmapEncoder_CreateNewFrame(encoder, &frame, NULL)) &&
           SUCCEEDED(IWICBitmapFrameEncode_Initialize(frame, NULL)) &&
           SUCCEEDED(IWICBitmapFrameEncode_SetSize(frame, width, height)) &&
           SUCCEEDED(IWICBitmapFrameEncode_SetPixelFormat(frame, &format)) &&
           IsEqualGUID(&format, &GUID_WICPixelFormat24bppBGR) &&
           SUCCEEDED(IWICBitmapFrameEncode_WritePixels(frame, height, stride, stride * height, (BYTE*)rows)) &&
           SUCCEEDED(IWICBitmapFrameEncode_Commit(frame)) && SUCCEEDED(IWICBitmapEncoder_Commit(encoder));
  if (frame != NULL) IWICBitmapFrameEncode_Release(frame);
  if (encoder != NULL) IWICBitmapEncoder_Release(encoder);
  if (stream != NULL) IWICStream_Release(stream);
  return ok;
}

/* The dialog as it is on screen, frame and caption included, into
 * <screens>\<name>.png; it must show texts and lines on a light ground. */
static void Photograph(HWND dialog, const char* name) {
  RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  Send(dialog, WM_NULL, 0, 0);
  Sleep(300); /* the first thread paints between its messages */
  RECT r;
  GetWindowRect(dialog, &r);
  const UINT width = (UINT)(r.right - r.left), height = (UINT)(r.bottom - r.top), stride = (width * 3 + 3) & ~3u;
  BITMAPINFO info;
  memset(&info, 0, sizeof info);
  info.bmiHeader = (BITMAPINFOHEADER){sizeof info.bmiHeader, (LONG)width, -(LONG)height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  HDC screen = GetDC(NULL), memory = CreateCompatibleDC(screen);
  BYTE* bits = NULL;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, (void**)&bits, NULL, 0);
  int ok = bitmap != NULL && width > 0 && height > 0;
  if (ok) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, (int)width, (int)height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    SelectObject(memory, old);
  }
  unsigned long dark = 0;
  for (UINT y = 0; ok && y < height; ++y) {
    for (UINT x = 0; x < width; ++x) dark += bits[y * stride + x * 3 + 1] < 96;
  }
  char path[MAX_PATH], what[96];
  snprintf(path, sizeof path, "%s%s.png", g_screens, name);
  snprintf(what, sizeof what, "the picture of %s is written and shows texts", name);
  CHECK(ok && WritePng(path, bits, width, height, stride) && dark > 100 && dark < width * height / 2, what);
  if (bitmap != NULL) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
}

/* One step on the dialog on top. kOpen clicks a button that opens another
 * dialog (found by the control `arg` only it has), on top until it is closed;
 * kUnder: whether a control of the dialog below (0: the dialog) is enabled. */
enum Op { kEnd, kPick, kType, kKeys, kPress, kClick, kShows, kEnabled, kUnder, kEntries, kTitle, kOpen,
          kSetText, kClose, kEsc, kCloseBox };
struct Step {
  enum Op op;
  int control, arg; /* kPress: the key in arg, pressed as often as `text` is long */
  const char* text;
};
struct Script {
  int control; /* the control that only this template has */
  const struct Step* steps;
  const struct Step* tail; /* played after the steps, or NULL */
};
struct Run {
  const struct Script* script;
  const char* name; /* the template, for messages and the picture */
  int shoot;        /* measure and photograph it when it appears */
};

/* The text of message `id` in the language file the driver reads. */
static void Message(int id, char* out, size_t size) {
  char path[MAX_PATH], line[512], number[8];
  out[0] = '\0';
  snprintf(path + GetWindowsDirectoryA(path, MAX_PATH - 32), 32, "\\klxscan\\%s", g_languageFile);
  snprintf(number, sizeof number, "%03d,\"", id);
  FILE* f = fopen(path, "rb");
  while (f != NULL && fgets(line, sizeof line, f) != NULL) {
    char* end = strchr(line + 5, '"');
    if (strncmp(line, number, 5) == 0 && end != NULL) *end = '\0', snprintf(out, size, "%s", line + 5);
  }
  if (f != NULL) fclose(f);
}

/* Plays the steps; `stack` holds the open dialogs, the top one last. */
static void Play(const struct Run* run, const struct Step* s, HWND* stack, int* depth) {
  char what[160], text[128];
  for (; s->op != kEnd && *depth > 0; ++s) {
    HWND d = stack[*depth - 1], item = GetDlgItem(d, s->control);
    snprintf(what, sizeof what, "%s: control %d, step %d", run->name, s->control, (int)s->op);
    if (s->control > 0 && s->op != kUnder && !CHECK(item != NULL, what)) continue;
    switch (s->op) {
      case kPick: /* as the keyboard does: the selection, the change, the close-up */
        Send(item, CB_SETCURSEL, (WPARAM)s->arg, 0);
        Send(d, WM_COMMAND, MAKEWPARAM(s->control, CBN_SELCHANGE), (LPARAM)item);
        Send(d, WM_COMMAND, MAKEWPARAM(s->control, CBN_CLOSEUP), (LPARAM)item);
        break;
      case kType: /* the text key by key, then Tab: the edit reports the lost focus */
      case kKeys: /* the same, and the focus stays */
        Send(d, WM_NEXTDLGCTL, (WPARAM)item, TRUE);
        Send(item, EM_SETSEL, 0, -1);
        Send(item, WM_CHAR, VK_BACK, 0);
        for (const char* c = s->text; *c != '\0'; ++c) Send(item, WM_CHAR, (WPARAM)(BYTE)*c, 1);
        if (s->op == kType) Send(d, WM_NEXTDLGCTL, 0, FALSE);
        break;
      case kPress:
        for (size_t i = 0; i < strlen(s->text); ++i) {
          Send(item, WM_KEYDOWN, (WPARAM)s->arg, 1);
          Send(item, WM_KEYUP, (WPARAM)s->arg, 0xC0000001u);
        }
        break;
      case kClick: Send(item, BM_CLICK, 0, 0); break;
      case kShows:
        WindowText(item, text, sizeof text);
        CheckText(text, s->text, what);
        break;
      case kEnabled: /* waited for: the dialog may enable it after a modal loop */
        CHECK_EQ(s->arg ? WaitFor(item, 0) : IsWindowEnabled(item) != 0, s->arg, what);
        break;
      case kUnder: {
        HWND under = *depth > 1 ? stack[*depth - 2] : NULL;
        if (s->control != 0) under = GetDlgItem(under, s->control);
        CHECK_EQ(under != NULL && IsWindowEnabled(under), s->arg, what);
        break;
      }
      case kEntries: CHECK_EQ(Send(item, CB_GETCOUNT, 0, 0), s->arg, what); break;
      case kTitle:
        Message(s->arg, text, sizeof text);
        WindowText(d, what, sizeof what);
        CheckText(what, text, "the title comes from the language file");
        break;
      case kOpen: /* posted: its handling runs another modal loop */
        PostMessageA(item, BM_CLICK, 0, 0);
        if ((stack[*depth] = WaitDialog(s->arg, what)) != NULL) ++*depth;
        break;
      case kSetText: Send(item, WM_SETTEXT, 0, (LPARAM)s->text); break;
      case kClose: PostMessageA(GetDlgItem(d, s->arg), BM_CLICK, 0, 0); break;
      case kEsc: PostMessageA(item, WM_KEYDOWN, VK_ESCAPE, 1); break;
      case kCloseBox: PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); break;
      case kEnd: break;
    }
    if (s->op >= kClose) {
      CHECK(WaitFor(d, 1), what);
      if (--*depth > 0) CHECK(WaitFor(stack[*depth - 1], 0), "the dialog below takes input again");
    }
  }
}

static DWORD WINAPI HandThread(LPVOID p) {
  const struct Run* run = (const struct Run*)p;
  const HRESULT com = CoInitializeEx(NULL, COINIT_MULTITHREADED);
  g_handWic = NULL;
  CoCreateInstance(&CLSID_WICImagingFactory, NULL, CLSCTX_INPROC_SERVER, &IID_IWICImagingFactory,
                   (void**)&g_handWic);
  HWND stack[4];
  int depth = 0;
  if ((stack[0] = WaitDialog(run->script->control, run->name)) != NULL) {
    depth = 1;
    if (run->shoot) CheckLayout(stack[0], run->name), Photograph(stack[0], run->name);
    Play(run, run->script->steps, stack, &depth);
    if (run->script->tail != NULL) Play(run, run->script->tail, stack, &depth);
  }
  /* A dialog still open is a fault: closed, so that the export returns. */
  for (DWORD waited = 0; WaitForSingleObject(g_exportDone, 200) != WAIT_OBJECT_0; waited += 200) {
    HWND left = FindDialog(0);
    if (left != NULL && !CHECK(0, "the script leaves no dialog open")) PostMessageA(left, WM_COMMAND, IDCANCEL, 0);
    if (waited > 3 * kWaitMs) printf("FAIL: %s: the dialog export does not return\n", run->name), ExitProcess(1);
  }
  if (g_handWic != NULL) IWICImagingFactory_Release(g_handWic);
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}

/* Opens the dialog through `which` while the hand plays `script`. */
static void Drive(enum DialogExport which, const struct Script* script, const char* name, int shoot) {
  struct Run run = {script, name, shoot && g_screens[0] != '\0'};
  void* fn = g_drv.dialogs[which];
  ResetEvent(g_exportDone);
  HANDLE thread = CreateThread(NULL, 0, HandThread, &run, 0, NULL);
  if (!CHECK(thread != NULL, "the hand's thread starts")) return;
  HINSTANCE instance = (HINSTANCE)g_drv.module;
  Dialog2Fn two;
  Dialog3Fn three;
  memcpy(&two, &fn, sizeof fn);
  memcpy(&three, &fn, sizeof fn);
  if (which == kDrvSet || which == kStartScan) two(instance, g_owner); else three(instance, g_owner, NULL);
  SetEvent(g_exportDone);
  /* The hand may still send to this thread's windows while it ends. */
  for (DWORD waited = 0; waited < 4 * kWaitMs; waited += 50) {
    if (MsgWaitForMultipleObjects(1, &thread, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0) break;
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) TranslateMessage(&msg), DispatchMessageA(&msg);
  }
  CloseHandle(thread);
}

/* Cancel leaves the parameters of `stored` as they were; OK stores `stored`. */
static void CancelThenOk(enum DialogExport which, const char* name, const struct IdValue* stored, size_t n,
                         const struct Script* cancel, const struct Script* ok) {
  struct IdValue before[16];
  char where[48];
  Take(before, stored, n);
  Drive(which, cancel, name, 0);
  snprintf(where, sizeof where, "%s: Cancel leaves", name);
  CheckAll(before, n, where);
  Drive(which, ok, name, 1);
  snprintf(where, sizeof where, "%s: OK stores", name);
  CheckAll(stored, n, where);
}

enum { kStartScanId = 1100, kSettingId = 1049, kDetailsId = 1171, kImprinterId = 1090, kFunctionId = 1234,
       kGammaId = 1191, kFileNameId = 0x47C };

/* The job separator list: entry 1 is "Detect and Scan, Stop" (3). */
static void TestStartScan(void) {
  static const struct Step cancel[] = {
      {kPick, 1001, 2, 0}, {kType, 1100, 0, "batch.tif"}, {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
  static const struct Step ok[] = {{kPick, 1001, 1, 0}, {kClose, 0, IDOK, 0}, {kEnd, 0, 0, 0}};
  static const struct Script c = {kStartScanId, cancel, NULL}, o = {kStartScanId, ok, NULL};
  static const struct IdValue none = {PAR_JOB_SEPARATOR, 0}, stop = {PAR_JOB_SEPARATOR, 3};
  SetAll(&none, 1);
  CancelThenOk(kStartScan, "STARTSCAN", &stop, 1, &c, &o);
  SetAll(&none, 1);
}

/* "Detail" hands the chosen image type (halftone) to the Details dialog,
 * which opens on top with "Background Erase" disabled. OK: text line art at
 * 200 dpi, A4, brightness typed (300 is 255) and stepped, contrast stepped. */
static void TestSettings(const char* name) {
  static const struct Step cancel[] = {
      {kPick, 1001, 2, 0}, {kPick, 1002, 2, 0}, {kPick, 1010, 3, 0}, {kPick, 1193, 3, 0},
      {kClick, 1186, 0, 0}, {kType, 1049, 0, "17"}, {kPress, 1096, VK_LEFT, "xxxxx"},
      {kOpen, 1003, kDetailsId, 0}, {kUnder, 0, 0, 0}, {kEnabled, 1235, 0, 0},
      {kClose, 0, IDCANCEL, 0}, {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
  static const struct Step ok[] = {
      {kTitle, 0, 1, 0}, {kPick, 1001, 1, 0}, {kPick, 1002, 0, 0}, {kPick, 1010, 7, 0},
      {kPick, 1193, 1, 0}, {kClick, 1186, 0, 0}, {kEnabled, 1049, 1, 0}, {kType, 1049, 0, "300"},
      {kPress, 1225, VK_DOWN, "x"}, {kPress, 1096, VK_RIGHT, "xxx"}, {kClose, 0, IDOK, 0}, {kEnd, 0, 0, 0}};
  static const struct IdValue start[] = {
      {PAR_RESOLUTION, 300}, {PAR_IMAGE_TYPE, 1}, {PAR_BRIGHTNESS, 0}, {PAR_CONTRAST, 100}, {PAR_FRAME_AREA, 0}};
  static const struct IdValue stored[] = {
      {PAR_IMAGE_TYPE, 9},    {PAR_RESOLUTION, 200}, {PAR_SCAN_LENGTH, 2320}, {PAR_SCAN_WIDTH, 1656},
      {PAR_BRIGHTNESS, 254}, {PAR_CONTRAST, 103},   {PAR_FRAME_AREA, 1}};
  static const struct Script c = {kSettingId, cancel, NULL}, o = {kSettingId, ok, NULL};
  SetAll(start, COUNT(start));
  CancelThenOk(kDrvSet, name, stored, COUNT(stored), &c, &o);
}

/* The margin trackbar writes the record at once; Cancel rolls it back. Each
 * Cancel run leaves a number typed into a slider edit with the focus still in
 * it and ends with Esc or the close box: the edit loses its focus only while
 * the dialog ends, and the number must not come back. */
static void TestDetails(const char* name) {
  static const struct Step cancel[] = {
      {kPick, 1175, 2, 0}, {kPick, 1001, 1, 0}, {kClick, 1182, 0, 0}, {kClick, 1026, 0, 0},
      {kPress, 1171, VK_LEFT, "xxxx"}, {kType, 1052, 0, "3"}, {kPress, 1229, VK_UP, "x"}, {kEnd, 0, 0, 0}};
  static const struct Step ends[2][3] = {{{kKeys, 1172, 0, "-9"}, {kEsc, 1172, 0, 0}, {kEnd, 0, 0, 0}},
                                         {{kKeys, 1052, 0, "4"}, {kCloseBox, 0, 0, 0}, {kEnd, 0, 0, 0}}};
  /* The margin: -25 is -10, three steps right; AE: 20 is 17, two down. */
  static const struct Step ok[] = {
      {kEnabled, 1171, 0, 0}, {kPick, 1175, 1, 0}, {kPick, 1001, 2, 0}, {kClick, 1182, 0, 0},
      {kClick, 1026, 0, 0}, {kClick, 1235, 0, 0}, {kEnabled, 1171, 1, 0}, {kType, 1172, 0, "-25"},
      {kPress, 1171, VK_RIGHT, "xxx"}, {kType, 1052, 0, "20"}, {kPress, 1228, VK_DOWN, "xx"},
      {kPress, 1037, VK_LEFT, "x"}, {kClose, 0, IDOK, 0}, {kEnd, 0, 0, 0}};
  static const struct IdValue start[] = {
      {PAR_POLARITY, 0}, {PAR_BATCH_MODE, 1}, {PAR_ROTATE, 0}, {PAR_MARGIN_SCAN, 0}, {PAR_MARGIN_AMOUNT, 0},
      {PAR_AE, 9},       {PAR_EDGE_EMPHASIS, 3}, {PAR_BACKGROUND_ERASE, 0}};
  static const struct IdValue stored[] = {
      {PAR_POLARITY, 1}, {PAR_BATCH_MODE, 3}, {PAR_ROTATE, 1}, {PAR_MARGIN_SCAN, 1}, {PAR_MARGIN_AMOUNT, -7},
      {PAR_AE, 15},      {PAR_EDGE_EMPHASIS, 2}, {PAR_BACKGROUND_ERASE, 1}};
  static const struct Script o = {kDetailsId, ok, NULL};
  struct IdValue before[COUNT(start)];
  char where[48];
  SetAll(start, COUNT(start));
  Take(before, start, COUNT(start));
  for (int i = 0; i < 2; ++i) {
    const struct Script c = {kDetailsId, cancel, ends[i]};
    Drive(kDetails, &c, name, 0);
    /* Reading a parameter refreshes the record from the scanner: send the
     * record first, so that what Cancel left in it shows. */
    CHECK_EQ(g_drv.setMode(), 0, "TsdSetModeToScanner after Cancel");
    snprintf(where, sizeof where, "%s: Cancel leaves", name);
    CheckAll(before, COUNT(start), where);
  }
  Drive(kDetails, &o, name, 1);
  snprintf(where, sizeof where, "%s: OK stores", name);
  CheckAll(stored, COUNT(stored), where);
}

/* The text comes and goes through the parameter's buffer; x 750 mm is 500. */
static void TestAddon(void) {
  static const struct Step cancel[] = {{kShows, 1090, 0, "BEFORE"}, {kType, 1090, 0, "NOT KEPT"},
                                       {kType, 1110, 0, "77"}, {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
  static const struct Step ok[] = {
      {kType, 1090, 0, "SHEET 0001"}, {kType, 1110, 0, "750"}, {kPress, 1231, VK_DOWN, "xx"},
      {kPick, 1010, 1, 0}, {kClick, 1194, 0, 0}, {kClose, 0, IDOK, 0}, {kEnd, 0, 0, 0}};
  static const struct IdValue start[] = {{PAR_ADDON_TIMING, 0}, {PAR_ADDON_X, 10}, {PAR_ADDON_COUNTER_ON, 0}};
  static const struct IdValue stored[] = {{PAR_ADDON_TIMING, 1}, {PAR_ADDON_X, 498}, {PAR_ADDON_COUNTER_ON, 1}};
  static const struct Script c = {kImprinterId, cancel, NULL}, o = {kImprinterId, ok, NULL};
  char text[64] = "";
  SetAll(start, COUNT(start));
  CHECK_EQ(Buffer(g_drv.parSet, PAR_ADDON_TEXT, "BEFORE"), 0, "TsdParSet of the addon text");
  CancelThenOk(kImprinter, "IMPRINTER", stored, COUNT(stored), &c, &o);
  CHECK_EQ(Buffer(g_drv.parGet, PAR_ADDON_TEXT, text), 0, "TsdParGet of the addon text");
  text[63] = '\0';
  CheckText(text, "SHEET 0001", "IMPRINTER: OK stores the text");
}

/* "Set" (the OK button) gives F2 "Rotate 90 right" (0x002000) at once; the
 * dialog then ends with Cancel. */
static void TestFunctionKeys(void) {
  static const struct Step cancel[] = {
      {kPick, 1001, 2, 0}, {kPick, 1005, 5, 0}, {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
  static const struct Step set[] = {
      {kEntries, 1001, 10, 0}, {kEntries, 1005, 19, 0}, {kPick, 1001, 1, 0}, {kPick, 1005, 3, 0},
      {kClick, 1, 0, 0}, {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
  static const struct IdValue start = {PAR_FKEY_2, 0x20};
  static const struct Script c = {kFunctionId, cancel, NULL}, s = {kFunctionId, set, NULL};
  struct IdValue stored[10];
  SetAll(&start, 1);
  for (int i = 0; i < 10; ++i) stored[i] = (struct IdValue){PAR_FKEY_1 + i, Get(&g_drv, PAR_FKEY_1 + i)};
  stored[1].value = 0x002000;
  CancelThenOk(kFKey, "FUNCTION", stored, 10, &c, &s);
}

/* "Download" opens the open-file dialog; the buttons below wait disabled
 * meanwhile and are enabled again when it has gone. */
static char g_gammaFile[MAX_PATH];
static void TestGamma(void) {
  static const struct Step cancel[] = {
      {kOpen, IDOK, kFileNameId, 0}, {kUnder, IDOK, 0, 0}, {kUnder, IDCANCEL, 0, 0}, {kClose, 0, IDCANCEL, 0},
      {kEnabled, IDOK, 1, 0}, {kEnabled, IDCANCEL, 1, 0}, {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
  static const struct Step download[] = {
      {kOpen, IDOK, kFileNameId, 0}, {kSetText, kFileNameId, 0, g_gammaFile}, {kClose, 0, IDOK, 0},
      {kEnabled, IDCANCEL, 1, 0}, {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
  static const struct Script scripts[2] = {{kGammaId, cancel, NULL}, {kGammaId, download, NULL}};
  unsigned char tables[2][256], now[256];
  static char text[256 * 6 + 64];
  /* Two header lines, a comment, then 256 values of the inverted curve. */
  int at = snprintf(text, sizeof text, "GAMMA FILE\r\nINVERTED\r\n; from white to black\r\n");
  for (int i = 0; i < 256; ++i) {
    tables[0][i] = (unsigned char)i;
    tables[1][i] = (unsigned char)(255 - i);
    at += snprintf(text + at, sizeof text - (size_t)at, "%d\r\n", 255 - i);
  }
  snprintf(g_gammaFile, sizeof g_gammaFile, "%s", WorkPath("inverted.gmm"));
  CHECK(WriteText(g_gammaFile, text), "the gamma file is written");
  CHECK_EQ(Buffer(g_drv.parSet, PAR_GAMMA, tables[0]), 0, "TsdParSet of an identity gamma table");
  for (int i = 0; i < 2; ++i) {
    Drive(kGamma, &scripts[i], "GAMMA", i);
    memset(now, 0xEE, sizeof now);
    CHECK(Buffer(g_drv.parGet, PAR_GAMMA, now) == 0 && memcmp(now, tables[i], 256) == 0,
          i == 0 ? "GAMMA Cancel leaves the gamma table" : "GAMMA \"Download\" puts the file's curve into it");
  }
}

void TestDialogs(const char* screens, const char* language) {
  g_screens[0] = '\0';
  if (screens != NULL && screens[0] != '\0') {
    snprintf(g_screens, sizeof g_screens, "%s\\", screens);
    CreateDirectoryA(screens, NULL);
  }
  g_uiThread = GetCurrentThreadId();
  g_exportDone = CreateEventA(NULL, TRUE, FALSE, NULL);
  WNDCLASSA owner;
  memset(&owner, 0, sizeof owner);
  owner.lpfnWndProc = DefWindowProcA;
  owner.hInstance = GetModuleHandleA(NULL);
  owner.lpszClassName = "TsdHostWindow";
  owner.hbrBackground = (HBRUSH)(COLOR_APPWORKSPACE + 1);
  RegisterClassA(&owner);
  g_owner = CreateWindowA("TsdHostWindow", "tsdhost", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 200, NULL,
                          NULL, owner.hInstance, NULL);
  WritePrivateProfileStringA(kSection, "LANGUAGE", language, g_ini);
  if (!CHECK(g_exportDone != NULL && g_owner != NULL, "the host's window for the dialogs") ||
      !LoadDriver(&g_drv)) {
    return;
  }
  CHECK_EQ(g_drv.probe(), 0, "TsdProbe before the dialogs");
  const int japanese = strcmp(language, "Japanese") == 0;
  g_languageFile = japanese ? "rt650jp.txt" : "rt650us.txt";
  /* Details first: the Settings dialog's "Detail" leaves its image type
   * behind. DETAILS is the Japanese template. */
  TestDetails(japanese ? "DETAILS" : "DETAILS_US");
  if (!japanese) TestStartScan();
  TestSettings(japanese ? "SETTING-ja" : "SETTING");
  if (!japanese) {
    TestAddon();
    TestFunctionKeys();
    TestGamma();
  }
  /* "Rotate Image" of the Details dialog outlives the driver: the unload
   * writes it into the settings file. */
  CHECK(FreeLibrary(g_drv.module), "FreeLibrary of the driver after the dialogs");
  char value[32];
  GetPrivateProfileStringA(kSection, "ROTATE90", "", value, sizeof value, g_ini);
  CheckText(value, "TRUE", "the Details dialog's rotation reaches ROTATE90 at the unload");
  DestroyWindow(g_owner);
  CloseHandle(g_exportDone);
}
