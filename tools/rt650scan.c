/*
 * rt650scan - scan with the RT650 through the tarvoscn driver.
 *
 * The program loads the driver library at run time, as any host does, and
 * calls its exports by name. It lists the scanner, shows and sets scan
 * parameters, scans batches into a multi-page TIFF document or into one file
 * per page, joins and renames TIFF documents, and can run against the
 * simulated RT650 with no scanner attached.
 */
#include <getopt.h>
#include <signal.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include "tarvoscn.h"

#ifdef _WIN32
#define DRIVER_FILE "tarvoscn.dll"
#define PROVIDER_FILE "wnaspi32.dll"
#define GET_DRIVER_NAME "_TsdGetDriverName@8"
#else
#define DRIVER_FILE "libtarvoscn.so.1"
#define PROVIDER_FILE "librt650sim.so"
#define GET_DRIVER_NAME "TsdGetDriverName"
#endif
/* The installed library folder as seen from the program's folder. */
#ifndef TARVOSCN_LIBDIR_FROM_BINDIR
#define TARVOSCN_LIBDIR_FROM_BINDIR "../lib"
#endif

static const char kProgram[] = "rt650scan";
static const char kProgramVersion[] = "1.0";

/* Exit status. */
enum {
  kExitOk = 0,
  kExitDriver = 1,    /* the driver returned a failure code */
  kExitUsage = 2,     /* bad command line or parameter name */
  kExitLoad = 3,      /* the driver library cannot be loaded */
  kExitCancelled = 130 /* Ctrl-C, as a shell reports SIGINT */
};

/* ---- The driver's exports -------------------------------------------- */

struct Driver {
  void* handle;
  uint32_t(TSD_CALL* getDriverName)(char*, char*);
  uint32_t(TSD_CALL* getScannerName)(char*);
  uint32_t(TSD_CALL* probe)(void);
  int32_t(TSD_CALL* parSet)(int32_t, void*);
  int32_t(TSD_CALL* parGet)(int32_t, void*);
  uint32_t(TSD_CALL* startScan)(const char*, uint32_t*, uint32_t*);
  uint32_t(TSD_CALL* readPage)(const char*, void*, TsdCancelCallback);
  uint32_t(TSD_CALL* stopScan)(void);
  uint32_t(TSD_CALL* closeFile)(void);
  uint32_t(TSD_CALL* getFileSize)(uint32_t*);
  void(TSD_CALL* docnameSet)(const char*);
  void(TSD_CALL* pagenameSet)(const char*);
  int32_t(TSD_CALL* concatTiff)(const char*, const char*);
  int32_t(TSD_CALL* changeDocname)(const char*, const char*);
};

/* Export name and the field of struct Driver that receives its address. */
static const struct {
  const char* name;
  size_t offset;
} kExports[] = {
    {GET_DRIVER_NAME, offsetof(struct Driver, getDriverName)},
    {"TsdGetScannerName", offsetof(struct Driver, getScannerName)},
    {"TsdProbe", offsetof(struct Driver, probe)},
    {"TsdParSet", offsetof(struct Driver, parSet)},
    {"TsdParGet", offsetof(struct Driver, parGet)},
    {"TsdStartScan", offsetof(struct Driver, startScan)},
    {"TsdReadPage", offsetof(struct Driver, readPage)},
    {"TsdStopScan", offsetof(struct Driver, stopScan)},
    {"TsdCloseFile", offsetof(struct Driver, closeFile)},
    {"TsdGetFileSize", offsetof(struct Driver, getFileSize)},
    {"TsdDocnameSet", offsetof(struct Driver, docnameSet)},
    {"TsdPagenameSet", offsetof(struct Driver, pagenameSet)},
    {"ConcatTiff", offsetof(struct Driver, concatTiff)},
    {"ChangeDocname", offsetof(struct Driver, changeDocname)},
};

static void* OpenLibrary(const char* path) {
#ifdef _WIN32
  return (void*)LoadLibraryA(path);
#else
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
}

static void* FindSymbol(void* handle, const char* name) {
#ifdef _WIN32
  FARPROC proc = GetProcAddress((HMODULE)handle, name);
  void* address;
  memcpy(&address, &proc, sizeof address);
  return address;
#else
  return dlsym(handle, name);
#endif
}

static void CloseLibrary(void* handle) {
#ifdef _WIN32
  FreeLibrary((HMODULE)handle);
#else
  dlclose(handle);
#endif
}

static int SetEnv(const char* name, const char* value) {
#ifdef _WIN32
  return _putenv_s(name, value) == 0;
#else
  return setenv(name, value, 1) == 0;
#endif
}

static int FileExists(const char* path) {
  FILE* file = fopen(path, "rb");
  if (file == NULL) return 0;
  fclose(file);
  return 1;
}

/* ---- Finding the driver, its codecs and the simulator ------------------ */

/* Folders, relative to the program's own, that hold its libraries: the
 * installed library folder, then the build tree's target folders. */
static const char* const kLibraryFolders[] = {TARVOSCN_LIBDIR_FROM_BINDIR, "../scanlib", "../sim",
                                              "../codecs"};

/* The path of a library file in one of the folders above, or 0. On Windows
 * the system searches the program's folder first anyway. */
static int FindNearProgram(const char* file, char* out, size_t size) {
#ifdef _WIN32
  (void)file;
  (void)out;
  (void)size;
  (void)kLibraryFolders;
  return 0;
#else
  char program[4096];
  ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  if (length <= 0) return 0;
  program[length] = '\0';
  char* slash = strrchr(program, '/');
  if (slash == NULL) return 0;
  *slash = '\0';
  for (size_t i = 0; i < sizeof kLibraryFolders / sizeof kLibraryFolders[0]; ++i) {
    int n = snprintf(out, size, "%s/%s/%s", program, kLibraryFolders[i], file);
    if (n > 0 && (size_t)n < size && FileExists(out)) return 1;
  }
  return 0;
#endif
}

