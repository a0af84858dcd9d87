// The prefix folder and its settings file (language, version, shell opener, declared drives).
#include "platform/prefix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "platform/posix/backend.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

constexpr const char* kSettingsFile = "zelvafont.conf";

struct PrefixState {
  std::mutex mutex;
  std::optional<std::string> dir;         // resolved and created
  std::optional<posix::Settings> stored;  // parsed settings file
  std::vector<DriveDeclaration> processDrives;
  std::atomic<std::uint64_t> generation{1};
  PrefixScope scope = PrefixScope::User;
};

PrefixState& State() {
  static PrefixState* state = new PrefixState;  // lives until exit; used from any thread
  return *state;
}

std::string XdgDataHome() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return xdg;
  const char* home = std::getenv("HOME");
  if (!home || !*home) throw std::runtime_error("neither ZELVAFONT_PREFIX nor HOME is set");
  return std::string(home) + "/.local/share";
}

// Where a prefix lies, and the fontconfig folder that its Fonts folder is, if any.
struct PrefixPlace {
  fs::path dir;
  std::optional<fs::path> sharedFonts;  // none: a sandbox, whose fonts nothing outside sees
};

fs::path MachineRoot() {
  const char* root = std::getenv("ZELVAFONT_MACHINE_ROOT");  // tests only
  return root && *root ? fs::absolute(root) : fs::path("/");
}

PrefixPlace ResolvePrefix(PrefixScope scope) {
  if (scope == PrefixScope::Machine) {
    const fs::path root = MachineRoot();
    return {root / "var/lib/zelvafont", root / "usr/local/share/fonts/zelvafont"};
  }
  if (const char* env = std::getenv("ZELVAFONT_PREFIX"); env && *env)
    return {fs::absolute(env), std::nullopt};
  const fs::path data = XdgDataHome();
  return {data / "zelvafont", data / "fonts" / "zelvafont"};
}

// Creates the prefix with drive C: and its Fonts folder. Outside a sandbox the Fonts folder is a
// folder that fontconfig reads (the user's own, or the machine's), so installed fonts reach
// every application.
void CreatePrefix(const PrefixPlace& place, PrefixScope scope) {
  std::error_code ec;
  fs::create_directories(place.dir / "drive_c" / "windows", ec);
  if (ec)
    throw std::runtime_error("cannot create the prefix " + place.dir.string() + ": " +
                             ec.message());
  fs::path fonts = place.dir / "drive_c" / "windows" / "Fonts";
  if (fs::exists(fs::symlink_status(fonts))) return;
  if (place.sharedFonts) {
    fs::create_directories(*place.sharedFonts, ec);
    if (!ec) fs::create_directory_symlink(*place.sharedFonts, fonts, ec);
    if (!ec) return;
    // Fonts kept inside the machine's prefix would reach no user: better no install at all.
    if (scope == PrefixScope::Machine)
      throw std::runtime_error("cannot make the machine's Fonts folder " +
                               place.sharedFonts->string() + ": " + ec.message());
  }
  fs::create_directories(fonts, ec);
  if (ec) throw std::runtime_error("cannot create the Fonts folder " + fonts.string());
}

std::string PrefixDirLocked(PrefixState& state) {
  if (!state.dir) {
    const PrefixPlace place = ResolvePrefix(state.scope);
    CreatePrefix(place, state.scope);
    state.dir = place.dir.string();
  }
  return *state.dir;
}

std::optional<DriveDeclaration> ParseDrive(const std::string& value) {
  // letter|type|label|host folder (the folder last, since it may hold any character)
  std::istringstream in(value);
  std::string letter, type, label, folder;
  if (!std::getline(in, letter, '|') || !std::getline(in, type, '|') ||
      !std::getline(in, label, '|'))
    return std::nullopt;
  std::getline(in, folder);
  if (letter.size() != 1 || !std::isalpha(static_cast<unsigned char>(letter[0])))
    return std::nullopt;
  DriveDeclaration drive;
  drive.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])));
  drive.type = static_cast<DWORD>(std::strtoul(type.c_str(), nullptr, 10));
  drive.label = label;
  drive.hostFolder = folder;
  return drive;
}

posix::Settings ReadSettingsFile(const std::string& dir) {
  posix::Settings settings;
  std::ifstream in(fs::path(dir) / kSettingsFile);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    auto eq = line.find('=');
    if (eq == std::string::npos || line[0] == '#') continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "language") {
      settings.language = static_cast<LANGID>(std::strtoul(value.c_str(), nullptr, 10));
    } else if (key == "version") {
      unsigned major = 10, minor = 0;
      if (std::sscanf(value.c_str(), "%u.%u", &major, &minor) >= 1) {
        settings.versionMajor = major;
        settings.versionMinor = minor;
      }
    } else if (key == "version_fails") {
      settings.versionFails = value == "1";
    } else if (key == "opener") {
      settings.opener = value;
    } else if (key == "drive") {
      if (auto drive = ParseDrive(value)) settings.drives.push_back(*drive);
    }
  }
  return settings;
}

