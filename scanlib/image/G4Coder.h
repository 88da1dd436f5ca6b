// The CCITT Group 4 (ITU-T T.6) coder for bilevel rows.
//
// Rows are packed 1 bit per pixel, most significant bit leftmost, 1 = black.
// A row is first reduced to its changing elements (FindChangingElements), then
// coded against the previous row's list in two-dimensional mode
// (EncodeRowT6). Codes enter the BitWriter least-significant-bit first, from
// tables whose codes are stored bit-reversed; ReverseBitOrder turns the bytes
// into the most-significant-bit-first order of the file (TIFF FillOrder 1)
// just before they are written.
//
// The coder's buffers (CoderBuffers) are one set per driver context; they are
// reinitialised at the start of every coded page. G4PageCoder runs a whole
// page over them: it codes row after row, hands full 131072-byte pieces to a
// ByteSink and ends the page with EOFB.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "image/ByteSink.h"
#include "image/RunCodes.h"

namespace tarvo {

// ---- limits --------------------------------------------------------------------

inline constexpr std::int32_t kMaxCodedWidth = 16400;           // pixels per coded row
inline constexpr std::size_t kChangeListEntries = 16404;         // kMaxCodedWidth + 4
inline constexpr std::size_t kCodeFlushBytes = 131072;          // one write of coded data
inline constexpr std::size_t kCodeBufferBytes = 2 * kCodeFlushBytes + 8;

// The changing elements of one row: ascending pixel positions where the colour
// differs from the pixel before (the pixel before the first counts as white),
// then four entries equal to the row width. Entry -1 (data()[-1]) is always
// -1, below every position, so that the coder can look one entry back from
// any entry without a test.
class ChangeList {
 public:
  std::int32_t* data() { return storage_.data() + 1; }
  const std::int32_t* data() const { return storage_.data() + 1; }
  std::int32_t* begin() { return data(); }
  const std::int32_t* begin() const { return data(); }
  std::int32_t* end() { return data() + kChangeListEntries; }
  const std::int32_t* end() const { return data() + kChangeListEntries; }
  static constexpr std::size_t size() { return kChangeListEntries; }
  std::int32_t& operator[](std::size_t i) { return storage_[i + 1]; }
  std::int32_t operator[](std::size_t i) const { return storage_[i + 1]; }

 private:
  // The sentinel, the entries, and room for the seven entries past the last
  // that FindChangingElements may overwrite.
  std::array<std::int32_t, 1 + kChangeListEntries + 4> storage_{-1};
};

// ---- tables ----------------------------------------------------------------------

// A code as the BitWriter takes it: bit-reversed, first bit in bit 0.
struct ReversedCode {
  std::uint16_t bits = 0;
  std::uint8_t length = 0;
};

// For each colour (0 white, 1 black): the terminating codes of runs 0..63 and
// the make-up codes of runs 64 × index (index 1..40; index 0 is empty).
struct RunCodeTables {
  std::array<std::array<ReversedCode, 64>, 2> terminating{};
  std::array<std::array<ReversedCode, 41>, 2> makeUp{};
};

// Entry b: the run lengths inside byte b read from its most significant bit:
// the run of 0 bits at the start (may be 0), the alternating runs that follow,
// then 0. 0x00 -> 8; 0xFF -> 0, 8; 0x80 -> 0, 1, 7; 0x0F -> 4, 4.
using ByteRunEntry = std::array<std::uint8_t, 10>;

const RunCodeTables& RunCodeTable();
const std::array<ByteRunEntry, 256>& ByteRunTable();
const std::array<std::uint8_t, 256>& BitReversalTable();
const std::array<std::uint16_t, 16>& MaskTable();  // entry k = 2^k - 1

// ---- the bit writer ----------------------------------------------------------------

template <bool kChecked>
class LocalBits;  // the coder's working copy of a BitWriter's state

// Appends codes to a byte buffer, least-significant-bit first, in 16-bit
// little-endian words. Position() is always even; the word at Position() holds
// BitCount() valid bits (0..15) after every public operation. A code that
// would pass the end of the buffer is dropped and Overflowed() turns true.
class BitWriter {
 public:
  BitWriter() = default;
  explicit BitWriter(std::span<std::uint8_t> buffer) { Reset(buffer); }

