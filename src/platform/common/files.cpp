// What every backend's files share: existence tests, free space as one number, whole-file reads
// and a stream's record of its failed write, over the raw calls of the header.
#include <algorithm>
#include <cstdint>

#include "platform/files.h"

namespace platform {

constexpr std::size_t kWholeFileLimit = 256u << 20;

bool DirectoryExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::int64_t FreeBytesOfDrive(const std::string& rootPath) {
  std::uint64_t available = 0;
  if (!GetDiskFreeSpaceExA(rootPath.c_str(), &available, nullptr, nullptr)) return -1;
  return static_cast<std::int64_t>(
      std::min<std::uint64_t>(available, static_cast<std::uint64_t>(INT64_MAX)));
}

void File::Fail() {
  failed_ = true;
  error_ = GetLastError();
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  File file;
  if (!file.Open(path, File::Mode::Read)) return std::nullopt;
  std::string content;
  char buffer[65536];
  while (std::size_t n = file.Read(buffer, sizeof buffer)) {
    content.append(buffer, n);
    if (content.size() > kWholeFileLimit) return std::nullopt;
  }
  if (!file.Close()) return std::nullopt;
  return content;
}

}  // namespace platform
