/* A host built against the installed driver: probes, scans the batch into the
 * TIFF document named on the command line and says what came of it. */
#include <stdio.h>
#include <stdlib.h>
#include <tarvoscn.h>

static int32_t TSD_CALL NeverCancel(void) { return 0; }

int main(int argc, char** argv) {
  char file[520] = {0}, version[64] = {0}, scanner[16] = {0};
  uint32_t position = 0, hint = 0, pages = 0, result = 1;
  void* page = malloc(64u << 20);
  TsdGetDriverName(file, version);
  TsdGetScannerName(scanner);
  if (page != NULL && argc == 2 && TsdProbe() == 0 && TsdStartScan(argv[1], &position, &hint) == 0) {
    while ((result = TsdReadPage(NULL, page, NeverCancel)) == 0) ++pages;
  }
  printf("%s %s %s: %u pages, result %u\n", file, version, scanner, pages, result);
  free(page);
  return result == TSD_ERR_NO_PAPER ? 0 : 1;
}
