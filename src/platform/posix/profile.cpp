// Profile (INI) files on the host: a process-wide cache of parsed files, checked against the
// file on disc at every lookup, and the writer that tools use.
#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "platform/files.h"
#include "platform/posix/host.h"
#include "platform/posix/profile_parser.h"

namespace platform {
namespace {

using posix::ParsedProfile;

// A profile larger than this is not an INI file anyone wrote by hand; it reads as empty rather
// than filling memory.
constexpr off_t kMaxProfileBytes = 32 * 1024 * 1024;
constexpr std::size_t kMaxCachedFiles = 256;

// What identifies one version of a file: a rewrite changes the size or the modification time,
// a replacement by rename changes the inode.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modifiedNs = 0;

  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const struct stat& st) {
  return FileStamp{st.st_dev, st.st_ino, st.st_size,
                   std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec};
}

struct CacheEntry {
  FileStamp stamp;
  std::shared_ptr<const ParsedProfile> profile;
  std::uint64_t lastUse = 0;
};

class ProfileCache {
 public:
  std::shared_ptr<const ParsedProfile> Find(const std::string& hostPath, const FileStamp& stamp) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(hostPath);
    if (it == entries_.end() || !(it->second.stamp == stamp)) return nullptr;
    it->second.lastUse = ++clock_;
    return it->second.profile;
  }

  void Store(const std::string& hostPath, const FileStamp& stamp,
             std::shared_ptr<const ParsedProfile> profile) {
    std::lock_guard lock(mutex_);
    if (entries_.size() >= kMaxCachedFiles && !entries_.count(hostPath)) EvictOldest();
    entries_[hostPath] = CacheEntry{stamp, std::move(profile), ++clock_};
  }

  void Forget(const std::string& hostPath) {
    std::lock_guard lock(mutex_);
    entries_.erase(hostPath);
  }

 private:
  void EvictOldest() {
    auto oldest = entries_.begin();
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
      if (it->second.lastUse < oldest->second.lastUse) oldest = it;
    if (oldest != entries_.end()) entries_.erase(oldest);
  }

  std::mutex mutex_;
  std::unordered_map<std::string, CacheEntry> entries_;
  std::uint64_t clock_ = 0;
};

ProfileCache& Cache() {
  static ProfileCache* cache = new ProfileCache;  // used from any thread until exit
  return *cache;
}

// Reads the file behind fd; the stamp is taken before reading, so a change made while reading
// is seen at the next lookup.
std::optional<std::string> ReadOpenFile(int fd, off_t size) {
  std::string bytes(static_cast<std::size_t>(size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

std::shared_ptr<const ParsedProfile> LoadProfile(const char* fileName) {
  if (fileName == nullptr || *fileName == '\0') return ParsedProfile::Empty();
  std::optional<std::string> hostPath = ResolveHostPath(fileName);
  if (!hostPath) return ParsedProfile::Empty();

  struct stat st {};
  if (::stat(hostPath->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    Cache().Forget(*hostPath);
    return ParsedProfile::Empty();
  }
  if (auto cached = Cache().Find(*hostPath, StampOf(st))) return cached;

  // Non-blocking, so that a FIFO put in the file's place cannot hang the reader.
  int fd = ::open(hostPath->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return ParsedProfile::Empty();
  std::shared_ptr<const ParsedProfile> profile = ParsedProfile::Empty();
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    FileStamp stamp = StampOf(st);
    if (st.st_size <= kMaxProfileBytes) {
      if (auto bytes = ReadOpenFile(fd, st.st_size)) profile = ParsedProfile::Parse(*bytes);
    }
    Cache().Store(*hostPath, stamp, profile);
  }
  ::close(fd);
  return profile;
}

std::optional<std::string> ReadHostFile(const std::string& hostPath, bool& missing) {
  missing = false;
  int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    missing = errno == ENOENT;
    return missing ? std::optional<std::string>(std::string()) : std::nullopt;
  }
  struct stat st {};
  std::optional<std::string> bytes;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxProfileBytes)
    bytes = ReadOpenFile(fd, st.st_size);
  ::close(fd);
  return bytes;
}

// Writes bytes beside hostPath under a temporary name and renames it into place, so a reader
// never sees half a file.
bool ReplaceHostFile(const std::string& hostPath, const std::string& bytes, mode_t mode) {
  std::string temp = hostPath + ".~XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode) == 0;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), hostPath.c_str()) == 0;
  if (!ok) {
    int error = errno;
    ::unlink(temp.c_str());
    errno = error;
  }
  return ok;
}

}  // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* fileName) {
  if (buffer == nullptr || size == 0) return 0;
  auto profile = LoadProfile(fileName);
  return posix::CopyProfileString(*profile, section, key, defaultValue, buffer, size);
}

std::string ReadProfileString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
  auto profile = LoadProfile(fileName.c_str());
  return posix::ProfileValue(*profile, section, key, defaultValue, 2048);
}

std::vector<std::string> ReadProfileKeys(const std::string& fileName, const std::string& section,
                                         DWORD bufferSize) {
  auto profile = LoadProfile(fileName.c_str());
  return posix::ProfileKeys(*profile, section, bufferSize);
}

ProfileView OpenProfileFile(const std::string& fileName) {
  ProfileView view;
  view.parsed_ = LoadProfile(fileName.c_str());
  return view;
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName) {
  if (section == nullptr || fileName == nullptr || !posix::ValidProfileEdit(section, key, value)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::optional<std::string> hostPath = ResolveHostPath(fileName);
  if (!hostPath) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  // One writer at a time in this process, so that two edits of one file do not lose each other.
  static std::mutex writeMutex;
  std::lock_guard lock(writeMutex);

  bool missing = false;
  std::optional<std::string> bytes = ReadHostFile(*hostPath, missing);
  if (!bytes) {
    SetLastError(posix::ErrorFromErrno(errno ? errno : EIO));
    return false;
  }
  // A file that reads as binary would still read as empty after the edit.
  std::string_view content = *bytes;
  while (!content.empty() && content.back() == '\0') content.remove_suffix(1);
  if (content.find('\0') != std::string_view::npos) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!posix::EditProfileBytes(*bytes, section, key, value)) return true;

  // The rename would replace a read-only file that Windows refuses to write.
  mode_t mode = 0644;
  struct stat st {};
  if (!missing && ::stat(hostPath->c_str(), &st) == 0) {
    if (!(st.st_mode & S_IWUSR)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    mode = st.st_mode & 07777;
  }
  if (!ReplaceHostFile(*hostPath, *bytes, mode)) {
    SetLastError(posix::ErrorFromErrno(errno));
    return false;
  }
  Cache().Forget(*hostPath);
  return true;
}

}  // namespace platform
