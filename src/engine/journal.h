#pragma once
// Installs and removals as transactions across processes: the run lock, the journal of what a
// run is about to do to which file, the record of the font files this program made, and the
// recovery that finishes or rolls back what a killed run left. Both live in the registry beside
// the installed-font list and change in the same transactions as its entries.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/registry.h"

namespace engine::detail {

// Where the journal and the record of our files live (below HKEY_LOCAL_MACHINE).
inline constexpr const char* kJournalKey = "SOFTWARE\\Zelvaworks\\ZelvaFont\\Journal";
inline constexpr const char* kOwnedFilesKey = "SOFTWARE\\Zelvaworks\\ZelvaFont\\Files";

// One step under way. An install names its hidden temporary file at once, and the final name
// with the identity of the copy just before the copy takes that name; a removal names the entry
// and the file it is deleting.
struct JournalRecord {
  enum class Kind { Install, Remove };
  Kind kind = Kind::Install;
  std::string fontsKey;  // the installed-font list the entry belongs to
  std::string fontsDir;  // the Fonts folder the file lies in
  std::string entry;     // the entry name
  std::string file;      // the file name in the Fonts folder ("" until an install knows it)
  std::string temp;      // an install's temporary file name
  std::string identity;  // the file's identity (platform::GetFileIdentity)
};

// The record's value name in the journal: one per step, unique while the step is under way.
std::string JournalId(const JournalRecord& record);

// The changes that make up the transactions.
platform::RegistryChange SetJournal(const JournalRecord& record);
platform::RegistryChange ClearJournal(const JournalRecord& record);
platform::RegistryChange SetEntry(const std::string& fontsKey, const std::string& entry,
                                  const std::string& file);
platform::RegistryChange ClearEntry(const std::string& fontsKey, const std::string& entry);
platform::RegistryChange SetOwnedFile(const std::string& fontsDir, const std::string& file,
                                      const std::string& identity, std::uint64_t size);
platform::RegistryChange ClearOwnedFile(const std::string& fontsDir, const std::string& file);

// Applies the changes as one; the platform's error code.
platform::LONG Commit(const std::vector<platform::RegistryChange>& changes);

// The steps a killed run left, as the journal holds them.
std::vector<JournalRecord> ReadJournal();

// A file of ours, as its record holds it.
struct OwnedFile {
  std::string path;  // the Fonts folder's Windows path + "\" + file name
  std::string identity;
  std::uint64_t size = 0;
};
std::vector<OwnedFile> ReadOwnedFiles();

// Finishes or rolls back every step the journal holds; the caller holds the run lock. Returns
// the number of steps settled.
int RecoverLocked();

// Deletes a file of the Fonts folder when it is still the file with that identity, never through
// a link; true when it is gone (or was never there).
bool DeleteOwnedFile(const std::string& path, const std::string& identity);

// A unique hidden temporary file name for a copy into the Fonts folder.
std::string NewTemporaryName();

// The problems of the run under way are noted here.
void NoteProblem(const std::string& fontKey, FontFailure failure, platform::DWORD error,
                 std::uint64_t needed = 0, std::uint64_t available = 0);

// How many run scopes this process has open (0: no run under way here).
int RunScopeDepth();

// A boundary between two steps of an install or a removal. A test names a step number in
// ZELVAFONT_TEST_EXIT_AT_STEP to make the process end there at once, as a kill would.
void StepBoundary();

// Held for a batch run: takes the run lock (waiting through the run-wait routine), then settles
// what an interrupted run left. Not held when another run kept the lock.
class RunScope {
 public:
  RunScope();
  ~RunScope();
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;
  bool Held() const;
};

}  // namespace engine::detail
