// Windows paths on the host: resolution through the drive map, the current directory model,
// directory search with the Windows wildcard rules, attributes, and byte streams.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string_view>

#include "platform/posix/backend.h"
#include "platform/posix/host.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace platform {

namespace posix {

DWORD ErrorFromErrno(int error) {
  constexpr DWORD kGenFailure = 31, kDiskFull = 112, kDirNotEmpty = 145, kAlreadyExists = 183,
                  kNameTooLong = 206, kNotSameDevice = 17, kIoDevice = 1117;
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return ERROR_ACCESS_DENIED;
    case EEXIST: return kAlreadyExists;
    case ENOSPC:
    case EDQUOT: return kDiskFull;
    case ENOTEMPTY: return kDirNotEmpty;
    case ENAMETOOLONG: return kNameTooLong;
    case EXDEV: return kNotSameDevice;
    case EIO: return kIoDevice;
    case ENOMEDIUM: return ERROR_NOT_READY;
    default: return kGenFailure;
  }
}

}  // namespace posix

namespace {

constexpr DWORD kErrorAlreadyExists = 183;
constexpr std::size_t kWriteBuffer = 64u << 10;

bool FailWith(DWORD error) {
  SetLastError(error);
  return false;
}

bool FailWithErrno() { return FailWith(posix::ErrorFromErrno(errno)); }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The characters of an ANSI text: one byte, or a lead byte with its trail byte.
std::vector<std::string_view> SplitCharacters(std::string_view s, unsigned codePage) {
  std::vector<std::string_view> chars;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n =
        IsDBCSLeadByteEx(codePage, static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
    chars.push_back(s.substr(i, n));
    i += n;
  }
  return chars;
}

// Splits at backslashes and slashes that are characters of their own (a Big5 trail byte may
// be 0x5C) and drops empty parts.
std::vector<std::string> SplitComponents(std::string_view path, unsigned codePage) {
  std::vector<std::string> parts;
  std::string current;
  for (auto c : SplitCharacters(path, codePage)) {
    if (c.size() == 1 && IsSeparator(c[0])) {
      if (!current.empty()) parts.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

// A Windows path made absolute: drive letter and components without "." and "..".
struct WindowsPath {
  char letter = 0;
  std::vector<std::string> components;

  std::string Text(bool trailingBackslash) const {
    std::string text{letter, ':', '\\'};
    for (std::size_t i = 0; i < components.size(); ++i) {
      text += components[i];
      if (i + 1 < components.size() || trailingBackslash) text += '\\';
    }
    return text;
  }
};

// ".." stops at the drive root, as it does on Windows, so no path leaves the drive's folder.
void AppendComponents(WindowsPath& path, std::string_view relative, unsigned codePage) {
  for (auto& part : SplitComponents(relative, codePage)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!path.components.empty()) path.components.pop_back();
      continue;
    }
    path.components.push_back(std::move(part));
  }
}

struct CurrentDirectoryModel {
  std::mutex mutex;
  std::uint64_t generation = 0;
  WindowsPath path;
};

CurrentDirectoryModel& CurrentModel() {
  static CurrentDirectoryModel* model = new CurrentDirectoryModel;
  return *model;
}

std::optional<WindowsPath> ParseAbsolute(std::string_view text, unsigned codePage) {
  if (text.size() < 3 || text[1] != ':' || !std::isalpha(static_cast<unsigned char>(text[0])))
    return std::nullopt;
  WindowsPath path;
  path.letter = UpperAscii(text[0]);
  AppendComponents(path, text.substr(2), codePage);
  return path;
}

// The current directory; until one is set, the host's working folder when it lies on a drive,
// else C:\.
WindowsPath CurrentDirectory() {
  auto& model = CurrentModel();
  std::lock_guard lock(model.mutex);
  std::uint64_t generation = posix::PrefixGeneration();
  if (model.generation != generation) {
    model.generation = generation;
    model.path = WindowsPath{'C', {}};
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (!ec)
      if (auto windows = WindowsPathOf(cwd.string()))
        if (auto parsed = ParseAbsolute(*windows, GetACP())) model.path = *parsed;
  }
  return model.path;
}

std::optional<WindowsPath> ParseWindowsPath(std::string_view text) {
  if (text.empty()) return std::nullopt;
  unsigned codePage = GetACP();
  if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1]))
    return std::nullopt;  // UNC paths name no drive of ours
  if (text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]))) {
    WindowsPath path;
    path.letter = UpperAscii(text[0]);
    std::string_view rest = text.substr(2);
    if (rest.empty() || !IsSeparator(rest[0])) {
      // "D:foo" is relative to the current directory when it is on D:, else to D:'s root.
      WindowsPath current = CurrentDirectory();
      if (current.letter == path.letter) path = current;
    }
    AppendComponents(path, rest, codePage);
    return path;
  }
  WindowsPath path = CurrentDirectory();
  if (IsSeparator(text[0])) path.components.clear();
  AppendComponents(path, text, codePage);
  return path;
}

