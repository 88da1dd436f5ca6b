/* ravezeva: the driver's image coder. It writes a page as a PNG file through
 * libpng: bilevel rows (1 bit per sample, 1 = black) as a two-entry palette,
 * entry 0 white and entry 1 black; every other page as 8-bit gray.
 *
 * The driver reaches the five operations by ordinal on Windows (21 to 25)
 * and by these names elsewhere:
 *
 *   ordinal  name                   arguments                     result
 *        21  ravezeva_init_block    block, 344                    none
 *        22  ravezeva_put_rows      block, row addresses, count   1 = success, 0 = failure
 *        23  ravezeva_open_image    block                         0 = success
 *        24  ravezeva_finish_image  block                         0 = success
 *        25  ravezeva_set_option    block, value                  none
 *
 * The 344-byte block, little-endian numbers:
 *
 *   OFFSET SIZE  FIELD               WRITTEN BY
 *        0    4  block size (344)    init: marks the block as initialised
 *        4    4  option              set_option: 0 libpng's default compression,
 *                                    1..10 zlib level 0..9
 *        8    4  state               coder: 0 initialised, 1 open, 2 writing, 3 done or failed
 *       16    4  width in pixels     driver, before init (init keeps it)
 *       20    4  number of rows      driver, before init (init keeps it)
 *       24    4  bits per sample     driver, after open: 1 palette bilevel, 8 gray
 *       28    4  rows written        coder
 *       32  270  file name           driver, NUL-terminated
 *      302    1  bits per pixel      driver (1, 2, 4 or 8; used when offset 24 is 0)
 *      304    8  FILE *              coder
 *      312    8  png_structp         coder
 *      320    8  png_infop           coder
 *
 * put_rows takes `count` rows whose addresses stand in the array `rows`
 * (the driver passes the address of one row-address variable and 1).
 * The PNG header is written with the first row, once the bits per sample are
 * known. finish_image fails unless every row was written.
 */
#ifndef RAVEZEVA_H
#define RAVEZEVA_H

#if defined(_WIN32)
#define RAVEZEVA_API __declspec(dllexport)
#define RAVEZEVA_CALL __stdcall
#else
#define RAVEZEVA_API __attribute__((visibility("default")))
#define RAVEZEVA_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define RAVEZEVA_BLOCK_SIZE 344

RAVEZEVA_API void RAVEZEVA_CALL ravezeva_init_block(void* block, int size);
RAVEZEVA_API int RAVEZEVA_CALL ravezeva_put_rows(void* block, const unsigned char** rows,
                                                 int count);
RAVEZEVA_API int RAVEZEVA_CALL ravezeva_open_image(void* block);
RAVEZEVA_API int RAVEZEVA_CALL ravezeva_finish_image(void* block);
RAVEZEVA_API void RAVEZEVA_CALL ravezeva_set_option(void* block, int value);

#ifdef __cplusplus
}
#endif

#endif