  // At the start of `buffer`, no bits, first word cleared.
  void Reset(std::span<std::uint8_t> buffer);

  std::size_t Position() const { return position_; }
  unsigned BitCount() const { return count_; }
  bool Overflowed() const { return overflowed_; }
  // Bytes before the position, plus 2 when the current word holds bits.
  std::size_t UsedBytes() const { return position_ + (count_ != 0 ? 2 : 0); }
  std::span<std::uint8_t> Buffer() const { return buffer_; }

  // Moves the bytes from `count` up to and including the current word to the
  // start of the buffer. `count` must be even and at most Position().
  void DropFront(std::size_t count);

  // Stores the complete 16-bit words and the partial word; the coder's
  // operations gather their codes in a 64-bit accumulator (LocalBits) and
  // end with this.
  void Sync();

 private:
  template <bool kChecked>
  friend class LocalBits;  // the coder's operations work on a copy of the state

  std::span<std::uint8_t> buffer_{};
  std::size_t position_ = 0;   // even
  unsigned count_ = 0;         // valid bits of the word at position_ (after Sync)
  std::uint64_t pending_ = 0;  // bits not yet stored, first bit lowest
  unsigned pendingBits_ = 0;
  bool overflowed_ = false;
};

// ---- the coder operations -------------------------------------------------------------

// Fills `list` with the changing elements of `row` (width pixels). False, with
// the list holding only the four end entries, when width is outside
// 0..kMaxCodedWidth.
[[nodiscard]] bool FindChangingElements(const std::uint8_t* row, std::int32_t width,
                                        ChangeList& list);

// Appends the T.6 two-dimensional coding of the row `coding` against the
// reference row `reference`.
void EncodeRowT6(const ChangeList& coding, const ChangeList& reference, std::int32_t width,
                 BitWriter& writer);

// Appends the make-up and terminating codes of one run (colour bit 0: 1 black).
void EncodeRun(unsigned colour, std::int32_t run, BitWriter& writer);

// Appends `length` (at most 16) bits, already bit-reversed.
void PutBits(std::uint32_t bits, unsigned length, BitWriter& writer);

// Appends EOFB: two EOL codes, 000000000001 000000000001.
void PutEofb(BitWriter& writer);

// Reverses the bit order of every byte.
void ReverseBitOrder(std::uint8_t* buffer, std::size_t count);

// ---- the page coder ----------------------------------------------------------------------

// The coder's buffers: the code buffer and the two change lists. One set per
// driver context (about 390 KiB; allocate it on the heap).
struct CoderBuffers {
  std::array<std::uint8_t, kCodeBufferBytes> codeBuffer{};
  std::array<ChangeList, 2> changeLists{};
};

// Codes one page in Group 4 over CoderBuffers: Start, CodeRow for each row
// from top to bottom, Finish. The coded bytes, in file bit order, leave
// through the sink in 131072-byte pieces and a final piece that ends with
// EOFB and zero fill to an even byte count.
class G4PageCoder {
 public:
  enum class Status { kOk, kBadWidth, kRowTooLong, kSinkFailed };

  explicit G4PageCoder(CoderBuffers& buffers) : buffers_(buffers) {}

  // Starts a page of `width` pixels per row: the reference is the imaginary
  // all-white row.
  Status Start(std::int32_t width, ByteSink sink);
  Status CodeRow(const std::uint8_t* row);
  Status Finish();

  // Bytes handed to the sink so far (after Finish: the page's coded size).
  std::uint32_t BytesWritten() const { return written_; }

 private:
  Status Flush(std::size_t count);

  CoderBuffers& buffers_;
  BitWriter writer_;
  ByteSink sink_{};
  std::int32_t width_ = 0;
  unsigned reference_ = 0;  // index of the reference list
  std::uint32_t written_ = 0;
};

}  // namespace tarvo
