#include "Os.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <thread>
#endif

namespace tarvo::sim::os {

#ifdef _WIN32

void SignalEvent(void* postProc) {
  if (postProc != nullptr) SetEvent(static_cast<HANDLE>(postProc));
}

void SleepMs(std::uint32_t ms) { Sleep(ms); }

namespace {
// The thread holds a reference on the module that contains this code and
// drops it as it ends, so that the provider library cannot be unloaded
// under a thread that is still returning from a completed request.
DWORD WINAPI WorkerMain(LPVOID param) {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&WorkerMain),
                     &self);
  (*static_cast<std::function<void()>*>(param))();
  if (self != nullptr) FreeLibraryAndExitThread(self, 0);
  return 0;
}
}  // namespace

bool Worker::Run(std::function<void()> job) {
  Join();
  job_ = new std::function<void()>(std::move(job));
  HANDLE thread = CreateThread(nullptr, 0, WorkerMain, job_, 0, nullptr);
  if (thread == nullptr) {
    delete job_;
    job_ = nullptr;
    return false;
  }
  handle_ = thread;
  return true;
}

void Worker::Join() {
  if (handle_ != nullptr) {
    WaitForSingleObject(static_cast<HANDLE>(handle_), INFINITE);
    CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
  }
  delete job_;
  job_ = nullptr;
}

#else

void SignalEvent(void* postProc) {
  if (postProc == nullptr) return;
  const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(postProc));
  const std::uint64_t one = 1;
  // A failed write leaves the waiter waiting, as a lost event would on Windows.
  [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
}

void SleepMs(std::uint32_t ms) {
  timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  nanosleep(&t, nullptr);
}

bool Worker::Run(std::function<void()> job) {
  Join();
  job_ = new std::function<void()>(std::move(job));
  handle_ = new std::thread([job = job_] { (*job)(); });
  return true;
}

void Worker::Join() {
  if (handle_ != nullptr) {
    auto* thread = static_cast<std::thread*>(handle_);
    thread->join();
    delete thread;
    handle_ = nullptr;
  }
  delete job_;
  job_ = nullptr;
}

#endif

Worker::~Worker() { Join(); }

}  // namespace tarvo::sim::os
