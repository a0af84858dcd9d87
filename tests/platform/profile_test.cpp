// The profile (INI) reader and writer: parsing rules as tables of input bytes against answers,
// then the file cache and the writer on real files in a temporary prefix.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/posix/profile_parser.h"
#include "platform/prefix.h"
#include "profile_files.h"
#include "support/test_support.h"

namespace {

using platform::DWORD;
using platform::posix::CopyProfileString;
using platform::posix::EditProfileBytes;
using platform::posix::ParsedProfile;

std::string Bytes(const char* text, std::size_t size) { return std::string(text, size); }
#define BYTES(literal) Bytes(literal, sizeof(literal) - 1)

struct ValueCase {
  const char* name;
  std::string file;
  const char* section;
  const char* key;
  const char* expected;  // nullptr: the default "DEF"
  // Where a system answers otherwise, its answer ("DEF": the default), and the reason in a
  // comment at the case: Windows (and Wine with it) where the POSIX reader deviates on purpose,
  // Wine alone where it is known to differ from Windows.
  const char* windows = nullptr;
  const char* wine = nullptr;
  bool big5 = false;  // a rule of a Big5 system: the system reader shows it only on one
};

const std::vector<ValueCase>& ValueCases() {
  static const std::vector<ValueCase> cases = {
      {"plain", BYTES("[Lang]\r\n1028=Big5\r\n"), "Lang", "1028", "Big5"},
      {"names ignore case", BYTES("[lang]\nMSG1=x\n"), "LANG", "msg1", "x"},
      {"blanks around names and value", BYTES("  [ Install Window ]  \n Msg1 \t=  Hi  there \t\n"),
       "install window", " MSG1 ", "Hi  there"},
      {"double quotes dropped", BYTES("[s]\nk = \"  in  \" \n"), "s", "k", "  in  "},
      {"single quotes dropped", BYTES("[s]\nk='x'\n"), "s", "k", "x"},
      {"unmatched quotes kept", BYTES("[s]\nk=\"x'\n"), "s", "k", "\"x'"},
      {"lone quote kept", BYTES("[s]\nk=\"\n"), "s", "k", "\""},
      {"inner quotes kept", BYTES("[s]\nk=a \"b\"\n"), "s", "k", "a \"b\""},
      {"empty quotes", BYTES("[s]\nk=\"\"\n"), "s", "k", ""},
      {"empty value is a value", BYTES("[s]\nk=\n"), "s", "k", ""},
      {"equals sign in value", BYTES("[s]\nk=a=b\n"), "s", "k", "a=b"},
      {"first of two keys wins", BYTES("[s]\nk=1\nK=2\n"), "s", "k", "1"},
      {"first of two sections wins", BYTES("[s]\nk=1\n[S]\nk=2\nj=3\n"), "s", "j", nullptr},
      {"comment line", BYTES("[s]\n;k=1\nk=2\n"), "s", "k", "2"},
      {"a comment is found by its own name", BYTES("[s]\n; k = 1\n"), "s", "; k", "1"},
      {"a comment without '=' is nothing", BYTES("[s]\n;k\n"), "s", ";k", nullptr},
      {"line without equals is no key", BYTES("[s]\nname3\n"), "s", "name3", nullptr},
      {"empty key name", BYTES("[s]\n=v\n"), "s", "", "v"},
      {"CR-only line ends", BYTES("[s]\rk=1\rj=2\r"), "s", "j", "2"},
      {"^Z and CR are blanks", BYTES("[s]\r\r\nk=1\x1A\r\n\x1A"), "s", "k", "1"},
      {"text after the header", BYTES("[s] ; note\nk=1\n"), "s", "k", "1"},
      {"broken header: reader carries on", BYTES("[a]\nk=1\n[b\nk2=2\n[c]\nk3=3\n"), "c", "k3",
       "3"},
      // Wine's reader lets the keys after a broken header join the section before it.
      {"broken header: keys do not join the section before",
       BYTES("[a]\nk=1\n[b\nk2=2\n[c]\n"), "a", "k2", nullptr, nullptr, "2"},
      {"keys before any section: the nameless one", BYTES("k=0\n[s]\nk=1\n"), "", "k", "0"},
      {"a nameless header comes too late", BYTES("k=0\n[]\nj=1\n"), " ", "j", nullptr},
      {"missing section", BYTES("[s]\nk=1\n"), "t", "k", nullptr},
      {"missing key", BYTES("[s]\nk=1\n"), "s", "j", nullptr},
      {"UTF-8 byte order mark", BYTES("\xEF\xBB\xBF[s]\nk=1\n"), "s", "k", "1"},
      {"trailing NUL padding", BYTES("[s]\nk=1\n\0\0"), "s", "k", "1"},
      // Deliberate: a picture or other binary file named like a profile gives no values here,
      // where Windows reads the lines before its first NUL.
      {"binary file reads as empty", BYTES("[s]\nk=1\n\0\xFF\xD8\xFF\xE0"), "s", "k", nullptr,
       "1"},
      {"Big5 section, key and value",
       BYTES("[\xB7\x73\xB2\xD3\xA9\xFA\xC5\xE9]\n\xB3\x5C\xA6\x72=\xA1\x40\xB7\x73\xA1\x40\n"),
       "\xB7\x73\xB2\xD3\xA9\xFA\xC5\xE9", "\xB3\x5C\xA6\x72", "\xA1\x40\xB7\x73\xA1\x40"},
      {"Big5 trail byte ']' in a header", BYTES("[\xA1\x5D]\nk=1\n"), "\xA1\x5D", "k", "1",
       nullptr, nullptr, true},
      {"Big5 trail letters keep their case", BYTES("[s]\n\xA4\x41=1\n"), "s", "\xA4\x61",
       nullptr, nullptr, nullptr, true},
  };
  return cases;
}

TEST(ProfileParser, ValuesFollowTheWindowsReadingRules) {
  for (const auto& c : ValueCases()) {
    SCOPED_TRACE(c.name);
    auto profile = ParsedProfile::Parse(c.file);
    char buffer[2048];
    DWORD n = CopyProfileString(*profile, c.section, c.key, "DEF", buffer, sizeof buffer);
    std::string expected = c.expected ? c.expected : "DEF";
    EXPECT_EQ(std::string(buffer, n), expected);
    EXPECT_EQ(buffer[n], '\0');
    EXPECT_EQ(platform::posix::ProfileValue(*profile, c.section, c.key, "DEF"), expected);
  }
}

TEST(ProfileParser, ValuesAreCutToTheBuffer) {
  auto profile = ParsedProfile::Parse("[s]\nlong=" + std::string(3000, 'x') +
                                      "\nq=\"abcdef\"\n");
  EXPECT_EQ(platform::posix::ProfileValue(*profile, "s", "long", ""), std::string(2047, 'x'));
  char buffer[4] = {'?', '?', '?', '?'};
  EXPECT_EQ(CopyProfileString(*profile, "s", "q", "", buffer, 4), 3u);
  EXPECT_STREQ(buffer, "abc");  // quotes go first, then the cut
  EXPECT_EQ(CopyProfileString(*profile, "s", "q", "", buffer, 1), 0u);
  EXPECT_EQ(buffer[0], '\0');
  buffer[0] = '?';
  EXPECT_EQ(CopyProfileString(*profile, "s", "q", "", buffer, 0), 0u);
  EXPECT_EQ(buffer[0], '?');
  // The default loses trailing spaces only, as on Windows.
  EXPECT_EQ(platform::posix::ProfileValue(*profile, "s", "none", " one two  "), " one two");
}

struct ListCase {
  const char* name;
  std::string file;
  const char* section;  // nullptr: the section names
  const char* defaultValue;
  DWORD size;
  std::string expected;  // the bytes up to and including the closing NULs
  DWORD result;
  // The system reader's answer where the POSIX reader deviates on purpose (reason at the case).
  std::string windows = {};
  DWORD windowsResult = 0;
};

const std::vector<ListCase>& ListCases() {
  static const std::string fourKeys =
      BYTES("[s]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n");
  static const std::vector<ListCase> cases = {
      {"keys in file order, no line without '='", fourKeys, "s", "", 100,
       BYTES("name1\0name2\0name4\0\0"), 18},
      {"list cut: last key cut, two NULs, size - 2", fourKeys, "s", "", 16,
       BYTES("name1\0name2\0na\0\0"), 14},
      {"exact fit also reports size - 2", fourKeys, "s", "", 19,
       BYTES("name1\0name2\0name4\0\0"), 17},
      // A repeated key is listed each time, as Windows lists it; comments are left out. So is a
      // nameless key ("=5"), which lookups find: listed, its empty name would end the list
      // early for every caller (a deliberate deviation).
      {"repeated key listed each time", BYTES("[s]\nb=1\na=2\nB=3\n;c=4\n=5\nd=6\n"), "s", "",
       100, BYTES("b\0a\0B\0d\0\0"), 8},
      {"the keys before any section", BYTES("k=0\n;c=1\nj=2\n[s]\nx=1\n"), "", "", 100,
       BYTES("k\0j\0\0"), 4},
      {"missing section gives the default", fourKeys, "t", "none", 100, BYTES("none\0\0"), 4},
      {"section without keys gives the default", BYTES("[s]\n[t]\n"), "s", "", 100,
       BYTES("\0\0"), 0},
      // Deliberate: the POSIX reader keeps one section of a name (lookups find only the first)
      // and names it once; the system lists every header.
      {"section names once, nameless and broken skipped",
       BYTES("k=0\n[a]\n[b]\n[A]\n[]\n[c\n[d]x\n"), nullptr, "", 100, BYTES("a\0b\0d\0\0"), 6,
       BYTES("a\0b\0A\0d\0\0"), 8},
      {"two-byte buffer", fourKeys, "s", "", 2, BYTES("\0\0"), 0},
      {"one-byte buffer", fourKeys, "s", "", 1, BYTES("\0"), 0},
  };
  return cases;
}

TEST(ProfileParser, ListsAreNulSeparatedAndCutToTheBuffer) {
  for (const auto& c : ListCases()) {
    SCOPED_TRACE(c.name);
    auto profile = ParsedProfile::Parse(c.file);
    std::string buffer(c.size, '\x7F');
    DWORD n = CopyProfileString(*profile, c.section, nullptr, c.defaultValue, buffer.data(),
                                c.size);
    EXPECT_EQ(n, c.result);
    EXPECT_EQ(buffer.substr(0, c.expected.size()), c.expected);
  }
}

TEST(ProfileParser, KeyListOfASmallBufferKeepsTheKeysThatFit) {
  std::string file = "[StyleList]\n";
  for (int i = 0; i < 200; ++i) file += "Style" + std::to_string(i) + "=Name\n";
  auto profile = ParsedProfile::Parse(file);
  EXPECT_EQ(platform::posix::ProfileKeys(*profile, "stylelist", 16384).size(), 200u);
  auto keys = platform::posix::ProfileKeys(*profile, "StyleList", 32);
  // 32 characters hold "Style0\0" .. "Style3\0" (28) and the cut "St".
  EXPECT_EQ(keys, (std::vector<std::string>{"Style0", "Style1", "Style2", "Style3", "St"}));
}

struct EditCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

TEST(ProfileParser, EditsKeepEveryOtherLine) {
  const EditCase cases[] = {
      {"new file", "", "s", "k", "v", "[s]\r\nk=v\r\n"},
      {"replace a value", "; head\n[s]\nK = old\nj=1\n", "s", "k", "new",
       "; head\n[s]\nK=new\nj=1\n"},
      {"add to a section", "[s]\nk=1\n\n[t]\n", "S", "j", "2", "[s]\nk=1\nj=2\r\n\n[t]\n"},
      {"add after a header at the end", "[s]", "s", "k", "v", "[s]\r\nk=v\r\n"},
      {"new section after a last line without end", "[s]\nk=1", "t", "k", "v",
       "[s]\nk=1\r\n[t]\r\nk=v\r\n"},
      {"delete a key", "[s]\r\nk=1\r\nj=2\r\n", "s", "k", nullptr, "[s]\r\nj=2\r\n"},
      {"delete a section", "[s]\nk=1\n[t]\nj=2\n", "s", nullptr, nullptr, "[t]\nj=2\n"},
      {"only the first of two sections", "[s]\nk=1\n[s]\nk=2\n", "s", "k", "3",
       "[s]\nk=3\n[s]\nk=2\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = c.before;
    EditProfileBytes(bytes, c.section, c.key, c.value);
    EXPECT_EQ(bytes, c.after);
  }
}

// The parser's tables again, each file written out and read by the backend's reader: on Windows
// the system's own answers, which the parser must give too.
TEST_F(ProfileFiles, TheReaderAnswersEveryCaseOfTheRules) {
  using testing_support::System;
  const System system = testing_support::RunningSystem();
  ASSERT_TRUE(platform::SetSystemLanguageSetting(1028));  // the discs' Big5 system
  const bool big5System = testing_support::SystemCodePage() == 950;
  int row = 0;
  for (const auto& c : ValueCases()) {
    SCOPED_TRACE(c.name);
    if (c.big5 && !big5System) continue;
    std::string name = "value" + std::to_string(row++) + ".ini";
    testing_support::WriteFile(Host(name), c.file);
    char buffer[2048];
    DWORD n = platform::GetPrivateProfileStringA(c.section, c.key, "DEF", buffer, sizeof buffer,
                                                 Win(name).c_str());
    const char* expected = c.expected ? c.expected : "DEF";
    if (system != System::Posix && c.windows) expected = c.windows;
    if (system == System::Wine && c.wine) expected = c.wine;
    EXPECT_EQ(std::string(buffer, n), expected);
  }
  for (const auto& c : ListCases()) {
    SCOPED_TRACE(c.name);
    std::string name = "list" + std::to_string(row++) + ".ini";
    testing_support::WriteFile(Host(name), c.file);
    std::string buffer(c.size, '\x7F');
    DWORD n = platform::GetPrivateProfileStringA(c.section, nullptr, c.defaultValue,
                                                 buffer.data(), c.size, Win(name).c_str());
    const bool other = system != System::Posix && !c.windows.empty();
    EXPECT_EQ(n, other ? c.windowsResult : c.result);
    const std::string& expected = other ? c.windows : c.expected;
    EXPECT_EQ(buffer.substr(0, expected.size()), expected);
  }
}

TEST_F(ProfileFiles, MissingFileOrFolderGivesTheDefault) {
  EXPECT_EQ(platform::ReadProfileString(Win("none.ini"), "s", "k", "dflt"), "dflt");
  EXPECT_EQ(platform::ReadProfileString("Q:\\none.ini", "s", "k", "dflt"), "dflt");
  EXPECT_TRUE(platform::ReadProfileKeys(Win("none.ini"), "s").empty());
  std::filesystem::create_directories(Host("folder.ini"));
  EXPECT_EQ(platform::ReadProfileString(Win("folder.ini"), "s", "k", "dflt"), "dflt");
}

TEST_F(ProfileFiles, BinaryFileReadsAsEmpty) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 131 + 7) & 0xFF);
  testing_support::WriteFile(Host("picture.ini"), "\xFF\xD8\xFF\xE0[s]\nk=1\n" + junk);
  EXPECT_EQ(platform::ReadProfileString(Win("picture.ini"), "s", "k", "dflt"), "dflt");
  EXPECT_TRUE(platform::ReadProfileKeys(Win("picture.ini"), "s").empty());
  char buffer[64];
  EXPECT_EQ(platform::GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer,
                                               Win("picture.ini").c_str()),
            0u);
}

