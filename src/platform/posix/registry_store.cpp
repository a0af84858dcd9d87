// The registry's SQLite store: checking, creating and seeding PREFIX/registry.db, its keys and
// typed values, and the snapshots that enumeration reads.
#include "platform/posix/registry_store.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "platform/posix/backend.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace platform::posix {
namespace {

constexpr const char* kStoreFile = "registry.db";
constexpr std::int32_t kApplicationId = 0x5A465247;  // "ZFRG": a store this program made
constexpr int kSchemaVersion = 1;
// Another process may hold the write lock for a whole transaction; wait rather than fail.
constexpr int kBusyTimeoutMs = 10000;

constexpr const char* kSchema = R"sql(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY,
  hive INTEGER NOT NULL,
  path BLOB NOT NULL,
  folded BLOB NOT NULL,
  UNIQUE(hive, folded));
CREATE TABLE vals(
  id INTEGER PRIMARY KEY,
  key INTEGER NOT NULL REFERENCES keys(id),
  name BLOB NOT NULL,
  folded BLOB NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE(key, folded));
CREATE INDEX vals_by_key ON vals(key);
)sql";

enum class Use { Read, Write };

// The one place where SQLite's results become Windows error codes.
LONG ErrorFromSqlite(int rc, Use use) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
      return ERROR_ACCESS_DENIED;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_ERROR:  // our statements are fixed: an error means the schema is not ours
    case SQLITE_SCHEMA:
      return ERROR_BADDB;
    default:  // busy beyond the time-out, I/O errors, a full disk, no memory
      return use == Use::Write ? ERROR_CANTWRITE : ERROR_CANTREAD;
  }
}

