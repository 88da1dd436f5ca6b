/*
 * tsdhost - a Windows host of tarvoscn.dll, run under Wine or on Windows.
 *
 * It does what a scanning application does: loads the driver with
 * LoadLibraryA, finds the exports with GetProcAddress (the five decorated
 * names as published), registers the common controls, and scans from the
 * RT650 simulator (wnaspi32.dll beside it, configured through
 * RT650SIM_CONFIG). It checks every outcome itself: the driver's result
 * codes, the settings file beside the driver, the documents (walked here and
 * decoded by the Windows Imaging Component), the JPEG, BMP and PNG pages,
 * ConcatTiff, ChangeDocname and the diagnostics log on drive C:.
 *
 * Usage: tsdhost WORKFOLDER [EXPORTS [SCREENS [LANGUAGE]]]
 *   the DLLs are beside tsdhost.exe; EXPORTS is the number of names in the
 *   driver's export list (30 when not given). With SCREENS (a folder) the
 *   dialogs are opened on screen as well, driven, checked and photographed
 *   there (dialogs.c); with LANGUAGE only the dialogs run, in that language
 *   ("Japanese" for the DETAILS template), else they run in English after
 *   the other checks.
 * Prints one line per failed check and "N passed, M failed"; exit status 1
 * when a check failed, 2 when the host could not run.
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

/* ---- checks ------------------------------------------------------------- */

/* The dialog checks run on a second thread while the first one sits in a
 * dialog's modal loop, so the counts are interlocked. */
static volatile LONG g_passed;
static volatile LONG g_failed;

int Check(int ok, const char* what, long got, long expected) {
  if (ok) {
    InterlockedIncrement(&g_passed);
  } else {
    InterlockedIncrement(&g_failed);
    printf("FAIL: %s (got %ld, expected %ld)\n", what, got, expected);
  }
  return ok;
}
int CheckEq(long got, long expected, const char* what) {
  return Check(got == expected, what, got, expected);
}
int CheckTrue(int ok, const char* what) { return Check(ok, what, (long)ok, 1L); }

int CheckText(const char* got, const char* expected, const char* what) {
  const int ok = strcmp(got, expected) == 0;
  if (!ok) printf("FAIL: %s (got \"%s\", expected \"%s\")\n", what, got, expected);
  if (ok) InterlockedIncrement(&g_passed); else InterlockedIncrement(&g_failed);
  return ok;
}

/* ---- the driver ------------------------------------------------------------ */

typedef uint32_t(TSD_CALL* Fn0)(void);
typedef uint32_t(TSD_CALL* Fn1)(void*);
typedef uint32_t(TSD_CALL* Fn2)(const void*, void*);
typedef int32_t(TSD_CALL* ParFn)(int32_t, void*);
typedef uint32_t(TSD_CALL* StartFn)(const char*, uint32_t*, uint32_t*);
typedef uint32_t(TSD_CALL* ReadFn)(const char*, void*, TsdCancelCallback);
typedef int32_t(TSD_CALL* TiffFn)(const char*, const char*);
typedef void(TSD_CALL* NameFn)(const char*);

struct Driver {
  HMODULE module;
  Fn0 probe, contScan, stopScan, closeFile;
  ParFn parSet, parGet;
  StartFn startScan;
  ReadFn readPage;
  TiffFn concatTiff, changeDocname;
  NameFn docnameSet;
  Fn1 getScannerName, dispErrDlg;
  Fn2 getDriverName;
};

static void* Export(HMODULE module, const char* name) {
  FARPROC proc = GetProcAddress(module, name);
  void* address;
  memcpy(&address, &proc, sizeof address);
  return address;
}

char g_hostFolder[MAX_PATH];           /* folder of tsdhost.exe, with its backslash */
static long g_exportCount = 30; /* names the driver's export list holds */

