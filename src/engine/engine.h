#pragma once
// The font installation engine: the catalogue of a font set, installing, removing and testing
// single fonts, the selection with font links, counts and space, and the batch runs. Free
// operations on one process-wide record; no lock of its own (callers hold the window's list
// lock). Texts are ANSI byte strings; paths are Windows paths.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/profile.h"

namespace engine {

// Font state bits of QueryFontState.
constexpr std::uint32_t FontInstalled = 0x01;
constexpr std::uint32_t FontMismatch = 0x04;
constexpr std::uint32_t LinkInstalled = 0x10;
constexpr std::uint32_t LinkMismatch = 0x40;

// EngineFlags bits.
constexpr std::uint32_t Loaded = 1;
constexpr std::uint32_t IncludeLinks = 4;

using CopyRoutine = int (*)(const char* source, const char* target);
// (done, total, name): name is the display name of the font about to be handled, or null on
// the closing call.
using ProgressFn = void (*)(int done, int total, const char* name, void* context);

// Catalogue files as the platform's INI reader parsed them.
using CatalogueReaders = std::vector<platform::ProfileView>;

struct FontEngine {
  std::string CatalogueDir;
  std::string SourceDir;
  std::string FontsDir;
  std::string FontsKey;
  std::string LanguageName;
  std::uint32_t EngineFlags = 0;
  std::vector<std::string> StyleFiles;      // full paths, in enumeration order
  std::vector<std::string> LangStyleFiles;
  std::vector<std::string> FontFiles;
  std::vector<std::string> LangFontFiles;
  // The files above, each parsed once at load time; entry i answers for path i.
  CatalogueReaders StyleReaders;
  CatalogueReaders LangStyleReaders;
  CatalogueReaders FontReaders;
  CatalogueReaders LangFontReaders;
  std::string CurrentStyle;
  std::vector<std::string> Selection;
  CopyRoutine CopyHook = nullptr;
};

// The process-wide record (read-only view for callers such as the window's Free Space counter).
const FontEngine& Engine();

// Catalogue.
bool LoadCatalogue(const std::string& infoDir, const std::string& sourceDir,
                   std::uint32_t options);
bool ListStyleKeys(std::vector<std::string>& keys);
bool ListStyleNames(std::vector<std::string>& names);
bool GetStyleName(const std::string& styleKey, std::string& name);
bool FindStyleKey(const std::string& name, std::string& styleKey);
bool SelectStyle(const std::string& name);
bool ListStyleFonts(std::vector<std::string>& fontKeys);
bool GetFontName(const std::string& fontKey, std::string& name);
bool ReadFontValue(const std::string& fontKey, const std::string& key, std::string& value);
// Releases every reader and the selection (program end).
void ReleaseEngine();

// Single fonts. InstallFont throws platform::RegistryError ("Failed to set data for '%s'") when
// the registry entry cannot be written; that ends the batch run that called it.
void InstallFont(const std::string& fontKey);
void RemoveFont(const std::string& fontKey);
std::uint32_t QueryFontState(const std::string& fontKey);
// QueryFontState of every key, in key order, each font and each link looked at once.
std::vector<std::uint32_t> QueryFontStates(const std::vector<std::string>& fontKeys);
bool SetCopyHook(CopyRoutine routine);
int CopyFontFile(const char* source, const char* target);
int CopyFontFileMaskGsub(const char* source, const char* target);

// Registration-name match: does name N match registry value name V (first occurrence, stepping
// over double-byte characters, preceded by the start or a space and followed by a space)?
bool NameMatches(const std::string& name, const std::string& valueName);

// Selection, links, counts and runs.
bool AddToSelection(const std::string& fontKey);
bool RemoveFromSelection(const std::string& fontKey);
bool ClearSelection();
bool SetIncludeLinks(bool include);
void ExpandLinks(std::vector<std::string>& work, const std::string& fontKey);
// The work list of a run or a count: the selection, expanded by links when IncludeLinks is set.
std::vector<std::string> SelectionWorkList();
int CountSelection(bool countInstalled);
std::uint32_t SelectionSpace(bool countInstalled);
int InstallSelection(ProgressFn progress, void* context);
int RemoveSelection(ProgressFn progress, void* context);

// Transactions. A batch run holds the prefix's run lock for its whole length; a second run
// waits for it. Every install and removal goes through a journal in the store, so that a run
// killed at any step is finished or rolled back by the next program that starts.

// Why one font of a run was not installed or removed.
enum class FontFailure {
  SourceMissing,      // the disc file is not there
  SourceNotRegular,   // a pipe, a device or a folder in the disc file's place
  SourceOutsideDisc,  // a link on the disc that leads off the disc
  SourceUnreadable,   // a read error (a scratched disc)
  SourceChanged,      // the disc file grew or shrank while it was copied
  DiskFull,           // needed and available tell by how much
  FolderReadOnly,     // the Fonts folder cannot be written
  CopyFailed,         // any other failure of the copy
  NotAFont,           // the copy does not open as a font (a damaged file)
  FileNotDeleted,     // removal: the font file cannot be deleted; its entry stays
  StoreFailed,        // the registry store refused the change
};

struct FontProblem {
  std::string key;
  std::string name;  // display name in the current style, may be empty
  FontFailure failure = FontFailure::CopyFailed;
  std::uint32_t error = 0;  // the platform's error code
  std::uint64_t needed = 0, available = 0;  // bytes, for DiskFull
};

struct RunReport {
  bool busy = false;  // another run held the lock and the wait was given up: nothing was done
  std::vector<FontProblem> problems;
};

// What the last batch run (or single install/removal outside a run) could not do.
const RunReport& LastRunReport();
// A sentence naming the font and the cause, Chinese (ANSI, Big5) or English.
std::string DescribeProblem(const FontProblem& problem, bool chinese);

// How a run waits for another run of the same prefix: called about every 100 ms with the
// seconds waited so far; returning false gives up (the run then does nothing and says busy).
// Without a routine a run waits as long as it takes.
using RunWaitFn = bool (*)(double waitedSeconds, void* context);
void SetRunWait(RunWaitFn wait, void* context);

// At a program's start: settles what a killed run left, unless a run is under way right now.
// Returns the number of steps settled.
int RecoverInterruptedRuns();

// Why the store cannot be used, in a sentence ("" when it can): missing, corrupt, not ours,
// locked or read-only.
std::string DescribeStoreProblem(bool chinese);

// The store and the Fonts folder compared.
struct Drift {
  enum class Kind { EntryWithoutFile, OwnedFileWithoutEntry, Leftover, SizeMismatch };
  Kind kind;
  std::string what;  // the entry name or the file's Windows path
  std::string file;  // the file name the entry names, or the file's Windows path
  bool repaired = false;
};
// Lists the drift between the installed-font list (of the key a catalogue load chose, or the
// NT family's) and the Fonts folder; with repair, mends what is ours (entries of our files that
// are gone, files we made that no entry names, a killed run's leftovers, copies whose size
// changed) while holding the run lock. Returns false when the run lock was held by another run.
bool CheckInstalledFonts(bool repair, std::vector<Drift>& drift);

}  // namespace engine
