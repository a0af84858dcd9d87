// The drive map: C: in the prefix, the declared drives, and the mounted ISO 9660 / UDF discs.
#include "platform/drives.h"

#include <blkid/blkid.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#include "platform/files.h"
#include "platform/posix/backend.h"
#include "platform/posix/host.h"
#include "platform/text.h"

namespace platform {
namespace posix {
namespace {

constexpr DWORD kErrorBadLength = 24;

// Mount-table fields escape blanks, tabs, newlines and backslashes as \ooo.
std::string UnescapeMountField(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() &&
        std::isdigit(static_cast<unsigned char>(field[i + 1])) &&
        std::isdigit(static_cast<unsigned char>(field[i + 2])) &&
        std::isdigit(static_cast<unsigned char>(field[i + 3]))) {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                               (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  while (pos < line.size()) {
    std::size_t end = line.find(' ', pos);
    if (end == std::string_view::npos) end = line.size();
    if (end > pos) fields.push_back(line.substr(pos, end - pos));
    pos = end + 1;
  }
  return fields;
}

// udev's names in /dev/disk/by-label escape unsafe characters as \xHH.
std::string UnescapeUdevName(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
        std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
        std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
      out += static_cast<char>(std::stoi(std::string(name.substr(i + 2, 2)), nullptr, 16));
      i += 3;
    } else {
      out += name[i];
    }
  }
  return out;
}

// The label under which udev lists the medium with this device number, if any.
std::string LabelFromUdev(const std::string& deviceNumber) {
  unsigned major = 0, minor = 0;
  if (std::sscanf(deviceNumber.c_str(), "%u:%u", &major, &minor) != 2) return {};
  DIR* dir = opendir("/dev/disk/by-label");
  if (!dir) return {};
  std::string label;
  while (dirent* entry = readdir(dir)) {
    struct stat st;
    if (entry->d_name[0] == '.' || fstatat(dirfd(dir), entry->d_name, &st, 0) != 0) continue;
    if (S_ISBLK(st.st_mode) && ::major(st.st_rdev) == major && ::minor(st.st_rdev) == minor) {
      label = UnescapeUdevName(entry->d_name);
      break;
    }
  }
  closedir(dir);
  return label;
}

struct OpticalMedium {
  OpticalMount mount;
  std::string label;
};

constexpr const char* kKernelMountTable = "/proc/self/mountinfo";

// The mounted discs, read again only when the kernel says the mount table changed (it flags the
// open mountinfo file for poll) and its text then differs. Another table file is read again at
// every look.
class MountWatch {
 public:
  ~MountWatch() { Reset(kKernelMountTable); }

  void Reset(const std::string& path) {
    Reopen();
    read_ = false;
    text_.clear();
    media_.clear();
    path_ = path;
  }

  // True when media changed since the last call.
  bool Refresh() {
    if (path_ != kKernelMountTable) Reopen();  // it may have been replaced by a new file
    if (fd_ < 0) {
      if (triedOpen_) return false;
      triedOpen_ = true;
      fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd_ < 0) return false;
    } else if (path_ == kKernelMountTable) {
      pollfd p{fd_, POLLPRI, 0};
      if (poll(&p, 1, 0) <= 0 || !(p.revents & (POLLPRI | POLLERR))) return false;
    }
    std::string text = ReadAll();
    if (read_ && text == text_) return false;
    read_ = true;
    text_ = std::move(text);
    media_.clear();
    for (auto& mount : ParseOpticalMounts(text_)) {
      std::string label = ReadVolumeLabel(mount.device, LabelFromUdev(mount.deviceNumber));
      media_.push_back({std::move(mount), std::move(label)});
    }
    return true;
  }

  const std::vector<OpticalMedium>& media() const { return media_; }

 private:
  void Reopen() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    triedOpen_ = false;
  }

