/*
 * tarvoscn - the scan parameters of TsdParSet / TsdParGet, described.
 *
 * One row per PAR_ ID of tarvoscn.h: its name, the key a host may offer its
 * user, what kind of value it takes, the accepted range or value list, the
 * unit, one line of meaning, the directions it can be used in and which
 * block of the scanner's settings a set sends at once. Hosts generate their
 * option lists and value checks from it; the driver checks values the same
 * way. Header only, usable from C99 and C++: it adds no export.
 *
 * Rows and fields are only ever added, never renamed or removed.
 */
#ifndef TARVOSCN_PARAMS_H
#define TARVOSCN_PARAMS_H

#include <stddef.h>
#include <stdint.h>

#include "tarvoscn.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TSD_PARAMS_MAYBE_UNUSED __attribute__((unused))
#else
#define TSD_PARAMS_MAYBE_UNUSED
#endif

/* What a parameter's value is. */
enum TsdParamType {
  TSD_PARAM_RANGE = 1,    /* an integer from min to max */
  TSD_PARAM_FLAG = 2,     /* 0 or 1 */
  TSD_PARAM_CHOICE = 3,   /* one of `values` (min and max are its least and greatest) */
  TSD_PARAM_TEXT = 4,     /* the cell holds the address of a NUL-ended text of at most max characters (0: any length) */
  TSD_PARAM_BLOCK = 5,    /* the cell holds the address of a block of max bytes */
  TSD_PARAM_READ_ONLY = 6 /* an integer the driver reports, from min to max */
};

/* Access flags. */
#define TSD_PARAM_SETTABLE 0x01u /* TsdParSet takes it */
#define TSD_PARAM_GETTABLE 0x02u /* TsdParGet answers it */
/* A set takes any value: flags store 1 for any non-zero value, other values
 * are stored as given (min..max is then the useful range, not a check). */
#define TSD_PARAM_ANY_VALUE 0x04u
/* The accepted values depend on another parameter: PAR_BITS_PER_PIXEL takes
 * 1 with line art and halftone, 2, 4 or 8 with gray (PAR_IMAGE_TYPE). */
#define TSD_PARAM_DEPENDS 0x08u
/* A get asks the scanner for the value itself (gamma table, function keys). */
#define TSD_PARAM_GET_ASKS_SCANNER 0x10u

/* What a set sends to the scanner right after storing the value. */
enum TsdParamPush {
  TSD_PUSH_NONE = 0,          /* kept in the driver only */
  TSD_PUSH_WINDOW = 1,        /* the scan window (SET WINDOW) */
  TSD_PUSH_PAGE_32 = 2,       /* scan mode page 0x32 */
  TSD_PUSH_PAGE_36 = 3,       /* image page 0x36 */
  TSD_PUSH_ADDON_PAGE_34 = 4, /* the imprinter's page 0x34 */
  TSD_PUSH_FUNCTION_KEY = 5,  /* the function assigned to one key */
  TSD_PUSH_GAMMA = 6,         /* the gamma table */
  TSD_PUSH_PAGE_37 = 7        /* vendor page 0x37 */
};

struct TsdParamDesc {
  int32_t id;            /* PAR_RESOLUTION */
  const char* name;      /* "PAR_RESOLUTION" */
  const char* key;       /* "resolution": the name in lower case without PAR_ */
  int32_t type;          /* enum TsdParamType */
  int32_t min;           /* least value; for TEXT 0; for BLOCK the block size */
  int32_t max;           /* greatest value; for TEXT the longest text; for BLOCK the block size */
  const int32_t* values; /* CHOICE: the accepted values ended by TSD_TABLE_END; else NULL */
  const char* unit;      /* "pixels", "dpi", "mm", "bytes", ... or "" */
  const char* meaning;   /* one line of English */
  uint32_t access;       /* TSD_PARAM_SETTABLE | TSD_PARAM_GETTABLE | ... */
  int32_t push;          /* enum TsdParamPush */
};

