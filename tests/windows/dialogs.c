/*
 * The driver's dialogs on screen, as a user meets them.
 *
 * The host opens each dialog through its export, on this (the first)
 * thread, which then sits in the dialog's modal loop. A second thread, the
 * hand, finds the dialog among the first thread's windows and plays a script
 * on it with window messages: it picks list entries, types into edits,
 * presses arrow keys on trackbars and up-downs, clicks check boxes and
 * buttons, and ends with OK, Cancel, Esc or the close box. The first thread
 * then reads back through the parameter exports what the dialog stored.
 *
 * Every wait is bounded: a dialog that does not appear within ten seconds
 * is a failed check, and whatever is still open when the hand is done is
 * reported and closed. The hand also measures each template on screen
 * (controls inside the dialog, none on top of another, every caption and
 * list entry wide enough for its control, Tab reaching the push buttons
 * last) and saves a PNG picture of it.
 */
#define COBJMACROS
#include <windows.h>
#include <commctrl.h>
#include <wincodec.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host.h"
#include "tarvoscn.h"

/* ---- the driver's exports ------------------------------------------------------ */

typedef uint32_t(TSD_CALL* Dialog2Fn)(HINSTANCE, HWND);
typedef uint32_t(TSD_CALL* Dialog3Fn)(HINSTANCE, HWND, void*);
typedef int32_t(TSD_CALL* ParFn)(int32_t, void*);
typedef uint32_t(TSD_CALL* Fn0)(void);

static struct {
  HMODULE module;
  ParFn parSet, parGet;
  Fn0 probe, getMode, setMode;
} g_drv;

enum DialogExport { kDrvSet, kDetails, kGamma, kImprinter, kFKey, kStartScan };
/* Name, argument count and what it returns after OK or Cancel. */
enum Returns { kZero, kInstance, kOwner };
static const struct {
  const char* name;
  int arguments;
  enum Returns returns;
} kDialogExports[] = {
    {"TsdDrvSetDialog", 2, kZero},         {"_TsdDetailsSetDialog@12", 3, kInstance},
    {"_GammaSetDialog@12", 3, kInstance},  {"_ImprinterSetDialog@12", 3, kOwner},
    {"_FKeySetDialog@12", 3, kOwner},      {"TsdStartScanDialog", 2, kZero},
};

static void* ExportOf(const char* name) {
  FARPROC proc = GetProcAddress(g_drv.module, name);
  void* address;
  memcpy(&address, &proc, sizeof address);
  return address;
}

static int LoadDriverFor(const char* language) {
  char path[MAX_PATH];
  WritePrivateProfileStringA(kSection, "LANGUAGE", language, g_ini);
  snprintf(path, sizeof path, "%starvoscn.dll", g_hostFolder);
  memset(&g_drv, 0, sizeof g_drv);
  g_drv.module = LoadLibraryA(path);
  if (!CHECK(g_drv.module != NULL, "the driver loads for the dialogs")) return 0;
  const struct { const char* name; void* slot; } binds[] = {
      {"TsdParSet", &g_drv.parSet}, {"TsdParGet", &g_drv.parGet}, {"TsdProbe", &g_drv.probe},
      {"TsdGetModeFromScanner", &g_drv.getMode}, {"TsdSetModeToScanner", &g_drv.setMode}};
  int found = 1;
  for (size_t i = 0; i < sizeof binds / sizeof binds[0]; ++i) {
    void* a = ExportOf(binds[i].name);
    memcpy(binds[i].slot, &a, sizeof a);
    found = found && a != NULL;
  }
  return CHECK(found, "the parameter exports are found");
}

/* A parameter read or set around the dialogs; only a failure counts. */
static int32_t Par(int32_t id) {
  int32_t value = -12345;
  if (g_drv.parGet(id, &value) != 0) CHECK_EQ(id, 0, "TsdParGet of this parameter fails");
  return value;
}

struct IdValue {
  int32_t id, value;
};
#define COUNT(table) (sizeof(table) / sizeof((table)[0]))

static void SetAll(const struct IdValue* t, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    int32_t value = t[i].value;
    if (g_drv.parSet(t[i].id, &value) != 0) CHECK_EQ(t[i].id, 0, "TsdParSet of this parameter fails");
  }
}

static void CheckAll(const struct IdValue* t, size_t n, const char* where) {
  for (size_t i = 0; i < n; ++i) {
    char what[96];
    snprintf(what, sizeof what, "%s parameter %d", where, (int)t[i].id);
    CHECK_EQ(Par(t[i].id), t[i].value, what);
  }
}

/* A text or table parameter: its cell holds the address of the buffer. */
static int32_t Buffer(ParFn fn, int32_t id, void* buffer) {
  uintptr_t cell = (uintptr_t)buffer;
  return fn(id, &cell);
}

/* The values of `ids` before a Cancel run, and the check that it left them. */
struct Snapshot {
  const int32_t* ids;
  int count;
  int32_t values[20];
};

static void Take(struct Snapshot* s, const int32_t* ids, int count) {
  s->ids = ids;
  s->count = count < 20 ? count : 20;
  for (int i = 0; i < s->count; ++i) s->values[i] = Par(ids[i]);
}

static void CheckUnchanged(const struct Snapshot* before, const char* dialog) {
  for (int i = 0; i < before->count; ++i) {
    char what[96];
    snprintf(what, sizeof what, "%s: Cancel leaves parameter %d", dialog, (int)before->ids[i]);
    CHECK_EQ(Par(before->ids[i]), before->values[i], what);
  }
}

/* ---- the hand: finding and working the dialog windows ------------------------- */

static DWORD g_uiThread;      /* the thread that runs the modal loops */
static HANDLE g_exportDone;   /* set when the dialog export has returned */
static HWND g_owner;          /* the host's own window, owner of the dialogs */
static char g_screens[MAX_PATH]; /* where the pictures go, with its backslash */
static IWICImagingFactory* g_handWic;
static const char* g_languageFile; /* the language file the driver reads */
static const char* g_pictureSuffix; /* "" in English, "-ja" in Japanese */