bool EntryExists(const std::string& hostPath) {
  struct stat st;
  return lstat(hostPath.c_str(), &st) == 0;
}

// The entry of folder whose name equals name without regard to ASCII case; the first in byte
// order when several do.
std::optional<std::string> FindIgnoringCase(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return std::nullopt;
  std::optional<std::string> found;
  while (dirent* entry = readdir(dir)) {
    std::string_view candidate = entry->d_name;
    if (EqualIgnoringAsciiCase(candidate, name) && (!found || candidate < *found))
      found = std::string(candidate);
  }
  closedir(dir);
  return found;
}

// The host path of a Windows path, or the Windows error that says why there is none.
std::optional<std::string> ResolveWindowsPath(const WindowsPath& path, DWORD* error) {
  auto drive = posix::FindDrive(path.letter);
  if (!drive) {
    *error = ERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  if (drive->hostFolder.empty()) {
    *error = ERROR_NOT_READY;
    return std::nullopt;
  }
  std::string host = drive->hostFolder;
  // Most paths name what exists under their exact names: one look settles them.
  std::string exactPath = host;
  bool convertible = true;
  for (const auto& component : path.components) {
    auto name = posix::AnsiToUtf8Strict(component);
    if (!name) {
      convertible = false;
      break;
    }
    exactPath += "/" + *name;
  }
  if (convertible && EntryExists(exactPath)) return exactPath;
  bool existing = true;
  for (const auto& component : path.components) {
    auto name = posix::AnsiToUtf8Strict(component);
    if (!name) {
      *error = ERROR_FILE_NOT_FOUND;  // no host name can carry it
      return std::nullopt;
    }
    std::string exact = host + "/" + *name;
    if (existing && !EntryExists(exact)) {
      if (auto other = FindIgnoringCase(host, *name)) {
        host += "/" + *other;
        continue;
      }
      existing = false;
    }
    host = std::move(exact);
  }
  return host;
}

std::optional<std::string> Resolve(const char* path, DWORD* error) {
  *error = ERROR_PATH_NOT_FOUND;
  if (!path) return std::nullopt;
  auto windows = ParseWindowsPath(path);
  if (!windows) return std::nullopt;
  return ResolveWindowsPath(*windows, error);
}

DWORD AttributesOf(const struct stat& st) {
  DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

enum class Links { Follow, Own };

// Stats the host entry of a Windows path (what a last link leads to, or the link itself),
// recording the Windows error on failure.
std::optional<std::string> StatPath(const char* path, struct stat* st,
                                    Links links = Links::Follow) {
  DWORD error;
  auto host = Resolve(path, &error);
  if (!host) {
    SetLastError(error);
    return std::nullopt;
  }
  if ((links == Links::Follow ? stat(host->c_str(), st) : lstat(host->c_str(), st)) != 0) {
    SetLastError(posix::ErrorFromErrno(errno));
    return std::nullopt;
  }
  return host;
}

// One character of a pattern or a name: a single byte folds to upper case, a double-byte
// character compares exactly.
bool SameCharacter(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() == 1) return UpperAscii(a[0]) == UpperAscii(b[0]);
  return a == b;
}

bool MatchCharacters(const std::vector<std::string_view>& pattern,
                     const std::vector<std::string_view>& name) {
  std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == "*") {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == "?" || SameCharacter(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == "*") ++p;
  return p == pattern.size();
}

std::size_t CountDots(const std::vector<std::string_view>& chars) {
  return std::count(chars.begin(), chars.end(), std::string_view("."));
}

// The Windows rules of a directory search: "*" and "*.*" match every name, a trailing "."
// asks for names with no extension beyond the pattern's own dots, and "x.*" also matches "x".
bool MatchWindowsPattern(std::string_view pattern, std::string_view name, unsigned codePage) {
  if (pattern == "*" || pattern == "*.*") return true;
  auto nameChars = SplitCharacters(name, codePage);
  if (pattern.size() > 1 && pattern.back() == '.') {
    while (!pattern.empty() && pattern.back() == '.') pattern.remove_suffix(1);
    auto patternChars = SplitCharacters(pattern, codePage);
    return CountDots(nameChars) == CountDots(patternChars) &&
           MatchCharacters(patternChars, nameChars);
  }
  auto patternChars = SplitCharacters(pattern, codePage);
  if (MatchCharacters(patternChars, nameChars)) return true;
  if (pattern.size() > 2 && pattern.ends_with(".*") && CountDots(nameChars) == 0) {
    patternChars.resize(patternChars.size() - 2);
    return MatchCharacters(patternChars, nameChars);
  }
  return false;
}

}  // namespace

