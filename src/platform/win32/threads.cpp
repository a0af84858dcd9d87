// Mutexes, threads and the synchronizer over kernel objects: the mutexes are the system's own
// (recursive, owned, abandoned by the system when their owner ends); the main thread waits on a
// mutex or a thread together with an event that says a routine was queued for it.
#include "platform/threads.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>

#include <windows.h>

namespace platform {
namespace {

// A routine handed to the main thread by Synchronize.
struct SyncRequest {
  const std::function<void()>* routine = nullptr;
  bool done = false;
  std::exception_ptr error;
};

struct Kernel {
  std::mutex lock;
  std::condition_variable finished;  // a queued routine has run
  std::deque<SyncRequest*> queue;
  // Set whenever a routine is queued; the main thread's waits include it.
  ::HANDLE queued = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);

  std::mutex wakeupLock;
  std::function<void()> wakeup;

  std::atomic<DWORD> mainThread{0};
  std::atomic<bool> threadCreationFailing{false};
};

Kernel& K() {
  // Never destroyed: threads that end during exit may still queue routines.
  static Kernel* kernel = new Kernel;
  return *kernel;
}

void NoteThread() {
  DWORD none = 0;
  K().mainThread.compare_exchange_strong(none, ::GetCurrentThreadId());
}

::HANDLE Native(HANDLE handle) { return reinterpret_cast<::HANDLE>(handle); }

// Runs every queued routine; main thread only.
bool RunQueued(Kernel& k) {
  std::deque<SyncRequest*> batch;
  {
    std::lock_guard guard(k.lock);
    batch.swap(k.queue);
  }
  if (batch.empty()) return false;
  for (SyncRequest* request : batch) {
    std::exception_ptr error;
    try {
      (*request->routine)();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard guard(k.lock);
    request->error = error;
    request->done = true;
  }
  k.finished.notify_all();
  return true;
}

// Waits for object; with serve set (the main thread), runs the routines queued meanwhile at
// once and goes on waiting for what is left of the time-out.
DWORD WaitServing(::HANDLE object, DWORD milliseconds, bool serve) {
  if (!serve) return ::WaitForSingleObject(object, milliseconds);
  Kernel& k = K();
  const ULONGLONG start = ::GetTickCount64();
  for (;;) {
    RunQueued(k);
    DWORD left = milliseconds;
    if (milliseconds != INFINITE) {
      const ULONGLONG spent = ::GetTickCount64() - start;
      left = spent >= milliseconds ? 0 : static_cast<DWORD>(milliseconds - spent);
    }
    const ::HANDLE objects[] = {object, k.queued};
    const DWORD result = ::WaitForMultipleObjects(2, objects, FALSE, left);
    if (result != WAIT_OBJECT_0 + 1) {
      if (result == WAIT_TIMEOUT) RunQueued(k);
      return result;
    }
  }
}

}  // namespace

// Named mutexes would reach other processes; the interface only knows unnamed ones, and a
// security descriptor has no meaning here, so both are passed as none.
HANDLE CreateMutexA(const void* /*security*/, BOOL initialOwner, const char* name) {
  NoteThread();
  return reinterpret_cast<HANDLE>(::CreateMutexA(nullptr, initialOwner, name));
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  NoteThread();
  return ::WaitForSingleObject(Native(handle), milliseconds);
}

DWORD WaitForSingleObjectServing(HANDLE handle, DWORD milliseconds) {
  return WaitServing(Native(handle), milliseconds, IsMainThread());
}

BOOL ReleaseMutex(HANDLE handle) { return ::ReleaseMutex(Native(handle)); }

BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(Native(handle)); }

void Sleep(DWORD milliseconds) {
  NoteThread();
  ::Sleep(milliseconds);
}

void SetMainThread() { K().mainThread.store(::GetCurrentThreadId()); }

bool IsMainThread() {
  NoteThread();
  return K().mainThread.load() == ::GetCurrentThreadId();
}

