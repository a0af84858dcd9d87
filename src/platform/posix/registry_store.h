#pragma once
// The registry's store on the host: the prefix's SQLite file with its schema and seed, typed
// values in creation order, and immutable snapshots of a key's values for cheap enumeration.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/types.h"

struct sqlite3;

namespace platform::posix {

// The two hives the store holds; HKEY_CLASSES_ROOT lives below HKEY_LOCAL_MACHINE.
enum class Hive : int { CurrentUser = 1, LocalMachine = 2 };

// The values of one key as they stood when read, in the order they were first created.
// Never changed once built, so any thread may read it without a lock.
struct ValueSnapshot {
  std::vector<std::string> names;
  std::vector<DWORD> types;
  std::vector<std::string> data;
  // The names once more, back to back with their NULs (name i starts at nameStarts[i]), so that
  // enumeration reads one run of memory instead of thousands of small blocks.
  std::string packedNames;
  std::vector<std::uint32_t> nameStarts;  // one more than there are names
};

// Where a key path is split and how names are compared: components at backslashes that are
// characters of their own, and A-Z folded, never a trail byte of a double-byte character.
std::string FoldRegistryName(std::string_view name, unsigned codePage);
std::vector<std::string> SplitKeyPath(std::string_view path, unsigned codePage);

// The connection to PREFIX/registry.db. Every public member locks the store, (re)opens the
// connection when the prefix was reopened, and returns a Windows error code.
class RegistryStore {
 public:
  RegistryStore() = default;
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  // Opens the connection when there is none or the prefix was reopened.
  LONG Ensure();
  // path: components joined by single backslashes ("" = the hive itself).
  LONG FindKey(Hive hive, const std::string& path, std::int64_t* id);
  LONG CreateKey(Hive hive, const std::string& path, std::int64_t* id, bool* created);
  LONG QueryValue(std::int64_t key, std::string_view name, DWORD* type, std::string* data);
  LONG SetValue(std::int64_t key, std::string_view name, DWORD type, std::string_view data);
  LONG DeleteValue(std::int64_t key, std::string_view name);
  // Sets (data given) or deletes (no data) values of keys given by path, creating the keys of
  // the values it sets, all in one transaction.
  struct Change {
    Hive hive;
    std::string path;
    std::string_view name;
    const std::string* data;  // null: delete
    DWORD type;
  };
  LONG Apply(const std::vector<Change>& changes);
  // The key's values, shared while the store has not changed.
  LONG Snapshot(std::int64_t key, std::shared_ptr<const ValueSnapshot>* snapshot);

  // Changes whenever the store file in use is another one (the prefix moved); key ids of an
  // older epoch mean nothing any more. Valid after any successful call.
  std::uint64_t Epoch() const { return epoch_.load(std::memory_order_acquire); }

  // Closes the connection; the next call opens it again.
  void Close();

 private:
  struct Statements;

  LONG EnsureOpenLocked();
  LONG OpenLocked(const std::string& path);
  LONG ValidateLocked();
  template <typename Body>
  LONG WriteLocked(Body body);
  void CloseLocked();

  std::mutex mutex_;
  sqlite3* db_ = nullptr;
  std::unique_ptr<Statements> statements_;
  bool readOnly_ = false;
  unsigned codePage_ = 1252;
  std::uint64_t generation_ = 0;  // PrefixGeneration() the connection was opened at
  std::string path_;
  std::int64_t dataVersion_ = -1;
  std::unordered_map<std::string, std::int64_t> keyIds_;  // hive + folded path; keys never vanish
  std::unordered_map<std::int64_t, std::shared_ptr<const ValueSnapshot>> snapshots_;
  std::atomic<std::uint64_t> epoch_{0};
};

// Bumped by every write this process makes to the store and by every key handle that goes away,
// so that a lock-free reader of a snapshot can tell it may be stale (writes of other processes
// are noticed through PRAGMA data_version when the snapshot is fetched).
inline std::atomic<std::uint64_t> registryChanges{0};

// This process's store.
RegistryStore& Store();

// Closes this process's registry connection and forgets every open key handle. A connection
// must never cross a fork(); tests call this before they fork writer processes.
void CloseRegistryStore();

}  // namespace platform::posix
