// The simulated SCSI bus: host adapters with devices at their targets, as an
// ASPI provider. It records every command (CDB, data out, data in, outcome),
// can write a wire log, and completes requests either inside SendCommand or
// later from a worker thread that signals the request's event.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Device.h"
#include "Os.h"
#include "Scanner.h"
#include "scsi/AspiProvider.h"

namespace tarvo::sim {

// One command as the bus saw it.
struct CommandRecord {
  std::uint8_t adapter = 0;
  std::uint8_t target = 0;
  std::vector<std::uint8_t> cdb;
  std::uint8_t flags = 0;             // SRB_Flags as sent
  std::uint32_t bufferLength = 0;     // SRB_BufLen
  std::vector<std::uint8_t> dataOut;  // the data the host sent
  std::vector<std::uint8_t> dataIn;   // the data returned (image data only when kept)
  std::size_t transferred = 0;
  std::uint8_t srbStatus = 0;
  std::uint8_t hostAdapterStatus = 0;
  std::uint8_t targetStatus = 0;
  std::array<std::uint8_t, wire::kSenseLength> sense{};  // valid when targetStatus is 2

  std::uint8_t Opcode() const { return cdb.empty() ? 0 : cdb[0]; }
};

enum class Completion : std::uint8_t {
  kSynchronous,  // SendCommand finishes the request and returns its SRB status
  kPending,  // SendCommand returns SS_PENDING; a worker thread finishes it and signals the event
};

class Bus final : public aspi::Provider {
 public:
  explicit Bus(std::uint8_t adapters = 1) : adapters_(adapters) {}
  ~Bus() override;

  // ---- aspi::Provider ------------------------------------------------------------
  std::uint32_t GetSupportInfo() override;
  std::uint32_t SendCommand(aspi::SrbExecScsiCmd* srb) override;

  // ---- building ----------------------------------------------------------------------
  void SetAdapterCount(std::uint8_t adapters) { adapters_ = adapters; }
  std::uint8_t AdapterCount() const { return adapters_; }
  // GetSupportInfo answers this status instead of SS_COMP (e.g. SS_NO_ADAPTERS).
  void SetSupportStatus(std::uint8_t status) { supportStatus_ = status; }
  Rt650& AddScanner(std::uint8_t adapter, std::uint8_t target, ScannerInfo info = {});
  void AddDevice(std::uint8_t adapter, std::uint8_t target, const Identity& identity);
  // The scanner at (adapter, target), or null.
  Rt650* ScannerAt(std::uint8_t adapter, std::uint8_t target);
  void SetCompletion(Completion mode, std::uint32_t delayMs = 0);
  // Keep the image data of READ 0x00 in the record (off: only its length).
  void KeepImageData(bool keep) { keepImageData_ = keep; }
  // Keep the record of every command and the scanners' record of every sheet
  // (on by default). The provider library turns it off: a batch of any
  // length then holds no more than one sheet's worth of history.
  void KeepHistory(bool keep);
  // Appends one line per command to `path`; false when it cannot be opened.
  bool OpenWireLog(const std::string& path);

  // ---- inspecting ----------------------------------------------------------------------
  // Waits for a pending request to finish first.
  const std::vector<CommandRecord>& Records();
  void ClearRecords();

 private:
  struct Slot {
    std::uint8_t adapter;
    std::uint8_t target;
    std::unique_ptr<Device> device;
    Rt650* scanner;  // the same device when it is an RT650
  };
  Slot* Find(std::uint8_t adapter, std::uint8_t target);
  void Place(std::uint8_t adapter, std::uint8_t target, std::unique_ptr<Device> device,
             Rt650* scanner);
  void Execute(aspi::SrbExecScsiCmd* srb);
  void Log(const CommandRecord& record);

  std::uint8_t adapters_;
  std::uint8_t supportStatus_ = aspi::kSsComp;
  std::vector<Slot> slots_;
  Completion completion_ = Completion::kSynchronous;
  std::uint32_t delayMs_ = 0;
  bool keepImageData_ = false;
  bool keepHistory_ = true;
  std::vector<CommandRecord> records_;
  std::FILE* wireLog_ = nullptr;
  os::Worker worker_;
};

}  // namespace tarvo::sim
