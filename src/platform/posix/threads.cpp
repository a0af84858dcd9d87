// Windows mutexes, the synchronizer and the sleeping thread on top of the C++ thread library.
//
// All mutex objects and the synchronizer's queue share one lock and one condition variable, so
// that the main thread can wait for "the mutex came free OR a routine was queued" in a single
// wait: a release and a queued routine both wake it at once.
#include "platform/threads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr DWORD kErrorNotOwner = 288;  // ERROR_NOT_OWNER
constexpr HANDLE kFirstHandle = 0x1004;

struct OwnerRecord;

struct MutexObject {
  OwnerRecord* owner = nullptr;  // the owning thread's record, null when free
  unsigned count = 0;            // recursion depth of the owner
  bool abandoned = false;        // the last owner ended holding it; told to the next taker
};

// A routine handed to the main thread by Synchronize.
struct SyncRequest {
  const std::function<void()>* routine = nullptr;
  bool done = false;
  std::exception_ptr error;
};

struct Kernel {
  std::mutex lock;
  std::condition_variable changed;  // a mutex came free, a routine was queued or finished, a thread ended
  std::unordered_map<HANDLE, std::shared_ptr<MutexObject>> handles;
  HANDLE nextHandle = kFirstHandle;
  std::deque<SyncRequest*> queue;

  std::mutex wakeupLock;
  std::function<void()> wakeup;

  std::atomic<std::thread::id> mainThread{};
  std::atomic<bool> threadCreationFailing{false};
};

Kernel& K() {
  // Never destroyed: threads that end during exit still release their mutexes here.
  static Kernel* kernel = new Kernel;
  return *kernel;
}

// The mutexes a thread owns. When the thread ends, its record's destructor abandons whatever it
// still holds and wakes the waiters, as Windows does for a thread that ends holding a mutex.
struct OwnerRecord {
  std::vector<std::shared_ptr<MutexObject>> owned;  // guarded by Kernel::lock

  ~OwnerRecord() {
    Kernel& k = K();
    std::lock_guard guard(k.lock);
    if (owned.empty()) return;
    for (auto& mutex : owned) {
      mutex->owner = nullptr;
      mutex->count = 0;
      mutex->abandoned = true;
    }
    owned.clear();
    k.changed.notify_all();
  }
};

OwnerRecord& CurrentOwner() {
  thread_local OwnerRecord record;
  return record;
}

void NoteThread() {
  std::thread::id none{};
  K().mainThread.compare_exchange_strong(none, std::this_thread::get_id());
}

std::shared_ptr<MutexObject> FindMutexLocked(Kernel& k, HANDLE handle) {
  auto it = k.handles.find(handle);
  return it == k.handles.end() ? nullptr : it->second;
}

// Takes the mutex for the calling thread when it is free or already the caller's.
std::optional<DWORD> TryAcquireLocked(MutexObject& mutex, OwnerRecord& me,
                                      const std::shared_ptr<MutexObject>& keep) {
  if (mutex.owner == &me) {
    ++mutex.count;
    return WAIT_OBJECT_0;
  }
  if (mutex.owner != nullptr) return std::nullopt;
  mutex.owner = &me;
  mutex.count = 1;
  me.owned.push_back(keep);
  if (mutex.abandoned) {
    mutex.abandoned = false;
    return WAIT_ABANDONED;
  }
  return WAIT_OBJECT_0;
}

// Runs every queued routine; called on the main thread with the kernel lock held, which it
// releases around each routine.
bool RunQueuedLocked(Kernel& k, std::unique_lock<std::mutex>& guard) {
  if (k.queue.empty()) return false;
  std::deque<SyncRequest*> batch;
  batch.swap(k.queue);
  for (SyncRequest* request : batch) {
    guard.unlock();
    std::exception_ptr error;
    try {
      (*request->routine)();
    } catch (...) {
      error = std::current_exception();
    }
    guard.lock();
    request->error = error;
    request->done = true;
  }
  k.changed.notify_all();
  return true;
}

// Waits on the kernel's condition until ready() holds or the time-out ends. With serve set (the
// main thread), queued routines run while it waits. Returns ready()'s final value.
template <typename Ready>
bool WaitLocked(Kernel& k, std::unique_lock<std::mutex>& guard, DWORD milliseconds, bool serve,
                Ready ready) {
  using Clock = std::chrono::steady_clock;
  const bool forever = milliseconds == INFINITE;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
  for (;;) {
    if (ready()) return true;
    if (serve && RunQueuedLocked(k, guard)) continue;
    if (forever) {
      k.changed.wait(guard);
    } else if (k.changed.wait_until(guard, deadline) == std::cv_status::timeout) {
      if (serve) RunQueuedLocked(k, guard);
      return ready();
    }
  }
}

DWORD WaitForMutex(HANDLE handle, DWORD milliseconds, bool serve) {
  NoteThread();
  Kernel& k = K();
  OwnerRecord& me = CurrentOwner();
  std::unique_lock guard(k.lock);
  std::shared_ptr<MutexObject> mutex = FindMutexLocked(k, handle);
  if (!mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::optional<DWORD> result;
  // The waiter keeps its own reference, so a close by another thread during the wait is safe.
  WaitLocked(k, guard, milliseconds, serve, [&] {
    result = TryAcquireLocked(*mutex, me, mutex);
    return result.has_value();
  });
  return result.value_or(WAIT_TIMEOUT);
}

}  // namespace

