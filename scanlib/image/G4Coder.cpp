#include "image/G4Coder.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/Bytes.h"

namespace tarvo {

// The writer's state copied into locals for one operation, so that the
// accumulator stays in registers; Commit() hands it back. Unchecked, every
// code stores the low 32 bits of the accumulator and keeps them when full:
// for callers that made sure of Room() first.
template <bool kChecked>
class LocalBits {
 public:
  explicit LocalBits(BitWriter& writer)
      : writer_(writer),
        out_(writer.buffer_.data() + writer.position_),
        end_(writer.buffer_.data() + writer.buffer_.size()),
        pending_(writer.pending_),
        pendingBits_(writer.pendingBits_) {}
  LocalBits(const LocalBits&) = delete;
  LocalBits& operator=(const LocalBits&) = delete;

  // At most 32 bits, bits above `length` clear.
  void Put(std::uint32_t bits, unsigned length) {
    pending_ |= static_cast<std::uint64_t>(bits) << pendingBits_;
    pendingBits_ += length;
    if constexpr (kChecked) {
      if (pendingBits_ >= 32) {
        if (end_ - out_ >= 4) {
          PutLe32(ByteSpan(out_, 4), 0, static_cast<std::uint32_t>(pending_));
          out_ += 4;
        } else {
          overflowed_ = true;
        }
        pending_ >>= 32;
        pendingBits_ -= 32;
      }
    } else {
      PutLe32(ByteSpan(out_, 4), 0, static_cast<std::uint32_t>(pending_));
      const unsigned full = pendingBits_ & 32u;  // pendingBits_ < 64
      out_ += full / 8;
      pending_ >>= full;
      pendingBits_ -= full;
    }
  }
  void Put(ReversedCode code) { Put(code.bits, code.length); }

  std::size_t Room() const { return static_cast<std::size_t>(end_ - out_); }

  void Commit() {
    writer_.position_ = static_cast<std::size_t>(out_ - writer_.buffer_.data());
    writer_.pending_ = pending_;
    writer_.pendingBits_ = pendingBits_;
    if (overflowed_) writer_.overflowed_ = true;
    writer_.Sync();
  }

 private:
  BitWriter& writer_;
  std::uint8_t* out_;
  std::uint8_t* const end_;
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

// Make-up and terminating codes of one run, without the final Sync.
template <class Bits>
inline void PutRun(unsigned colour, std::int32_t run, Bits& writer) {
  if (run > kLongestMakeUp) {
    const std::int32_t longest = (run - 1) / kLongestMakeUp;
    const ReversedCode code = kRunCodeTables.makeUp[colour][kLongestMakeUp / 64];
    for (std::int32_t i = 0; i < longest; ++i) writer.Put(code);
    run -= longest * kLongestMakeUp;
  }
  if (run > 63) {
    writer.Put(kRunCodeTables.makeUp[colour][static_cast<std::size_t>(run / 64)]);
    run %= 64;
  }
  writer.Put(kRunCodeTables.terminating[colour][static_cast<std::size_t>(run)]);
}

// Bit positions of each byte value, lowest first, padded with zeros; and
// their count.
struct BytePositions {
  alignas(16) std::array<std::array<std::int32_t, 8>, 256> positions{};
  std::array<std::uint8_t, 256> counts{};
};
constexpr BytePositions BuildBytePositions() {
  BytePositions t{};
  for (unsigned b = 0; b < 256; ++b) {
    for (unsigned bit = 0; bit < 8; ++bit) {
      if ((b >> bit) & 1u) t.positions[b][t.counts[b]++] = static_cast<std::int32_t>(bit);
    }
  }
  return t;
}
constexpr BytePositions kBytePositions = BuildBytePositions();
static_assert(kBytePositions.counts[0xA4] == 3 && kBytePositions.positions[0xA4][2] == 7);

// Appends base + the position of every set bit of `changes`, lowest first.
// The first four one at a time (a word of text seldom has more); the rest of
// a denser word a byte at a time from kBytePositions, eight entries stored
// and as many kept as the byte has bits, so that up to seven entries past
// the last are overwritten.
inline void PutChanges(std::uint64_t changes, std::int32_t base, std::int32_t*& out) {
  for (int k = 0; k < 4; ++k) {
    if (changes == 0) return;
    *out++ = base + std::countr_zero(changes);
    changes &= changes - 1;
  }
  if (changes == 0) return;
#if defined(__SSE2__)
  __m128i at = _mm_set1_epi32(base);
  for (int k = 0; k < 8; ++k, changes >>= 8, at = _mm_add_epi32(at, _mm_set1_epi32(8))) {
    const auto byte = static_cast<std::size_t>(changes & 0xFF);
    const auto* positions = reinterpret_cast<const __m128i*>(kBytePositions.positions[byte].data());
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_add_epi32(at, _mm_load_si128(positions)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4),
                     _mm_add_epi32(at, _mm_load_si128(positions + 1)));
    out += kBytePositions.counts[byte];
  }
#else
  do {
    *out++ = base + std::countr_zero(changes);
    changes &= changes - 1;
  } while (changes != 0);
#endif
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
  const std::size_t bytes = static_cast<std::size_t>(width + 7) / 8;

