#include "image/G4Coder.h"

#include <bit>
#include <cstring>

#include "base/Bytes.h"

namespace tarvo {

// The writer's state copied into locals for one operation, so that the
// accumulator stays in registers; Commit() hands it back.
class LocalBits {
 public:
  explicit LocalBits(BitWriter& writer)
      : writer_(writer),
        data_(writer.buffer_.data()),
        size_(writer.buffer_.size()),
        position_(writer.position_),
        pending_(writer.pending_),
        pendingBits_(writer.pendingBits_) {}
  LocalBits(const LocalBits&) = delete;
  LocalBits& operator=(const LocalBits&) = delete;

  // At most 32 bits, bits above `length` clear.
  void Put(std::uint32_t bits, unsigned length) {
    pending_ |= static_cast<std::uint64_t>(bits) << pendingBits_;
    pendingBits_ += length;
    if (pendingBits_ >= 32) {
      if (position_ + 4 <= size_) {
        PutLe32(ByteSpan(data_ + position_, 4), 0, static_cast<std::uint32_t>(pending_));
        position_ += 4;
      } else {
        overflowed_ = true;
      }
      pending_ >>= 32;
      pendingBits_ -= 32;
    }
  }

  // The same without the bounds check, for callers that made sure of
  // Room() first: the low word is stored every time, and kept only when full.
  void PutUnchecked(std::uint32_t bits, unsigned length) {
    pending_ |= static_cast<std::uint64_t>(bits) << pendingBits_;
    pendingBits_ += length;
    PutLe32(ByteSpan(data_ + position_, 4), 0, static_cast<std::uint32_t>(pending_));
    const unsigned full = pendingBits_ & 32u;  // pendingBits_ < 64
    position_ += full / 8;
    pending_ >>= full;
    pendingBits_ -= full;
  }

  std::size_t Room() const { return size_ - position_; }

  void Commit() {
    writer_.position_ = position_;
    writer_.pending_ = pending_;
    writer_.pendingBits_ = pendingBits_;
    if (overflowed_) writer_.overflowed_ = true;
    writer_.Sync();
  }

 private:
  BitWriter& writer_;
  std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_;
  std::uint64_t pending_;
  unsigned pendingBits_;
  bool overflowed_ = false;
};

namespace {

// ---- tables, built at compile time ---------------------------------------------

constexpr ReversedCode Reversed(std::uint16_t code, std::uint8_t length) {
  std::uint16_t bits = 0;
  for (unsigned i = 0; i < length; ++i) {
    if ((code >> i) & 1u) bits = static_cast<std::uint16_t>(bits | (1u << (length - 1 - i)));
  }
  return ReversedCode{bits, length};
}
constexpr ReversedCode Reversed(const RunCode& c) { return Reversed(c.code, c.length); }

constexpr RunCodeTables BuildRunCodeTables() {
  RunCodeTables t{};
  for (const RunCode& c : kWhiteTerminating) t.terminating[0][c.run] = Reversed(c);
  for (const RunCode& c : kBlackTerminating) t.terminating[1][c.run] = Reversed(c);
  for (const RunCode& c : kWhiteMakeUp) t.makeUp[0][c.run / 64] = Reversed(c);
  for (const RunCode& c : kBlackMakeUp) t.makeUp[1][c.run / 64] = Reversed(c);
  for (const RunCode& c : kSharedMakeUp) {
    t.makeUp[0][c.run / 64] = Reversed(c);
    t.makeUp[1][c.run / 64] = Reversed(c);
  }
  return t;
}

constexpr bool Complete(const RunCodeTables& t) {
  for (unsigned colour = 0; colour < 2; ++colour) {
    for (const ReversedCode& c : t.terminating[colour]) {
      if (c.length == 0) return false;
    }
    for (std::size_t i = 1; i < t.makeUp[colour].size(); ++i) {
      if (t.makeUp[colour][i].length == 0) return false;
    }
  }
  return true;
}

constexpr RunCodeTables kRunCodeTables = BuildRunCodeTables();
static_assert(Complete(kRunCodeTables), "every run 0..63 and make-up 64..2560 has a code");

constexpr std::array<ByteRunEntry, 256> BuildByteRunTable() {
  std::array<ByteRunEntry, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    unsigned pos = 0;
    unsigned bit = 0;  // the runs start with the 0 bits
    std::size_t n = 0;
    while (pos < 8) {
      unsigned len = 0;
      while (pos + len < 8 && ((b >> (7 - pos - len)) & 1u) == bit) ++len;
      table[b][n++] = static_cast<std::uint8_t>(len);
      pos += len;
      bit ^= 1u;
    }
  }
  return table;
}
constexpr std::array<ByteRunEntry, 256> kByteRunTable = BuildByteRunTable();
static_assert(kByteRunTable[0x00][0] == 8 && kByteRunTable[0x00][1] == 0);
static_assert(kByteRunTable[0x80][0] == 0 && kByteRunTable[0x80][1] == 1 &&
              kByteRunTable[0x80][2] == 7);

constexpr std::array<std::uint8_t, 256> BuildBitReversalTable() {
  std::array<std::uint8_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b) table[b] = static_cast<std::uint8_t>(Reversed(b, 8).bits);
  return table;
}
constexpr std::array<std::uint8_t, 256> kBitReversalTable = BuildBitReversalTable();