std::optional<std::string> ResolveHostPath(const std::string& windowsPath) {
  DWORD error;
  return Resolve(windowsPath.c_str(), &error);
}

std::optional<std::string> WindowsPathOf(const std::string& hostPath) {
  std::error_code ec;
  fs::path absolute = fs::absolute(hostPath, ec).lexically_normal();
  if (ec) return std::nullopt;
  auto relativeTo = [](const fs::path& path, const fs::path& root) -> std::optional<fs::path> {
    fs::path relative = path.lexically_relative(root);
    if (relative.empty() || *relative.begin() == "..") return std::nullopt;
    return relative;
  };
  // The drive with the longest host folder that holds the path; the canonical forms too, since
  // a working folder comes back with its links resolved.
  const posix::Drive* best = nullptr;
  fs::path bestRelative;
  auto drives = posix::DriveMap();
  for (bool canonical : {false, true}) {
    fs::path path = canonical ? fs::weakly_canonical(absolute, ec) : absolute;
    if (ec) continue;
    for (const auto& drive : drives) {
      if (drive.hostFolder.empty()) continue;
      fs::path root = fs::path(drive.hostFolder).lexically_normal();
      if (canonical) root = fs::weakly_canonical(root, ec);
      if (ec) continue;
      auto relative = relativeTo(path, root);
      if (relative && (!best || drive.hostFolder.size() > best->hostFolder.size())) {
        best = &drive;
        bestRelative = *relative;
      }
    }
    if (best) break;
  }
  if (!best) return std::nullopt;
  std::string windows{best->letter, ':', '\\'};
  bool first = true;
  for (const auto& part : bestRelative) {
    if (part == "." || part.empty()) continue;
    auto ansi = posix::Utf8ToAnsiStrict(part.string());
    if (!ansi) return std::nullopt;
    if (!first) windows += '\\';
    windows += *ansi;
    first = false;
  }
  return windows;
}

DWORD GetFileAttributesA(const char* path) {
  struct stat st;
  auto host = StatPath(path, &st, Links::Own);
  if (!host) return INVALID_FILE_ATTRIBUTES;
  if (!S_ISLNK(st.st_mode)) return AttributesOf(st);
  struct stat target;
  if (stat(host->c_str(), &target) != 0) return FILE_ATTRIBUTE_REPARSE_POINT;
  return AttributesOf(target) | FILE_ATTRIBUTE_REPARSE_POINT;
}

bool SetFileAttributesA(const char* path, DWORD attributes) {
  struct stat st;
  auto host = StatPath(path, &st, Links::Own);
  if (!host) return false;
  if (S_ISLNK(st.st_mode)) return true;  // a link has no attributes of its own here
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~mode_t{0222}) : (mode | S_IWUSR);
  if (fchmodat(AT_FDCWD, host->c_str(), mode, 0) != 0) return FailWithErrno();
  return true;
}

bool DeleteFileA(const char* path) {
  struct stat st;
  auto host = StatPath(path, &st, Links::Own);
  if (!host) return false;
  // Windows refuses to delete folders and read-only files here.
  if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && (AttributesOf(st) & FILE_ATTRIBUTE_READONLY)))
    return FailWith(ERROR_ACCESS_DENIED);
  if (unlink(host->c_str()) != 0) return FailWithErrno();
  return true;
}

