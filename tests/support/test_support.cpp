// Temporary folders and prefixes for the tests.
#include "support/test_support.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/language.h"
#include "platform/text.h"
#include "platform/prefix.h"

namespace testing_support {

namespace {

// Every test program runs in a home of its own: HOME and XDG_DATA_HOME point into a temporary
// folder and ZELVAFONT_PREFIX is unset, so that a test that forgets its TempPrefix reaches the
// default prefix and Fonts folder there, never the user's real ones. Such a test then fails,
// naming what it made; started programs inherit the same home.
class SandboxHome : public ::testing::Environment {
 public:
  void SetUp() override {
    home_ = std::make_unique<TempDir>();
    setenv("HOME", home_->str().c_str(), 1);
    setenv("XDG_DATA_HOME", DataHome().c_str(), 1);
    unsetenv("ZELVAFONT_PREFIX");
    platform::ReopenPrefix();
  }

  void TearDown() override {
    for (const std::filesystem::path& made : {DataHome() / "zelvafont",
                                               DataHome() / "fonts" / "zelvafont"}) {
      if (std::filesystem::exists(made))
        ADD_FAILURE() << "a test used the default prefix and made " << made.string()
                      << " (it would have been the user's own); give it a TempPrefix";
    }
    home_.reset();
  }

 private:
  std::filesystem::path DataHome() const { return home_->path() / ".local" / "share"; }

  std::unique_ptr<TempDir> home_;
};

[[maybe_unused]] ::testing::Environment* const kSandboxHome =
    ::testing::AddGlobalTestEnvironment(new SandboxHome);

}  // namespace

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "zftest-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("cannot create a temporary folder");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only folders made by tests must not stop the clean-up.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

TempPrefix::TempPrefix(unsigned short language) {
  if (const char* old = std::getenv("ZELVAFONT_PREFIX")) {
    oldPrefix_ = old;
    hadOldPrefix_ = true;
  }
  setenv("ZELVAFONT_PREFIX", dir_.str().c_str(), 1);
  platform::ReopenPrefix();
  platform::SetSystemLanguageSetting(language);
}

TempPrefix::~TempPrefix() {
  if (hadOldPrefix_)
    setenv("ZELVAFONT_PREFIX", oldPrefix_.c_str(), 1);
  else
    unsetenv("ZELVAFONT_PREFIX");
  platform::ReopenPrefix();
}

std::filesystem::path TempPrefix::fontsDir() const {
  return dir_.path() / "drive_c" / "windows" / "Fonts";
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

bool SetImmutable(const std::filesystem::path& path, bool on) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  close(fd);
  return done;
}

ScopedDrive::ScopedDrive(char letter, unsigned type, const std::filesystem::path& folder,
                         const std::string& label)
    : letter_(letter), type_(type), folder_(folder), label_(label) {
  ok_ = Redeclare();
}

ScopedDrive::~ScopedDrive() {
  platform::ForgetDrive(letter_, platform::DeclarationScope::Process);
}

bool ScopedDrive::Redeclare() {
  platform::DriveDeclaration drive;
  drive.letter = letter_;
  drive.type = type_;
  drive.hostFolder = folder_.string();
  drive.label = label_;
  return platform::DeclareDrive(drive, platform::DeclarationScope::Process);
}

void SetEnvironment(const char* name, const std::optional<std::string>& value) {
  if (value)
    setenv(name, value->c_str(), 1);
  else
    unsetenv(name);
}

std::filesystem::path HostSystemPath(const std::string& posixPath) { return posixPath; }

System RunningSystem() { return System::Posix; }
unsigned SystemCodePage() { return platform::GetACP(); }

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace testing_support
