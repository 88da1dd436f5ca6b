#include "scan/Documents.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/Diagnostics.h"
#include "core/Ground.h"
#include "core/GuardedFile.h"
#include "scan/DriverContext.h"
#include "tiff/TiffFormat.h"
#include "tiff/TiffIo.h"

namespace tarvo {
namespace {

// Call-site numbers (module "Scan").
constexpr int kSiteMakeCreate = 2341;
constexpr int kSiteMakeHeader = 2344;
constexpr int kSiteMakeImage = 2353;
constexpr int kSiteMakeSeekHeaderLink = 2365;
constexpr int kSiteMakeWriteHeaderLink = 2368;
constexpr int kSiteMakeSeekData = 2374;
constexpr int kSiteMakeSeekLink = 2377;
constexpr int kSiteMakeWriteLink = 2381;
constexpr int kSiteMakeClose = 2385;
constexpr int kSiteCloseFile = 2401;
constexpr int kSiteFinishSeek = 2655;
constexpr int kSiteFinishWrite = 2658;
constexpr int kSiteFileSizeBox = 3640;
constexpr int kSitePageSeekLink = 3570;
constexpr int kSitePageWriteLink = 3573;
constexpr int kSitePageSeekData = 3579;

bool Seek(GroundContext& context, FileHandle file, std::uint32_t offset, int site) {
  return GuardedSetFilePointer(context, file, static_cast<std::int32_t>(offset), kFileBegin, site,
                               kModuleScan) != kInvalidFilePosition;
}

bool Write(GroundContext& context, FileHandle file, const void* data, std::uint32_t count,
           int site) {
  std::uint32_t written = 0;
  return GuardedWriteFile(context, file, data, count, &written, nullptr, site, kModuleScan) != 0;
}

bool WriteLe32(GroundContext& context, FileHandle file, std::uint32_t value, int site) {
  std::array<std::uint8_t, 4> bytes{};
  PutLe32(bytes, 0, value);
  return Write(context, file, bytes.data(), bytes.size(), site);
}

// Forgets the open document after closing it without the guarded wrapper.
void DropDocument(GroundContext& context, OpenDocument& doc) {
  if (doc.docFile != kInvalidFile) context.platform.FileClose(doc.docFile);
  doc.docFile = kInvalidFile;
}

// Creates a TIFF file and writes its header; the handle is owned by `file`.
Result CreateTiffFile(GroundContext& context, const char* name, int createSite, int headerSite,
                      UniqueFile& file) {
  file = UniqueFile(context.platform,
                    GuardedCreateFile(context, name, kGenericRead | kGenericWrite, kShareNone,
                                      nullptr, kCreateAlways,
                                      kAttributeNormal | kFlagRandomAccess, kInvalidFile,
                                      createSite, kModuleScan));
  if (!file) return Result::FileError;
  std::array<std::uint8_t, tiff::kHeaderSize> header{};
  std::copy(tiff::kSignature.begin(), tiff::kSignature.end(), header.begin());
  PutLe32(header, tiff::kHeaderLinkPos, 0);  // filled when the first page is linked
  if (!Write(context, file.get(), header.data(), header.size(), headerSite)) {
    file.Reset();
    return Result::FileError;
  }
  return Result::Ok;
}

void StartPositions(OpenDocument& doc) {
  doc.docLinkValue = 0;
  doc.docLinkPos = tiff::kHeaderLinkPos;
  doc.docIfdPos = tiff::kHeaderSize;
  doc.docDataPos = tiff::kHeaderSize;
}

void CopyName(std::array<char, kNameBufferSize>& buffer, const char*& field, const char* name) {
  if (name == nullptr) {
    field = nullptr;
    return;
  }
  std::size_t length = 0;
  while (length < kNameBufferSize - 1 && name[length] != '\0') ++length;
  std::memcpy(buffer.data(), name, length);
  buffer[length] = '\0';
  field = buffer.data();
}

}  // namespace

Result CreateDocument(GroundContext& context, OpenDocument& doc, const char* name, int createSite,
                      int headerSite) {
  UniqueFile file;
  if (const Result r = CreateTiffFile(context, name, createSite, headerSite, file); r != Result::Ok) {
    return r;
  }
  doc.docFile = file.Release();
  StartPositions(doc);
  return Result::Ok;
}

PageDescription DescribeDocumentPage(const ScanSettings& settings, const OpenDocument& doc,
                                     std::uint32_t pageImageBytes) {
  PageDescription page;
  page.width = static_cast<std::uint32_t>(settings.pageLength);
  page.length = static_cast<std::uint32_t>(settings.pageWidth);
  page.stripBytes = pageImageBytes;
  page.compression = static_cast<Compression>(settings.compression);
  page.xResolution = static_cast<std::uint32_t>(settings.xResolution);
  page.yResolution = static_cast<std::uint32_t>(settings.xResolution);
  page.stripOffset = doc.docDataPos;
  page.ifdOffset = doc.docIfdPos;
  page.linkValue = doc.docLinkValue;
  page.pageName = settings.pageName;
  page.software = kSoftwareName;
  page.documentName = settings.docName;
  return page;
}

Result AddPageToDocument(GroundContext& context, OpenDocument& doc, const PageDescription& page) {
  doc.docIfdPos = page.stripOffset + page.stripBytes;
  std::uint32_t linkOffset = 0;
  std::uint32_t blockLength = 0;
  if (WriteTiffIfd(context, doc.docFile, page, linkOffset, blockLength) != Result::Ok) {
    return Result::FileError;
  }
  if (!Seek(context, doc.docFile, doc.docLinkPos, kSitePageSeekLink)) return Result::FileError;
  if (!WriteLe32(context, doc.docFile, doc.docIfdPos, kSitePageWriteLink)) {
    DropDocument(context, doc);
    return Result::FileError;
  }
  doc.docDataPos = doc.docIfdPos + blockLength;
  doc.docLinkPos = doc.docIfdPos + linkOffset;
  if (!Seek(context, doc.docFile, doc.docDataPos, kSitePageSeekData)) return Result::FileError;
  return Result::Ok;
}

Result FinishDocument(GroundContext& context, OpenDocument& doc) {
  if (!Seek(context, doc.docFile, doc.docLinkPos, kSiteFinishSeek)) return Result::FileError;
  if (!WriteLe32(context, doc.docFile, doc.docLinkValue, kSiteFinishWrite)) {
    DropDocument(context, doc);
    return Result::FileError;
  }
  return Result::Ok;
}

Result CloseDocument(GroundContext& context, OpenDocument& doc) {
  if (const Result r = FinishDocument(context, doc); r != Result::Ok) {
    DropDocument(context, doc);
    return r;
  }
  const int closed = GuardedCloseHandle(context, doc.docFile, kSiteCloseFile, kModuleScan);
  doc.docFile = kInvalidFile;
  return closed != 0 ? Result::Ok : Result::FileError;
}

Result GetDocumentFileSize(GroundContext& context, const OpenDocument& doc, std::uint32_t* size) {
  const std::uint32_t bytes = context.platform.FileSize(doc.docFile);
  if (size != nullptr) *size = bytes;
  if (bytes != kInvalidFileSize) return Result::Ok;
  ReportFileSizeError(context, "GetFileSize", context.platform.LastError(), kSiteFileSizeBox);
  return Result::FileError;
}

Result MakeTiff(GroundContext& context, const char* name, const void* image, std::int32_t width,
                std::int32_t length, std::int32_t xResolution, std::int32_t yResolution) {
  // Answers are 0 or 4 only: a page that cannot be written is a file error.
  if (width < 1 || length < 1 || image == nullptr) return Result::FileError;
  const std::uint64_t imageBytes =
      (static_cast<std::uint64_t>(width) + 7) / 8 * static_cast<std::uint64_t>(length);
  if (imageBytes + tiff::kHeaderSize + tiff::kMaxFixedBlock > tiff::kMaxFilePosition) {
    return Result::FileError;
  }

  UniqueFile file;
  if (const Result r = CreateTiffFile(context, name, kSiteMakeCreate, kSiteMakeHeader, file);
      r != Result::Ok) {
    return r;
  }
  // The file's own positions: a batch's open document is not touched.
  OpenDocument doc;
  StartPositions(doc);
  const auto pageImageBytes = static_cast<std::uint32_t>(imageBytes);
  if (!Write(context, file.get(), image, pageImageBytes, kSiteMakeImage)) {
    return Result::FileError;
  }

  doc.docIfdPos = tiff::kHeaderSize + pageImageBytes;
  PageDescription page;
  page.width = static_cast<std::uint32_t>(width);
  page.length = static_cast<std::uint32_t>(length);
  page.stripBytes = pageImageBytes;
  page.compression = kCompressionNone;
  page.xResolution = static_cast<std::uint32_t>(xResolution);
  page.yResolution = static_cast<std::uint32_t>(yResolution);
  page.stripOffset = tiff::kHeaderSize;
  page.ifdOffset = doc.docIfdPos;
  std::uint32_t linkOffset = 0;
  std::uint32_t blockLength = 0;
  if (WriteTiffIfd(context, file.get(), page, linkOffset, blockLength) != Result::Ok) {
    return Result::FileError;
  }
  if (!Seek(context, file.get(), tiff::kHeaderLinkPos, kSiteMakeSeekHeaderLink) ||
      !WriteLe32(context, file.get(), doc.docIfdPos, kSiteMakeWriteHeaderLink)) {
    return Result::FileError;
  }
  doc.docLinkPos = doc.docIfdPos + linkOffset;
  doc.docDataPos = doc.docIfdPos + blockLength;
  if (!Seek(context, file.get(), doc.docDataPos, kSiteMakeSeekData) ||
      !Seek(context, file.get(), doc.docLinkPos, kSiteMakeSeekLink) ||
      !WriteLe32(context, file.get(), 0, kSiteMakeWriteLink)) {
    return Result::FileError;
  }
  return GuardedCloseHandle(context, file.Release(), kSiteMakeClose, kModuleScan) != 0
             ? Result::Ok
             : Result::FileError;
}

void SetDocumentName(DriverContext& context, const char* name) {
  CopyName(context.docNameBuffer, context.settings.docName, name);
}

void SetPageName(DriverContext& context, const char* name) {
  CopyName(context.pageNameBuffer, context.settings.pageName, name);
}

}  // namespace tarvo
