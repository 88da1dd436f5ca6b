/* The argument check of save_JPEG, shared by the libjpeg and the Windows
 * Imaging Component writers. */
#ifndef KLXJPEG_ARGS_H
#define KLXJPEG_ARGS_H

#include <stddef.h>

enum { kJpegMaxSide = 65500 }; /* the largest side a baseline JPEG file takes here */

static inline int JpegArgumentsValid(const char* fileName, const unsigned char* pixels, int width,
                                     int rows, int resolution, int components, int stride,
                                     int quality) {
  return fileName != NULL && pixels != NULL && width > 0 && rows > 0 && width <= kJpegMaxSide &&
         rows <= kJpegMaxSide && components == 1 && stride >= width && quality >= 1 &&
         quality <= 100 && resolution >= 0;
}

#endif