/* Accepted-value lists, each ended by TSD_TABLE_END. */
static const int32_t tsdParResolutions[] TSD_PARAMS_MAYBE_UNUSED = {200, 300, 600, TSD_TABLE_END};
static const int32_t tsdParCompressions[] TSD_PARAMS_MAYBE_UNUSED = {
    TSD_COMPRESSION_NONE, TSD_COMPRESSION_G4, TSD_COMPRESSION_JPEG, TSD_COMPRESSION_CODER,
    TSD_TABLE_END};
static const int32_t tsdParFileTypes[] TSD_PARAMS_MAYBE_UNUSED = {
    TSD_FILE_TIFF, TSD_FILE_JPEG, TSD_FILE_CODER, TSD_FILE_BMP, TSD_TABLE_END};
static const int32_t tsdParImageTypes[] TSD_PARAMS_MAYBE_UNUSED = {1, 4, 10, 9, TSD_TABLE_END};
static const int32_t tsdParBitsPerPixel[] TSD_PARAMS_MAYBE_UNUSED = {1, 2, 4, 8, TSD_TABLE_END};
static const int32_t tsdParSeparatorLatch[] TSD_PARAMS_MAYBE_UNUSED = {0, TSD_TABLE_END};
static const int32_t tsdParJobSeparator[] TSD_PARAMS_MAYBE_UNUSED = {0, 5, TSD_TABLE_END};
/* Count-up and reset timings as the host sees them. */
static const int32_t tsdParTimings[] TSD_PARAMS_MAYBE_UNUSED = {0, 5, 6, 7, 3, 4, TSD_TABLE_END};
/* The functions a key can be given: one bit each. */
static const int32_t tsdParFunctionCodes[] TSD_PARAMS_MAYBE_UNUSED = {
    0x20,     0x40,     0x80,     0x100,    0x200,    0x400,    0x800,
    0x1000,   0x2000,   0x4000,   0x8000,   0x10000,  0x20000,  0x40000,
    0x80000,  0x100000, 0x200000, 0x400000, 0x800000, TSD_TABLE_END};

#define TSD_PAR_SG (TSD_PARAM_SETTABLE | TSD_PARAM_GETTABLE)
#define TSD_PAR_ANY (TSD_PAR_SG | TSD_PARAM_ANY_VALUE)
#define TSD_PAR_FKEY(n)                                                                       \
  {PAR_FKEY_##n, "PAR_FKEY_" #n, "fkey_" #n, TSD_PARAM_CHOICE, 0x20, 0x800000,                \
   tsdParFunctionCodes, "", "Function of the scanner's function key " #n,                     \
   TSD_PAR_SG | TSD_PARAM_GET_ASKS_SCANNER, TSD_PUSH_FUNCTION_KEY}

