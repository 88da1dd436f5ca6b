// Driver result codes: the one outcome type of every driver operation and of
// the exports. Values are fixed by the exported interface; a code that sense
// data maps to travels as the same type.
#pragma once

#include <cstdint>

namespace tarvo {

enum class [[nodiscard]] Result : std::uint32_t {
  Ok = 0,
  TiffUnusable = 1,        // a TIFF to be joined or renamed cannot be opened or is not TIFF
  ScannerFailure = 2,      // not found, not probed, transport failure, unmapped sense
  UnknownParameter = 3,    // parameter ID not defined
  FileError = 4,           // create/write/read/seek/close failed; page position not in document
  InvalidValue = 5,        // invalid parameter value or output combination
  NoPaper = 6,             // feeder empty
  PaperJam = 7,
  MediumErrorQ1 = 8,       // medium error with qualifier 1
  IllegalRequest = 9,      // unlisted illegal request; unit attention
  NotReadyManual = 12,     // not ready, manual intervention required
  VerifyMismatch = 13,
  Aborted = 14,            // aborted by the scanner; page wait cancelled by the host
  ResourceFailure = 15,    // illegal request, system resource failure
  NotReady = 16,
  HardwareError = 17,      // medium error (other) or hardware error
  PageFlagged = 19,        // the scanner flagged the page (reported once)
  ParamListLength = 33,
  InvalidOpcode = 34,
  InvalidCdbField = 35,
  InvalidParamField = 37,  // LUN not supported or invalid field in parameter list
  SequenceError = 38,      // command sequence error, qualifier 0
  SequenceErrorQ1 = 39,    // command sequence error, qualifier 1
  IdentifyBits = 40,       // invalid bits in identify message
};

constexpr std::uint32_t ToCode(Result r) { return static_cast<std::uint32_t>(r); }
constexpr Result FromCode(std::uint32_t code) { return static_cast<Result>(code); }
constexpr bool Succeeded(Result r) { return r == Result::Ok; }

}  // namespace tarvo
