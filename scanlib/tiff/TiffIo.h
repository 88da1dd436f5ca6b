// Positioned reads and writes on an open TIFF file, all through the guarded
// file operations, and the cursor that follows a file's IFD chain.
//
// Files from outside are hostile: the cursor checks every offset against the
// file's size before it reads there, stops at a chain that comes back to an
// IFD it has passed (Brent's cycle finding: one pass), and refuses chains
// longer than kMaxChainPages. It remembers the place of every IFD it has
// passed, so that a walk can refuse IFDs that overlap each other (a link
// written into one would change another). Nothing is allocated by a count
// read from the file: the list grows by IFDs found inside the file, up to
// kMaxChainPages.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Platform.h"
#include "tiff/TiffFormat.h"

namespace tarvo {
struct GroundContext;
}

namespace tarvo::tiff {

// A chain with more pages than a 16-bit page number can count is taken as
// broken.
inline constexpr std::uint32_t kMaxChainPages = 0xFFFF;

// Positions the library can reach with the 32-bit signed seek distance.
inline constexpr std::uint32_t kMaxFilePosition = 0x7FFFFFFFu;

// The call-site numbers of one positioned transfer: the seek, then the read
// or write.
struct IoSite {
  int seek;
  int transfer;
};

class TiffIo {
 public:
  TiffIo(GroundContext& context, FileHandle file) : context_(context), file_(file) {}

  FileHandle file() const { return file_; }
  GroundContext& context() { return context_; }

  // Moves to `offset` from the start; false unless the position lands there.
  [[nodiscard]] bool Seek(std::uint32_t offset, int site);
  // Moves to the end; `size` receives the position.
  [[nodiscard]] bool SeekEnd(std::uint32_t& size, int site);
  // The current position.
  [[nodiscard]] bool Position(std::uint32_t& position, int site);
  // Reads exactly `count` bytes at the current position. A short read (end
  // of file) is logged with the system's end-of-file code and fails.
  [[nodiscard]] bool Read(void* buffer, std::uint32_t count, int site);
  [[nodiscard]] bool Write(const void* buffer, std::uint32_t count, int site);
  [[nodiscard]] bool ReadAt(std::uint32_t offset, void* buffer, std::uint32_t count, IoSite site);
  [[nodiscard]] bool WriteAt(std::uint32_t offset, const void* buffer, std::uint32_t count,
                             IoSite site);
  [[nodiscard]] bool ReadLe16At(std::uint32_t offset, std::uint32_t& value, IoSite site);
  [[nodiscard]] bool ReadLe32At(std::uint32_t offset, std::uint32_t& value, IoSite site);
  [[nodiscard]] bool WriteLe32At(std::uint32_t offset, std::uint32_t value, IoSite site);

 private:
  GroundContext& context_;
  FileHandle file_;
};

enum class HeaderStatus { kTiff, kNotTiff, kIoFailure };

// Reads the 4 header bytes at offset 0 and compares them with the signature.
HeaderStatus ReadHeader(TiffIo& io, IoSite site);

enum class ChainStatus {
  kOk,
  kBroken,     // an offset outside the file, a loop, too many pages
  kIoFailure,  // a seek, read or write failed
};

// Follows a chain from the header's link. Call ReadLink to read the link at
// linkPosition(); while its value is not 0, Follow moves to that IFD, reads
// its entry count and makes the IFD's next field the current link.
class ChainCursor {
 public:
  struct Sites {
    IoSite link;   // reading a link
    IoSite count;  // reading an IFD's entry count
  };

  ChainCursor(TiffIo& io, std::uint32_t fileSize, Sites sites)
      : io_(io), fileSize_(fileSize), sites_(sites) {}

  // Reads the current link into linkValue(). A value that is not 0 must lie
  // after the header and leave room for an IFD without entries inside the
  // file.
  [[nodiscard]] ChainStatus ReadLink();
  // Follows the (non-zero) link value: the IFD's count and next field must
  // lie inside the file, the IFD must not have been passed before, and the
  // chain must stay below kMaxChainPages. Afterwards the file stands right
  // after the entry count.
  [[nodiscard]] ChainStatus Follow();

  std::uint32_t linkPosition() const { return linkPosition_; }
  std::uint32_t linkValue() const { return linkValue_; }
  std::uint32_t ifdOffset() const { return ifdOffset_; }
  std::uint32_t entryCount() const { return entryCount_; }
  std::uint32_t pages() const { return pages_; }
  // True when no two IFDs passed so far share a byte.
  [[nodiscard]] bool IfdsDisjoint();

 private:
  TiffIo& io_;
  std::uint32_t fileSize_;
  Sites sites_;
  std::uint32_t linkPosition_ = kHeaderLinkPos;
  std::uint32_t linkValue_ = 0;
  std::uint32_t ifdOffset_ = 0;
  std::uint32_t entryCount_ = 0;
  std::uint32_t pages_ = 0;
  // Brent's cycle finding over the IFD offsets: the offset kept, how many
  // steps it is kept for, and the steps since it was taken.
  std::uint32_t kept_ = 0;
  std::uint32_t keepFor_ = 1;
  std::uint32_t keptSteps_ = 0;
  struct Range {
    std::uint32_t begin;
    std::uint32_t end;  // one past the next-IFD field
  };
  std::vector<Range> ifds_;
};

// True when `count` bytes at `offset` lie inside a file of `size` bytes.
constexpr bool InsideFile(std::uint64_t offset, std::uint64_t count, std::uint32_t size) {
  return offset + count <= size;
}

}  // namespace tarvo::tiff