  std::string ReadAll() {
    std::string text;
    if (lseek(fd_, 0, SEEK_SET) != 0) return text;
    char buffer[8192];
    for (;;) {
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }

  std::string path_ = kKernelMountTable;
  int fd_ = -1;
  bool triedOpen_ = false;
  bool read_ = false;
  std::string text_;
  std::vector<OpticalMedium> media_;
};

struct DriveCache {
  std::mutex mutex;
  std::uint64_t generation = 0;
  std::vector<Drive> base;  // C: and the declared drives
  std::vector<Drive> drives;
  MountWatch mounts;
  std::map<std::string, char> letters;  // device number of a mounted disc -> its letter
};

DriveCache& Cache() {
  static DriveCache* cache = new DriveCache;  // used from any thread until exit
  return *cache;
}

std::vector<Drive> BaseDrives() {
  std::vector<Drive> drives;
  try {
    drives.push_back({'C', DRIVE_FIXED, DriveCHostDir(), "", "NTFS"});
  } catch (const std::exception&) {
    // An unusable prefix has no drive C:; the other drives still work.
  }
  for (const auto& d : CurrentSettings().drives) {
    if (d.letter == 'C') continue;
    std::string fileSystem = d.type == DRIVE_CDROM ? "CDFS" : "NTFS";
    drives.push_back({d.letter, d.type, d.hostFolder, d.label, fileSystem});
  }
  return drives;
}

// A disc keeps its letter while it stays mounted, as a Windows drive does: when an earlier disc
// goes, the later ones do not move up (a launcher holding "E:\" would lose its disc). New discs
// take the first free letters from D: on.
std::vector<Drive> Assemble(const std::vector<Drive>& base, const std::vector<OpticalMedium>& media,
                            std::map<std::string, char>& letters) {
  std::vector<Drive> drives = base;
  std::set<char> taken;
  for (const auto& d : base) taken.insert(d.letter);
  std::map<std::string, char> kept;
  for (const auto& medium : media) {
    auto known = letters.find(medium.mount.deviceNumber);
    if (known != letters.end() && taken.insert(known->second).second)
      kept[medium.mount.deviceNumber] = known->second;
  }
  char next = 'D';
  for (const auto& medium : media) {
    char& letter = kept[medium.mount.deviceNumber];
    if (letter == 0) {
      while (next <= 'Z' && taken.count(next)) ++next;
      if (next > 'Z') {
        kept.erase(medium.mount.deviceNumber);
        continue;
      }
      letter = next;
      taken.insert(next);
    }
    drives.push_back({letter, DRIVE_CDROM, medium.mount.mountPoint, medium.label,
                      medium.mount.fileSystem == "udf" ? "UDF" : "CDFS"});
  }
  letters = std::move(kept);
  std::sort(drives.begin(), drives.end(),
            [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
  return drives;
}

// The letter of a root such as "D:\", "d:" or "D:/"; the current drive for null.
std::optional<char> LetterOfRoot(const char* root) {
  std::string path = root ? root : GetCurrentDirectoryA();
  if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0])))
    return std::nullopt;
  if (root && path.size() > 3) return std::nullopt;
  if (root && path.size() == 3 && path[2] != '\\' && path[2] != '/') return std::nullopt;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
}

bool HasMedium(const Drive& drive) {
  struct stat st;
  return !drive.hostFolder.empty() && stat(drive.hostFolder.c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode);
}

DWORD SerialNumberOf(const Drive& drive) {
  std::uint32_t hash = 2166136261u;
  for (char c : std::string(1, drive.letter) + drive.label + drive.hostFolder)
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return hash;
}