/* clang-format off */
static const struct TsdParamDesc tsdParamTable[] TSD_PARAMS_MAYBE_UNUSED = {
  {PAR_SCAN_LENGTH, "PAR_SCAN_LENGTH", "scan_length", TSD_PARAM_RANGE, 0, 10272, NULL, "pixels",
   "Window extent along the feed at the resolution, stored as a multiple of 32", TSD_PAR_ANY, TSD_PUSH_WINDOW},
  {PAR_SCAN_WIDTH, "PAR_SCAN_WIDTH", "scan_width", TSD_PARAM_RANGE, 0, 6976, NULL, "pixels",
   "Window extent across the feed at the resolution", TSD_PAR_ANY, TSD_PUSH_WINDOW},
  {PAR_SEPARATOR_LATCH, "PAR_SEPARATOR_LATCH", "separator_latch", TSD_PARAM_CHOICE, 0, 0, tsdParSeparatorLatch, "",
   "End-of-page separator latch; always 0", TSD_PAR_SG, TSD_PUSH_NONE},
  {PAR_BRIGHTNESS, "PAR_BRIGHTNESS", "brightness", TSD_PARAM_RANGE, 0, 255, NULL, "",
   "Brightness, also the line-art threshold", TSD_PAR_SG, TSD_PUSH_WINDOW},
  {PAR_RESOLUTION, "PAR_RESOLUTION", "resolution", TSD_PARAM_CHOICE, 200, 600, tsdParResolutions, "dpi",
   "Resolution across and along the feed", TSD_PAR_SG, TSD_PUSH_WINDOW},
  {PAR_Y_RESOLUTION, "PAR_Y_RESOLUTION", "y_resolution", TSD_PARAM_CHOICE, 200, 600, tsdParResolutions, "dpi",
   "Resolution along the feed; sets the one across as well", TSD_PAR_SG, TSD_PUSH_WINDOW},
  {PAR_COMPRESSION, "PAR_COMPRESSION", "compression", TSD_PARAM_CHOICE, 0, 5, tsdParCompressions, "",
   "Coding of the stored pages: 0 none, 3 Group 4, 4 JPEG, 5 external coder", TSD_PAR_SG, TSD_PUSH_WINDOW},
  {PAR_SEPARATOR_B, "PAR_SEPARATOR_B", "separator_b", TSD_PARAM_READ_ONLY, 0, 7, NULL, "",
   "Second set of job separator bits; always 0", TSD_PARAM_GETTABLE, TSD_PUSH_NONE},
  {PAR_JOB_SEPARATOR, "PAR_JOB_SEPARATOR", "job_separator", TSD_PARAM_CHOICE, 0, 5, tsdParJobSeparator, "",
   "Job separator sheets: 0 not detected, 5 detected and the batch goes on after them", TSD_PAR_SG, TSD_PUSH_NONE},
  {PAR_AUTO_SIZE, "PAR_AUTO_SIZE", "auto_size", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "The scanner detects each page's size", TSD_PAR_ANY, TSD_PUSH_PAGE_32},
  {PAR_SEPARATOR_DETECTED, "PAR_SEPARATOR_DETECTED", "separator_detected", TSD_PARAM_READ_ONLY, 0, 1, NULL, "",
   "The last page read was a job separator sheet", TSD_PARAM_GETTABLE, TSD_PUSH_NONE},
  {PAR_KEY_START, "PAR_KEY_START", "key_start", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "Scanning starts from the scanner's key", TSD_PAR_SG, TSD_PUSH_PAGE_32},
  {PAR_DOC_NAME, "PAR_DOC_NAME", "doc_name", TSD_PARAM_TEXT, 0, 0, NULL, "",
   "Document name recorded in TIFF documents; the host's text is kept, not copied",
   TSD_PAR_ANY, TSD_PUSH_NONE},
  {PAR_USER_16, "PAR_USER_16", "user_16", TSD_PARAM_RANGE, INT32_MIN, INT32_MAX, NULL, "",
   "A value kept for the host", TSD_PAR_ANY, TSD_PUSH_NONE},
  {PAR_CONTINUOUS, "PAR_CONTINUOUS", "continuous", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "The feeder takes the pages one after the other without stopping", TSD_PAR_ANY, TSD_PUSH_PAGE_32},
  {PAR_USER_18, "PAR_USER_18", "user_18", TSD_PARAM_RANGE, INT32_MIN, INT32_MAX, NULL, "",
   "A value kept for the host", TSD_PAR_ANY, TSD_PUSH_NONE},
  {PAR_FILE_TYPE, "PAR_FILE_TYPE", "file_type", TSD_PARAM_CHOICE, 1, 8, tsdParFileTypes, "",
   "Stored file: 1 multi-page TIFF, 2 JPEG, 4 external coder, 8 BMP", TSD_PAR_SG, TSD_PUSH_NONE},
  {PAR_BITS_PER_PIXEL, "PAR_BITS_PER_PIXEL", "bits_per_pixel", TSD_PARAM_CHOICE, 1, 8, tsdParBitsPerPixel, "bits",
   "Bits per pixel: 1 for line art and halftone, 2, 4 or 8 for gray",
   TSD_PAR_SG | TSD_PARAM_DEPENDS, TSD_PUSH_WINDOW},
  {PAR_CONTRAST, "PAR_CONTRAST", "contrast", TSD_PARAM_RANGE, 0, 255, NULL, "",
   "Contrast", TSD_PAR_SG, TSD_PUSH_WINDOW},
  {PAR_IMAGE_TYPE, "PAR_IMAGE_TYPE", "image_type", TSD_PARAM_CHOICE, 1, 10, tsdParImageTypes, "",
   "Image type: 1 line art, 9 line art in text mode, 10 halftone, 4 gray", TSD_PAR_SG, TSD_PUSH_WINDOW},
  {PAR_MARGIN_SCAN, "PAR_MARGIN_SCAN", "margin_scan", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "Margin scanning", TSD_PAR_ANY, TSD_PUSH_PAGE_32},
  {PAR_MARGIN_AMOUNT, "PAR_MARGIN_AMOUNT", "margin_amount", TSD_PARAM_RANGE, -10, 10, NULL, "",
   "Margin amount", TSD_PAR_SG, TSD_PUSH_PAGE_32},
  {PAR_FRAME_AREA, "PAR_FRAME_AREA", "frame_area", TSD_PARAM_RANGE, 0, 3, NULL, "",
   "Frame area placing the window on the page", TSD_PAR_SG, TSD_PUSH_WINDOW},
  {PAR_TOP_OFFSET, "PAR_TOP_OFFSET", "top_offset", TSD_PARAM_RANGE, 0, 10272, NULL, "pixels",
   "Distance of the window from the leading edge", TSD_PAR_ANY, TSD_PUSH_WINDOW},
  {PAR_SIDE_OFFSET, "PAR_SIDE_OFFSET", "side_offset", TSD_PARAM_RANGE, 0, 6976, NULL, "pixels",
   "Distance of the window from the side of the feed", TSD_PAR_ANY, TSD_PUSH_WINDOW},
  {PAR_TEXT_MODE, "PAR_TEXT_MODE", "text_mode", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "Text mode of line art, kept until the image page is next sent", TSD_PAR_ANY, TSD_PUSH_NONE},
  {PAR_EDGE_EMPHASIS, "PAR_EDGE_EMPHASIS", "edge_emphasis", TSD_PARAM_RANGE, 1, 5, NULL, "",
   "Edge emphasis level", TSD_PAR_SG, TSD_PUSH_PAGE_36},
  {PAR_NOTCH_ERASE, "PAR_NOTCH_ERASE", "notch_erase", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "Notch erase", TSD_PAR_ANY, TSD_PUSH_PAGE_36},
  {PAR_THIN_LINE, "PAR_THIN_LINE", "thin_line", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "Complement thin lines", TSD_PAR_ANY, TSD_PUSH_PAGE_36},
  {PAR_AE, "PAR_AE", "ae", TSD_PARAM_RANGE, 1, 17, NULL, "",
   "Automatic exposure level", TSD_PAR_SG, TSD_PUSH_PAGE_36},
  {PAR_USER_GRC, "PAR_USER_GRC", "user_grc", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "User GRC", TSD_PAR_ANY, TSD_PUSH_WINDOW},
  {PAR_ADDON, "PAR_ADDON", "addon", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "The imprinter prints on every sheet", TSD_PAR_ANY, TSD_PUSH_ADDON_PAGE_34},
  {PAR_ADDON_TEXT, "PAR_ADDON_TEXT", "addon_text", TSD_PARAM_TEXT, 0, 63, NULL, "characters",
   "Text the imprinter prints", TSD_PAR_SG, TSD_PUSH_ADDON_PAGE_34},
  {PAR_ADDON_TIMING, "PAR_ADDON_TIMING", "addon_timing", TSD_PARAM_RANGE, 0, 1, NULL, "",
   "When the imprinter prints", TSD_PAR_SG, TSD_PUSH_ADDON_PAGE_34},
  {PAR_ADDON_X, "PAR_ADDON_X", "addon_x", TSD_PARAM_RANGE, 0, 500, NULL, "mm",
   "Imprint position along the sheet", TSD_PAR_SG, TSD_PUSH_ADDON_PAGE_34},
  {PAR_ADDON_Y, "PAR_ADDON_Y", "addon_y", TSD_PARAM_RANGE, 0, 300, NULL, "mm",
   "Imprint position across the sheet", TSD_PAR_SG, TSD_PUSH_ADDON_PAGE_34},
  {PAR_ADDON_COUNTER_ON, "PAR_ADDON_COUNTER_ON", "addon_counter_on", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "The imprinter prints the counter", TSD_PAR_ANY, TSD_PUSH_ADDON_PAGE_34},
  {PAR_ADDON_COLOR, "PAR_ADDON_COLOR", "addon_color", TSD_PARAM_RANGE, 0, 2, NULL, "",
   "Imprint colour", TSD_PAR_SG, TSD_PUSH_ADDON_PAGE_34},
  {PAR_ADDON_STYLE, "PAR_ADDON_STYLE", "addon_style", TSD_PARAM_RANGE, 0, 3, NULL, "",
   "Imprint style", TSD_PAR_SG, TSD_PUSH_ADDON_PAGE_34},
  {PAR_ADDON_FLAG, "PAR_ADDON_FLAG", "addon_flag", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "Imprinter flag", TSD_PAR_ANY, TSD_PUSH_ADDON_PAGE_34},
  {PAR_COUNTUP_TIMING, "PAR_COUNTUP_TIMING", "countup_timing", TSD_PARAM_CHOICE, 0, 7, tsdParTimings, "",
   "When the imprinter's counter counts up", TSD_PAR_SG, TSD_PUSH_ADDON_PAGE_34},
  {PAR_COUNTUP_AMOUNT, "PAR_COUNTUP_AMOUNT", "countup_amount", TSD_PARAM_RANGE, 0, 255, NULL, "",
   "Step of the imprinter's counter", TSD_PAR_SG, TSD_PUSH_ADDON_PAGE_34},
  {PAR_RESET_TIMING, "PAR_RESET_TIMING", "reset_timing", TSD_PARAM_CHOICE, 0, 7, tsdParTimings, "",
   "When the imprinter's counter is reset", TSD_PAR_SG, TSD_PUSH_ADDON_PAGE_34},
  {PAR_RESET_VALUE, "PAR_RESET_VALUE", "reset_value", TSD_PARAM_RANGE, 0, 255, NULL, "",
   "Value the imprinter's counter is reset to", TSD_PAR_SG, TSD_PUSH_ADDON_PAGE_34},
  {PAR_POLARITY, "PAR_POLARITY", "polarity", TSD_PARAM_RANGE, 0, 2, NULL, "",
   "Image polarity, kept until the image page is next sent", TSD_PAR_SG, TSD_PUSH_NONE},
  {PAR_GAMMA, "PAR_GAMMA", "gamma", TSD_PARAM_BLOCK, 256, 256, NULL, "bytes",
   "Gamma table of 256 bytes", TSD_PAR_SG | TSD_PARAM_GET_ASKS_SCANNER, TSD_PUSH_GAMMA},
  {PAR_DEVICE_PAGE_37, "PAR_DEVICE_PAGE_37", "device_page_37", TSD_PARAM_BLOCK, 8, 8, NULL, "bytes",
   "Two 32-bit values whose low bytes go to the scanner's page 0x37", TSD_PARAM_SETTABLE, TSD_PUSH_PAGE_37},
  {PAR_MAX_WIDTH, "PAR_MAX_WIDTH", "max_width", TSD_PARAM_READ_ONLY, 3488, 3488, NULL, "pixels",
   "Widest window at the base resolution", TSD_PARAM_GETTABLE, TSD_PUSH_NONE},
  {PAR_MAX_LENGTH, "PAR_MAX_LENGTH", "max_length", TSD_PARAM_READ_ONLY, 5136, 5136, NULL, "pixels",
   "Longest window at the base resolution", TSD_PARAM_GETTABLE, TSD_PUSH_NONE},
  {PAR_BASE_RESOLUTION, "PAR_BASE_RESOLUTION", "base_resolution", TSD_PARAM_READ_ONLY, 300, 300, NULL, "dpi",
   "Resolution of the maximum width and length", TSD_PARAM_GETTABLE, TSD_PUSH_NONE},
  {PAR_INVERT, "PAR_INVERT", "invert", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "Invert the image data read from the scanner", TSD_PAR_ANY, TSD_PUSH_NONE},
  {PAR_JPEG_QUALITY, "PAR_JPEG_QUALITY", "jpeg_quality", TSD_PARAM_RANGE, 1, 100, NULL, "",
   "Quality of JPEG files", TSD_PAR_SG, TSD_PUSH_NONE},
  TSD_PAR_FKEY(1), TSD_PAR_FKEY(2), TSD_PAR_FKEY(3), TSD_PAR_FKEY(4), TSD_PAR_FKEY(5),
  TSD_PAR_FKEY(6), TSD_PAR_FKEY(7), TSD_PAR_FKEY(8), TSD_PAR_FKEY(9), TSD_PAR_FKEY(10),
  {PAR_GRC_MODE, "PAR_GRC_MODE", "grc_mode", TSD_PARAM_RANGE, 0, 2, NULL, "",
   "GRC mode", TSD_PAR_SG, TSD_PUSH_PAGE_36},
  {PAR_BATCH_MODE, "PAR_BATCH_MODE", "batch_mode", TSD_PARAM_RANGE, 1, 3, NULL, "",
   "Batch scan mode", TSD_PAR_SG, TSD_PUSH_PAGE_32},
  {PAR_COUNTER_1, "PAR_COUNTER_1", "counter_1", TSD_PARAM_READ_ONLY, 0, INT32_MAX, NULL, "",
   "First page counter, read after the last page", TSD_PARAM_GETTABLE, TSD_PUSH_NONE},
  {PAR_COUNTER_2, "PAR_COUNTER_2", "counter_2", TSD_PARAM_READ_ONLY, 0, INT32_MAX, NULL, "",
   "Second page counter, read after the last page", TSD_PARAM_GETTABLE, TSD_PUSH_NONE},
  {PAR_COUNTER_3, "PAR_COUNTER_3", "counter_3", TSD_PARAM_READ_ONLY, 0, INT32_MAX, NULL, "",
   "Third page counter, read after the last page", TSD_PARAM_GETTABLE, TSD_PUSH_NONE},
  {PAR_ROTATE, "PAR_ROTATE", "rotate", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "Keep the scanner's orientation (0: turn each page a quarter turn counterclockwise)",
   TSD_PAR_ANY, TSD_PUSH_NONE},
  {PAR_PAGE_LENGTH, "PAR_PAGE_LENGTH", "page_length", TSD_PARAM_READ_ONLY, 0, INT32_MAX, NULL, "pixels",
   "Length of the last page read", TSD_PARAM_GETTABLE, TSD_PUSH_NONE},
  {PAR_PAGE_WIDTH, "PAR_PAGE_WIDTH", "page_width", TSD_PARAM_READ_ONLY, 0, INT32_MAX, NULL, "pixels",
   "Width of the last page read", TSD_PARAM_GETTABLE, TSD_PUSH_NONE},
  {PAR_SEPARATOR_SENSE, "PAR_SEPARATOR_SENSE", "separator_sense", TSD_PARAM_RANGE, 0, 2, NULL, "",
   "Which separator status bits mark a job separator sheet", TSD_PAR_SG, TSD_PUSH_NONE},
  {PAR_BATCH_CAPABLE, "PAR_BATCH_CAPABLE", "batch_capable", TSD_PARAM_READ_ONLY, 0, 1, NULL, "",
   "The scanner found by the probe can scan in batch mode", TSD_PARAM_GETTABLE, TSD_PUSH_NONE},
  {PAR_BACKGROUND_ERASE, "PAR_BACKGROUND_ERASE", "background_erase", TSD_PARAM_FLAG, 0, 1, NULL, "",
   "Background erase", TSD_PAR_ANY, TSD_PUSH_PAGE_36},
};
/* clang-format on */

#undef TSD_PAR_SG
#undef TSD_PAR_ANY
#undef TSD_PAR_FKEY

/* The number of rows of tsdParamTable. */
#define TSD_PARAM_COUNT (sizeof tsdParamTable / sizeof tsdParamTable[0])

#ifdef __cplusplus
}
#endif

#endif /* TARVOSCN_PARAMS_H */
