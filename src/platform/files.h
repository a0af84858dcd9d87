#pragma once
// Files and folders named by Windows paths ("D:\TTF\tmp\Info", relative paths against the
// current directory). Components split at backslashes that are not double-byte trail bytes,
// convert to UTF-8, and match host names without regard to case when the exact name is missing.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace platform {

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

// The host path (UTF-8) of a Windows path, resolved through the drive map with the case-
// insensitive fallback for every existing component; std::nullopt when the drive is unknown or
// has no medium. The last components need not exist.
std::optional<std::string> ResolveHostPath(const std::string& windowsPath);

// The Windows path of a host path that lies on a known drive (C: or a declared drive);
// std::nullopt otherwise.
std::optional<std::string> WindowsPathOf(const std::string& hostPath);

// INVALID_FILE_ATTRIBUTES when missing. A link answers for itself, as a reparse point does on
// Windows: the attributes of what it leads to plus FILE_ATTRIBUTE_REPARSE_POINT, or that bit
// alone when it leads nowhere, so a dangling link still takes up its name.
DWORD GetFileAttributesA(const char* path);
// 0 or FILE_ATTRIBUTE_NORMAL clears the read-only attribute; FILE_ATTRIBUTE_READONLY sets it.
// A link keeps what it leads to unchanged: attributes are never set through a link.
bool SetFileAttributesA(const char* path, DWORD attributes);
// Deletes a file, or a link itself (never what it leads to).
bool DeleteFileA(const char* path);
// Fails with ERROR_ALREADY_EXISTS when the target name is taken, also when it is taken at the
// same moment by another process: the rename never replaces a file.
bool MoveFileA(const char* from, const char* to);
bool CreateDirectoryA(const char* path);

// Folder exists: attributes readable and carrying the directory bit. File exists: an entry
// that is not a folder.
bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);

// The current directory as a Windows path ("D:\TTF\"); setting it also makes the host folder
// the process's working folder. Returns false (and changes nothing) for a missing folder.
bool SetCurrentDirectoryA(const char* path);
std::string GetCurrentDirectoryA();

// One entry of a directory search.
struct FindData {
  std::string name;  // ANSI
  DWORD attributes = 0;
  std::uint64_t size = 0;
};

// The entries of a folder that match the last component of pattern ("Style*.", "*.ttf",
// "a?.jpg"), with the Windows rules: '*' any run, '?' one character, no case distinction,
// a trailing "." matching names without an extension. Sorted by name (FindNameOrder); "." and
// ".." excluded.
std::vector<FindData> FindFiles(const std::string& pattern);

// The order NTFS lists names in, whatever the folder's file system: ASCII letters without
// regard to case, then bytes.
inline bool FindNameOrder(const FindData& a, const FindData& b) {
  auto upper = [](char c) { return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 32 : c); };
  const std::size_t n = a.name.size() < b.name.size() ? a.name.size() : b.name.size();
  for (std::size_t i = 0; i < n; ++i)
    if (upper(a.name[i]) != upper(b.name[i])) return upper(a.name[i]) < upper(b.name[i]);
  if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
  return a.name < b.name;
}

// The size of the file named by path, found by a directory search on the exact path;
// std::nullopt when there is no such file.
std::optional<std::uint64_t> GetFileSizeByPath(const std::string& path);

// GetDiskFreeSpaceExA: the free bytes available to the caller on the drive of rootPath.
bool GetDiskFreeSpaceExA(const char* rootPath, std::uint64_t* freeBytesAvailable,
                         std::uint64_t* totalBytes, std::uint64_t* totalFreeBytes);
// The same as one number: -1 when it cannot be determined.
std::int64_t FreeBytesOfDrive(const std::string& rootPath);

// What identifies a file while it exists (the volume and the file's number on it), so that a
// later look can tell the same file from another one that took its name. Empty when missing.
// A link is identified itself, not what it leads to.
std::string GetFileIdentity(const std::string& path);

// A byte-exact file stream on a Windows path.
//
// Read opens only regular files: a folder fails with ERROR_ACCESS_DENIED, a pipe or a device with
// ERROR_BAD_FILE_TYPE (without ever waiting for a writer). A file on a CD-ROM drive whose real
// place, links followed, lies outside the drive fails with ERROR_CANT_ACCESS_FILE: nothing on a
// disc can name a file elsewhere. CreateNew makes a new file and fails with ERROR_FILE_EXISTS
// when anything, a dangling link included, has the name; it never writes through a link.
class File {
 public:
  enum class Mode { Read, WriteTruncate, CreateNew };
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  bool Open(const std::string& path, Mode mode);
  bool IsOpen() const { return fd_ >= 0; }
  std::size_t Read(void* buffer, std::size_t size);         // 0 at the end or on error
  std::size_t Write(const void* buffer, std::size_t size);  // bytes written
  // Copies up to size bytes from source's position to this file's end, through the kernel
  // where it can (no detour through this process); returns the bytes copied, fewer at the end
  // of the source or on an error (GetLastError tells which).
  std::uint64_t CopyFrom(File& source, std::uint64_t size);
  // The open file's size and identity (see GetFileIdentity).
  std::optional<std::uint64_t> Size() const;
  std::string Identity() const;
  // Writes out what is buffered and asks the system to put the file on the disk; false (with
  // GetLastError) when it could not.
  bool Flush();
  bool Close();  // false when a buffered write failed

 private:
  bool FlushBuffer();
  void Fail();  // notes the error GetLastError holds

  std::intptr_t fd_ = -1;           // a file descriptor, or a Windows file handle
  bool failed_ = false;             // a write failed; Close reports it
  DWORD error_ = 0;                 // and why
  std::unique_ptr<char[]> buffer_;  // the write buffer
  std::size_t buffered_ = 0;
};

// Reads a whole (small) file; std::nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace platform
