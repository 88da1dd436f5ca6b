/* tsdhost WORKFOLDER [EXPORTS [SCREENS [LANGUAGE]]]: tarvoscn.dll loaded and
 * driven as a Windows application drives it, its pages decoded by the Windows
 * Imaging Component; with SCREENS its dialogs on screen, photographed there
 * (with LANGUAGE only the dialogs, in that language). EXPORTS: the number of
 * names in the driver's export list. Exit status 1: a check failed, 2: the
 * host could not run. */
#define COBJMACROS
#include <windows.h>
#include <commctrl.h>
#include <wincodec.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tarvoscn.h"

/* The dialog checks run on a second thread: the counts are interlocked. */
static volatile LONG g_passed, g_failed;
static int CheckEq(long got, long expected, const char* what) {
  InterlockedIncrement(got == expected ? &g_passed : &g_failed);
  if (got != expected) printf("FAIL: %s (got %ld, expected %ld)\n", what, got, expected);
  return got == expected;
}
#define CHECK_EQ(got, expected, what) CheckEq((long)(got), (long)(expected), what)
#define CHECK(cond, what) CheckEq((cond) ? 1 : 0, 1, what)
#define COUNT(table) (sizeof(table) / sizeof((table)[0]))

typedef uint32_t(TSD_CALL* Fn0)(void);
typedef uint32_t(TSD_CALL* Dialog2Fn)(HINSTANCE, HWND);
typedef uint32_t(TSD_CALL* Dialog3Fn)(HINSTANCE, HWND, void*);

/* tarvoscn.dll beside the host and its exports by their published names. */
static struct {
  HMODULE module;
  Fn0 probe, stopScan, closeFile, setMode;
  int32_t(TSD_CALL* parSet)(int32_t, void*);
  int32_t(TSD_CALL* parGet)(int32_t, void*);
  uint32_t(TSD_CALL* startScan)(const char*, uint32_t*, uint32_t*);
  uint32_t(TSD_CALL* readPage)(const char*, void*, TsdCancelCallback);
  uint32_t(TSD_CALL* getDriverName)(char*, char*);
} g_drv;
static char g_ini[MAX_PATH]; /* tarvoscn.ini beside the driver */
static const char kSection[] = "tsdhost.exe";

/* The driver loaded from the host's folder; the RT650 found through wnaspi32.dll. */
static int LoadAndProbe(void) {
  static const char* const names[] = {"TsdProbe",  "TsdStopScan", "TsdCloseFile", "TsdSetModeToScanner",
                                      "TsdParSet", "TsdParGet",   "TsdStartScan", "TsdReadPage", "_TsdGetDriverName@8"};
  void* const slots[] = {&g_drv.probe,  &g_drv.stopScan,  &g_drv.closeFile, &g_drv.setMode,      &g_drv.parSet,
                         &g_drv.parGet, &g_drv.startScan, &g_drv.readPage,  &g_drv.getDriverName};
  int found = (g_drv.module = LoadLibraryA("tarvoscn.dll")) != NULL;
  for (size_t i = 0; found && i < COUNT(names); ++i) {
    FARPROC proc = GetProcAddress(g_drv.module, names[i]);
    memcpy(slots[i], &proc, sizeof proc);
    found = proc != NULL;
  }
  return CHECK(found, "LoadLibraryA of the driver and its exports") && CHECK_EQ(g_drv.probe(), 0, "TsdProbe");
}

static int32_t Get(int32_t id) {
  int32_t value = -12345;
  CHECK_EQ(g_drv.parGet(id, &value), 0, "TsdParGet");
  return value;
}
static int Set(int32_t id, int32_t value) { return CHECK_EQ(g_drv.parSet(id, &value), 0, "TsdParSet"); }
static int32_t TSD_CALL NeverCancel(void) { return 0; }