static int LoadDriver(struct Driver* d) {
  char path[MAX_PATH];
  memset(d, 0, sizeof *d);
  snprintf(path, sizeof path, "%starvoscn.dll", g_hostFolder);
  d->module = LoadLibraryA(path);
  if (d->module == NULL) {
    Check(0, "LoadLibraryA of the driver", (long)GetLastError(), 0L);
    return 0;
  }
  const struct { const char* name; void* slot; } binds[] = {
      {"TsdProbe", &d->probe}, {"TsdContScan", &d->contScan}, {"TsdStopScan", &d->stopScan},
      {"TsdCloseFile", &d->closeFile}, {"TsdParSet", &d->parSet}, {"TsdParGet", &d->parGet},
      {"TsdStartScan", &d->startScan}, {"TsdReadPage", &d->readPage},
      {"ConcatTiff", &d->concatTiff}, {"ChangeDocname", &d->changeDocname},
      {"TsdDocnameSet", &d->docnameSet}, {"TsdGetScannerName", &d->getScannerName},
      {"TsdDispErrDlg", &d->dispErrDlg}, {"_TsdGetDriverName@8", &d->getDriverName}};
  int ok = 1;
  for (size_t i = 0; i < sizeof binds / sizeof binds[0]; ++i) {
    void* a = Export(d->module, binds[i].name);
    memcpy(binds[i].slot, &a, sizeof a);
    ok = ok && a != NULL;
  }
  if (!CHECK(ok, "the host's exports are found")) {
    FreeLibrary(d->module);
    d->module = NULL;
  }
  return ok;
}

static void UnloadDriver(struct Driver* d) {
  if (d->module != NULL) CHECK(FreeLibrary(d->module), "FreeLibrary of the driver");
  d->module = NULL;
}

static int32_t Get(struct Driver* d, int32_t id) {
  int32_t value = -12345;
  CHECK_EQ(d->parGet(id, &value), 0, "TsdParGet");
  return value;
}

static int Set(struct Driver* d, int32_t id, int32_t value) {
  char what[64];
  snprintf(what, sizeof what, "TsdParSet %d = %d", (int)id, (int)value);
  return CHECK_EQ(d->parSet(id, &value), 0, what);
}

static int32_t TSD_CALL NeverCancel(void) { return 0; }

/* ---- files ----------------------------------------------------------------- */

char g_work[MAX_PATH]; /* the work folder, with its backslash */

const char* WorkPath(const char* name) {
  static char paths[8][MAX_PATH];
  static int next;
  char* p = paths[next++ % 8];
  snprintf(p, MAX_PATH, "%s%s", g_work, name);
  return p;
}

/* The whole file, at most 64 MiB; NULL when it cannot be read. */
static unsigned char* ReadWhole(const char* path, DWORD* size) {
  HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (f == INVALID_HANDLE_VALUE) return NULL;
  DWORD n = GetFileSize(f, NULL);
  unsigned char* data = NULL;
  DWORD got = 0;
  if (n != INVALID_FILE_SIZE && n <= (64u << 20)) {
    data = (unsigned char*)malloc(n + 1);
    if (data != NULL && (!ReadFile(f, data, n, &got, NULL) || got != n)) {
      free(data);
      data = NULL;
    }
  }
  CloseHandle(f);
  if (data != NULL) {
    data[n] = 0;
    *size = n;
  }
  return data;
}

static int FileExists(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int WriteText(const char* path, const char* text) {
  FILE* f = fopen(path, "wb");
  if (f == NULL) return 0;
  const int ok = fputs(text, f) >= 0;
  return fclose(f) == 0 && ok;
}

static uint32_t Le16(const unsigned char* p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8); }
static uint32_t Le32(const unsigned char* p) { return Le16(p) | (Le16(p + 2) << 16); }
static uint32_t Be16(const unsigned char* p) { return ((uint32_t)p[0] << 8) | p[1]; }
static uint32_t Be32(const unsigned char* p) { return (Be16(p) << 16) | Be16(p + 2); }

/* ---- a TIFF walker of our own ---------------------------------------------- */

struct TiffPage {
  uint32_t width, length, compression, stripOffset, stripBytes;
  char docName[64];
};

/* The pages of a little-endian TIFF file, at most `max`; -1 when the file
 * is not one or its chain leaves the file. */
