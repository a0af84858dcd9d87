// The journal of the steps under way, the record of our font files, the recovery after a killed
// run, the run lock around batch runs and the report of what a run could not do.
#include "engine/journal.h"

#include <cstdlib>
#include <random>

#include "engine/engine_internal.h"
#include "platform/files.h"
#include "platform/prefix.h"
#include "platform/runlock.h"
#include "platform/text.h"
#include "platform/threads.h"

namespace engine {

namespace detail {

namespace {

constexpr char kSeparator = '\0';

std::vector<std::string> SplitFields(const std::string& data) {
  std::vector<std::string> fields(1);
  for (char c : data) {
    if (c == kSeparator) fields.emplace_back();
    else fields.back() += c;
  }
  return fields;
}

std::string JoinFields(const std::vector<std::string>& fields) {
  std::string data;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) data += kSeparator;
    data += fields[i];
  }
  return data;
}

// Every value of a key below HKEY_LOCAL_MACHINE with its data; empty when there is no key.
std::vector<std::pair<std::string, std::string>> ReadValues(const char* subKey) {
  std::vector<std::pair<std::string, std::string>> values;
  platform::HKEY key = 0;
  if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, subKey, 0, platform::KEY_READ,
                              &key) != platform::ERROR_SUCCESS)
    return values;
  for (const std::string& name : platform::ListRegistryValueNames(platform::HKEY_LOCAL_MACHINE,
                                                                  subKey)) {
    platform::DWORD size = 0;
    if (platform::RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &size) !=
        platform::ERROR_SUCCESS)
      continue;
    std::string data(size, '\0');
    if (platform::RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                   reinterpret_cast<platform::BYTE*>(data.data()),
                                   &size) != platform::ERROR_SUCCESS)
      continue;
    data.resize(size);
    values.emplace_back(name, std::move(data));
  }
  platform::RegCloseKey(key);
  return values;
}

// The string data of one value below HKEY_LOCAL_MACHINE; empty when there is none.
std::string EntryData(const std::string& subKey, const std::string& name) {
  platform::HKEY key = 0;
  if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, subKey.c_str(), 0, platform::KEY_READ,
                              &key) != platform::ERROR_SUCCESS)
    return {};
  std::string data = ReadValueData(key, name);
  platform::RegCloseKey(key);
  return data;
}

RunReport report;
RunWaitFn runWait = nullptr;
void* runWaitContext = nullptr;

// The process's hold on the run lock: taken by the outermost scope, let go by it.
struct RunLockHold {
  platform::RunLock lock;
  int depth = 0;
  bool held = false;
};

RunLockHold& Hold() {
  static RunLockHold hold;
  return hold;
}

// Takes the lock, waiting as the run-wait routine allows; true when this process may run.
bool AcquireRunLock(platform::RunLock& lock) {
  double waited = 0.0;
  for (;;) {
    if (lock.TryAcquire()) return true;
    // A prefix that cannot hold a lock file cannot be written either: the run finds out and
    // says why.
    if (platform::GetLastError() != platform::ERROR_LOCK_VIOLATION) return true;
    if (runWait && !runWait(waited, runWaitContext)) return false;
    platform::Sleep(100);
    waited += 0.1;
  }
}

}  // namespace

std::string JournalId(const JournalRecord& record) {
  return record.kind == JournalRecord::Kind::Install ? record.temp : "remove " + record.file;
}

platform::RegistryChange SetJournal(const JournalRecord& record) {
  const char* kind = record.kind == JournalRecord::Kind::Install ? "install" : "remove";
  return {platform::HKEY_LOCAL_MACHINE, kJournalKey, JournalId(record),
          JoinFields({kind, record.fontsKey, record.fontsDir, record.entry, record.file,
                      record.temp, record.identity}),
          platform::REG_BINARY};
}

platform::RegistryChange ClearJournal(const JournalRecord& record) {
  return {platform::HKEY_LOCAL_MACHINE, kJournalKey, JournalId(record), std::nullopt};
}