enum { kWaitMs = 10000, kSendMs = 5000 };

/* A message to a window of the first thread, answered within five seconds
 * or given up. */
static LRESULT Send(HWND window, UINT message, WPARAM w, LPARAM l) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, w, l, SMTO_NORMAL, kSendMs, &result)) return 0;
  return (LRESULT)result;
}

struct Find {
  int control; /* a control ID that only the wanted dialog has; 0: any dialog */
  HWND found;
};

static BOOL CALLBACK FindOne(HWND window, LPARAM l) {
  struct Find* f = (struct Find*)l;
  char name[16] = {0};
  if (GetClassNameA(window, name, sizeof name) > 0 && strcmp(name, "#32770") == 0 &&
      IsWindowVisible(window) && IsWindowEnabled(window) &&
      (f->control == 0 || GetDlgItem(window, f->control) != NULL)) {
    f->found = window;
    return FALSE;
  }
  return TRUE;
}

static HWND FindDialog(int control) {
  struct Find f = {control, NULL};
  EnumThreadWindows(g_uiThread, FindOne, (LPARAM)&f);
  return f.found;
}

static void WindowText(HWND window, char* out, int size) {
  out[0] = '\0';
  if (window != NULL) Send(window, WM_GETTEXT, (WPARAM)size, (LPARAM)out);
  out[size - 1] = '\0';
}

/* Waits for the enabled dialog that has `control`; a failed check after ten
 * seconds or as soon as the export has returned without it. */
static HWND WaitDialog(int control, const char* what) {
  for (DWORD waited = 0; waited < kWaitMs; waited += 20) {
    HWND found = FindDialog(control);
    if (found != NULL) {
      Send(found, WM_NULL, 0, 0); /* its initialisation is done and it takes messages */
      return found;
    }
    if (WaitForSingleObject(g_exportDone, 20) == WAIT_OBJECT_0) break;
  }
  char title[128] = "";
  WindowText(FindDialog(0), title, sizeof title);
  printf("FAIL: %s does not appear; open instead: \"%s\"\n", what, title);
  CHECK(0, "a dialog appears");
  return NULL;
}

/* Waits until `window` is gone (its dialog ended). */
static int WaitGone(HWND window, const char* what) {
  for (DWORD waited = 0; waited < kWaitMs && IsWindow(window); waited += 20) Sleep(20);
  return CHECK(!IsWindow(window), what);
}

/* ---- measuring a template on screen ---------------------------------------------- */

/* The width of `text` in the control's font, without the & of mnemonics. */
static LONG TextWidth(HWND control, const char* text) {
  HDC dc = GetDC(control);
  HFONT font = (HFONT)Send(control, WM_GETFONT, 0, 0);
  HGDIOBJ old = SelectObject(dc, font != NULL ? (HGDIOBJ)font : GetStockObject(DEFAULT_GUI_FONT));
  RECT r = {0, 0, 0, 0};
  DrawTextA(dc, text, -1, &r, DT_CALCRECT | DT_SINGLELINE);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return r.right - r.left;
}

/* How many characters of `text` the control's font has no glyph for: a font
 * without them draws empty boxes. */
static int Missing(HWND control, const char* text) {
  WCHAR wide[256];
  WORD glyphs[256];
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 256) - 1;
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, (HGDIOBJ)Send(control, WM_GETFONT, 0, 0));
  int missing = 0;
  if (n > 0 && GetGlyphIndicesW(dc, wide, n, glyphs, GGI_MARK_NONEXISTING_GLYPHS) == (DWORD)n) {
    for (int i = 0; i < n; ++i) missing += glyphs[i] == 0xFFFF && wide[i] != '&';
  }
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return missing;
}

/* 1 when `text` fits in `room` pixels of the control and its font has every
 * character of it; else prints why. */
static int Fits(const char* template_, HWND c, const char* text, LONG room) {
  const LONG width = TextWidth(c, text);
  const int missing = Missing(c, text);
  if (width <= room && missing == 0) return 1;
  printf("%s: \"%s\" of control %d needs %ld pixels, has %ld; %d characters without a glyph\n",
         template_, text, GetDlgCtrlID(c), (long)width, (long)room, missing);
  return 0;
}