static int WalkTiff(const char* path, struct TiffPage* pages, int max) {
  DWORD size = 0;
  unsigned char* data = ReadWhole(path, &size);
  if (data == NULL || size < 8 || data[0] != 'I' || data[1] != 'I' || Le16(data + 2) != 42) {
    free(data);
    return -1;
  }
  int count = 0;
  uint32_t ifd = Le32(data + 4);
  while (ifd != 0 && count < max) {
    if (ifd > size - 2) { count = -1; break; }
    const uint32_t n = Le16(data + ifd);
    if ((uint64_t)ifd + 2 + 12ull * n + 4 > size) { count = -1; break; }
    struct TiffPage* p = &pages[count];
    memset(p, 0, sizeof *p);
    for (uint32_t i = 0; i < n; ++i) {
      const unsigned char* e = data + ifd + 2 + 12 * i;
      const uint32_t tag = Le16(e), type = Le16(e + 2), cnt = Le32(e + 4);
      const uint32_t value = type == 3 ? Le16(e + 8) : Le32(e + 8);
      switch (tag) {
        case 256: p->width = value; break;
        case 257: p->length = value; break;
        case 259: p->compression = value; break;
        case 273: p->stripOffset = value; break;
        case 279: p->stripBytes = value; break;
        case 269: {
          const unsigned char* text = cnt <= 4 ? e + 8 : (value < size && cnt <= size - value ? data + value : NULL);
          if (text != NULL) snprintf(p->docName, sizeof p->docName, "%.*s", (int)cnt, (const char*)text);
          break;
        }
        default: break;
      }
    }
    ++count;
    ifd = Le32(data + ifd + 2 + 12 * n);
  }
  free(data);
  return count;
}

/* ---- decoding with the Windows Imaging Component ---------------------------- */

IWICImagingFactory* g_wic;

int Decode(const char* path, UINT which, struct Decoded* out) {
  memset(out, 0, sizeof *out);
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
  IWICBitmapDecoder* decoder = NULL;
  IWICBitmapFrameDecode* frame = NULL;
  IWICBitmapSource* gray = NULL;
  int ok = g_wic != NULL &&
           SUCCEEDED(IWICImagingFactory_CreateDecoderFromFilename(
               g_wic, wide, NULL, GENERIC_READ, WICDecodeMetadataCacheOnDemand, &decoder)) &&
           SUCCEEDED(IWICBitmapDecoder_GetFrameCount(decoder, &out->frames)) &&
           which < out->frames && SUCCEEDED(IWICBitmapDecoder_GetFrame(decoder, which, &frame)) &&
           SUCCEEDED(IWICBitmapFrameDecode_GetSize(frame, &out->width, &out->height)) &&
           SUCCEEDED(WICConvertBitmapSource(&GUID_WICPixelFormat32bppBGRA,
                                            (IWICBitmapSource*)frame, &gray));
  if (ok) {
    /* Every source converts to 32-bit colour; the green channel is the gray. */
    const size_t pixels = (size_t)out->width * out->height;
    unsigned char* colour = (unsigned char*)malloc(pixels * 4 + 4);
    out->gray = (unsigned char*)malloc(pixels + 1);
    ok = colour != NULL && out->gray != NULL && pixels * 4 <= 0xFFFFFFFFu &&
         SUCCEEDED(IWICBitmapSource_CopyPixels(gray, NULL, out->width * 4, (UINT)(pixels * 4),
                                               colour));
    for (size_t i = 0; ok && i < pixels; ++i) out->gray[i] = colour[i * 4 + 1];
    free(colour);
  }
  if (gray != NULL) IWICBitmapSource_Release(gray);
  if (frame != NULL) IWICBitmapFrameDecode_Release(frame);
  if (decoder != NULL) IWICBitmapDecoder_Release(decoder);
  if (!ok) {
    free(out->gray);
    out->gray = NULL;
  }
  return ok;
}

/* ---- the settings file ------------------------------------------------------- */

char g_ini[MAX_PATH];
const char kSection[] = "tsdhost.exe";

static void IniValue(const char* key, char* out, DWORD size) {
  GetPrivateProfileStringA(kSection, key, "", out, size, g_ini);
}

/* ROTATE90 through unload and load: any text but exactly "FALSE" turns
 * rotation on; the unload writes TRUE or FALSE. */
