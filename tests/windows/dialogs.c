/*
 * The driver's dialogs on screen, as a user meets them.
 *
 * The host opens each dialog through its export, on this (the first)
 * thread, which then sits in the dialog's modal loop. A second thread, the
 * hand, finds the dialog among the first thread's windows and works it with
 * window messages: it picks list entries, types into edits and leaves them,
 * presses arrow keys on trackbars and up-downs, clicks check boxes and
 * buttons, and finally presses OK or Cancel. The first thread then reads
 * back through the parameter exports what the dialog stored (and, where
 * the value lives in the scanner, what the scanner now holds).
 *
 * Every wait is bounded: a dialog that does not appear within ten seconds
 * is a failed check, and whatever is still open when the hand is done is
 * reported and closed. The hand also measures each template on screen
 * (controls inside the dialog, none on top of another, every caption and
 * list entry wide enough for its control) and saves a PNG picture of it.
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
  void* a;
  a = ExportOf("TsdParSet"); memcpy(&g_drv.parSet, &a, sizeof a);
  a = ExportOf("TsdParGet"); memcpy(&g_drv.parGet, &a, sizeof a);
  a = ExportOf("TsdProbe"); memcpy(&g_drv.probe, &a, sizeof a);
  a = ExportOf("TsdGetModeFromScanner"); memcpy(&g_drv.getMode, &a, sizeof a);
  a = ExportOf("TsdSetModeToScanner"); memcpy(&g_drv.setMode, &a, sizeof a);
  return CHECK(g_drv.parSet && g_drv.parGet && g_drv.probe && g_drv.getMode && g_drv.setMode,
               "the parameter exports are found");
}

/* A parameter read or set around the dialogs; only a failure counts (the
 * checks are about what the dialogs stored, not about the parameters). */
static int32_t Par(int32_t id) {
  int32_t value = -12345;
  const int32_t r = g_drv.parGet(id, &value);
  if (r != 0) {
    char what[48];
    snprintf(what, sizeof what, "TsdParGet %d", (int)id);
    CHECK_EQ(r, 0, what);
  }
  return value;
}

static void SetPar(int32_t id, int32_t value) {
  const int32_t r = g_drv.parSet(id, &value);
  if (r != 0) {
    char what[48];
    snprintf(what, sizeof what, "TsdParSet %d = %d", (int)id, (int)value);
    CHECK_EQ(r, 0, what);
  }
}

static void SetAddonText(const char* text) {
  uintptr_t cell = (uintptr_t)text;
  CHECK_EQ(g_drv.parSet(PAR_ADDON_TEXT, &cell), 0, "TsdParSet of the addon text");
}

static void AddonText(char out[64]) {
  memset(out, 0, 64);
  uintptr_t cell = (uintptr_t)out;
  CHECK_EQ(g_drv.parGet(PAR_ADDON_TEXT, &cell), 0, "TsdParGet of the addon text");
  out[63] = '\0';
}

static void ScannerGamma(unsigned char table[256]) {
  uintptr_t cell = (uintptr_t)table;
  memset(table, 0xEE, 256);
  CHECK_EQ(g_drv.parGet(PAR_GAMMA, &cell), 0, "TsdParGet of the scanner's gamma table");
}

/* The values of `ids` read through TsdParGet, and the check that a dialog
 * left them all as they were. */
enum { kMaxIds = 20 };
struct Snapshot {
  const int32_t* ids;
  int count;
  int32_t values[kMaxIds];
};

