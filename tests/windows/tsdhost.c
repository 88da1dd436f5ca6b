/* tsdhost WORKFOLDER [EXPORTS [SCREENS [LANGUAGE]]]: a Windows host of
 * tarvoscn.dll that checks what only Windows shows: the driver loaded as an
 * application loads it, its export table and version resource, tarvoscn.ini,
 * the ASPI and codec DLLs beside it, documents and pages decoded by the Windows
 * Imaging Component, a log on drive C: and the dialogs drawn from their
 * templates, photographed into SCREENS (with LANGUAGE: only the dialogs, in
 * that language). EXPORTS: the number of names in the driver's export list.
 * Exit status 1 when a check failed, 2 when the host could not run. */
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

static int Check(int ok, const char* what, long got, long expected) {
  InterlockedIncrement(ok ? &g_passed : &g_failed);
  if (!ok) printf("FAIL: %s (got %ld, expected %ld)\n", what, got, expected);
  return ok;
}
static int CheckText(const char* got, const char* expected, const char* what) {
  const int ok = strcmp(got, expected) == 0;
  InterlockedIncrement(ok ? &g_passed : &g_failed);
  if (!ok) printf("FAIL: %s (got \"%s\", expected \"%s\")\n", what, got, expected);
  return ok;
}
static int CheckEq(long got, long expected, const char* what) { return Check(got == expected, what, got, expected); }
#define CHECK_EQ(got, expected, what) CheckEq((long)(got), (long)(expected), what)
#define CHECK(cond, what) CheckEq((cond) ? 1 : 0, 1, what)
#define COUNT(table) (sizeof(table) / sizeof((table)[0]))

typedef uint32_t(TSD_CALL* Fn0)(void);
typedef int32_t(TSD_CALL* ParFn)(int32_t, void*);
typedef uint32_t(TSD_CALL* Dialog2Fn)(HINSTANCE, HWND);
typedef uint32_t(TSD_CALL* Dialog3Fn)(HINSTANCE, HWND, void*);

/* tarvoscn.dll beside the host and its exports by their published names. */
enum DialogExport { kDrvSet, kDetails, kGamma, kImprinter, kFKey, kStartScan };
struct Driver {
  HMODULE module;
  Fn0 probe, stopScan, closeFile, setMode;
  ParFn parSet, parGet;
  uint32_t(TSD_CALL* startScan)(const char*, uint32_t*, uint32_t*);
  uint32_t(TSD_CALL* readPage)(const char*, void*, TsdCancelCallback);
  uint32_t(TSD_CALL* dispErrDlg)(uint32_t);
  uint32_t(TSD_CALL* getDriverName)(char*, char*);
  void* dialogs[6];
};

static char g_hostFolder[MAX_PATH]; /* folder of tsdhost.exe and the DLLs, with its backslash */
static long g_exportCount = 30;

static int LoadDriver(struct Driver* d) {
  static const char* const names[] = {
      "TsdProbe", "TsdStopScan", "TsdCloseFile", "TsdSetModeToScanner", "TsdParSet", "TsdParGet",
      "TsdStartScan", "TsdReadPage", "TsdDispErrDlg", "_TsdGetDriverName@8", "TsdDrvSetDialog",
      "_TsdDetailsSetDialog@12", "_GammaSetDialog@12", "_ImprinterSetDialog@12", "_FKeySetDialog@12",
      "TsdStartScanDialog"};
  void* const slots[] = {&d->probe, &d->stopScan, &d->closeFile, &d->setMode, &d->parSet, &d->parGet,
                         &d->startScan, &d->readPage, &d->dispErrDlg, &d->getDriverName, &d->dialogs[0],
                         &d->dialogs[1], &d->dialogs[2], &d->dialogs[3], &d->dialogs[4], &d->dialogs[5]};
  char path[MAX_PATH];
  int found = 1;
  snprintf(path, sizeof path, "%starvoscn.dll", g_hostFolder);
  d->module = LoadLibraryA(path);
  if (!Check(d->module != NULL, "LoadLibraryA of the driver", (long)GetLastError(), 0L)) return 0;
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
    FARPROC proc = GetProcAddress(d->module, names[i]);
    memcpy(slots[i], &proc, sizeof proc);
    found = found && proc != NULL;
  }
  if (CHECK(found, "the driver's exports are found")) return 1;
  FreeLibrary(d->module);
  return 0;
}

