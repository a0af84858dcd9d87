// Temporary folders and prefixes for the tests on Windows (and under Wine, where every test run
// has a throwaway WINEPREFIX of its own).
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/prefix.h"

#include <windows.h>
#include <winioctl.h>

namespace testing_support {

// The system's copy, which started programs inherit, and the C library's, which getenv reads.
void SetEnvironment(const char* name, const std::optional<std::string>& value) {
  ::SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
  _putenv_s(name, value ? value->c_str() : "");
}

namespace {

// A test that forgets its TempPrefix reaches the default prefix of the Wine prefix (or of the
// Windows user), never one that another program set up.
class DefaultPrefix : public ::testing::Environment {
 public:
  void SetUp() override {
    SetEnvironment("ZELVAFONT_PREFIX", std::nullopt);
    platform::ReopenPrefix();
  }
};

[[maybe_unused]] ::testing::Environment* const kDefaultPrefix =
    ::testing::AddGlobalTestEnvironment(new DefaultPrefix);

}  // namespace

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate =
        std::filesystem::temp_directory_path() / ("zftest-" + std::to_string(random()));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only files made by tests must not stop the clean-up.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

TempPrefix::TempPrefix(unsigned short language) {
  if (const char* old = std::getenv("ZELVAFONT_PREFIX"); old && *old) {
    oldPrefix_ = old;
    hadOldPrefix_ = true;
  }
  SetEnvironment("ZELVAFONT_PREFIX", dir_.str());
  platform::ReopenPrefix();
  platform::SetSystemLanguageSetting(language);
}

TempPrefix::~TempPrefix() {
  SetEnvironment("ZELVAFONT_PREFIX", hadOldPrefix_ ? std::optional(oldPrefix_) : std::nullopt);
  platform::ReopenPrefix();
}

// The machine's own Fonts folder: Windows has one for every prefix.
std::filesystem::path TempPrefix::fontsDir() const { return platform::FontsHostDir(); }

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

namespace {

// Wine's mount manager takes new drives as winecfg gives them: a Unix folder, a DRIVE_* type and
// a letter (Wine's own interface, not Windows'). It keeps them for the life of the Wine prefix's
// server, which every test program has to itself. A label passed here is not shown for a folder;
// Wine reads a folder drive's label from its .windows-label file when the drive is defined.
constexpr DWORD kDefineUnixDrive = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

#pragma pack(push, 8)
struct UnixDrive {
  ULONG size;
  ULONG type;
  ULONG fsType;
  DWORD serial;
  ULONGLONG unixDevice;
  WCHAR letter;
  USHORT mountPointOffset;
  USHORT deviceOffset;
  USHORT labelOffset;
};
#pragma pack(pop)

// The Unix path of a Windows path, from Wine's kernel32; empty elsewhere.
std::string UnixPathOf(const std::filesystem::path& path) {
  using ToUnix = char*(CDECL*)(const WCHAR*);
  static const auto toUnix = reinterpret_cast<ToUnix>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
  if (!toUnix) return {};
  char* unix = toUnix(std::filesystem::absolute(path).wstring().c_str());
  if (!unix) return {};
  std::string result = unix;
  ::HeapFree(::GetProcessHeap(), 0, unix);
  return result;
}

bool DefineWineDrive(char letter, unsigned type, const std::string& unixFolder) {
  HANDLE manager = ::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
  if (manager == INVALID_HANDLE_VALUE) return false;
  std::string request(sizeof(UnixDrive), '\0');
  UnixDrive drive{};
  drive.type = type;
  drive.letter = static_cast<WCHAR>(letter | 0x20);
  if (!unixFolder.empty()) {
    drive.mountPointOffset = static_cast<USHORT>(request.size());
    request.append(unixFolder).push_back('\0');
  }
  drive.size = static_cast<ULONG>(request.size());
  std::memcpy(request.data(), &drive, sizeof drive);
  DWORD returned = 0;
  const bool ok = ::DeviceIoControl(manager, kDefineUnixDrive, request.data(),
                                    static_cast<DWORD>(request.size()), nullptr, 0, &returned,
                                    nullptr);
  ::CloseHandle(manager);
  return ok;
}

}  // namespace

ScopedDrive::ScopedDrive(char letter, unsigned type, const std::filesystem::path& folder,
                         const std::string& label)
    : letter_(letter), type_(type), folder_(folder), label_(label) {
  ok_ = Redeclare();
}

ScopedDrive::~ScopedDrive() { DefineWineDrive(letter_, DRIVE_NO_ROOT_DIR, {}); }

bool ScopedDrive::Redeclare() {
  if (RunningSystem() != System::Wine) return false;
  std::string unixFolder;
  if (!folder_.empty()) {
    WriteFile(folder_ / ".windows-label", label_);
    unixFolder = UnixPathOf(folder_);
    if (unixFolder.empty()) return false;
  }
  return DefineWineDrive(letter_, type_, unixFolder);
}

std::filesystem::path HostSystemPath(const std::string& posixPath) { return "Z:" + posixPath; }

// Windows has no immutable flag; the read-only attribute is what refuses writes there.
bool SetImmutable(const std::filesystem::path& /*path*/, bool /*on*/) { return false; }

System RunningSystem() {
  // Wine's ntdll exports its version; Windows' does not.
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") ? System::Wine : System::Windows;
}

unsigned SystemCodePage() { return ::GetACP(); }

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = _popen(command.c_str(), "rb")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    _pclose(pipe);
  }
  return out;
}

}  // namespace testing_support
