/* Version of the driver library: one place for the resource script and the
 * texts compiled in on systems without version resources. */
#ifndef TARVOSCN_VERSION_H
#define TARVOSCN_VERSION_H

#define TARVOSCN_VERSION_BINARY 1, 0, 0, 7
#define TARVOSCN_FILE_VERSION_TEXT "1.007"
#define TARVOSCN_PRODUCT_VERSION_TEXT "1.007"
#define TARVOSCN_FILE_DESCRIPTION "RT650 scan/save driver"
#define TARVOSCN_PRODUCT_NAME "RT650 driver"
#define TARVOSCN_INTERNAL_NAME "tarvoscn"
#define TARVOSCN_ORIGINAL_FILENAME "tarvoscn.dll"

#endif