class Statement {
 public:
  Statement() = default;
  explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(Statement&& other) noexcept : stmt_(other.stmt_) { other.stmt_ = nullptr; }
  Statement& operator=(Statement&& other) noexcept {
    std::swap(stmt_, other.stmt_);
    return *this;
  }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Resets a statement on every way out, so that no read transaction stays open (it would keep
// this connection from seeing other processes' writes and block checkpoints).
class Running {
 public:
  explicit Running(const Statement& statement) : stmt_(statement.get()) {}
  ~Running() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;
  sqlite3_stmt* operator*() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_;
};

void BindBlob(sqlite3_stmt* stmt, int index, std::string_view bytes) {
  // A null pointer would bind NULL; the columns hold empty blobs instead.
  sqlite3_bind_blob(stmt, index, bytes.empty() ? "" : bytes.data(), static_cast<int>(bytes.size()),
                    SQLITE_STATIC);
}

std::string ColumnBlob(sqlite3_stmt* stmt, int column) {
  const void* bytes = sqlite3_column_blob(stmt, column);
  int size = sqlite3_column_bytes(stmt, column);
  return bytes ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
               : std::string();
}

int Prepare(sqlite3* db, const char* sql, Statement* statement) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  *statement = Statement(stmt);
  return rc;
}

int Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

std::string JoinPath(const std::vector<std::string>& components, std::size_t count) {
  std::string path;
  for (std::size_t i = 0; i < count; ++i) {
    if (i) path += '\\';
    path += components[i];
  }
  return path;
}

// Creates the key and every missing key above it; the caller holds a write transaction.
int CreateKeyRows(sqlite3_stmt* insertKey, sqlite3_stmt* findKey, Hive hive,
                  const std::string& path, unsigned codePage, std::int64_t* id, bool* created) {
  std::vector<std::string> components = SplitKeyPath(path, codePage);
  *created = false;
  for (std::size_t n = 1; n <= components.size(); ++n) {
    std::string prefix = JoinPath(components, n);
    std::string folded = FoldRegistryName(prefix, codePage);
    sqlite3_bind_int(insertKey, 1, static_cast<int>(hive));
    BindBlob(insertKey, 2, prefix);
    BindBlob(insertKey, 3, folded);
    int rc = sqlite3_step(insertKey);
    *created = sqlite3_changes(sqlite3_db_handle(insertKey)) > 0;
    sqlite3_reset(insertKey);
    if (rc != SQLITE_DONE) return rc;
  }
  std::string folded = FoldRegistryName(JoinPath(components, components.size()), codePage);
  sqlite3_bind_int(findKey, 1, static_cast<int>(hive));
  BindBlob(findKey, 2, folded);
  int rc = sqlite3_step(findKey);
  if (rc == SQLITE_ROW) *id = sqlite3_column_int64(findKey, 0);
  sqlite3_reset(findKey);
  return rc == SQLITE_ROW ? SQLITE_OK : (rc == SQLITE_DONE ? SQLITE_CORRUPT : rc);
}

constexpr const char* kFindKeySql = "SELECT id FROM keys WHERE hive = ?1 AND folded = ?2";
constexpr const char* kInsertKeySql =
    "INSERT OR IGNORE INTO keys(hive, path, folded) VALUES(?1, ?2, ?3)";

// Lays out an empty store: the schema, the two hives, and what a fresh Windows installation
// already holds that the program reads.
int InitialiseStore(sqlite3* db) {
  int rc = Exec(db, "BEGIN IMMEDIATE");
  if (rc != SQLITE_OK) return rc;
  auto body = [&]() -> int {
    Statement tables;
    if (int prc = Prepare(db, "SELECT count(*) FROM sqlite_master", &tables)) return prc;
    if (int src = sqlite3_step(tables.get()); src != SQLITE_ROW) return src;
    if (sqlite3_column_int(tables.get(), 0) > 0) return SQLITE_OK;  // someone else laid it out
    tables = Statement();
    if (int erc = Exec(db, kSchema)) return erc;
    Statement insertKey, findKey;
    if (int prc = Prepare(db, kInsertKeySql, &insertKey)) return prc;
    if (int prc = Prepare(db, kFindKeySql, &findKey)) return prc;
    for (Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
      sqlite3_bind_int(insertKey.get(), 1, static_cast<int>(hive));
      BindBlob(insertKey.get(), 2, "");
      BindBlob(insertKey.get(), 3, "");
      int src = sqlite3_step(insertKey.get());
      sqlite3_reset(insertKey.get());
      if (src != SQLITE_DONE) return src;
    }
    std::int64_t id = 0;
    bool created = false;
    const std::pair<Hive, const char*> seedKeys[] = {
        {Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"},
        {Hive::LocalMachine, "SOFTWARE\\Classes"},
        {Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
    };
    for (auto [hive, path] : seedKeys) {
      int krc = CreateKeyRows(insertKey.get(), findKey.get(), hive, path, 1252, &id, &created);
      if (krc != SQLITE_OK) return krc;
    }
    // id is now the Shell Folders key.
    Statement insertValue;
    if (int prc = Prepare(db,
                          "INSERT INTO vals(key, name, folded, type, data) "
                          "VALUES(?1, ?2, ?3, ?4, ?5)",
                          &insertValue))
      return prc;
    static const char kFontsFolder[] = "C:\\windows\\Fonts";  // with its NUL, as REG_SZ holds it
    sqlite3_bind_int64(insertValue.get(), 1, id);
    BindBlob(insertValue.get(), 2, "Fonts");
    BindBlob(insertValue.get(), 3, "FONTS");
    sqlite3_bind_int(insertValue.get(), 4, static_cast<int>(REG_SZ));
    BindBlob(insertValue.get(), 5, std::string_view(kFontsFolder, sizeof kFontsFolder));
    if (int src = sqlite3_step(insertValue.get()); src != SQLITE_DONE) return src;
    insertValue = Statement();
    std::string pragmas = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                          "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    return Exec(db, pragmas.c_str());
  };
  rc = body();
  if (rc == SQLITE_OK) rc = Exec(db, "COMMIT");
  if (rc != SQLITE_OK) Exec(db, "ROLLBACK");
  return rc;
}

// Creates the store under a temporary name and links it into place, so that no process ever
// sees a half-made store and two processes creating it at once end up sharing one.
LONG CreateStoreFile(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  std::string temp = path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(temp.c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc == SQLITE_OK) rc = InitialiseStore(db);
  if (rc == SQLITE_OK) rc = Exec(db, "PRAGMA journal_mode = WAL");
  int closed = sqlite3_close(db);
  if (rc == SQLITE_OK) rc = closed;
  LONG result = ErrorFromSqlite(rc, Use::Write);
  if (result == ERROR_SUCCESS && link(temp.c_str(), path.c_str()) != 0 && errno != EEXIST) {
    // A file system without hard links: rename, unless another process made the store meanwhile.
    int error = errno;
    struct stat st;
    if (stat(path.c_str(), &st) != 0 && rename(temp.c_str(), path.c_str()) != 0) error = errno;
    else error = 0;
    if (error) result = (error == EACCES || error == EPERM || error == EROFS) ? ERROR_ACCESS_DENIED
                                                                             : ERROR_CANTWRITE;
  }
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) unlink((temp + suffix).c_str());
  return result;
}

// The URI that opens a store read-only without locks or shared memory: for a store in a folder
// this process may not write, where SQLite cannot make the files a WAL reader needs.
std::string ImmutableUri(const std::string& path) {
  std::string uri = "file:";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      static const char hex[] = "0123456789ABCDEF";
      uri += '%';
      uri += hex[static_cast<unsigned char>(c) >> 4];
      uri += hex[static_cast<unsigned char>(c) & 15];
    } else {
      uri += c;
    }
  }
  return uri + "?immutable=1";
}