/* The driver named by --library, TARVOSCN_LIBRARY, the one near the program,
 * or the system's library search, in this order. */
static void DriverCandidates(const char* requested, const char* out[4], int* count) {
  static char nearProgram[4096];
  *count = 0;
  if (requested != NULL) {
    out[(*count)++] = requested;
    return; /* an explicit choice is not second-guessed */
  }
  if (getenv("TARVOSCN_LIBRARY") != NULL) out[(*count)++] = getenv("TARVOSCN_LIBRARY");
  if (FindNearProgram(DRIVER_FILE, nearProgram, sizeof nearProgram)) out[(*count)++] = nearProgram;
  out[(*count)++] = DRIVER_FILE;
}

static int LoadDriver(const char* requested, struct Driver* driver) {
  const char* candidates[4];
  int count;
  DriverCandidates(requested, candidates, &count);
  memset(driver, 0, sizeof *driver);
  for (int i = 0; i < count && driver->handle == NULL; ++i) {
    driver->handle = OpenLibrary(candidates[i]);
  }
  if (driver->handle == NULL) {
    fprintf(stderr, "%s: cannot load the driver library%s%s\n", kProgram,
            requested != NULL ? " " : "", requested != NULL ? requested : "");
    return 0;
  }
  /* Symbols become function pointers through their object representation. */
  for (size_t i = 0; i < sizeof kExports / sizeof kExports[0]; ++i) {
    void* address = FindSymbol(driver->handle, kExports[i].name);
    if (address == NULL) {
      fprintf(stderr, "%s: the driver library lacks the export %s\n", kProgram, kExports[i].name);
      CloseLibrary(driver->handle);
      driver->handle = NULL;
      return 0;
    }
    memcpy((char*)driver + kExports[i].offset, &address, sizeof address);
  }
  return 1;
}

#ifndef _WIN32
/* The driver loads its sibling codec libraries (JPEG, the image coder) by
 * name when a page needs them. Copies near the program are loaded here first
 * and stay loaded, so that the driver's load by name finds them even when
 * they are not on the library search path. */
static void PreloadCodecs(void) {
  const char* files[] = {"libklxjpeg.so", "libravezeva.so"};
  char path[4096];
  for (size_t i = 0; i < sizeof files / sizeof files[0]; ++i) {
    if (FindNearProgram(files[i], path, sizeof path)) {
      (void)OpenLibrary(path); /* kept until the program ends */
    }
  }
}
#endif

/* --simulate: the simulator's provider library takes the place of ASPI.
 * It is the one near the program, the one beside the driver library, or the
 * one the library search finds. */
static int SetUpSimulator(const char* requested, const char* config) {
  static char provider[4096];
  int found = FindNearProgram(PROVIDER_FILE, provider, sizeof provider);
  const char* candidates[4];
  int count;
  DriverCandidates(requested, candidates, &count);
  for (int i = 0; i < count && !found; ++i) {
    const char* slash = strrchr(candidates[i], '/');
#ifdef _WIN32
    const char* backslash = strrchr(candidates[i], '\\');
    if (backslash != NULL && (slash == NULL || backslash > slash)) slash = backslash;
#endif
    if (slash == NULL) continue;
    int folder = (int)(slash - candidates[i]) + 1;
    snprintf(provider, sizeof provider, "%.*s%s", folder, candidates[i], PROVIDER_FILE);
    found = FileExists(provider);
  }
  if (!found) snprintf(provider, sizeof provider, "%s", PROVIDER_FILE); /* the library search */
  if (!SetEnv("TARVOSCN_ASPI", provider)) return 0;
  if (config != NULL && !SetEnv("RT650SIM_CONFIG", config)) return 0;
  return 1;
}

/* --version: the ASPI provider the driver will load (TARVOSCN_ASPI, or the
 * system's), where it was found, or that it is missing. */
static void ShowProvider(void) {
#ifdef _WIN32
  const char* name = getenv("TARVOSCN_ASPI") != NULL ? getenv("TARVOSCN_ASPI") : "wnaspi32.dll";
#else
  const char* name = getenv("TARVOSCN_ASPI") != NULL ? getenv("TARVOSCN_ASPI") : "libwnaspi32.so";
#endif
  void* handle = OpenLibrary(name);
  if (handle == NULL) {
    printf("provider: %s (not found)\n", name);
    return;
  }
  char path[4096] = {0};
#ifdef _WIN32
  GetModuleFileNameA((HMODULE)handle, path, sizeof path);
#else
  Dl_info info;
  void* entry = FindSymbol(handle, "SendASPI32Command");
  if (entry != NULL && dladdr(entry, &info) != 0 && info.dli_fname != NULL) {
    snprintf(path, sizeof path, "%s", info.dli_fname);
  }
#endif
  printf("provider: %s\n", path[0] != '\0' ? path : name);
  CloseLibrary(handle);
}

/* ---- Result codes ----------------------------------------------------- */

