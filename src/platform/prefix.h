#pragma once
// The prefix: the folder that holds this machine's Windows model on the host (drive C:, the
// registry store, the declared drives, the language and version settings).

#include <string>

#include "platform/types.h"

namespace platform {

// The prefix folder (host path, UTF-8). In the user scope: $ZELVAFONT_PREFIX, else
// $XDG_DATA_HOME/zelvafont, else ~/.local/share/zelvafont. In the machine scope:
// /var/lib/zelvafont. Created and seeded on first use. Throws std::runtime_error with a clear
// message when it cannot be created.
std::string PrefixDir();

// Whose fonts the prefix holds.
enum class PrefixScope {
  User,     // the user's own prefix (or the sandbox ZELVAFONT_PREFIX names)
  Machine,  // the machine's prefix, whose Fonts folder every user's fontconfig reads
};

// Chooses the scope for the rest of this process and reopens the prefix. The machine prefix is
// /var/lib/zelvafont with its Fonts folder /usr/local/share/fonts/zelvafont; the files made there
// are readable by every user. Returns false, changing nothing, when this process lacks the
// rights to write the machine's folders (it is not root).
// Test seam: $ZELVAFONT_MACHINE_ROOT, when set, is a folder that stands for / in both paths.
bool SetPrefixScope(PrefixScope scope);
PrefixScope CurrentPrefixScope();

// Forgets every cached piece of prefix state (settings, drive map, registry connection, current
// directory model) so that the next call reads the prefix named by the environment again.
// For tests and tools that switch prefixes inside one process.
void ReopenPrefix();
// Makes a folder this process's prefix, as ZELVAFONT_PREFIX names one (for it and for the
// programs it starts), and reopens the prefix. False when the environment cannot be changed.
bool UsePrefixFolder(const std::string& hostFolder);

// Drive types, as GetDriveTypeA reports them.
constexpr DWORD DRIVE_UNKNOWN = 0;
constexpr DWORD DRIVE_NO_ROOT_DIR = 1;
constexpr DWORD DRIVE_REMOVABLE = 2;
constexpr DWORD DRIVE_FIXED = 3;
constexpr DWORD DRIVE_REMOTE = 4;
constexpr DWORD DRIVE_CDROM = 5;
constexpr DWORD DRIVE_RAMDISK = 6;

// A drive declared in the prefix: a host folder that serves as a drive of the given type.
// An empty host folder is a drive without a medium (a CD-ROM drive with no disc in it).
struct DriveDeclaration {
  char letter = 0;           // 'D'
  DWORD type = DRIVE_CDROM;
  std::string hostFolder;    // UTF-8 host path; empty = no medium
  std::string label;         // volume label, UTF-8
};

enum class DeclarationScope {
  Prefix,   // written to the prefix's settings, seen by every later process
  Process,  // this process only (zelvafont-ctl --disc FOLDER)
};

// Declares (or replaces) a drive. C: is always the prefix's drive_c and cannot be replaced.
// Returns false when the letter is not A..Z or the settings cannot be written.
bool DeclareDrive(const DriveDeclaration& drive, DeclarationScope scope);
// Removes a declared drive; false when none was declared under that letter.
bool ForgetDrive(char letter, DeclarationScope scope);

// Language and version settings of the prefix, overriding what the host reports.
// A language of 0 means "from the locale again".
bool SetSystemLanguageSetting(LANGID language);
// The version that GetVersionExA reports (platform id 2, the NT family). failing = true makes
// GetVersionExA fail, for testing what callers do then.
bool SetVersionSetting(DWORD major, DWORD minor, bool failing = false);
// The program used to open folders and documents (default: xdg-open found on PATH).
bool SetShellOpenerSetting(const std::string& hostProgram);
// The program that starts Windows programs (default: wine, else wine64, found on PATH), and the
// Wine prefix it is given (empty: the user's own, as the environment names it). An empty
// program goes back to the default.
bool SetWindowsRunnerSetting(const std::string& hostProgram, const std::string& winePrefix = "");

// The host folder of the prefix's Fonts folder (drive_c/windows/Fonts), created on demand.
std::string FontsHostDir();

}  // namespace platform
