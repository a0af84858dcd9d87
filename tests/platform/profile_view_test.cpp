// The parsed-file view of a profile: the same answers as the buffer-filling reader, a version
// that stays whole while it is held, and the numbered keys a catalogue's counts may claim.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/profile.h"
#include "support/test_support.h"

namespace {

using Strings = std::vector<std::string>;

class ProfileViewTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::filesystem::path host = prefix_.path() / "drive_c" / "views" / name;
    testing_support::WriteFile(host, bytes);
    return platform::WindowsPathOf(host.string()).value_or("C:\\views\\" + name);
  }

  testing_support::TempPrefix prefix_;
};

Strings AsStrings(const std::vector<std::string_view>& names) {
  return Strings(names.begin(), names.end());
}

TEST_F(ProfileViewTest, AnswersAsTheBufferReaderForEveryBufferSize) {
  const std::string path =
      Write("list.ini", "[s]\r\nname1=val1\r\nname2=\r\nname3\r\nNAME1=again\r\nname4=val4\r\n"
                        "[t]\r\nv=" + std::string(3000, 'x') + "\r\n");
  const platform::ProfileView view = platform::OpenProfileFile(path);
  for (platform::DWORD size : {0u, 1u, 2u, 3u, 7u, 8u, 14u, 16u, 18u, 19u, 20u, 16384u}) {
    SCOPED_TRACE("buffer " + std::to_string(size));
    EXPECT_EQ(AsStrings(view.Keys(" S ", size)), platform::ReadProfileKeys(path, "s", size));
  }
  EXPECT_EQ(AsStrings(view.Keys("s")), (Strings{"name1", "name2", "NAME1", "name4"}));
  EXPECT_EQ(AsStrings(view.Keys("s", 16)), (Strings{"name1", "name2", "NA"}));
  EXPECT_EQ(view.Value("S", "Name1"), "val1");
  EXPECT_EQ(view.Value("s", "name2"), "");
  EXPECT_EQ(view.Value("s", "name3"), "");
  EXPECT_EQ(view.Value("t", "v"), std::string(2047, 'x'));
  EXPECT_EQ(view.Value("u", "v"), "");
  EXPECT_TRUE(view.Keys("").empty());
}

TEST_F(ProfileViewTest, MissingAndBinaryFilesGiveEmptyViews) {
  const std::string binary = Write("bin.ini", std::string("[s]\nk=1\n\0\x01[t]\n", 13));
  for (const std::string& path : {std::string("C:\\views\\none.ini"), binary}) {
    SCOPED_TRACE(path);
    const platform::ProfileView view = platform::OpenProfileFile(path);
    EXPECT_EQ(view.Value("s", "k"), "");
    EXPECT_TRUE(view.Keys("s").empty());
    EXPECT_TRUE(view.NumberedKeys("s", "k").empty());
  }
  EXPECT_TRUE(platform::ProfileView().Keys("s").empty());
}

TEST_F(ProfileViewTest, AHeldViewKeepsItsVersionAndANewOneSeesTheChange) {
  const std::string path = Write("font.ini", "[F1]\r\nSource=old.ttf\r\n");
  const platform::ProfileView before = platform::OpenProfileFile(path);
  const std::string_view source = before.Value("F1", "Source");
  Write("font.ini", "[F1]\r\nSource=a longer new.ttf\r\nSize=3\r\n");
  const platform::ProfileView after = platform::OpenProfileFile(path);
  EXPECT_EQ(source, "old.ttf");
  EXPECT_EQ(AsStrings(before.Keys("F1")), Strings{"Source"});
  EXPECT_EQ(after.Value("F1", "Source"), "a longer new.ttf");
  EXPECT_EQ(AsStrings(after.Keys("F1")), (Strings{"Source", "Size"}));
}

TEST_F(ProfileViewTest, NumberedKeysAreTheKeysThatExist) {
  std::string bytes =
      "[F]\r\nRegName1=a\r\nregname2=b\r\nRegName02=zero\r\nRegName=none\r\nRegName3x=no\r\n"
      "RegName 4=blank\r\nchtRegName5=local\r\nRegName999999999999999999=big\r\n"
      "RegName1000000000000000000=too long\r\nRegName7=\r\nRegName1=again\r\n";
  // Numbered keys past what the key list of the catalogue's buffer holds are still found.
  for (int i = 0; i < 2000; ++i) bytes += "Filler" + std::to_string(i) + "=x\r\n";
  bytes += "RegName4000=late\r\n";
  const platform::ProfileView view = platform::OpenProfileFile(Write("numbered.ini", bytes));
  struct Case {
    const char* section;
    const char* prefix;
    std::vector<long long> expected;
  };
  const Case cases[] = {
      {"F", "RegName", {1, 2, 7, 999999999999999999LL, 4000}},
      {"f", "REGNAME", {1, 2, 7, 999999999999999999LL, 4000}},
      {"F", "chtRegName", {5}},
      {"F", "Filler", {}},  // "Filler0" has a leading zero; the others are found
      {"G", "RegName", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.prefix);
    std::vector<long long> numbers = view.NumberedKeys(c.section, c.prefix);
    std::sort(numbers.begin(), numbers.end());
    std::vector<long long> expected = c.expected;
    if (std::string(c.prefix) == "Filler")
      for (int i = 1; i < 2000; ++i) expected.push_back(i);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(numbers, expected);
  }
  EXPECT_LT(view.Keys("F").size(), 2000u);
}

TEST(ProfileNames, SameProfileNameFollowsTheReadersRules) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  const Case cases[] = {
      {"Source", "SOURCE", true},
      {" Source\t", "source", true},
      {"Source", "Sources", false},
      {"\xA4\x41", "\xA4\x61", false},  // the trail byte of a Big5 character keeps its case
      {"a\xA4\x41", "A\xA4\x41", true},
      {"", " ", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(platform::SameProfileName(c.a, c.b), c.same);
  }
}

}  // namespace