static const struct {
  int32_t code;
  const char* meaning;
} kResults[] = {
    {TSD_OK, "success"},
    {TSD_ERR_TIFF_UNUSABLE, "the TIFF file cannot be opened or is not a TIFF file"},
    {TSD_ERR_SCANNER, "scanner not found, not probed, or the transport failed"},
    {TSD_ERR_UNKNOWN_PARAMETER, "not a parameter in that direction"},
    {TSD_ERR_FILE, "a file cannot be created, written, read, positioned or closed"},
    {TSD_ERR_INVALID_VALUE, "value or combination of settings not accepted"},
    {TSD_ERR_NO_PAPER, "the feeder is empty"},
    {TSD_ERR_PAPER_JAM, "paper jam"},
    {TSD_ERR_MEDIUM_Q1, "medium error"},
    {TSD_ERR_ILLEGAL_REQUEST, "illegal request or unit attention"},
    {TSD_ERR_NOT_READY_MANUAL, "not ready: manual intervention required"},
    {TSD_ERR_VERIFY_MISMATCH, "verify mismatch"},
    {TSD_ERR_ABORTED, "aborted by the scanner or cancelled"},
    {TSD_ERR_RESOURCE, "out of resources"},
    {TSD_ERR_NOT_READY, "the scanner is not ready"},
    {TSD_ERR_HARDWARE, "hardware error"},
    {TSD_ERR_PAGE_FLAGGED, "the page is flagged"},
    {TSD_ERR_PARAM_LIST_LENGTH, "parameter list length error"},
    {TSD_ERR_INVALID_OPCODE, "invalid command operation code"},
    {TSD_ERR_INVALID_CDB_FIELD, "invalid field in the command"},
    {TSD_ERR_INVALID_PARAM_FIELD, "invalid field in the parameter list"},
    {TSD_ERR_SEQUENCE, "command sequence error"},
    {TSD_ERR_SEQUENCE_Q1, "command sequence error"},
    {TSD_ERR_IDENTIFY_BITS, "invalid identify bits"},
    {-1, "copying the pages failed"},
};

static const char* ResultMeaning(int32_t code) {
  for (size_t i = 0; i < sizeof kResults / sizeof kResults[0]; ++i) {
    if (kResults[i].code == code) return kResults[i].meaning;
  }
  return "unknown result";
}

static void ReportResult(const char* what, int32_t code) {
  fprintf(stderr, "%s: %s failed: result %d (%s)\n", kProgram, what, (int)code,
          ResultMeaning(code));
}

/* ---- Parameters ------------------------------------------------------- */

/* Kind of a parameter's value cell. */
enum { kInt, kTextPointer, kNoValue };

#define PAR(name, kind) {#name + 4, name, kind}
static const struct {
  const char* name; /* lower-case without PAR_ (see NameMatches) */
  int32_t id;
  int kind;
} kParameters[] = {
    PAR(PAR_SCAN_LENGTH, kInt),        PAR(PAR_SCAN_WIDTH, kInt),
    PAR(PAR_SEPARATOR_LATCH, kInt),    PAR(PAR_BRIGHTNESS, kInt),
    PAR(PAR_RESOLUTION, kInt),         PAR(PAR_Y_RESOLUTION, kInt),
    PAR(PAR_COMPRESSION, kInt),        PAR(PAR_SEPARATOR_B, kInt),
    PAR(PAR_JOB_SEPARATOR, kInt),      PAR(PAR_AUTO_SIZE, kInt),
    PAR(PAR_SEPARATOR_DETECTED, kInt), PAR(PAR_KEY_START, kInt),
    PAR(PAR_DOC_NAME, kNoValue),       PAR(PAR_USER_16, kInt),
    PAR(PAR_CONTINUOUS, kInt),         PAR(PAR_USER_18, kInt),
    PAR(PAR_FILE_TYPE, kInt),          PAR(PAR_BITS_PER_PIXEL, kInt),
    PAR(PAR_CONTRAST, kInt),           PAR(PAR_IMAGE_TYPE, kInt),
    PAR(PAR_MARGIN_SCAN, kInt),        PAR(PAR_MARGIN_AMOUNT, kInt),
    PAR(PAR_FRAME_AREA, kInt),         PAR(PAR_TOP_OFFSET, kInt),
    PAR(PAR_SIDE_OFFSET, kInt),        PAR(PAR_TEXT_MODE, kInt),
    PAR(PAR_EDGE_EMPHASIS, kInt),      PAR(PAR_NOTCH_ERASE, kInt),
    PAR(PAR_THIN_LINE, kInt),          PAR(PAR_AE, kInt),
    PAR(PAR_USER_GRC, kInt),           PAR(PAR_ADDON, kInt),
    PAR(PAR_ADDON_TEXT, kTextPointer), PAR(PAR_ADDON_TIMING, kInt),
    PAR(PAR_ADDON_X, kInt),            PAR(PAR_ADDON_Y, kInt),
    PAR(PAR_ADDON_COUNTER_ON, kInt),   PAR(PAR_ADDON_COLOR, kInt),
    PAR(PAR_ADDON_STYLE, kInt),        PAR(PAR_ADDON_FLAG, kInt),
    PAR(PAR_COUNTUP_TIMING, kInt),     PAR(PAR_COUNTUP_AMOUNT, kInt),
    PAR(PAR_RESET_TIMING, kInt),       PAR(PAR_RESET_VALUE, kInt),
    PAR(PAR_POLARITY, kInt),           PAR(PAR_GAMMA, kNoValue),
    PAR(PAR_DEVICE_PAGE_37, kNoValue), PAR(PAR_MAX_WIDTH, kInt),
    PAR(PAR_MAX_LENGTH, kInt),         PAR(PAR_BASE_RESOLUTION, kInt),
    PAR(PAR_INVERT, kInt),             PAR(PAR_JPEG_QUALITY, kInt),
    PAR(PAR_FKEY_1, kInt),             PAR(PAR_FKEY_2, kInt),
    PAR(PAR_FKEY_3, kInt),             PAR(PAR_FKEY_4, kInt),
    PAR(PAR_FKEY_5, kInt),             PAR(PAR_FKEY_6, kInt),
    PAR(PAR_FKEY_7, kInt),             PAR(PAR_FKEY_8, kInt),
    PAR(PAR_FKEY_9, kInt),             PAR(PAR_FKEY_10, kInt),
    PAR(PAR_GRC_MODE, kInt),           PAR(PAR_BATCH_MODE, kInt),
    PAR(PAR_COUNTER_1, kInt),          PAR(PAR_COUNTER_2, kInt),
    PAR(PAR_COUNTER_3, kInt),          PAR(PAR_ROTATE, kInt),
    PAR(PAR_PAGE_LENGTH, kInt),        PAR(PAR_PAGE_WIDTH, kInt),
    PAR(PAR_SEPARATOR_SENSE, kInt),    PAR(PAR_BATCH_CAPABLE, kInt),
    PAR(PAR_BACKGROUND_ERASE, kInt),
};
#undef PAR
enum { kParameterCount = sizeof kParameters / sizeof kParameters[0] };

