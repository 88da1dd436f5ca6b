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
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <errno.h>
#include <time.h>

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include "tarvoscn.h"
#include "tarvoscn_params.h"

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
  kExitJam = 4,       /* paper jam; the pages before it are kept */
  kExitEmptyFeeder = 5, /* no sheet in the feeder at the start */
  kExitDiskFull = 6,  /* the disk is full; the complete pages are kept */
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
  uint32_t(TSD_CALL* setModeToScanner)(void);
  uint32_t(TSD_CALL* startScan)(const char*, uint32_t*, uint32_t*);
  uint32_t(TSD_CALL* readPage)(const char*, void*, TsdCancelCallback);
  uint32_t(TSD_CALL* stopScan)(void);
  uint32_t(TSD_CALL* contScan)(void);
  uint32_t(TSD_CALL* abortScan)(void);
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
    {"TsdSetModeToScanner", offsetof(struct Driver, setModeToScanner)},
    {"TsdStartScan", offsetof(struct Driver, startScan)},
    {"TsdReadPage", offsetof(struct Driver, readPage)},
    {"TsdStopScan", offsetof(struct Driver, stopScan)},
    {"TsdContScan", offsetof(struct Driver, contScan)},
    {"TsdAbortScan", offsetof(struct Driver, abortScan)},
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

/* Every parameter, its values and meaning come from the driver's public
 * descriptor table (tarvoscn_params.h). */
static char Lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

/* A name given on the command line matches a row's key in any case, with or
 * without the PAR_ prefix, '-' standing for '_'. */
static int NameMatches(const char* key, const char* given) {
  if (Lower(given[0]) == 'p' && Lower(given[1]) == 'a' && Lower(given[2]) == 'r' &&
      given[3] == '_') {
    given += 4;
  }
  for (; *key != '\0' && *given != '\0'; ++key, ++given) {
    char b = *given == '-' ? '_' : Lower(*given);
    if (*key != b) return 0;
  }
  return *key == '\0' && *given == '\0';
}

/* The table row of a name or a number; NULL when there is none. */
static const struct TsdParamDesc* FindParameter(const char* text) {
  char* end = NULL;
  long number = strtol(text, &end, 10);
  int byNumber = end != text && *end == '\0';
  for (size_t i = 0; i < TSD_PARAM_COUNT; ++i) {
    if (byNumber ? tsdParamTable[i].id == number : NameMatches(tsdParamTable[i].key, text)) {
      return &tsdParamTable[i];
    }
  }
  return NULL;
}

static const struct TsdParamDesc* ParameterById(int32_t id) {
  for (size_t i = 0; i < TSD_PARAM_COUNT; ++i) {
    if (tsdParamTable[i].id == id) return &tsdParamTable[i];
  }
  return NULL;
}

/* "one of 200, 300, 600 dpi", "0 to 255", "a text of at most 63 characters". */
static void AllowedValues(const struct TsdParamDesc* row, char* out, size_t size) {
  size_t used = 0;
  out[0] = '\0';
  switch (row->type) {
    case TSD_PARAM_CHOICE:
      used += (size_t)snprintf(out, size, "one of");
      for (const int32_t* v = row->values; *v != TSD_TABLE_END && used < size; ++v) {
        used += (size_t)snprintf(out + used, size - used, "%s %d", v == row->values ? "" : ",",
                                 (int)*v);
      }
      break;
    case TSD_PARAM_FLAG:
      used = (size_t)snprintf(out, size, "0 or 1");
      break;
    case TSD_PARAM_TEXT:
      used = (size_t)snprintf(out, size, "a text of at most %d characters", (int)row->max);
      break;
    case TSD_PARAM_BLOCK:
      used = (size_t)snprintf(out, size, "a block of %d bytes", (int)row->max);
      break;
    default:
      used = (size_t)snprintf(out, size, "%d to %d", (int)row->min, (int)row->max);
      break;
  }
  if (row->unit[0] != '\0' && used < size) snprintf(out + used, size - used, " %s", row->unit);
}

/* Function key codes are listed in hexadecimal. */
static void AllowedValuesFixed(const struct TsdParamDesc* row, char* out, size_t size) {
  if (row->id >= PAR_FKEY_1 && row->id <= PAR_FKEY_10) {
    snprintf(out, size, "one bit of 0x20 to 0x800000");
    return;
  }
  AllowedValues(row, out, size);
}

static int ValueAllowed(const struct TsdParamDesc* row, long value) {
  if ((row->access & TSD_PARAM_ANY_VALUE) != 0) return 1;
  if (row->type == TSD_PARAM_CHOICE) {
    for (const int32_t* v = row->values; *v != TSD_TABLE_END; ++v) {
      if (*v == value) return 1;
    }
    return 0;
  }
  return value >= row->min && value <= row->max;
}

static int32_t GetInt(const struct Driver* driver, int32_t id) {
  int32_t cell = 0;
  if (driver->parGet(id, &cell) != 0) return 0;
  return cell;
}

/* Sets one parameter to an integer; a refusal names the allowed values. */
static int SetInt(const struct Driver* driver, int32_t id, int32_t value) {
  int32_t cell = value;
  int32_t result = driver->parSet(id, &cell);
  if (result == 0) return kExitOk;
  const struct TsdParamDesc* row = ParameterById(id);
  char what[160];
  char allowed[120] = "";
  if (row != NULL) AllowedValuesFixed(row, allowed, sizeof allowed);
  snprintf(what, sizeof what, "setting %s to %d%s%s", row != NULL ? row->key : "?", (int)value,
           allowed[0] != '\0' ? " (allowed: " : "", allowed[0] != '\0' ? allowed : "");
  if (allowed[0] != '\0') strncat(what, ")", sizeof what - strlen(what) - 1);
  ReportResult(what, result);
  return result == (int32_t)TSD_ERR_INVALID_VALUE ? kExitUsage : kExitDriver;
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
  const struct TsdParamDesc* row = FindParameter(name);
  if (row == NULL) {
    fprintf(stderr, "%s: unknown parameter '%s' (see --all-options)\n", kProgram, name);
    return kExitUsage;
  }
  char allowed[120];
  AllowedValuesFixed(row, allowed, sizeof allowed);
  if ((row->access & TSD_PARAM_SETTABLE) == 0 || row->type == TSD_PARAM_BLOCK) {
    fprintf(stderr, "%s: parameter %s cannot be set from the command line\n", kProgram, row->key);
    return kExitUsage;
  }
  if (row->type == TSD_PARAM_TEXT) {
    if (row->max > 0 && strlen(valueText) > (size_t)row->max) {
      fprintf(stderr, "%s: %s takes %s\n", kProgram, row->key, allowed);
      return kExitUsage;
    }
    const char* text = valueText;
    int32_t result = driver->parSet(row->id, &text);
    if (result != 0) {
      ReportResult("setting a text", result);
      return kExitDriver;
    }
    return kExitOk;
  }
  char* end = NULL;
  long value = strtol(valueText, &end, 0);
  if (end == valueText || *end != '\0' || !ValueAllowed(row, value)) {
    fprintf(stderr, "%s: %s takes %s, not '%s'\n", kProgram, row->key, allowed, valueText);
    return kExitUsage;
  }
  return SetInt(driver, row->id, (int32_t)value);
}