TEST_F(ProfileFiles, WrittenValuesAreReadBack) {
  std::string file = Win("tool.ini");
  std::filesystem::create_directories(Host(""));
  EXPECT_TRUE(platform::WritePrivateProfileStringA("Install Window", "Msg1", "One", file.c_str()));
  EXPECT_EQ(platform::ReadProfileString(file, "install window", "msg1", ""), "One");
  EXPECT_TRUE(platform::WritePrivateProfileStringA("Install Window", "Msg1", "Two", file.c_str()));
  EXPECT_TRUE(platform::WritePrivateProfileStringA("Install Window", "Msg2", "\xA6\x72",
                                                   file.c_str()));
  EXPECT_EQ(platform::ReadProfileString(file, "Install Window", "Msg1", ""), "Two");
  EXPECT_EQ(platform::ReadProfileKeys(file, "Install Window"),
            (std::vector<std::string>{"Msg1", "Msg2"}));
  EXPECT_TRUE(platform::WritePrivateProfileStringA("Install Window", "Msg1", nullptr,
                                                   file.c_str()));
  EXPECT_EQ(platform::ReadProfileString(file, "Install Window", "Msg1", "dflt"), "dflt");
  EXPECT_EQ(testing_support::ReadFile(Host("tool.ini")), "[Install Window]\r\nMsg2=\xA6\x72\r\n");

  // Names and values that would read back as something else are refused.
  EXPECT_FALSE(platform::WritePrivateProfileStringA("s", "a=b", "v", file.c_str()));
  EXPECT_FALSE(platform::WritePrivateProfileStringA("s", "k", "v\r\n[x]", file.c_str()));
  EXPECT_FALSE(platform::WritePrivateProfileStringA("s]", "k", "v", file.c_str()));
  EXPECT_FALSE(platform::WritePrivateProfileStringA(nullptr, "k", "v", file.c_str()));
  EXPECT_FALSE(platform::WritePrivateProfileStringA("s", "k", "v", "C:\\no such\\x.ini"));

  // A read-only file is left as it is. Wine keeps the read-only attribute as the file's
  // permission bits, which do not hold for root: where it still opens the file for writing,
  // there is nothing to check.
  std::filesystem::permissions(Host("tool.ini"), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  if (testing_support::RunningSystem() == testing_support::System::Wine &&
      std::ofstream(Host("tool.ini"), std::ios::app))
    return;
  EXPECT_FALSE(platform::WritePrivateProfileStringA("s", "k", "v", file.c_str()));
  EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(platform::ERROR_ACCESS_DENIED));
  EXPECT_EQ(platform::ReadProfileString(file, "s", "k", "dflt"), "dflt");
}

TEST_F(ProfileFiles, ReadersOnManyThreadsSeeWholeVersions) {
  std::string file = Win("shared.ini");
  std::filesystem::create_directories(Host(""));
  ASSERT_TRUE(platform::WritePrivateProfileStringA("s", "k", "v0", file.c_str()));
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop) {
        std::string v = platform::ReadProfileString(file, "s", "k", "");
        if (v.size() < 2 || v[0] != 'v') ++bad;
      }
    });
  }
  for (int i = 1; i <= 50; ++i)
    ASSERT_TRUE(platform::WritePrivateProfileStringA("s", "k", ("v" + std::to_string(i)).c_str(),
                                                     file.c_str()));
  stop = true;
  for (auto& r : readers) r.join();
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(platform::ReadProfileString(file, "s", "k", ""), "v50");
}

}  // namespace