/* How many texts of the control do not fit it. */
static int Clipped(const char* template_, HWND c, const char* cls, LONG width) {
  const LONG style = GetWindowLongA(c, GWL_STYLE), kind = style & BS_TYPEMASK;
  char text[256];
  WindowText(c, text, sizeof text);
  if (strcmp(cls, "Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT) {
    return !Fits(template_, c, text, width);
  }
  if (strcmp(cls, "Button") == 0) { /* a check box's box and gap, a button's edges */
    const LONG room = kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX
                          ? width - GetSystemMetrics(SM_CXMENUCHECK) - 4 : width - 6;
    return !Fits(template_, c, text, room);
  }
  int clipped = 0;
  const int n = strcmp(cls, "ComboBox") == 0 ? (int)Send(c, CB_GETCOUNT, 0, 0) : 0;
  for (int e = 0; e < n && e < 32; ++e) { /* the list's button and margins */
    if (Send(c, CB_GETLBTEXTLEN, (WPARAM)e, 0) >= (LRESULT)sizeof text) continue;
    Send(c, CB_GETLBTEXT, (WPARAM)e, (LPARAM)text);
    clipped += !Fits(template_, c, text, width - GetSystemMetrics(SM_CXVSCROLL) - 6);
  }
  return clipped;
}

/* Every visible control lies inside the dialog and on no other one; every
 * caption and list entry is as wide as it needs to be; Tab, which goes
 * through the tab stops in the order of the child windows, visits the
 * settings before the push buttons. */
static void CheckLayout(HWND dialog, const char* template_) {
  enum { kMax = 64 };
  HWND controls[kMax];
  RECT places[kMax], client;
  int count = 0, outside = 0, overlaps = 0, clipped = 0, buttonSeen = 0, afterButtons = 0;
  char order[256] = "";
  GetClientRect(dialog, &client);
  for (HWND at = GetWindow(dialog, GW_CHILD); at != NULL && count < kMax;
       at = GetWindow(at, GW_HWNDNEXT)) {
    const LONG style = GetWindowLongA(at, GWL_STYLE);
    if (!(style & WS_VISIBLE)) continue;
    char cls[32] = "", id[8];
    GetClassNameA(at, cls, sizeof cls);
    RECT* r = &places[count];
    GetWindowRect(at, r);
    MapWindowPoints(NULL, dialog, (POINT*)r, 2);
    if (r->left < 0 || r->top < 0 || r->right > client.right || r->bottom > client.bottom) {
      printf("%s: control %d reaches outside the dialog\n", template_, GetDlgCtrlID(at));
      ++outside;
    }
    for (int k = 0; k < count; ++k) {
      RECT both;
      if (IntersectRect(&both, r, &places[k])) {
        printf("%s: controls %d and %d overlap\n", template_, GetDlgCtrlID(controls[k]),
               GetDlgCtrlID(at));
        ++overlaps;
      }
    }
    controls[count++] = at;
    clipped += Clipped(template_, at, cls, r->right - r->left);
    if (!(style & WS_TABSTOP)) continue;
    const LONG kind = style & BS_TYPEMASK;
    const int push = strcmp(cls, "Button") == 0 && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON);
    afterButtons += buttonSeen && !push;
    buttonSeen = buttonSeen || push;
    snprintf(id, sizeof id, " %d", GetDlgCtrlID(at));
    if (strlen(order) + strlen(id) < sizeof order) strcat(order, id);
  }
  const struct { int count; const char* what; } results[] = {
      {outside, "every control lies inside the dialog"}, {overlaps, "no control lies on another"},
      {clipped, "every text fits its control and has its glyphs"}, {afterButtons, "Tab reaches the push buttons last"}};
  for (size_t i = 0; i < COUNT(results); ++i) {
    char what[96];
    snprintf(what, sizeof what, "%s: %s", template_, results[i].what);
    CHECK_EQ(results[i].count, 0, what);
  }
  if (afterButtons != 0) printf("%s tab order:%s\n", template_, order);
}

/* ---- pictures ------------------------------------------------------------------- */

/* Writes 24-bit BGR rows (top row first) as a PNG file with the imaging
 * component. */
static int WritePng(const char* path, const BYTE* rows, UINT width, UINT height, UINT stride) {
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
  IWICStream* stream = NULL;
  IWICBitmapEncoder* encoder = NULL;
  IWICBitmapFrameEncode* frame = NULL;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  int ok = g_handWic != NULL && SUCCEEDED(IWICImagingFactory_CreateStream(g_handWic, &stream)) &&
           SUCCEEDED(IWICStream_InitializeFromFilename(stream, wide, GENERIC_WRITE)) &&
           SUCCEEDED(IWICImagingFactory_CreateEncoder(g_handWic, &GUID_ContainerFormatPng, NULL,
                                                      &encoder)) &&
           SUCCEEDED(IWICBitmapEncoder_Initialize(encoder, (IStream*)stream,
                                                  WICBitmapEncoderNoCache)) &&
           SUCCEEDED(IWICBitmapEncoder_CreateNewFrame(encoder, &frame, NULL)) &&
           SUCCEEDED(IWICBitmapFrameEncode_Initialize(frame, NULL)) &&
           SUCCEEDED(IWICBitmapFrameEncode_SetSize(frame, width, height)) &&
           SUCCEEDED(IWICBitmapFrameEncode_SetPixelFormat(frame, &format)) &&
           IsEqualGUID(&format, &GUID_WICPixelFormat24bppBGR) &&
           SUCCEEDED(IWICBitmapFrameEncode_WritePixels(frame, height, stride, stride * height,
                                                       (BYTE*)rows)) &&
           SUCCEEDED(IWICBitmapFrameEncode_Commit(frame)) &&
           SUCCEEDED(IWICBitmapEncoder_Commit(encoder));
  if (frame != NULL) IWICBitmapFrameEncode_Release(frame);
  if (encoder != NULL) IWICBitmapEncoder_Release(encoder);
  if (stream != NULL) IWICStream_Release(stream);
  return ok;
}

/* What the last picture was, for the first thread to decode again. */
struct Picture {
  char path[MAX_PATH];
  UINT width, height;
};

/* The dialog as it is on screen, frame and caption included, into
 * <screens>\<name><suffix>.png. */
static void Photograph(HWND dialog, const char* name, struct Picture* picture) {
  picture->path[0] = '\0';
  if (g_screens[0] == '\0') return;
  RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  Send(dialog, WM_NULL, 0, 0);
  Sleep(300); /* the first thread paints between its messages */
  RECT r;
  GetWindowRect(dialog, &r);
  const UINT width = (UINT)(r.right - r.left), height = (UINT)(r.bottom - r.top);
  BITMAPINFO info;
  memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = (LONG)width;
  info.bmiHeader.biHeight = -(LONG)height; /* top row first */
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = NULL;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  int ok = bitmap != NULL && width > 0 && height > 0;
  if (ok) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, (int)width, (int)height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    SelectObject(memory, old);
  }
  snprintf(picture->path, sizeof picture->path, "%s%s%s.png", g_screens, name, g_pictureSuffix);
  ok = ok && WritePng(picture->path, (const BYTE*)bits, width, height, (width * 3 + 3) & ~3u);
  if (bitmap != NULL) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
  picture->width = width;
  picture->height = height;
  char what[96];
  snprintf(what, sizeof what, "the picture of %s is written", name);
  if (!CHECK(ok, what)) picture->path[0] = '\0';
}