static void Take(struct Snapshot* s, const int32_t* ids, int count) {
  s->ids = ids;
  s->count = count < kMaxIds ? count : kMaxIds;
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

static int IsDialogWindow(HWND window) {
  char name[16] = {0};
  return GetClassNameA(window, name, sizeof name) > 0 && strcmp(name, "#32770") == 0;
}

struct Find {
  int control; /* a control ID that only the wanted dialog has; 0: any dialog */
  HWND found;
};

static BOOL CALLBACK FindOne(HWND window, LPARAM l) {
  struct Find* f = (struct Find*)l;
  if (IsDialogWindow(window) && IsWindowVisible(window) && IsWindowEnabled(window) &&
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
  Send(window, WM_GETTEXT, (WPARAM)size, (LPARAM)out);
  out[size - 1] = '\0';
}

static void ItemText(HWND dialog, int control, char* out, int size) {
  HWND item = GetDlgItem(dialog, control);
  if (item == NULL) {
    out[0] = '\0';
    return;
  }
  WindowText(item, out, size);
}

/* Waits for the dialog that has `control`; a failed check after ten seconds
 * or as soon as the export has returned without it. */
static HWND WaitDialog(int control, const char* what) {
  for (DWORD waited = 0; waited < kWaitMs; waited += 20) {
    HWND found = FindDialog(control);
    if (found != NULL) {
      Send(found, WM_NULL, 0, 0); /* its initialisation is done and it takes messages */
      return found;
    }
    if (WaitForSingleObject(g_exportDone, 20) == WAIT_OBJECT_0) break;
  }
  char text[256] = "", title[128] = "";
  HWND other = FindDialog(0);
  if (other != NULL) {
    WindowText(other, title, sizeof title);
    ItemText(other, 0xFFFF, text, sizeof text);
  }
  printf("FAIL: %s does not appear%s%s%s%s\n", what, other ? "; open instead: \"" : "", title,
         other ? "\" " : "", text);
  CHECK(0, "a dialog appears");
  return NULL;
}

/* Waits until `window` is gone (its dialog ended). */
static int WaitGone(HWND window, const char* what) {
  for (DWORD waited = 0; waited < kWaitMs; waited += 20) {
    if (!IsWindow(window)) return CHECK(1, what);
    Sleep(20);
  }
  return CHECK(0, what);
}

static HWND Item(HWND dialog, int control) {
  HWND item = GetDlgItem(dialog, control);
  if (item == NULL) printf("FAIL: control %d is not in the dialog\n", control);
  CHECK(item != NULL, "the control to work is there");
  return item;
}

/* Picks entry `index` of a drop-down list as the keyboard does: the list
 * takes the selection and tells the dialog of the change and the close-up. */
static void Pick(HWND dialog, int control, int index) {
  HWND list = Item(dialog, control);
  if (list == NULL) return;
  Send(list, CB_SETCURSEL, (WPARAM)index, 0);
  Send(dialog, WM_COMMAND, MAKEWPARAM(control, CBN_SELCHANGE), (LPARAM)list);
  Send(dialog, WM_COMMAND, MAKEWPARAM(control, CBN_CLOSEUP), (LPARAM)list);
}

static int Picked(HWND dialog, int control) {
  return (int)Send(GetDlgItem(dialog, control), CB_GETCURSEL, 0, 0);
}

static int Entries(HWND dialog, int control) {
  return (int)Send(GetDlgItem(dialog, control), CB_GETCOUNT, 0, 0);
}

/* Focuses the edit and replaces its text key by key; the focus stays. */
static void Keys(HWND dialog, int control, const char* text) {
  HWND edit = Item(dialog, control);
  if (edit == NULL) return;
  Send(dialog, WM_NEXTDLGCTL, (WPARAM)edit, TRUE);
  Send(edit, EM_SETSEL, 0, -1);
  Send(edit, WM_CHAR, VK_BACK, 0);
  for (const char* c = text; *c != '\0'; ++c) Send(edit, WM_CHAR, (WPARAM)(unsigned char)*c, 1);
}

/* Types into the edit and tabs on, so that the edit itself reports the lost
 * focus. */
static void Type(HWND dialog, int control, const char* text) {
  Keys(dialog, control, text);
  Send(dialog, WM_NEXTDLGCTL, 0, FALSE);
}

/* Presses a key `times` on a control (a trackbar or an up-down). */
static void Press(HWND dialog, int control, UINT key, int times) {
  HWND item = Item(dialog, control);
  for (int i = 0; item != NULL && i < times; ++i) {
    Send(item, WM_KEYDOWN, key, 1);
    Send(item, WM_KEYUP, key, 0xC0000001u);
  }
}

/* A click that returns when the dialog has handled it. */
static void Click(HWND dialog, int control) {
  HWND button = Item(dialog, control);
  if (button != NULL) Send(button, BM_CLICK, 0, 0);
}

/* A click whose handling opens another modal loop or ends the dialog: it
 * is posted, and the hand goes on at once. */
static void ClickLater(HWND dialog, int control) {
  HWND button = Item(dialog, control);
  if (button != NULL) PostMessageA(button, BM_CLICK, 0, 0);
}

static int Checked(HWND dialog, int control) {
  return Send(GetDlgItem(dialog, control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static void CheckItemText(HWND dialog, int control, const char* expected, const char* what) {
  char text[128];
  ItemText(dialog, control, text, sizeof text);
  CheckText(text, expected, what);
}

/* Ends the dialog with OK or Cancel and waits for it to go. */
static void Close(HWND dialog, int button, const char* what) {
  ClickLater(dialog, button);
  WaitGone(dialog, what);
}

/* ---- measuring a template on screen ---------------------------------------------- */

struct Control {
  HWND window;
  int id;
  RECT place; /* in the dialog's client coordinates */
  char cls[32];
  LONG style;
};
enum { kMaxControls = 64 };
struct Layout {
  HWND dialog;
  int count;
  struct Control controls[kMaxControls];
};

static BOOL CALLBACK CollectOne(HWND window, LPARAM l) {
  struct Layout* layout = (struct Layout*)l;
  if (GetParent(window) != layout->dialog || !IsWindowVisible(window)) return TRUE;
  if (layout->count >= kMaxControls) return FALSE;
  struct Control* c = &layout->controls[layout->count++];
  c->window = window;
  c->id = GetDlgCtrlID(window);
  GetWindowRect(window, &c->place);
  MapWindowPoints(NULL, layout->dialog, (POINT*)&c->place, 2);
  GetClassNameA(window, c->cls, sizeof c->cls);
  c->style = GetWindowLongA(window, GWL_STYLE);
  return TRUE;
}

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

/* 1 when `text` fits in `room` pixels of the control; else prints why. */
static int Fits(const char* template_, const struct Control* c, const char* text, LONG room) {
  const LONG width = TextWidth(c->window, text);
  if (width <= room) return 1;
  printf("%s: \"%s\" of control %d needs %ld pixels, has %ld\n", template_, text, c->id,
         (long)width, (long)room);
  return 0;
}

/* Every visible control lies inside the dialog and on no other one; every
 * caption and list entry is as wide as it needs to be; Tab visits the
 * settings before the push buttons. */
static void CheckLayout(HWND dialog, const char* template_) {
  struct Layout layout;
  layout.dialog = dialog;
  layout.count = 0;
  EnumChildWindows(dialog, CollectOne, (LPARAM)&layout);
  RECT client;
  GetClientRect(dialog, &client);
  const LONG check = GetSystemMetrics(SM_CXMENUCHECK) + 4;  /* box and gap before a check box's text */
  const LONG arrow = GetSystemMetrics(SM_CXVSCROLL) + 6;    /* a list's button and margins */
  int outside = 0, overlaps = 0, clipped = 0;
  for (int i = 0; i < layout.count; ++i) {
    const struct Control* c = &layout.controls[i];
    if (c->place.left < 0 || c->place.top < 0 || c->place.right > client.right ||
        c->place.bottom > client.bottom) {
      printf("%s: control %d reaches outside the dialog\n", template_, c->id);
      ++outside;
    }
    for (int k = i + 1; k < layout.count; ++k) {
      RECT both;
      if (IntersectRect(&both, &c->place, &layout.controls[k].place)) {
        printf("%s: controls %d and %d overlap\n", template_, c->id, layout.controls[k].id);
        ++overlaps;
      }
    }
    char text[256];
    const LONG width = c->place.right - c->place.left;
    if (strcmp(c->cls, "Static") == 0 && (c->style & SS_TYPEMASK) <= SS_RIGHT) {
      WindowText(c->window, text, sizeof text);
      clipped += !Fits(template_, c, text, width);
    } else if (strcmp(c->cls, "Button") == 0) {
      WindowText(c->window, text, sizeof text);
      const LONG kind = c->style & BS_TYPEMASK;
      clipped += !Fits(template_, c, text,
                       kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX ? width - check : width - 6);
    } else if (strcmp(c->cls, "ComboBox") == 0) {
      const int n = (int)Send(c->window, CB_GETCOUNT, 0, 0);
      for (int e = 0; e < n && e < 32; ++e) {
        if (Send(c->window, CB_GETLBTEXTLEN, (WPARAM)e, 0) >= (LRESULT)sizeof text) continue;
        Send(c->window, CB_GETLBTEXT, (WPARAM)e, (LPARAM)text);
        clipped += !Fits(template_, c, text, width - arrow);
      }
    }
  }
  char what[96];
  snprintf(what, sizeof what, "%s: every control lies inside the dialog", template_);
  CHECK_EQ(outside, 0, what);
  snprintf(what, sizeof what, "%s: no control lies on another", template_);
  CHECK_EQ(overlaps, 0, what);
  snprintf(what, sizeof what, "%s: every text fits its control", template_);
  CHECK_EQ(clipped, 0, what);
  /* Tab goes through the visible tab stops in template order (the order of
   * the child windows): the settings first, the push buttons last. */
  char order[256] = "";
  int buttonSeen = 0, afterButtons = 0;
  for (HWND at = GetWindow(dialog, GW_CHILD); at != NULL; at = GetWindow(at, GW_HWNDNEXT)) {
    const LONG style = GetWindowLongA(at, GWL_STYLE);
    if (!(style & WS_TABSTOP) || !(style & WS_VISIBLE)) continue;
    char cls[16] = "", id[8];
    GetClassNameA(at, cls, sizeof cls);
    const LONG kind = style & BS_TYPEMASK;
    const int push = strcmp(cls, "Button") == 0 && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON);
    afterButtons += buttonSeen && !push;
    buttonSeen = buttonSeen || push;
    snprintf(id, sizeof id, " %d", GetDlgCtrlID(at));
    if (strlen(order) + strlen(id) < sizeof order) strcat(order, id);
  }
  snprintf(what, sizeof what, "%s: Tab reaches the push buttons last", template_);
  if (!CHECK_EQ(afterButtons, 0, what)) printf("%s tab order:%s\n", template_, order);
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
 * <screens>\<name>.png. */
static void Photograph(HWND dialog, const char* name, struct Picture* picture) {
  picture->path[0] = '\0';
  if (g_screens[0] == '\0') return;
  RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  Send(dialog, WM_NULL, 0, 0);
  Sleep(300); /* the first thread paints between its messages */
  RECT r;
  GetWindowRect(dialog, &r);
  const UINT width = (UINT)(r.right - r.left), height = (UINT)(r.bottom - r.top);
  const UINT stride = (width * 3 + 3) & ~3u;
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
  ok = ok && WritePng(picture->path, (const BYTE*)bits, width, height, stride);
  if (bitmap != NULL) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
  picture->width = width;
  picture->height = height;
  char what[96];
  snprintf(what, sizeof what, "the picture of %s is written", name);
  if (!CHECK(ok, what)) picture->path[0] = '\0';
}

/* The picture decodes at the dialog's size and is not of one colour. */
static void CheckPicture(const struct Picture* picture, const char* name) {
  if (g_screens[0] == '\0' || picture->path[0] == '\0') return;
  struct Decoded x;
  char what[96];
  snprintf(what, sizeof what, "the picture of %s decodes at the dialog's size", name);
  if (CHECK(Decode(picture->path, 0, &x) && x.width == picture->width &&
                x.height == picture->height,
            what)) {
    unsigned long dark = 0;
    for (size_t k = 0; k < (size_t)x.width * x.height; ++k) dark += x.gray[k] < 96;
    snprintf(what, sizeof what, "the picture of %s shows texts and lines", name);
    CHECK(dark > 100 && dark < (unsigned long)x.width * x.height / 2, what);
  }
  free(x.gray);
}

/* ---- one run: the export on this thread, the hand on another --------------------- */

struct Run {
  void (*hand)(struct Run*);
  const char* name;         /* the template, for messages and the picture */
  struct Picture picture;
  int shoot;                /* take the picture in this run */
};

static DWORD WINAPI HandThread(LPVOID p) {
  struct Run* run = (struct Run*)p;
  const HRESULT com = CoInitializeEx(NULL, COINIT_MULTITHREADED);
  g_handWic = NULL;
  CoCreateInstance(&CLSID_WICImagingFactory, NULL, CLSCTX_INPROC_SERVER, &IID_IWICImagingFactory,
                   (void**)&g_handWic);
  run->hand(run);
  /* Anything still open is a fault of the dialog or of the hand: report it
   * and close it, so that the export returns. */
  int reported = 0;
  for (DWORD waited = 0; WaitForSingleObject(g_exportDone, 0) != WAIT_OBJECT_0; waited += 200) {
    HWND left = FindDialog(0);
    if (left != NULL) {
      char title[128];
      WindowText(left, title, sizeof title);
      if (!reported++) printf("FAIL: %s: \"%s\" is still open; closing it\n", run->name, title);
      CHECK(0, "the hand leaves no window open");
      PostMessageA(left, WM_COMMAND, IDCANCEL, 0);
    }
    if (waited > 3 * kWaitMs) {
      printf("FAIL: %s: the dialog export does not return; giving up\n", run->name);
      fflush(stdout);
      ExitProcess(1);
    }
    WaitForSingleObject(g_exportDone, 200);
  }
  if (g_handWic != NULL) IWICImagingFactory_Release(g_handWic);
  g_handWic = NULL;
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}

/* Opens the dialog through `which` while `hand` works it; checks the
 * export's result. */
static void Drive(enum DialogExport which, void (*hand)(struct Run*), const char* name, int shoot) {
  struct Run run;
  memset(&run, 0, sizeof run);
  run.hand = hand;
  run.name = name;
  run.shoot = shoot;
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
  const uint32_t expected = kDialogExports[which].returns == kZero ? 0
                            : kDialogExports[which].returns == kInstance
                                ? (uint32_t)(uintptr_t)instance
                                : (uint32_t)(uintptr_t)g_owner;
  char what[96];
  snprintf(what, sizeof what, "%s returns what it should", kDialogExports[which].name);
  CHECK_EQ(result, expected, what);
  if (run.shoot) CheckPicture(&run.picture, name);
}

/* The first look at a dialog of the run: measured, and photographed when
 * the run takes the picture. */
static void Look(struct Run* run, HWND dialog) {
  if (!run->shoot) return;
  CheckLayout(dialog, run->name);
  Photograph(dialog, run->name, &run->picture);
}

/* ---- the language file, read here on its own ------------------------------------- */

/* The text of message `id` in the language file `file` under the Windows
 * folder's klxscan folder; empty when it is not there. */
static void Message(const char* file, int id, char* out, size_t size) {
  char path[MAX_PATH], line[512], number[8];
  out[0] = '\0';
  GetWindowsDirectoryA(path, MAX_PATH - 32);
  strcat(path, "\\klxscan\\");
  strcat(path, file);
  FILE* f = fopen(path, "rb");
  if (f == NULL) return;
  snprintf(number, sizeof number, "%03d,\"", id);
  while (fgets(line, sizeof line, f) != NULL) {
    if (strncmp(line, number, 5) != 0) continue;
    char* end = strchr(line + 5, '"');
    if (end != NULL) *end = '\0';
    snprintf(out, size, "%s", line + 5);
  }
  fclose(f);
}

/* ---- Start-scan ------------------------------------------------------------------- */

static const int kStartScanId = 1100; /* the file-name edit: only STARTSCAN has it */

static void StartScanCancel(struct Run* run) {
  (void)run;
  HWND d = WaitDialog(kStartScanId, "STARTSCAN");
  if (d == NULL) return;
  Pick(d, 1001, 2);
  Type(d, 1100, "batch.tif");
  Close(d, IDCANCEL, "STARTSCAN closes with Cancel");
}

static int g_jobEntry; /* the job-separator entry that the OK run chooses */

static void StartScanOk(struct Run* run) {
  HWND d = WaitDialog(kStartScanId, "STARTSCAN");
  if (d == NULL) return;
  Look(run, d);
  CHECK_EQ(Entries(d, 1001), 3, "STARTSCAN offers three job-separator modes");
  CHECK_EQ(Picked(d, 1001), 0, "STARTSCAN opens at \"None\"");
  CheckItemText(d, 1001, "None", "STARTSCAN shows \"None\"");
  Type(d, 1100, "batch.tif");
  Pick(d, 1001, g_jobEntry);
  Close(d, IDOK, "STARTSCAN closes with OK");
}

static void TestStartScan(void) {
  static const int32_t ids[] = {PAR_JOB_SEPARATOR};
  struct Snapshot before;
  SetPar(PAR_JOB_SEPARATOR, 0);
  Take(&before, ids, 1);
  Drive(kStartScan, StartScanCancel, "STARTSCAN", 0);
  CheckUnchanged(&before, "STARTSCAN");
  g_jobEntry = 1;
  Drive(kStartScan, StartScanOk, "STARTSCAN", 1);
  CHECK_EQ(Par(PAR_JOB_SEPARATOR), 3, "STARTSCAN OK stores \"Detect and Scan, Stop\" as 3");
  g_jobEntry = 2;
  Drive(kStartScan, StartScanOk, "STARTSCAN", 0); /* opens at "None" again */
  CHECK_EQ(Par(PAR_JOB_SEPARATOR), 5, "STARTSCAN OK stores \"Detect and Skip, Continue\" as 5");
  SetPar(PAR_JOB_SEPARATOR, 0);
}

/* ---- Settings --------------------------------------------------------------------- */

static const int kSettingId = 1049; /* the brightness edit */
static const int kDetailsId = 1171; /* the margin trackbar */

static void SettingsCancel(struct Run* run) {
  (void)run;
  HWND d = WaitDialog(kSettingId, "SETTING");
  if (d == NULL) return;
  Pick(d, 1001, 2); /* halftone: image type 10 */
  Pick(d, 1002, 2);
  Pick(d, 1010, 3);
  Pick(d, 1193, 3);
  Click(d, 1186);
  Type(d, 1049, "17");
  Press(d, 1096, VK_LEFT, 5);
  /* "Detail" hands the chosen image type to the Details dialog, which
   * opens on top: halftone leaves "Background Erase" disabled. */
  ClickLater(d, 1003);
  HWND details = WaitDialog(kDetailsId, "the Details dialog from \"Detail\"");
  if (details != NULL) {
    CHECK(!IsWindowEnabled(d), "the Settings dialog waits under the Details dialog");
    CHECK(!IsWindowEnabled(GetDlgItem(details, 1235)),
          "after halftone and \"Detail\", \"Background Erase\" is disabled");
    Close(details, IDCANCEL, "the Details dialog from \"Detail\" closes");
  }
  if (WaitDialog(kSettingId, "SETTING after the Details dialog") != NULL) {
    Close(d, IDCANCEL, "SETTING closes with Cancel");
  }
}

static void SettingsOk(struct Run* run) {
  HWND d = WaitDialog(kSettingId, "SETTING");
  if (d == NULL) return;
  char title[128];
  Message(g_languageFile, 1, title, sizeof title);
  char shown[128];
  WindowText(d, shown, sizeof shown);
  CheckText(shown, title, "SETTING has its title from the language file");
  Look(run, d);
  CHECK_EQ(Entries(d, 1001), 6, "SETTING offers six image types to a scanner with gray");
  CHECK(Checked(d, 1186), "brightness 0 shows the automatic check box checked");
  CheckItemText(d, 1049, "128", "automatic brightness shows 128");
  CHECK(!IsWindowEnabled(GetDlgItem(d, 1049)), "automatic brightness disables its edit");
  CHECK(!IsWindowEnabled(GetDlgItem(d, 1096)), "automatic brightness disables the contrast");

  Pick(d, 1001, 1); /* black and white (text) */
  Pick(d, 1002, 0); /* 200 dpi */
  Pick(d, 1010, 7); /* A4 */
  Pick(d, 1193, 1); /* frame area 1 */
  Click(d, 1186);
  CHECK(IsWindowEnabled(GetDlgItem(d, 1049)), "unchecking automatic enables the brightness");
  Type(d, 1049, "300");
  CheckItemText(d, 1049, "255", "a brightness of 300 shows as 255");
  Press(d, 1225, VK_DOWN, 1);
  CheckItemText(d, 1049, "254", "the brightness up-down steps down to 254");
  CHECK_EQ(Send(GetDlgItem(d, 1025), TBM_GETPOS, 0, 0), 254, "the trackbar follows the up-down");
  Press(d, 1096, VK_RIGHT, 3);
  CheckItemText(d, 1097, "103", "three steps of the contrast trackbar show 103");
  Close(d, IDOK, "SETTING closes with OK");
}

static void TestSettings(void) {
  static const int32_t ids[] = {PAR_IMAGE_TYPE,  PAR_BITS_PER_PIXEL, PAR_TEXT_MODE,
                                PAR_RESOLUTION,  PAR_Y_RESOLUTION,   PAR_SCAN_LENGTH,
                                PAR_SCAN_WIDTH,  PAR_BRIGHTNESS,     PAR_CONTRAST,
                                PAR_FRAME_AREA,  PAR_TOP_OFFSET,     PAR_SIDE_OFFSET};
  struct Snapshot before;
  SetPar(PAR_RESOLUTION, 300);
  SetPar(PAR_IMAGE_TYPE, 1);
  SetPar(PAR_BRIGHTNESS, 0);
  SetPar(PAR_CONTRAST, 100);
  SetPar(PAR_FRAME_AREA, 0);
  Take(&before, ids, (int)(sizeof ids / sizeof ids[0]));
  Drive(kDrvSet, SettingsCancel, "SETTING", 0);
  CheckUnchanged(&before, "SETTING");

  Drive(kDrvSet, SettingsOk, "SETTING", 1);
  /* A4 at 200 dpi: 2320 long, 1656 wide; frame area 1 puts it 59 pixels
   * down; the side offset centres it in the 2325 pixels of the feeder. */
  static const struct { int32_t id, value; const char* what; } stored[] = {
      {PAR_IMAGE_TYPE, 9, "image type 9 (text)"}, {PAR_BITS_PER_PIXEL, 1, "1 bit per pixel"},
      {PAR_TEXT_MODE, 1, "text mode on"},          {PAR_RESOLUTION, 200, "200 dpi across"},
      {PAR_Y_RESOLUTION, 200, "200 dpi along"},    {PAR_SCAN_LENGTH, 2320, "A4's length"},
      {PAR_SCAN_WIDTH, 1656, "A4's width"},        {PAR_BRIGHTNESS, 254, "brightness 254"},
      {PAR_CONTRAST, 103, "contrast 103"},         {PAR_FRAME_AREA, 1, "frame area 1"},
      {PAR_TOP_OFFSET, 59, "top offset 59"},       {PAR_SIDE_OFFSET, 334, "side offset 334"},
  };
  for (size_t i = 0; i < sizeof stored / sizeof stored[0]; ++i) {
    char what[96];
    snprintf(what, sizeof what, "SETTING OK stores %s", stored[i].what);
    CHECK_EQ(Par(stored[i].id), stored[i].value, what);
  }
  /* The push reached the scanner: read back from it, the window says the same. */
  CHECK_EQ(g_drv.getMode(), 0, "TsdGetModeFromScanner after SETTING");
  CHECK_EQ(Par(PAR_RESOLUTION), 200, "the scanner holds 200 dpi");
  CHECK_EQ(Par(PAR_BRIGHTNESS), 254, "the scanner holds brightness 254");
  CHECK_EQ(Par(PAR_CONTRAST), 103, "the scanner holds contrast 103");
  CHECK_EQ(Par(PAR_SCAN_LENGTH), 2320, "the scanner holds A4's length");
}

/* ---- Details ---------------------------------------------------------------------- */

static const char* g_detailsName; /* DETAILS or DETAILS_US */

/* Each Cancel run leaves a number typed into one slider edit, the focus
 * still in it, and ends with Esc or the close box: the edit loses its focus
 * only while the dialog ends, and the value must not come back. */
static const struct { int edit; const char* text; int closeBox; } kDetailsCancels[] = {
    {1172, "-9", 0}, {1052, "4", 1}, {1053, "5", 0}};
static int g_detailsCancel;

static void DetailsCancel(struct Run* run) {
  (void)run;
  HWND d = WaitDialog(kDetailsId, g_detailsName);
  if (d == NULL) return;
  Pick(d, 1175, 2);
  Pick(d, 1001, 1);
  Click(d, 1182);
  Click(d, 1020);
  Click(d, 1026);
  Press(d, 1171, VK_LEFT, 4); /* writes the margin straight into the record */
  Type(d, 1052, "3");
  Press(d, 1229, VK_UP, 1);
  Keys(d, kDetailsCancels[g_detailsCancel].edit, kDetailsCancels[g_detailsCancel].text);
  if (kDetailsCancels[g_detailsCancel].closeBox) {
    PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else {
    PostMessageA(GetDlgItem(d, kDetailsCancels[g_detailsCancel].edit), WM_KEYDOWN, VK_ESCAPE, 1);
  }
  WaitGone(d, "the Details dialog closes with Esc or the close box");
}

static void DetailsOk(struct Run* run) {
  HWND d = WaitDialog(kDetailsId, g_detailsName);
  if (d == NULL) return;
  Look(run, d);
  CHECK(!IsWindowEnabled(GetDlgItem(d, 1171)), "margin scanning off disables its trackbar");
  Pick(d, 1175, 1);
  Pick(d, 1001, 2);
  static const int boxes[] = {1182, 1020, 1118, 1033, 1026, 1235, 1041, 1042, 1104};
  for (size_t i = 0; i < sizeof boxes / sizeof boxes[0]; ++i) Click(d, boxes[i]);
  CHECK(IsWindowEnabled(GetDlgItem(d, 1171)), "margin scanning on enables its trackbar");
  Type(d, 1172, "-25");
  CheckItemText(d, 1172, "-10", "a margin of -25 shows as -10");
  Press(d, 1171, VK_RIGHT, 3);
  CheckItemText(d, 1172, " -7", "three steps of the margin trackbar show -7");
  Type(d, 1052, "20");
  CheckItemText(d, 1052, " 17", "an AE level of 20 shows as 17");
  Press(d, 1228, VK_DOWN, 2);
  CheckItemText(d, 1052, " 15", "two steps down of the AE up-down show 15");
  Press(d, 1037, VK_LEFT, 1);
  CheckItemText(d, 1053, "  2", "one step left of the edge trackbar shows 2");
  Close(d, IDOK, "the Details dialog closes with OK");
}

static const int32_t kDetailsIds[] = {
    PAR_POLARITY,    PAR_BATCH_MODE,       PAR_ROTATE,      PAR_AUTO_SIZE,   PAR_ADDON,
    PAR_KEY_START,   PAR_MARGIN_SCAN,      PAR_MARGIN_AMOUNT, PAR_AE,        PAR_EDGE_EMPHASIS,
    PAR_BACKGROUND_ERASE, PAR_NOTCH_ERASE, PAR_THIN_LINE,   PAR_USER_GRC,    PAR_GRC_MODE,
    PAR_SEPARATOR_SENSE};

static void DetailsStart(void) {
  static const struct { int32_t id, value; } start[] = {
      {PAR_POLARITY, 0},  {PAR_BATCH_MODE, 1},    {PAR_ROTATE, 0},          {PAR_AUTO_SIZE, 0},
      {PAR_ADDON, 0},     {PAR_KEY_START, 0},     {PAR_MARGIN_SCAN, 0},     {PAR_MARGIN_AMOUNT, 0},
      {PAR_AE, 9},        {PAR_EDGE_EMPHASIS, 3}, {PAR_BACKGROUND_ERASE, 0}, {PAR_NOTCH_ERASE, 0},
      {PAR_THIN_LINE, 0}, {PAR_USER_GRC, 0}};
  for (size_t i = 0; i < sizeof start / sizeof start[0]; ++i) SetPar(start[i].id, start[i].value);
}

static void TestDetails(const char* name) {
  struct Snapshot before;
  g_detailsName = name;
  DetailsStart();
  Take(&before, kDetailsIds, (int)(sizeof kDetailsIds / sizeof kDetailsIds[0]));
  for (g_detailsCancel = 0; g_detailsCancel < 3; ++g_detailsCancel) {
    Drive(kDetails, DetailsCancel, name, 0);
    /* Reading a parameter refreshes the record from the scanner: send the
     * record first, so that what Cancel left in it shows. */
    CHECK_EQ(g_drv.setMode(), 0, "TsdSetModeToScanner after Cancel");
    CheckUnchanged(&before, name);
  }

  Drive(kDetails, DetailsOk, name, 1);
  static const int32_t stored[] = {1, 3, 1, 1, 1, 1, 1, -7, 15, 2, 1, 1, 1, 1, 0, 0};
  for (size_t i = 0; i < sizeof stored / sizeof stored[0]; ++i) {
    char what[96];
    snprintf(what, sizeof what, "%s OK stores parameter %d", name, (int)kDetailsIds[i]);
    CHECK_EQ(Par(kDetailsIds[i]), stored[i], what);
  }
}

/* ---- Addon ------------------------------------------------------------------------ */

static const int kImprinterId = 1090; /* the addon text */

static void AddonCancel(struct Run* run) {
  (void)run;
  HWND d = WaitDialog(kImprinterId, "IMPRINTER");
  if (d == NULL) return;
  CheckItemText(d, 1090, "BEFORE", "IMPRINTER shows the scanner's addon text");
  Type(d, 1090, "NOT KEPT");
  Type(d, 1110, "77");
  Pick(d, 1010, 1);
  Pick(d, 1113, 5);
  Click(d, 1194);
  Close(d, IDCANCEL, "IMPRINTER closes with Cancel");
}

static void AddonOk(struct Run* run) {
  HWND d = WaitDialog(kImprinterId, "IMPRINTER");
  if (d == NULL) return;
  Look(run, d);
  Type(d, 1090, "SHEET 0001");
  Type(d, 1110, "750");
  CheckItemText(d, 1110, "500", "an x position of 750 mm shows as 500");
  Press(d, 1231, VK_DOWN, 2);
  CheckItemText(d, 1110, "498", "two steps down of the x up-down show 498");
  Type(d, 1111, "42");
  Pick(d, 1010, 1);
  Pick(d, 1002, 2);
  Click(d, 1194);
  Pick(d, 1113, 4); /* timing value 3 */
  Type(d, 1114, "7");
  Pick(d, 1115, 1); /* timing value 5 */
  Press(d, 1226, VK_UP, 3);
  CheckItemText(d, 1116, "  3", "three steps up of the reset up-down show 3");
  Close(d, IDOK, "IMPRINTER closes with OK");
}

static const int32_t kAddonIds[] = {PAR_ADDON_TIMING,    PAR_ADDON_X,        PAR_ADDON_Y,
                                    PAR_ADDON_COUNTER_ON, PAR_ADDON_COLOR,   PAR_COUNTUP_TIMING,
                                    PAR_COUNTUP_AMOUNT,  PAR_RESET_TIMING,   PAR_RESET_VALUE};

static void CheckAddonStored(const char* where) {
  static const int32_t stored[] = {1, 498, 42, 1, 2, 3, 7, 5, 3};
  char text[64], what[96];
  for (size_t i = 0; i < sizeof stored / sizeof stored[0]; ++i) {
    snprintf(what, sizeof what, "%s parameter %d", where, (int)kAddonIds[i]);
    CHECK_EQ(Par(kAddonIds[i]), stored[i], what);
  }
  AddonText(text);
  snprintf(what, sizeof what, "%s the addon text", where);
  CheckText(text, "SHEET 0001", what);
}

static void TestAddon(void) {
  static const struct { int32_t id, value; } start[] = {
      {PAR_ADDON_TIMING, 0},   {PAR_ADDON_X, 10},      {PAR_ADDON_Y, 20},
      {PAR_ADDON_COUNTER_ON, 0}, {PAR_ADDON_COLOR, 0}, {PAR_COUNTUP_TIMING, 0},
      {PAR_COUNTUP_AMOUNT, 1}, {PAR_RESET_TIMING, 0},  {PAR_RESET_VALUE, 0}};
  for (size_t i = 0; i < sizeof start / sizeof start[0]; ++i) SetPar(start[i].id, start[i].value);
  SetAddonText("BEFORE");
  struct Snapshot before;
  Take(&before, kAddonIds, (int)(sizeof kAddonIds / sizeof kAddonIds[0]));
  Drive(kImprinter, AddonCancel, "IMPRINTER", 0);
  CheckUnchanged(&before, "IMPRINTER");
  char text[64];
  AddonText(text);
  CheckText(text, "BEFORE", "IMPRINTER Cancel leaves the addon text");

  Drive(kImprinter, AddonOk, "IMPRINTER", 1);
  CheckAddonStored("IMPRINTER OK stores");
  CHECK_EQ(g_drv.getMode(), 0, "TsdGetModeFromScanner after IMPRINTER");
  CheckAddonStored("the scanner's addon page holds");
}

/* ---- Function keys ---------------------------------------------------------------- */

static const int kFunctionId = 1234; /* the function label */

static void FunctionCancel(struct Run* run) {
  (void)run;
  HWND d = WaitDialog(kFunctionId, "FUNCTION");
  if (d == NULL) return;
  Pick(d, 1001, 2);
  Pick(d, 1005, 5);
  Close(d, IDCANCEL, "FUNCTION closes with Cancel");
}

static void FunctionSet(struct Run* run) {
  HWND d = WaitDialog(kFunctionId, "FUNCTION");
  if (d == NULL) return;
  Look(run, d);
  CHECK_EQ(Entries(d, 1001), 10, "FUNCTION lists ten keys");
  CHECK_EQ(Entries(d, 1005), 19, "FUNCTION offers all 19 functions to revision 2.10");
  Pick(d, 1001, 1); /* F2 */
  Pick(d, 1005, 3); /* "Rotate 90 right": 0x002000 */
  Click(d, 1);
  Pick(d, 1001, 6); /* P1 */
  Pick(d, 1005, 0); /* "Lighten image": 0x004000 */
  Click(d, 1);
  Pick(d, 1001, 0);
  Pick(d, 1001, 1);
  CHECK_EQ(Picked(d, 1005), 3, "back on F2 the dialog reads its new function from the scanner");
  Close(d, IDCANCEL, "FUNCTION closes after \"Set\"");
}

static void TestFunctionKeys(void) {
  static const int32_t ids[] = {PAR_FKEY_1, PAR_FKEY_2, PAR_FKEY_3, PAR_FKEY_4, PAR_FKEY_5,
                                PAR_FKEY_6, PAR_FKEY_7, PAR_FKEY_8, PAR_FKEY_9, PAR_FKEY_10};
  SetPar(PAR_FKEY_2, 0x000020);
  SetPar(PAR_FKEY_7, 0x000020);
  struct Snapshot before;
  Take(&before, ids, 10);
  Drive(kFKey, FunctionCancel, "FUNCTION", 0);
  CheckUnchanged(&before, "FUNCTION");

  Drive(kFKey, FunctionSet, "FUNCTION", 1);
  for (int i = 0; i < 10; ++i) {
    const int32_t expected = i == 1 ? 0x002000 : i == 6 ? 0x004000 : before.values[i];
    char what[96];
    snprintf(what, sizeof what, "after \"Set\" the scanner's key %d has function 0x%06X", i + 1,
             (unsigned)expected);
    CHECK_EQ(Par(ids[i]), expected, what);
  }
}

/* ---- Gamma ------------------------------------------------------------------------ */

static const int kGammaId = 1191; /* the curve label */
static const int kFileNameId = 0x47C; /* the open-file dialog's file name box */
static char g_gammaFile[MAX_PATH];

/* Waits for the open-file dialog and either names the file and opens it or
 * cancels; then waits for "Download" and "Cancel" to be enabled again. */
static void ChooseGammaFile(HWND gamma, const char* file) {
  ClickLater(gamma, IDOK);
  HWND chooser = WaitDialog(kFileNameId, "the open-file dialog of \"Download\"");
  if (chooser == NULL) return;
  CHECK(!IsWindowEnabled(GetDlgItem(gamma, IDOK)) && !IsWindowEnabled(GetDlgItem(gamma, IDCANCEL)),
        "GAMMA disables its buttons while the file is chosen");
  if (file != NULL) {
    Send(GetDlgItem(chooser, kFileNameId), WM_SETTEXT, 0, (LPARAM)file);
    Close(chooser, IDOK, "the open-file dialog takes the gamma file");
  } else {
    Close(chooser, IDCANCEL, "the open-file dialog is cancelled");
  }
  int enabled = 0;
  for (DWORD waited = 0; !enabled && waited < kWaitMs; waited += 20) {
    enabled = IsWindowEnabled(GetDlgItem(gamma, IDOK)) && IsWindowEnabled(GetDlgItem(gamma, IDCANCEL));
    if (!enabled) Sleep(20);
  }
  CHECK(enabled, "GAMMA enables \"Download\" and \"Cancel\" again");
}

static void GammaCancel(struct Run* run) {
  (void)run;
  HWND d = WaitDialog(kGammaId, "GAMMA");
  if (d == NULL) return;
  ChooseGammaFile(d, NULL);
  Close(d, IDCANCEL, "GAMMA closes with Cancel");
}

static void GammaDownload(struct Run* run) {
  HWND d = WaitDialog(kGammaId, "GAMMA");
  if (d == NULL) return;
  Look(run, d);
  CHECK_EQ(Entries(d, 1001), 1, "GAMMA offers one curve");
  CHECK_EQ(Picked(d, 1001), 0, "GAMMA opens at the first curve");
  ChooseGammaFile(d, g_gammaFile);
  Close(d, IDCANCEL, "GAMMA closes after the download");
}

static void TestGamma(void) {
  unsigned char identity[256], now[256], inverted[256];
  for (int i = 0; i < 256; ++i) identity[i] = (unsigned char)i;
  uintptr_t cell = (uintptr_t)identity;
  CHECK_EQ(g_drv.parSet(PAR_GAMMA, &cell), 0, "TsdParSet of an identity gamma table");

  /* Two header lines, a comment, then 256 values of the inverted curve. */
  static char text[256 * 6 + 64];
  int at = snprintf(text, sizeof text, "GAMMA FILE\r\nINVERTED\r\n; from white to black\r\n");
  for (int i = 0; i < 256; ++i) {
    inverted[i] = (unsigned char)(255 - i);
    at += snprintf(text + at, sizeof text - (size_t)at, "%d\r\n", 255 - i);
  }
  snprintf(g_gammaFile, sizeof g_gammaFile, "%s", WorkPath("inverted.gmm"));
  CHECK(WriteText(g_gammaFile, text), "the gamma file is written");

  Drive(kGamma, GammaCancel, "GAMMA", 0);
  ScannerGamma(now);
  CHECK(memcmp(now, identity, 256) == 0, "GAMMA Cancel leaves the scanner's gamma table");

  Drive(kGamma, GammaDownload, "GAMMA", 1);
  ScannerGamma(now);
  CHECK(memcmp(now, inverted, 256) == 0, "GAMMA \"Download\" puts the file's curve into the scanner");
}

/* ---- all of them ------------------------------------------------------------------ */

static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  return DefWindowProcA(window, message, w, l);
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
  owner.lpfnWndProc = OwnerProc;
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
  if (japanese) {
    /* DETAILS is the Japanese one; SETTING is shown in Japanese too, as
     * SETTING-ja. */
    TestDetails("DETAILS");
    g_pictureSuffix = "-ja";
    TestSettings();
  } else {
    /* The Details runs come first: the Settings dialog's "Detail" leaves
     * its image type behind for them. */
    TestDetails("DETAILS_US");
    TestStartScan();
    TestSettings();
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
