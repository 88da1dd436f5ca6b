// Byte-order helpers: the only place where multi-byte numbers are split into
// bytes or joined from them. The SCSI wire is big-endian; TIFF and BMP files
// are little-endian. Every helper works on a span and an offset, so callers
// name the field offset once and never shift by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvo {

using ByteSpan = std::span<std::uint8_t>;
using ConstByteSpan = std::span<const std::uint8_t>;

// ---- big-endian (SCSI) ---------------------------------------------------

constexpr void PutBe16(ByteSpan out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value >> 8);
  out[at + 1] = static_cast<std::uint8_t>(value);
}
constexpr void PutBe24(ByteSpan out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value >> 16);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
  out[at + 2] = static_cast<std::uint8_t>(value);
}
constexpr void PutBe32(ByteSpan out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value >> 24);
  out[at + 1] = static_cast<std::uint8_t>(value >> 16);
  out[at + 2] = static_cast<std::uint8_t>(value >> 8);
  out[at + 3] = static_cast<std::uint8_t>(value);
}
constexpr std::uint32_t GetBe16(ConstByteSpan in, std::size_t at) {
  return (std::uint32_t{in[at]} << 8) | in[at + 1];
}
constexpr std::uint32_t GetBe24(ConstByteSpan in, std::size_t at) {
  return (std::uint32_t{in[at]} << 16) | (std::uint32_t{in[at + 1]} << 8) | in[at + 2];
}
constexpr std::uint32_t GetBe32(ConstByteSpan in, std::size_t at) {
  return (std::uint32_t{in[at]} << 24) | (std::uint32_t{in[at + 1]} << 16) |
         (std::uint32_t{in[at + 2]} << 8) | in[at + 3];
}

// ---- little-endian (TIFF, BMP) -------------------------------------------

constexpr void PutLe16(ByteSpan out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}
constexpr void PutLe32(ByteSpan out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
  out[at + 2] = static_cast<std::uint8_t>(value >> 16);
  out[at + 3] = static_cast<std::uint8_t>(value >> 24);
}
constexpr std::uint32_t GetLe16(ConstByteSpan in, std::size_t at) {
  return std::uint32_t{in[at]} | (std::uint32_t{in[at + 1]} << 8);
}
constexpr std::uint32_t GetLe32(ConstByteSpan in, std::size_t at) {
  return std::uint32_t{in[at]} | (std::uint32_t{in[at + 1]} << 8) |
         (std::uint32_t{in[at + 2]} << 16) | (std::uint32_t{in[at + 3]} << 24);
}

// ---- bit fields inside one byte ------------------------------------------

// Sets or clears the bits of `mask` in out[at].
constexpr void SetBits(ByteSpan out, std::size_t at, std::uint8_t mask, bool on) {
  out[at] = static_cast<std::uint8_t>(on ? (out[at] | mask) : (out[at] & ~mask));
}
// Replaces the field `mask` (contiguous bits) of out[at] with `value` shifted into it.
constexpr void PutField(ByteSpan out, std::size_t at, std::uint8_t mask, std::uint32_t value) {
  int shift = 0;
  while (shift < 8 && ((mask >> shift) & 1u) == 0) ++shift;
  out[at] = static_cast<std::uint8_t>((out[at] & ~mask) | ((value << shift) & mask));
}
constexpr std::uint32_t GetField(ConstByteSpan in, std::size_t at, std::uint8_t mask) {
  int shift = 0;
  while (shift < 8 && ((mask >> shift) & 1u) == 0) ++shift;
  return (in[at] & mask) >> shift;
}
constexpr bool TestBits(ConstByteSpan in, std::size_t at, std::uint8_t mask) {
  return (in[at] & mask) != 0;
}

}  // namespace tarvo