HANDLE CreateMutexA(const void* /*security*/, BOOL initialOwner, const char* /*name*/) {
  NoteThread();
  Kernel& k = K();
  OwnerRecord& me = CurrentOwner();
  auto mutex = std::make_shared<MutexObject>();
  std::lock_guard guard(k.lock);
  HANDLE handle = k.nextHandle;
  k.nextHandle += 4;  // handles are never reused, so a stale one stays invalid
  k.handles.emplace(handle, mutex);
  if (initialOwner) TryAcquireLocked(*mutex, me, mutex);
  return handle;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMutex(handle, milliseconds, false);
}

DWORD WaitForSingleObjectServing(HANDLE handle, DWORD milliseconds) {
  return WaitForMutex(handle, milliseconds, IsMainThread());
}

BOOL ReleaseMutex(HANDLE handle) {
  NoteThread();
  Kernel& k = K();
  OwnerRecord& me = CurrentOwner();
  std::lock_guard guard(k.lock);
  std::shared_ptr<MutexObject> mutex = FindMutexLocked(k, handle);
  if (!mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (mutex->owner != &me) {
    SetLastError(kErrorNotOwner);
    return 0;
  }
  if (--mutex->count == 0) {
    mutex->owner = nullptr;
    std::erase(me.owned, mutex);
    k.changed.notify_all();
  }
  return 1;
}

BOOL CloseHandle(HANDLE handle) {
  NoteThread();
  Kernel& k = K();
  std::lock_guard guard(k.lock);
  if (k.handles.erase(handle) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return 1;
}

void Sleep(DWORD milliseconds) {
  NoteThread();
  if (milliseconds == 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void SetMainThread() { K().mainThread.store(std::this_thread::get_id()); }

bool IsMainThread() {
  NoteThread();
  return K().mainThread.load() == std::this_thread::get_id();
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
    k.changed.notify_all();
  }
  std::function<void()> wakeup;
  {
    std::lock_guard guard(k.wakeupLock);
    wakeup = k.wakeup;
  }
  if (wakeup) wakeup();
  {
    std::unique_lock guard(k.lock);
    k.changed.wait(guard, [&] { return request.done; });
  }
  if (request.error) std::rethrow_exception(request.error);
}

bool CheckSynchronize() {
  if (!IsMainThread()) return false;
  Kernel& k = K();
  std::unique_lock guard(k.lock);
  return RunQueuedLocked(k, guard);
}

std::function<void()> SetSynchronizeWakeup(std::function<void()> wakeup) {
  NoteThread();
  std::lock_guard guard(K().wakeupLock);
  std::swap(K().wakeup, wakeup);
  return wakeup;
}

// ---------------------------------------------------------------------------------------------

struct Thread::State {
  std::mutex lock;
  std::condition_variable woken;
  bool started = false;      // the OS thread exists
  bool wakePending = false;  // a wake-up not yet taken by SleepUntilWoken
  std::atomic<bool> terminated{false};
  bool finished = false;     // Execute returned; guarded by the kernel lock
  bool failed = false;       // the OS thread could not be created
  std::thread thread;
  std::mutex joinLock;
};

Thread::Thread() : state_(std::make_unique<State>()) { NoteThread(); }

Thread::~Thread() {
  // A thread that was never started has nothing to join; one that runs must have been waited
  // for, but joining here is still better than std::terminate.
  if (state_->thread.joinable()) {
    Terminate();
    WaitFor();
  }
}

bool Thread::Resume() {
  NoteThread();
  std::lock_guard guard(state_->lock);
  if (state_->failed) return false;
  if (!state_->started) {
    state_->started = true;
    try {
      if (K().threadCreationFailing)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      state_->thread = std::thread([this] {
        try {
          Execute();
        } catch (...) {
          // An exception that leaves Execute ends the thread, not the process.
        }
        Kernel& k = K();
        std::lock_guard done(k.lock);
        state_->finished = true;
        k.changed.notify_all();
      });
    } catch (const std::system_error&) {
      // A thread that never ran is over: whoever waits for it must not wait for ever.
      state_->failed = true;
      Kernel& k = K();
      std::lock_guard done(k.lock);
      state_->finished = true;
      k.changed.notify_all();
      return false;
    }
    return true;
  }
  state_->wakePending = true;
  state_->woken.notify_all();
  return true;
}

bool SetThreadCreationFailing(bool failing) {
  return K().threadCreationFailing.exchange(failing);
}

void Thread::Terminate() {
  std::lock_guard guard(state_->lock);
  state_->terminated = true;
  state_->woken.notify_all();
}

bool Thread::Terminated() const { return state_->terminated.load(); }

void Thread::WaitFor() {
  NoteThread();
  {
    std::lock_guard guard(state_->lock);
    if (state_->started && state_->thread.get_id() == std::this_thread::get_id()) return;
  }
  bool neverStarted;
  {
    std::lock_guard guard(state_->lock);
    neverStarted = !state_->started;
  }
  if (neverStarted) Resume();
  {
    // On the main thread, routines the thread hands over while it ends are run, or the two
    // threads would wait for each other.
    Kernel& k = K();
    std::unique_lock guard(k.lock);
    WaitLocked(k, guard, INFINITE, IsMainThread(), [&] { return state_->finished; });
  }
  std::lock_guard join(state_->joinLock);
  if (state_->thread.joinable()) state_->thread.join();
}

bool Thread::Finished() const {
  std::lock_guard guard(K().lock);
  return state_->finished;
}

void Thread::SleepUntilWoken() {
  std::unique_lock guard(state_->lock);
  state_->woken.wait(guard, [&] { return state_->wakePending || state_->terminated.load(); });
  state_->wakePending = false;
}

}  // namespace platform