/* The driver loaded and the simulated RT650 found through wnaspi32.dll. */
static int LoadAndProbe(struct Driver* d) { return LoadDriver(d) && CHECK_EQ(d->probe(), 0, "TsdProbe"); }
static void UnloadDriver(struct Driver* d) { CHECK(FreeLibrary(d->module), "FreeLibrary of the driver"); }

static int32_t Get(struct Driver* d, int32_t id) {
  int32_t value = -12345;
  CHECK_EQ(d->parGet(id, &value), 0, "TsdParGet");
  return value;
}

static int Set(struct Driver* d, int32_t id, int32_t value) { return CHECK_EQ(d->parSet(id, &value), 0, "TsdParSet"); }

static int32_t TSD_CALL NeverCancel(void) { return 0; }

static char g_work[MAX_PATH]; /* the work folder, with its backslash */

/* In the work folder (eight rotating buffers). */
static const char* WorkPath(const char* name) {
  static char paths[8][MAX_PATH];
  static int next;
  char* p = paths[next++ % 8];
  snprintf(p, MAX_PATH, "%s%s", g_work, name);
  return p;
}

static int WriteText(const char* path, const char* text) {
  FILE* f = fopen(path, "wb");
  return f != NULL && (fputs(text, f) >= 0) & (fclose(f) == 0);
}

static IWICImagingFactory* g_wic; /* of the first thread */
struct Decoded {
  UINT frames, width, height;
  unsigned char* gray; /* the frame as 8-bit gray */
};

/* Frame `which` of the file; 0 when it cannot. */
static int Decode(const char* path, UINT which, struct Decoded* out) {
  memset(out, 0, sizeof *out);
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
  IWICBitmapDecoder* decoder = NULL;
  IWICBitmapFrameDecode* frame = NULL;
  IWICBitmapSource* colour = NULL;
  int ok = g_wic != NULL &&
           SUCCEEDED(IWICImagingFactory_CreateDecoderFromFilename(
               g_wic, wide, NULL, GENERIC_READ, WICDecodeMetadataCacheOnDemand, &decoder)) &&
           SUCCEEDED(IWICBitmapDecoder_GetFrameCount(decoder, &out->frames)) &&
           which < out->frames && SUCCEEDED(IWICBitmapDecoder_GetFrame(decoder, which, &frame)) &&
           SUCCEEDED(IWICBitmapFrameDecode_GetSize(frame, &out->width, &out->height)) &&
           SUCCEEDED(WICConvertBitmapSource(&GUID_WICPixelFormat32bppBGRA, (IWICBitmapSource*)frame, &colour));
  if (ok) { /* the green channel is the gray */
    const size_t pixels = (size_t)out->width * out->height;
    unsigned char* bgra = (unsigned char*)malloc(pixels * 4 + 4);
    out->gray = (unsigned char*)malloc(pixels + 1);
    ok = bgra != NULL && out->gray != NULL && pixels * 4 <= 0xFFFFFFFFu &&
         SUCCEEDED(IWICBitmapSource_CopyPixels(colour, NULL, out->width * 4, (UINT)(pixels * 4), bgra));
    for (size_t i = 0; ok && i < pixels; ++i) out->gray[i] = bgra[i * 4 + 1];
    free(bgra);
  }
  if (colour != NULL) IWICBitmapSource_Release(colour);
  if (frame != NULL) IWICBitmapFrameDecode_Release(frame);
  if (decoder != NULL) IWICBitmapDecoder_Release(decoder);
  if (!ok) free(out->gray), out->gray = NULL;
  return ok;
}

static char g_ini[MAX_PATH]; /* tarvoscn.ini beside the driver */
static const char kSection[] = "tsdhost.exe";

/* The driver's file name and version resource, its export table, and the
 * host's section of tarvoscn.ini beside it: LANGUAGE from the locale at the
 * first load, ROTATE90 read at the load and written at the unload. */