/* The picture decodes at the dialog's size and shows texts and lines. */
static void CheckPicture(const struct Picture* picture, const char* name) {
  struct Decoded x;
  char what[96];
  if (picture->path[0] == '\0') return;
  snprintf(what, sizeof what, "the picture of %s decodes at its size and shows texts", name);
  unsigned long dark = 0;
  const int decoded = Decode(picture->path, 0, &x);
  for (size_t k = 0; decoded && k < (size_t)x.width * x.height; ++k) dark += x.gray[k] < 96;
  CHECK(decoded && x.width == picture->width && x.height == picture->height && dark > 100 &&
            dark < (unsigned long)x.width * x.height / 2, what);
  free(x.gray);
}

/* ---- scripts: what the hand does to a dialog ----------------------------------- */

/* One step on the dialog on top. `Open` clicks a button whose handling opens
 * another dialog (found by the control `arg` only it has), which is then on
 * top until it is closed; `Under` checks whether a control of the dialog
 * below is enabled (`control` 0: the dialog itself). */
enum Op {
  kEnd, kPick, kType, kKeys, kPress, kClick, kShows, kEnabled, kUnder, kChecked, kEntries,
  kPicked, kTitle, kLook, kOpen, kSetText, kClose, kEsc, kCloseBox
};
struct Step {
  enum Op op;
  int control, arg; /* kPress: the key in arg, times in `text`'s length */
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
  int shoot;        /* take the picture in this run */
  struct Picture picture;
};

/* The text of message `id` in the language file the driver reads. */
static void Message(int id, char* out, size_t size) {
  char path[MAX_PATH], line[512], number[8];
  out[0] = '\0';
  GetWindowsDirectoryA(path, MAX_PATH - 32);
  snprintf(path + strlen(path), 32, "\\klxscan\\%s", g_languageFile);
  FILE* f = fopen(path, "rb");
  if (f == NULL) return;
  snprintf(number, sizeof number, "%03d,\"", id);
  while (fgets(line, sizeof line, f) != NULL) {
    char* end = strchr(line + 5, '"');
    if (strncmp(line, number, 5) != 0 || end == NULL) continue;
    *end = '\0';
    snprintf(out, size, "%s", line + 5);
  }
  fclose(f);
}

/* Waits until `window` is enabled; 0 after ten seconds. */
static int WaitEnabled(HWND window) {
  for (DWORD waited = 0; waited < kWaitMs; waited += 20) {
    if (IsWindowEnabled(window)) return 1;
    Sleep(20);
  }
  return 0;
}

/* Plays the steps; `stack` holds the open dialogs, the top one last. */
static void Play(struct Run* run, const struct Step* s, HWND* stack, int* depth) {
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
        snprintf(what, sizeof what, "%s: control %d shows \"%s\"", run->name, s->control, s->text);
        CheckText(text, s->text, what);
        break;
      case kEnabled: /* enabling is waited for: the dialog may do it after a modal loop */
        CHECK_EQ(s->arg ? WaitEnabled(item) : IsWindowEnabled(item) != 0, s->arg, what);
        break;
      case kUnder: {
        HWND under = *depth > 1 ? stack[*depth - 2] : NULL;
        if (s->control != 0) under = GetDlgItem(under, s->control);
        CHECK_EQ(under != NULL && IsWindowEnabled(under), s->arg, what);
        break;
      }
      case kChecked: CHECK_EQ(Send(item, BM_GETCHECK, 0, 0) == BST_CHECKED, s->arg, what); break;
      case kEntries: CHECK_EQ(Send(item, CB_GETCOUNT, 0, 0), s->arg, what); break;
      case kPicked: CHECK_EQ(Send(item, CB_GETCURSEL, 0, 0), s->arg, what); break;
      case kTitle:
        Message(s->arg, text, sizeof text);
        WindowText(d, what, sizeof what);
        CheckText(what, text, "the title comes from the language file");
        break;
      case kLook:
        if (run->shoot) {
          CheckLayout(d, run->name);
          Photograph(d, run->name, &run->picture);
        }
        break;
      case kOpen: /* posted: its handling runs another modal loop */
        PostMessageA(item, BM_CLICK, 0, 0);
        if ((stack[*depth] = WaitDialog(s->arg, what)) != NULL) ++*depth;
        break;
      case kSetText: Send(item, WM_SETTEXT, 0, (LPARAM)s->text); break;
      case kClose:
      case kEsc:
      case kCloseBox:
        if (s->op == kClose) PostMessageA(GetDlgItem(d, s->arg), BM_CLICK, 0, 0);
        if (s->op == kEsc) PostMessageA(item, WM_KEYDOWN, VK_ESCAPE, 1);
        if (s->op == kCloseBox) PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
        WaitGone(d, what);
        if (--*depth > 0) CHECK(WaitEnabled(stack[*depth - 1]), "the dialog below takes input again");
        break;
      case kEnd: break;
    }
  }
}

static DWORD WINAPI HandThread(LPVOID p) {
  struct Run* run = (struct Run*)p;
  const HRESULT com = CoInitializeEx(NULL, COINIT_MULTITHREADED);
  g_handWic = NULL;
  CoCreateInstance(&CLSID_WICImagingFactory, NULL, CLSCTX_INPROC_SERVER, &IID_IWICImagingFactory,
                   (void**)&g_handWic);
  HWND stack[4];
  int depth = 0;
  if ((stack[0] = WaitDialog(run->script->control, run->name)) != NULL) {
    depth = 1;
    Play(run, run->script->steps, stack, &depth);
    if (run->script->tail != NULL) Play(run, run->script->tail, stack, &depth);
  }
  /* Anything still open is a fault of the dialog or of the script: report
   * it and close it, so that the export returns. */
  for (DWORD waited = 0; WaitForSingleObject(g_exportDone, 0) != WAIT_OBJECT_0; waited += 200) {
    HWND left = FindDialog(0);
    if (left != NULL) {
      char title[128];
      WindowText(left, title, sizeof title);
      printf("FAIL: %s: \"%s\" is still open; closing it\n", run->name, title);
      CHECK(0, "the hand leaves no window open");
      PostMessageA(left, WM_COMMAND, IDCANCEL, 0);
    }
    if (waited > 3 * kWaitMs) {
      printf("FAIL: %s: the dialog export does not return; giving up\n", run->name);
      ExitProcess(1);
    }
    WaitForSingleObject(g_exportDone, 200);
  }
  if (g_handWic != NULL) IWICImagingFactory_Release(g_handWic);
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}