static void TestSettingsFile(void) {
  static const struct { const char* before; int32_t rotate, set; const char* after; } rounds[] = {
      {NULL, 0, 1, "TRUE"}, {"false", 1, 0, "FALSE"}, {"FALSE", 0, 0, "FALSE"}};
  struct Driver d;
  char value[64], what[96];
  DeleteFileA(g_ini);
  for (size_t i = 0; i < sizeof rounds / sizeof rounds[0]; ++i) {
    if (rounds[i].before != NULL) WritePrivateProfileStringA(kSection, "ROTATE90", rounds[i].before, g_ini);
    if (!LoadDriver(&d)) return;
    if (i == 0) {
      IniValue("LANGUAGE", value, sizeof value);
      CHECK(value[0] != '\0' && strcmp(value, "NOTDEFINED") != 0,
            "the first load writes LANGUAGE into the host's section of tarvoscn.ini");
    }
    snprintf(what, sizeof what, "ROTATE90=%s gives rotate %d", rounds[i].before ? rounds[i].before : "(none)",
             (int)rounds[i].rotate);
    CHECK_EQ(Get(&d, PAR_ROTATE), rounds[i].rotate, what);
    Set(&d, PAR_ROTATE, rounds[i].set);
    UnloadDriver(&d);
    IniValue("ROTATE90", value, sizeof value);
    CheckText(value, rounds[i].after, "the unload writes ROTATE90");
  }
}

/* ---- scanning ------------------------------------------------------------------ */

static unsigned char* g_page; /* the host's page buffer */
enum { kPageBufferBytes = 24 << 20 };

/* 200 dpi, a window of 1600 pixels across and 2000 along the feed at the
 * sheet's top left corner (the scanner aligns sheets to the right of its
 * 3488-pixel width at 300 dpi, 2325 at 200: the side offset is counted from
 * there), the given output. */
static int Prepare(struct Driver* d, int imageType, int bits, int fileType, int compression) {
  return Set(d, PAR_RESOLUTION, 200) && Set(d, PAR_SCAN_WIDTH, 1600) &&
         Set(d, PAR_SCAN_LENGTH, 2000) && Set(d, PAR_SIDE_OFFSET, 2325 - 1600) &&
         Set(d, PAR_TOP_OFFSET, 0) && Set(d, PAR_IMAGE_TYPE, imageType) &&
         Set(d, PAR_BITS_PER_PIXEL, bits) && Set(d, PAR_FILE_TYPE, fileType) &&
         Set(d, PAR_COMPRESSION, compression);
}

/* A batch of `pages` pages into the document `doc` at `position`. */
static int ScanDocument(struct Driver* d, const char* doc, uint32_t position, int pages) {
  uint32_t hint = 0;
  int ok = CHECK_EQ(d->startScan(doc, &position, &hint), 0, "TsdStartScan of a document");
  for (int i = 0; ok && i < pages; ++i) {
    ok = CHECK_EQ(d->readPage(NULL, g_page, NeverCancel), 0, "TsdReadPage into the document");
  }
  CHECK_EQ(d->closeFile(), 0, "TsdCloseFile");
  CHECK_EQ(d->stopScan(), 0, "TsdStopScan");
  return ok;
}