platform::RegistryChange SetEntry(const std::string& fontsKey, const std::string& entry,
                                  const std::string& file) {
  return {platform::HKEY_LOCAL_MACHINE, fontsKey, entry, file + '\0', platform::REG_SZ};
}

platform::RegistryChange ClearEntry(const std::string& fontsKey, const std::string& entry) {
  return {platform::HKEY_LOCAL_MACHINE, fontsKey, entry, std::nullopt};
}

platform::RegistryChange SetOwnedFile(const std::string& fontsDir, const std::string& file,
                                      const std::string& identity, std::uint64_t size) {
  return {platform::HKEY_LOCAL_MACHINE, kOwnedFilesKey, fontsDir + "\\" + file,
          JoinFields({identity, std::to_string(size)}), platform::REG_BINARY};
}

platform::RegistryChange ClearOwnedFile(const std::string& fontsDir, const std::string& file) {
  return {platform::HKEY_LOCAL_MACHINE, kOwnedFilesKey, fontsDir + "\\" + file, std::nullopt};
}

platform::LONG Commit(const std::vector<platform::RegistryChange>& changes) {
  // Test hook: the changes one by one with a step boundary between them, as a store without
  // transactions takes them (the Windows registry), so that a run ended half way through a
  // commit is tested on every system.
  static const bool split = std::getenv("ZELVAFONT_TEST_SPLIT_COMMITS") != nullptr;
  if (!split) return platform::RegApplyChanges(changes);
  for (std::size_t i = 0; i < changes.size(); ++i) {
    if (i > 0) StepBoundary();
    if (const platform::LONG rc = platform::RegApplyChanges({changes[i]});
        rc != platform::ERROR_SUCCESS)
      return rc;
  }
  return platform::ERROR_SUCCESS;
}

std::vector<JournalRecord> ReadJournal() {
  std::vector<JournalRecord> records;
  for (const auto& [name, data] : ReadValues(kJournalKey)) {
    std::vector<std::string> fields = SplitFields(data);
    if (fields.size() != 7 || (fields[0] != "install" && fields[0] != "remove")) continue;
    JournalRecord record;
    record.kind =
        fields[0] == "install" ? JournalRecord::Kind::Install : JournalRecord::Kind::Remove;
    record.fontsKey = fields[1];
    record.fontsDir = fields[2];
    record.entry = fields[3];
    record.file = fields[4];
    record.temp = fields[5];
    record.identity = fields[6];
    // A record that names no plain file of the Fonts folder is not one of ours to act on.
    if (!IsPlainFileName(record.kind == JournalRecord::Kind::Install ? record.temp : record.file))
      continue;
    if (!record.file.empty() && !IsPlainFileName(record.file)) continue;
    records.push_back(std::move(record));
  }
  return records;
}

std::vector<OwnedFile> ReadOwnedFiles() {
  std::vector<OwnedFile> files;
  for (const auto& [name, data] : ReadValues(kOwnedFilesKey)) {
    std::vector<std::string> fields = SplitFields(data);
    if (fields.size() != 2) continue;
    OwnedFile file;
    file.path = name;
    file.identity = fields[0];
    file.size = static_cast<std::uint64_t>(ParseCount(fields[1]));
    files.push_back(std::move(file));
  }
  return files;
}

bool DeleteOwnedFile(const std::string& path, const std::string& identity) {
  const std::string found = platform::GetFileIdentity(path);
  if (found.empty()) return true;
  if (identity.empty() || found != identity) return false;  // another file took the name
  platform::SetFileAttributesA(path.c_str(), 0);
  return platform::DeleteFileA(path.c_str());
}

