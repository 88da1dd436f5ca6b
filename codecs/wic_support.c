/* The Windows Imaging Component for the codec libraries. See wic_support.h. */
#include "wic_support.h"

#include <string.h>

#include <ole2.h>

/* The factory's class and interface, defined here so that no import
 * library beyond ole32 is needed. */
static const CLSID kFactoryClass = {
    0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
static const IID kFactoryInterface = {
    0xec5ec8a9, 0xc395, 0x4314, {0x9c, 0x77, 0x54, 0xd7, 0xa9, 0x35, 0xff, 0x70}};

void WicRelease(struct WicImage* image) {
  if (image->frame != NULL) IWICBitmapFrameEncode_Release(image->frame);
  if (image->encoder != NULL) IWICBitmapEncoder_Release(image->encoder);
  if (image->stream != NULL) IWICStream_Release(image->stream);
  if (image->factory != NULL) IWICImagingFactory_Release(image->factory);
  if (image->comInitialised) CoUninitialize();
  memset(image, 0, sizeof *image);
}

static int SetQuality(IPropertyBag2* options, float quality) {
  PROPBAG2 option;
  VARIANT value;
  memset(&option, 0, sizeof option);
  option.pstrName = (LPOLESTR)L"ImageQuality";
  VariantInit(&value);
  value.vt = VT_R4;
  value.fltVal = quality;
  return SUCCEEDED(IPropertyBag2_Write(options, 1, &option, &value));
}

int WicOpen(struct WicImage* image, const char* fileName, const GUID* container, float quality) {
  memset(image, 0, sizeof *image);
  /* A host that runs COM in another model keeps it; this code then only
   * uses it. */
  const HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
  image->comInitialised = SUCCEEDED(com);
  if (FAILED(com) && com != RPC_E_CHANGED_MODE) return kWicFailed;
  if (FAILED(CoCreateInstance(&kFactoryClass, NULL, CLSCTX_INPROC_SERVER, &kFactoryInterface,
                              (void**)&image->factory))) {
    WicRelease(image);
    return kWicFailed;
  }
  WCHAR wide[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, fileName, -1, wide, MAX_PATH) == 0 ||
      FAILED(IWICImagingFactory_CreateStream(image->factory, &image->stream))) {
    WicRelease(image);
    return kWicFailed;
  }
  if (FAILED(IWICStream_InitializeFromFilename(image->stream, wide, GENERIC_WRITE))) {
    WicRelease(image);
    return kWicNoFile;
  }
  IPropertyBag2* options = NULL;
  int ok = SUCCEEDED(IWICImagingFactory_CreateEncoder(image->factory, container, NULL,
                                                      &image->encoder)) &&
           SUCCEEDED(IWICBitmapEncoder_Initialize(image->encoder, (IStream*)image->stream,
                                                  WICBitmapEncoderNoCache)) &&
           SUCCEEDED(IWICBitmapEncoder_CreateNewFrame(image->encoder, &image->frame, &options));
  if (ok && quality > 0.0f && options != NULL) ok = SetQuality(options, quality);
  if (ok) ok = SUCCEEDED(IWICBitmapFrameEncode_Initialize(image->frame, options));
  if (options != NULL) IPropertyBag2_Release(options);
  if (!ok) {
    WicRelease(image);
    return kWicFailed;
  }
  return kWicOk;
}

int WicSetFormat(struct WicImage* image, UINT width, UINT rows, double dpi,
                 const WICPixelFormatGUID* format, const WICColor* palette, UINT colours) {
  WICPixelFormatGUID granted = *format;
  if (FAILED(IWICBitmapFrameEncode_SetSize(image->frame, width, rows)) ||
      FAILED(IWICBitmapFrameEncode_SetResolution(image->frame, dpi, dpi)) ||
      FAILED(IWICBitmapFrameEncode_SetPixelFormat(image->frame, &granted)) ||
      !IsEqualGUID(&granted, format)) {
    return -1;
  }
  if (palette == NULL) return 0;
  IWICPalette* table = NULL;
  int ok = SUCCEEDED(IWICImagingFactory_CreatePalette(image->factory, &table)) &&
           SUCCEEDED(IWICPalette_InitializeCustom(table, (WICColor*)palette, colours)) &&
           SUCCEEDED(IWICBitmapFrameEncode_SetPalette(image->frame, table));
  if (table != NULL) IWICPalette_Release(table);
  return ok ? 0 : -1;
}

int WicCommit(struct WicImage* image) {
  if (FAILED(IWICBitmapFrameEncode_Commit(image->frame))) return -1;
  if (FAILED(IWICBitmapEncoder_Commit(image->encoder))) return -1;
  return 0;
}