bool CopyOut(const std::string& text, char* buffer, DWORD size) {
  if (!buffer) return true;
  if (text.size() + 1 > size) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

std::vector<OpticalMount> ParseOpticalMounts(std::string_view mountinfo) {
  std::vector<OpticalMount> mounts;
  std::set<std::string> seen;
  std::size_t pos = 0;
  while (pos < mountinfo.size()) {
    std::size_t end = mountinfo.find('\n', pos);
    if (end == std::string_view::npos) end = mountinfo.size();
    auto fields = SplitFields(mountinfo.substr(pos, end - pos));
    pos = end + 1;
    // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
    auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
    if (fields.size() < 5 || dash == fields.end() || fields.end() - dash < 3) continue;
    std::string_view fileSystem = dash[1];
    if (fileSystem != "iso9660" && fileSystem != "udf") continue;
    std::string deviceNumber(fields[2]);
    if (!seen.insert(deviceNumber).second) continue;  // a bind mount of a medium already listed
    mounts.push_back({UnescapeMountField(fields[4]), std::string(fileSystem),
                      UnescapeMountField(dash[2]), deviceNumber});
  }
  return mounts;
}

std::string ReadVolumeLabel(const std::string& device, const std::string& fallback) {
  int fd = open(device.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  std::string label = fallback;
  if (blkid_probe probe = blkid_new_probe()) {
    if (blkid_probe_set_device(probe, fd, 0, 0) == 0) {
      blkid_probe_enable_superblocks(probe, 1);
      blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE);
      const char* value = nullptr;
      if (blkid_do_safeprobe(probe) == 0 &&
          blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0 && value)
        label = value;
    }
    blkid_free_probe(probe);
  }
  close(fd);
  return label;
}

// The drive map brought up to date; the caller holds the cache's lock.
static const std::vector<Drive>& CurrentDrivesLocked() {
  auto& cache = Cache();
  bool changed = false;
  std::uint64_t generation = PrefixGeneration();
  if (generation != cache.generation) {
    cache.base = BaseDrives();
    cache.generation = generation;
    changed = true;
  }
  if (cache.mounts.Refresh()) changed = true;
  if (changed) cache.drives = Assemble(cache.base, cache.mounts.media(), cache.letters);
  return cache.drives;
}

std::vector<Drive> DriveMap() {
  std::lock_guard lock(Cache().mutex);
  return CurrentDrivesLocked();
}

void SetMountTableFile(const std::string& path) {
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  cache.mounts.Reset(path.empty() ? kKernelMountTable : path);
  cache.letters.clear();
  cache.generation = 0;  // assembled again at the next look
}

std::optional<Drive> FindDrive(char letter) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  // Every path a program names comes here: copy the one drive, not the map.
  std::lock_guard lock(Cache().mutex);
  for (const auto& drive : CurrentDrivesLocked())
    if (drive.letter == letter) return drive;
  return std::nullopt;
}

}  // namespace posix

DWORD GetLogicalDriveStringsA(DWORD bufferLength, char* buffer) {
  auto drives = posix::DriveMap();
  if (drives.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  DWORD needed = static_cast<DWORD>(drives.size() * 4 + 1);
  if (!buffer || needed > bufferLength) return needed;
  char* out = buffer;
  for (const auto& drive : drives) {
    *out++ = drive.letter;
    *out++ = ':';
    *out++ = '\\';
    *out++ = '\0';
  }
  *out = '\0';
  return needed - 1;
}

DWORD GetDriveTypeA(const char* rootPath) {
  auto letter = posix::LetterOfRoot(rootPath);
  if (!letter) return DRIVE_NO_ROOT_DIR;
  auto drive = posix::FindDrive(*letter);
  return drive ? drive->type : DRIVE_NO_ROOT_DIR;
}

bool GetVolumeInformationA(const char* rootPath, char* volumeName, DWORD volumeNameSize,
                           DWORD* serialNumber, DWORD* maxComponentLength,
                           DWORD* fileSystemFlags, char* fileSystemName,
                           DWORD fileSystemNameSize) {
  auto letter = posix::LetterOfRoot(rootPath);
  auto drive = letter ? posix::FindDrive(*letter) : std::nullopt;
  if (!drive) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  if (!posix::HasMedium(*drive)) {
    SetLastError(ERROR_NOT_READY);
    return false;
  }
  std::string label = Utf8ToAnsi(drive->label);
  if ((volumeName && label.size() + 1 > volumeNameSize) ||
      (fileSystemName && drive->fileSystem.size() + 1 > fileSystemNameSize)) {
    SetLastError(posix::kErrorBadLength);
    return false;
  }
  posix::CopyOut(label, volumeName, volumeNameSize);
  posix::CopyOut(drive->fileSystem, fileSystemName, fileSystemNameSize);
  if (serialNumber) *serialNumber = posix::SerialNumberOf(*drive);
  if (maxComponentLength) *maxComponentLength = 255;
  if (fileSystemFlags) {
    constexpr DWORD kCasePreserved = 0x2, kUnicodeOnDisk = 0x4, kReadOnlyVolume = 0x80000;
    *fileSystemFlags = drive->type == DRIVE_CDROM ? kUnicodeOnDisk | kReadOnlyVolume
                                                  : kCasePreserved | kUnicodeOnDisk;
  }
  return true;
}

}  // namespace platform