constexpr std::array<std::uint16_t, 16> BuildMaskTable() {
  std::array<std::uint16_t, 16> table{};
  for (unsigned k = 0; k < 16; ++k) table[k] = static_cast<std::uint16_t>((1u << k) - 1);
  return table;
}
constexpr std::array<std::uint16_t, 16> kMaskTable = BuildMaskTable();

// Mode codes of two-dimensional coding, first bit on the left.
constexpr ReversedCode kPass = Reversed(0b0001, 4);        // 0001
constexpr ReversedCode kHorizontal = Reversed(0b001, 3);   // 001
constexpr ReversedCode kEol = Reversed(0b000000000001, 12);  // 000000000001
// Vertical codes by a1 - b1 + 3.
constexpr std::array<ReversedCode, 7> kVertical = {
    Reversed(0b0000010, 7),  // VL3 0000010
    Reversed(0b000010, 6),   // VL2 000010
    Reversed(0b010, 3),      // VL1 010
    Reversed(0b1, 1),        // V0  1
    Reversed(0b011, 3),      // VR1 011
    Reversed(0b000011, 6),   // VR2 000011
    Reversed(0b0000011, 7),  // VR3 0000011
};
static_assert(kPass.bits == 0x8 && kHorizontal.bits == 0x4 && kEol.bits == 0x800);
static_assert(kVertical[0].bits == 0x20 && kVertical[2].bits == 0x2 && kVertical[4].bits == 0x6 &&
              kVertical[5].bits == 0x30 && kVertical[6].bits == 0x60);

constexpr std::int32_t kLongestMakeUp = 2560;