/* The table holds the upper-case macro names after "PAR_"; a name given on
 * the command line matches in any case, with or without the prefix. */
static char Lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

static int NameMatches(const char* tableName, const char* given) {
  if (Lower(given[0]) == 'p' && Lower(given[1]) == 'a' && Lower(given[2]) == 'r' &&
      given[3] == '_') {
    given += 4;
  }
  for (; *tableName != '\0' && *given != '\0'; ++tableName, ++given) {
    char b = *given == '-' ? '_' : Lower(*given);
    if (Lower(*tableName) != b) return 0;
  }
  return *tableName == '\0' && *given == '\0';
}

static void PrintLowerName(FILE* out, const char* name) {
  for (; *name != '\0'; ++name) fputc(Lower(*name), out);
}

/* The table entry of a name or a number; -1 when there is none. */
static int FindParameter(const char* text) {
  char* end = NULL;
  long number = strtol(text, &end, 10);
  if (end != text && *end == '\0') {
    for (int i = 0; i < kParameterCount; ++i) {
      if (kParameters[i].id == number) return i;
    }
    return -1;
  }
  for (int i = 0; i < kParameterCount; ++i) {
    if (NameMatches(kParameters[i].name, text)) return i;
  }
  return -1;
}

static int SetParameter(const struct Driver* driver, const char* assignment) {
  const char* equals = strchr(assignment, '=');
  char name[64];
  if (equals == NULL || equals == assignment || (size_t)(equals - assignment) >= sizeof name) {
    fprintf(stderr, "%s: --set needs NAME=VALUE, not '%s'\n", kProgram, assignment);
    return kExitUsage;
  }
  memcpy(name, assignment, (size_t)(equals - assignment));
  name[equals - assignment] = '\0';
  const char* valueText = equals + 1;
  int index = FindParameter(name);
  if (index < 0) {
    fprintf(stderr, "%s: unknown parameter '%s' (see --all-options)\n", kProgram, name);
    return kExitUsage;
  }
  int32_t result;
  if (kParameters[index].kind == kTextPointer) {
    const char* text = valueText;
    result = driver->parSet(kParameters[index].id, &text);
  } else if (kParameters[index].kind == kInt) {
    char* end = NULL;
    long value = strtol(valueText, &end, 0);
    if (end == valueText || *end != '\0') {
      fprintf(stderr, "%s: the value of %s must be a number, not '%s'\n", kProgram, name, valueText);
      return kExitUsage;
    }
    int32_t cell = (int32_t)value;
    result = driver->parSet(kParameters[index].id, &cell);
  } else {
    fprintf(stderr, "%s: parameter %s cannot be set from the command line\n", kProgram, name);
    return kExitUsage;
  }
  if (result != 0) {
    char what[96];
    snprintf(what, sizeof what, "setting %s to %s", name, valueText);
    ReportResult(what, result);
    return kExitDriver;
  }
  return kExitOk;
}

static int32_t GetInt(const struct Driver* driver, int32_t id) {
  int32_t cell = 0;
  if (driver->parGet(id, &cell) != 0) return 0;
  return cell;
}

static void ShowParameters(const struct Driver* driver) {
  printf("%-22s %4s  %s\n", "name", "id", "value");
  for (int i = 0; i < kParameterCount; ++i) {
    char value[80];
    int32_t result = 0;
    if (kParameters[i].kind == kTextPointer) {
      char text[65] = {0};
      char* cell = text;
      result = driver->parGet(kParameters[i].id, &cell);
      snprintf(value, sizeof value, "\"%.64s\"", text);
    } else if (kParameters[i].kind == kInt) {
      int32_t cell = 0;
      result = driver->parGet(kParameters[i].id, &cell);
      snprintf(value, sizeof value, "%d", (int)cell);
    } else {
      snprintf(value, sizeof value, "(not shown)");
    }
    if (result == TSD_ERR_UNKNOWN_PARAMETER) snprintf(value, sizeof value, "(set only)");
    else if (result != 0) snprintf(value, sizeof value, "(result %d)", (int)result);
    PrintLowerName(stdout, kParameters[i].name);
    printf("%*s %4d  %s\n", (int)(22 - strlen(kParameters[i].name)), "", (int)kParameters[i].id,
           value);
  }
}

/* ---- Output formats --------------------------------------------------- */

/* What each --format sets before the batch starts. A zero image type keeps
 * the current one. */
static const struct {
  const char* name;
  const char* extension;
  int32_t fileType;
  int32_t compression;
  int32_t imageType;
  int32_t bitsPerPixel;
} kFormats[] = {
    {"tiff", "tif", TSD_FILE_TIFF, TSD_COMPRESSION_G4, 0, 0},
    {"jpeg", "jpg", TSD_FILE_JPEG, TSD_COMPRESSION_JPEG, 4, 8},
    {"bmp", "bmp", TSD_FILE_BMP, TSD_COMPRESSION_NONE, 0, 0},
    {"png", "png", TSD_FILE_CODER, TSD_COMPRESSION_CODER, 0, 0},
};

