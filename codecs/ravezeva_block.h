/* The image coder's 344-byte parameter block: offsets and the little-endian
 * accessors shared by both coders (libpng in ravezeva.c, the Windows Imaging
 * Component in ravezeva_wic.c). The layout is in ravezeva.h. */
#ifndef RAVEZEVA_BLOCK_H
#define RAVEZEVA_BLOCK_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "ravezeva.h"

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
  kSlot0At = 304, /* three 8-byte slots for the coder's handles: 304, 312, 320 */
  kSlot1At = 312,
  kSlot2At = 320,
};

enum { kInitialised = 0, kOpen = 1, kWriting = 2, kDone = 3 };

/* Largest side the coders take. */
enum { kMaxSide = 1000000 };

typedef unsigned char Byte;

static inline uint32_t GetLe32(const Byte* block, size_t at) {
  return (uint32_t)block[at] | ((uint32_t)block[at + 1] << 8) | ((uint32_t)block[at + 2] << 16) |
         ((uint32_t)block[at + 3] << 24);
}

static inline void PutLe32(Byte* block, size_t at, uint32_t value) {
  block[at] = (Byte)value;
  block[at + 1] = (Byte)(value >> 8);
  block[at + 2] = (Byte)(value >> 16);
  block[at + 3] = (Byte)(value >> 24);
}

static inline void* GetPointer(const Byte* block, size_t at) {
  void* p;
  memcpy(&p, block + at, sizeof p);
  return p;
}

static inline void PutPointer(Byte* block, size_t at, void* p) { memcpy(block + at, &p, sizeof p); }

static inline int Initialised(const Byte* block) {
  return block != NULL && GetLe32(block, kSizeAt) == RAVEZEVA_BLOCK_SIZE;
}

/* init_block: everything but width and rows (16..23, the driver's) cleared. */
static inline void InitBlock(Byte* b, int size) {
  if (b == NULL || size != RAVEZEVA_BLOCK_SIZE) return;
  memset(b, 0, kWidthAt);
  memset(b + kBitsPerSampleAt, 0, RAVEZEVA_BLOCK_SIZE - kBitsPerSampleAt);
  PutLe32(b, kSizeAt, RAVEZEVA_BLOCK_SIZE);
  PutLe32(b, kStateAt, kInitialised);
}

static inline void SetOption(Byte* b, int value) {
  if (!Initialised(b) || value < 0 || value > 10) return;
  PutLe32(b, kOptionAt, (uint32_t)value);
}

/* What open_image checks before it creates anything: an initialised block,
 * a size within the coder's limits, a known bits-per-pixel value and a
 * NUL-terminated, non-empty file name. */
static inline int ReadyToOpen(const Byte* b) {
  if (!Initialised(b) || GetLe32(b, kStateAt) != kInitialised) return 0;
  const uint32_t width = GetLe32(b, kWidthAt);
  const uint32_t rows = GetLe32(b, kRowsAt);
  const Byte bpp = b[kBitsPerPixelAt];
  if (width == 0 || rows == 0 || width > kMaxSide || rows > kMaxSide) return 0;
  if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8) return 0;
  return memchr(b + kFileNameAt, 0, kFileNameBytes) != NULL && b[kFileNameAt] != 0;
}

/* Bits per sample of the image: offset 24 as the driver set it, or from
 * the bits per pixel when it left it 0. */
static inline uint32_t BitsPerSample(const Byte* b) {
  const uint32_t bits = GetLe32(b, kBitsPerSampleAt);
  if (bits != 0) return bits;
  return b[kBitsPerPixelAt] == 1 ? 1 : 8;
}

/* put_rows may take rows: an open or writing image, a row array, a count. */
static inline int MayTakeRows(const Byte* b, const unsigned char** rows, int count) {
  if (!Initialised(b) || rows == NULL || count < 0) return 0;
  const uint32_t state = GetLe32(b, kStateAt);
  return state == kOpen || state == kWriting;
}

/* One more row fits the image: fewer rows written than it has. */
static inline int RowFits(const Byte* b, const unsigned char* row) {
  return row != NULL && GetLe32(b, kRowsWrittenAt) < GetLe32(b, kRowsAt);
}

/* A row has been taken. */
static inline void CountRow(Byte* b) { PutLe32(b, kRowsWrittenAt, GetLe32(b, kRowsWrittenAt) + 1); }

/* finish_image may finish: the image is being written and has every row. */
static inline int Complete(const Byte* b) {
  return GetLe32(b, kStateAt) == kWriting && GetLe32(b, kRowsWrittenAt) == GetLe32(b, kRowsAt);
}

#endif