/* -A: every parameter with its value, allowed values, unit and meaning. */
static void ShowParameters(const struct Driver* driver) {
  printf("%-20s %4s %-10s %-34s %s\n", "name", "id", "value", "allowed", "meaning");
  for (size_t i = 0; i < TSD_PARAM_COUNT; ++i) {
    const struct TsdParamDesc* row = &tsdParamTable[i];
    char value[80];
    char allowed[120];
    AllowedValuesFixed(row, allowed, sizeof allowed);
    int32_t result = 0;
    if ((row->access & TSD_PARAM_GETTABLE) == 0) {
      snprintf(value, sizeof value, "(set only)");
    } else if (row->type == TSD_PARAM_TEXT) {
      char text[65] = {0};
      char* cell = text;
      result = driver->parGet(row->id, &cell);
      snprintf(value, sizeof value, "\"%.64s\"", text);
    } else if (row->type == TSD_PARAM_BLOCK || row->id == PAR_DOC_NAME) {
      snprintf(value, sizeof value, "-");
    } else {
      int32_t cell = 0;
      result = driver->parGet(row->id, &cell);
      snprintf(value, sizeof value, row->id >= PAR_FKEY_1 && row->id <= PAR_FKEY_10 ? "0x%x" : "%d",
               (int)cell);
    }
    if (result != 0) snprintf(value, sizeof value, "(result %d)", (int)result);
    printf("%-20s %4d %-10s %-34s %s%s\n", row->key, (int)row->id, value, allowed, row->meaning,
           (row->access & TSD_PARAM_SETTABLE) == 0 ? " (read only)" : "");
  }
}

/* ---- The scan in the user's units ------------------------------------ */

/* The page-size list of the Settings dialog: how the sheet lies in the
 * feeder ("landscape": long edge first), its window length along the feed
 * and width across it in pixels at 200, 300 and 600 dpi, and the top offset
 * of frame area 1. */
static const struct {
  const char* name;
  int32_t length[3];
  int32_t width[3];
  int32_t frame1Top[3];
} kPapers[] = {
    {"Letter landscape", {1704, 2552, 5104}, {2200, 3304, 6600}, {11, 17, 35}},
    {"Letter", {2200, 3304, 6600}, {1704, 2552, 5104}, {11, 17, 35}},
    {"Legal", {2800, 4200, 8400}, {1704, 2552, 5104}, {11, 17, 35}},
    {"Tabloid", {3400, 5096, 10200}, {2200, 3304, 6600}, {11, 17, 35}},
    {"Statement", {1704, 2552, 5104}, {1104, 1656, 3304}, {11, 17, 35}},
    {"A3", {3304, 4960, 9920}, {2320, 3488, 6976}, {59, 88, 177}},
    {"A4 landscape", {1656, 2480, 4960}, {2320, 3488, 6976}, {59, 88, 177}},
    {"A4", {2320, 3488, 6976}, {1656, 2480, 4960}, {59, 88, 177}},
    {"A5 landscape", {1168, 1752, 3496}, {1656, 2480, 4960}, {59, 88, 177}},
    {"A6 landscape", {832, 1240, 2480}, {1168, 1752, 3496}, {59, 88, 177}},
    {"B4 (ISO)", {2784, 4176, 8344}, {1968, 2952, 5912}, {279, 419, 838}},
    {"B4 (JIS)", {2872, 4304, 8600}, {2024, 3040, 6072}, {279, 419, 838}},
    {"B5 (ISO) landscape", {1392, 2080, 4160}, {1968, 2952, 5912}, {279, 419, 838}},
    {"B5 (JIS) landscape", {1440, 2152, 4304}, {2024, 3040, 6072}, {279, 419, 838}},
    {"Maximum size", {3424, 5136, 10272}, {2320, 3488, 6976}, {0, 0, 0}},
};
enum { kPaperCount = sizeof kPapers / sizeof kPapers[0], kDefaultPaper = 6 };

/* Paper names match in any case, with '-', '_' or nothing for a blank and
 * without brackets: "a4-landscape", "b4-iso", "maximum-size". */
static int PaperNameMatches(const char* name, const char* given) {
  for (;;) {
    while (*name == ' ' || *name == '(' || *name == ')') ++name;
    while (*given == ' ' || *given == '-' || *given == '_') ++given;
    if (*name == '\0' || *given == '\0') return *name == '\0' && *given == '\0';
    if (Lower(*name) != Lower(*given)) return 0;
    ++name;
    ++given;
  }
}

static void ListPapers(FILE* out) {
  for (int i = 0; i < kPaperCount; ++i) fprintf(out, "%s\"%s\"", i == 0 ? "" : ", ", kPapers[i].name);
}

/* --mode: image type and depth. */
static const struct {
  const char* name;
  int32_t imageType;
  int32_t bitsPerPixel;
} kModes[] = {{"lineart", TSD_IMAGE_LINEART, 1},
               {"halftone", TSD_IMAGE_HALFTONE, 1},
               {"gray", TSD_IMAGE_GRAY, 8},
               {"text", TSD_IMAGE_LINEART_TEXT, 1}};
enum { kModeCount = sizeof kModes / sizeof kModes[0] };

struct ScanChoices {
  int mode;        /* index of kModes, -1: the format's or the scanner's */
  int32_t resolution; /* 0: the scanner's */
  int paper;       /* index of kPapers */
  int32_t frame;   /* frame area 0..3 */
  double leftMm, topMm, widthMm, lengthMm; /* < 0: not given */
  const char* imprint;   /* NULL: the imprinter stays as it is */
  int imprintCounter;    /* print the imprinter counter after the text */
  long imprintStep;      /* -1: unchanged */
  long imprintX, imprintY; /* mm, -1: unchanged */
};

static int32_t MmToPixels(double mm, int32_t dpi) { return (int32_t)(mm * dpi / 25.4 + 0.5); }

/* The window of the paper at resolution r with the Settings dialog's rule,
 * then narrowed to -l -t -x -y (millimetres on the upright page). The
 * driver turns a sheet fed long edge first a quarter turn counterclockwise;
 * one fed short edge first is kept as the scanner delivers it. */
struct Window {
  int32_t length, width, top, side, rotate;
};

static struct Window PaperWindow(const struct ScanChoices* c, int32_t r) {
  const int column = r == 200 ? 0 : r == 300 ? 1 : 2;
  const int32_t L = kPapers[c->paper].length[column];
  const int32_t W = kPapers[c->paper].width[column];
  const int32_t lMax = r * 5136 / 300;
  const int32_t wMax = r * 3488 / 300;
  struct Window w = {L, W, 0, (wMax - W) / 2, W > L ? 0 : 1};
  if (c->frame == 0) w.top = (lMax - L) / 2;
  else if (c->frame == 1) w.top = kPapers[c->paper].frame1Top[column];
  else w.top = lMax / 2 - L;
  if (c->leftMm < 0 && c->topMm < 0 && c->widthMm < 0 && c->lengthMm < 0) return w;
  const int turned = w.rotate == 0;
  const int32_t pageWidth = turned ? L : W; /* upright */
  const int32_t pageHeight = turned ? W : L;
  int32_t left = c->leftMm >= 0 ? MmToPixels(c->leftMm, r) : 0;
  int32_t top = c->topMm >= 0 ? MmToPixels(c->topMm, r) : 0;
  if (left > pageWidth) left = pageWidth;
  if (top > pageHeight) top = pageHeight;
  int32_t x = c->widthMm >= 0 ? MmToPixels(c->widthMm, r) : pageWidth - left;
  int32_t y = c->lengthMm >= 0 ? MmToPixels(c->lengthMm, r) : pageHeight - top;
  const int32_t paperLeft = wMax - w.side - W; /* across the feed, from the X origin */
  int32_t windowLeft;
  if (turned) {
    w.length = x;
    w.width = y;
    w.top += left;
    windowLeft = paperLeft + (W - top - y);
  } else {
    w.width = x;
    w.length = y;
    w.top += top;
    windowLeft = paperLeft + left;
  }
  w.side = wMax - windowLeft - w.width;
  return w;
}

