#include "scan/PagePipeline.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/Diagnostics.h"
#include "core/GuardedFile.h"
#include "image/BmpWriter.h"
#include "image/ExternalCodecs.h"
#include "image/G4Coder.h"
#include "image/Rotate.h"
#include "scan/DriverState.h"
#include "scan/ScanSettings.h"
#include "scsi/CheckCondition.h"
#include "scsi/Commands.h"
#include "scsi/Srb.h"

namespace tarvo {
namespace {

// Call-site numbers of the pipeline's log entries and guarded writes.
constexpr int kSiteFirstTransfer = 1764;
constexpr int kSiteFirstTransferFailed = 1766;
constexpr int kSiteLaterTransfer = 1791;
constexpr int kSiteWriteCoded = 1812;
constexpr int kSiteCloseAfterWrite = 1815;
constexpr int kSiteWriteUncoded = 1830;

using Sense = SenseBuffer;

// One page's reads: the transfer buffer and the status of the last READ.
class ChunkReader {
 public:
  ChunkReader(const PageJob& job, std::uint32_t chunkBytes)
      : job_(job), chunk_(chunkBytes), buffer_(kTransferBufferBytes, 0) {}

  std::uint16_t Read(bool clearFirst) {
    if (clearFirst) std::memset(buffer_.data(), 0, chunk_);
    const ScsiOutcome outcome = Execute(job_.scsi, job_.scanner.scannerTarget,
                                        CmdReadImage(ByteSpan(buffer_.data(), chunk_), chunk_));
    sense_ = outcome.sense;
    if (job_.settings.invertData != 0) InvertBytes(buffer_.data(), chunk_);
    return outcome.result;
  }
  const Sense& sense() const { return sense_; }
  const std::uint8_t* Row(std::uint32_t offset) const { return buffer_.data() + offset; }

 private:
  const PageJob& job_;
  std::uint32_t chunk_;
  std::vector<std::uint8_t> buffer_;
  Sense sense_;
};

// Writes coded data into the open document through the guarded writes.
struct DocumentSink {
  GroundContext* context;
  FileHandle file;
  bool failed = false;

  static bool Write(void* self, const std::uint8_t* data, std::uint32_t count) {
    auto& sink = *static_cast<DocumentSink*>(self);
    std::uint32_t written = 0;
    if (GuardedWriteFile(*sink.context, sink.file, data, count, &written, nullptr,
                         kSiteWriteCoded, kModuleScan) == 0) {
      sink.failed = true;
      return false;
    }
    return true;
  }
  ByteSink AsSink() { return ByteSink{this, &DocumentSink::Write}; }
};

// Writes a BMP file through the platform's files.
struct FileSink {
  Platform* platform;
  FileHandle file;

