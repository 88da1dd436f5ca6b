/*
 * tarvoscn - scan-and-save driver for the RT650 sheet-fed SCSI scanner.
 *
 * The public interface for host applications, usable from C and C++.
 * Every export runs on the caller's thread; the driver keeps one state per
 * process, so a host calls it from one thread at a time.
 *
 * On 32-bit Windows the exports use the stdcall convention; five of them are
 * published under their decorated names (_TsdDetailsSetDialog@12,
 * _TsdGetDriverName@8, _GammaSetDialog@12, _ImprinterSetDialog@12,
 * _FKeySetDialog@12). On other systems every name is exported plain.
 *
 * Strings are 8-bit ANSI texts ending in NUL.
 */
#ifndef TARVOSCN_H
#define TARVOSCN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define TSD_CALL __stdcall
#else
#define TSD_CALL
#endif

#if defined(_WIN32)
#define TSD_API
#elif defined(__GNUC__)
#define TSD_API __attribute__((visibility("default")))
#else
#define TSD_API
#endif

/* Window and instance handles of the dialog exports. */
#if defined(_WIN32)
typedef struct HWND__* TSD_HWND;
typedef struct HINSTANCE__* TSD_HINSTANCE;
#else
typedef void* TSD_HWND;
typedef void* TSD_HINSTANCE;
#endif

/* Driver result codes. */
#define TSD_OK 0u
#define TSD_ERR_TIFF_UNUSABLE 1u       /* TIFF to join or rename cannot be opened, or is not TIFF */
#define TSD_ERR_SCANNER 2u             /* scanner not found / not probed / transport failure */
#define TSD_ERR_UNKNOWN_PARAMETER 3u   /* parameter ID not defined */
#define TSD_ERR_FILE 4u                /* file cannot be created, written, read, positioned, closed */
#define TSD_ERR_INVALID_VALUE 5u       /* invalid value or combination */
#define TSD_ERR_NO_PAPER 6u            /* feeder empty */
#define TSD_ERR_PAPER_JAM 7u
#define TSD_ERR_MEDIUM_Q1 8u
#define TSD_ERR_ILLEGAL_REQUEST 9u     /* unlisted illegal request; unit attention */
#define TSD_ERR_NOT_READY_MANUAL 12u
#define TSD_ERR_VERIFY_MISMATCH 13u
#define TSD_ERR_ABORTED 14u            /* aborted by the scanner or cancelled by the host */
#define TSD_ERR_RESOURCE 15u
#define TSD_ERR_NOT_READY 16u
#define TSD_ERR_HARDWARE 17u
#define TSD_ERR_PAGE_FLAGGED 19u
#define TSD_ERR_PARAM_LIST_LENGTH 33u
#define TSD_ERR_INVALID_OPCODE 34u
#define TSD_ERR_INVALID_CDB_FIELD 35u
#define TSD_ERR_INVALID_PARAM_FIELD 37u
#define TSD_ERR_SEQUENCE 38u
#define TSD_ERR_SEQUENCE_Q1 39u
#define TSD_ERR_IDENTIFY_BITS 40u

/* Compression codes (PAR_COMPRESSION) and file types (PAR_FILE_TYPE). */
#define TSD_COMPRESSION_NONE 0
#define TSD_COMPRESSION_G4 3
#define TSD_COMPRESSION_JPEG 4
#define TSD_COMPRESSION_CODER 5
#define TSD_FILE_TIFF 1
#define TSD_FILE_JPEG 2
#define TSD_FILE_CODER 4
#define TSD_FILE_BMP 8

/* Image types (PAR_IMAGE_TYPE): gray is the only multi-level one. */
#define TSD_IMAGE_LINEART 1
#define TSD_IMAGE_GRAY 4
#define TSD_IMAGE_LINEART_TEXT 9
#define TSD_IMAGE_HALFTONE 10

/* End marker of the accepted-value tables. */
#define TSD_TABLE_END 0xE5E5

/*
 * Scan parameters of TsdParSet / TsdParGet.
 *
 * The value argument points to a cell. For most IDs the cell is an int32_t.
 * For PAR_DOC_NAME, PAR_ADDON_TEXT, PAR_GAMMA and PAR_DEVICE_PAGE_37 the cell
 * is a uintptr_t holding the address of the data (a text, a 256-byte gamma
 * table, a pair of int32_t); on 32-bit Windows both cells are 32 bits.
 */