static void TestLoad(void) {
  struct Driver d;
  char file[MAX_PATH] = {0}, version[64] = {0}, value[64];
  DeleteFileA(g_ini);
  WritePrivateProfileStringA(kSection, "ROTATE90", "TRUE", g_ini);
  if (!LoadDriver(&d)) return;
  GetPrivateProfileStringA(kSection, "LANGUAGE", "", value, sizeof value, g_ini);
  CHECK(value[0] != '\0' && strcmp(value, "NOTDEFINED") != 0, "the first load writes LANGUAGE");
  CHECK_EQ(Get(&d, PAR_ROTATE), 1, "ROTATE90 read at the load");
  Set(&d, PAR_ROTATE, 0);
  CHECK_EQ(d.getDriverName(file, version), 0, "_TsdGetDriverName@8");
  CheckText(file, "tarvoscn.dll", "the driver's file name");
  CheckText(version, "1.007", "the driver's version from its version resource");
  /* The names are checked on the file (scripts/check-exports.sh); here their count. */
  const unsigned char* base = (const unsigned char*)d.module;
  const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY* dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  CHECK_EQ(((const IMAGE_EXPORT_DIRECTORY*)(base + dir->VirtualAddress))->NumberOfNames, g_exportCount,
           "the driver exports as many names as its list");
  CHECK_EQ(d.dispErrDlg(0), 0, "TsdDispErrDlg(0)");
  UnloadDriver(&d);
  GetPrivateProfileStringA(kSection, "ROTATE90", "", value, sizeof value, g_ini);
  CheckText(value, "FALSE", "the unload writes ROTATE90");
}

static unsigned char* g_page;
enum { kPageBufferBytes = 24 << 20 };

/* 200 dpi, 1600 pixels across and 2000 along the feed at the sheet's top left
 * corner (sheets lie at the right of the feeder's 2325 pixels), the given output. */
static int Prepare(struct Driver* d, int imageType, int bits, int fileType, int compression) {
  return Set(d, PAR_RESOLUTION, 200) && Set(d, PAR_SCAN_WIDTH, 1600) &&
         Set(d, PAR_SCAN_LENGTH, 2000) && Set(d, PAR_SIDE_OFFSET, 2325 - 1600) &&
         Set(d, PAR_TOP_OFFSET, 0) && Set(d, PAR_IMAGE_TYPE, imageType) &&
         Set(d, PAR_BITS_PER_PIXEL, bits) && Set(d, PAR_FILE_TYPE, fileType) &&
         Set(d, PAR_COMPRESSION, compression);
}

/* A batch end to end on drive C: on one load: a Group 4 document of three
 * sheets, then a page through each codec DLL beside the driver, JPEG (gray)
 * and the coder's PNG (1 bit). The imaging component decodes the last page of
 * each at the page's size cut to whole bytes, mostly white with some black. A
 * document that cannot be created gives 4 and c:\scan.log names it; the
 * unload releases wnaspi32.dll. */
static void TestScans(void) {
  static const struct { int type, bits, file, compression; UINT pages; const char* name; } outputs[] = {
      {1, 1, TSD_FILE_TIFF, TSD_COMPRESSION_G4, 3, "g4.tif"},
      {4, 8, TSD_FILE_JPEG, TSD_COMPRESSION_JPEG, 1, "page.jpg"},
      {1, 1, TSD_FILE_CODER, TSD_COMPRESSION_CODER, 1, "page.png"}};
  struct Driver d;
  uint32_t position = 0;
  DeleteFileA("c:\\scan.log");
  CHECK(GetFileAttributesA("c:\\scan.log") == INVALID_FILE_ATTRIBUTES, "no log before the failure");
  if (!LoadAndProbe(&d)) return;
  for (size_t i = 0; i < COUNT(outputs); ++i) {
    const char* path = WorkPath(outputs[i].name);
    const UINT pages = outputs[i].pages;
    struct Decoded x = {0, 0, 0, NULL};
    DeleteFileA(path);
    position = 0;
    if (Prepare(&d, outputs[i].type, outputs[i].bits, outputs[i].file, outputs[i].compression) &&
        CHECK_EQ(d.startScan(pages > 1 ? path : NULL, &position, NULL), 0, "TsdStartScan") &&
        CHECK_EQ(pages > 1 ? position : 0, 0, "TsdStartScan of a new document gives no pages before")) {
      for (UINT p = 0; p < pages; ++p) CHECK_EQ(d.readPage(pages > 1 ? NULL : path, g_page, NeverCancel), 0, path);
    }
    if (pages > 1) CHECK_EQ(d.closeFile(), 0, "TsdCloseFile");
    CHECK_EQ(d.stopScan(), 0, "TsdStopScan");
    /* The scanner turns the page: its width is the length, and back. */
    const int32_t width = Get(&d, PAR_PAGE_LENGTH) / 8 * 8, rows = Get(&d, PAR_PAGE_WIDTH);
    unsigned long dark = 0;
    const int ok = Decode(path, pages - 1, &x) && x.frames == pages && x.width == (UINT)width &&
                   x.height == (UINT)rows;
    for (size_t k = 0; ok && k < (size_t)x.width * x.height; ++k) dark += x.gray[k] < 128;
    Check(ok && dark > 0 && dark < (unsigned long)width * rows / 2, path, (long)x.width, (long)width);
    free(x.gray);
  }
  if (Prepare(&d, 1, 1, TSD_FILE_TIFF, TSD_COMPRESSION_G4)) {
    CHECK_EQ(d.startScan(WorkPath("no such folder\\doc.tif"), &position, NULL), 4,
             "a document that cannot be created gives 4");
  }
  d.stopScan();
  UnloadDriver(&d);
  /* The simulator's request threads hold it until they have ended. */
  for (int k = 0; k < 250 && GetModuleHandleA("wnaspi32.dll") != NULL; ++k) Sleep(20);
  CHECK(GetModuleHandleA("wnaspi32.dll") == NULL, "the driver's unload releases wnaspi32.dll");
  char text[4096] = "";
  FILE* f = fopen("c:\\scan.log", "rb");
  if (f != NULL) text[fread(text, 1, sizeof text - 1, f)] = '\0', fclose(f);
  printf("c:\\scan.log: %s", text);
  CHECK(strstr(text, "CreateFile") && strstr(text, "no such folder\\doc.tif"), "c:\\scan.log names what failed");
}

