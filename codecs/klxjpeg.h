/* klxjpeg: the JPEG writer of the driver's gray pages, on libjpeg.
 *
 * save_JPEG (C calling convention, looked up by name):
 *   fileName    NUL-terminated path of the file to create
 *   pixels      first row of 8-bit gray pixels (0 black, 255 white), top row first
 *   width       pixels per row
 *   rows        number of rows
 *   resolution  dots per inch, recorded as the JFIF density
 *   components  bytes per pixel; only 1 is accepted
 *   stride      bytes from one row to the next (at least width)
 *   quality     1..100, the libjpeg quality scale
 * Returns 0 on success; -1 for bad arguments, -2 when the file cannot be
 * created, -3 when libjpeg fails, -4 when closing the file fails. A file left
 * half-written is not removed.
 */
#ifndef KLXJPEG_H
#define KLXJPEG_H

#if defined(_WIN32)
#define KLXJPEG_API __declspec(dllexport)
#else
#define KLXJPEG_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

KLXJPEG_API int save_JPEG(const char* fileName, const unsigned char* pixels, int width, int rows,
                          int resolution, int components, int stride, int quality);

#ifdef __cplusplus
}
#endif

#endif
