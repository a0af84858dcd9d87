// Files and folders over kernel32's ANSI calls: the Windows path is the host path, and the
// system applies its own rules for case, wildcards and double-byte names.
#include "platform/files.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "platform/types.h"

#include <windows.h>

namespace platform {

namespace {

constexpr DWORD kCopyBlock = 64u << 10;

::HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<::HANDLE>(value); }

bool FailWith(DWORD error) {
  ::SetLastError(error);
  return false;
}

std::uint64_t Combine(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

std::string IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return std::to_string(info.dwVolumeSerialNumber) + ":" +
         std::to_string(Combine(info.nFileIndexHigh, info.nFileIndexLow));
}

// Whether the last character of an ANSI path is a backslash of its own, not the trail byte of
// a double-byte character (許 is B3 5C in Big5).
bool EndsWithSeparator(std::string_view path) {
  bool separator = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    separator = path[i] == '\\' || path[i] == '/';
    if (::IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
      ++i;
      separator = false;
    }
  }
  return separator;
}

}  // namespace

// The host path is the Windows path itself, on a drive that exists.
std::optional<std::string> ResolveHostPath(const std::string& windowsPath) {
  char full[MAX_PATH];
  const DWORD n = ::GetFullPathNameA(windowsPath.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return std::nullopt;
  const char root[] = {full[0], ':', '\\', 0};
  if (full[1] != ':' || ::GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR) return std::nullopt;
  return windowsPath;
}

std::optional<std::string> WindowsPathOf(const std::string& hostPath) {
  char full[MAX_PATH];
  const DWORD n = ::GetFullPathNameA(hostPath.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return std::nullopt;
  return std::string(full, n);
}

DWORD GetFileAttributesA(const char* path) { return ::GetFileAttributesA(path); }

bool SetFileAttributesA(const char* path, DWORD attributes) {
  return ::SetFileAttributesA(path, attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes) != 0;
}

bool DeleteFileA(const char* path) { return ::DeleteFileA(path) != 0; }

// Without MOVEFILE_REPLACE_EXISTING a taken name fails with ERROR_ALREADY_EXISTS; another volume
// is reached by a copy.
bool MoveFileA(const char* from, const char* to) {
  return ::MoveFileExA(from, to, MOVEFILE_COPY_ALLOWED) != 0;
}

bool CreateDirectoryA(const char* path) { return ::CreateDirectoryA(path, nullptr) != 0; }

bool SetCurrentDirectoryA(const char* path) {
  if (!path) return FailWith(ERROR_INVALID_PARAMETER);
  return ::SetCurrentDirectoryA(path) != 0;
}

// Windows gives the current directory without its trailing backslash except at a drive's root.
std::string GetCurrentDirectoryA() {
  char buffer[MAX_PATH + 1];
  const DWORD n = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  if (n == 0 || n >= sizeof buffer) return {};
  std::string path(buffer, n);
  if (!EndsWithSeparator(path)) path += '\\';
  return path;
}

namespace {

// A name pattern that ends in a dot and has no other ("Style*."): Windows lists only names
// without an extension, Wine lists every name the pattern matches without its dot.
bool WantsNoExtension(std::string_view pattern) {
  const std::size_t name = pattern.find_last_of("\\/:") + 1;
  return pattern.size() > name && pattern.back() == '.' &&
         pattern.find('.', name) == pattern.size() - 1;
}

}  // namespace

std::vector<FindData> FindFiles(const std::string& pattern) {
  std::vector<FindData> found;
  if (pattern.empty()) return found;
  const bool noExtension = WantsNoExtension(pattern);
  WIN32_FIND_DATAA data;
  ::HANDLE search = ::FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    const std::string_view name = data.cFileName;
    if (name == "." || name == ".." || (noExtension && name.find('.') != name.npos)) continue;
    const bool folder = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    found.push_back({std::string(name), data.dwFileAttributes,
                     folder ? 0 : Combine(data.nFileSizeHigh, data.nFileSizeLow)});
  } while (::FindNextFileA(search, &data));
  ::FindClose(search);
  std::sort(found.begin(), found.end(), FindNameOrder);
  if (found.empty()) ::SetLastError(ERROR_FILE_NOT_FOUND);
  return found;
}

std::optional<std::uint64_t> GetFileSizeByPath(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::nullopt;
  return Combine(info.nFileSizeHigh, info.nFileSizeLow);
}

bool GetDiskFreeSpaceExA(const char* rootPath, std::uint64_t* freeBytesAvailable,
                         std::uint64_t* totalBytes, std::uint64_t* totalFreeBytes) {
  ULARGE_INTEGER available, total, free;
  if (!::GetDiskFreeSpaceExA(rootPath, &available, &total, &free)) return false;
  if (freeBytesAvailable) *freeBytesAvailable = available.QuadPart;
  if (totalBytes) *totalBytes = total.QuadPart;
  if (totalFreeBytes) *totalFreeBytes = free.QuadPart;
  return true;
}

// A link is opened itself (FILE_FLAG_OPEN_REPARSE_POINT), a folder too (backup semantics).
std::string GetFileIdentity(const std::string& path) {
  ::HANDLE handle = ::CreateFileA(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION info;
  std::string identity;
  if (::GetFileInformationByHandle(handle, &info)) identity = IdentityOf(info);
  ::CloseHandle(handle);
  return identity;
}

File::~File() { Close(); }

File::File(File&& other) noexcept { *this = std::move(other); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    failed_ = std::exchange(other.failed_, false);
    error_ = std::exchange(other.error_, 0);
  }
  return *this;
}

// Other processes may read, rename and delete the file while it is open, as on POSIX. A disc on
// Windows holds no links, so a file read from a CD-ROM drive cannot lie outside it.
bool File::Open(const std::string& path, Mode mode) {
  Close();
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_DELETE;
  ::HANDLE handle = INVALID_HANDLE_VALUE;
  if (mode == Mode::Read) {
    handle = ::CreateFileA(path.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  } else if (mode == Mode::CreateNew) {
    // CREATE_NEW fails on any entry of that name, a dangling link included.
    handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, kShare, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  } else {
    // Never written through a link; nor is a read-only file, which Windows refuses itself but
    // Wine run by root opens.
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY)))
      return FailWith(ERROR_ACCESS_DENIED);
    handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, kShare, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (handle == INVALID_HANDLE_VALUE) return false;
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    return FailWith(ERROR_BAD_FILE_TYPE);
  }
  fd_ = reinterpret_cast<std::intptr_t>(handle);
  failed_ = false;
  error_ = 0;
  return true;
}