int RecoverLocked() {
  int settled = 0;
  for (const JournalRecord& record : ReadJournal()) {
    const std::string filePath = record.fontsDir + "\\" + record.file;
    std::vector<platform::RegistryChange> changes{ClearJournal(record)};
    if (record.kind == JournalRecord::Kind::Install) {
      // An install that did not commit is rolled back: its temporary file and, when the copy
      // already had its name, the copy go.
      const std::string tempPath = record.fontsDir + "\\" + record.temp;
      if (platform::GetFileAttributesA(tempPath.c_str()) != platform::INVALID_FILE_ATTRIBUTES &&
          !platform::DeleteFileA(tempPath.c_str()))
        continue;  // try again next time
      if (!record.file.empty() && !DeleteOwnedFile(filePath, record.identity) &&
          platform::GetFileIdentity(filePath) == record.identity)
        continue;
      // A store without transactions (the Windows registry) may have taken the first values of
      // the final commit before the run ended: the entry and the record of the copy go with it,
      // while they are still this install's.
      if (!record.file.empty()) {
        if (EntryData(record.fontsKey, record.entry) == record.file)
          changes.push_back(ClearEntry(record.fontsKey, record.entry));
        for (const OwnedFile& owned : ReadOwnedFiles())
          if (owned.path == filePath && owned.identity == record.identity)
            changes.push_back(ClearOwnedFile(record.fontsDir, record.file));
      }
    } else {
      // A removal is finished when its file can go; otherwise the entry stays with its file.
      if (DeleteOwnedFile(filePath, record.identity)) {
        changes.push_back(ClearEntry(record.fontsKey, record.entry));
        changes.push_back(ClearOwnedFile(record.fontsDir, record.file));
      }
    }
    if (Commit(changes) == platform::ERROR_SUCCESS) ++settled;
  }
  return settled;
}

std::string NewTemporaryName() {
  static std::mt19937_64 random{std::random_device{}()};
  static const char digits[] = "0123456789abcdef";
  std::uint64_t value = random();
  std::string name = ".zf-";
  for (int i = 0; i < 16; ++i, value >>= 4) name += digits[value & 15];
  return name + ".tmp";
}

void NoteProblem(const std::string& fontKey, FontFailure failure, platform::DWORD error,
                 std::uint64_t needed, std::uint64_t available) {
  FontProblem problem;
  problem.key = fontKey;
  GetFontName(fontKey, problem.name);
  problem.failure = failure;
  problem.error = error;
  problem.needed = needed;
  problem.available = available;
  report.problems.push_back(std::move(problem));
}

RunScope::RunScope() {
  RunLockHold& hold = Hold();
  if (hold.depth++ > 0) return;
  report = RunReport{};
  hold.held = AcquireRunLock(hold.lock);
  if (!hold.held) {
    report.busy = true;
    return;
  }
  RecoverLocked();
}

RunScope::~RunScope() {
  RunLockHold& hold = Hold();
  if (--hold.depth > 0) return;
  hold.lock.Release();
  hold.held = false;
}

bool RunScope::Held() const { return Hold().held; }

int RunScopeDepth() { return Hold().depth; }

void StepBoundary() {
  static const long exitAt = [] {
    const char* text = std::getenv("ZELVAFONT_TEST_EXIT_AT_STEP");
    return text ? std::strtol(text, nullptr, 10) : 0L;
  }();
  static long step = 0;
  if (exitAt > 0 && ++step == exitAt) std::_Exit(86);
}

}  // namespace detail

const RunReport& LastRunReport() { return detail::report; }

void SetRunWait(RunWaitFn wait, void* context) {
  detail::runWait = wait;
  detail::runWaitContext = context;
}

int RecoverInterruptedRuns() {
  if (detail::Hold().depth > 0) return 0;
  platform::RunLock lock;
  if (!lock.TryAcquire()) return 0;
  return detail::RecoverLocked();
}