/* Frame `which` of the file as 8-bit gray (malloc'd), its frame count and size; NULL when it cannot. */
static IWICImagingFactory* g_wic; /* of the first thread */
static unsigned char* Decode(const char* path, UINT which, UINT* frames, UINT* width, UINT* height) {
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
  IWICBitmapDecoder* decoder = NULL;
  IWICBitmapFrameDecode* frame = NULL;
  IWICBitmapSource* bgra = NULL;
  unsigned char* pixels = NULL;
  if (SUCCEEDED(IWICImagingFactory_CreateDecoderFromFilename(g_wic, wide, NULL, GENERIC_READ,
                                                             WICDecodeMetadataCacheOnDemand, &decoder)) &&
      SUCCEEDED(IWICBitmapDecoder_GetFrameCount(decoder, frames)) && which < *frames &&
      SUCCEEDED(IWICBitmapDecoder_GetFrame(decoder, which, &frame)) &&
      SUCCEEDED(IWICBitmapFrameDecode_GetSize(frame, width, height)) &&
      SUCCEEDED(WICConvertBitmapSource(&GUID_WICPixelFormat32bppBGRA, (IWICBitmapSource*)frame, &bgra)) &&
      (pixels = (unsigned char*)malloc((size_t)*width * *height * 4 + 4)) != NULL) {
    if (SUCCEEDED(IWICBitmapSource_CopyPixels(bgra, NULL, *width * 4, *width * *height * 4, pixels))) {
      for (size_t i = 0; i < (size_t)*width * *height; ++i) pixels[i] = pixels[i * 4 + 1]; /* green: the gray */
    } else {
      free(pixels), pixels = NULL;
    }
  }
  if (bgra != NULL) IWICBitmapSource_Release(bgra);
  if (frame != NULL) IWICBitmapFrameDecode_Release(frame);
  if (decoder != NULL) IWICBitmapDecoder_Release(decoder);
  return pixels;
}

static int WriteText(const char* path, const char* text) {
  FILE* f = fopen(path, "wb");
  return f != NULL && (fputs(text, f) >= 0) & (fclose(f) == 0);
}

/* One load: ROTATE90 of the host's section of tarvoscn.ini read, the driver's
 * name, version resource and export table; a JPEG page through klxjpeg.dll and
 * a Group 4 document of three sheets, each decoded at the turned page's size
 * cut to whole bytes, mostly white with some black; the unload releases
 * wnaspi32.dll. The window: 1600 by 2000 pixels at 200 dpi at the sheet's
 * corner (sheets lie at the right of the feeder's 2325 pixels). */
