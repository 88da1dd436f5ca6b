/*
 * rt650scan - scan with the RT650 through the tarvoscn driver.
 *
 * The program loads the driver library at run time, as any host does, and
 * calls its exports by name.
 */
#include <getopt.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "tarvoscn.h"

#ifndef TARVOSCN_BUILD_LIBRARY
#define TARVOSCN_BUILD_LIBRARY ""
#endif

static const char kProgram[] = "rt650scan";
static const char kProgramVersion[] = "0.1";

typedef uint32_t(TSD_CALL* GetDriverNameFn)(char*, char*);
typedef uint32_t(TSD_CALL* GetScannerNameFn)(char*);

struct Driver {
  void* handle;
  GetDriverNameFn getDriverName;
  GetScannerNameFn getScannerName;
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

/* The driver named by --library, TARVOSCN_LIBRARY, the build tree's copy,
 * or the system's library search, in this order. */
static int LoadDriver(const char* requested, struct Driver* driver) {
  const char* candidates[4];
  int count = 0;
  if (requested != NULL) candidates[count++] = requested;
  if (getenv("TARVOSCN_LIBRARY") != NULL) candidates[count++] = getenv("TARVOSCN_LIBRARY");
  if (TARVOSCN_BUILD_LIBRARY[0] != '\0') candidates[count++] = TARVOSCN_BUILD_LIBRARY;
#ifdef _WIN32
  candidates[count++] = "tarvoscn.dll";
#else
  candidates[count++] = "libtarvoscn.so";
#endif
  memset(driver, 0, sizeof *driver);
  for (int i = 0; i < count && driver->handle == NULL; ++i) {
    driver->handle = OpenLibrary(candidates[i]);
    if (requested != NULL) break; /* an explicit choice is not second-guessed */
  }
  if (driver->handle == NULL) {
    fprintf(stderr, "%s: cannot load the driver library%s%s\n", kProgram,
            requested != NULL ? " " : "", requested != NULL ? requested : "");
    return 0;
  }
  /* Symbols become function pointers through their object representation. */
#ifdef _WIN32
  void* getName = FindSymbol(driver->handle, "_TsdGetDriverName@8");
#else
  void* getName = FindSymbol(driver->handle, "TsdGetDriverName");
#endif
  void* getScanner = FindSymbol(driver->handle, "TsdGetScannerName");
  memcpy(&driver->getDriverName, &getName, sizeof getName);
  memcpy(&driver->getScannerName, &getScanner, sizeof getScanner);
  if (driver->getDriverName == NULL || driver->getScannerName == NULL) {
    fprintf(stderr, "%s: the driver library lacks an export this program needs\n", kProgram);
    CloseLibrary(driver->handle);
    driver->handle = NULL;
    return 0;
  }
  return 1;
}

static void Usage(FILE* out) {
  fprintf(out,
          "Usage: %s [OPTION]...\n"
          "Scan with the RT650 sheet-fed scanner through the tarvoscn driver.\n"
          "\n"
          "  -L, --library=PATH   load the driver from PATH\n"
          "  -q, --quiet          print nothing but errors\n"
          "  -h, --help           show this help and exit\n"
          "  -V, --version        show the driver's and this program's version and exit\n"
          "\n"
          "Environment: TARVOSCN_ROOT (the driver's folder for drive C:),\n"
          "TARVOSCN_LIBRARY (the driver library to load).\n",
          kProgram);
}

int main(int argc, char** argv) {
  static const struct option kOptions[] = {
      {"library", required_argument, NULL, 'L'},
      {"quiet", no_argument, NULL, 'q'},
      {"help", no_argument, NULL, 'h'},
      {"version", no_argument, NULL, 'V'},
      {NULL, 0, NULL, 0},
  };
  const char* library = NULL;
  int quiet = 0;
  int opt;
  while ((opt = getopt_long(argc, argv, "L:qhV", kOptions, NULL)) != -1) {
    switch (opt) {
      case 'L': library = optarg; break;
      case 'q': quiet = 1; break;
      case 'h': Usage(stdout); return 0;
      case 'V': break;
      default: Usage(stderr); return 2;
    }
  }
  if (optind < argc) {
    fprintf(stderr, "%s: unexpected argument '%s'\n", kProgram, argv[optind]);
    Usage(stderr);
    return 2;
  }

  struct Driver driver;
  if (!LoadDriver(library, &driver)) return 1;
  char fileName[520] = {0};
  char version[64] = {0};
  char scanner[16] = {0};
  driver.getDriverName(fileName, version);
  driver.getScannerName(scanner);
  if (!quiet) {
    printf("%s %s\n", kProgram, kProgramVersion);
    printf("driver: %s %s\n", fileName, version);
    printf("scanner: %s\n", scanner);
  }
  CloseLibrary(driver.handle);
  return 0;
}