/* Opens the dialog through `which` while the hand plays `script`; checks
 * the export's result. */
static void Drive(enum DialogExport which, const struct Script* script, const char* name, int shoot) {
  struct Run run;
  memset(&run, 0, sizeof run);
  run.script = script;
  run.name = name;
  run.shoot = shoot && g_screens[0] != '\0';
  void* fn = ExportOf(kDialogExports[which].name);
  if (!CHECK(fn != NULL, "the dialog export is found")) return;
  ResetEvent(g_exportDone);
  HANDLE thread = CreateThread(NULL, 0, HandThread, &run, 0, NULL);
  if (!CHECK(thread != NULL, "the hand's thread starts")) return;
  HINSTANCE instance = (HINSTANCE)g_drv.module;
  uint32_t result;
  if (kDialogExports[which].arguments == 2) {
    Dialog2Fn call;
    memcpy(&call, &fn, sizeof fn);
    result = call(instance, g_owner);
  } else {
    Dialog3Fn call;
    memcpy(&call, &fn, sizeof fn);
    result = call(instance, g_owner, NULL);
  }
  SetEvent(g_exportDone);
  /* The hand may still send to this thread's windows: keep taking messages
   * while it ends. */
  for (DWORD waited = 0; waited < 4 * kWaitMs; waited += 50) {
    if (MsgWaitForMultipleObjects(1, &thread, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0) break;
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  CloseHandle(thread);
  const enum Returns returns = kDialogExports[which].returns;
  const uint32_t expected = returns == kZero ? 0
                            : returns == kInstance ? (uint32_t)(uintptr_t)instance
                                                   : (uint32_t)(uintptr_t)g_owner;
  char what[96];
  snprintf(what, sizeof what, "%s returns what it should", kDialogExports[which].name);
  CHECK_EQ(result, expected, what);
  if (run.shoot) CheckPicture(&run.picture, name);
}

/* Cancel leaves `ids` as they were; OK stores `stored`. */
static void CancelThenOk(enum DialogExport which, const char* name, const int32_t* ids, int n,
                         const struct Script* cancel, const struct Script* ok) {
  struct Snapshot before;
  Take(&before, ids, n);
  Drive(which, cancel, name, 0);
  CheckUnchanged(&before, name);
  Drive(which, ok, name, 1);
}

/* ---- Start-scan ------------------------------------------------------------------- */

enum { kStartScanId = 1100 }; /* the file-name edit: only STARTSCAN has it */
static const struct Step kStartScanCancel[] = {
    {kPick, 1001, 2, 0}, {kType, 1100, 0, "batch.tif"}, {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
#define START_SCAN_OK(entry)                                                               \
  {{kLook, 0, 0, 0}, {kEntries, 1001, 3, 0}, {kPicked, 1001, 0, 0}, {kShows, 1001, 0, "None"}, \
   {kType, 1100, 0, "batch.tif"}, {kPick, 1001, entry, 0}, {kClose, 0, IDOK, 0}, {kEnd, 0, 0, 0}}
static const struct Step kStartScanOk1[] = START_SCAN_OK(1), kStartScanOk2[] = START_SCAN_OK(2);

static void TestStartScan(void) {
  static const int32_t ids[] = {PAR_JOB_SEPARATOR};
  static const struct Script cancel = {kStartScanId, kStartScanCancel, NULL},
                             ok1 = {kStartScanId, kStartScanOk1, NULL},
                             ok2 = {kStartScanId, kStartScanOk2, NULL};
  const struct IdValue none = {PAR_JOB_SEPARATOR, 0}, stop = {PAR_JOB_SEPARATOR, 3},
                       skip = {PAR_JOB_SEPARATOR, 5};
  SetAll(&none, 1);
  CancelThenOk(kStartScan, "STARTSCAN", ids, 1, &cancel, &ok1);
  CheckAll(&stop, 1, "STARTSCAN OK stores \"Detect and Scan, Stop\":");
  Drive(kStartScan, &ok2, "STARTSCAN", 0); /* opens at "None" again */
  CheckAll(&skip, 1, "STARTSCAN OK stores \"Detect and Skip, Continue\":");
  SetAll(&none, 1);
}

/* ---- Settings --------------------------------------------------------------------- */

enum { kSettingId = 1049, kDetailsId = 1171 }; /* the brightness edit, the margin trackbar */

/* "Detail" hands the chosen image type (halftone) to the Details dialog,
 * which opens on top with "Background Erase" disabled. */
static const struct Step kSettingsCancel[] = {
    {kPick, 1001, 2, 0}, {kPick, 1002, 2, 0}, {kPick, 1010, 3, 0}, {kPick, 1193, 3, 0},
    {kClick, 1186, 0, 0}, {kType, 1049, 0, "17"}, {kPress, 1096, VK_LEFT, "xxxxx"},
    {kOpen, 1003, kDetailsId, 0}, {kUnder, 0, 0, 0}, {kEnabled, 1235, 0, 0},
    {kClose, 0, IDCANCEL, 0}, {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
static const struct Step kSettingsOk[] = {
    {kTitle, 0, 1, 0}, {kLook, 0, 0, 0}, {kEntries, 1001, 6, 0}, {kChecked, 1186, 1, 0},
    {kShows, 1049, 0, "128"}, {kEnabled, 1049, 0, 0}, {kEnabled, 1096, 0, 0},
    {kPick, 1001, 1, 0}, {kPick, 1002, 0, 0}, {kPick, 1010, 7, 0}, {kPick, 1193, 1, 0},
    {kClick, 1186, 0, 0}, {kEnabled, 1049, 1, 0}, {kType, 1049, 0, "300"},
    {kShows, 1049, 0, "255"}, {kPress, 1225, VK_DOWN, "x"}, {kShows, 1049, 0, "254"},
    {kPress, 1096, VK_RIGHT, "xxx"}, {kShows, 1097, 0, "103"}, {kClose, 0, IDOK, 0},
    {kEnd, 0, 0, 0}};

static void TestSettings(void) {
  static const int32_t ids[] = {PAR_IMAGE_TYPE, PAR_BITS_PER_PIXEL, PAR_TEXT_MODE, PAR_RESOLUTION,
                                PAR_Y_RESOLUTION, PAR_SCAN_LENGTH, PAR_SCAN_WIDTH, PAR_BRIGHTNESS,
                                PAR_CONTRAST, PAR_FRAME_AREA, PAR_TOP_OFFSET, PAR_SIDE_OFFSET};
  static const struct IdValue start[] = {
      {PAR_RESOLUTION, 300}, {PAR_IMAGE_TYPE, 1}, {PAR_BRIGHTNESS, 0}, {PAR_CONTRAST, 100},
      {PAR_FRAME_AREA, 0}};
  /* Text line art at 200 dpi, A4 (2320 long, 1656 wide), brightness and
   * contrast as typed and stepped; frame area 1 puts it 59 pixels down, the
   * side offset centres it in the 2325 pixels of the feeder. */
  static const struct IdValue stored[] = {
      {PAR_IMAGE_TYPE, 9},    {PAR_BITS_PER_PIXEL, 1}, {PAR_TEXT_MODE, 1},
      {PAR_RESOLUTION, 200},  {PAR_Y_RESOLUTION, 200}, {PAR_SCAN_LENGTH, 2320},
      {PAR_SCAN_WIDTH, 1656}, {PAR_BRIGHTNESS, 254},   {PAR_CONTRAST, 103},
      {PAR_FRAME_AREA, 1},    {PAR_TOP_OFFSET, 59},    {PAR_SIDE_OFFSET, 334}};
  static const struct Script cancel = {kSettingId, kSettingsCancel, NULL},
                             ok = {kSettingId, kSettingsOk, NULL};
  SetAll(start, COUNT(start));
  CancelThenOk(kDrvSet, "SETTING", ids, (int)COUNT(ids), &cancel, &ok);
  CheckAll(stored, COUNT(stored), "SETTING OK stores");
  /* The push reached the scanner: read back from it, the window says the same. */
  CHECK_EQ(g_drv.getMode(), 0, "TsdGetModeFromScanner after SETTING");
  CheckAll(stored + 3, 6, "after SETTING the scanner holds");
}

/* ---- Details ---------------------------------------------------------------------- */

/* The margin trackbar writes the record at once; Cancel rolls it back. */
static const struct Step kDetailsCancel[] = {
    {kPick, 1175, 2, 0}, {kPick, 1001, 1, 0}, {kClick, 1182, 0, 0}, {kClick, 1020, 0, 0},
    {kClick, 1026, 0, 0}, {kPress, 1171, VK_LEFT, "xxxx"}, {kType, 1052, 0, "3"},
    {kPress, 1229, VK_UP, "x"}, {kEnd, 0, 0, 0}};
/* Each Cancel run leaves a number typed into one slider edit, the focus still
 * in it, and ends with Esc or the close box: the edit loses its focus only
 * while the dialog ends, and the number must not come back. */
static const struct Step kDetailsEnds[3][3] = {
    {{kKeys, 1172, 0, "-9"}, {kEsc, 1172, 0, 0}, {kEnd, 0, 0, 0}},
    {{kKeys, 1052, 0, "4"}, {kCloseBox, 0, 0, 0}, {kEnd, 0, 0, 0}},
    {{kKeys, 1053, 0, "5"}, {kEsc, 1053, 0, 0}, {kEnd, 0, 0, 0}}};
static const struct Step kDetailsOk[] = {
    {kLook, 0, 0, 0}, {kEnabled, 1171, 0, 0}, {kPick, 1175, 1, 0}, {kPick, 1001, 2, 0},
    {kClick, 1182, 0, 0}, {kClick, 1020, 0, 0}, {kClick, 1118, 0, 0}, {kClick, 1033, 0, 0},
    {kClick, 1026, 0, 0}, {kClick, 1235, 0, 0}, {kClick, 1041, 0, 0}, {kClick, 1042, 0, 0},
    {kClick, 1104, 0, 0}, {kEnabled, 1171, 1, 0}, {kType, 1172, 0, "-25"},
    {kShows, 1172, 0, "-10"}, {kPress, 1171, VK_RIGHT, "xxx"}, {kShows, 1172, 0, " -7"},
    {kType, 1052, 0, "20"}, {kShows, 1052, 0, " 17"}, {kPress, 1228, VK_DOWN, "xx"},
    {kShows, 1052, 0, " 15"}, {kPress, 1037, VK_LEFT, "x"}, {kShows, 1053, 0, "  2"},
    {kClose, 0, IDOK, 0}, {kEnd, 0, 0, 0}};

static void TestDetails(const char* name) {
  static const struct IdValue start[] = {
      {PAR_POLARITY, 0}, {PAR_BATCH_MODE, 1}, {PAR_ROTATE, 0}, {PAR_AUTO_SIZE, 0},
      {PAR_ADDON, 0}, {PAR_KEY_START, 0}, {PAR_MARGIN_SCAN, 0}, {PAR_MARGIN_AMOUNT, 0},
      {PAR_AE, 9}, {PAR_EDGE_EMPHASIS, 3}, {PAR_BACKGROUND_ERASE, 0}, {PAR_NOTCH_ERASE, 0},
      {PAR_THIN_LINE, 0}, {PAR_USER_GRC, 0}, {PAR_GRC_MODE, 0}, {PAR_SEPARATOR_SENSE, 0}};
  static const struct IdValue stored[] = {
      {PAR_POLARITY, 1}, {PAR_BATCH_MODE, 3}, {PAR_ROTATE, 1}, {PAR_AUTO_SIZE, 1},
      {PAR_ADDON, 1}, {PAR_KEY_START, 1}, {PAR_MARGIN_SCAN, 1}, {PAR_MARGIN_AMOUNT, -7},
      {PAR_AE, 15}, {PAR_EDGE_EMPHASIS, 2}, {PAR_BACKGROUND_ERASE, 1}, {PAR_NOTCH_ERASE, 1},
      {PAR_THIN_LINE, 1}, {PAR_USER_GRC, 1}, {PAR_GRC_MODE, 0}, {PAR_SEPARATOR_SENSE, 0}};
  int32_t ids[COUNT(start)];
  for (size_t i = 0; i < COUNT(start); ++i) ids[i] = start[i].id;
  SetAll(start, COUNT(start) - 2);
  struct Snapshot before;
  Take(&before, ids, (int)COUNT(ids));
  for (int i = 0; i < 3; ++i) {
    const struct Script cancel = {kDetailsId, kDetailsCancel, kDetailsEnds[i]};
    Drive(kDetails, &cancel, name, 0);
    /* Reading a parameter refreshes the record from the scanner: send the
     * record first, so that what Cancel left in it shows. */
    CHECK_EQ(g_drv.setMode(), 0, "TsdSetModeToScanner after Cancel");
    CheckUnchanged(&before, name);
  }
  static const struct Script ok = {kDetailsId, kDetailsOk, NULL};
  Drive(kDetails, &ok, name, 1);
  char where[48];
  snprintf(where, sizeof where, "%s OK stores", name);
  CheckAll(stored, COUNT(stored), where);
}

/* ---- Addon ------------------------------------------------------------------------ */

enum { kImprinterId = 1090 }; /* the addon text */
static const struct Step kAddonCancel[] = {
    {kShows, 1090, 0, "BEFORE"}, {kType, 1090, 0, "NOT KEPT"}, {kType, 1110, 0, "77"},
    {kPick, 1010, 1, 0}, {kPick, 1113, 5, 0}, {kClick, 1194, 0, 0}, {kClose, 0, IDCANCEL, 0},
    {kEnd, 0, 0, 0}};
/* x 750 mm shows 500; timing entries 4 and 1 are the values 3 and 5. */
static const struct Step kAddonOk[] = {
    {kLook, 0, 0, 0}, {kType, 1090, 0, "SHEET 0001"}, {kType, 1110, 0, "750"},
    {kShows, 1110, 0, "500"}, {kPress, 1231, VK_DOWN, "xx"}, {kShows, 1110, 0, "498"},
    {kType, 1111, 0, "42"}, {kPick, 1010, 1, 0}, {kPick, 1002, 2, 0}, {kClick, 1194, 0, 0},
    {kPick, 1113, 4, 0}, {kType, 1114, 0, "7"}, {kPick, 1115, 1, 0},
    {kPress, 1226, VK_UP, "xxx"}, {kShows, 1116, 0, "  3"}, {kClose, 0, IDOK, 0}, {kEnd, 0, 0, 0}};

static void CheckAddonStored(const char* where) {
  static const struct IdValue stored[] = {
      {PAR_ADDON_TIMING, 1}, {PAR_ADDON_X, 498}, {PAR_ADDON_Y, 42}, {PAR_ADDON_COUNTER_ON, 1},
      {PAR_ADDON_COLOR, 2}, {PAR_COUNTUP_TIMING, 3}, {PAR_COUNTUP_AMOUNT, 7},
      {PAR_RESET_TIMING, 5}, {PAR_RESET_VALUE, 3}};
  char text[64] = "";
  CheckAll(stored, COUNT(stored), where);
  CHECK_EQ(Buffer(g_drv.parGet, PAR_ADDON_TEXT, text), 0, "TsdParGet of the addon text");
  text[63] = '\0';
  CheckText(text, "SHEET 0001", where);
}

static void TestAddon(void) {
  static const struct IdValue start[] = {
      {PAR_ADDON_TIMING, 0}, {PAR_ADDON_X, 10}, {PAR_ADDON_Y, 20}, {PAR_ADDON_COUNTER_ON, 0},
      {PAR_ADDON_COLOR, 0}, {PAR_COUNTUP_TIMING, 0}, {PAR_COUNTUP_AMOUNT, 1},
      {PAR_RESET_TIMING, 0}, {PAR_RESET_VALUE, 0}};
  static const struct Script cancel = {kImprinterId, kAddonCancel, NULL},
                             ok = {kImprinterId, kAddonOk, NULL};
  int32_t ids[COUNT(start)];
  for (size_t i = 0; i < COUNT(start); ++i) ids[i] = start[i].id;
  SetAll(start, COUNT(start));
  CHECK_EQ(Buffer(g_drv.parSet, PAR_ADDON_TEXT, "BEFORE"), 0, "TsdParSet of the addon text");
  CancelThenOk(kImprinter, "IMPRINTER", ids, (int)COUNT(ids), &cancel, &ok);
  CheckAddonStored("IMPRINTER OK stores");
  CHECK_EQ(g_drv.getMode(), 0, "TsdGetModeFromScanner after IMPRINTER");
  CheckAddonStored("the scanner's addon page holds");
}

/* ---- Function keys ---------------------------------------------------------------- */

enum { kFunctionId = 1234 }; /* the function label */
static const struct Step kFunctionCancel[] = {
    {kPick, 1001, 2, 0}, {kPick, 1005, 5, 0}, {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
/* F2 gets "Rotate 90 right" (0x002000) and P1 "Lighten image" (0x004000)
 * with "Set"; back on F2 the dialog shows what it reads from the scanner. */
static const struct Step kFunctionSet[] = {
    {kLook, 0, 0, 0}, {kEntries, 1001, 10, 0}, {kEntries, 1005, 19, 0}, {kPick, 1001, 1, 0},
    {kPick, 1005, 3, 0}, {kClick, 1, 0, 0}, {kPick, 1001, 6, 0}, {kPick, 1005, 0, 0},
    {kClick, 1, 0, 0}, {kPick, 1001, 0, 0}, {kPick, 1001, 1, 0}, {kPicked, 1005, 3, 0},
    {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};

static void TestFunctionKeys(void) {
  static const int32_t ids[] = {PAR_FKEY_1, PAR_FKEY_2, PAR_FKEY_3, PAR_FKEY_4, PAR_FKEY_5,
                                PAR_FKEY_6, PAR_FKEY_7, PAR_FKEY_8, PAR_FKEY_9, PAR_FKEY_10};
  static const struct IdValue start[] = {{PAR_FKEY_2, 0x20}, {PAR_FKEY_7, 0x20}};
  static const struct Script cancel = {kFunctionId, kFunctionCancel, NULL},
                             set = {kFunctionId, kFunctionSet, NULL};
  SetAll(start, 2);
  struct IdValue stored[10];
  for (int i = 0; i < 10; ++i) stored[i] = (struct IdValue){ids[i], Par(ids[i])};
  stored[1].value = 0x002000;
  stored[6].value = 0x004000;
  CancelThenOk(kFKey, "FUNCTION", ids, 10, &cancel, &set);
  CheckAll(stored, 10, "after \"Set\" the scanner's key");
}

/* ---- Gamma ------------------------------------------------------------------------ */

enum { kGammaId = 1191, kFileNameId = 0x47C }; /* the curve label, the file name box */
static char g_gammaFile[MAX_PATH];

/* "Download" opens the open-file dialog; the buttons below wait disabled
 * meanwhile and are enabled again when it has gone. */
static const struct Step kGammaCancel[] = {
    {kOpen, IDOK, kFileNameId, 0}, {kUnder, IDOK, 0, 0}, {kUnder, IDCANCEL, 0, 0},
    {kClose, 0, IDCANCEL, 0}, {kEnabled, IDOK, 1, 0}, {kEnabled, IDCANCEL, 1, 0},
    {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
static const struct Step kGammaDownload[] = {
    {kLook, 0, 0, 0}, {kEntries, 1001, 1, 0}, {kPicked, 1001, 0, 0},
    {kOpen, IDOK, kFileNameId, 0}, {kSetText, kFileNameId, 0, g_gammaFile},
    {kClose, 0, IDOK, 0}, {kEnabled, IDCANCEL, 1, 0}, {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};

static void TestGamma(void) {
  unsigned char identity[256], now[256], inverted[256];
  static char text[256 * 6 + 64];
  static const struct Script cancel = {kGammaId, kGammaCancel, NULL},
                             download = {kGammaId, kGammaDownload, NULL};
  /* Two header lines, a comment, then 256 values of the inverted curve. */
  int at = snprintf(text, sizeof text, "GAMMA FILE\r\nINVERTED\r\n; from white to black\r\n");
  for (int i = 0; i < 256; ++i) {
    identity[i] = (unsigned char)i;
    inverted[i] = (unsigned char)(255 - i);
    at += snprintf(text + at, sizeof text - (size_t)at, "%d\r\n", 255 - i);
  }
  snprintf(g_gammaFile, sizeof g_gammaFile, "%s", WorkPath("inverted.gmm"));
  CHECK(WriteText(g_gammaFile, text), "the gamma file is written");
  CHECK_EQ(Buffer(g_drv.parSet, PAR_GAMMA, identity), 0, "TsdParSet of an identity gamma table");
  const struct { const struct Script* script; const unsigned char* table; const char* what; } runs[] = {
      {&cancel, identity, "GAMMA Cancel leaves the scanner's gamma table"},
      {&download, inverted, "GAMMA \"Download\" puts the file's curve into the scanner"}};
  for (int i = 0; i < 2; ++i) {
    Drive(kGamma, runs[i].script, "GAMMA", i);
    memset(now, 0xEE, sizeof now);
    CHECK(Buffer(g_drv.parGet, PAR_GAMMA, now) == 0 && memcmp(now, runs[i].table, 256) == 0,
          runs[i].what);
  }
}

/* ---- all of them ------------------------------------------------------------------ */

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
  g_owner = CreateWindowA("TsdHostWindow", "tsdhost", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320,
                          200, NULL, NULL, owner.hInstance, NULL);
  if (!CHECK(g_exportDone != NULL && g_owner != NULL, "the host's window for the dialogs") ||
      !LoadDriverFor(language)) {
    return;
  }
  CHECK_EQ(g_drv.probe(), 0, "TsdProbe before the dialogs");
  const int japanese = strcmp(language, "Japanese") == 0;
  g_languageFile = japanese ? "rt650jp.txt" : "rt650us.txt";
  g_pictureSuffix = "";
  /* The Details runs come first: the Settings dialog's "Detail" leaves its
   * image type behind for them. DETAILS is the Japanese template; SETTING is
   * shown in Japanese too, as SETTING-ja. */
  TestDetails(japanese ? "DETAILS" : "DETAILS_US");
  if (japanese) g_pictureSuffix = "-ja";
  if (!japanese) TestStartScan();
  TestSettings();
  if (!japanese) {
    TestAddon();
    TestFunctionKeys();
    TestGamma();
  }
  /* "Rotate Image" of the Details dialog is the one dialog setting that
   * outlives the driver: the unload writes it into the settings file. */
  CHECK(FreeLibrary(g_drv.module), "FreeLibrary of the driver after the dialogs");
  char value[32];
  GetPrivateProfileStringA(kSection, "ROTATE90", "", value, sizeof value, g_ini);
  CheckText(value, "TRUE", "the Details dialog's rotation reaches ROTATE90 at the unload");
  DestroyWindow(g_owner);
  CloseHandle(g_exportDone);
}
