#pragma once
// Test fixtures shared by every test program: a temporary prefix with its own settings, and
// temporary host folders.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// A fresh temporary folder, removed again when the object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// A temporary prefix: sets ZELVAFONT_PREFIX to a fresh folder, reopens the platform layer on it,
// and restores the environment when it goes out of scope. Language 1033 unless told otherwise.
class TempPrefix {
 public:
  explicit TempPrefix(unsigned short language = 1033);
  ~TempPrefix();
  const std::filesystem::path& path() const { return dir_.path(); }
  std::string str() const { return dir_.str(); }
  // The host folder of C:\windows\Fonts.
  std::filesystem::path fontsDir() const;

 private:
  TempDir dir_;
  std::string oldPrefix_;
  bool hadOldPrefix_ = false;
};

// Sets or clears the file-system immutable flag (root only); false when it cannot. The one way
// to make a file refuse writes to root, who ignores permission bits.
bool SetImmutable(const std::filesystem::path& path, bool on);

// Which system answers the platform calls, for the few cases whose answer is named in a test as
// differing between them: the POSIX backend, Windows itself, or Wine (Windows' API on Linux).
enum class System { Posix, Windows, Wine };
System RunningSystem();
// The code page in which the system itself reads ANSI text (the files' bytes among it): on
// Windows the machine's, whatever language a prefix sets; on POSIX the backend's own.
unsigned SystemCodePage();

// A host folder serving as a drive of the given type (a DRIVE_* value) while the object lives,
// with its volume label: on POSIX declared for this process in the prefix (again by Redeclare
// after the prefix was reopened); under Wine defined through Wine's mount manager, the label in
// the folder's .windows-label file, as winecfg makes drives. An empty folder is a drive without a
// medium. ok() is false when the drive could not be made.
class ScopedDrive {
 public:
  ScopedDrive(char letter, unsigned type, const std::filesystem::path& folder,
              const std::string& label = "");
  ~ScopedDrive();
  ScopedDrive(const ScopedDrive&) = delete;
  ScopedDrive& operator=(const ScopedDrive&) = delete;
  bool ok() const { return ok_; }
  bool Redeclare();

 private:
  char letter_;
  unsigned type_;
  std::filesystem::path folder_;
  std::string label_;
  bool ok_ = false;
};

// A file of the host system (fonts, tools) by its POSIX path, as this test program reaches it:
// the path itself on POSIX, through drive Z: (Wine's view of /) under Wine.
std::filesystem::path HostSystemPath(const std::string& posixPath);

// DejaVu Sans of the host, the TrueType file that tests and benchmarks copy; nullopt when the
// host lacks it.
inline std::optional<std::filesystem::path> HostTrueTypeFile() {
  std::filesystem::path file = HostSystemPath("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  return file;
}

// Sets an environment variable for this process and the programs it starts; nullopt removes it.
void SetEnvironment(const char* name, const std::optional<std::string>& value);

// Sets environment variables (nullopt removes one) while the object lives, and puts back what
// was there before.
class ScopedEnvironment {
 public:
  using Changes = std::vector<std::pair<std::string, std::optional<std::string>>>;
  explicit ScopedEnvironment(const Changes& changes) {
    for (const auto& [name, value] : changes) {
      const char* old = std::getenv(name.c_str());
      saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      SetEnvironment(name.c_str(), value);
    }
  }
  ~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
      SetEnvironment(it->first.c_str(), it->second);
  }
  ScopedEnvironment(ScopedEnvironment&&) = default;

 private:
  Changes saved_;
};

// Runs a shell command and returns what it wrote to standard output.
std::string Capture(const std::string& command);

// Writes bytes to a host file, creating its folders.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

}  // namespace testing_support
