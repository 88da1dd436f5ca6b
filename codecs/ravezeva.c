/* ravezeva: the image coder, writing PNG through libpng. See ravezeva.h. */
#include "ravezeva.h"
#include "ravezeva_block.h"

#include <setjmp.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <png.h>

/* libpng's handles in the block's coder slots. */
enum { kFileAt = kSlot0At, kPngAt = kSlot1At, kInfoAt = kSlot2At };

static void QuietError(png_structp png, png_const_charp message) {
  (void)message;
  png_longjmp(png, 1);
}

static void QuietWarning(png_structp png, png_const_charp message) {
  (void)png;
  (void)message;
}

/* Releases libpng's structures and the file; the state becomes done. */
static int Close(Byte* block) {
  png_structp png = (png_structp)GetPointer(block, kPngAt);
  png_infop info = (png_infop)GetPointer(block, kInfoAt);
  FILE* file = (FILE*)GetPointer(block, kFileAt);
  int failed = 0;
  if (png != NULL) png_destroy_write_struct(&png, info != NULL ? &info : NULL);
  if (file != NULL && fclose(file) != 0) failed = 1;
  PutPointer(block, kPngAt, NULL);
  PutPointer(block, kInfoAt, NULL);
  PutPointer(block, kFileAt, NULL);
  PutLe32(block, kStateAt, kDone);
  return failed;
}

void RAVEZEVA_CALL ravezeva_init_block(void* block, int size) { InitBlock((Byte*)block, size); }

void RAVEZEVA_CALL ravezeva_set_option(void* block, int value) { SetOption((Byte*)block, value); }

int RAVEZEVA_CALL ravezeva_open_image(void* block) {
  Byte* b = (Byte*)block;
  if (!ReadyToOpen(b)) return -1;

  FILE* file = fopen((const char*)(b + kFileNameAt), "wb");
  if (file == NULL) return -2;
  PutPointer(b, kFileAt, file);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, QuietError, QuietWarning);
  if (png == NULL) {
    Close(b);
    return -3;
  }
  PutPointer(b, kPngAt, png);
  png_infop info = png_create_info_struct(png);
  if (info == NULL) {
    Close(b);
    return -3;
  }
  PutPointer(b, kInfoAt, info);
  if (setjmp(png_jmpbuf(png)) != 0) {
    Close(b);
    return -3;
  }
  png_init_io(png, file);
  const uint32_t option = GetLe32(b, kOptionAt);
  if (option != 0) png_set_compression_level(png, (int)option - 1);
  PutLe32(b, kRowsWrittenAt, 0);
  PutLe32(b, kStateAt, kOpen);
  return 0;
}

/* The PNG header, once the bits per sample are known. */
static void WriteHeader(Byte* b, png_structp png, png_infop info) {
  const uint32_t bitsPerSample = BitsPerSample(b);
  const uint32_t width = GetLe32(b, kWidthAt);
  const uint32_t rows = GetLe32(b, kRowsAt);
  if (bitsPerSample == 1) {
    static const png_color kPalette[2] = {{255, 255, 255}, {0, 0, 0}}; /* 0 white, 1 black */
    png_set_IHDR(png, info, width, rows, 1, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, kPalette, 2);
  } else {
    png_set_IHDR(png, info, width, rows, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  }
  png_write_info(png, info);
}

int RAVEZEVA_CALL ravezeva_put_rows(void* block, const unsigned char** rows, int count) {
  Byte* b = (Byte*)block;
  if (!MayTakeRows(b, rows, count)) return 0;
  const uint32_t state = GetLe32(b, kStateAt);
  png_structp png = (png_structp)GetPointer(b, kPngAt);
  png_infop info = (png_infop)GetPointer(b, kInfoAt);
  if (setjmp(png_jmpbuf(png)) != 0) {
    Close(b);
    return 0;
  }
  if (state == kOpen) {
    WriteHeader(b, png, info);
    PutLe32(b, kStateAt, kWriting);
  }
  for (int i = 0; i < count; ++i) {
    if (!RowFits(b, rows[i])) {
      Close(b);
      return 0;
    }
    png_write_row(png, rows[i]);
    CountRow(b);
  }
  return 1;
}

int RAVEZEVA_CALL ravezeva_finish_image(void* block) {
  Byte* b = (Byte*)block;
  if (!Initialised(b)) return -1;
  if (!Complete(b)) {
    Close(b);
    return -1;
  }
  png_structp png = (png_structp)GetPointer(b, kPngAt);
  png_infop info = (png_infop)GetPointer(b, kInfoAt);
  if (setjmp(png_jmpbuf(png)) != 0) {
    Close(b);
    return -3;
  }
  png_write_end(png, info);
  return Close(b) == 0 ? 0 : -4;
}
