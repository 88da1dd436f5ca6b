// The open multi-page document and the names carried in its pages.
//
// A document (OpenDocument) grows page by page at its end: the page pipeline
// writes the image data at docDataPos, AddPageToDocument writes the page's
// IFD right after it and links it in at docLinkPos. The chain ends at the
// newest page (next link 0) until FinishDocument writes docLinkValue into the
// last link. Each operation is handed the one document it works on.
#pragma once

#include <cstdint>

#include "core/Result.h"
#include "platform/Platform.h"
#include "scan/DriverState.h"
#include "scan/ScanSettings.h"
#include "tiff/TiffWriter.h"

namespace tarvo {

struct DriverContext;
struct GroundContext;

// Size of the driver's own document-name and page-name buffers, NUL included.
inline constexpr std::size_t kNameBufferSize = 256;

// Creates `name` (read and write, no sharing, create always, random access)
// and writes the 8-byte header: signature and a first-IFD offset of 0. On
// success `doc` is open: docFile, docLinkValue 0, docLinkPos 4, docIfdPos and
// docDataPos 8. The caller has finished any document that was open before.
// Failures: 4, the file closed after a failed header write.
Result CreateDocument(GroundContext& context, OpenDocument& doc, const char* name, int createSite,
                      int headerSite);

// The page the batch stores next, as the settings and the document describe
// it: width pageLength, length pageWidth (after the exchange for `rotate`),
// pageImageBytes at docDataPos, both resolutions xResolution, the names and
// the software text.
PageDescription DescribeDocumentPage(const ScanSettings& settings, const OpenDocument& doc,
                                     std::uint32_t pageImageBytes);

// Adds the page whose image data the pipeline has just written at
// page.stripOffset (docDataPos) to the open document: writes its IFD at
// docIfdPos = stripOffset + stripBytes, links it in at docLinkPos, then
// docDataPos = docIfdPos + block length, docLinkPos = docIfdPos + link
// offset, and moves to docDataPos. Result 4 on failure: a failed IFD write
// leaves the document open; a failed link write closes it.
Result AddPageToDocument(GroundContext& context, OpenDocument& doc, const PageDescription& page);

// Writes docLinkValue into the link at docLinkPos. With no document open it
// does nothing. Result 0, or 4 (a failed write closes the document).
Result FinishDocument(GroundContext& context, OpenDocument& doc);

// TsdCloseFile: finishes and closes the open document; 0 or 4. With no
// document open, 0.
Result CloseDocument(GroundContext& context, OpenDocument& doc);

// TsdGetFileSize: the size of the open document (low 32 bits) into `size`;
// 4 (after a message box) when the size cannot be read.
Result GetDocumentFileSize(GroundContext& context, const OpenDocument& doc, std::uint32_t* size);

// TsdMakeTiff: a complete single-page uncoded 1-bit TIFF file of `length`
// rows of (width + 7) / 8 bytes from `image`. 0, or 4 on a file failure, a
// width or length below 1, no image, or a size beyond 32-bit offsets. It
// keeps its own positions: an open batch document is left as it is.
Result MakeTiff(GroundContext& context, const char* name, const void* image, std::int32_t width,
                std::int32_t length, std::int32_t xResolution, std::int32_t yResolution);

// TsdDocnameSet / TsdPagenameSet: the first 255 bytes of `name` into the
// driver's buffer, which docName / pageName then points to; none clears it.
void SetDocumentName(DriverContext& context, const char* name);
void SetPageName(DriverContext& context, const char* name);

}  // namespace tarvo