#define PAR_SCAN_LENGTH 1
#define PAR_SCAN_WIDTH 2
#define PAR_SEPARATOR_LATCH 3
#define PAR_BRIGHTNESS 5
#define PAR_RESOLUTION 6
#define PAR_Y_RESOLUTION 7
#define PAR_COMPRESSION 8
#define PAR_SEPARATOR_B 10
#define PAR_JOB_SEPARATOR 11
#define PAR_AUTO_SIZE 12
#define PAR_SEPARATOR_DETECTED 13
#define PAR_KEY_START 14
#define PAR_DOC_NAME 15 /* the host's text is kept, not copied; a null address clears it */
#define PAR_USER_16 16
#define PAR_CONTINUOUS 17
#define PAR_USER_18 18
#define PAR_FILE_TYPE 19
#define PAR_BITS_PER_PIXEL 20
#define PAR_CONTRAST 21
#define PAR_IMAGE_TYPE 22
#define PAR_MARGIN_SCAN 32
#define PAR_MARGIN_AMOUNT 33
#define PAR_FRAME_AREA 39
#define PAR_TOP_OFFSET 40
#define PAR_SIDE_OFFSET 41
#define PAR_TEXT_MODE 49
#define PAR_EDGE_EMPHASIS 53
#define PAR_NOTCH_ERASE 56
#define PAR_THIN_LINE 57
#define PAR_AE 58
#define PAR_USER_GRC 59
#define PAR_ADDON 61
#define PAR_ADDON_TEXT 62
#define PAR_ADDON_TIMING 63
#define PAR_ADDON_X 64
#define PAR_ADDON_Y 65
#define PAR_ADDON_COUNTER_ON 66
#define PAR_ADDON_COLOR 67
#define PAR_ADDON_STYLE 68
#define PAR_ADDON_FLAG 69
#define PAR_COUNTUP_TIMING 70
#define PAR_COUNTUP_AMOUNT 71
#define PAR_RESET_TIMING 72
#define PAR_RESET_VALUE 73
#define PAR_POLARITY 99
#define PAR_GAMMA 100
#define PAR_DEVICE_PAGE_37 104
#define PAR_MAX_WIDTH 105
#define PAR_MAX_LENGTH 106
#define PAR_BASE_RESOLUTION 107
#define PAR_INVERT 108
#define PAR_JPEG_QUALITY 109
#define PAR_FKEY_1 110
#define PAR_FKEY_2 111
#define PAR_FKEY_3 112
#define PAR_FKEY_4 113
#define PAR_FKEY_5 114
#define PAR_FKEY_6 115
#define PAR_FKEY_7 116
#define PAR_FKEY_8 117
#define PAR_FKEY_9 118
#define PAR_FKEY_10 119
#define PAR_GRC_MODE 120
#define PAR_BATCH_MODE 121
#define PAR_COUNTER_1 122
#define PAR_COUNTER_2 123
#define PAR_COUNTER_3 124
#define PAR_ROTATE 125
#define PAR_PAGE_LENGTH 126
#define PAR_PAGE_WIDTH 127
#define PAR_SEPARATOR_SENSE 128
#define PAR_BATCH_CAPABLE 129
#define PAR_BACKGROUND_ERASE 130

/* The host's cancel function of the page wait: non-zero cancels. It runs
 * inside TsdReadPage and must not call back into the driver. */
typedef int32_t(TSD_CALL* TsdCancelCallback)(void);

/* Scanner search and settings. */
TSD_API uint32_t TSD_CALL TsdProbe(void);
/* 0, 3 (not a parameter in that direction), 5 (value not accepted) or the
 * result of the operation the parameter runs. */
TSD_API int32_t TSD_CALL TsdParSet(int32_t id, void* value);
TSD_API int32_t TSD_CALL TsdParGet(int32_t id, void* value);
TSD_API uint32_t TSD_CALL TsdSetModeToScanner(void);
TSD_API uint32_t TSD_CALL TsdGetModeFromScanner(void);