static int FindFormat(const char* name) {
  for (int i = 0; i < (int)(sizeof kFormats / sizeof kFormats[0]); ++i) {
    if (strcmp(kFormats[i].name, name) == 0 || strcmp(kFormats[i].extension, name) == 0) return i;
  }
  return -1;
}

/* ---- Cancelling -------------------------------------------------------- */

static volatile sig_atomic_t gCancelRequested = 0;

static void OnInterrupt(int signalNumber) {
  (void)signalNumber;
  gCancelRequested = 1;
}

static int32_t TSD_CALL AskCancel(void) { return gCancelRequested ? 1 : 0; }

static double Now(void) {
#ifdef _WIN32
  return (double)GetTickCount() / 1000.0;
#else
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
#endif
}

static long FileSizeOf(const char* path) {
  FILE* file = fopen(path, "rb");
  if (file == NULL) return -1;
  long size = -1;
  if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
  fclose(file);
  return size;
}

/* ---- Batches ---------------------------------------------------------- */

struct BatchOptions {
  const char* output;  /* the multi-page TIFF document */
  const char* pattern; /* one file per page, printf pattern with the page number */
  int format;
  int compression; /* -1: the format's default */
  int append;
  long insertAt; /* 0: no insert */
  long maxPages; /* 0: until the feeder is empty */
  long startCount;
  const char* docName;
  const char* pageName;
  int quiet;
};

/* A page name pattern: literal text with "%%" for a percent sign and exactly
 * one integer conversion "%[0|-][width]d" for the page number. Expands the
 * pattern into out; 0 when the pattern is not of that form or too long. */
static int ExpandPattern(const char* pattern, long number, char* out, size_t size) {
  size_t used = 0;
  int conversions = 0;
  for (const char* p = pattern; *p != '\0'; ++p) {
    char piece[64];
    if (*p != '%') {
      piece[0] = *p;
      piece[1] = '\0';
    } else if (p[1] == '%') {
      ++p;
      strcpy(piece, "%");
    } else {
      ++p;
      int zero = 0, left = 0, width = 0;
      for (; *p == '0' || *p == '-'; ++p) {
        if (*p == '0') zero = 1;
        else left = 1;
      }
      for (; *p >= '0' && *p <= '9' && width < 100; ++p) width = width * 10 + (*p - '0');
      if ((*p != 'd' && *p != 'i' && *p != 'u') || width >= 100) return 0;
      ++conversions;
      if (left) snprintf(piece, sizeof piece, "%-*ld", width, number);
      else if (zero) snprintf(piece, sizeof piece, "%0*ld", width, number);
      else snprintf(piece, sizeof piece, "%*ld", width, number);
    }
    size_t length = strlen(piece);
    if (used + length >= size) return 0;
    memcpy(out + used, piece, length);
    used += length;
  }
  out[used] = '\0';
  return conversions == 1;
}

static int ApplyFormat(const struct Driver* driver, const struct BatchOptions* options) {
  const char* names[4] = {"image_type", "bits_per_pixel", "file_type", "compression"};
  int32_t values[4] = {kFormats[options->format].imageType, kFormats[options->format].bitsPerPixel,
                       kFormats[options->format].fileType, kFormats[options->format].compression};
  const int32_t ids[4] = {PAR_IMAGE_TYPE, PAR_BITS_PER_PIXEL, PAR_FILE_TYPE, PAR_COMPRESSION};
  if (options->compression >= 0) values[3] = options->compression;
  for (int i = 0; i < 4; ++i) {
    if (values[i] == 0 && i < 2) continue; /* keep the current image type and depth */
    int32_t result = driver->parSet(ids[i], &values[i]);
    if (result != 0) {
      char what[64];
      snprintf(what, sizeof what, "setting %s to %d", names[i], (int)values[i]);
      ReportResult(what, result);
      return kExitDriver;
    }
  }
  return kExitOk;
}