static void TestLoadAndScan(long exports) {
  static const struct { int type, bits, file, compression; UINT pages; const char* path; } outputs[] = {
      {4, 8, TSD_FILE_JPEG, TSD_COMPRESSION_JPEG, 1, "page.jpg"}, {1, 1, TSD_FILE_TIFF, TSD_COMPRESSION_G4, 3, "g4.tif"}};
  char file[MAX_PATH] = "", version[64] = "";
  uint32_t position = 0;
  unsigned char* page = (unsigned char*)malloc(24 << 20);
  WritePrivateProfileStringA(kSection, "ROTATE90", "TRUE", g_ini);
  if (!CHECK(page != NULL, "the page buffer") || !LoadAndProbe()) return;
  CHECK_EQ(Get(PAR_ROTATE), 1, "ROTATE90 read at the load");
  CHECK(g_drv.getDriverName(file, version) == 0 && !strcmp(file, "tarvoscn.dll") && !strcmp(version, "1.007"),
        "the driver's file name and version resource");
  const unsigned char* base = (const unsigned char*)g_drv.module;
  const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
  const DWORD table = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress;
  CHECK_EQ(((const IMAGE_EXPORT_DIRECTORY*)(base + table))->NumberOfNames, exports, "the names the driver exports");
  Set(PAR_ROTATE, 0), Set(PAR_RESOLUTION, 200), Set(PAR_SCAN_WIDTH, 1600), Set(PAR_SCAN_LENGTH, 2000);
  Set(PAR_SIDE_OFFSET, 2325 - 1600), Set(PAR_TOP_OFFSET, 0);
  for (size_t i = 0; i < COUNT(outputs); ++i) {
    const char* path = outputs[i].path;
    const UINT pages = outputs[i].pages;
    UINT frames = 0, width = 0, height = 0;
    DeleteFileA(path);
    Set(PAR_IMAGE_TYPE, outputs[i].type), Set(PAR_BITS_PER_PIXEL, outputs[i].bits);
    Set(PAR_FILE_TYPE, outputs[i].file), Set(PAR_COMPRESSION, outputs[i].compression);
    if (CHECK_EQ(g_drv.startScan(pages > 1 ? path : NULL, &position, NULL), 0, "TsdStartScan")) {
      for (UINT p = 0; p < pages; ++p) CHECK_EQ(g_drv.readPage(pages > 1 ? NULL : path, page, NeverCancel), 0, path);
    }
    if (pages > 1) CHECK_EQ(g_drv.closeFile(), 0, "TsdCloseFile");
    CHECK_EQ(g_drv.stopScan(), 0, "TsdStopScan");
    /* The scanner turns the page: its width is the length, and back. */
    const UINT across = (UINT)Get(PAR_PAGE_LENGTH) / 8 * 8, rows = (UINT)Get(PAR_PAGE_WIDTH);
    unsigned char* gray = Decode(path, pages - 1, &frames, &width, &height);
    unsigned long dark = 0;
    for (size_t k = 0; gray != NULL && k < (size_t)width * height; ++k) dark += gray[k] < 128;
    CHECK(gray != NULL && frames == pages && width == across && height == rows, path);
    CHECK(dark > 0 && dark < across * rows / 2, "the page is mostly white with some black");
    free(gray);
  }
  CHECK(FreeLibrary(g_drv.module), "FreeLibrary of the driver");
  /* The simulator's request threads hold it until they have ended. */
  for (int k = 0; k < 250 && GetModuleHandleA("wnaspi32.dll") != NULL; ++k) Sleep(20);
  CHECK(GetModuleHandleA("wnaspi32.dll") == NULL, "the driver's unload releases wnaspi32.dll");
  free(page);
}

/* ---- The dialogs on screen. The first thread opens each dialog through its
 * export and sits in the modal loop; a second thread, the hand, measures and
 * photographs it and plays a script on it with window messages. */
static DWORD g_uiThread;         /* the thread that runs the modal loops */
static HANDLE g_exportDone;      /* set when the dialog export has returned */
static HWND g_owner;             /* the host's window, owner of the dialogs */
static char g_screens[MAX_PATH]; /* where the pictures go, with its backslash */
static IWICImagingFactory* g_handWic;
enum { kWaitMs = 10000 };

static LRESULT Send(HWND window, UINT message, WPARAM w, LPARAM l) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, message, w, l, SMTO_NORMAL, 5000, &result) ? (LRESULT)result : 0;
}