/* Writes the simulator's configuration and names it in RT650SIM_CONFIG; the
 * simulator reads it when wnaspi32.dll is loaded again. */
static int ConfigureSimulator(const char* name, const char* statements) {
  static char variable[MAX_PATH + 32]; /* _putenv keeps the string */
  char text[1024];
  snprintf(text, sizeof text, "%slog %s\n", statements, WorkPath("rt650-wire.log"));
  snprintf(variable, sizeof variable, "RT650SIM_CONFIG=%s", WorkPath(name));
  return WriteText(WorkPath(name), text) && _putenv(variable) == 0;
}

/* ---- The driver's dialogs on screen. The first thread opens each dialog
 * through its export and sits in the modal loop; a second thread, the hand,
 * plays a script on it with window messages, measures the template on screen
 * and photographs it. The first thread then reads back what the dialog stored. */
static struct Driver g_drv;

struct IdValue {
  int32_t id, value;
};

static void SetAll(const struct IdValue* t, size_t n) {
  for (size_t i = 0; i < n; ++i) Set(&g_drv, t[i].id, t[i].value);
}

static void CheckAll(const struct IdValue* t, size_t n, const char* name, const char* how) {
  for (size_t i = 0; i < n; ++i) {
    char what[96];
    snprintf(what, sizeof what, "%s: %s parameter %d", name, how, (int)t[i].id);
    CHECK_EQ(Get(&g_drv, t[i].id), t[i].value, what);
  }
}

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
      printf("%s: control %d reaches outside the dialog\n", template_, GetDlgCtrlID(at)), ++faults[0];
    }
    for (int k = 0; k < count; ++k) {
      if (!IntersectRect(&both, r, &places[k])) continue;
      printf("%s: controls %d and %d overlap\n", template_, GetDlgCtrlID(controls[k]), GetDlgCtrlID(at)), ++faults[1];
    }
    controls[count++] = at;
    const LONG width = r->right - r->left;
    const int button = strcmp(cls, "Button") == 0, check = kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX;
    text[0] = text[sizeof text - 1] = '\0';
    Send(at, WM_GETTEXT, sizeof text - 1, (LPARAM)text);
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
enum Op { kEnd, kPick, kType, kKeys, kPress, kClick, kEnabled, kUnder, kOpen, kSetText, kClose, kEsc,
          kCloseBox };
struct Step {
  enum Op op;
  int control, arg; /* kPress: the key in arg, pressed as often as `text` is long */
  const char* text;
};
struct Run {
  const char* name; /* the template, for messages and the picture */
  int control;      /* the control that only this template has */
  const struct Step *steps, *tail; /* the tail is played after the steps, or NULL */
  int shoot;                       /* measure and photograph it when it appears */
};