std::size_t File::Read(void* buffer, std::size_t size) {
  if (fd_ < 0 || size == 0) return 0;
  std::size_t done = 0;
  while (done < size) {
    ::DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    if (!::ReadFile(AsHandle(fd_), static_cast<char*>(buffer) + done, want, &n, nullptr) ||
        n == 0)
      break;
    done += n;
  }
  return done;
}

std::size_t File::Write(const void* buffer, std::size_t size) {
  if (fd_ < 0 || size == 0 || failed_) return 0;
  std::size_t done = 0;
  while (done < size) {
    ::DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    if (!::WriteFile(AsHandle(fd_), static_cast<const char*>(buffer) + done, want, &n,
                     nullptr) ||
        n == 0) {
      if (::GetLastError() == ERROR_SUCCESS) ::SetLastError(ERROR_DISK_FULL);
      Fail();
      break;
    }
    done += n;
  }
  return done;
}

std::uint64_t File::CopyFrom(File& source, std::uint64_t size) {
  if (fd_ < 0 || source.fd_ < 0 || failed_) return 0;
  auto block = std::make_unique_for_overwrite<char[]>(kCopyBlock);
  std::uint64_t copied = 0;
  while (copied < size) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size - copied, kCopyBlock));
    const std::size_t got = source.Read(block.get(), want);
    if (got == 0 || Write(block.get(), got) != got) break;
    copied += got;
  }
  return copied;
}

std::optional<std::uint64_t> File::Size() const {
  LARGE_INTEGER size;
  if (fd_ < 0 || !::GetFileSizeEx(AsHandle(fd_), &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::string File::Identity() const {
  BY_HANDLE_FILE_INFORMATION info;
  if (fd_ < 0 || !::GetFileInformationByHandle(AsHandle(fd_), &info)) return {};
  return IdentityOf(info);
}

bool File::Flush() {
  if (fd_ < 0 || failed_) return false;
  if (!::FlushFileBuffers(AsHandle(fd_))) {
    Fail();
    return false;
  }
  return true;
}

bool File::Close() {
  if (fd_ < 0) return true;
  bool ok = !failed_;
  if (!::CloseHandle(AsHandle(fd_)) && ok) {
    ok = false;
    error_ = ::GetLastError();
  }
  if (!ok) ::SetLastError(error_);
  fd_ = -1;
  failed_ = false;
  error_ = 0;
  return ok;
}

// Private to the class, unused here: writes go straight to the system, which buffers them.
bool File::FlushBuffer() { return !failed_; }

}  // namespace platform
