/* What the parts of tsdhost share: the checks, the driver, the work folder, the
 * settings file beside the driver and the imaging component. */
#ifndef TSDHOST_HOST_H
#define TSDHOST_HOST_H

#include <windows.h>
#include <wincodec.h>

#include <stdint.h>
#include "tarvoscn.h"

/* Each check counts as passed or failed (a failure prints a FAIL line). */
int Check(int ok, const char* what, long got, long expected);
int CheckEq(long got, long expected, const char* what);
int CheckTrue(int ok, const char* what);
int CheckText(const char* got, const char* expected, const char* what);
#define CHECK_EQ(got, expected, what) CheckEq((long)(got), (long)(expected), what)
#define CHECK(cond, what) CheckTrue((cond) ? 1 : 0, what)

typedef uint32_t(TSD_CALL* Fn0)(void);
typedef uint32_t(TSD_CALL* Fn1)(void*);
typedef uint32_t(TSD_CALL* Fn2)(const void*, void*);
typedef int32_t(TSD_CALL* ParFn)(int32_t, void*);
typedef uint32_t(TSD_CALL* StartFn)(const char*, uint32_t*, uint32_t*);
typedef uint32_t(TSD_CALL* ReadFn)(const char*, void*, TsdCancelCallback);
typedef int32_t(TSD_CALL* TiffFn)(const char*, const char*);

/* tarvoscn.dll beside the host and its exports by their published names. */
enum DialogExport { kDrvSet, kDetails, kGamma, kImprinter, kFKey, kStartScan };
struct Driver {
  HMODULE module;
  Fn0 probe, stopScan, closeFile, getMode, setMode;
  ParFn parSet, parGet;
  StartFn startScan;
  ReadFn readPage;
  TiffFn concatTiff, changeDocname;
  Fn1 getScannerName, dispErrDlg;
  Fn2 getDriverName;
  void* dialogs[6];
};
int LoadDriver(struct Driver* d);
int32_t Get(struct Driver* d, int32_t id);
int Set(struct Driver* d, int32_t id, int32_t value);

extern char g_hostFolder[MAX_PATH]; /* folder of tsdhost.exe and the DLLs, with its backslash */
extern char g_work[MAX_PATH];       /* the work folder, with its backslash */
extern char g_ini[MAX_PATH];        /* tarvoscn.ini beside the driver */
extern const char kSection[];       /* the host's section in it */
const char* WorkPath(const char* name); /* in the work folder (eight rotating buffers) */
int WriteText(const char* path, const char* text);

extern IWICImagingFactory* g_wic; /* of the first thread */
struct Decoded {
  UINT frames, width, height;
  unsigned char* gray; /* the frame as 8-bit gray */
};
int Decode(const char* path, UINT which, struct Decoded* out); /* frame `which`; 0 when it cannot */

/* The dialogs on screen, driven, checked and photographed into `screens`, in
 * `language` ("English", or "Japanese" with the DETAILS template). */
void TestDialogs(const char* screens, const char* language);

#endif
