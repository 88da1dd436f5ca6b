// The simulator's only operating-system needs: signalling an ASPI completion
// event, a worker thread that completes pending requests, and a short sleep.
// Os.cpp holds both implementations behind #ifdef _WIN32.
#pragma once

#include <cstdint>
#include <functional>

namespace tarvo::sim::os {

// Signals the event of SRB_PostProc: SetEvent(HANDLE) on Windows; an 8-byte
// write of 1 to the eventfd stored as (void *)(intptr_t)fd elsewhere.
// A null event is ignored.
void SignalEvent(void* postProc);

void SleepMs(std::uint32_t ms);

// One background job at a time. Run() starts `job` on a new thread; Join()
// waits for it to end (also done by the destructor and by the next Run()).
class Worker {
 public:
  Worker() = default;
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  ~Worker();

  // False when no thread could be started (the job then did not run).
  bool Run(std::function<void()> job);
  void Join();

 private:
  void* handle_ = nullptr;  // HANDLE on Windows, std::thread* elsewhere
  std::function<void()>* job_ = nullptr;
};

}  // namespace tarvo::sim::os