namespace {

// Copies a file to a new name (which must not exist) for a move across file systems.
bool CopyToNewFile(const std::string& from, const std::string& to) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return FailWithErrno();
  struct stat st;
  fstat(in, &st);
  int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
  if (out < 0) {
    close(in);
    return FailWithErrno();
  }
  char buffer[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0 || write(out, buffer, static_cast<std::size_t>(n)) != n) {
      ok = false;
      break;
    }
  }
  int savedErrno = errno;
  if (close(out) != 0) ok = false;
  close(in);
  if (!ok) {
    unlink(to.c_str());
    errno = savedErrno;
    return FailWithErrno();
  }
  return true;
}

}  // namespace

bool MoveFileA(const char* from, const char* to) {
  struct stat st;
  auto source = StatPath(from, &st, Links::Own);
  if (!source) return false;
  DWORD error;
  auto target = Resolve(to, &error);
  if (!target) return FailWith(error);
  if (EntryExists(*target)) return FailWith(kErrorAlreadyExists);
  if (renameat2(AT_FDCWD, source->c_str(), AT_FDCWD, target->c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno == EEXIST) return FailWith(kErrorAlreadyExists);
  if ((errno == EINVAL || errno == ENOSYS) && S_ISREG(st.st_mode)) {
    // A file system without the no-replace rename: a hard link takes the name only when it is
    // free, then the old name goes.
    if (link(source->c_str(), target->c_str()) == 0) {
      unlink(source->c_str());
      return true;
    }
    if (errno == EEXIST) return FailWith(kErrorAlreadyExists);
  }
  if (errno == EXDEV && S_ISREG(st.st_mode)) {
    if (!CopyToNewFile(*source, *target)) return false;
    if (unlink(source->c_str()) != 0) {
      unlink(target->c_str());
      return FailWithErrno();
    }
    return true;
  }
  return FailWithErrno();
}

bool CreateDirectoryA(const char* path) {
  DWORD error;
  auto host = Resolve(path, &error);
  if (!host) return FailWith(error);
  if (mkdir(host->c_str(), 0777) != 0) return FailWithErrno();
  return true;
}

bool SetCurrentDirectoryA(const char* path) {
  if (!path) return FailWith(ERROR_INVALID_PARAMETER);
  auto windows = ParseWindowsPath(path);
  if (!windows) return FailWith(ERROR_PATH_NOT_FOUND);
  DWORD error;
  auto host = ResolveWindowsPath(*windows, &error);
  if (!host) return FailWith(error);
  struct stat st;
  if (stat(host->c_str(), &st) != 0) return FailWithErrno();
  if (!S_ISDIR(st.st_mode)) return FailWith(ERROR_PATH_NOT_FOUND);
  auto& model = CurrentModel();
  std::lock_guard lock(model.mutex);
  if (chdir(host->c_str()) != 0) return FailWithErrno();
  model.generation = posix::PrefixGeneration();
  model.path = *windows;
  return true;
}

std::string GetCurrentDirectoryA() { return CurrentDirectory().Text(true); }

std::vector<FindData> FindFiles(const std::string& pattern) {
  std::vector<FindData> found;
  if (pattern.empty()) return found;
  unsigned codePage = GetACP();
  // The folder part ends at the last separator that is a character of its own.
  std::size_t split = std::string::npos;
  std::size_t i = 0;
  for (auto c : SplitCharacters(pattern, codePage)) {
    if (c.size() == 1 && IsSeparator(c[0])) split = i;
    i += c.size();
  }
  std::string folder, namePattern;
  if (split != std::string::npos) {
    folder = pattern.substr(0, split + 1);
    namePattern = pattern.substr(split + 1);
  } else if (pattern.size() >= 2 && pattern[1] == ':') {
    folder = pattern.substr(0, 2) + ".";
    namePattern = pattern.substr(2);
  } else {
    folder = ".";
    namePattern = pattern;
  }
  if (namePattern.empty()) return found;
  DWORD error;
  auto host = Resolve(folder.c_str(), &error);
  if (!host) {
    SetLastError(error);
    return found;
  }
  DIR* dir = opendir(host->c_str());
  if (!dir) {
    SetLastError(posix::ErrorFromErrno(errno));
    return found;
  }
  while (dirent* entry = readdir(dir)) {
    std::string_view hostName = entry->d_name;
    if (hostName == "." || hostName == "..") continue;
    // A host name without an ANSI form cannot be opened by its ANSI name: it is not listed.
    auto name = posix::Utf8ToAnsiStrict(hostName);
    if (!name || !MatchWindowsPattern(namePattern, *name, codePage)) continue;
    struct stat st;
    if (fstatat(dirfd(dir), entry->d_name, &st, 0) != 0 &&
        fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
      continue;
    FindData data;
    data.name = std::move(*name);
    data.attributes = AttributesOf(st);
    data.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    found.push_back(std::move(data));
  }
  closedir(dir);
  std::sort(found.begin(), found.end(), FindNameOrder);
  if (found.empty()) SetLastError(ERROR_FILE_NOT_FOUND);
  return found;
}

std::optional<std::uint64_t> GetFileSizeByPath(const std::string& path) {
  struct stat st;
  if (!StatPath(path.c_str(), &st) || S_ISDIR(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool GetDiskFreeSpaceExA(const char* rootPath, std::uint64_t* freeBytesAvailable,
                         std::uint64_t* totalBytes, std::uint64_t* totalFreeBytes) {
  std::string path = rootPath ? rootPath : GetCurrentDirectoryA();
  DWORD error;
  auto host = Resolve(path.c_str(), &error);
  if (!host) return FailWith(error);
  struct statvfs vfs;
  if (statvfs(host->c_str(), &vfs) != 0) return FailWithErrno();
  std::uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  if (freeBytesAvailable) *freeBytesAvailable = vfs.f_bavail * unit;
  if (totalBytes) *totalBytes = vfs.f_blocks * unit;
  if (totalFreeBytes) *totalFreeBytes = vfs.f_bfree * unit;
  return true;
}

namespace {

// True when the real place of an open file, links followed, lies inside the drive's folder.
// Only CD-ROM drives are held to it: the prefix's own drive reaches the Fonts folder through a
// link by design.
bool InsideItsDrive(const WindowsPath& path, int fd) {
  auto drive = posix::FindDrive(path.letter);
  if (!drive || drive->type != DRIVE_CDROM || drive->hostFolder.empty()) return true;
  char root[PATH_MAX];
  if (!realpath(drive->hostFolder.c_str(), root)) return false;
  char real[PATH_MAX];
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = readlink(self.c_str(), real, sizeof real - 1);
  if (n <= 0) return false;
  const std::string_view file(real, static_cast<std::size_t>(n));
  const std::string_view folder(root);
  if (folder == "/") return true;
  return file.size() > folder.size() && file.substr(0, folder.size()) == folder &&
         file[folder.size()] == '/';
}

std::string IdentityOf(const struct stat& st) {
  return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
         std::to_string(static_cast<unsigned long long>(st.st_ino));
}

}  // namespace

std::string GetFileIdentity(const std::string& path) {
  DWORD error;
  auto host = Resolve(path.c_str(), &error);
  struct stat st;
  if (!host || lstat(host->c_str(), &st) != 0) return {};
  return IdentityOf(st);
}

File::~File() { Close(); }

File::File(File&& other) noexcept
    : fd_(other.fd_),
      failed_(other.failed_),
      error_(other.error_),
      buffer_(std::move(other.buffer_)),
      buffered_(other.buffered_) {
  other.fd_ = -1;
  other.buffered_ = 0;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    failed_ = other.failed_;
    error_ = other.error_;
    buffer_ = std::move(other.buffer_);
    buffered_ = other.buffered_;
    other.fd_ = -1;
    other.buffered_ = 0;
  }
  return *this;
}

bool File::Open(const std::string& path, Mode mode) {
  Close();
  failed_ = false;
  auto windows = ParseWindowsPath(path);
  if (!windows) return FailWith(ERROR_PATH_NOT_FOUND);
  DWORD error;
  auto host = ResolveWindowsPath(*windows, &error);
  if (!host) return FailWith(error);
  int fd = -1;
  if (mode == Mode::Read) {
    // Non-blocking, so that a pipe in a file's place cannot keep the open waiting for a writer.
    fd = open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return FailWithErrno();
    struct stat st;
    DWORD refusal = ERROR_SUCCESS;
    if (fstat(fd, &st) != 0) refusal = posix::ErrorFromErrno(errno);
    else if (S_ISDIR(st.st_mode)) refusal = ERROR_ACCESS_DENIED;
    else if (!S_ISREG(st.st_mode)) refusal = ERROR_BAD_FILE_TYPE;
    else if (!InsideItsDrive(*windows, fd)) refusal = ERROR_CANT_ACCESS_FILE;
    else if (int flags = fcntl(fd, F_GETFL); flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
      refusal = posix::ErrorFromErrno(errno);
    if (refusal != ERROR_SUCCESS) {
      close(fd);
      return FailWith(refusal);
    }
  } else if (mode == Mode::CreateNew) {
    fd = open(host->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return FailWith(errno == EEXIST ? ERROR_FILE_EXISTS : posix::ErrorFromErrno(errno));
  } else {
    struct stat st;
    if (lstat(host->c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) return FailWith(ERROR_ACCESS_DENIED);
      // A read-only file is not opened for writing, not even by root; nor is a file through a
      // link.
      if (S_ISLNK(st.st_mode) || !(st.st_mode & S_IWUSR)) return FailWith(ERROR_ACCESS_DENIED);
    }
    fd = open(host->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
              0644);
    if (fd < 0) return FailWithErrno();
    struct stat opened;
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      close(fd);
      return FailWith(ERROR_BAD_FILE_TYPE);
    }
  }
  fd_ = fd;
  return true;
}

std::size_t File::Read(void* buffer, std::size_t size) {
  if (fd_ < 0 || size == 0) return 0;
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = read(fd_, static_cast<char*>(buffer) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastError(posix::ErrorFromErrno(errno));
      break;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

namespace {

// Writes all of size bytes; false (with the error recorded) when the file took fewer.
bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetLastError(posix::ErrorFromErrno(n < 0 ? errno : ENOSPC));
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool File::FlushBuffer() {
  if (buffered_ == 0) return !failed_;
  const bool ok = WriteAll(fd_, buffer_.get(), buffered_);
  buffered_ = 0;
  if (!ok) Fail();
  return ok;
}

std::size_t File::Write(const void* buffer, std::size_t size) {
  if (fd_ < 0 || size == 0 || failed_) return 0;
  // Blocks gather in a 64 KB buffer, so a copy's 8 KB blocks go out in whole writes.
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kWriteBuffer);
  if (buffered_ + size > kWriteBuffer && !FlushBuffer()) return 0;
  if (size >= kWriteBuffer) {
    if (WriteAll(fd_, static_cast<const char*>(buffer), size)) return size;
    Fail();
    return 0;
  }
  std::memcpy(buffer_.get() + buffered_, buffer, size);
  buffered_ += size;
  return size;
}

std::uint64_t File::CopyFrom(File& source, std::uint64_t size) {
  if (fd_ < 0 || source.fd_ < 0 || failed_ || !FlushBuffer()) return 0;
  std::uint64_t copied = 0;
  bool kernel = true;
  char block[65536];
  while (copied < size) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size - copied, 1u << 30));
    if (kernel) {
      ssize_t n = copy_file_range(source.fd_, nullptr, fd_, nullptr, want, 0);
      if (n > 0) {
        copied += static_cast<std::uint64_t>(n);
        continue;
      }
      if (n == 0) break;
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP &&
          errno != EPERM) {
        SetLastError(posix::ErrorFromErrno(errno));
        Fail();
        break;
      }
      kernel = false;  // this pair of files cannot: go through the process
    }
    const std::size_t got = source.Read(block, std::min(want, sizeof block));
    if (got == 0) break;
    if (!WriteAll(fd_, block, got)) {
      Fail();
      break;
    }
    copied += got;
  }
  return copied;
}

std::optional<std::uint64_t> File::Size() const {
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size) + buffered_;
}

std::string File::Identity() const {
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) return {};
  return IdentityOf(st);
}

bool File::Flush() {
  if (fd_ < 0) return false;
  if (!FlushBuffer()) return false;
  if (fdatasync(fd_) != 0 && errno != EINVAL) {
    SetLastError(posix::ErrorFromErrno(errno));
    Fail();
    return false;
  }
  return true;
}

bool File::Close() {
  if (fd_ < 0) return true;
  bool ok = FlushBuffer() && !failed_;
  if (close(fd_) != 0 && ok) {
    ok = false;
    error_ = posix::ErrorFromErrno(errno);
  }
  if (!ok) SetLastError(error_);
  fd_ = -1;
  failed_ = false;
  error_ = 0;
  return ok;
}

}  // namespace platform