void Synchronize(const std::function<void()>& routine) {
  if (IsMainThread()) {
    routine();
    return;
  }
  Kernel& k = K();
  SyncRequest request;
  request.routine = &routine;
  {
    std::lock_guard guard(k.lock);
    k.queue.push_back(&request);
  }
  ::SetEvent(k.queued);
  std::function<void()> wakeup;
  {
    std::lock_guard guard(k.wakeupLock);
    wakeup = k.wakeup;
  }
  if (wakeup) wakeup();
  {
    std::unique_lock guard(k.lock);
    k.finished.wait(guard, [&] { return request.done; });
  }
  if (request.error) std::rethrow_exception(request.error);
}

bool CheckSynchronize() { return IsMainThread() && RunQueued(K()); }

std::function<void()> SetSynchronizeWakeup(std::function<void()> wakeup) {
  NoteThread();
  std::lock_guard guard(K().wakeupLock);
  std::swap(K().wakeup, wakeup);
  return wakeup;
}

bool SetThreadCreationFailing(bool failing) {
  return K().threadCreationFailing.exchange(failing);
}

// ---------------------------------------------------------------------------------------------

// The sleep is an auto-reset event rather than SuspendThread: a ResumeThread that comes while
// the thread is still awake would be lost, the event keeps it for the next sleep.
struct Thread::State {
  std::mutex lock;
  ::HANDLE thread = nullptr;  // the system thread, once created
  ::HANDLE woken = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ::HANDLE finished = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);  // Execute returned
  ::DWORD threadId = 0;
  bool started = false;
  bool failed = false;
  std::atomic<bool> terminated{false};

  ~State() {
    if (thread) ::CloseHandle(thread);
    ::CloseHandle(woken);
    ::CloseHandle(finished);
  }
};

Thread::Thread() : state_(std::make_unique<State>()) { NoteThread(); }

Thread::~Thread() {
  // One that runs must have been waited for, but waiting here is better than a thread that
  // runs on a destroyed object.
  if (state_->thread && !Finished()) {
    Terminate();
    WaitFor();
  }
}

bool Thread::Resume() {
  NoteThread();
  std::lock_guard guard(state_->lock);
  if (state_->failed) return false;
  if (state_->started) {
    ::SetEvent(state_->woken);
    return true;
  }
  state_->started = true;
  auto run = [](void* self) -> ::DWORD {
    Thread* thread = static_cast<Thread*>(self);
    try {
      thread->Execute();
    } catch (...) {
      // An exception that leaves Execute ends the thread, not the process.
    }
    ::SetEvent(thread->state_->finished);
    return 0;
  };
  if (!K().threadCreationFailing)
    state_->thread = ::CreateThread(nullptr, 0, run, this, 0, &state_->threadId);
  if (!state_->thread) {
    // A thread that never ran is over: whoever waits for it must not wait for ever.
    state_->failed = true;
    ::SetEvent(state_->finished);
    return false;
  }
  return true;
}

void Thread::Terminate() {
  state_->terminated = true;
  ::SetEvent(state_->woken);
}

bool Thread::Terminated() const { return state_->terminated.load(); }

void Thread::WaitFor() {
  NoteThread();
  bool neverStarted;
  {
    std::lock_guard guard(state_->lock);
    if (state_->started && state_->threadId == ::GetCurrentThreadId()) return;
    neverStarted = !state_->started;
  }
  if (neverStarted) Resume();
  // On the main thread, routines the thread hands over while it ends are run, or the two
  // threads would wait for each other.
  WaitServing(state_->finished, INFINITE, IsMainThread());
  if (state_->thread) ::WaitForSingleObject(state_->thread, INFINITE);
}

bool Thread::Finished() const {
  return ::WaitForSingleObject(state_->finished, 0) == WAIT_OBJECT_0;
}

void Thread::SleepUntilWoken() {
  if (state_->terminated) {
    ::ResetEvent(state_->woken);
    return;
  }
  ::WaitForSingleObject(state_->woken, INFINITE);
}

}  // namespace platform