static int RunBatch(const struct Driver* driver, const struct BatchOptions* options) {
  int status = ApplyFormat(driver, options);
  if (status != kExitOk) return status;
  if (options->docName != NULL) driver->docnameSet(options->docName);
  if (options->pageName != NULL) driver->pagenameSet(options->pageName);

  /* The page raster in the larger of its orientations, at one byte a pixel. */
  int32_t resolution = GetInt(driver, PAR_RESOLUTION);
  int32_t base = GetInt(driver, PAR_BASE_RESOLUTION);
  if (resolution <= 0 || resolution > 1200) resolution = 600;
  if (base <= 0) base = 300;
  size_t side = (size_t)GetInt(driver, PAR_MAX_LENGTH) + 64;
  if (side < (size_t)GetInt(driver, PAR_MAX_WIDTH) + 64) side = (size_t)GetInt(driver, PAR_MAX_WIDTH) + 64;
  side = side * (size_t)resolution / (size_t)base + 8;
  void* page = calloc(side, side);
  if (page == NULL) {
    fprintf(stderr, "%s: no memory for a page buffer of %zu bytes\n", kProgram, side * side);
    return kExitDriver;
  }

  const int multiPage = options->pattern == NULL;
  uint32_t position = 0;
  if (multiPage && options->append) position = 0xFFFFFFFFu;
  if (multiPage && options->insertAt > 0) position = (uint32_t)options->insertAt;
  uint32_t linkHint = 0;
  uint32_t result = driver->startScan(multiPage ? options->output : NULL, &position, &linkHint);
  if (result != 0) {
    ReportResult("starting the batch", (int32_t)result);
    free(page);
    return kExitDriver;
  }
  long existing = multiPage && options->append ? (long)position : 0;
  if (multiPage && options->insertAt > 0) existing = -1; /* not known to the host */

  double started = Now();
  uint32_t previousSize = 0;
  if (multiPage) driver->getFileSize(&previousSize);
  long pages = 0;
  long number = options->startCount;
  char fileName[1024];
  for (;;) {
    if (options->maxPages > 0 && pages >= options->maxPages) {
      result = 0;
      break;
    }
    const char* target = NULL;
    if (!multiPage) {
      if (!ExpandPattern(options->pattern, number, fileName, sizeof fileName)) {
        fprintf(stderr, "%s: the page file name is too long\n", kProgram);
        result = TSD_ERR_FILE;
        break;
      }
      target = fileName;
    }
    result = driver->readPage(target, page, AskCancel);
    if (result != 0) break;
    ++pages;
    int32_t width = GetInt(driver, PAR_PAGE_LENGTH);
    int32_t length = GetInt(driver, PAR_PAGE_WIDTH);
    long bytes;
    if (multiPage) {
      uint32_t size = previousSize;
      driver->getFileSize(&size);
      bytes = (long)(size - previousSize);
      previousSize = size;
    } else {
      bytes = FileSizeOf(fileName);
    }
    if (!options->quiet) {
      fprintf(stderr, "page %ld: %d x %d pixels, %ld bytes%s%s, %.2f s\n", pages, (int)width,
              (int)length, bytes, multiPage ? "" : " in ", multiPage ? "" : fileName,
              Now() - started);
    }
    ++number;
  }

  /* 6 (feeder empty) and 14 (cancelled) have finished the document already;
   * closing again is harmless and covers the other endings. */
  uint32_t closed = driver->closeFile();
  driver->stopScan();
  free(page);

  int exitStatus = kExitOk;
  if (result == TSD_ERR_ABORTED && gCancelRequested) {
    fprintf(stderr, "%s: cancelled after %ld page%s\n", kProgram, pages, pages == 1 ? "" : "s");
    exitStatus = kExitCancelled;
  } else if (result != 0 && result != TSD_ERR_NO_PAPER) {
    ReportResult("reading a page", (int32_t)result);
    exitStatus = kExitDriver;
  } else if (closed != 0) {
    ReportResult("finishing the document", (int32_t)closed);
    exitStatus = kExitDriver;
  }
  if (pages == 0 && exitStatus == kExitOk) {
    fprintf(stderr, "%s: the feeder is empty: no page was scanned\n", kProgram);
    exitStatus = kExitDriver;
  }
  if (!options->quiet || exitStatus != kExitOk) {
    if (multiPage && existing >= 0) {
      fprintf(stderr, "%s: %s holds %ld page%s (%ld scanned now)\n", kProgram, options->output,
              existing + pages, existing + pages == 1 ? "" : "s", pages);
    } else if (multiPage) {
      fprintf(stderr, "%s: %ld page%s inserted into %s in front of page %ld\n", kProgram, pages,
              pages == 1 ? "" : "s", options->output, options->insertAt);
      if (result != 0 && result != TSD_ERR_NO_PAPER && result != TSD_ERR_ABORTED) {
        fprintf(stderr,
                "%s: the document was not finished: it holds its pages 1 to %ld and the %ld new "
                "page%s; the pages from %ld on are no longer linked\n",
                kProgram, options->insertAt - 1, pages, pages == 1 ? "" : "s", options->insertAt);
      }
    } else {
      fprintf(stderr, "%s: %ld file%s written\n", kProgram, pages, pages == 1 ? "" : "s");
    }
  }
  return exitStatus;
}

/* ---- Commands --------------------------------------------------------- */

static int Probe(const struct Driver* driver) {
  uint32_t result = driver->probe();
  if (result != 0) {
    ReportResult("finding the scanner", (int32_t)result);
    return kExitDriver;
  }
  return kExitOk;
}

static int ListScanner(const struct Driver* driver) {
  char scanner[16] = {0};
  driver->getScannerName(scanner);
  printf("device `%s' is a %s sheet-fed document scanner (batch scan %s)\n", scanner, scanner,
         GetInt(driver, PAR_BATCH_CAPABLE) != 0 ? "capable" : "not capable");
  return kExitOk;
}

/* The ASPI provider's own account of the bus, when it keeps one (the SCSI
   generic provider does): each device and why one was skipped. */
static void ShowProviderNotes(void) {
  const char* (*notes)(void) = NULL;
#ifdef _WIN32
  HMODULE provider = GetModuleHandleA("wnaspi32.dll");
  if (provider == NULL) return;
  FARPROC symbol = GetProcAddress(provider, "TarvoAspiProviderNotes");
  if (symbol != NULL) memcpy(&notes, &symbol, sizeof notes);
  if (notes != NULL) printf("SCSI bus:\n%s", notes());
#else
  const char* path = getenv("TARVOSCN_ASPI");
  void* provider = dlopen(path != NULL && *path != '\0' ? path : "libwnaspi32.so",
                          RTLD_LAZY | RTLD_NOLOAD);
  if (provider == NULL) return;
  void* symbol = dlsym(provider, "TarvoAspiProviderNotes");
  if (symbol != NULL) memcpy(&notes, &symbol, sizeof notes);
  if (notes != NULL) printf("SCSI bus:\n%s", notes());
  dlclose(provider);
#endif
}