// Reads the store's marks on a read-only connection, so that a file that is not our store is
// never written to (not even by a journal roll-back).
int ReadMarks(sqlite3* db, std::int64_t* applicationId, std::int64_t* version) {
  Statement statement;
  for (auto [sql, out] : {std::pair{"PRAGMA application_id", applicationId},
                          std::pair{"PRAGMA user_version", version}}) {
    if (int rc = Prepare(db, sql, &statement)) return rc;
    int rc = sqlite3_step(statement.get());
    if (rc != SQLITE_ROW) return rc;
    *out = sqlite3_column_int64(statement.get(), 0);
  }
  return SQLITE_OK;
}

LONG CheckStoreFile(const std::string& path, bool* immutable) {
  *immutable = false;
  for (bool tryImmutable : {false, true}) {
    sqlite3* db = nullptr;
    std::string name = tryImmutable ? ImmutableUri(path) : path;
    int rc = sqlite3_open_v2(name.c_str(), &db,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI, nullptr);
    std::int64_t applicationId = 0, version = 0;
    // Another process may be writing: wait for it like every other connection does.
    if (rc == SQLITE_OK) sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (rc == SQLITE_OK) rc = ReadMarks(db, &applicationId, &version);
    sqlite3_close(db);
    int primary = rc & 0xFF;
    if (!tryImmutable && (primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY)) continue;
    if (rc != SQLITE_OK) return ErrorFromSqlite(rc, Use::Read);
    if (applicationId != kApplicationId || version > kSchemaVersion) return ERROR_BADDB;
    *immutable = tryImmutable;
    return ERROR_SUCCESS;
  }
  return ERROR_ACCESS_DENIED;
}

}  // namespace

std::string FoldRegistryName(std::string_view name, unsigned codePage) {
  std::string folded(name);
  for (std::size_t i = 0; i < folded.size(); ++i) {
    auto c = static_cast<unsigned char>(folded[i]);
    if (IsDBCSLeadByteEx(codePage, c) && i + 1 < folded.size()) {
      ++i;  // the trail byte may look like a letter but is part of another character
    } else if (c >= 'a' && c <= 'z') {
      folded[i] = static_cast<char>(c - 'a' + 'A');
    }
  }
  return folded;
}

std::vector<std::string> SplitKeyPath(std::string_view path, unsigned codePage) {
  std::vector<std::string> components;
  std::string current;
  for (std::size_t i = 0; i < path.size(); ++i) {
    auto c = static_cast<unsigned char>(path[i]);
    if (IsDBCSLeadByteEx(codePage, c) && i + 1 < path.size()) {
      current += path[i];
      current += path[++i];
    } else if (c == '\\') {
      if (!current.empty()) components.push_back(std::move(current));
      current.clear();
    } else {
      current += path[i];
    }
  }
  if (!current.empty()) components.push_back(std::move(current));
  return components;
}

struct RegistryStore::Statements {
  Statement findKey, insertKey, queryValue, upsertValue, deleteValue, listValues, dataVersion,
      begin, commit, rollback;

