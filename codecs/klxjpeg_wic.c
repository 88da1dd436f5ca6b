/* klxjpeg on Windows: save_JPEG through the Windows Imaging Component's
 * JPEG encoder. See klxjpeg.h; the results are the same: 0 success, -1 bad
 * arguments, -2 the file cannot be created, -3 the encoder failed, -4 the
 * file could not be completed. */
#include "klxjpeg.h"
#include "klxjpeg_args.h"
#include "wic_support.h"

int save_JPEG(const char* fileName, const unsigned char* pixels, int width, int rows,
              int resolution, int components, int stride, int quality) {
  if (!JpegArgumentsValid(fileName, pixels, width, rows, resolution, components, stride,
                          quality)) {
    return -1;
  }
  struct WicImage image;
  const int opened = WicOpen(&image, fileName, &GUID_ContainerFormatJpeg, (float)quality / 100.0f);
  if (opened != kWicOk) return opened;
  if (WicSetFormat(&image, (UINT)width, (UINT)rows, (double)resolution,
                   &GUID_WICPixelFormat8bppGray, NULL, 0) != 0) {
    WicRelease(&image);
    return -3;
  }
  for (int row = 0; row < rows; ++row) {
    BYTE* line = (BYTE*)(pixels + (size_t)row * (size_t)stride);
    if (FAILED(IWICBitmapFrameEncode_WritePixels(image.frame, 1, (UINT)width, (UINT)width, line))) {
      WicRelease(&image);
      return -3;
    }
  }
  const int committed = WicCommit(&image);
  WicRelease(&image);
  return committed == 0 ? 0 : -4;
}