/* The visible, enabled dialog of the first thread that has `control` (0: any). */
static HWND FindDialog(int control) {
  HWND w = NULL;
  while ((w = FindWindowExA(NULL, w, "#32770", NULL)) != NULL) {
    if (GetWindowThreadProcessId(w, NULL) == g_uiThread && IsWindowVisible(w) && IsWindowEnabled(w) &&
        (control == 0 || GetDlgItem(w, control) != NULL)) {
      return w;
    }
  }
  return NULL;
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
  RECT places[kMax], client, both;
  int count = 0, faults = 0, buttonSeen = 0;
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
      printf("%s: control %d reaches outside the dialog\n", template_, GetDlgCtrlID(at)), ++faults;
    }
    for (int k = 0; k < count; ++k) {
      if (!IntersectRect(&both, r, &places[k])) continue;
      printf("%s: controls %d and %d overlap\n", template_, GetDlgCtrlID(controls[k]), GetDlgCtrlID(at)), ++faults;
    }
    controls[count++] = at;
    const LONG width = r->right - r->left;
    const int button = strcmp(cls, "Button") == 0, check = kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX;
    text[0] = text[sizeof text - 1] = '\0';
    Send(at, WM_GETTEXT, sizeof text - 1, (LPARAM)text);
    if (strcmp(cls, "Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT) {
      faults += !Fits(template_, at, text, width);
    } else if (button) { /* a check box's box and gap, a button's edges */
      faults += !Fits(template_, at, text, check ? width - GetSystemMetrics(SM_CXMENUCHECK) - 4 : width - 6);
    }
    const int entries = strcmp(cls, "ComboBox") == 0 ? (int)Send(at, CB_GETCOUNT, 0, 0) : 0;
    for (int e = 0; e < entries && e < 32; ++e) { /* the list's button and margins */
      if (Send(at, CB_GETLBTEXTLEN, (WPARAM)e, 0) >= (LRESULT)sizeof text) continue;
      Send(at, CB_GETLBTEXT, (WPARAM)e, (LPARAM)text);
      faults += !Fits(template_, at, text, width - GetSystemMetrics(SM_CXVSCROLL) - 6);
    }
    if (!(style & WS_TABSTOP)) continue;
    const int push = button && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON);
    if (buttonSeen && !push) printf("%s: tab stop %d after the push buttons\n", template_, GetDlgCtrlID(at)), ++faults;
    buttonSeen = buttonSeen || push;
  }
  CHECK_EQ(faults, 0, template_);
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
  BITMAPINFO info = {{sizeof info.bmiHeader, (LONG)width, -(LONG)height, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {{0, 0, 0, 0}}};
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
  char path[MAX_PATH];
  snprintf(path, sizeof path, "%s%s.png", g_screens, name);
  CHECK(ok && WritePng(path, bits, width, height, stride) && dark > 100 && dark < width * height / 2, path);
  if (bitmap != NULL) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
}

/* The hand's actions on dialog d, sent: done when they return. A list entry
 * picked as the keyboard does (the selection, the change, the close-up). */
static void Pick(HWND d, int control, int entry) {
  HWND item = GetDlgItem(d, control);
  Send(item, CB_SETCURSEL, (WPARAM)entry, 0);
  Send(d, WM_COMMAND, MAKEWPARAM(control, CBN_SELCHANGE), (LPARAM)item);
  Send(d, WM_COMMAND, MAKEWPARAM(control, CBN_CLOSEUP), (LPARAM)item);
}
/* The text key by key into the edit; with `tab` Tab after it: the edit reports the lost focus. */
static void Type(HWND d, int control, const char* text, int tab) {
  HWND item = GetDlgItem(d, control);
  Send(d, WM_NEXTDLGCTL, (WPARAM)item, TRUE);
  Send(item, EM_SETSEL, 0, -1);
  Send(item, WM_CHAR, VK_BACK, 0);
  for (; *text != '\0'; ++text) Send(item, WM_CHAR, (WPARAM)(BYTE)*text, 1);
  if (tab) Send(d, WM_NEXTDLGCTL, 0, FALSE);
}
static void Press(HWND d, int control, WPARAM key, int times) {
  for (HWND item = GetDlgItem(d, control); times-- > 0;) {
    Send(item, WM_KEYDOWN, key, 1), Send(item, WM_KEYUP, key, 0xC0000001u);
  }
}
static void Click(HWND d, int control) { Send(GetDlgItem(d, control), BM_CLICK, 0, 0); }
static int Enabled(HWND d, int control) { return IsWindowEnabled(GetDlgItem(d, control)) != 0; }
/* Posted, as their handling runs another modal loop: a click on the button
 * that opens the dialog that alone has `only`, which is returned; a click on
 * `control` (key 0) or the key in it that ends d, after which `below` (or
 * NULL) must take input again. */