namespace {

std::string Pick(bool chinese, const char* zh, const std::string& en) {
  return chinese ? platform::Utf8ToAnsi(zh) : en;
}

// Megabytes with one decimal, so that a small font and a nearly full disk still read apart.
std::string Megabytes(std::uint64_t bytes) {
  const std::uint64_t tenths = (bytes * 10 + (1u << 19)) >> 20;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

}  // namespace

std::string DescribeProblem(const FontProblem& p, bool chinese) {
  const std::string font = p.name.empty() ? p.key : p.name;
  std::string cause;
  switch (p.failure) {
    case FontFailure::SourceMissing:
      cause = Pick(chinese, "光碟上找不到字型檔", "its file is missing from the disc");
      break;
    case FontFailure::SourceNotRegular:
      cause = Pick(chinese, "光碟上的字型檔不是一般檔案", "its file on the disc is not a regular file");
      break;
    case FontFailure::SourceOutsideDisc:
      cause = Pick(chinese, "光碟上的字型檔連結到光碟以外", "its file on the disc links outside the disc");
      break;
    case FontFailure::SourceUnreadable:
      cause = Pick(chinese, "光碟讀取錯誤", "the disc cannot be read");
      break;
    case FontFailure::SourceChanged:
      cause = Pick(chinese, "複製時字型檔大小改變", "its file changed size while it was copied");
      break;
    case FontFailure::DiskFull:
      cause = chinese ? platform::Utf8ToAnsi("磁碟空間不足 (需要 " + Megabytes(p.needed) +
                                             " MB，可用 " + Megabytes(p.available) + " MB)")
                      : "the disk is full (" + Megabytes(p.needed) + " MB needed, " +
                            Megabytes(p.available) + " MB free)";
      break;
    case FontFailure::FolderReadOnly:
      cause = Pick(chinese, "字型資料夾無法寫入", "the Fonts folder is read-only");
      break;
    case FontFailure::CopyFailed:
      cause = Pick(chinese, "無法複製字型檔", "its file could not be copied (error " +
                                                  std::to_string(p.error) + ")");
      break;
    case FontFailure::NotAFont:
      cause = Pick(chinese, "複製的檔案不是完整的字型 (光碟可能損壞)",
                   "the copy is not a whole font (the disc may be damaged)");
      break;
    case FontFailure::FileNotDeleted:
      cause = Pick(chinese, "字型檔無法刪除 (字型資料夾無法寫入)",
                   "its file cannot be deleted (the Fonts folder is read-only)");
      break;
    case FontFailure::StoreFailed:
      cause = DescribeStoreProblem(chinese);
      if (cause.empty()) cause = Pick(chinese, "無法寫入登錄", "the registry cannot be written");
      break;
  }
  return font + ": " + cause;
}

std::string DescribeStoreProblem(bool chinese) {
  std::string store;
  try {
    store = platform::PrefixDir() + "/registry.db";
  } catch (const std::exception& e) {
    return Pick(chinese, "無法建立設定資料夾", e.what());
  }
  store = platform::Utf8ToAnsi(store);
  platform::HKEY key = 0;
  platform::LONG rc = platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, "SOFTWARE", 0,
                                              platform::KEY_READ, &key);
  if (rc == platform::ERROR_SUCCESS) {
    platform::RegCloseKey(key);
    // Readable; a write test would change the store, so a read-only one shows as such here.
    if (platform::RegCreateKeyExA(platform::HKEY_LOCAL_MACHINE, detail::kJournalKey, 0, nullptr, 0,
                                  platform::KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr) == platform::ERROR_SUCCESS) {
      platform::RegCloseKey(key);
      return {};
    }
    rc = static_cast<platform::LONG>(platform::ERROR_ACCESS_DENIED);
  }
  switch (rc) {
    case platform::ERROR_BADDB:
      return Pick(chinese, "登錄資料庫損壞或不是本程式的: ", "the registry store is damaged or not ours: ") + store;
    case platform::ERROR_ACCESS_DENIED:
      return Pick(chinese, "登錄資料庫無法寫入: ", "the registry store is read-only: ") + store;
    case platform::ERROR_CANTREAD:
    case platform::ERROR_CANTWRITE:
      return Pick(chinese, "登錄資料庫被其他程式鎖住: ", "the registry store is locked by another program: ") + store;
    default:
      return Pick(chinese, "找不到登錄資料庫: ", "the registry store is missing: ") + store;
  }
}

}  // namespace engine