  static bool Write(void* self, const std::uint8_t* data, std::uint32_t count) {
    auto& sink = *static_cast<FileSink*>(self);
    std::uint32_t written = 0;
    return sink.platform->FileWrite(sink.file, data, count, &written) && written == count;
  }
};

Result CloseAfterFailedWrite(const PageJob& job, FileHandle file) {
  (void)GuardedCloseHandle(job.scsi, file, kSiteCloseAfterWrite, kModuleScan);
  if (job.document.docFile == file) job.document.docFile = kInvalidFile;
  return Result::FileError;
}

Result CoderResult(const PageJob& job, G4PageCoder::Status status, FileHandle file) {
  switch (status) {
    case G4PageCoder::Status::kOk: return Result::Ok;
    case G4PageCoder::Status::kSinkFailed:
      return CloseAfterFailedWrite(job, file);
    case G4PageCoder::Status::kBadWidth:
    case G4PageCoder::Status::kRowTooLong: return Result::InvalidValue;
  }
  return Result::InvalidValue;
}

// The quarter turn counterclockwise in place, through one work buffer.
bool TurnPage(std::uint8_t* page, std::int32_t width, std::int32_t rows, bool gray) {
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t r = static_cast<std::size_t>(rows);
  const std::size_t workBytes = gray ? (w + 31) * (r + 31) : (r + 31) * ((w + 31) / 32) * 4;
  std::unique_ptr<std::uint8_t[]> work(new (std::nothrow) std::uint8_t[workBytes]());
  if (!work) return false;
  RotateLeft90(gray ? 8 : 1, work.get(), page, width, rows);
  const std::size_t turnedBytes = (gray ? GrayStride(rows) : BilevelStride(rows)) * w;
  std::memcpy(page, work.get(), turnedBytes);
  return true;
}

Result WriteBmpFile(Platform& platform, const char* name, const std::uint8_t* pixels,
                    std::int32_t width, std::int32_t rows, std::int32_t resolution,
                    std::int32_t imageType) {
  UniqueFile file(platform, platform.FileOpen(name, kGenericWrite, kShareNone, kCreateAlways,
                                              kAttributeNormal));
  if (!file) return Result::FileError;
  FileSink sink{&platform, file.get()};
  const int written = WriteBmpImage(ByteSink{&sink, &FileSink::Write}, pixels, width, rows,
                                    resolution, imageType);
  const bool closed = platform.FileClose(file.Release());
  return written == 0 && closed ? Result::Ok : Result::FileError;
}

Result StoreExternalFile(const PageJob& job, const char* name, const std::uint8_t* page,
                         std::int32_t width, std::int32_t rows, bool gray) {
  const ScanSettings& s = job.settings;
  Platform& platform = job.scsi.platform;
  const std::int32_t codedWidth = width / 8 * 8;
  switch (s.fileType) {
    case kFileCoder:
      return WriteCodedFile(
          platform, name, page, codedWidth, rows, s.xResolution, gray ? s.bitsPerPixel : 1,
          static_cast<std::int32_t>(gray ? GrayStride(width) : BilevelStride(width)));
    case kFileJpeg:
      return SaveJpeg(platform, name, page, codedWidth, rows, s.xResolution,
                      static_cast<std::int32_t>(GrayStride(width)), s.jpegQuality);
    case kFileBmp:
      return WriteBmpFile(platform, name, page, width, rows, s.xResolution, s.imageType);
    default: return Result::Ok;
  }
}

}  // namespace

void ExpandGrayRow(std::uint8_t* destination, const std::uint8_t* source, std::int32_t width,
                   std::int32_t bitsPerPixel) {
  switch (bitsPerPixel) {
    case 8:
      std::memcpy(destination, source, static_cast<std::size_t>(std::max(width, 0)));
      break;
    case 4:
      for (std::int32_t i = 0; i < width; ++i) {
        const std::uint8_t b = source[i / 2];
        destination[i] = static_cast<std::uint8_t>(((i & 1) == 0 ? b >> 4 : b & 0x0F) * 17);
      }
      break;
    case 2:
      for (std::int32_t i = 0; i < width; ++i) {
        const unsigned shift = 6 - 2 * static_cast<unsigned>(i & 3);
        destination[i] = static_cast<std::uint8_t>(((source[i / 4] >> shift) & 3) * 85);
      }
      break;
    default: break;
  }
}

void InvertBytes(std::uint8_t* buffer, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) buffer[i] = static_cast<std::uint8_t>(255 - buffer[i]);
}