  int PrepareAll(sqlite3* db) {
    const std::pair<Statement*, const char*> all[] = {
        {&findKey, kFindKeySql},
        {&insertKey, kInsertKeySql},
        {&queryValue, "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2"},
        {&upsertValue,
         "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
         "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data"},
        {&deleteValue, "DELETE FROM vals WHERE key = ?1 AND folded = ?2"},
        {&listValues, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id"},
        {&dataVersion, "PRAGMA data_version"},
        {&begin, "BEGIN IMMEDIATE"},
        {&commit, "COMMIT"},
        {&rollback, "ROLLBACK"},
    };
    for (auto [statement, sql] : all)
      if (int rc = Prepare(db, sql, statement)) return rc;
    return SQLITE_OK;
  }
};

RegistryStore::~RegistryStore() { CloseLocked(); }

void RegistryStore::Close() {
  std::lock_guard lock(mutex_);
  CloseLocked();
}

void RegistryStore::CloseLocked() {
  statements_.reset();
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
  readOnly_ = false;
  dataVersion_ = -1;
  keyIds_.clear();
  snapshots_.clear();
}

LONG RegistryStore::Ensure() {
  std::lock_guard lock(mutex_);
  return EnsureOpenLocked();
}

LONG RegistryStore::EnsureOpenLocked() {
  std::uint64_t generation = PrefixGeneration();
  if (db_ && generation == generation_) return ERROR_SUCCESS;
  CloseLocked();
  generation_ = generation;
  std::string dir;
  try {
    dir = PrefixDir();
  } catch (const std::exception&) {
    return ERROR_PATH_NOT_FOUND;
  }
  std::string path = dir + "/" + kStoreFile;
  if (path != path_) {
    path_ = path;
    epoch_.fetch_add(1, std::memory_order_acq_rel);
  }
  codePage_ = GetACP();
  LONG rc = OpenLocked(path);
  if (rc != ERROR_SUCCESS) CloseLocked();
  return rc;
}

LONG RegistryStore::OpenLocked(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
    if (LONG rc = CreateStoreFile(path)) return rc;
    if (stat(path.c_str(), &st) != 0) return ERROR_CANTREAD;
  }
  if (!S_ISREG(st.st_mode)) return ERROR_BADDB;
  if (access(path.c_str(), R_OK) != 0) return ERROR_ACCESS_DENIED;
  bool empty = st.st_size == 0;  // a store file that was made but never filled
  bool immutable = false;
  if (!empty) {
    if (LONG rc = CheckStoreFile(path, &immutable)) return rc;
  }
  std::string name = immutable ? ImmutableUri(path) : path;
  int flags = (immutable ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI : SQLITE_OPEN_READWRITE) |
              SQLITE_OPEN_NOMUTEX;
  int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) return ErrorFromSqlite(rc, Use::Read);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  readOnly_ = immutable || sqlite3_db_readonly(db_, "main") == 1;
  if (empty) {
    if (readOnly_) return ERROR_ACCESS_DENIED;
    if ((rc = InitialiseStore(db_))) return ErrorFromSqlite(rc, Use::Write);
    std::int64_t applicationId = 0, version = 0;
    if ((rc = ReadMarks(db_, &applicationId, &version))) return ErrorFromSqlite(rc, Use::Read);
    if (applicationId != kApplicationId) return ERROR_BADDB;
  }
  if (!readOnly_) {
    // WAL lets readers go on while another process writes; NORMAL synchronisation keeps the
    // store consistent through a crash without a flush on every commit.
    Exec(db_, "PRAGMA journal_mode = WAL");
    Exec(db_, "PRAGMA synchronous = NORMAL");
    // Keep the -wal and -shm files after closing, so that a user who may read the store but
    // not write its folder can still open it.
    int persist = 1;
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
  }
  statements_ = std::make_unique<Statements>();
  if ((rc = statements_->PrepareAll(db_))) return ERROR_BADDB;
  return ERROR_SUCCESS;
}