static void TestProbeAndParameters(struct Driver* d) {
  char file[MAX_PATH] = {0}, version[64] = {0}, scanner[16] = {0};
  CHECK_EQ(d->getDriverName(file, version), 0, "_TsdGetDriverName@8");
  CheckText(file, "tarvoscn.dll", "the driver's file name");
  CheckText(version, "1.007", "the driver's version from its version resource");
  CHECK_EQ(d->getScannerName(scanner), 0, "TsdGetScannerName");
  CheckText(scanner, "Tarvo RT650", "the scanner's name");
  /* The names themselves are checked on the file (scripts/check-exports.sh);
   * here the loaded module has as many as the build's export list. */
  const unsigned char* base = (const unsigned char*)d->module;
  const IMAGE_NT_HEADERS* nt =
      (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY* dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  CHECK_EQ(((const IMAGE_EXPORT_DIRECTORY*)(base + dir->VirtualAddress))->NumberOfNames,
           g_exportCount, "the driver exports as many names as its list");
  CHECK_EQ(d->dispErrDlg((void*)0), 0, "TsdDispErrDlg(0)");

  CHECK_EQ(d->probe(), 0, "TsdProbe finds the simulated RT650");
  Set(d, PAR_RESOLUTION, 200);
  CHECK_EQ(Get(d, PAR_RESOLUTION), 200, "the resolution reads back");
  Set(d, PAR_JPEG_QUALITY, 80);
  CHECK_EQ(Get(d, PAR_JPEG_QUALITY), 80, "the JPEG quality reads back");
  int32_t v = 0;
  CHECK_EQ(d->parGet(999, &v), 3, "an undefined parameter gives 3");
  v = 12345;
  CHECK_EQ(d->parSet(PAR_RESOLUTION, &v), 5, "a resolution of 12345 gives 5");
  CHECK_EQ(Get(d, PAR_RESOLUTION), 200, "a refused value leaves the old one");
}

/* Frames of two files decoded alike, pixel for pixel. */
static int SameFrames(const char* a, UINT fa, const char* b, UINT fb) {
  struct Decoded x, y;
  const int da = Decode(a, fa, &x), db = Decode(b, fb, &y);
  const int same = da && db && x.width == y.width && x.height == y.height &&
                   memcmp(x.gray, y.gray, (size_t)x.width * x.height) == 0;
  if (!same) printf("frames %s#%u and %s#%u: decoded %d %d, %ux%u and %ux%u\n", a, fa, b, fb, da, db,
                    x.width, x.height, y.width, y.height);
  free(x.gray);
  free(y.gray);
  return same;
}

static UINT FrameCount(const char* path) {
  struct Decoded x;
  if (!Decode(path, 0, &x)) return 0;
  free(x.gray);
  return x.frames;
}

/* Group 4 and uncoded documents of the same three sheets (the simulator's
 * hopper starts again with each load of the driver), append, ConcatTiff and
 * ChangeDocname. */
static void TestDocuments(void) {
  const char* g4 = WorkPath("g4.tif");
  const char* raw = WorkPath("raw.tif");
  struct TiffPage pages[16];
  struct Driver d;
  DeleteFileA(g4);
  DeleteFileA(raw);

  if (!LoadDriver(&d)) return;
  CHECK_EQ(d.probe(), 0, "TsdProbe");
  const char* name = "HOST DOCUMENT";
  uintptr_t nameCell = (uintptr_t)name;
  CHECK_EQ(d.parSet(PAR_DOC_NAME, &nameCell), 0, "PAR_DOC_NAME");
  if (Prepare(&d, 1, 1, TSD_FILE_TIFF, TSD_COMPRESSION_G4)) ScanDocument(&d, g4, 0, 3);
  UnloadDriver(&d);
  /* The simulator starts its hopper again only when it is loaded again. */
  /* The simulator's request threads hold it until they have ended. */
  for (int i = 0; i < 250 && GetModuleHandleA("wnaspi32.dll") != NULL; ++i) Sleep(20);
  CHECK(GetModuleHandleA("wnaspi32.dll") == NULL, "the driver's unload releases wnaspi32.dll");

  int n = WalkTiff(g4, pages, 16);
  CHECK_EQ(n, 3, "the Group 4 document has three pages");
  for (int i = 0; i < n; ++i) {
    CHECK_EQ(pages[i].compression, 4, "Group 4 pages have compression 4");
    CHECK(pages[i].width > 1000 && pages[i].length > 1000, "a page has the window's size");
  }
  if (n > 0) CheckText(pages[0].docName, name, "the document name of the first page");

  if (!LoadDriver(&d)) return;
  CHECK_EQ(d.probe(), 0, "TsdProbe after a reload");
  if (Prepare(&d, 1, 1, TSD_FILE_TIFF, TSD_COMPRESSION_NONE)) ScanDocument(&d, raw, 0, 3);
  n = WalkTiff(raw, pages, 16);
  CHECK_EQ(n, 3, "the uncoded document has three pages");
  for (int i = 0; i < n; ++i) {
    CHECK_EQ(pages[i].compression, 1, "uncoded pages have compression 1");
    CHECK_EQ(pages[i].stripBytes, (pages[i].width + 7) / 8 * pages[i].length,
             "an uncoded strip holds whole rows");
  }
  CHECK_EQ(FrameCount(g4), 3, "the imaging component decodes three Group 4 pages");
  for (UINT i = 0; i < 3; ++i) {
    CHECK(SameFrames(g4, i, raw, i), "a Group 4 page decodes to the same sheet scanned uncoded");
  }

  /* Append two pages. */
  uint32_t position = 0xFFFFFFFFu, hint = 0;
  CHECK_EQ(d.startScan(raw, &position, &hint), 0, "TsdStartScan appending");
  CHECK_EQ(position, 3, "appending returns the page count");
  for (int i = 0; i < 2; ++i) {
    CHECK_EQ(d.readPage(NULL, g_page, NeverCancel), 0, "TsdReadPage appending");
  }
  CHECK_EQ(d.closeFile(), 0, "TsdCloseFile after appending");
  CHECK_EQ(d.stopScan(), 0, "TsdStopScan after appending");
  CHECK_EQ(WalkTiff(raw, pages, 16), 5, "the appended document has five pages");
  CHECK_EQ(FrameCount(raw), 5, "the imaging component decodes five pages");

  CHECK_EQ(d.concatTiff(g4, raw), 0, "ConcatTiff");
  CHECK_EQ(WalkTiff(g4, pages, 16), 8, "the joined document has eight pages");
  CHECK_EQ(FrameCount(g4), 8, "the imaging component decodes eight pages");
  CHECK(SameFrames(g4, 7, raw, 4), "the last joined page is the source's last");
  CHECK_EQ(d.concatTiff(g4, WorkPath("absent.tif")), 1, "ConcatTiff of a missing file gives 1");

  CHECK_EQ(d.changeDocname(g4, "RENAMED"), 0, "ChangeDocname");
  n = WalkTiff(g4, pages, 16);
  CHECK_EQ(n, 8, "the renamed document keeps its pages");
  if (n > 0) CheckText(pages[0].docName, "RENAMED", "the new document name");
  CHECK(SameFrames(g4, 0, raw, 0), "the renamed first page still decodes");
  UnloadDriver(&d);
}

/* The byte offset of the first JPEG marker `marker` after SOI, or 0. */
static DWORD JpegMarker(const unsigned char* p, DWORD size, unsigned marker) {
  DWORD at = 2;
  for (int guard = 0; guard < 64 && at + 4 <= size && p[at] == 0xFF; ++guard) {
    if (p[at + 1] == marker) return at;
    at += 2 + Be16(p + at + 2);
  }
  return 0;
}

/* One page scanned into the file `name` with the given output; its bytes
 * (NULL when it failed), and the turned page's width and rows. */
static unsigned char* OnePage(struct Driver* d, const int output[4], const char* name,
                              DWORD* size, int32_t* width, int32_t* rows) {
  uint32_t position = 0;
  int ok = Prepare(d, output[0], output[1], output[2], output[3]) &&
           CHECK_EQ(d->startScan(NULL, &position, NULL), 0, "TsdStartScan of single pages") &&
           CHECK_EQ(d->readPage(name, g_page, NeverCancel), 0, "TsdReadPage to a file");
  CHECK_EQ(d->stopScan(), 0, "TsdStopScan");
  *width = Get(d, PAR_PAGE_LENGTH);
  *rows = Get(d, PAR_PAGE_WIDTH);
  return ok ? ReadWhole(name, size) : NULL;
}

/* The page decodes at `width` x `rows` and is mostly white with some black. */
static void CheckDecoded(const char* path, int32_t width, int32_t rows, const char* what) {
  struct Decoded x;
  unsigned long dark = 0;
  const int ok = Decode(path, 0, &x) && x.width == (UINT)width && x.height == (UINT)rows;
  for (size_t k = 0; ok && k < (size_t)x.width * x.height; ++k) dark += x.gray[k] < 128;
  CHECK(ok && dark > 0 && dark < (unsigned long)width * rows / 2, what);
  free(x.gray);
}

/* Single pages as JPEG (the sibling's JFIF at 200 dpi, cut to whole bytes,
 * one component), BMP (1 bit) and the coder's PNG at 1 and 8 bits, each
 * walked here and decoded by the imaging component. */
static void TestPageFiles(void) {
  static const int jpeg[4] = {4, 8, TSD_FILE_JPEG, TSD_COMPRESSION_JPEG},
                   bmp[4] = {1, 1, TSD_FILE_BMP, TSD_COMPRESSION_NONE},
                   png1[4] = {1, 1, TSD_FILE_CODER, TSD_COMPRESSION_CODER},
                   png8[4] = {4, 8, TSD_FILE_CODER, TSD_COMPRESSION_CODER};
  struct Driver d;
  DWORD size = 0;
  int32_t w, rows;
  unsigned char* p;
  if (!LoadDriver(&d)) return;
  CHECK_EQ(d.probe(), 0, "TsdProbe");

  const char* path = WorkPath("page.jpg");
  if ((p = OnePage(&d, jpeg, path, &size, &w, &rows)) != NULL &&
      CHECK(size > 4 && p[0] == 0xFF && p[1] == 0xD8, "a JPEG file")) {
    const DWORD app0 = JpegMarker(p, size, 0xE0), sof = JpegMarker(p, size, 0xC0);
    CHECK(app0 != 0 && memcmp(p + app0 + 4, "JFIF", 5) == 0 && p[app0 + 11] == 1 &&
              Be16(p + app0 + 12) == 200, "a JFIF header with 200 dots per inch");
    CHECK(sof != 0 && Be16(p + sof + 5) == (uint32_t)rows && Be16(p + sof + 7) == (uint32_t)(w / 8 * 8) &&
              p[sof + 9] == 1, "a baseline frame of the page's rows, whole bytes wide, one component");
    CheckDecoded(path, w / 8 * 8, rows, "the imaging component decodes the JPEG file");
  }
  free(p);

  path = WorkPath("page.bmp");
  if ((p = OnePage(&d, bmp, path, &size, &w, &rows)) != NULL &&
      CHECK(size > 62 && p[0] == 'B' && p[1] == 'M', "a BMP file")) {
    CHECK(Le32(p + 2) == size && Le32(p + 18) == (uint32_t)w && Le32(p + 22) == (uint32_t)rows &&
              Le16(p + 28) == 1 && Le32(p + 38) == 200 * 10000 / 254,
          "the BMP's size, width, height, one bit and pixels per metre");
    CheckDecoded(path, w, rows, "the imaging component decodes the BMP file");
  }
  free(p);

  const struct { const int* output; unsigned depth, colour; const char* name; } pngs[] = {
      {png1, 1, 3, "page1.png"}, {png8, 8, 0, "page8.png"}};
  for (int i = 0; i < 2; ++i) {
    path = WorkPath(pngs[i].name);
    if ((p = OnePage(&d, pngs[i].output, path, &size, &w, &rows)) != NULL &&
        CHECK(size > 33 && memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0 && memcmp(p + 12, "IHDR", 4) == 0,
              "a PNG file")) {
      CHECK(Be32(p + 16) == (uint32_t)(w / 8 * 8) && Be32(p + 20) == (uint32_t)rows &&
                p[24] == pngs[i].depth && p[25] == pngs[i].colour,
            "the PNG's width, height, bit depth and colour type");
      CheckDecoded(path, w / 8 * 8, rows, "the imaging component decodes the PNG file");
    }
    free(p);
  }
  UnloadDriver(&d);
}

/* A document in a folder that does not exist: result 4 and an entry in
 * c:\scan.log. */
static void TestLogOnDriveC(void) {
  struct Driver d;
  DeleteFileA("c:\\scan.log");
  CHECK(!FileExists("c:\\scan.log"), "no c:\\scan.log before the failure");
  if (!LoadDriver(&d)) return;
  CHECK_EQ(d.probe(), 0, "TsdProbe");
  uint32_t position = 0;
  if (Prepare(&d, 1, 1, TSD_FILE_TIFF, TSD_COMPRESSION_G4)) {
    CHECK_EQ(d.startScan(WorkPath("no such folder\\doc.tif"), &position, NULL), 4,
             "a document that cannot be created gives 4");
  }
  d.stopScan();
  UnloadDriver(&d);
  DWORD size = 0;
  unsigned char* log = ReadWhole("c:\\scan.log", &size);
  CHECK(log != NULL && strstr((const char*)log, "CreateFile") != NULL &&
            strstr((const char*)log, "no such folder\\doc.tif") != NULL,
        "c:\\scan.log appears after the failure, naming the call and the file");
  if (log != NULL) printf("c:\\scan.log: %s", (const char*)log);
  free(log);
}

/* Writes the simulator's configuration and names it in RT650SIM_CONFIG; the
 * simulator reads it when wnaspi32.dll is loaded again. */
static int ConfigureSimulator(const char* name, const char* statements) {
  static char variable[MAX_PATH + 32]; /* _putenv keeps the string */
  const char* config = WorkPath(name);
  char text[1024];
  snprintf(text, sizeof text, "%slog %s\n", statements, WorkPath("rt650-wire.log"));
  snprintf(variable, sizeof variable, "RT650SIM_CONFIG=%s", config);
  return WriteText(config, text) && _putenv(variable) == 0;
}

/* A scanner that is never ready: TsdProbe fails and the transport's two
 * lines reach c:\scsi.log. */
static void TestScsiLog(void) {
  struct Driver d;
  DeleteFileA("c:\\scsi.log");
  if (!CHECK(ConfigureSimulator("notready.conf", "synthetic 1\nfault tur 1 not-ready repeat 1000\n"),
             "the second simulator configuration")) {
    return;
  }
  if (!LoadDriver(&d)) return;
  CHECK(d.probe() != 0, "TsdProbe fails when the scanner is never ready");
  UnloadDriver(&d);
  DWORD size = 0;
  unsigned char* log = ReadWhole("c:\\scsi.log", &size);
  CHECK(log != NULL && strstr((const char*)log, "ASPI error") != NULL &&
            strstr((const char*)log, "ASPI caller") != NULL,
        "c:\\scsi.log has the ASPI error and caller lines");
  free(log);
}

int main(int argc, char** argv) {
  if (argc < 2 || argc > 5) {
    fprintf(stderr, "usage: tsdhost WORKFOLDER [EXPORTS [SCREENS [LANGUAGE]]]\n");
    return 2;
  }
  if (argc >= 3) g_exportCount = strtol(argv[2], NULL, 10);
  const char* screens = argc >= 4 ? argv[3] : NULL;
  const char* language = argc >= 5 ? argv[4] : NULL;
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
  if (!ConfigureSimulator("rt650sim.conf", "synthetic 12 seed 5 dpi 200\ncompletion pending 1\n")) {
    fprintf(stderr, "tsdhost: cannot write the simulator's configuration\n");
    return 2;
  }
  g_page = (unsigned char*)malloc(kPageBufferBytes);
  const HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
  CoCreateInstance(&CLSID_WICImagingFactory, NULL, CLSCTX_INPROC_SERVER, &IID_IWICImagingFactory,
                   (void**)&g_wic);
  if (g_page == NULL || g_wic == NULL) {
    fprintf(stderr, "tsdhost: no page buffer or imaging component\n");
    return 2;
  }

  if (language == NULL) {
    TestSettingsFile();
    struct Driver d;
    if (LoadDriver(&d)) {
      TestProbeAndParameters(&d);
      UnloadDriver(&d);
    }
    TestDocuments();
    TestPageFiles();
    TestLogOnDriveC();
  }
  if (screens != NULL) TestDialogs(screens, language != NULL ? language : "English");
  /* Last: it leaves the simulator's configuration with a scanner that is
   * never ready. */
  if (language == NULL) TestScsiLog();

  IWICImagingFactory_Release(g_wic);
  if (SUCCEEDED(com)) CoUninitialize();
  free(g_page);
  printf("%ld passed, %ld failed\n", (long)g_passed, (long)g_failed);
  return g_failed == 0 ? 0 : 1;
}