  // Eight bytes at a time, the last word filled up with zeros. Within each
  // byte the bits are put into pixel order (pixel i of the word in bit i);
  // then a bit of `changes` is set wherever a pixel differs from the one
  // before it. A uniform word of the current colour has no change and goes
  // in one step.
  std::uint64_t previous = 0;  // the last pixel before the word, in bit 0
  for (std::size_t i = 0; i < bytes; i += 8) {
    std::uint64_t pixels = 0;
    if (i + 8 <= bytes) {
      std::memcpy(&pixels, row + i, sizeof pixels);
      if constexpr (std::endian::native == std::endian::big) pixels = SwapBytes(pixels);
    } else {
      for (std::size_t k = 0; k < bytes - i; ++k) pixels |= std::uint64_t{row[i + k]} << (8 * k);
    }
    std::uint64_t changes = pixels ^ ((pixels << 1) | previous);
    if (changes == 0) continue;
    pixels = ReverseBitsInBytes(pixels);
    changes = pixels ^ ((pixels << 1) | previous);
    previous = pixels >> 63;
    const auto base = static_cast<std::int32_t>(i * 8);
    if (width - base < 64) changes &= (std::uint64_t{1} << (width - base)) - 1;  // past the width
    PutChanges(changes, base, out);
  }

  for (int k = 0; k < 4; ++k) *out++ = width;
  return true;
}

namespace {

template <bool kChecked>
void CodeRow(const ChangeList& coding, const ChangeList& reference, std::int32_t width,
             LocalBits<kChecked>& writer) {
  const std::int32_t* const aFirst = coding.data();
  const std::int32_t* a = aFirst;            // a1 = a[0]; a's parity is a0's colour
  const std::int32_t* b = reference.data();  // b1 = b[0], b2 = b[1]; b's parity too
  std::int32_t a0 = 0;

  while (a0 < width) {
    const std::int32_t a1 = a[0];
    const std::int32_t b1 = b[0];
    const std::int32_t b2 = b[1];
    const std::int32_t d = a1 - b1;
    // On a halftone the three modes follow each other in no order that a
    // predictor could learn, so each step has as few branches as it can.
    if (b2 < a1) {  // pass mode: b1 two entries on, the colour stays
      writer.Put(kPass);
      a0 = b2;
      b += 2;
      continue;
    }
    if (static_cast<std::uint32_t>(d + 3) <= 6) {  // vertical mode
      writer.Put(kVertical[static_cast<std::size_t>(d + 3)]);
      // b1 moves to the first entry of the other colour beyond a1: the entry
      // before b1 when that lies beyond a1 (which makes this a left-hand
      // code), else b2 when beyond a1, else the entry after b2: a sum of
      // comparisons instead of branches.
      b += 1 + 2 * static_cast<std::ptrdiff_t>(b2 == a1) -
           2 * static_cast<std::ptrdiff_t>(b[-1] > a1);
      a0 = a1;
      ++a;
      continue;
    }
    const unsigned colour = static_cast<unsigned>(a - aFirst) & 1u;  // of a0
    const std::int32_t a2 = a[1];
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
      PutRun(colour, run1, writer);
      PutRun(colour ^ 1u, run2, writer);
    }
    a0 = a2;
    a += 2;
    if (a0 >= width) break;
    while (b[0] <= a0) b += 2;
  }
}

}  // namespace

void EncodeRowT6(const ChangeList& coding, const ChangeList& reference, std::int32_t width,
                 BitWriter& writer) {
  // A row codes to at most 16 bits per changing element of either list and
  // 128 bits of long make-up codes; the unchecked stores write 4 bytes.
  const std::size_t most = 4 * static_cast<std::size_t>(width > 0 ? width : 0) + 32;
  if (writer.Buffer().size() - writer.Position() >= most) {
    LocalBits<false> bits(writer);
    CodeRow(coding, reference, width, bits);
    bits.Commit();
  } else {
    LocalBits<true> bits(writer);
    CodeRow(coding, reference, width, bits);
    bits.Commit();
  }
}

void EncodeRun(unsigned colour, std::int32_t run, BitWriter& writer) {
  if (run < 0) run = 0;
  LocalBits<true> bits(writer);
  PutRun(colour & 1u, run, bits);
  bits.Commit();
}

void PutBits(std::uint32_t bits, unsigned length, BitWriter& writer) {
  if (length > 16) length = 16;
  LocalBits<true> local(writer);
  local.Put(bits & ((1u << length) - 1), length);
  local.Commit();
}

void PutEofb(BitWriter& writer) {
  LocalBits<true> bits(writer);
  bits.Put(kEol);
  bits.Put(kEol);
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