// Byte order swap and bit order reversal inside each byte of a word.
[[maybe_unused]] constexpr std::uint64_t SwapBytes(std::uint64_t x) {
  x = ((x >> 8) & 0x00FF00FF00FF00FFull) | ((x & 0x00FF00FF00FF00FFull) << 8);
  x = ((x >> 16) & 0x0000FFFF0000FFFFull) | ((x & 0x0000FFFF0000FFFFull) << 16);
  return (x >> 32) | (x << 32);
}
constexpr std::uint64_t ReverseBitsInBytes(std::uint64_t x) {
  x = ((x >> 1) & 0x5555555555555555ull) | ((x & 0x5555555555555555ull) << 1);
  x = ((x >> 2) & 0x3333333333333333ull) | ((x & 0x3333333333333333ull) << 2);
  return ((x >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((x & 0x0F0F0F0F0F0F0F0Full) << 4);
}
static_assert(ReverseBitsInBytes(0x0180ull) == 0x8001ull);

inline void Put(LocalBits& bits, ReversedCode code) { bits.Put(code.bits, code.length); }

// Make-up and terminating codes of one run, without the final Sync.
inline void PutRun(unsigned colour, std::int32_t run, LocalBits& writer) {
  if (run > kLongestMakeUp) {
    const std::int32_t longest = (run - 1) / kLongestMakeUp;
    const ReversedCode code = kRunCodeTables.makeUp[colour][kLongestMakeUp / 64];
    for (std::int32_t i = 0; i < longest; ++i) Put(writer, code);
    run -= longest * kLongestMakeUp;
  }
  if (run > 63) {
    Put(writer, kRunCodeTables.makeUp[colour][static_cast<std::size_t>(run / 64)]);
    run %= 64;
  }
  Put(writer, kRunCodeTables.terminating[colour][static_cast<std::size_t>(run)]);
}

// The changes inside one byte from the byte's run table, recording only
// positions below `limit`.
inline void ByteChanges(std::uint8_t byte, std::int32_t& p, unsigned& colour, std::int32_t limit,
                        std::int32_t*& out) {
  const ByteRunEntry& runs = kByteRunTable[byte];
  unsigned runColour = 0;
  for (std::size_t k = 0; k < runs.size(); ++k, runColour ^= 1u) {
    if (runs[k] == 0) {
      if (k == 0) continue;  // the byte starts with a 1 bit
      return;                // end of the list
    }
    if (runColour != colour) {
      if (p >= limit) return;
      *out++ = p;
      colour = runColour;
    }
    p += runs[k];
  }
}

}  // namespace

// ---- table access ------------------------------------------------------------------

const RunCodeTables& RunCodeTable() { return kRunCodeTables; }
const std::array<ByteRunEntry, 256>& ByteRunTable() { return kByteRunTable; }
const std::array<std::uint8_t, 256>& BitReversalTable() { return kBitReversalTable; }
const std::array<std::uint16_t, 16>& MaskTable() { return kMaskTable; }

// ---- the bit writer ------------------------------------------------------------------

void BitWriter::Reset(std::span<std::uint8_t> buffer) {
  buffer_ = buffer;
  position_ = 0;
  count_ = 0;
  pending_ = 0;
  pendingBits_ = 0;
  overflowed_ = buffer.size() < 2;
  if (!overflowed_) PutLe16(buffer_, 0, 0);
}

void BitWriter::Sync() {
  while (pendingBits_ >= 16) {
    if (position_ + 2 <= buffer_.size()) {
      PutLe16(buffer_, position_, static_cast<std::uint32_t>(pending_));
      position_ += 2;
    } else {
      overflowed_ = true;
    }
    pending_ >>= 16;
    pendingBits_ -= 16;
  }
  count_ = pendingBits_;
  pending_ &= kMaskTable[count_];
  if (position_ + 2 <= buffer_.size()) {
    PutLe16(buffer_, position_, static_cast<std::uint32_t>(pending_));
  } else if (count_ != 0) {
    overflowed_ = true;
  }
}

void BitWriter::DropFront(std::size_t count) {
  if (count > position_) count = position_;
  const std::size_t end = position_ + 2 <= buffer_.size() ? position_ + 2 : position_;
  std::memmove(buffer_.data(), buffer_.data() + count, end - count);
  position_ -= count;
}

// ---- the coder operations --------------------------------------------------------------

bool FindChangingElements(const std::uint8_t* row, std::int32_t width, ChangeList& list) {
  if (width < 0 || width > kMaxCodedWidth) {
    for (std::size_t i = 0; i < 4; ++i) list[i] = 0;
    return false;
  }
  std::int32_t* out = list.data();
  const ConstByteSpan bytes(row, static_cast<std::size_t>((width + 7) / 8));
  const std::int32_t whole = width / 8;
  std::int32_t i = 0;
  unsigned colour = 0;  // white

  // Eight bytes at a time. Within each byte the bits are put into pixel
  // order (pixel i of the word in bit i); then a bit of `changes` is set
  // wherever a pixel differs from the one before it, and each change costs
  // one count of trailing zeros and one clear of the lowest bit. A uniform
  // word of the current colour has no change and goes in one step.
  std::uint64_t previous = 0;  // the last pixel before the word, in bit 0
  for (; i + 8 <= whole; i += 8) {
    std::uint64_t pixels;
    std::memcpy(&pixels, row + i, sizeof pixels);
    if constexpr (std::endian::native == std::endian::big) pixels = SwapBytes(pixels);
    std::uint64_t changes = pixels ^ ((pixels << 1) | previous);
    if (changes == 0) continue;
    pixels = ReverseBitsInBytes(pixels);
    changes = pixels ^ ((pixels << 1) | previous);
    previous = pixels >> 63;
    const std::int32_t base = i * 8;
    do {
      *out++ = base + std::countr_zero(changes);
      changes &= changes - 1;
    } while (changes != 0);
  }
  colour = static_cast<unsigned>(previous);

  // The remaining bytes from the byte run table.
  std::int32_t p = i * 8;
  for (; i < whole; ++i) {
    const std::uint8_t b = bytes[static_cast<std::size_t>(i)];
    if ((colour == 0 && b == 0x00) || (colour != 0 && b == 0xFF)) {
      p += 8;
      continue;
    }
    ByteChanges(b, p, colour, width, out);
  }
  if (width % 8 != 0) ByteChanges(bytes[static_cast<std::size_t>(whole)], p, colour, width, out);

  for (int k = 0; k < 4; ++k) *out++ = width;
  return true;
}

namespace {

// A writer that checks the buffer's end at every code, or one that need not.
template <bool kChecked>
struct RowBits {
  LocalBits& bits;
  void Put(std::uint32_t value, unsigned length) {
    if constexpr (kChecked) {
      bits.Put(value, length);
    } else {
      bits.PutUnchecked(value, length);
    }
  }
  void Put(ReversedCode code) { Put(code.bits, code.length); }
};

template <bool kChecked>
void CodeRow(const ChangeList& coding, const ChangeList& reference, std::int32_t width,
             LocalBits& bits) {
  RowBits<kChecked> writer{bits};
  const std::int32_t* a = coding.data();
  const std::int32_t* b = reference.data();
  std::int32_t a0 = 0;
  unsigned colour = 0;  // colour of a0
  std::size_t ia = 0;   // a1 = a[ia]
  std::size_t ib = 0;   // b1 = b[ib], b2 = b[ib + 1]; ib's parity is a0's colour

  while (a0 < width) {
    const std::int32_t a1 = a[ia];
    const std::int32_t b2 = b[ib + 1];
    const std::int32_t d = a1 - b[ib];
    // Vertical mode, by far the most frequent, is tested first; it needs
    // b2 >= a1, else pass mode applies.
    if ((static_cast<std::uint32_t>(d + 3) <= 6) & (b2 >= a1)) {  // vertical mode
      writer.Put(kVertical[static_cast<std::size_t>(d + 3)]);
      a0 = a1;
      colour ^= 1u;
      ++ia;
      if (a0 >= width) break;
      // b1 of the new colour: one entry back after a left-hand code (unless
      // b1 was the first entry), one forward otherwise, then past a0.
      if (d < 0 && ib > 0) {
        --ib;
      } else {
        ++ib;
      }
    } else if (b2 < a1) {  // pass mode
      writer.Put(kPass);
      a0 = b2;
      ib += 2;
      continue;
    } else {  // horizontal mode
      const std::int32_t a2 = a[ia + 1];
      const std::int32_t run1 = a1 - a0;
      const std::int32_t run2 = a2 - a1;
      if (run1 < 64 && run2 < 64) {
        // The usual case in one piece: 3 + at most 8 + 12 bits.
        const ReversedCode t1 = kRunCodeTables.terminating[colour][static_cast<std::size_t>(run1)];
        const ReversedCode t2 =
            kRunCodeTables.terminating[colour ^ 1u][static_cast<std::size_t>(run2)];
        writer.Put(kHorizontal.bits | (std::uint32_t{t1.bits} << kHorizontal.length) |
                       (std::uint32_t{t2.bits} << (kHorizontal.length + t1.length)),
                   kHorizontal.length + t1.length + t2.length);
      } else {
        writer.Put(kHorizontal);
        PutRun(colour, run1, bits);
        PutRun(colour ^ 1u, run2, bits);
      }
      a0 = a2;
      ia += 2;
      if (a0 >= width) break;
    }
    while (b[ib] <= a0) ib += 2;
  }
}

}  // namespace

void EncodeRowT6(const ChangeList& coding, const ChangeList& reference, std::int32_t width,
                 BitWriter& writer) {
  LocalBits bits(writer);
  // A row codes to at most 16 bits per changing element of either list and
  // 128 bits of long make-up codes; the unchecked stores write 4 bytes.
  const std::size_t most = 4 * static_cast<std::size_t>(width > 0 ? width : 0) + 32;
  if (bits.Room() >= most) {
    CodeRow<false>(coding, reference, width, bits);
  } else {
    CodeRow<true>(coding, reference, width, bits);
  }
  bits.Commit();
}

void EncodeRun(unsigned colour, std::int32_t run, BitWriter& writer) {
  if (run < 0) run = 0;
  LocalBits bits(writer);
  PutRun(colour & 1u, run, bits);
  bits.Commit();
}

void PutBits(std::uint32_t bits, unsigned length, BitWriter& writer) {
  if (length > 16) length = 16;
  LocalBits local(writer);
  local.Put(bits & ((1u << length) - 1), length);
  local.Commit();
}

void PutEofb(BitWriter& writer) {
  LocalBits bits(writer);
  Put(bits, kEol);
  Put(bits, kEol);
  bits.Commit();
}

void ReverseBitOrder(std::uint8_t* buffer, std::size_t count) {
  // Eight bytes at a time by three exchange steps; the rest by the table.
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, buffer + i, sizeof word);
    word = ReverseBitsInBytes(word);
    std::memcpy(buffer + i, &word, sizeof word);
  }
  for (; i < count; ++i) buffer[i] = kBitReversalTable[buffer[i]];
}

