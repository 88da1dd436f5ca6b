/*
 * tsdhost - a Windows host of tarvoscn.dll, run under Wine or on Windows, that
 * checks what only Windows shows: the driver loaded as an application loads
 * it, its export table and version resource, tarvoscn.ini beside it, the ASPI
 * and codec DLLs beside it (the simulator configured through RT650SIM_CONFIG),
 * documents and pages decoded by the Windows Imaging Component, the logs on
 * drive C: and the dialogs (dialogs.c).
 *
 * Usage: tsdhost WORKFOLDER [EXPORTS [SCREENS [LANGUAGE]]]
 *   EXPORTS: the names in the driver's export list (30 when not given);
 *   SCREENS: the folder for the dialogs' pictures; with LANGUAGE only the
 *   dialogs run, in that language. Exit status 1 when a check failed, 2 when
 *   the host could not run.
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

/* The dialog checks run on a second thread: the counts are interlocked. */
static volatile LONG g_passed, g_failed;

int Check(int ok, const char* what, long got, long expected) {
  InterlockedIncrement(ok ? &g_passed : &g_failed);
  if (!ok) printf("FAIL: %s (got %ld, expected %ld)\n", what, got, expected);
  return ok;
}
int CheckEq(long got, long expected, const char* what) { return Check(got == expected, what, got, expected); }
int CheckTrue(int ok, const char* what) { return Check(ok, what, (long)ok, 1L); }
int CheckText(const char* got, const char* expected, const char* what) {
  const int ok = strcmp(got, expected) == 0;
  InterlockedIncrement(ok ? &g_passed : &g_failed);
  if (!ok) printf("FAIL: %s (got \"%s\", expected \"%s\")\n", what, got, expected);
  return ok;
}

char g_hostFolder[MAX_PATH];
static long g_exportCount = 30;