static void Usage(FILE* out) {
  fprintf(out,
          "Usage: %s [OPTION]...\n"
          "       %s --join DEST SRC\n"
          "       %s --rename FILE NAME\n"
          "Scan with the RT650 sheet-fed scanner through the tarvoscn driver.\n"
          "Without --list, --all-options, --join or --rename it scans a batch.\n"
          "\n"
          "  -L, --list               find the scanner and show it\n"
          "  -A, --all-options        show every parameter: name, number, value\n"
          "  -s, --set=NAME=VALUE     set a parameter by name (resolution, par_resolution)\n"
          "                           or number (6); may be given several times\n"
          "  -o, --output=FILE        the multi-page TIFF document (default scan.tif)\n"
          "  -b, --batch[=PATTERN]    one file per page, PATTERN with one %%d for the page\n"
          "                           number (default page%%03d.EXT)\n"
          "      --batch-start=N      the first page number of --batch (default 1)\n"
          "  -n, --batch-count=N      scan at most N pages\n"
          "  -f, --format=FORMAT      tiff (default), jpeg, bmp or png\n"
          "      --compression=C      none or g4 (default) for TIFF\n"
          "  -a, --append             add the pages after the last page of FILE\n"
          "  -i, --insert=N           insert the pages in front of page N of FILE\n"
          "      --doc-name=NAME      the document name stored with each page\n"
          "      --page-name=NAME     the page name stored with each page\n"
          "      --join DEST SRC      append the pages of the TIFF SRC to the TIFF DEST\n"
          "      --rename FILE NAME   change the document name of every page of FILE\n"
          "      --simulate[=CONFIG]  run against the simulated RT650 (CONFIG: its\n"
          "                           configuration file)\n"
          "      --library=PATH       load the driver from PATH\n"
          "  -q, --quiet              no progress, print nothing but errors\n"
          "  -h, --help               show this help and exit\n"
          "  -V, --version            show the driver's and this program's version and exit\n"
          "\n"
          "Ctrl-C cancels a batch; the document keeps the pages scanned so far.\n"
          "Exit status: 0 success, 1 the driver reported a failure, 2 bad usage,\n"
          "3 the driver cannot be loaded, 130 cancelled.\n"
          "Environment: TARVOSCN_ROOT (the driver's folder for drive C:),\n"
          "TARVOSCN_LIBRARY (the driver library to load), TARVOSCN_ASPI (the ASPI\n"
          "provider), RT650SIM_CONFIG (the simulator's configuration).\n",
          kProgram, kProgram, kProgram);
}

enum {
  kOptCompression = 256,
  kOptDocName,
  kOptPageName,
  kOptJoin,
  kOptRename,
  kOptSimulate,
  kOptLibrary,
  kOptBatchStart
};

static int ParseCount(const char* text, long minimum, long* out) {
  char* end = NULL;
  long value = strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < minimum) return 0;
  *out = value;
  return 1;
}

