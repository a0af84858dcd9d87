// The run lock as LockFileEx on PREFIX\run.lock: the system lets go of it when the holder's
// process ends, and it belongs to one open handle, so two runs of one process exclude each other.
#include "platform/runlock.h"

#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/prefix.h"
#include "platform/win32/backend.h"

#include <windows.h>

namespace platform {

bool RunLock::TryAcquire() {
  if (handle_ >= 0) return true;
  std::wstring folder;
  try {
    folder = win32::ToWide(PrefixDir(), CP_UTF8);
  } catch (const std::exception&) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  // The prefix folder is made by its first setting; a run may come before any.
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  const std::wstring path = folder + L"\\run.lock";
  const ::HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED whole{};
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                    MAXDWORD, &whole)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    ::SetLastError(error == ERROR_IO_PENDING ? ERROR_LOCK_VIOLATION : error);
    return false;
  }
  // Kernel handles fit in 32 bits (HandleToLong), and they are never negative.
  handle_ = ::HandleToLong(file);
  return true;
}

void RunLock::Release() {
  if (handle_ < 0) return;
  ::CloseHandle(::LongToHandle(handle_));  // closing the handle lets go of the lock
  handle_ = -1;
}

}  // namespace platform