bool WriteSettingsFile(const std::string& dir, const posix::Settings& settings) {
  fs::path path = fs::path(dir) / kSettingsFile;
  fs::path temp = path;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    out << "# ZelvaFont prefix settings\n";
    if (settings.language) out << "language=" << settings.language << "\n";
    out << "version=" << settings.versionMajor << "." << settings.versionMinor << "\n";
    if (settings.versionFails) out << "version_fails=1\n";
    if (!settings.opener.empty()) out << "opener=" << settings.opener << "\n";
    for (const auto& d : settings.drives)
      out << "drive=" << d.letter << "|" << d.type << "|" << d.label << "|" << d.hostFolder
          << "\n";
    if (!out.flush()) return false;
  }
  std::error_code ec;
  fs::rename(temp, path, ec);  // the file is replaced whole: a reader never sees half of it
  return !ec;
}

posix::Settings& StoredLocked(PrefixState& state) {
  if (!state.stored) state.stored = ReadSettingsFile(PrefixDirLocked(state));
  return *state.stored;
}

template <typename Change>
bool ChangeSettings(Change change) {
  auto& state = State();
  std::lock_guard lock(state.mutex);
  try {
    posix::Settings settings = StoredLocked(state);
    change(settings);
    if (!WriteSettingsFile(*state.dir, settings)) return false;
    state.stored = settings;
    state.generation++;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void ReplaceDrive(std::vector<DriveDeclaration>& drives, const DriveDeclaration& drive) {
  std::erase_if(drives, [&](const DriveDeclaration& d) { return d.letter == drive.letter; });
  drives.push_back(drive);
}

void ForgetPrefixLocked(PrefixState& state) {
  state.dir.reset();
  state.stored.reset();
  state.processDrives.clear();
  state.generation++;
}

}  // namespace

std::string PrefixDir() {
  auto& state = State();
  std::lock_guard lock(state.mutex);
  return PrefixDirLocked(state);
}

void ReopenPrefix() {
  auto& state = State();
  std::lock_guard lock(state.mutex);
  ForgetPrefixLocked(state);
}

bool SetPrefixScope(PrefixScope scope) {
  if (scope == PrefixScope::Machine) {
    if (geteuid() != 0) return false;
    // What the machine's prefix holds is read by every user, whatever umask root runs with.
    umask(022);
  }
  auto& state = State();
  std::lock_guard lock(state.mutex);
  state.scope = scope;
  ForgetPrefixLocked(state);
  return true;
}

PrefixScope CurrentPrefixScope() {
  auto& state = State();
  std::lock_guard lock(state.mutex);
  return state.scope;
}

bool DeclareDrive(const DriveDeclaration& drive, DeclarationScope scope) {
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(drive.letter)));
  if (letter < 'A' || letter > 'Z' || letter == 'C') return false;
  DriveDeclaration d = drive;
  d.letter = letter;
  if (!d.hostFolder.empty()) d.hostFolder = fs::absolute(d.hostFolder).lexically_normal().string();
  if (scope == DeclarationScope::Process) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    ReplaceDrive(state.processDrives, d);
    state.generation++;
    return true;
  }
  return ChangeSettings([&](posix::Settings& s) { ReplaceDrive(s.drives, d); });
}

bool ForgetDrive(char letter, DeclarationScope scope) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  auto match = [&](const DriveDeclaration& d) { return d.letter == letter; };
  if (scope == DeclarationScope::Process) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    bool found = std::erase_if(state.processDrives, match) > 0;
    state.generation++;
    return found;
  }
  bool found = false;
  bool written = ChangeSettings([&](posix::Settings& s) { found = std::erase_if(s.drives, match) > 0; });
  return written && found;
}

bool SetSystemLanguageSetting(LANGID language) {
  return ChangeSettings([&](posix::Settings& s) { s.language = language; });
}

bool SetVersionSetting(DWORD major, DWORD minor, bool failing) {
  return ChangeSettings([&](posix::Settings& s) {
    s.versionMajor = major;
    s.versionMinor = minor;
    s.versionFails = failing;
  });
}

bool SetShellOpenerSetting(const std::string& hostProgram) {
  return ChangeSettings([&](posix::Settings& s) { s.opener = hostProgram; });
}

std::string FontsHostDir() {
  fs::path fonts = fs::path(PrefixDir()) / "drive_c" / "windows" / "Fonts";
  std::error_code ec;
  fs::create_directories(fonts, ec);
  return fonts.string();
}

namespace posix {

Settings CurrentSettings() {
  auto& state = State();
  std::lock_guard lock(state.mutex);
  Settings settings;
  try {
    settings = StoredLocked(state);
  } catch (const std::exception&) {
    // An unusable prefix leaves the defaults: no drives but C:, the locale's language.
  }
  for (const auto& d : state.processDrives) ReplaceDrive(settings.drives, d);
  return settings;
}

std::uint64_t PrefixGeneration() { return State().generation.load(); }

std::string DriveCHostDir() { return (fs::path(PrefixDir()) / "drive_c").string(); }

}  // namespace posix
bool UsePrefixFolder(const std::string& hostFolder) {
  if (setenv("ZELVAFONT_PREFIX", hostFolder.c_str(), 1) != 0) return false;
  ReopenPrefix();
  return true;
}

}  // namespace platform