int main(int argc, char** argv) {
  static const struct option kOptions[] = {
      {"list", no_argument, NULL, 'L'},
      {"all-options", no_argument, NULL, 'A'},
      {"set", required_argument, NULL, 's'},
      {"output", required_argument, NULL, 'o'},
      {"batch", optional_argument, NULL, 'b'},
      {"batch-start", required_argument, NULL, kOptBatchStart},
      {"batch-count", required_argument, NULL, 'n'},
      {"format", required_argument, NULL, 'f'},
      {"compression", required_argument, NULL, kOptCompression},
      {"append", no_argument, NULL, 'a'},
      {"insert", required_argument, NULL, 'i'},
      {"doc-name", required_argument, NULL, kOptDocName},
      {"page-name", required_argument, NULL, kOptPageName},
      {"join", required_argument, NULL, kOptJoin},
      {"rename", required_argument, NULL, kOptRename},
      {"simulate", optional_argument, NULL, kOptSimulate},
      {"library", required_argument, NULL, kOptLibrary},
      {"quiet", no_argument, NULL, 'q'},
      {"help", no_argument, NULL, 'h'},
      {"version", no_argument, NULL, 'V'},
      {NULL, 0, NULL, 0},
  };
  struct BatchOptions batch;
  memset(&batch, 0, sizeof batch);
  batch.compression = -1;
  batch.startCount = 1;
  const char* library = NULL;
  const char* simulateConfig = NULL;
  const char* joinDestination = NULL;
  const char* renameFile = NULL;
  const char* sets[64];
  int setCount = 0;
  int list = 0, allOptions = 0, showVersion = 0, simulate = 0, batchPattern = 0;
  const char* formatName = "tiff";
  int opt;
  while ((opt = getopt_long(argc, argv, "LAs:o:b::n:f:ai:qhV", kOptions, NULL)) != -1) {
    switch (opt) {
      case 'L': list = 1; break;
      case 'A': allOptions = 1; break;
      case 's':
        if (setCount == (int)(sizeof sets / sizeof sets[0])) {
          fprintf(stderr, "%s: too many --set options\n", kProgram);
          return kExitUsage;
        }
        sets[setCount++] = optarg;
        break;
      case 'o': batch.output = optarg; break;
      case 'b':
        batchPattern = 1;
        batch.pattern = optarg;
        break;
      case kOptBatchStart:
        if (!ParseCount(optarg, 0, &batch.startCount)) {
          fprintf(stderr, "%s: --batch-start needs a number, not '%s'\n", kProgram, optarg);
          return kExitUsage;
        }
        break;
      case 'n':
        if (!ParseCount(optarg, 1, &batch.maxPages)) {
          fprintf(stderr, "%s: --batch-count needs a number of at least 1, not '%s'\n", kProgram,
                  optarg);
          return kExitUsage;
        }
        break;
      case 'f': formatName = optarg; break;
      case kOptCompression:
        if (strcmp(optarg, "none") == 0) batch.compression = TSD_COMPRESSION_NONE;
        else if (strcmp(optarg, "g4") == 0) batch.compression = TSD_COMPRESSION_G4;
        else {
          fprintf(stderr, "%s: --compression is none or g4, not '%s'\n", kProgram, optarg);
          return kExitUsage;
        }
        break;
      case 'a': batch.append = 1; break;
      case 'i':
        if (!ParseCount(optarg, 1, &batch.insertAt)) {
          fprintf(stderr, "%s: --insert needs a page number of at least 1, not '%s'\n", kProgram,
                  optarg);
          return kExitUsage;
        }
        break;
      case kOptDocName: batch.docName = optarg; break;
      case kOptPageName: batch.pageName = optarg; break;
      case kOptJoin: joinDestination = optarg; break;
      case kOptRename: renameFile = optarg; break;
      case kOptSimulate:
        simulate = 1;
        simulateConfig = optarg;
        break;
      case kOptLibrary: library = optarg; break;
      case 'q': batch.quiet = 1; break;
      case 'h': Usage(stdout); return kExitOk;
      case 'V': showVersion = 1; break;
      default: Usage(stderr); return kExitUsage;
    }
  }
  int operands = argc - optind;
  int wantOperands = joinDestination != NULL || renameFile != NULL ? 1 : 0;
  if (joinDestination != NULL && renameFile != NULL) {
    fprintf(stderr, "%s: --join and --rename go separately\n", kProgram);
    return kExitUsage;
  }
  if (operands != wantOperands) {
    if (operands > wantOperands) {
      fprintf(stderr, "%s: unexpected argument '%s'\n", kProgram, argv[optind + wantOperands]);
    } else {
      fprintf(stderr, "%s: %s needs two arguments\n", kProgram,
              joinDestination != NULL ? "--join" : "--rename");
    }
    Usage(stderr);
    return kExitUsage;
  }
  batch.format = FindFormat(formatName);
  if (batch.format < 0) {
    fprintf(stderr, "%s: unknown format '%s' (tiff, jpeg, bmp, png)\n", kProgram, formatName);
    return kExitUsage;
  }
  if (batch.compression >= 0 && kFormats[batch.format].fileType != TSD_FILE_TIFF) {
    fprintf(stderr, "%s: --compression applies to TIFF only\n", kProgram);
    return kExitUsage;
  }
  char defaultPattern[32];
  if (kFormats[batch.format].fileType != TSD_FILE_TIFF && !batchPattern) batchPattern = 1;
  if (batchPattern && batch.pattern == NULL) {
    snprintf(defaultPattern, sizeof defaultPattern, "page%%03d.%s", kFormats[batch.format].extension);
    batch.pattern = defaultPattern;
  }
  char probeName[1024];
  if (batch.pattern != NULL && !ExpandPattern(batch.pattern, 0, probeName, sizeof probeName)) {
    fprintf(stderr, "%s: the --batch pattern needs exactly one %%d, not '%s'\n", kProgram,
            batch.pattern);
    return kExitUsage;
  }
  if ((batch.append || batch.insertAt > 0) && (batch.pattern != NULL || batch.output == NULL)) {
    fprintf(stderr, "%s: --append and --insert need --output with a TIFF document\n", kProgram);
    return kExitUsage;
  }
  if (batch.append && batch.insertAt > 0) {
    fprintf(stderr, "%s: --append and --insert go separately\n", kProgram);
    return kExitUsage;
  }
  if (batch.pattern != NULL && batch.output != NULL) {
    fprintf(stderr, "%s: --output and --batch go separately\n", kProgram);
    return kExitUsage;
  }
  if (batch.pattern == NULL && batch.output == NULL) batch.output = "scan.tif";

  if (simulate && !SetUpSimulator(library, simulateConfig)) {
    fprintf(stderr, "%s: cannot set up the simulator's environment\n", kProgram);
    return kExitLoad;
  }
  struct Driver driver;
  if (!LoadDriver(library, &driver)) return kExitLoad;
#ifndef _WIN32
  PreloadCodecs();
#endif

  int status = kExitOk;
  if (showVersion) {
    char fileName[520] = {0};
    char version[64] = {0};
    driver.getDriverName(fileName, version);
    printf("%s %s\n", kProgram, kProgramVersion);
    printf("driver: %s %s\n", fileName, version);
    ShowProvider();
  } else if (joinDestination != NULL) {
    int32_t result = driver.concatTiff(joinDestination, argv[optind]);
    if (result != 0) {
      ReportResult("joining the documents", result);
      status = kExitDriver;
    } else if (!batch.quiet) {
      printf("%s: the pages of %s now follow those of %s\n", kProgram, argv[optind],
             joinDestination);
    }
  } else if (renameFile != NULL) {
    int32_t result = driver.changeDocname(renameFile, argv[optind]);
    if (result != 0) {
      fprintf(stderr, "%s: renaming the document %s failed: result %d (%s)\n", kProgram,
              renameFile, (int)result, "the file cannot be opened, read or written, or is not TIFF");
      status = kExitDriver;
    } else if (!batch.quiet) {
      printf("%s: %s is now named \"%s\"\n", kProgram, renameFile, argv[optind]);
    }
  } else {
    status = Probe(&driver);
    if (list) ShowProviderNotes();
    for (int i = 0; i < setCount && status == kExitOk; ++i) status = SetParameter(&driver, sets[i]);
    if (status == kExitOk) {
      if (list) status = ListScanner(&driver);
      if (allOptions) ShowParameters(&driver);
      if (!list && !allOptions) {
        signal(SIGINT, OnInterrupt);
        status = RunBatch(&driver, &batch);
        signal(SIGINT, SIG_DFL);
      }
    }
  }
  CloseLibrary(driver.handle);
  return status;
}