static HWND Open(HWND d, int control, int only) {
  PostMessageA(GetDlgItem(d, control), BM_CLICK, 0, 0);
  return WaitDialog(only, "the dialog opened by a button");
}
static void End(HWND d, int control, WPARAM key, HWND below) {
  PostMessageA(GetDlgItem(d, control), key != 0 ? WM_KEYDOWN : BM_CLICK, key, key != 0);
  CHECK(WaitFor(d, 1), "the dialog ends");
  if (below != NULL) CHECK(WaitFor(below, 0), "the dialog below takes input again");
}

enum { kStartScanId = 1100, kSettingId = 1049, kDetailsId = 1171, kImprinterId = 1090, kFunctionId = 1234,
       kGammaId = 1191, kFileNameId = 0x47C };
static char g_gammaFile[MAX_PATH];

static void Cancel(HWND d) { End(d, IDCANCEL, 0, NULL); }
/* Every control kind; the margin: -25 is -10, three steps right; AE: 20 is 17, two down. */
static void DetailsOk(HWND d) {
  CHECK(!Enabled(d, 1171), "the margin slider waits for its switch");
  Pick(d, 1175, 1), Pick(d, 1001, 2), Click(d, 1182), Click(d, 1026), Click(d, 1235);
  CHECK(WaitFor(GetDlgItem(d, 1171), 0), "the margin switch enables its slider");
  Type(d, 1172, "-25", 1), Press(d, 1171, VK_RIGHT, 3), Type(d, 1052, "20", 1);
  Press(d, 1228, VK_DOWN, 2), Press(d, 1037, VK_LEFT, 1);
  End(d, IDOK, 0, NULL);
}
/* "Detail" opens the Details dialog over the disabled Settings dialog; Esc
 * ends it while a typed number still has the focus. */
static void SettingsDetail(HWND d) {
  HWND details = Open(d, 1003, kDetailsId);
  if (details != NULL && CHECK(!IsWindowEnabled(d), "the Settings dialog waits under the Details dialog")) {
    Type(details, 1172, "-9", 0);
    End(details, 1172, VK_ESCAPE, d);
  }
  Cancel(d);
}
/* "Download" opens the open-file dialog; the buttons below wait disabled meanwhile. */
static void GammaDownload(HWND d) {
  HWND open = Open(d, IDOK, kFileNameId);
  if (open != NULL && CHECK(!Enabled(d, IDOK) && !Enabled(d, IDCANCEL), "the Gamma dialog's buttons wait")) {
    Send(GetDlgItem(open, kFileNameId), WM_SETTEXT, 0, (LPARAM)g_gammaFile);
    End(open, IDOK, 0, GetDlgItem(d, IDOK));
    CHECK(WaitFor(GetDlgItem(d, IDCANCEL), 0), "the Gamma dialog's buttons take input again");
  }
  Cancel(d);
}

