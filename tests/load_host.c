/* A host that only loads the driver library and unloads it again, as an
 * outside C program would; it then prints what the driver answered. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  void* library = argc == 2 ? dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) : NULL;
  void* name = library != NULL ? dlsym(library, "TsdGetDriverName") : NULL;
  void* scanner = library != NULL ? dlsym(library, "TsdGetScannerName") : NULL;
  uint32_t (*getName)(char*, char*);
  uint32_t (*getScanner)(char*);
  char file[300] = {0}, version[64] = {0}, model[16] = {0};
  if (name == NULL || scanner == NULL) {
    fprintf(stderr, "load_host LIBRARY: %s\n", argc != 2 ? "no library named" : library == NULL ? dlerror() : "missing exports");
    return 1;
  }
  memcpy(&getName, &name, sizeof name);
  memcpy(&getScanner, &scanner, sizeof scanner);
  getName(file, version);
  getScanner(model);
  printf("%s %s %s\n", file, version, model);
  return dlclose(library) == 0 ? 0 : 1;
}
