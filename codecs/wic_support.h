/* What both Windows codecs need of the Windows Imaging Component: COM for
 * the calling thread, the imaging factory, and an encoder writing into a
 * new file with one frame. */
#ifndef TARVO_WIC_SUPPORT_H
#define TARVO_WIC_SUPPORT_H

#define COBJMACROS
#include <windows.h>
#include <wincodec.h>

/* The parts of one image being written; null members are not made yet. */
struct WicImage {
  IWICImagingFactory* factory;
  IWICStream* stream;
  IWICBitmapEncoder* encoder;
  IWICBitmapFrameEncode* frame;
  int comInitialised; /* this code initialised COM and uninitialises it */
};

/* Results of WicOpen. */
enum { kWicOk = 0, kWicNoFile = -2, kWicFailed = -3 };

/* Starts an image of `container` format in the file `fileName` (an ANSI
 * path): COM, the factory, the file stream, the encoder and its first frame.
 * `quality` above 0 is given to the frame as its "ImageQuality" option
 * (0..1). On failure everything made so far is released. */
int WicOpen(struct WicImage* image, const char* fileName, const GUID* container, float quality);

/* The frame's size, resolution and pixel format. The format must be taken
 * as asked; `palette` (two colours, or none) goes with indexed formats. */
int WicSetFormat(struct WicImage* image, UINT width, UINT rows, double dpi,
                 const WICPixelFormatGUID* format, const WICColor* palette, UINT colours);

/* Commits the frame and the file; 0 on success. */
int WicCommit(struct WicImage* image);

/* Releases what is held and leaves COM as it found it. */
void WicRelease(struct WicImage* image);

#endif