/* Plays the steps; `stack` holds the open dialogs, the top one last. */
static void Play(const struct Run* run, const struct Step* s, HWND* stack, int* depth) {
  char what[160];
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
      case kEnabled: /* waited for: the dialog may enable it after a modal loop */
        CHECK_EQ(s->arg ? WaitFor(item, 0) : IsWindowEnabled(item) != 0, s->arg, what);
        break;
      case kUnder: {
        HWND under = *depth > 1 ? stack[*depth - 2] : NULL;
        if (s->control != 0) under = GetDlgItem(under, s->control);
        CHECK_EQ(under != NULL && IsWindowEnabled(under), s->arg, what);
        break;
      }
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
  if ((stack[0] = WaitDialog(run->control, run->name)) != NULL) {
    depth = 1;
    if (run->shoot) CheckLayout(stack[0], run->name), Photograph(stack[0], run->name);
    Play(run, run->steps, stack, &depth);
    if (run->tail != NULL) Play(run, run->tail, stack, &depth);
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

/* Opens the dialog through `which` while the hand plays the steps. */
static void Drive(enum DialogExport which, const char* name, int control, const struct Step* steps,
                  const struct Step* tail, int shoot) {
  struct Run run = {name, control, steps, tail, shoot && g_screens[0] != '\0'};
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

enum { kStartScanId = 1100, kSettingId = 1049, kDetailsId = 1171, kImprinterId = 1090, kFunctionId = 1234,
       kGammaId = 1191, kFileNameId = 0x47C };

/* Drawn (what they store is the controllers' concern, checked headless): each
 * opens, is measured and photographed, and ends with Cancel; "Detail" opens
 * the Details dialog on top of the disabled Settings dialog. */
static void TestDrawn(int japanese) {
  static const struct Step cancel[] = {{kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
  static const struct Step detail[] = {{kOpen, 1003, kDetailsId, 0}, {kUnder, 0, 0, 0}, {kClose, 0, IDCANCEL, 0},
                                       {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
  static const struct {
    enum DialogExport which;
    const char *name, *japanese; /* the Japanese run's template, or NULL: none */
    int control;
    const struct Step* steps;
  } drawn[] = {{kStartScan, "STARTSCAN", NULL, kStartScanId, cancel},
               {kDrvSet, "SETTING", "SETTING-ja", kSettingId, detail},
               {kImprinter, "IMPRINTER", NULL, kImprinterId, cancel},
               {kFKey, "FUNCTION", NULL, kFunctionId, cancel}};
  for (size_t i = 0; i < COUNT(drawn); ++i) {
    const char* name = japanese ? drawn[i].japanese : drawn[i].name;
    if (name != NULL) Drive(drawn[i].which, name, drawn[i].control, drawn[i].steps, NULL, 1);
  }
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
  SetAll(start, COUNT(start));
  for (int i = 0; i < 2; ++i) {
    Drive(kDetails, name, kDetailsId, cancel, ends[i], 0);
    /* Reading a parameter refreshes the record from the scanner: send the
     * record first, so that what Cancel left in it shows. */
    CHECK_EQ(g_drv.setMode(), 0, "TsdSetModeToScanner after Cancel");
    CheckAll(start, COUNT(start), name, "Cancel leaves");
  }
  Drive(kDetails, name, kDetailsId, ok, NULL, 1);
  CheckAll(stored, COUNT(stored), name, "OK stores");
}

/* "Download" opens the open-file dialog; the buttons below wait disabled
 * meanwhile and are enabled again when it has gone. The file: two header
 * lines, a comment, then 256 values of the inverted curve. */
static char g_gammaFile[MAX_PATH];
static void TestGamma(void) {
  static const struct Step download[] = {
      {kOpen, IDOK, kFileNameId, 0}, {kUnder, IDOK, 0, 0}, {kUnder, IDCANCEL, 0, 0},
      {kSetText, kFileNameId, 0, g_gammaFile}, {kClose, 0, IDOK, 0}, {kEnabled, IDOK, 1, 0},
      {kEnabled, IDCANCEL, 1, 0}, {kClose, 0, IDCANCEL, 0}, {kEnd, 0, 0, 0}};
  unsigned char now[256];
  uintptr_t cell = (uintptr_t)now; /* a table parameter: the cell holds the buffer's address */
  static char text[256 * 6 + 64];
  int at = snprintf(text, sizeof text, "GAMMA FILE\r\nINVERTED\r\n; from white to black\r\n");
  for (int i = 0; i < 256; ++i) at += snprintf(text + at, sizeof text - (size_t)at, "%d\r\n", 255 - i);
  snprintf(g_gammaFile, sizeof g_gammaFile, "%s", WorkPath("inverted.gmm"));
  CHECK(WriteText(g_gammaFile, text), "the gamma file is written");
  Drive(kGamma, "GAMMA", kGammaId, download, NULL, 1);
  int inverted = g_drv.parGet(PAR_GAMMA, &cell) == 0;
  for (int i = 0; i < 256; ++i) inverted = inverted && now[i] == 255 - i;
  CHECK(inverted, "GAMMA \"Download\" puts the file's curve into the gamma table");
}

static void TestDialogs(const char* screens, const char* language) {
  g_screens[0] = '\0';
  if (screens != NULL && screens[0] != '\0') {
    snprintf(g_screens, sizeof g_screens, "%s\\", screens);
    CreateDirectoryA(screens, NULL);
  }
  g_uiThread = GetCurrentThreadId();
  g_exportDone = CreateEventA(NULL, TRUE, FALSE, NULL);
  WNDCLASSA owner = {.lpfnWndProc = DefWindowProcA, .hInstance = GetModuleHandleA(NULL),
                     .hbrBackground = (HBRUSH)(COLOR_APPWORKSPACE + 1), .lpszClassName = "TsdHostWindow"};
  RegisterClassA(&owner);
  g_owner = CreateWindowA("TsdHostWindow", "tsdhost", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 200, NULL,
                          NULL, owner.hInstance, NULL);
  WritePrivateProfileStringA(kSection, "LANGUAGE", language, g_ini);
  if (!CHECK(g_exportDone != NULL && g_owner != NULL, "the host's window for the dialogs") ||
      !LoadAndProbe(&g_drv)) {
    return;
  }
  const int japanese = strcmp(language, "Japanese") == 0;
  /* Details first: the Settings dialog's "Detail" leaves its image type
   * behind. DETAILS is the Japanese template. */
  TestDetails(japanese ? "DETAILS" : "DETAILS_US");
  TestDrawn(japanese);
  if (!japanese) TestGamma();
  /* "Rotate Image" of the Details dialog outlives the driver: the unload
   * writes it into the settings file. */
  CHECK(FreeLibrary(g_drv.module), "FreeLibrary of the driver after the dialogs");
  char value[32];
  GetPrivateProfileStringA(kSection, "ROTATE90", "", value, sizeof value, g_ini);
  CheckText(value, "TRUE", "the Details dialog's rotation reaches ROTATE90 at the unload");
  DestroyWindow(g_owner);
  CloseHandle(g_exportDone);
}

int main(int argc, char** argv) {
  if (argc < 2 || argc > 5) return fprintf(stderr, "usage: tsdhost WORKFOLDER [EXPORTS [SCREENS [LANGUAGE]]]\n"), 2;
  if (argc >= 3) g_exportCount = strtol(argv[2], NULL, 10);
  const char *screens = argc >= 4 ? argv[3] : NULL, *language = argc >= 5 ? argv[4] : NULL;
  setvbuf(stdout, NULL, _IONBF, 0);
  snprintf(g_work, sizeof g_work, "%s\\", argv[1]);
  CreateDirectoryA(argv[1], NULL);
  DWORD n = GetModuleFileNameA(NULL, g_hostFolder, sizeof g_hostFolder);
  while (n > 0 && g_hostFolder[n - 1] != '\\') --n;
  g_hostFolder[n] = '\0';
  snprintf(g_ini, sizeof g_ini, "%starvoscn.ini", g_hostFolder);

  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
  CHECK(InitCommonControlsEx(&controls), "InitCommonControlsEx registers the trackbar and up-down");
  /* Twelve synthetic sheets at 200 dpi; requests complete later, with
   * SetEvent on the request's event. */
  const int configured = ConfigureSimulator("rt650sim.conf", "synthetic 12 seed 5 dpi 200\ncompletion pending 1\n");
  g_page = (unsigned char*)malloc(kPageBufferBytes);
  const HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
  CoCreateInstance(&CLSID_WICImagingFactory, NULL, CLSCTX_INPROC_SERVER, &IID_IWICImagingFactory,
                   (void**)&g_wic);
  if (!configured || g_page == NULL || g_wic == NULL) {
    return fprintf(stderr, "tsdhost: no simulator configuration, page buffer or imaging component\n"), 2;
  }
  if (language == NULL) {
    TestLoad();
    TestScans();
  }
  if (screens != NULL) TestDialogs(screens, language != NULL ? language : "English");

  IWICImagingFactory_Release(g_wic);
  if (SUCCEEDED(com)) CoUninitialize();
  free(g_page);
  printf("%ld passed, %ld failed\n", (long)g_passed, (long)g_failed);
  return g_failed == 0 ? 0 : 1;
}
