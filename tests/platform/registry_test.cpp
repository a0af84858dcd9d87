// The registry's raw calls and its helper class, on either backend (the system's registry on
// Windows, a temporary prefix's store on POSIX): codes and buffer contracts, names, order, and
// the helper's texts.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "platform/prefix.h"
#include "registry_helpers.h"
#include "support/test_support.h"

namespace {

using namespace platform;
using namespace registry_test;
using testing_support::TempPrefix;

// A key of the test's own: the system's font list already holds the fonts of the system.
constexpr const char* kListKey = "SOFTWARE\\Zelvaworks\\Font List";

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

// A closed key is not among the cases: Windows hands its value out again, to a key the test may
// not know of (the POSIX backend never does, see registry_posix_test.cpp).
TEST(RegistryTest, BadHandlesAreRefused) {
  TempPrefix prefix;
  for (HKEY bad : {HKEY(0), HKEY(0x1234), HKEY(0x7FFF0000)}) {
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
  HKEY key = Create(HKEY_LOCAL_MACHINE, kListKey);
  for (const char* name : {"Zeta (TrueType)", "Alpha (TrueType)", "Mid (TrueType)"})
    ASSERT_EQ(SetString(key, name, "x.ttf"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "ALPHA (TRUETYPE)", "y.ttf"), ERROR_SUCCESS);  // keeps place and name
  ASSERT_EQ(RegDeleteValueA(key, "zeta (truetype)"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "Zeta (TrueType)", "z.ttf"), ERROR_SUCCESS);  // created anew: last
  ASSERT_EQ(SetString(key, "Beta (TrueType)", "b.ttf"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key, "Gone"), ERROR_FILE_NOT_FOUND);
  std::vector<std::string> expected = {"Alpha (TrueType)", "Mid (TrueType)", "Zeta (TrueType)",
                                       "Beta (TrueType)"};
  // Wine keeps a key's values sorted by name; Windows keeps the order of creation.
  if (testing_support::RunningSystem() == testing_support::System::Wine)
    std::sort(expected.begin(), expected.end());
  EXPECT_EQ(EnumNames(key), expected);
  EXPECT_EQ(ListRegistryValueNames(HKEY_LOCAL_MACHINE, kListKey), expected);
  EXPECT_TRUE(ListRegistryValueNames(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere").empty());
  EXPECT_EQ(ShareRegistryValueNames(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere"), nullptr);
  auto shared = ShareRegistryValueNames(HKEY_LOCAL_MACHINE, kListKey);
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
  EXPECT_EQ(RegEnumValueA(key, 4, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
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
  // Wine does not check KEY_CREATE_SUB_KEY on the handle a key is created under; Windows does.
  const bool wine = testing_support::RunningSystem() == testing_support::System::Wine;
  EXPECT_EQ(RegCreateKeyExA(reader, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            wine ? ERROR_SUCCESS : ERROR_ACCESS_DENIED);
  if (sub) RegCloseKey(sub);
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
    HKEY key = Create(HKEY_LOCAL_MACHINE, kListKey);
    ASSERT_EQ(SetString(key, c.first.c_str(), "1.ttf"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, c.second.c_str(), "2.ttf"), ERROR_SUCCESS);
    std::vector<std::string> names = EnumNames(key);
    ASSERT_EQ(names.size(), c.same ? 1u : 2u);
    if (c.same) {
      EXPECT_EQ(names.at(0), c.first);  // bytes kept as written first
    }
    for (const std::string& name : names) RegDeleteValueA(key, name.c_str());
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

TEST(RegistryTest, ThreadsEnumerateWhileAnotherWrites) {
  TempPrefix prefix;
  HKEY key = Create(HKEY_LOCAL_MACHINE, kListKey);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 200; ++i) {
      std::string name = "Font " + std::to_string(i);
      EXPECT_EQ(SetString(key, name.c_str(), "f.ttf"), ERROR_SUCCESS);
    }
    done = true;
  });
  std::size_t seen = 0;
  // Wine keeps values sorted by name, so a value created meanwhile moves the later ones along
  // and a pass may see one twice; Windows appends it, so every pass reads a list that only grows.
  while (!done && testing_support::RunningSystem() != testing_support::System::Wine) {
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

// ---- The helper class ----

void PutZwk98(const std::function<LONG(HKEY)>& write) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvaworks");
  ASSERT_EQ(write(key), ERROR_SUCCESS);
  RegCloseKey(key);
}

// The cases of one test share the system's registry on Windows, so each sets Zwk98 itself.
LONG NoZwk98(HKEY key) {
  LONG rc = RegDeleteValueA(key, "Zwk98");
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

TEST(RegistryHelperTest, FailuresCarryTheirTexts) {
  struct Case {
    const char* label;
    std::function<LONG(HKEY)> setup;  // writes Zwk98 below SOFTWARE\Zelvaworks
    std::function<void(Registry&)> call;
    const char* text;
    const char* notOnWine = nullptr;  // why Wine does not fail there
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
      {"missing value", NoZwk98,
       [](Registry& r) { r.OpenKey("SOFTWARE\\Zelvaworks", false); r.ReadInteger("Zwk98"); },
       "Failed to get data for 'Zwk98'"},
      {"number read as text", [](HKEY k) {
         const BYTE one[4] = {1, 0, 0, 0};
         return RegSetValueExA(k, "Zwk98", 0, REG_DWORD, one, 4);
       },
       [](Registry& r) { r.OpenKey("SOFTWARE\\Zelvaworks", false); r.ReadString("Zwk98"); },
       "Invalid data type for 'Zwk98'"},
      {"write after a failed open", NoZwk98,
       [](Registry& r) {
         EXPECT_FALSE(r.OpenKey("SOFTWARE\\Nowhere", false));
         r.WriteInteger("Zwk98", 1);
       },
       "Failed to set data for 'Zwk98'"},
      {"write through a read-only key", NoZwk98,
       [](Registry& r) {
         EXPECT_TRUE(r.OpenKeyReadOnly("SOFTWARE\\Zelvaworks"));
         r.WriteString("Name", "x");
       },
       "Failed to set data for 'Name'"},
      {"create below a read-only key", NoZwk98,
       [](Registry& r) {
         EXPECT_TRUE(r.OpenKeyReadOnly("SOFTWARE\\Zelvaworks"));
         r.CreateKey("Sub\\Key");
       },
       "Failed to create key Sub\\Key",
       "Wine does not check KEY_CREATE_SUB_KEY on the handle a key is created under"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.notOnWine && testing_support::RunningSystem() == testing_support::System::Wine) continue;
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

}  // namespace