/* Batches and pages. */
TSD_API uint32_t TSD_CALL TsdStartScan(const char* docFileName, uint32_t* pagePosition,
                                       uint32_t* value);
TSD_API uint32_t TSD_CALL TsdScanOnePage(const char* docFileName, uint32_t* pagePosition,
                                         void* pageBuffer);
TSD_API uint32_t TSD_CALL TsdReadPage(const char* outputFileName, void* pageBuffer,
                                      TsdCancelCallback cancel);
TSD_API uint32_t TSD_CALL TsdContScan(void);
TSD_API uint32_t TSD_CALL TsdStopScan(void);
TSD_API uint32_t TSD_CALL TsdAbortScan(void);
TSD_API uint32_t TSD_CALL TsdPageExist(void);

/* Documents. */
TSD_API uint32_t TSD_CALL TsdCloseFile(void);
TSD_API uint32_t TSD_CALL TsdMakeTiff(const char* fileName, const void* image, int32_t width,
                                      int32_t length, int32_t xResolution, int32_t yResolution);
TSD_API uint32_t TSD_CALL TsdGetFileSize(uint32_t* size);
TSD_API void TSD_CALL TsdDocnameSet(const char* name);
TSD_API void TSD_CALL TsdPagenameSet(const char* name);
/* 0 joined, 1 a file cannot be opened or is not TIFF, -1 copying failed. */
TSD_API int32_t TSD_CALL ConcatTiff(const char* destination, const char* source);
/* 0 renamed, 1 failed. */
TSD_API int32_t TSD_CALL ChangeDocname(const char* fileName, const char* newName);

/*
 * Dialogs, modal, on the caller's thread. The host must have registered the
 * trackbar and up-down window classes (the common controls); the driver does
 * not. When a dialog cannot be created the export shows "DialogBox return
 * code is %d" and returns the system's error code.
 *   TsdDrvSetDialog     probes first (its failure code is returned without a
 *                       dialog); 0 after OK or Cancel.
 *   TsdDetailsSetDialog returns `instance`; GammaSetDialog returns `instance`.
 *   ImprinterSetDialog, FKeySetDialog return `owner`.
 *   TsdStartScanDialog  probes first; with no scanner it shows "Scanner is
 *                       not probed." and returns 0; else 0 after OK or Cancel.
 * Other systems than Windows have no window system for them: after the steps
 * that come before the dialog (the probe of TsdDrvSetDialog and
 * TsdStartScanDialog), every dialog export behaves as a dialog that cannot
 * be created and returns ERROR_NOT_SUPPORTED (50).
 */
TSD_API uint32_t TSD_CALL TsdDrvSetDialog(TSD_HINSTANCE instance, TSD_HWND owner);
TSD_API uint32_t TSD_CALL TsdDetailsSetDialog(TSD_HINSTANCE instance, TSD_HWND owner,
                                              void* unused);
TSD_API uint32_t TSD_CALL GammaSetDialog(TSD_HINSTANCE instance, TSD_HWND owner, void* unused);
TSD_API uint32_t TSD_CALL ImprinterSetDialog(TSD_HINSTANCE instance, TSD_HWND owner,
                                             void* unused);
TSD_API uint32_t TSD_CALL FKeySetDialog(TSD_HINSTANCE instance, TSD_HWND owner, void* unused);
TSD_API uint32_t TSD_CALL TsdStartScanDialog(TSD_HINSTANCE instance, TSD_HWND owner);

/* Information. */
/* Switches the driver's failure message boxes on (non-zero) or off; returns 1 or 0. */
TSD_API uint32_t TSD_CALL TsdDispErrDlg(uint32_t on);
/* Copies the library's file name and its version text ("1.007"); returns 0. */
TSD_API uint32_t TSD_CALL TsdGetDriverName(char* fileName, char* version);
/* Copies the 12 bytes of "Tarvo RT650" with its NUL; returns 0. */
TSD_API uint32_t TSD_CALL TsdGetScannerName(char* name);
TSD_API uint32_t TSD_CALL disp_page(uint32_t unused);
TSD_API uint32_t TSD_CALL dll_test(void);

#ifdef __cplusplus
}
#endif

#endif /* TARVOSCN_H */