LONG RegistryStore::ValidateLocked() {
  Running step(statements_->dataVersion);
  int rc = sqlite3_step(*step);
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc, Use::Read);
  std::int64_t version = sqlite3_column_int64(*step, 0);
  if (version != dataVersion_) {
    dataVersion_ = version;
    snapshots_.clear();
  }
  return ERROR_SUCCESS;
}

template <typename Body>
LONG RegistryStore::WriteLocked(Body body) {
  if (readOnly_) return ERROR_ACCESS_DENIED;
  {
    Running begin(statements_->begin);
    if (int rc = sqlite3_step(*begin); rc != SQLITE_DONE) return ErrorFromSqlite(rc, Use::Write);
  }
  LONG result = body();
  if (result == ERROR_SUCCESS) {
    Running commit(statements_->commit);
    if (int rc = sqlite3_step(*commit); rc != SQLITE_DONE) result = ErrorFromSqlite(rc, Use::Write);
  }
  if (result != ERROR_SUCCESS) {
    if (!sqlite3_get_autocommit(db_)) {
      Running rollback(statements_->rollback);
      sqlite3_step(*rollback);
    }
    return result;
  }
  snapshots_.clear();
  registryChanges.fetch_add(1, std::memory_order_acq_rel);
  return ERROR_SUCCESS;
}

LONG RegistryStore::FindKey(Hive hive, const std::string& path, std::int64_t* id) {
  std::lock_guard lock(mutex_);
  if (LONG rc = EnsureOpenLocked()) return rc;
  std::string folded = FoldRegistryName(path, codePage_);
  std::string cacheKey = static_cast<char>('0' + static_cast<int>(hive)) + folded;
  if (auto it = keyIds_.find(cacheKey); it != keyIds_.end()) {
    *id = it->second;
    return ERROR_SUCCESS;
  }
  Running find(statements_->findKey);
  sqlite3_bind_int(*find, 1, static_cast<int>(hive));
  BindBlob(*find, 2, folded);
  int rc = sqlite3_step(*find);
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc, Use::Read);
  *id = sqlite3_column_int64(*find, 0);
  keyIds_.emplace(std::move(cacheKey), *id);
  return ERROR_SUCCESS;
}

LONG RegistryStore::CreateKey(Hive hive, const std::string& path, std::int64_t* id, bool* created) {
  *created = false;
  LONG rc = FindKey(hive, path, id);  // an existing key opens even in a store that is read-only
  if (rc != ERROR_FILE_NOT_FOUND) return rc;
  std::lock_guard lock(mutex_);
  if ((rc = EnsureOpenLocked())) return rc;
  return WriteLocked([&]() -> LONG {
    int src = CreateKeyRows(statements_->insertKey.get(), statements_->findKey.get(), hive, path,
                            codePage_, id, created);
    return ErrorFromSqlite(src, Use::Write);
  });
}

LONG RegistryStore::QueryValue(std::int64_t key, std::string_view name, DWORD* type,
                               std::string* data) {
  std::lock_guard lock(mutex_);
  if (LONG rc = EnsureOpenLocked()) return rc;
  Running query(statements_->queryValue);
  std::string folded = FoldRegistryName(name, codePage_);
  sqlite3_bind_int64(*query, 1, key);
  BindBlob(*query, 2, folded);
  int rc = sqlite3_step(*query);
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc, Use::Read);
  *type = static_cast<DWORD>(sqlite3_column_int64(*query, 0));
  *data = ColumnBlob(*query, 1);
  return ERROR_SUCCESS;
}

LONG RegistryStore::SetValue(std::int64_t key, std::string_view name, DWORD type,
                             std::string_view data) {
  std::lock_guard lock(mutex_);
  if (LONG rc = EnsureOpenLocked()) return rc;
  std::string folded = FoldRegistryName(name, codePage_);
  return WriteLocked([&]() -> LONG {
    Running upsert(statements_->upsertValue);
    sqlite3_bind_int64(*upsert, 1, key);
    BindBlob(*upsert, 2, name);
    BindBlob(*upsert, 3, folded);
    sqlite3_bind_int64(*upsert, 4, type);
    BindBlob(*upsert, 5, data);
    return ErrorFromSqlite(sqlite3_step(*upsert), Use::Write);
  });
}