/* Sets what the user chose, in the order the driver checks them. */
static int ApplyChoices(const struct Driver* driver, const struct ScanChoices* c, int32_t resolution) {
  int status = kExitOk;
  if (c->mode >= 0) {
    status = SetInt(driver, PAR_IMAGE_TYPE, kModes[c->mode].imageType);
    if (status == kExitOk && kModes[c->mode].imageType == TSD_IMAGE_GRAY) {
      status = SetInt(driver, PAR_BITS_PER_PIXEL, kModes[c->mode].bitsPerPixel);
    }
  }
  if (status == kExitOk) status = SetInt(driver, PAR_RESOLUTION, resolution);
  const struct Window w = PaperWindow(c, resolution);
  const int32_t geometry[][2] = {{PAR_FRAME_AREA, c->frame},  {PAR_SCAN_LENGTH, w.length},
                                 {PAR_SCAN_WIDTH, w.width},    {PAR_TOP_OFFSET, w.top},
                                 {PAR_SIDE_OFFSET, w.side},    {PAR_ROTATE, w.rotate}};
  for (size_t i = 0; i < sizeof geometry / sizeof geometry[0] && status == kExitOk; ++i) {
    status = SetInt(driver, geometry[i][0], geometry[i][1]);
  }
  if (c->imprint != NULL && status == kExitOk) {
    const char* text = c->imprint;
    int32_t result = driver->parSet(PAR_ADDON_TEXT, &text);
    if (result != 0) {
      ReportResult("setting the imprinter's text", result);
      return kExitDriver;
    }
    status = SetInt(driver, PAR_ADDON, 1);
    if (status == kExitOk) status = SetInt(driver, PAR_ADDON_COUNTER_ON, c->imprintCounter);
  }
  if (c->imprintStep >= 0 && status == kExitOk) status = SetInt(driver, PAR_COUNTUP_AMOUNT, (int32_t)c->imprintStep);
  if (c->imprintX >= 0 && status == kExitOk) status = SetInt(driver, PAR_ADDON_X, (int32_t)c->imprintX);
  if (c->imprintY >= 0 && status == kExitOk) status = SetInt(driver, PAR_ADDON_Y, (int32_t)c->imprintY);
  return status;
}

/* After the sets, the whole record goes to the scanner at once (every
 * parameter read refreshes the record from the scanner, which would
 * otherwise undo the values a set keeps in the driver only); then what the
 * scanner kept is read back. */
