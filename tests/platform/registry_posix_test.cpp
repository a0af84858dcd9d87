// The POSIX registry store in a temporary prefix: what a fresh store holds, writers in several
// processes at once, handles of a prefix that was left, and read-only and foreign stores.
#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include "platform/posix/registry_store.h"
#include "platform/prefix.h"
#include "registry_helpers.h"
#include "support/test_support.h"

namespace {

using namespace platform;
using namespace registry_test;
using testing_support::TempPrefix;

std::string StoreFile(const TempPrefix& prefix) { return prefix.str() + "/registry.db"; }

// Runs body in a child process and returns what it reported ("" = all well). No registry
// connection may cross the fork, so this process closes its own first. With unprivileged set
// the child runs as nobody when the tests run as root, for whom permissions do not count.
std::string RunInChild(const std::function<std::string()>& body, bool unprivileged = false) {
  posix::CloseRegistryStore();
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return "pipe failed";
  pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    std::string report;
    if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
      report = "cannot drop root";
    if (report.empty()) report = body();
    if (write(pipeFds[1], report.data(), report.size()) < 0) _exit(2);
    _exit(0);
  }
  close(pipeFds[1]);
  std::string report;
  char chunk[256];
  for (ssize_t n; (n = read(pipeFds[0], chunk, sizeof chunk)) > 0;) report.append(chunk, n);
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    report += " (child ended with status " + std::to_string(status) + ")";
  return report;
}

std::string Expect(bool ok, const std::string& what) { return ok ? "" : what + "; "; }

TEST(RegistryTest, FreshStoreHoldsTheFontsFolderAndTheFontList) {
  TempPrefix prefix;
  HKEY folders = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_READ, &folders), ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(Query(folders, "fonts", &type), std::string("C:\\windows\\Fonts\0", 17));
  EXPECT_EQ(type, REG_SZ);
  RegCloseKey(folders);
  HKEY fonts = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_READ, &fonts), ERROR_SUCCESS);
  EXPECT_TRUE(EnumNames(fonts).empty());
  RegCloseKey(fonts);
  HKEY classes = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, &classes), ERROR_SUCCESS);
  RegCloseKey(classes);
  EXPECT_TRUE(std::filesystem::is_regular_file(StoreFile(prefix)));
}

// Handles are never handed out twice, so a stale one can never reach another caller's key: a
// deliberate deviation, since Windows reuses handle values.
TEST(RegistryTest, AClosedKeyIsRefusedForGood) {
  TempPrefix prefix;
  HKEY closed = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks");
  ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  HKEY out = 0;
  EXPECT_EQ(RegOpenKeyExA(closed, "x", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetString(closed, "x", "1"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
  HKEY next = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks");
  EXPECT_NE(next, closed);
  RegCloseKey(next);
}

TEST(RegistryTest, SeesWhatAnotherProcessWrites) {
  TempPrefix prefix;
  HKEY key = Create(HKEY_LOCAL_MACHINE, kFontsKey);
  ASSERT_EQ(SetString(key, "A (TrueType)", "a.ttf"), ERROR_SUCCESS);
  RegCloseKey(key);
  std::string report = RunInChild([] {
    HKEY key = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_ALL_ACCESS, &key)) return "open";
    return SetString(key, "B (TrueType)", "b.ttf") || SetString(key, "A (TrueType)", "a2.ttf")
               ? "write"
               : "";
  });
  ASSERT_EQ(report, "");
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  std::vector<std::string> before = EnumNames(key);  // the snapshot this process now holds
  ASSERT_EQ(before.size(), 2u);
  report = RunInChild([] {
    HKEY key = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_ALL_ACCESS, &key)) return "open";
    return SetString(key, "C (TrueType)", "c.ttf") ? "write" : "";
  });
  ASSERT_EQ(report, "");
  // RunInChild closed this process's store, which ends its handles; open the key again.
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  std::vector<std::string> expected = {"A (TrueType)", "B (TrueType)", "C (TrueType)"};
  EXPECT_EQ(EnumNames(key), expected);
  EXPECT_EQ(Query(key, "a (truetype)"), std::string("a2.ttf\0", 7));
  RegCloseKey(key);
}

