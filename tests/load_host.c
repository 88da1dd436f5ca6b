/* A host that only loads the driver library and unloads it again, as an
 * outside C program would; it then prints what the driver answered. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef uint32_t (*GetNameFn)(char*, char*);
typedef uint32_t (*GetScannerFn)(char*);

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: load_host LIBRARY\n");
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "load_host: %s\n", dlerror());
    return 1;
  }
  GetNameFn getName;
  GetScannerFn getScanner;
  void* symbol = dlsym(library, "TsdGetDriverName");
  memcpy(&getName, &symbol, sizeof symbol);
  symbol = dlsym(library, "TsdGetScannerName");
  memcpy(&getScanner, &symbol, sizeof symbol);
  if (getName == NULL || getScanner == NULL) {
    fprintf(stderr, "load_host: missing exports\n");
    return 1;
  }
  char file[300] = {0}, version[64] = {0}, scanner[16] = {0};
  getName(file, version);
  getScanner(scanner);
  printf("%s %s %s\n", file, version, scanner);
  return dlclose(library) == 0 ? 0 : 1;
}
