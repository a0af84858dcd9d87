// The registry over a real SQLite store in a temporary prefix: the raw calls' codes and buffer
// contracts, names, order, the helper's texts, read-only and foreign stores, and writers in
// several processes and threads at once.
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
#include "support/test_support.h"

namespace {

using namespace platform;
using testing_support::TempPrefix;

constexpr const char* kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

HKEY Create(HKEY root, const char* path, DWORD access = KEY_ALL_ACCESS) {
  HKEY key = 0;
  EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << path;
  return key;
}

LONG SetString(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

std::optional<std::string> Query(HKEY key, const char* name, DWORD* type = nullptr) {
  BYTE buffer[512];
  DWORD size = sizeof buffer, valueType = 0;
  if (RegQueryValueExA(key, name, nullptr, &valueType, buffer, &size) != ERROR_SUCCESS)
    return std::nullopt;
  if (type) *type = valueType;
  return std::string(reinterpret_cast<char*>(buffer), size);
}

std::vector<std::string> EnumNames(HKEY key) {
  std::vector<std::string> names;
  char name[512];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    LONG rc = RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return names;
    if (rc != ERROR_SUCCESS) {
      ADD_FAILURE() << "RegEnumValueA(" << i << ") = " << rc;
      return names;
    }
    names.emplace_back(name, size);
  }
}

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

TEST(RegistryTest, KeysOpenWithoutRegardToCaseAndCreateTheirParents) {
  TempPrefix prefix;
  HKEY key = 1;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, 0u);
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks\\A\\B", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(SetString(key, "Here", "1"), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\ZELVAWORKS\\a\\b", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);
  for (const char* path : {"Software\\Zelvaworks\\A", "Software\\\\Zelvaworks\\A\\B\\"}) {
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key), ERROR_SUCCESS) << path;
    RegCloseKey(key);
  }
  // A subkey path is taken from the key it is opened under.
  HKEY parent = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks");
  ASSERT_EQ(RegOpenKeyExA(parent, "a\\B", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(Query(key, "HERE"), std::string("1\0", 2));
  RegCloseKey(key);
  RegCloseKey(parent);
  // The two hives are apart.
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Zelvaworks", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
}

TEST(RegistryTest, BadHandlesAreRefused) {
  TempPrefix prefix;
  HKEY closed = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks");
  ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  for (HKEY bad : {HKEY(0), HKEY(0x1234), closed}) {
    SCOPED_TRACE(bad);
    HKEY out = 0;
    char name[16];
    DWORD nameSize = sizeof name, size = 4;
    BYTE data[4] = {};
    EXPECT_EQ(RegOpenKeyExA(bad, "x", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCreateKeyExA(bad, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegEnumValueA(bad, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(bad, "x", nullptr, nullptr, data, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(bad, "x", 0, REG_DWORD, data, 4), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteValueA(bad, "x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
  }
}

TEST(RegistryTest, QueryValueKeepsTheBufferContract) {
  TempPrefix prefix;
  HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks");
  ASSERT_EQ(SetString(key, "Text", "abcd"), ERROR_SUCCESS);
  const BYTE dword[4] = {0x04, 0x03, 0x02, 0x01};
  ASSERT_EQ(RegSetValueExA(key, "Number", 0, REG_DWORD, dword, 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, nullptr, "default"), ERROR_SUCCESS);
  struct Case {
    const char* name;
    DWORD bufferSize;
    bool withBuffer;
    LONG rc;
    DWORD type;
    DWORD size;
    std::string bytes;
  } cases[] = {
      {"Text", 4, true, ERROR_MORE_DATA, REG_SZ, 5, ""},
      {"Text", 5, true, ERROR_SUCCESS, REG_SZ, 5, std::string("abcd\0", 5)},
      {"TEXT", 0, false, ERROR_SUCCESS, REG_SZ, 5, ""},
      {"Number", 4, true, ERROR_SUCCESS, REG_DWORD, 4, "\x04\x03\x02\x01"},
      {"Number", 3, true, ERROR_MORE_DATA, REG_DWORD, 4, ""},
      {"Empty", 4, true, ERROR_SUCCESS, REG_BINARY, 0, ""},
      {"", 8, true, ERROR_SUCCESS, REG_SZ, 8, std::string("default\0", 8)},
      {"Missing", 8, true, ERROR_FILE_NOT_FOUND, REG_NONE, 8, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " into " + std::to_string(c.bufferSize));
    BYTE buffer[16] = {};
    DWORD type = REG_NONE, size = c.bufferSize;
    EXPECT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, c.withBuffer ? buffer : nullptr, &size),
              c.rc);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, c.size);
    if (c.rc == ERROR_SUCCESS && c.withBuffer) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), c.bytes);
    }
  }
  RegCloseKey(key);
}

TEST(RegistryTest, ValuesEnumerateInTheOrderTheyWereFirstCreated) {
  TempPrefix prefix;
  HKEY key = Create(HKEY_LOCAL_MACHINE, kFontsKey);
  for (const char* name : {"Zeta (TrueType)", "Alpha (TrueType)", "Mid (TrueType)"})
    ASSERT_EQ(SetString(key, name, "x.ttf"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "ALPHA (TRUETYPE)", "y.ttf"), ERROR_SUCCESS);  // keeps place and name
  ASSERT_EQ(RegDeleteValueA(key, "zeta (truetype)"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "Zeta (TrueType)", "z.ttf"), ERROR_SUCCESS);  // created anew: last
  EXPECT_EQ(RegDeleteValueA(key, "Gone"), ERROR_FILE_NOT_FOUND);
  std::vector<std::string> expected = {"Alpha (TrueType)", "Mid (TrueType)", "Zeta (TrueType)"};
  EXPECT_EQ(EnumNames(key), expected);
  EXPECT_EQ(ListRegistryValueNames(HKEY_LOCAL_MACHINE, kFontsKey), expected);
  EXPECT_TRUE(ListRegistryValueNames(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere").empty());
  EXPECT_EQ(ShareRegistryValueNames(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere"), nullptr);
  auto shared = ShareRegistryValueNames(HKEY_LOCAL_MACHINE, kFontsKey);
  ASSERT_NE(shared, nullptr);
  ASSERT_EQ(SetString(key, "Later", "l.ttf"), ERROR_SUCCESS);
  EXPECT_EQ(*shared, expected);  // a list once handed out never changes under its holder
  ASSERT_EQ(RegDeleteValueA(key, "Later"), ERROR_SUCCESS);

  // Buffers: the name needs room for its NUL; data too small gives the size it needs.
  char name[32];
  BYTE data[32];
  DWORD nameSize = 16, type = 0, dataSize = sizeof data;  // "Alpha (TrueType)" is 16 long
  EXPECT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, data, &dataSize),
            ERROR_MORE_DATA);
  EXPECT_EQ(nameSize, 16u);
  nameSize = 17;
  dataSize = 3;
  EXPECT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, data, &dataSize),
            ERROR_MORE_DATA);
  EXPECT_EQ(dataSize, 6u);
  nameSize = 17;
  dataSize = sizeof data;
  ASSERT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name), "Alpha (TrueType)");
  EXPECT_EQ(nameSize, 16u);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), dataSize), std::string("y.ttf\0", 6));
  nameSize = sizeof name;
  EXPECT_EQ(RegEnumValueA(key, 3, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

TEST(RegistryTest, HandlesOnlyDoWhatTheyWereOpenedFor) {
  TempPrefix prefix;
  HKEY writer = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks", KEY_WRITE);
  EXPECT_EQ(SetString(writer, "Zwk98", "1"), ERROR_SUCCESS);
  EXPECT_EQ(Query(writer, "Zwk98"), std::nullopt);
  char name[16];
  DWORD nameSize = sizeof name;
  EXPECT_EQ(RegEnumValueA(writer, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
            ERROR_ACCESS_DENIED);
  HKEY reader = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks", 0, KEY_READ, &reader),
            ERROR_SUCCESS);
  EXPECT_EQ(SetString(reader, "Zwk98", "2"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(reader, "Zwk98"), ERROR_ACCESS_DENIED);
  HKEY sub = 0;
  EXPECT_EQ(RegCreateKeyExA(reader, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(Query(reader, "Zwk98"), std::string("1\0", 2));
  RegCloseKey(reader);
  RegCloseKey(writer);
}

TEST(RegistryTest, NamesFoldOnlyAsciiLettersThatAreCharactersOfTheirOwn) {
  struct Case {
    unsigned short language;
    std::string first, second;
    bool same;
  } cases[] = {
      {1028, "\xA4\xA4\xA4\xE5 Ming (TrueType)", "\xA4\xA4\xA4\xE5 MING (truetype)", true},
      // Big5 characters whose second bytes are the letters a and A are two characters.
      {1028, "\xA4\x61 Sung", "\xA4\x41 Sung", false},
      {1028, "\xB3\x5Cx", "\xB3\x5CX", true},
      // In code page 1252 the same bytes are a currency sign and a letter.
      {1033, "\xA4\x61 Sung", "\xA4\x41 Sung", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first + " / " + c.second);
    TempPrefix prefix(c.language);
    HKEY key = Create(HKEY_LOCAL_MACHINE, kFontsKey);
    ASSERT_EQ(SetString(key, c.first.c_str(), "1.ttf"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, c.second.c_str(), "2.ttf"), ERROR_SUCCESS);
    std::vector<std::string> names = EnumNames(key);
    EXPECT_EQ(names.size(), c.same ? 1u : 2u);
    EXPECT_EQ(names.at(0), c.first);  // bytes kept as written first
    RegCloseKey(key);
  }
}

TEST(RegistryTest, KeyPathsSplitOnlyAtBackslashesOfTheirOwn) {
  TempPrefix prefix(1028);
  // \xB3\x5C and \xA5\x5C are single Big5 characters whose second byte is 0x5C.
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\\xB3\x5C\\\xA5\x5Cx");
  RegCloseKey(key);
  HKEY out = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\\xB3", 0, KEY_READ, &out),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\\xB3\x5C", 0, KEY_READ, &out), ERROR_SUCCESS);
  RegCloseKey(out);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\\xB3\x5C\\\xA5\x5CX", 0, KEY_READ, &out),
            ERROR_SUCCESS);
  RegCloseKey(out);
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

TEST(RegistryTest, ThreadsEnumerateWhileAnotherWrites) {
  TempPrefix prefix;
  HKEY key = Create(HKEY_LOCAL_MACHINE, kFontsKey);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 200; ++i) {
      std::string name = "Font " + std::to_string(i);
      EXPECT_EQ(SetString(key, name.c_str(), "f.ttf"), ERROR_SUCCESS);
    }
    done = true;
  });
  std::size_t seen = 0;
  while (!done) {
    std::vector<std::string> names = EnumNames(key);
    // Each pass reads one consistent list: never shrinking, always "Font 0" ... in order.
    EXPECT_GE(names.size(), seen);
    seen = names.size();
    for (std::size_t i = 0; i < names.size(); ++i) ASSERT_EQ(names[i], "Font " + std::to_string(i));
  }
  writer.join();
  EXPECT_EQ(EnumNames(key).size(), 200u);
  RegCloseKey(key);
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

// ---- The helper class ----

void PutZwk98(const std::function<LONG(HKEY)>& write) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks");
  ASSERT_EQ(write(key), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST(RegistryHelperTest, FailuresCarryTheirTexts) {
  struct Case {
    const char* label;
    std::function<LONG(HKEY)> setup;  // writes Zwk98 below SOFTWARE\Zelvaworks
    std::function<void(Registry&)> call;
    const char* text;
  } cases[] = {
      {"one character text", [](HKEY k) { return SetString(k, "Zwk98", "1"); },
       [](Registry& r) { r.OpenKey("SOFTWARE\\Zelvaworks", false); r.ReadInteger("Zwk98"); },
       "Invalid data type for 'Zwk98'"},
      {"three characters fill 4 bytes", [](HKEY k) { return SetString(k, "Zwk98", "abc"); },
       [](Registry& r) { r.OpenKey("SOFTWARE\\Zelvaworks", false); r.ReadInteger("Zwk98"); },
       "Invalid data type for 'Zwk98'"},
      {"four characters do not fit", [](HKEY k) { return SetString(k, "Zwk98", "abcd"); },
       [](Registry& r) { r.OpenKey("SOFTWARE\\Zelvaworks", false); r.ReadInteger("Zwk98"); },
       "Failed to get data for 'Zwk98'"},
      {"missing value", [](HKEY) { return ERROR_SUCCESS; },
       [](Registry& r) { r.OpenKey("SOFTWARE\\Zelvaworks", false); r.ReadInteger("Zwk98"); },
       "Failed to get data for 'Zwk98'"},
      {"number read as text", [](HKEY k) {
         const BYTE one[4] = {1, 0, 0, 0};
         return RegSetValueExA(k, "Zwk98", 0, REG_DWORD, one, 4);
       },
       [](Registry& r) { r.OpenKey("SOFTWARE\\Zelvaworks", false); r.ReadString("Zwk98"); },
       "Invalid data type for 'Zwk98'"},
      {"write after a failed open", [](HKEY) { return ERROR_SUCCESS; },
       [](Registry& r) {
         EXPECT_FALSE(r.OpenKey("SOFTWARE\\Nowhere", false));
         r.WriteInteger("Zwk98", 1);
       },
       "Failed to set data for 'Zwk98'"},
      {"write through a read-only key", [](HKEY) { return ERROR_SUCCESS; },
       [](Registry& r) {
         EXPECT_TRUE(r.OpenKeyReadOnly("SOFTWARE\\Zelvaworks"));
         r.WriteString("Name", "x");
       },
       "Failed to set data for 'Name'"},
      {"create below a read-only key", [](HKEY) { return ERROR_SUCCESS; },
       [](Registry& r) {
         EXPECT_TRUE(r.OpenKeyReadOnly("SOFTWARE\\Zelvaworks"));
         r.CreateKey("Sub\\Key");
       },
       "Failed to create key Sub\\Key"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempPrefix prefix;
    PutZwk98(c.setup);
    Registry registry(KEY_READ | KEY_WRITE);
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    try {
      c.call(registry);
      ADD_FAILURE() << "no RegistryError";
    } catch (const RegistryError& error) {
      EXPECT_STREQ(error.what(), c.text);
    }
  }
}

TEST(RegistryHelperTest, ReadsAndWritesTypedValuesAndKeepsThePlaceOfTheKey) {
  TempPrefix prefix(1028);
  Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(registry.KeyExists("SOFTWARE\\Zelvaworks"));
  registry.CreateKey("SOFTWARE\\Zelvaworks");
  EXPECT_TRUE(registry.KeyExists("software\\zelvaworks"));
  ASSERT_TRUE(registry.OpenKey("SOFTWARE", false));
  ASSERT_TRUE(registry.OpenKey("Zelvaworks\\Sub", true));  // relative to SOFTWARE
  EXPECT_TRUE(registry.KeyExists("\\SOFTWARE\\Zelvaworks\\Sub"));
  registry.WriteInteger("Zwk98", -5);
  EXPECT_EQ(registry.ReadInteger("ZWK98"), -5);
  registry.WriteString("\xB3\x5C Font", "\xB3\x5C.ttf");
  EXPECT_EQ(registry.ReadString("\xB3\x5C FONT"), "\xB3\x5C.ttf");
  EXPECT_EQ(registry.ReadString("Missing"), "");
  EXPECT_TRUE(registry.ValueExists("zwk98"));
  EXPECT_EQ(registry.GetValueNames(), (std::vector<std::string>{"Zwk98", "\xB3\x5C Font"}));
  EXPECT_TRUE(registry.DeleteValue("Zwk98"));
  EXPECT_FALSE(registry.DeleteValue("Zwk98"));
  EXPECT_FALSE(registry.ValueExists("Zwk98"));
  registry.CloseKey();
  EXPECT_TRUE(registry.GetValueNames().empty());
  HKEY key = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks\\Sub", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(Query(key, "\xB3\x5C Font"), std::string("\xB3\x5C.ttf\0", 7));
  RegCloseKey(key);
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
