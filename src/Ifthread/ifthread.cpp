// The worker thread of the font window, its locks and its request protocol.
#include "Ifthread/ifthread.h"

#include <exception>

namespace {

constexpr platform::DWORD kLockSlice = 500;

platform::HANDLE NewLock() { return platform::CreateMutexA(nullptr, false, nullptr); }

}  // namespace

void TIFLocks::Create() {
  ListLock = NewLock();
  RequestLock = NewLock();
  StartLock = NewLock();
}

void TIFLocks::Close() {
  for (auto* lock : {&ListLock, &RequestLock, &StartLock}) {
    const platform::HANDLE handle = lock->exchange(0);
    if (handle != 0) platform::CloseHandle(handle);
  }
}

void WaitLock(std::atomic<platform::HANDLE>& lock) {
  const bool serving = platform::IsMainThread();
  for (;;) {
    platform::HANDLE handle = lock.load();
    const platform::DWORD result = serving
                                       ? platform::WaitForSingleObjectServing(handle, kLockSlice)
                                       : platform::WaitForSingleObject(handle, kLockSlice);
    if (result == platform::WAIT_OBJECT_0) return;
    if (result == platform::WAIT_TIMEOUT) continue;
    if (result == platform::WAIT_ABANDONED) {
      // We hold the abandoned lock now; a fresh one replaces it, unless another waiter already
      // put one in the field.
      const platform::HANDLE fresh = NewLock();
      if (lock.compare_exchange_strong(handle, fresh)) {
        platform::CloseHandle(handle);
      } else {
        platform::ReleaseMutex(handle);
        platform::CloseHandle(fresh);
      }
      continue;
    }
    // A failed wait: the handle is broken (or was closed by a waiter that replaced it). Only
    // the first waiter to notice puts a new lock in its place, so that both threads keep using
    // one lock.
    const platform::HANDLE fresh = NewLock();
    if (!lock.compare_exchange_strong(handle, fresh)) platform::CloseHandle(fresh);
    if (fresh == 0) platform::Sleep(1);  // no lock could be made; try again shortly
  }
}

void ReleaseLock(const std::atomic<platform::HANDLE>& lock) { platform::ReleaseMutex(lock.load()); }

TIFThread::TIFThread(TIFWindow& window) : window_(window) {
  TLockHolder hold(window_.Locks().RequestLock);
  RecountRequest = 0;
  StyleRequest = 0;
  QuitRequest = 0;
  SetAllRequest = 0;
  SetAllValue = 0;
}

TIFThread::~TIFThread() {
  if (!Finished()) Stop();
}

void TIFThread::RequestRecount() {
  {
    TLockHolder hold(window_.Locks().RequestLock);
    RecountRequest = 1;
  }
  Wake();
}

void TIFThread::RequestStyleCount() {
  {
    TLockHolder hold(window_.Locks().RequestLock);
    StyleRequest = 1;
    RecountRequest = 1;
  }
  Wake();
}

void TIFThread::RequestSetAll(bool value) {
  {
    TLockHolder hold(window_.Locks().RequestLock);
    SetAllRequest = 1;
    SetAllValue = value ? 1 : 0;
  }
  Wake();
}

void TIFThread::RequestQuit() {
  {
    TLockHolder hold(window_.Locks().RequestLock);
    QuitRequest = 1;
  }
  Wake();
}

void TIFThread::Wake() {
  // Without a thread of its own the worker's jobs run here, on the window thread, so that the
  // counters still come and the controls that the counts enable come back.
  if (!Resume()) RunPendingJobs();
}

void TIFThread::RunPendingJobs() {
  for (JobKind job = TakeRequest(); job != NoJob; job = TakeRequest()) RunJob(job);
}

void TIFThread::Stop() {
  Terminate();
  Resume();
  // The job that is running may still hand steps to the window thread: keep serving them.
  if (platform::IsMainThread()) {
    while (!Finished()) {
      if (!platform::CheckSynchronize()) platform::Sleep(1);
    }
  }
  WaitFor();
}

bool TIFThread::Idle() {
  TLockHolder hold(window_.Locks().RequestLock);
  return asleep_ && !RecountRequest && !StyleRequest && !SetAllRequest && !QuitRequest;
}

TIFThread::JobKind TIFThread::TakeRequest() {
  TLockHolder hold(window_.Locks().RequestLock);
  if (QuitRequest) {
    Terminate();
    return NoJob;
  }
  if (StyleRequest) {
    StyleRequest = 0;
    return StyleCount;
  }
  if (SetAllRequest) {
    SetAllRequest = 0;
    RecountRequest = 1;
    takenSetAllValue_ = SetAllValue != 0;
    return SetAll;
  }
  if (RecountRequest) {
    RecountRequest = 0;
    return SelectionCount;
  }
  asleep_ = true;
  return NoJob;
}

void TIFThread::Execute() {
  // Passing StartLock once: the first job sees a fully loaded window.
  WaitLock(window_.Locks().StartLock);
  ReleaseLock(window_.Locks().StartLock);

  while (!Terminated()) {
    const JobKind job = TakeRequest();
    if (job != NoJob) {
      RunJob(job);
    } else {
      // A request posted after the look above has already left its wake-up pending, and a
      // terminated worker does not sleep.
      if (!Terminated()) SleepUntilWoken();
      asleep_ = false;
    }
  }
}

void TIFThread::RunJob(JobKind job) {
  Job = job;
  try {
    if (job == SetAll)
      RunSetAllJob();
    else
      RunCountJob(job);
  } catch (...) {
    // A failing step abandons its job; the window swallows such failures too.
  }
  Job = NoJob;
}

void TIFThread::RunCountJob(JobKind job) {
  Step = 0;
  TLockHolder hold(window_.Locks().ListLock);
  std::int64_t t = platform::WallClockSeconds();
  bool looking = true;
  bool stop = false;
  do {
    if (job == SelectionCount)
      platform::Synchronize([this] { window_.CountSelectionStep(Step); });
    else
      window_.CountStyleStep(Step);
    const std::int64_t u = platform::WallClockSeconds();
    // A job that has become slow stops looking at newer requests and runs to its end.
    if (looking && u - t < 2) {
      TLockHolder requests(window_.Locks().RequestLock);
      stop = StyleRequest || QuitRequest || (job == SelectionCount && RecountRequest);
      t = u;
    } else {
      looking = false;
    }
  } while (Step < 3 && !stop);
}

void TIFThread::RunSetAllJob() {
  TLockHolder hold(window_.Locks().ListLock);
  window_.SetAllChecks(takenSetAllValue_);
}