struct Run {
  const char* name; /* the template, for messages and the picture */
  int control;      /* the control that only this template has */
  void (*script)(HWND);
};
static DWORD WINAPI HandThread(LPVOID p) {
  const struct Run* run = (const struct Run*)p;
  const HRESULT com = CoInitializeEx(NULL, COINIT_MULTITHREADED);
  g_handWic = NULL;
  CoCreateInstance(&CLSID_WICImagingFactory, NULL, CLSCTX_INPROC_SERVER, &IID_IWICImagingFactory,
                   (void**)&g_handWic);
  HWND dialog = WaitDialog(run->control, run->name);
  if (dialog != NULL) CheckLayout(dialog, run->name), Photograph(dialog, run->name), run->script(dialog);
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

/* Opens the dialog through its export while the hand plays the script; the
 * decorated exports take three arguments. */
static void Drive(const char* export, const char* name, int control, void (*script)(HWND)) {
  struct Run run = {name, control, script};
  printf("-- %s\n", name);
  FARPROC fn = GetProcAddress(g_drv.module, export);
  ResetEvent(g_exportDone);
  HANDLE thread = CHECK(fn != NULL, export) ? CreateThread(NULL, 0, HandThread, &run, 0, NULL) : NULL;
  if (!CHECK(thread != NULL, "the hand's thread starts")) return;
  Dialog2Fn two;
  Dialog3Fn three;
  memcpy(&two, &fn, sizeof fn);
  memcpy(&three, &fn, sizeof fn);
  HINSTANCE instance = (HINSTANCE)g_drv.module;
  if (export[0] == '_') three(instance, g_owner, NULL); else two(instance, g_owner);
  SetEvent(g_exportDone);
  /* The hand may still send to this thread's windows while it ends. */
  for (DWORD waited = 0; waited < 4 * kWaitMs; waited += 50) {
    if (MsgWaitForMultipleObjects(1, &thread, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0) break;
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) TranslateMessage(&msg), DispatchMessageA(&msg);
  }
  CloseHandle(thread);
}

/* Each dialog opened once through its export, measured, photographed and
 * driven: what OK stores; a number typed before Esc does not come back; the
 * curve of the file chosen in the open-file dialog is loaded. */
static void TestDialogs(const char* screens, const char* language) {
  static const struct { int32_t id, start, stored; } details[] = {
      {PAR_POLARITY, 0, 1},       {PAR_BATCH_MODE, 1, 3}, {PAR_ROTATE, 0, 1},        {PAR_MARGIN_SCAN, 0, 1},
      {PAR_MARGIN_AMOUNT, 0, -7}, {PAR_AE, 9, 15},        {PAR_EDGE_EMPHASIS, 3, 2}, {PAR_BACKGROUND_ERASE, 0, 1}};
  const int japanese = strcmp(language, "Japanese") == 0;
  char what[96], value[32];
  snprintf(g_screens, sizeof g_screens, "%s\\", screens);
  CreateDirectoryA(screens, NULL);
  g_uiThread = GetCurrentThreadId();
  g_exportDone = CreateEventA(NULL, TRUE, FALSE, NULL);
  WNDCLASSA owner = {.lpfnWndProc = DefWindowProcA, .hInstance = GetModuleHandleA(NULL),
                     .hbrBackground = (HBRUSH)(COLOR_APPWORKSPACE + 1), .lpszClassName = "TsdHostWindow"};
  RegisterClassA(&owner);
  g_owner = CreateWindowA("TsdHostWindow", "tsdhost", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 200, NULL,
                          NULL, owner.hInstance, NULL);
  WritePrivateProfileStringA(kSection, "LANGUAGE", language, g_ini);
  if (!CHECK(g_exportDone != NULL && g_owner != NULL, "the host's window for the dialogs") || !LoadAndProbe()) return;
  for (size_t i = 0; i < COUNT(details); ++i) Set(details[i].id, details[i].start);
  /* Details first: the Settings dialog's "Detail" leaves its image type behind. */
  Drive("_TsdDetailsSetDialog@12", japanese ? "DETAILS" : "DETAILS_US", kDetailsId, DetailsOk);
  for (size_t i = 0; i < COUNT(details); ++i) {
    snprintf(what, sizeof what, "the Details dialog's OK stores parameter %d", (int)details[i].id);
    CHECK_EQ(Get(details[i].id), details[i].stored, what);
  }
  Drive("TsdDrvSetDialog", japanese ? "SETTING-ja" : "SETTING", kSettingId, SettingsDetail);
  /* Reading a parameter refreshes the record from the scanner: the record is sent first. */
  CHECK_EQ(g_drv.setMode(), 0, "TsdSetModeToScanner");
  CHECK_EQ(Get(PAR_MARGIN_AMOUNT), -7, "Esc leaves the margin the number typed before it");
  if (!japanese) {
    Drive("TsdStartScanDialog", "STARTSCAN", kStartScanId, Cancel);
    Drive("_ImprinterSetDialog@12", "IMPRINTER", kImprinterId, Cancel);
    Drive("_FKeySetDialog@12", "FUNCTION", kFunctionId, Cancel);
    static char text[256 * 6 + 64];
    int at = snprintf(text, sizeof text, "GAMMA FILE\r\nINVERTED\r\n; from white to black\r\n");
    for (int i = 0; i < 256; ++i) at += snprintf(text + at, sizeof text - (size_t)at, "%d\r\n", 255 - i);
    CHECK(GetFullPathNameA("inverted.gmm", MAX_PATH, g_gammaFile, NULL) && WriteText(g_gammaFile, text), "inverted.gmm");
    Drive("_GammaSetDialog@12", "GAMMA", kGammaId, GammaDownload);
    unsigned char now[256];
    uintptr_t cell = (uintptr_t)now; /* a table parameter: the cell holds the buffer's address */
    int inverted = g_drv.parGet(PAR_GAMMA, &cell) == 0;
    for (int i = 0; i < 256; ++i) inverted = inverted && now[i] == 255 - i;
    CHECK(inverted, "GAMMA \"Download\" puts the file's curve into the gamma table");
  }
  /* "Rotate Image" of the Details dialog outlives the driver: the unload writes it. */
  CHECK(FreeLibrary(g_drv.module), "FreeLibrary of the driver after the dialogs");
  GetPrivateProfileStringA(kSection, "ROTATE90", "", value, sizeof value, g_ini);
  CHECK(strcmp(value, "TRUE") == 0, "the Details dialog's rotation reaches ROTATE90 at the unload");
  DestroyWindow(g_owner);
  CloseHandle(g_exportDone);
}

int main(int argc, char** argv) {
  if (argc < 2 || argc > 5) return fprintf(stderr, "usage: tsdhost WORKFOLDER [EXPORTS [SCREENS [LANGUAGE]]]\n"), 2;
  const char *screens = argc >= 4 ? argv[3] : NULL, *language = argc >= 5 ? argv[4] : NULL;
  setvbuf(stdout, NULL, _IONBF, 0);
  DWORD n = GetModuleFileNameA(NULL, g_ini, MAX_PATH);
  while (n > 0 && g_ini[n - 1] != '\\') --n;
  snprintf(g_ini + n, sizeof g_ini - n, "tarvoscn.ini");
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
  CHECK(InitCommonControlsEx(&controls), "InitCommonControlsEx registers the trackbar and up-down");
  /* In the work folder: twelve synthetic sheets at 200 dpi, requests completed
   * later with SetEvent on the request's event; read when wnaspi32.dll loads. */
  static char config[MAX_PATH + 16] = "RT650SIM_CONFIG="; /* _putenv keeps the string */
  CreateDirectoryA(argv[1], NULL);
  const int configured =
      SetCurrentDirectoryA(argv[1]) &&
      WriteText("rt650sim.conf", "synthetic 12 seed 5 dpi 200\ncompletion pending 1\nlog rt650-wire.log\n") &&
      GetFullPathNameA("rt650sim.conf", MAX_PATH, config + 16, NULL) && _putenv(config) == 0;
  const HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
  CoCreateInstance(&CLSID_WICImagingFactory, NULL, CLSCTX_INPROC_SERVER, &IID_IWICImagingFactory,
                   (void**)&g_wic);
  if (!configured || g_wic == NULL) return fprintf(stderr, "tsdhost: no simulator configuration or imaging component\n"), 2;
  if (language == NULL) TestLoadAndScan(argc >= 3 ? strtol(argv[2], NULL, 10) : 30);
  if (screens != NULL && screens[0] != '\0') TestDialogs(screens, language != NULL ? language : "English");
  IWICImagingFactory_Release(g_wic);
  if (SUCCEEDED(com)) CoUninitialize();
  printf("%ld passed, %ld failed\n", (long)g_passed, (long)g_failed);
  return g_failed == 0 ? 0 : 1;
}