LONG RegistryStore::DeleteValue(std::int64_t key, std::string_view name) {
  std::lock_guard lock(mutex_);
  if (LONG rc = EnsureOpenLocked()) return rc;
  std::string folded = FoldRegistryName(name, codePage_);
  return WriteLocked([&]() -> LONG {
    Running remove(statements_->deleteValue);
    sqlite3_bind_int64(*remove, 1, key);
    BindBlob(*remove, 2, folded);
    int rc = sqlite3_step(*remove);
    if (rc != SQLITE_DONE) return ErrorFromSqlite(rc, Use::Write);
    return sqlite3_changes(db_) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

LONG RegistryStore::Apply(const std::vector<Change>& changes) {
  std::lock_guard lock(mutex_);
  if (LONG rc = EnsureOpenLocked()) return rc;
  return WriteLocked([&]() -> LONG {
    for (const Change& change : changes) {
      const std::string folded = FoldRegistryName(change.name, codePage_);
      std::int64_t key = 0;
      if (change.data) {
        bool created = false;
        int src = CreateKeyRows(statements_->insertKey.get(), statements_->findKey.get(),
                                change.hive, change.path, codePage_, &key, &created);
        if (src != SQLITE_OK) return ErrorFromSqlite(src, Use::Write);
        Running upsert(statements_->upsertValue);
        sqlite3_bind_int64(*upsert, 1, key);
        BindBlob(*upsert, 2, change.name);
        BindBlob(*upsert, 3, folded);
        sqlite3_bind_int64(*upsert, 4, change.type);
        BindBlob(*upsert, 5, *change.data);
        if (int rc = sqlite3_step(*upsert); rc != SQLITE_DONE) return ErrorFromSqlite(rc, Use::Write);
        continue;
      }
      Running find(statements_->findKey);
      sqlite3_bind_int(*find, 1, static_cast<int>(change.hive));
      const std::string foldedPath = FoldRegistryName(change.path, codePage_);
      BindBlob(*find, 2, foldedPath);
      int rc = sqlite3_step(*find);
      if (rc == SQLITE_DONE) continue;  // no key, no value to delete
      if (rc != SQLITE_ROW) return ErrorFromSqlite(rc, Use::Write);
      key = sqlite3_column_int64(*find, 0);
      Running remove(statements_->deleteValue);
      sqlite3_bind_int64(*remove, 1, key);
      BindBlob(*remove, 2, folded);
      if (int drc = sqlite3_step(*remove); drc != SQLITE_DONE) return ErrorFromSqlite(drc, Use::Write);
    }
    return ERROR_SUCCESS;
  });
}

LONG RegistryStore::Snapshot(std::int64_t key, std::shared_ptr<const ValueSnapshot>* snapshot) {
  std::lock_guard lock(mutex_);
  if (LONG rc = EnsureOpenLocked()) return rc;
  if (LONG rc = ValidateLocked()) return rc;
  if (auto it = snapshots_.find(key); it != snapshots_.end()) {
    *snapshot = it->second;
    return ERROR_SUCCESS;
  }
  auto fresh = std::make_shared<ValueSnapshot>();
  Running list(statements_->listValues);
  sqlite3_bind_int64(*list, 1, key);
  int rc;
  while ((rc = sqlite3_step(*list)) == SQLITE_ROW) {
    fresh->names.push_back(ColumnBlob(*list, 0));
    fresh->types.push_back(static_cast<DWORD>(sqlite3_column_int64(*list, 1)));
    fresh->data.push_back(ColumnBlob(*list, 2));
  }
  if (rc != SQLITE_DONE) return ErrorFromSqlite(rc, Use::Read);
  for (const std::string& name : fresh->names) {
    fresh->nameStarts.push_back(static_cast<std::uint32_t>(fresh->packedNames.size()));
    fresh->packedNames.append(name.c_str(), name.size() + 1);
  }
  fresh->nameStarts.push_back(static_cast<std::uint32_t>(fresh->packedNames.size()));
  snapshots_.emplace(key, fresh);
  *snapshot = std::move(fresh);
  return ERROR_SUCCESS;
}

RegistryStore& Store() {
  static RegistryStore* store = new RegistryStore;  // used from any thread until exit
  return *store;
}

}  // namespace platform::posix