int LoadDriver(struct Driver* d) {
  static const char* const names[] = {
      "TsdProbe", "TsdStopScan", "TsdCloseFile", "TsdGetModeFromScanner", "TsdSetModeToScanner",
      "TsdParSet", "TsdParGet", "TsdStartScan", "TsdReadPage", "ConcatTiff", "ChangeDocname",
      "TsdGetScannerName", "TsdDispErrDlg", "_TsdGetDriverName@8", "TsdDrvSetDialog",
      "_TsdDetailsSetDialog@12", "_GammaSetDialog@12", "_ImprinterSetDialog@12", "_FKeySetDialog@12",
      "TsdStartScanDialog"};
  void* const slots[] = {&d->probe, &d->stopScan, &d->closeFile, &d->getMode, &d->setMode, &d->parSet,
                         &d->parGet, &d->startScan, &d->readPage, &d->concatTiff, &d->changeDocname,
                         &d->getScannerName, &d->dispErrDlg, &d->getDriverName, &d->dialogs[0],
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

static void UnloadDriver(struct Driver* d) { CHECK(FreeLibrary(d->module), "FreeLibrary of the driver"); }

int32_t Get(struct Driver* d, int32_t id) {
  int32_t value = -12345;
  CHECK_EQ(d->parGet(id, &value), 0, "TsdParGet");
  return value;
}

int Set(struct Driver* d, int32_t id, int32_t value) {
  char what[64];
  snprintf(what, sizeof what, "TsdParSet %d = %d", (int)id, (int)value);
  return CHECK_EQ(d->parSet(id, &value), 0, what);
}

static int32_t TSD_CALL NeverCancel(void) { return 0; }

char g_work[MAX_PATH];

const char* WorkPath(const char* name) {
  static char paths[8][MAX_PATH];
  static int next;
  char* p = paths[next++ % 8];
  snprintf(p, MAX_PATH, "%s%s", g_work, name);
  return p;
}

/* The whole file (at most 64 MiB), NUL-terminated, its size in `size`; NULL
 * when it cannot be read. */
static char* ReadWhole(const char* path, size_t* size) {
  FILE* f = fopen(path, "rb");
  char* data = f != NULL ? (char*)malloc((64u << 20) + 1) : NULL;
  if (data != NULL) data[*size = fread(data, 1, 64u << 20, f)] = '\0';
  if (f != NULL) fclose(f);
  return data;
}

int WriteText(const char* path, const char* text) {
  FILE* f = fopen(path, "wb");
  return f != NULL && (fputs(text, f) >= 0) & (fclose(f) == 0);
}

IWICImagingFactory* g_wic;

int Decode(const char* path, UINT which, struct Decoded* out) {
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

/* Frames of two files decoded alike, pixel for pixel. */
static int SameFrames(const char* a, UINT fa, const char* b, UINT fb) {
  struct Decoded x, y;
  const int same = Decode(a, fa, &x) & Decode(b, fb, &y) && x.width == y.width &&
                   x.height == y.height && memcmp(x.gray, y.gray, (size_t)x.width * x.height) == 0;
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

char g_ini[MAX_PATH];
const char kSection[] = "tsdhost.exe";

/* The host's section of tarvoscn.ini beside the driver: LANGUAGE from the
 * locale at the first load, ROTATE90 read at the load, written at the unload. */
static void TestSettingsFile(void) {
  struct Driver d;
  char value[64];
  DeleteFileA(g_ini);
  for (int round = 0; round < 2; ++round) {
    if (round == 1) WritePrivateProfileStringA(kSection, "ROTATE90", "false", g_ini);
    if (!LoadDriver(&d)) return;
    GetPrivateProfileStringA(kSection, "LANGUAGE", "", value, sizeof value, g_ini);
    CHECK(value[0] != '\0' && strcmp(value, "NOTDEFINED") != 0, "the first load writes LANGUAGE");
    CHECK_EQ(Get(&d, PAR_ROTATE), round, "ROTATE90 read at the load");
    Set(&d, PAR_ROTATE, 1 - round);
    UnloadDriver(&d);
    GetPrivateProfileStringA(kSection, "ROTATE90", "", value, sizeof value, g_ini);
    CheckText(value, round == 0 ? "TRUE" : "FALSE", "the unload writes ROTATE90");
  }
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

/* `pages` pages into the document `doc` at `position` (0xFFFFFFFF: appended,
 * after `already` pages). */
static void ScanDocument(struct Driver* d, const char* doc, uint32_t position, uint32_t already, int pages) {
  int ok = CHECK_EQ(d->startScan(doc, &position, NULL), 0, "TsdStartScan of a document") &&
           CHECK_EQ(position, already, "TsdStartScan gives the pages already there");
  for (int i = 0; ok && i < pages; ++i) {
    ok = CHECK_EQ(d->readPage(NULL, g_page, NeverCancel), 0, "TsdReadPage into the document");
  }
  CHECK_EQ(d->closeFile(), 0, "TsdCloseFile");
  CHECK_EQ(d->stopScan(), 0, "TsdStopScan");
}

static void TestProbeAndParameters(struct Driver* d) {
  char file[MAX_PATH] = {0}, version[64] = {0}, scanner[16] = {0};
  CHECK_EQ(d->getDriverName(file, version), 0, "_TsdGetDriverName@8");
  CheckText(file, "tarvoscn.dll", "the driver's file name");
  CheckText(version, "1.007", "the driver's version from its version resource");
  CHECK_EQ(d->getScannerName(scanner), 0, "TsdGetScannerName");
  CheckText(scanner, "Tarvo RT650", "the scanner's name");
  /* The names are checked on the file (scripts/check-exports.sh); here their count. */
  const unsigned char* base = (const unsigned char*)d->module;
  const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY* dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  CHECK_EQ(((const IMAGE_EXPORT_DIRECTORY*)(base + dir->VirtualAddress))->NumberOfNames,
           g_exportCount, "the driver exports as many names as its list");
  CHECK_EQ(d->dispErrDlg((void*)0), 0, "TsdDispErrDlg(0)");
  CHECK_EQ(d->probe(), 0, "TsdProbe finds the simulated RT650");
  Set(d, PAR_JPEG_QUALITY, 80);
  CHECK_EQ(Get(d, PAR_JPEG_QUALITY), 80, "a parameter reads back");
}

/* Group 4 and uncoded documents of the same three sheets (the simulator's
 * hopper starts again with each load), append, ConcatTiff and ChangeDocname,
 * on paths with a drive letter. */
static void TestDocuments(void) {
  const char *g4 = WorkPath("g4.tif"), *raw = WorkPath("raw.tif");
  struct Driver d;
  DeleteFileA(g4);
  DeleteFileA(raw);
  if (!LoadDriver(&d)) return;
  CHECK_EQ(d.probe(), 0, "TsdProbe");
  if (Prepare(&d, 1, 1, TSD_FILE_TIFF, TSD_COMPRESSION_G4)) ScanDocument(&d, g4, 0, 0, 3);
  UnloadDriver(&d);
  /* The simulator's request threads hold it until they have ended. */
  for (int i = 0; i < 250 && GetModuleHandleA("wnaspi32.dll") != NULL; ++i) Sleep(20);
  CHECK(GetModuleHandleA("wnaspi32.dll") == NULL, "the driver's unload releases wnaspi32.dll");

  if (!LoadDriver(&d)) return;
  CHECK_EQ(d.probe(), 0, "TsdProbe after a reload");
  if (Prepare(&d, 1, 1, TSD_FILE_TIFF, TSD_COMPRESSION_NONE)) ScanDocument(&d, raw, 0, 0, 3);
  CHECK_EQ(FrameCount(g4), 3, "the imaging component decodes three Group 4 pages");
  for (UINT i = 0; i < 3; ++i) {
    CHECK(SameFrames(g4, i, raw, i), "a Group 4 page decodes to the same sheet scanned uncoded");
  }
  ScanDocument(&d, raw, 0xFFFFFFFFu, 3, 2);
  CHECK_EQ(FrameCount(raw), 5, "the appended document has five pages");

  CHECK_EQ(d.concatTiff(g4, raw), 0, "ConcatTiff");
  CHECK_EQ(FrameCount(g4), 8, "the joined document has eight pages");
  CHECK(SameFrames(g4, 7, raw, 4), "the last joined page is the source's last");
  CHECK_EQ(d.concatTiff(g4, WorkPath("absent.tif")), 1, "ConcatTiff of a missing file gives 1");

  CHECK_EQ(d.changeDocname(g4, "RENAMED DOC"), 0, "ChangeDocname");
  size_t size = 0, at = 0;
  char* bytes = ReadWhole(g4, &size);
  while (bytes != NULL && at + 12 <= size && memcmp(bytes + at, "RENAMED DOC", 12) != 0) ++at;
  CHECK(bytes != NULL && at + 12 <= size, "the document holds its new name");
  free(bytes);
  CHECK(FrameCount(g4) == 8 && SameFrames(g4, 0, raw, 0), "the renamed document keeps its pages");
  UnloadDriver(&d);
}

/* A page through each codec DLL: JPEG (gray) and the coder's PNG (1 bit),
 * decoded at the page's size cut to whole bytes, mostly white with some black. */
static void TestPageFiles(void) {
  static const struct { int type, bits, file, compression; const char* name; } pages[] = {
      {4, 8, TSD_FILE_JPEG, TSD_COMPRESSION_JPEG, "page.jpg"},
      {1, 1, TSD_FILE_CODER, TSD_COMPRESSION_CODER, "page.png"}};
  struct Driver d;
  if (!LoadDriver(&d)) return;
  CHECK_EQ(d.probe(), 0, "TsdProbe");
  for (size_t i = 0; i < 2; ++i) {
    const char* path = WorkPath(pages[i].name);
    uint32_t position = 0;
    struct Decoded x = {0, 0, 0, NULL};
    DeleteFileA(path);
    if (Prepare(&d, pages[i].type, pages[i].bits, pages[i].file, pages[i].compression) &&
        CHECK_EQ(d.startScan(NULL, &position, NULL), 0, "TsdStartScan of single pages")) {
      CHECK_EQ(d.readPage(path, g_page, NeverCancel), 0, "TsdReadPage to a file");
    }
    CHECK_EQ(d.stopScan(), 0, "TsdStopScan");
    /* The scanner turns the page: its width is the length, and back. */
    const int32_t width = Get(&d, PAR_PAGE_LENGTH) / 8 * 8, rows = Get(&d, PAR_PAGE_WIDTH);
    unsigned long dark = 0;
    const int ok = Decode(path, 0, &x) && x.width == (UINT)width && x.height == (UINT)rows;
    for (size_t k = 0; ok && k < (size_t)x.width * x.height; ++k) dark += x.gray[k] < 128;
    Check(ok && dark > 0 && dark < (unsigned long)width * rows / 2, pages[i].name, (long)x.width, (long)width);
    free(x.gray);
  }
  UnloadDriver(&d);
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

/* c:\scan.log after a document that cannot be created, c:\scsi.log after a
 * scanner that is never ready (last: the simulator stays so). */
static void TestLogs(int scsi) {
  const char* log = scsi ? "c:\\scsi.log" : "c:\\scan.log";
  struct Driver d;
  uint32_t position = 0;
  size_t size = 0;
  DeleteFileA(log);
  CHECK(GetFileAttributesA(log) == INVALID_FILE_ATTRIBUTES, "no log before the failure");
  if (scsi && !CHECK(ConfigureSimulator("notready.conf", "synthetic 1\nfault tur 1 not-ready repeat 1000\n"),
                     "the second simulator configuration")) {
    return;
  }
  if (!LoadDriver(&d)) return;
  if (scsi) {
    CHECK(d.probe() != 0, "TsdProbe fails when the scanner is never ready");
  } else if (CHECK_EQ(d.probe(), 0, "TsdProbe") && Prepare(&d, 1, 1, TSD_FILE_TIFF, TSD_COMPRESSION_G4)) {
    CHECK_EQ(d.startScan(WorkPath("no such folder\\doc.tif"), &position, NULL), 4,
             "a document that cannot be created gives 4");
    d.stopScan();
  }
  UnloadDriver(&d);
  char* text = ReadWhole(log, &size);
  if (text != NULL) printf("%s: %s", log, text);
  CHECK(text != NULL && (scsi ? strstr(text, "ASPI error") && strstr(text, "ASPI caller")
                              : strstr(text, "CreateFile") && strstr(text, "no such folder\\doc.tif")),
        "the log names what failed");
  free(text);
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
    TestSettingsFile();
    struct Driver d;
    if (LoadDriver(&d)) {
      TestProbeAndParameters(&d);
      UnloadDriver(&d);
    }
    TestDocuments();
    TestPageFiles();
    TestLogs(0);
  }
  if (screens != NULL) TestDialogs(screens, language != NULL ? language : "English");
  if (language == NULL) TestLogs(1);

  IWICImagingFactory_Release(g_wic);
  if (SUCCEEDED(com)) CoUninitialize();
  free(g_page);
  printf("%ld passed, %ld failed\n", (long)g_passed, (long)g_failed);
  return g_failed == 0 ? 0 : 1;
}
