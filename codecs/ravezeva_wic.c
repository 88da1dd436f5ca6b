/* ravezeva on Windows: the image coder writing PNG through the Windows
 * Imaging Component. The block and the results are those of ravezeva.h;
 * bilevel rows go out as a 1-bit indexed image (entry 0 white, entry 1
 * black), everything else as 8-bit gray. The option of ordinal 25 is kept in
 * the block; the component's PNG encoder has no compression level to give
 * it to. The block's slot at 304 holds the image being written. */
#include <stdlib.h>

#include "ravezeva.h"
#include "ravezeva_block.h"
#include "wic_support.h"

enum { kImageAt = kSlot0At };

static struct WicImage* ImageOf(const Byte* b) { return (struct WicImage*)GetPointer(b, kImageAt); }

/* Releases the image; the state becomes done. */
static void Close(Byte* b) {
  struct WicImage* image = ImageOf(b);
  if (image != NULL) {
    WicRelease(image);
    free(image);
  }
  PutPointer(b, kImageAt, NULL);
  PutLe32(b, kStateAt, kDone);
}

void RAVEZEVA_CALL ravezeva_init_block(void* block, int size) { InitBlock((Byte*)block, size); }

void RAVEZEVA_CALL ravezeva_set_option(void* block, int value) { SetOption((Byte*)block, value); }

int RAVEZEVA_CALL ravezeva_open_image(void* block) {
  Byte* b = (Byte*)block;
  if (!ReadyToOpen(b)) return -1;
  struct WicImage* image = (struct WicImage*)calloc(1, sizeof *image);
  if (image == NULL) return -3;
  const int opened = WicOpen(image, (const char*)(b + kFileNameAt), &GUID_ContainerFormatPng, 0.0f);
  if (opened != kWicOk) {
    free(image);
    PutLe32(b, kStateAt, kDone);
    return opened;
  }
  PutPointer(b, kImageAt, image);
  PutLe32(b, kRowsWrittenAt, 0);
  PutLe32(b, kStateAt, kOpen);
  return 0;
}

/* The frame's format, once the bits per sample are known. */
static int SetFormat(Byte* b, struct WicImage* image) {
  static const WICColor kPalette[2] = {0xFFFFFFFFu, 0xFF000000u}; /* 0 white, 1 black */
  const UINT width = GetLe32(b, kWidthAt);
  const UINT rows = GetLe32(b, kRowsAt);
  if (BitsPerSample(b) == 1) {
    return WicSetFormat(image, width, rows, 96.0, &GUID_WICPixelFormat1bppIndexed, kPalette, 2);
  }
  return WicSetFormat(image, width, rows, 96.0, &GUID_WICPixelFormat8bppGray, NULL, 0);
}

int RAVEZEVA_CALL ravezeva_put_rows(void* block, const unsigned char** rows, int count) {
  Byte* b = (Byte*)block;
  if (!MayTakeRows(b, rows, count)) return 0;
  struct WicImage* image = ImageOf(b);
  if (GetLe32(b, kStateAt) == kOpen) {
    if (SetFormat(b, image) != 0) {
      Close(b);
      return 0;
    }
    PutLe32(b, kStateAt, kWriting);
  }
  const uint32_t width = GetLe32(b, kWidthAt);
  const UINT rowBytes = BitsPerSample(b) == 1 ? (width + 7) / 8 : width;
  for (int i = 0; i < count; ++i) {
    if (!RowFits(b, rows[i]) ||
        FAILED(IWICBitmapFrameEncode_WritePixels(image->frame, 1, rowBytes, rowBytes,
                                                 (BYTE*)rows[i]))) {
      Close(b);
      return 0;
    }
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
  const int committed = WicCommit(ImageOf(b));
  Close(b);
  return committed == 0 ? 0 : -4;
}