static int PushChoices(const struct Driver* driver, int32_t resolution, const struct ScanChoices* c) {
  uint32_t result = driver->setModeToScanner();
  if (result != 0) {
    ReportResult("sending the settings to the scanner", (int32_t)result);
    return kExitDriver;
  }
  const int32_t kept = GetInt(driver, PAR_RESOLUTION);
  if (kept != resolution && resolution != 0) {
    fprintf(stderr, "%s: the scanner kept %d dpi, not %d\n", kProgram, (int)kept, (int)resolution);
    return kExitDriver;
  }
  if (c->imprint != NULL && GetInt(driver, PAR_ADDON) != 1) {
    fprintf(stderr, "%s: the scanner did not keep the imprinter on\n", kProgram);
    return kExitDriver;
  }
  return kExitOk;
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
    {"jpeg", "jpg", TSD_FILE_JPEG, TSD_COMPRESSION_JPEG, TSD_IMAGE_GRAY, 8},
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

static long gWaitPolls = 0;   /* polls of the current page wait */
static long gPagesSoFar = 0;
static int gQuietWait = 0;

static void SleepMs(int ms) {
#ifdef _WIN32
  Sleep((DWORD)ms);
#else
  struct timespec pause = {0, (long)ms * 1000000L};
  nanosleep(&pause, NULL);
#endif
}

/* Asked at every poll of the page wait: after a few quick polls the wait
 * says so once and sleeps between polls, so that a scanner with no sheet
 * ready does not keep a processor busy. */
static int32_t TSD_CALL AskCancel(void) {
  if (gCancelRequested) return 1;
  if (++gWaitPolls > 20) {
    if (gWaitPolls == 21 && !gQuietWait) {
      fprintf(stderr, "%s: waiting for the next sheet (page %ld; Ctrl-C ends the batch)\n",
              kProgram, gPagesSoFar + 1);
    }
    SleepMs(50);
  }
  return 0;
}

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

/* ---- PNG resolution ----------------------------------------------------- */

static uint32_t Crc32(const unsigned char* data, size_t length, uint32_t crc) {
  crc = ~crc;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

static void PutBe32(unsigned char* out, uint32_t value) {
  out[0] = (unsigned char)(value >> 24);
  out[1] = (unsigned char)(value >> 16);
  out[2] = (unsigned char)(value >> 8);
  out[3] = (unsigned char)value;
}

/* The image coder writes no resolution into its PNG files: a pHYs chunk
 * (pixels per metre, both axes) goes in right after the header chunk. The
 * file is rewritten beside itself and renamed over, so it stays whole. */
static int AddPngResolution(const char* path, int32_t dpi) {
  enum { kSignature = 8, kHeaderChunk = 8 + 13 + 4, kChunk = 4 + 4 + 9 + 4 };
  FILE* in = fopen(path, "rb");
  if (in == NULL) return 0;
  char temporary[1100];
  snprintf(temporary, sizeof temporary, "%s.part", path);
  FILE* out = fopen(temporary, "wb");
  unsigned char head[kSignature + kHeaderChunk];
  int ok = out != NULL && fread(head, 1, sizeof head, in) == sizeof head &&
           memcmp(head + kSignature + 4, "IHDR", 4) == 0;
  if (ok) {
    unsigned char chunk[kChunk];
    const uint32_t perMetre = (uint32_t)((double)dpi / 0.0254 + 0.5);
    PutBe32(chunk, 9);
    memcpy(chunk + 4, "pHYs", 4);
    PutBe32(chunk + 8, perMetre);   /* X pixels per unit */
    PutBe32(chunk + 12, perMetre);  /* Y pixels per unit */
    chunk[16] = 1;                  /* unit: the metre */
    PutBe32(chunk + 17, Crc32(chunk + 4, 13, 0));
    ok = fwrite(head, 1, sizeof head, out) == sizeof head && fwrite(chunk, 1, sizeof chunk, out) == sizeof chunk;
    char buffer[65536];
    size_t n;
    while (ok && (n = fread(buffer, 1, sizeof buffer, in)) > 0) ok = fwrite(buffer, 1, n, out) == n;
    ok = ok && !ferror(in);
  }
  fclose(in);
  if (out != NULL && fclose(out) != 0) ok = 0;
  if (ok) ok = rename(temporary, path) == 0;
  if (!ok) remove(temporary);
  return ok;
}

/* ---- PNM from the driver's BMP ------------------------------------------ */

static uint32_t Le32At(const unsigned char* b);

/* A bilevel BMP becomes a PBM (P4, 1 black), an 8-bit one a PGM (P5), row by
 * row from the bottom-up BMP, each pixel through the BMP's palette. */
static int BmpToPnm(const char* bmpPath, const char* pnmPath) {
  FILE* in = fopen(bmpPath, "rb");
  if (in == NULL) return 0;
  unsigned char head[54];
  unsigned char palette[1024];
  int ok = fread(head, 1, sizeof head, in) == sizeof head && head[0] == 'B' && head[1] == 'M';
  const uint32_t offset = ok ? Le32At(head + 10) : 0;
  const uint32_t headerSize = ok ? Le32At(head + 14) : 0;
  const uint32_t width = ok ? Le32At(head + 18) : 0;
  const int32_t height = ok ? (int32_t)Le32At(head + 22) : 0;
  const unsigned bits = ok ? (unsigned)(head[28] | (head[29] << 8)) : 0;
  const uint32_t rows = (uint32_t)(height < 0 ? -(int64_t)height : height);
  const size_t paletteBytes = bits == 1 ? 8 : 1024;
  ok = ok && (bits == 1 || bits == 8) && width > 0 && width <= 100000 && rows > 0 && rows <= 100000 &&
       fseek(in, 14 + (long)headerSize, SEEK_SET) == 0 &&
       fread(palette, 1, paletteBytes, in) == paletteBytes;
  const size_t stride = ((size_t)width * bits + 31) / 32 * 4;
  unsigned char* row = ok ? (unsigned char*)malloc(stride) : NULL;
  unsigned char* outRow = ok ? (unsigned char*)malloc(width) : NULL;
  FILE* out = ok && row != NULL && outRow != NULL ? fopen(pnmPath, "wb") : NULL;
  ok = out != NULL && fprintf(out, "%s\n%u %u\n%s", bits == 1 ? "P4" : "P5", (unsigned)width,
                              (unsigned)rows, bits == 1 ? "" : "255\n") > 0;
  for (uint32_t y = 0; ok && y < rows; ++y) {
    const uint32_t stored = height < 0 ? y : rows - 1 - y;
    ok = fseek(in, (long)(offset + stride * stored), SEEK_SET) == 0 && fread(row, 1, stride, in) == stride;
    size_t outBytes = bits == 1 ? (width + 7) / 8 : width;
    memset(outRow, 0, outBytes);
    for (uint32_t x = 0; ok && x < width; ++x) {
      const unsigned index = bits == 8 ? row[x] : (row[x / 8] >> (7 - x % 8)) & 1u;
      const unsigned char gray = palette[4 * index + 1];
      if (bits == 8) outRow[x] = gray;
      else if (gray < 128) outRow[x / 8] = (unsigned char)(outRow[x / 8] | (0x80u >> (x % 8)));
    }
    ok = ok && fwrite(outRow, 1, outBytes, out) == outBytes;
  }
  if (out != NULL && fclose(out) != 0) ok = 0;
  if (!ok && out != NULL) remove(pnmPath);
  free(row);
  free(outRow);
  fclose(in);
  return ok;
}

/* ---- Batches ---------------------------------------------------------- */

struct BatchOptions {
  const char* output;  /* the multi-page TIFF document */
  const char* pattern; /* one file per page, printf pattern with the page number */
  int literal;         /* the pattern is one file's name (-o page.png) */
  int pnm;             /* the one file is a PBM or PGM made from the driver's BMP */
  int format;
  int compression; /* -1: the format's default */
  int append;
  long insertAt; /* 0: no insert */
  long maxPages; /* 0: until the feeder is empty */
  long startCount;
  const char* docName;
  const char* pageName;
  int quiet;
  int json;       /* one JSON object a line on standard output */
  int split;      /* --split-at-separator: a new document at each separator sheet */
  int noClobber;  /* refuse to replace an existing document */
  int toStdout;   /* -o -: the document goes to standard output */
  FILE* manifest; /* --manifest: the JSON lines of the batch, or NULL */
};

/* One JSON line to standard output (--json) and to the manifest. */
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
static void Emit(const struct BatchOptions* options, const char* format, ...) {
  FILE* outs[2] = {options->json ? stdout : NULL, options->manifest};
  for (int i = 0; i < 2; ++i) {
    if (outs[i] == NULL) continue;
    va_list args;
    va_start(args, format);
    vfprintf(outs[i], format, args);
    va_end(args);
    fflush(outs[i]);
  }
}

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

/* ---- Checking a document before changing it -------------------------- */

static uint32_t Le32At(const unsigned char* b) {
  return (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) | ((uint32_t)b[3] << 24);
}

/* The number of pages of a little-endian TIFF document by its chain of
 * directories; -1 when the file cannot be read, -2 when it is no such
 * document (a link outside the file, a loop, a foreign byte order). */
static long CountTiffPages(const char* path) {
  FILE* file = fopen(path, "rb");
  if (file == NULL) return -1;
  long pages = -2;
  unsigned char head[8];
  if (fread(head, 1, sizeof head, file) == sizeof head && memcmp(head, "II*\0", 4) == 0 &&
      fseek(file, 0, SEEK_END) == 0) {
    const long size = ftell(file);
    uint32_t ifd = Le32At(head + 4);
    long count = 0;
    uint32_t previous = 0;
    /* The library writes each directory after the one before it; a chain of
     * inserted pages may go back, so the walk is bounded by the file's size. */
    while (ifd != 0 && count <= size / 14) {
      unsigned char entries[2];
      unsigned char link[4];
      if (ifd < 8 || (long)ifd + 2 > size || fseek(file, (long)ifd, SEEK_SET) != 0 ||
          fread(entries, 1, 2, file) != 2) {
        count = -2;
        break;
      }
      const long linkAt = (long)ifd + 2 + 12L * (entries[0] | (entries[1] << 8));
      if (linkAt + 4 > size || fseek(file, linkAt, SEEK_SET) != 0 || fread(link, 1, 4, file) != 4 ||
          Le32At(link) == ifd || (Le32At(link) != 0 && Le32At(link) == previous)) {
        count = -2;
        break;
      }
      ++count;
      previous = ifd;
      ifd = Le32At(link);
    }
    pages = ifd == 0 ? count : -2;
  }
  fclose(file);
  return pages;
}

/* --append, --insert N and --join need an existing document that can take
 * the pages; checked before anything is written. */
static int CheckDocument(const char* path, const char* what, long insertAt) {
  const long pages = CountTiffPages(path);
  if (pages == -1) {
    fprintf(stderr, "%s: %s: cannot be read (%s); %s needs an existing TIFF document\n", kProgram,
            path, strerror(errno), what);
    return 0;
  }
  if (pages < 1) {
    fprintf(stderr, "%s: %s is not a TIFF document with pages; %s changes nothing\n", kProgram,
            path, what);
    return 0;
  }
  if (insertAt > pages + 1) {
    fprintf(stderr, "%s: %s has %ld page%s: --insert takes 1 to %ld\n", kProgram, path, pages,
            pages == 1 ? "" : "s", pages + 1);
    return 0;
  }
  return 1;
}

/* ---- New documents ------------------------------------------------------ */

/* A new document is written under a temporary name in its own folder and
 * renamed over its target once it holds a page, so that a failed or killed
 * batch never leaves an existing document damaged or a half-made one under
 * the target's name. */
struct DocumentNames {
  char target[1024];
  char temporary[1100];
};

static int NameDocument(const struct BatchOptions* options, long number,
                        struct DocumentNames* names) {
  if (options->toStdout) {
#ifdef _WIN32
    snprintf(names->target, sizeof names->target, "rt650scan-%lu.tif",
             (unsigned long)GetCurrentProcessId());
#else
    snprintf(names->target, sizeof names->target, "%s/rt650scan-%ld.tif",
             getenv("TMPDIR") != NULL ? getenv("TMPDIR") : "/tmp", (long)getpid());
#endif
  } else if (options->split) {
    if (!ExpandPattern(options->output, number, names->target, sizeof names->target)) {
      fprintf(stderr, "%s: --split-at-separator needs an --output with one %%d, not '%s'\n",
              kProgram, options->output);
      return 0;
    }
  } else {
    snprintf(names->target, sizeof names->target, "%s", options->output);
  }
  const char* slash = strrchr(names->target, '/');
#ifdef _WIN32
  const char* backslash = strrchr(names->target, '\\');
  if (backslash != NULL && (slash == NULL || backslash > slash)) slash = backslash;
#endif
  const int folder = slash != NULL ? (int)(slash - names->target) + 1 : 0;
  snprintf(names->temporary, sizeof names->temporary, "%.*s.%s.part", folder, names->target,
           names->target + folder);
  if (options->noClobber && FileExists(names->target)) {
    fprintf(stderr, "%s: %s exists (--no-clobber)\n", kProgram, names->target);
    return 0;
  }
  return 1;
}

/* The finished temporary document becomes the target when it holds a page;
 * otherwise it goes and the target stays as it was. */
static int KeepDocument(const struct DocumentNames* names, long pages,
                        const struct BatchOptions* options) {
  if (pages == 0) {
    remove(names->temporary);
    return 1;
  }
  if (options->noClobber && FileExists(names->target)) {
    fprintf(stderr, "%s: %s appeared meanwhile; the pages stay in %s\n", kProgram, names->target,
            names->temporary);
    return 0;
  }
#ifdef _WIN32
  if (!MoveFileExA(names->temporary, names->target, MOVEFILE_REPLACE_EXISTING)) return 0;
#else
  if (rename(names->temporary, names->target) != 0) {
    fprintf(stderr, "%s: %s cannot be renamed to %s: %s\n", kProgram, names->temporary,
            names->target, strerror(errno));
    return 0;
  }
#endif
  return 1;
}

static int CopyToStdout(const char* path) {
  FILE* in = fopen(path, "rb");
  if (in == NULL) return 0;
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  char buffer[65536];
  size_t n;
  int ok = 1;
  while (ok && (n = fread(buffer, 1, sizeof buffer, in)) > 0) ok = fwrite(buffer, 1, n, stdout) == n;
  fclose(in);
  return ok && fflush(stdout) == 0;
}

/* The driver logs every failure with the system's reason in scan.log in its
 * folder (TARVOSCN_ROOT, or the data folder). */
static void DriverLogPath(char* path, size_t size) {
  const char* root = getenv("TARVOSCN_ROOT");
  const char* data = getenv("XDG_DATA_HOME");
  if (root != NULL && root[0] != '\0') {
    snprintf(path, size, "%s/scan.log", root);
  } else if (data != NULL && data[0] != '\0') {
    snprintf(path, size, "%s/tarvoscn/scan.log", data);
  } else {
    snprintf(path, size, "%s/.local/share/tarvoscn/scan.log",
             getenv("HOME") != NULL ? getenv("HOME") : ".");
  }
}

/* How long scan.log was when the program started: only entries after it are this run's. */
static long gLogStart = 0;

static void NoteLogStart(void) {
  char path[1100];
  DriverLogPath(path, sizeof path);
  FILE* log = fopen(path, "rb");
  if (log == NULL) return;
  if (fseek(log, 0, SEEK_END) == 0) gLogStart = ftell(log) > 0 ? ftell(log) : 0;
  fclose(log);
}

/* Shows the last failure this run added to the driver's log, with the system's
 * text that follows it; 1 when it says the disk is full. */
static int ReportLogEntry(void) {
  char path[1100];
  DriverLogPath(path, sizeof path);
  FILE* log = fopen(path, "rb");
  if (log == NULL) return 0;
  /* A log shorter than at the start was rotated: all of it is new. */
  if (fseek(log, 0, SEEK_END) != 0 || ftell(log) < gLogStart || fseek(log, gLogStart, SEEK_SET) != 0) {
    rewind(log);
  }
  char line[512] = "";
  char entry[512] = "";
  char text[512] = "";
  int afterEntry = 0;
  for (int lines = 0; lines < 100000 && fgets(line, sizeof line, log) != NULL; ++lines) {
    line[strcspn(line, "\r\n")] = '\0';
    if (strstr(line, " 0 returned from line ") != NULL) {
      afterEntry = 0; /* a routine entry (a good first transfer logs its status 0) */
    } else if (strstr(line, " returned from line ") != NULL) {
      memcpy(entry, line, sizeof entry);
      text[0] = '\0';
      afterEntry = 1;
    } else if (afterEntry) {
      memcpy(text, line, sizeof text);
      afterEntry = 0;
    }
  }
  fclose(log);
  if (entry[0] == '\0') return 0;
  /* "<date> <time> <operation> <system error> returned from line N of <module>":
   * the system error numbers of a full disk and of a file at its size limit. */
  static const struct {
    long code;
    const char* reason;
  } kFull[] = {{112, "the disk is full"}, {39, "the disk is full"}, {223, "the file is too large"}};
  const char* reason = NULL;
  const char* operation = strstr(entry, "WriteFile ");
  if (operation != NULL) {
    const long code = strtol(operation + 10, NULL, 10);
    for (size_t i = 0; i < sizeof kFull / sizeof kFull[0]; ++i) {
      if (kFull[i].code == code) reason = kFull[i].reason;
    }
  }
  fprintf(stderr, "%s: the driver's log (%s) says: %s%s%s%s%s%s\n", kProgram, path, entry,
          text[0] != '\0' ? ": " : "", text, reason != NULL ? " (" : "",
          reason != NULL ? reason : "", reason != NULL ? ")" : "");
  return reason != NULL;
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
  const int inPlace = multiPage && (options->append || options->insertAt > 0);
  uint32_t position = 0;
  if (multiPage && options->append) position = 0xFFFFFFFFu;
  if (multiPage && options->insertAt > 0) position = (uint32_t)options->insertAt;
  uint32_t linkHint = 0;
  /* A new document is made by the first page's read, under a temporary name
   * (DocumentNames); append and insert open the existing one at the start. */
  uint32_t result = driver->startScan(inPlace ? options->output : NULL, &position, &linkHint);
  if (result != 0) {
    ReportResult("starting the batch", (int32_t)result);
    ReportLogEntry();
    free(page);
    return result == TSD_ERR_NO_PAPER ? kExitEmptyFeeder : kExitDriver;
  }
  long existing = multiPage && options->append ? (long)position : 0;
  if (multiPage && options->insertAt > 0) existing = -1; /* not known to the host */

  double started = Now();
  uint32_t previousSize = 0;
  if (inPlace) driver->getFileSize(&previousSize);
  long pages = 0;          /* stored pages, all documents */
  long documentPages = 0;  /* stored pages of the open document */
  long separators = 0;
  long documentNumber = 1;
  int documentOpen = inPlace;
  struct DocumentNames names;
  if (multiPage && !inPlace && !NameDocument(options, documentNumber, &names)) {
    free(page);
    return kExitUsage;
  }
  long number = options->startCount;
  char fileName[1024];
  gPagesSoFar = 0;
  for (;;) {
    if (options->maxPages > 0 && pages >= options->maxPages) {
      result = 0;
      break;
    }
    const char* target = NULL;
    if (!multiPage && options->literal) {
      snprintf(fileName, sizeof fileName, options->pnm ? "%s.bmp.part" : "%s", options->pattern);
      target = fileName;
    } else if (!multiPage) {
      if (!ExpandPattern(options->pattern, number, fileName, sizeof fileName)) {
        fprintf(stderr, "%s: the page file name is too long\n", kProgram);
        result = TSD_ERR_FILE;
        break;
      }
      target = fileName;
    } else if (!documentOpen) {
      target = names.temporary; /* this read creates the document */
    }
    gWaitPolls = 0;
    result = driver->readPage(target, page, AskCancel);
    if (result != 0) break;
    if (GetInt(driver, PAR_SEPARATOR_DETECTED) != 0) {
      /* A separator sheet: no image was read, nothing was stored. */
      ++separators;
      Emit(options, "{\"separator\":%ld,\"after_page\":%ld}\n", separators, pages);
      if (!options->split) continue; /* the driver reads the sheet as the next page */
      if (!options->quiet) fprintf(stderr, "separator sheet after page %ld\n", pages);
      /* The separator sheet goes out unscanned and the feeder goes on. */
      driver->abortScan();
      if (multiPage && documentOpen) {
        uint32_t closed = driver->closeFile();
        documentOpen = 0;
        if (closed != 0 || !KeepDocument(&names, documentPages, options)) {
          result = closed != 0 ? closed : TSD_ERR_FILE;
          break;
        }
        if (documentPages > 0 && !NameDocument(options, ++documentNumber, &names)) {
          result = TSD_ERR_FILE;
          break;
        }
        documentPages = 0;
      }
      result = driver->contScan();
      if (result != 0) break;
      continue;
    }
    ++pages;
    ++documentPages;
    gPagesSoFar = pages;
    documentOpen = multiPage;
    int32_t width = GetInt(driver, PAR_PAGE_LENGTH);
    int32_t length = GetInt(driver, PAR_PAGE_WIDTH);
    long bytes;
    const char* where = multiPage ? (inPlace ? options->output : names.target) : fileName;
    if (multiPage) {
      uint32_t size = previousSize;
      driver->getFileSize(&size);
      bytes = documentPages == 1 && !inPlace ? (long)size : (long)(size - previousSize);
      previousSize = size;
    } else {
      if (kFormats[options->format].fileType == TSD_FILE_CODER &&
          !AddPngResolution(fileName, GetInt(driver, PAR_RESOLUTION))) {
        fprintf(stderr, "%s: %s: the resolution could not be added\n", kProgram, fileName);
      }
      if (options->pnm) {
        const int converted = BmpToPnm(fileName, options->pattern);
        remove(fileName);
        snprintf(fileName, sizeof fileName, "%s", options->pattern);
        if (!converted) {
          fprintf(stderr, "%s: %s cannot be written\n", kProgram, fileName);
          result = TSD_ERR_FILE;
          break;
        }
      }
      bytes = FileSizeOf(fileName);
    }
    if (!options->quiet) {
      fprintf(stderr, "page %ld: %d x %d pixels, %ld bytes in %s, %.2f s\n", pages, (int)width,
              (int)length, bytes, where, Now() - started);
    }
    if (options->json || options->manifest != NULL) {
      Emit(options, "{\"page\":%ld,\"width\":%d,\"length\":%d,\"bytes\":%ld,\"file\":\"%s\","
             "\"file_page\":%ld,\"separator\":false,\"flag\":false,\"counters\":[%d,%d,%d],"
             "\"imprint\":%s}\n",
             pages, (int)width, (int)length, bytes, where, multiPage ? documentPages : 1,
             (int)GetInt(driver, PAR_COUNTER_1), (int)GetInt(driver, PAR_COUNTER_2),
             (int)GetInt(driver, PAR_COUNTER_3), GetInt(driver, PAR_ADDON) ? "true" : "false");
    }
    ++number;
  }

  /* 6 (feeder empty) and 14 (cancelled) have finished the document already;
   * closing again is harmless and covers the other endings. */
  uint32_t closed = driver->closeFile();
  driver->stopScan();
  free(page);
  int kept = 1;
  if (multiPage && !inPlace) kept = KeepDocument(&names, documentPages, options);

  int exitStatus = kExitOk;
  if (result == TSD_ERR_ABORTED && gCancelRequested) {
    fprintf(stderr, "%s: cancelled after %ld page%s\n", kProgram, pages, pages == 1 ? "" : "s");
    exitStatus = kExitCancelled;
  } else if (result != 0 && result != TSD_ERR_NO_PAPER) {
    ReportResult("reading a page", (int32_t)result);
    exitStatus = ReportLogEntry() ? kExitDiskFull
                 : result == TSD_ERR_PAPER_JAM ? kExitJam
                                               : kExitDriver;
  } else if (closed != 0 || !kept) {
    ReportResult("finishing the document", (int32_t)(closed != 0 ? closed : TSD_ERR_FILE));
    exitStatus = ReportLogEntry() ? kExitDiskFull : kExitDriver;
  }
  if (pages == 0 && exitStatus == kExitOk) {
    fprintf(stderr, "%s: the feeder is empty: no page was scanned\n", kProgram);
    exitStatus = kExitEmptyFeeder;
  }
  if (!options->quiet || exitStatus != kExitOk) {
    if (multiPage && existing >= 0 && inPlace) {
      fprintf(stderr, "%s: %s holds %ld page%s (%ld scanned now)\n", kProgram, options->output,
              existing + pages, existing + pages == 1 ? "" : "s", pages);
    } else if (inPlace) {
      fprintf(stderr, "%s: %ld page%s inserted into %s in front of page %ld\n", kProgram, pages,
              pages == 1 ? "" : "s", options->output, options->insertAt);
    } else if (multiPage && documentNumber > 1) {
      fprintf(stderr, "%s: %ld page%s in %ld documents\n", kProgram, pages, pages == 1 ? "" : "s",
              documentNumber - (documentPages == 0 ? 1 : 0));
    } else if (multiPage) {
      fprintf(stderr, "%s: %s holds %ld page%s\n", kProgram, names.target, documentPages,
              documentPages == 1 ? "" : "s");
    } else {
      fprintf(stderr, "%s: %ld file%s written\n", kProgram, pages, pages == 1 ? "" : "s");
    }
  }
  Emit(options, "{\"end\":true,\"pages\":%ld,\"separators\":%ld,\"exit\":%d}\n", pages,
       separators, exitStatus);
  if (exitStatus == kExitOk && options->toStdout && !CopyToStdout(names.target)) {
    fprintf(stderr, "%s: the document could not be written to standard output\n", kProgram);
    exitStatus = kExitDriver;
  }
  if (options->toStdout) remove(names.target);
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
          "What to scan (a fresh installation scans upright A4 pages at 300 dpi):\n"
          "      --mode=MODE          lineart (default), halftone, gray or text\n"
          "      --resolution=DPI     200, 300 (default) or 600\n"
          "      --paper=NAME         how the sheet lies in the feeder, as in the Settings\n"
          "                           dialog: \"A4 landscape\" (default: an A4 sheet long edge\n"
          "                           first), \"A4\" (short edge first), \"Letter landscape\",\n"
          "                           \"Letter\", \"Legal\", \"Tabloid\", \"Statement\", \"A3\",\n"
          "                           \"A5 landscape\", \"A6 landscape\", \"B4 (ISO)\", \"B4 (JIS)\",\n"
          "                           \"B5 (ISO) landscape\", \"B5 (JIS) landscape\", \"Maximum\n"
          "                           size\" (any case; '-' for a blank: a4-landscape)\n"
          "      --frame=N            frame area 0 (standard), 1, 2 or 3\n"
          "  -l, -t MM                left and top of the scan area on the upright page\n"
          "  -x, -y MM                width and height of the scan area\n"
          "      --imprint=TEXT       the imprinter prints TEXT on each sheet\n"
          "      --imprint-counter    ... followed by its counter\n"
          "      --imprint-step=N     the counter grows by N a sheet (0 to 255)\n"
          "      --imprint-at=X,Y     where, in millimetres from the sheet's top left corner\n"
          "  -s, --set=NAME=VALUE     set a parameter by name (resolution, par_resolution)\n"
          "                           or number (6), after the options above; repeatable\n"
          "  -L, --list               find the scanner and show it\n"
          "  -A, --all-options        show every parameter: name, number, value, allowed\n"
          "                           values and unit, meaning\n"
          "\n"
          "Where the pages go:\n"
          "  -o, --output=FILE        the multi-page TIFF document (default scan.tif); '-' for\n"
          "                           standard output; NAME.jpg, .png, .bmp, .pnm: one page\n"
          "      --no-clobber         never replace an existing document\n"
          "  -b, --batch[=PATTERN]    one file per page, PATTERN with one %%d for the page\n"
          "                           number (default page%%03d.EXT)\n"
          "      --batch-start=N      the first page number of --batch (default 1)\n"
          "  -n, --batch-count=N      scan at most N pages\n"
          "  -f, --format=FORMAT      tiff (default), jpeg, bmp or png\n"
          "      --compression=C      none or g4 (default) for TIFF\n"
          "  -a, --append             add the pages after the last page of FILE\n"
          "  -i, --insert=N           insert the pages in front of page N of FILE\n"
          "      --split-at-separator a new document at each separator sheet; --output has\n"
          "                           one %%d for the document number (job%%02d.tif)\n"
          "      --doc-name=NAME      the document name stored with each page\n"
          "      --page-name=NAME     the page name stored with each page\n"
          "      --join DEST SRC      append the pages of the TIFF SRC to the TIFF DEST\n"
          "      --rename FILE NAME   set the document name stored with the first page of\n"
          "                           FILE (the other pages keep theirs)\n"
          "      --json               one JSON object a line on standard output: the\n"
          "                           device, each page, each separator sheet, the end\n"
          "      --manifest=FILE      the same lines into FILE\n"
          "\n",
          kProgram, kProgram, kProgram);
  fprintf(out,
          "  -q, --quiet              no progress, print nothing but errors\n"
          "      --simulate[=CONFIG]  run against the simulated RT650 (CONFIG: its\n"
          "                           configuration file)\n"
          "      --library=PATH       load the driver from PATH\n"
          "  -h, --help               show this help and exit\n"
          "  -V, --version            show the driver's and this program's version and exit\n"
          "\n"
          "A new document is written as .NAME.part beside NAME and takes NAME's place\n"
          "only when it holds a page. Ctrl-C cancels a batch; the document keeps the\n"
          "pages scanned so far.\n"
          "Exit status: 0 success, 1 the driver reported a failure, 2 bad usage,\n"
          "3 the driver cannot be loaded, 4 paper jam (the pages before it are kept),\n"
          "5 the feeder was empty at the start, 6 the disk is full (the complete pages\n"
          "are kept), 130 cancelled.\n"
          "Environment: TARVOSCN_ROOT (the driver's folder for drive C:, with scan.log),\n"
          "TARVOSCN_LIBRARY (the driver library to load), TARVOSCN_ASPI (the ASPI\n"
          "provider), RT650SIM_CONFIG (the simulator's configuration).\n");
}

enum {
  kOptCompression = 256,
  kOptDocName,
  kOptPageName,
  kOptJoin,
  kOptRename,
  kOptSimulate,
  kOptLibrary,
  kOptBatchStart,
  kOptMode,
  kOptResolution,
  kOptPaper,
  kOptFrame,
  kOptImprint,
  kOptImprintCounter,
  kOptImprintStep,
  kOptImprintAt,
  kOptJson,
  kOptSplit,
  kOptNoClobber,
  kOptManifest
};

static int ParseMm(const char* text, double* out) {
  char* end = NULL;
  double value = strtod(text, &end);
  if (end == text || *end != '\0' || !(value >= 0) || value > 1000) return 0;
  *out = value;
  return 1;
}

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
      {"mode", required_argument, NULL, kOptMode},
      {"resolution", required_argument, NULL, kOptResolution},
      {"paper", required_argument, NULL, kOptPaper},
      {"frame", required_argument, NULL, kOptFrame},
      {"imprint", required_argument, NULL, kOptImprint},
      {"imprint-counter", no_argument, NULL, kOptImprintCounter},
      {"imprint-step", required_argument, NULL, kOptImprintStep},
      {"imprint-at", required_argument, NULL, kOptImprintAt},
      {"json", no_argument, NULL, kOptJson},
      {"split-at-separator", no_argument, NULL, kOptSplit},
      {"no-clobber", no_argument, NULL, kOptNoClobber},
      {"manifest", required_argument, NULL, kOptManifest},
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
  const char* manifestPath = NULL;
  struct ScanChoices choices = {-1, 300, kDefaultPaper, 0, -1, -1, -1, -1, NULL, 0, -1, -1, -1};
  int opt;
  while ((opt = getopt_long(argc, argv, "LAs:o:b::n:f:ai:qhVl:t:x:y:", kOptions, NULL)) != -1) {
    switch (opt) {
      case kOptMode:
        choices.mode = -1;
        for (int i = 0; i < kModeCount; ++i) {
          if (strcmp(kModes[i].name, optarg) == 0) choices.mode = i;
        }
        if (choices.mode < 0) {
          fprintf(stderr, "%s: --mode is lineart, halftone, gray or text, not '%s'\n", kProgram,
                  optarg);
          return kExitUsage;
        }
        break;
      case kOptResolution:
        if (strcmp(optarg, "200") != 0 && strcmp(optarg, "300") != 0 && strcmp(optarg, "600") != 0) {
          fprintf(stderr, "%s: --resolution is 200, 300 or 600 (dpi), not '%s'\n", kProgram, optarg);
          return kExitUsage;
        }
        choices.resolution = (int32_t)atoi(optarg);
        break;
      case kOptPaper:
        choices.paper = -1;
        for (int i = 0; i < kPaperCount; ++i) {
          if (PaperNameMatches(kPapers[i].name, optarg)) choices.paper = i;
        }
        if (choices.paper < 0) {
          fprintf(stderr, "%s: unknown paper '%s'; the papers are ", kProgram, optarg);
          ListPapers(stderr);
          fprintf(stderr, "\n");
          return kExitUsage;
        }
        break;
      case kOptFrame: {
        long frame = 0;
        if (!ParseCount(optarg, 0, &frame) || frame > 3) {
          fprintf(stderr, "%s: --frame is 0 (standard), 1, 2 or 3, not '%s'\n", kProgram, optarg);
          return kExitUsage;
        }
        choices.frame = (int32_t)frame;
        break;
      }
      case 'l':
      case 't':
      case 'x':
      case 'y': {
        double* target = opt == 'l'   ? &choices.leftMm
                         : opt == 't' ? &choices.topMm
                         : opt == 'x' ? &choices.widthMm
                                      : &choices.lengthMm;
        if (!ParseMm(optarg, target)) {
          fprintf(stderr, "%s: -%c takes millimetres from 0 to 1000, not '%s'\n", kProgram, opt,
                  optarg);
          return kExitUsage;
        }
        break;
      }
      case kOptImprint:
        if (strlen(optarg) > 63) {
          fprintf(stderr, "%s: --imprint takes a text of at most 63 characters\n", kProgram);
          return kExitUsage;
        }
        choices.imprint = optarg;
        break;
      case kOptImprintCounter: choices.imprintCounter = 1; break;
      case kOptJson: batch.json = 1; break;
      case kOptSplit: batch.split = 1; break;
      case kOptNoClobber: batch.noClobber = 1; break;
      case kOptManifest: manifestPath = optarg; break;
      case kOptImprintStep:
        if (!ParseCount(optarg, 0, &choices.imprintStep) || choices.imprintStep > 255) {
          fprintf(stderr, "%s: --imprint-step is 0 to 255, not '%s'\n", kProgram, optarg);
          return kExitUsage;
        }
        break;
      case kOptImprintAt:
        if (sscanf(optarg, "%ld,%ld", &choices.imprintX, &choices.imprintY) != 2 ||
            choices.imprintX < 0 || choices.imprintX > 500 || choices.imprintY < 0 ||
            choices.imprintY > 300) {
          fprintf(stderr, "%s: --imprint-at takes X,Y in millimetres (X 0 to 500, Y 0 to 300)\n",
                  kProgram);
          return kExitUsage;
        }
        break;
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
  if (batch.output != NULL && strcmp(batch.output, "-") == 0) {
    if (batch.json || batch.append || batch.insertAt > 0 || batch.split) {
      fprintf(stderr, "%s: -o - goes without --json, --append, --insert and --split-at-separator\n",
              kProgram);
      return kExitUsage;
    }
    batch.toStdout = 1;
  }
  if (batch.split && (batch.output == NULL || batch.append || batch.insertAt > 0)) {
    fprintf(stderr, "%s: --split-at-separator needs --output=PATTERN with one %%d for new documents\n",
            kProgram);
    return kExitUsage;
  }
  /* -o page.jpg (.png, .bmp): one page into that one file. */
  const char* dot = batch.output != NULL ? strrchr(batch.output, '.') : NULL;
  int formatGiven = strcmp(formatName, "tiff") != 0;
  if (dot != NULL && !formatGiven && strcmp(dot + 1, "tif") != 0 && strcmp(dot + 1, "tiff") != 0) {
    char extension[8] = {0};
    for (int i = 0; i < 7 && dot[1 + i] != '\0'; ++i) extension[i] = Lower(dot[1 + i]);
    if (strcmp(extension, "jpeg") == 0) strcpy(extension, "jpg");
    if (strcmp(extension, "pnm") == 0 || strcmp(extension, "pbm") == 0 || strcmp(extension, "pgm") == 0) {
      strcpy(extension, "bmp");
      batch.pnm = 1;
    }
    if (FindFormat(extension) >= 0) {
      formatName = kFormats[FindFormat(extension)].name;
      if (batch.maxPages > 1) {
        fprintf(stderr, "%s: %s holds one page; --batch=PATTERN writes one file a page\n", kProgram,
                batch.output);
        return kExitUsage;
      }
      batch.maxPages = 1;
      batch.literal = 1;
      batch.pattern = batch.output;
      batch.output = NULL;
      batchPattern = 1;
    }
  }
  batch.format = FindFormat(formatName);
  if (batch.format < 0) {
    fprintf(stderr, "%s: unknown format '%s' (tiff, jpeg, bmp, png)\n", kProgram, formatName);
    return kExitUsage;
  }
  const int gray = choices.mode >= 0 && kModes[choices.mode].imageType == TSD_IMAGE_GRAY;
  if (gray && kFormats[batch.format].fileType == TSD_FILE_TIFF) {
    fprintf(stderr,
            "%s: gray pages are stored as JPEG, BMP or PNG files (--format jpeg, bmp or png, or "
            "-o NAME.jpg); TIFF documents hold line art, halftone and text pages\n",
            kProgram);
    return kExitUsage;
  }
  if (kFormats[batch.format].fileType == TSD_FILE_JPEG && choices.mode >= 0 && !gray) {
    fprintf(stderr, "%s: JPEG files hold gray pages only (--mode gray)\n", kProgram);
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
  if (batch.pattern != NULL && !batch.literal && !ExpandPattern(batch.pattern, 0, probeName, sizeof probeName)) {
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

  if ((batch.append || batch.insertAt > 0) &&
      !CheckDocument(batch.output, batch.append ? "--append" : "--insert", batch.insertAt)) {
    return kExitDriver;
  }
  if (manifestPath != NULL && (batch.manifest = fopen(manifestPath, "w")) == NULL) {
    fprintf(stderr, "%s: %s: cannot be written (%s)\n", kProgram, manifestPath, strerror(errno));
    return kExitUsage;
  }
  if (simulate && !SetUpSimulator(library, simulateConfig)) {
    fprintf(stderr, "%s: cannot set up the simulator's environment\n", kProgram);
    return kExitLoad;
  }
  NoteLogStart();
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
    if (!CheckDocument(joinDestination, "--join", 0) || !CheckDocument(argv[optind], "--join", 0)) {
      CloseLibrary(driver.handle);
      return kExitDriver;
    }
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
    /* The settings file keeps "rotate"; the paper decides it for this run only. */
    const int32_t rotateBefore = status == kExitOk ? GetInt(&driver, PAR_ROTATE) : 0;
    const int scanning = !list && !allOptions;
    if (status == kExitOk && !list) {
      if (scanning) status = ApplyFormat(&driver, &batch);
      if (status == kExitOk) status = ApplyChoices(&driver, &choices, choices.resolution);
      if (status == kExitOk && batch.split) status = SetInt(&driver, PAR_JOB_SEPARATOR, 5);
      for (int i = 0; i < setCount && status == kExitOk; ++i) status = SetParameter(&driver, sets[i]);
      if (status == kExitOk) status = PushChoices(&driver, setCount == 0 ? choices.resolution : 0, &choices);
    } else if (status == kExitOk) {
      for (int i = 0; i < setCount && status == kExitOk; ++i) status = SetParameter(&driver, sets[i]);
    }
    if (status == kExitOk) {
      if (list) status = ListScanner(&driver);
      if (allOptions) ShowParameters(&driver);
      if (scanning) {
        gQuietWait = batch.quiet;
        if (batch.json || batch.manifest != NULL) {
          char scanner[16] = {0};
          driver.getScannerName(scanner);
          Emit(&batch, "{\"device\":\"%s\",\"resolution\":%d,\"mode\":%d,\"paper\":\"%s\"}\n", scanner,
                 (int)GetInt(&driver, PAR_RESOLUTION), (int)GetInt(&driver, PAR_IMAGE_TYPE),
                 kPapers[choices.paper].name);
        }
        signal(SIGINT, OnInterrupt);
        status = RunBatch(&driver, &batch);
        signal(SIGINT, SIG_DFL);
      }
    }
    if (!list) {
      int32_t cell = rotateBefore;
      (void)driver.parSet(PAR_ROTATE, &cell);
    }
  }
  CloseLibrary(driver.handle);
  if (batch.manifest != NULL && fclose(batch.manifest) != 0) {
    fprintf(stderr, "%s: %s: cannot be written\n", kProgram, manifestPath);
    if (status == kExitOk) status = kExitDriver;
  }
  return status;
}