TEST(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  // The store does not exist yet either: both processes race to make it and the key.
  TempPrefix prefix;
  posix::CloseRegistryStore();
  const char* raceKey = "SOFTWARE\\Zelvaworks\\Race";
  pid_t children[2];
  for (int child = 0; child < 2; ++child) {
    children[child] = fork();
    ASSERT_GE(children[child], 0);
    if (children[child] == 0) {
      int failures = 0;
      for (int i = 0; i < 500; ++i) {
        HKEY key = 0;
        std::string name = "P" + std::to_string(child) + " Font " + std::to_string(i);
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, raceKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS ||
            SetString(key, name.c_str(), name + ".ttf") != ERROR_SUCCESS)
          ++failures;
        RegCloseKey(key);
      }
      _exit(failures == 0 ? 0 : 1);
    }
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
  EXPECT_EQ(ListRegistryValueNames(HKEY_LOCAL_MACHINE, raceKey).size(), 1000u);
  EXPECT_EQ(ListRegistryValueNames(HKEY_CURRENT_USER, kShellFolders).size(), 1u);  // seeded once
  for (const auto& entry : std::filesystem::directory_iterator(prefix.path()))
    EXPECT_FALSE(entry.path().filename().string().starts_with("registry.db.new")) << entry.path();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(StoreFile(prefix).c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
  sqlite3_stmt* check = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
  sqlite3_finalize(check);
  sqlite3_close(db);
}

TEST(RegistryTest, HandlesOfAPrefixThatWasLeftAreInvalid) {
  auto outer = std::make_unique<TempPrefix>();
  HKEY key = Create(HKEY_LOCAL_MACHINE, kFontsKey);
  ASSERT_EQ(SetString(key, "Kept", "1"), ERROR_SUCCESS);
  ReopenPrefix();  // the same prefix again: the key stays usable
  EXPECT_EQ(Query(key, "Kept"), std::string("1\0", 2));
  {
    TempPrefix inner;
    EXPECT_EQ(SetString(key, "Kept", "2"), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(ListRegistryValueNames(HKEY_LOCAL_MACHINE, kFontsKey).empty());
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// ---- Stores that cannot be written or are not ours ----

TEST(RegistryStoreTest, ReadOnlyStoreReadsButRefusesWrites) {
  // As root, permissions do not hold; the checks then run in a child that has become nobody,
  // which is the real case of a user without write access to the machine's registry.
  struct Case {
    const char* label;
    bool folderWritable;
    bool keepWalFiles;  // a reader needs them, or must be able to make them, to share the store
  } cases[] = {
      {"file read-only", true, true},
      {"file and folder read-only", false, true},
      {"file and folder read-only, no WAL files", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempPrefix prefix;
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks");
    ASSERT_EQ(SetString(key, "Zwk98", "1"), ERROR_SUCCESS);
    RegCloseKey(key);
    posix::CloseRegistryStore();
    if (!c.keepWalFiles) {
      ASSERT_TRUE(std::filesystem::remove(StoreFile(prefix) + "-wal"));
      ASSERT_TRUE(std::filesystem::remove(StoreFile(prefix) + "-shm"));
    }
    bool root = geteuid() == 0;
    for (const auto& entry : std::filesystem::directory_iterator(prefix.path()))
      if (entry.path().filename().string().starts_with("registry.db"))
        chmod(entry.path().c_str(), root ? 0644 : 0444);
    chmod(prefix.str().c_str(), c.folderWritable ? 0777 : 0555);
    std::string report = RunInChild(
        [] {
          std::string failures;
          HKEY key = 0;
          LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks", 0,
                                  KEY_ALL_ACCESS, &key);
          failures += Expect(rc == ERROR_SUCCESS, "open " + std::to_string(rc));
          failures += Expect(Query(key, "Zwk98") == std::string("1\0", 2), "read");
          failures += Expect(EnumNames(key) == std::vector<std::string>{"Zwk98"}, "enumerate");
          rc = SetString(key, "Zwk98", "2");
          failures += Expect(rc == ERROR_ACCESS_DENIED, "set " + std::to_string(rc));
          rc = RegDeleteValueA(key, "Zwk98");
          failures += Expect(rc == ERROR_ACCESS_DENIED, "delete " + std::to_string(rc));
          HKEY sub = 0;
          rc = RegCreateKeyExA(key, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
          failures += Expect(rc == ERROR_ACCESS_DENIED, "create " + std::to_string(rc));
          DWORD disposition = 0;
          rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kFontsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                               nullptr, &sub, &disposition);
          failures += Expect(rc == ERROR_SUCCESS && disposition == REG_OPENED_EXISTING_KEY,
                             "create existing " + std::to_string(rc));
          Registry registry;
          registry.SetRootKey(HKEY_LOCAL_MACHINE);
          registry.OpenKey("SOFTWARE\\Zelvaworks", false);
          try {
            registry.WriteInteger("Zwk98", 1);
            failures += "helper wrote; ";
          } catch (const RegistryError& error) {
            failures += Expect(std::string(error.what()) == "Failed to set data for 'Zwk98'",
                               error.what());
          }
          return failures;
        },
        /*unprivileged=*/true);
    EXPECT_EQ(report, "");
  }
}

TEST(RegistryStoreTest, ForeignStoreFileIsReportedAndNeverTouched) {
  struct Case {
    const char* label;
    std::function<void(const std::string&)> make;
  } cases[] = {
      {"not SQLite",
       [](const std::string& path) {
         testing_support::WriteFile(path, std::string(3000, 'Z') + "registry?");
       }},
      {"SQLite without our schema",
       [](const std::string& path) {
         sqlite3* db = nullptr;
         sqlite3_open(path.c_str(), &db);
         sqlite3_exec(db, "CREATE TABLE keys(x); INSERT INTO keys VALUES(1);", nullptr, nullptr,
                      nullptr);
         sqlite3_close(db);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempPrefix prefix;
    c.make(StoreFile(prefix));
    std::string before = testing_support::ReadFile(StoreFile(prefix));
    HKEY key = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_READ, &key), ERROR_BADDB);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_BADDB);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Zwk98", "1"), ERROR_BADDB);
    EXPECT_EQ(Query(HKEY_CURRENT_USER, "x"), std::nullopt);
    EXPECT_TRUE(ListRegistryValueNames(HKEY_CURRENT_USER, kShellFolders).empty());
    Registry registry;
    EXPECT_FALSE(registry.OpenKey("Software", true));
    EXPECT_EQ(registry.ReadString("Fonts"), "");
    posix::CloseRegistryStore();
    EXPECT_EQ(testing_support::ReadFile(StoreFile(prefix)), before);
  }
}

TEST(RegistryStoreTest, UnusablePrefixGivesAnErrorCode) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir.path() / "file", "x");
  std::string old = std::getenv("ZELVAFONT_PREFIX") ? std::getenv("ZELVAFONT_PREFIX") : "";
  setenv("ZELVAFONT_PREFIX", (dir.str() + "/file/prefix").c_str(), 1);
  ReopenPrefix();
  HKEY key = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_READ, &key), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(ListRegistryValueNames(HKEY_LOCAL_MACHINE, kFontsKey).empty());
  Registry registry;
  EXPECT_THROW(registry.WriteInteger("Zwk98", 1), RegistryError);

  // The store's name taken by a folder, and a prefix this user may not enter.
  std::filesystem::create_directories(dir.path() / "prefix" / "registry.db");
  setenv("ZELVAFONT_PREFIX", (dir.str() + "/prefix").c_str(), 1);
  ReopenPrefix();
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_READ, &key), ERROR_BADDB);
  std::filesystem::create_directories(dir.path() / "locked" / "drive_c" / "windows" / "Fonts");
  chmod(dir.path().c_str(), 0755);
  chmod((dir.path() / "locked").c_str(), 0);
  setenv("ZELVAFONT_PREFIX", (dir.str() + "/locked").c_str(), 1);
  ReopenPrefix();
  std::string report = RunInChild(
      [] {
        HKEY key = 0;
        LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_READ, &key);
        return Expect(rc == ERROR_ACCESS_DENIED || rc == ERROR_PATH_NOT_FOUND,
                      "open " + std::to_string(rc));
      },
      /*unprivileged=*/true);
  EXPECT_EQ(report, "");
  if (old.empty())
    unsetenv("ZELVAFONT_PREFIX");
  else
    setenv("ZELVAFONT_PREFIX", old.c_str(), 1);
  ReopenPrefix();
}

}  // namespace
