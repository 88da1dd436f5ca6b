/*
 * What the parts of tsdhost share: the checks and their counts, the work
 * folder, the settings file beside the driver and the imaging component.
 */
#ifndef TSDHOST_HOST_H
#define TSDHOST_HOST_H

#include <windows.h>
#include <wincodec.h>

/* Each check counts once as passed or failed; a failure prints a FAIL line.
 * Every one returns its outcome, so that a caller can skip what depends on
 * it. */
int Check(int ok, const char* what, long got, long expected);
int CheckEq(long got, long expected, const char* what);
int CheckTrue(int ok, const char* what);
int CheckText(const char* got, const char* expected, const char* what);
#define CHECK_EQ(got, expected, what) CheckEq((long)(got), (long)(expected), what)
#define CHECK(cond, what) CheckTrue((cond) ? 1 : 0, what)

extern char g_hostFolder[MAX_PATH]; /* folder of tsdhost.exe and the DLLs, with its backslash */
extern char g_work[MAX_PATH];       /* the work folder, with its backslash */
extern char g_ini[MAX_PATH];        /* the driver's settings file, tarvoscn.ini */
extern const char kSection[];       /* the host's section in it */

/* `name` in the work folder (one of eight rotating buffers). */
const char* WorkPath(const char* name);
int WriteText(const char* path, const char* text);

/* The imaging component of the first thread, and a decoder on it. */
extern IWICImagingFactory* g_wic;
struct Decoded {
  UINT frames, width, height;
  unsigned char* gray; /* frame `which` as 8-bit gray, width * height bytes */
};
/* Decodes frame `which` of the file; 0 when the component cannot. */
int Decode(const char* path, UINT which, struct Decoded* out);

/* The dialogs on screen: driven, checked and photographed into `screens`
 * (a folder). `language` is the LANGUAGE the driver is given: "English"
 * opens every dialog but DETAILS, "Japanese" the DETAILS template. */
void TestDialogs(const char* screens, const char* language);

#endif