Result ProcessPageImage(const PageJob& job, std::uint8_t* page, std::int32_t width,
                        std::int32_t rows, const char* fileName) {
  const ScanSettings& s = job.settings;
  const FileHandle docFile = job.document.docFile;
  if (page == nullptr || width < 0 || rows < 0) return Result::InvalidValue;
  const bool gray = s.imageType == kImageGray;
  const std::int32_t bits = gray ? s.bitsPerPixel : 1;

  const std::uint32_t limit =
      job.scanner.maxTransferSize == 0 ? kTransferBufferBytes : job.scanner.maxTransferSize;
  const std::uint32_t transfer = std::min(limit, kTransferBufferBytes);
  const std::uint32_t rowBytes = ScannerRowBytes(width, bits);
  const std::uint32_t rowsPerChunk = rowBytes == 0 ? 1 : transfer / rowBytes;
  if (rowsPerChunk == 0) return Result::InvalidValue;  // a row longer than one transfer
  const std::uint32_t chunk = rowsPerChunk * rowBytes;
  const std::size_t stride = gray ? GrayStride(width) : BilevelStride(width);

  const bool toDocument = s.fileType == kFileTiffDocument && !gray;
  const bool coded = toDocument && s.compression == kCompressionG4;
  const bool codeWhileReading = coded && s.rotate != 0;
  DocumentSink documentSink{&job.scsi, docFile};
  G4PageCoder coder(job.coderBuffers);
  if (codeWhileReading) {
    if (Result r = CoderResult(job, coder.Start(width, documentSink.AsSink()), docFile);
        r != Result::Ok) {
      return r;
    }
  }

  // The first transfer: its status is logged whatever it is.
  ChunkReader reader(job, chunk);
  std::uint16_t status = reader.Read(false);
  if (IsCheckCondition(status)) {
    if (!reader.sense().ShortTransfer()) return SenseToResult(reader.sense().bytes);
  } else {
    DriverLog(job.scsi, kTagCheckScsi, kSiteFirstTransfer, kModuleScan, status);
    if (status != 0) {
      DriverLog(job.scsi, kTagCheckScsi, kSiteFirstTransferFailed, kModuleScan, status);
      return Result::ScannerFailure;
    }
  }

  for (std::int32_t r = 0; r < rows; ++r) {
    const std::uint32_t index = static_cast<std::uint32_t>(r);
    if (index != 0 && index % rowsPerChunk == 0 && status == 0) {
      status = reader.Read(!gray);
      if (IsCheckCondition(status)) {
        if (!reader.sense().ShortTransfer()) return SenseToResult(reader.sense().bytes);
      } else if (status != 0) {
        DriverLog(job.scsi, kTagCheckScsi, kSiteLaterTransfer, kModuleScan, status);
        return FromCode(status);
      }
    }
    const std::uint8_t* row = reader.Row((index % rowsPerChunk) * rowBytes);
    std::uint8_t* out = page + static_cast<std::size_t>(index) * stride;
    if (gray) {
      ExpandGrayRow(out, row, width, bits);
    } else {
      std::memcpy(out, row, stride);
      if (codeWhileReading) {
        if (Result res = CoderResult(job, coder.CodeRow(out), docFile); res != Result::Ok) {
          return res;
        }
      }
    }
  }
  if (status == 0) (void)reader.Read(false);  // the scanner expects one read past the page

  std::int32_t finalWidth = width;
  std::int32_t finalRows = rows;
  if (s.rotate == 0) {
    if (!TurnPage(page, width, rows, gray)) return Result::InvalidValue;
    std::swap(finalWidth, finalRows);
  }
  const std::size_t finalStride = gray ? GrayStride(finalWidth) : BilevelStride(finalWidth);

  if (coded) {
    if (!codeWhileReading) {
      if (Result r = CoderResult(job, coder.Start(finalWidth, documentSink.AsSink()), docFile);
          r != Result::Ok) {
        return r;
      }
      for (std::int32_t r = 0; r < finalRows; ++r) {
        Result res = CoderResult(
            job, coder.CodeRow(page + static_cast<std::size_t>(r) * finalStride), docFile);
        if (res != Result::Ok) return res;
      }
    }
    if (Result r = CoderResult(job, coder.Finish(), docFile); r != Result::Ok) return r;
    job.page.pageImageBytes = coder.BytesWritten();
    return Result::Ok;
  }

  if (toDocument) {  // uncoded rows
    const std::uint64_t bytes = static_cast<std::uint64_t>(finalStride) *
                                static_cast<std::uint64_t>(finalRows);
    if (bytes > 0xFFFFFFFFu) return Result::InvalidValue;
    job.page.pageImageBytes = static_cast<std::uint32_t>(bytes);
    std::uint32_t written = 0;
    if (GuardedWriteFile(job.scsi, docFile, page, job.page.pageImageBytes, &written, nullptr,
                         kSiteWriteUncoded, kModuleScan) == 0) {
      return CloseAfterFailedWrite(job, docFile);
    }
    return Result::Ok;
  }

  if (fileName == nullptr) return Result::Ok;
  return StoreExternalFile(job, fileName, page, finalWidth, finalRows, gray);
}

}  // namespace tarvo
