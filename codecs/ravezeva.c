/* ravezeva: the image coder, writing PNG through libpng. See ravezeva.h. */
#include "ravezeva.h"

#include <setjmp.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <png.h>

enum {
  kSizeAt = 0,
  kOptionAt = 4,
  kStateAt = 8,
  kWidthAt = 16,
  kRowsAt = 20,
  kBitsPerSampleAt = 24,
  kRowsWrittenAt = 28,
  kFileNameAt = 32,
  kFileNameBytes = 270,
  kBitsPerPixelAt = 302,
  kFileAt = 304,
  kPngAt = 312,
  kInfoAt = 320,
};

enum { kInitialised = 0, kOpen = 1, kWriting = 2, kDone = 3 };

typedef unsigned char Byte;

static uint32_t GetLe32(const Byte* block, size_t at) {
  return (uint32_t)block[at] | ((uint32_t)block[at + 1] << 8) | ((uint32_t)block[at + 2] << 16) |
         ((uint32_t)block[at + 3] << 24);
}

static void PutLe32(Byte* block, size_t at, uint32_t value) {
  block[at] = (Byte)value;
  block[at + 1] = (Byte)(value >> 8);
  block[at + 2] = (Byte)(value >> 16);
  block[at + 3] = (Byte)(value >> 24);
}

static void* GetPointer(const Byte* block, size_t at) {
  void* p;
  memcpy(&p, block + at, sizeof p);
  return p;
}

static void PutPointer(Byte* block, size_t at, void* p) { memcpy(block + at, &p, sizeof p); }

static void QuietError(png_structp png, png_const_charp message) {
  (void)message;
  png_longjmp(png, 1);
}

static void QuietWarning(png_structp png, png_const_charp message) {
  (void)png;
  (void)message;
}

static int Initialised(const Byte* block) {
  return block != NULL && GetLe32(block, kSizeAt) == RAVEZEVA_BLOCK_SIZE;
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

void RAVEZEVA_CALL ravezeva_init_block(void* block, int size) {
  Byte* b = (Byte*)block;
  if (b == NULL || size != RAVEZEVA_BLOCK_SIZE) return;
  /* Width and rows (16..23) are the driver's, set before this call. */
  memset(b, 0, kWidthAt);
  memset(b + kBitsPerSampleAt, 0, RAVEZEVA_BLOCK_SIZE - kBitsPerSampleAt);
  PutLe32(b, kSizeAt, RAVEZEVA_BLOCK_SIZE);
  PutLe32(b, kStateAt, kInitialised);
}

void RAVEZEVA_CALL ravezeva_set_option(void* block, int value) {
  Byte* b = (Byte*)block;
  if (!Initialised(b) || value < 0 || value > 10) return;
  PutLe32(b, kOptionAt, (uint32_t)value);
}

int RAVEZEVA_CALL ravezeva_open_image(void* block) {
  Byte* b = (Byte*)block;
  if (!Initialised(b) || GetLe32(b, kStateAt) != kInitialised) return -1;
  const uint32_t width = GetLe32(b, kWidthAt);
  const uint32_t rows = GetLe32(b, kRowsAt);
  const Byte bpp = b[kBitsPerPixelAt];
  if (width == 0 || rows == 0 || width > PNG_USER_WIDTH_MAX || rows > PNG_USER_HEIGHT_MAX) return -1;
  if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8) return -1;
  if (memchr(b + kFileNameAt, 0, kFileNameBytes) == NULL || b[kFileNameAt] == 0) return -1;

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
  uint32_t bitsPerSample = GetLe32(b, kBitsPerSampleAt);
  if (bitsPerSample == 0) bitsPerSample = b[kBitsPerPixelAt] == 1 ? 1 : 8;
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
  if (!Initialised(b) || rows == NULL || count < 0) return 0;
  const uint32_t state = GetLe32(b, kStateAt);
  if (state != kOpen && state != kWriting) return 0;
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
    const uint32_t written = GetLe32(b, kRowsWrittenAt);
    if (written >= GetLe32(b, kRowsAt) || rows[i] == NULL) {
      Close(b);
      return 0;
    }
    png_write_row(png, rows[i]);
    PutLe32(b, kRowsWrittenAt, written + 1);
  }
  return 1;
}

int RAVEZEVA_CALL ravezeva_finish_image(void* block) {
  Byte* b = (Byte*)block;
  if (!Initialised(b)) return -1;
  if (GetLe32(b, kStateAt) != kWriting || GetLe32(b, kRowsWrittenAt) != GetLe32(b, kRowsAt)) {
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