// ---- the page coder ----------------------------------------------------------------

G4PageCoder::Status G4PageCoder::Start(std::int32_t width, ByteSink sink) {
  sink_ = sink;
  written_ = 0;
  writer_.Reset(buffers_.codeBuffer);
  reference_ = 0;
  width_ = 0;
  if (width < 0 || width > kMaxCodedWidth) return Status::kBadWidth;
  width_ = width;
  // The imaginary all-white row before the first.
  for (std::size_t i = 0; i < 5; ++i) buffers_.changeLists[0][i] = width;
  return Status::kOk;
}

G4PageCoder::Status G4PageCoder::CodeRow(const std::uint8_t* row) {
  ChangeList& coding = buffers_.changeLists[reference_ ^ 1u];
  if (!FindChangingElements(row, width_, coding)) return Status::kBadWidth;
  EncodeRowT6(coding, buffers_.changeLists[reference_], width_, writer_);
  reference_ ^= 1u;
  if (writer_.Overflowed()) return Status::kRowTooLong;
  if (writer_.Position() > kCodeFlushBytes) return Flush(kCodeFlushBytes);
  return Status::kOk;
}

G4PageCoder::Status G4PageCoder::Finish() {
  PutEofb(writer_);
  if (writer_.Overflowed()) return Status::kRowTooLong;
  return Flush(writer_.UsedBytes());
}

G4PageCoder::Status G4PageCoder::Flush(std::size_t count) {
  std::uint8_t* data = buffers_.codeBuffer.data();
  ReverseBitOrder(data, count);
  if (!sink_.Write(data, static_cast<std::uint32_t>(count))) return Status::kSinkFailed;
  written_ += static_cast<std::uint32_t>(count);
  if (count <= writer_.Position()) writer_.DropFront(count);
  return Status::kOk;
}

}  // namespace tarvo
