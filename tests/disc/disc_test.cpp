// The product disc search over declared drives, the language map and the string pairs.
#include "disc/disc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/prefix.h"
#include "support/test_support.h"

namespace {

struct DriveSpec {
  char letter;
  platform::DWORD type;
  bool medium;
  std::string label;
};

// Declares the drives on folders of their own in a fresh prefix; C: is the prefix's fixed drive.
class DiscSearch {
 public:
  explicit DiscSearch(const std::vector<DriveSpec>& drives) {
    for (const auto& wanted : drives) {
      platform::DriveDeclaration drive;
      drive.letter = wanted.letter;
      drive.type = wanted.type;
      drive.label = wanted.label;
      if (wanted.medium) drive.hostFolder = (folders_.path() / std::string(1, wanted.letter)).string();
      if (wanted.medium) std::filesystem::create_directories(drive.hostFolder);
      platform::DeclareDrive(drive, platform::DeclarationScope::Process);
    }
  }

 private:
  testing_support::TempPrefix prefix_;
  testing_support::TempDir folders_;
};

constexpr platform::DWORD kCd = platform::DRIVE_CDROM;
constexpr platform::DWORD kFixed = platform::DRIVE_FIXED;

TEST(FindProductDisc, FirstCdRomWithTheLabelInAnyCaseWins) {
  struct Case {
    const char* name;
    std::vector<DriveSpec> drives;
    std::string expected;
  } cases[] = {
      {"lower-case label first",
       {{'D', kCd, true, "qrtmv"}, {'E', kCd, true, "QRTMV"}}, "D:\\"},
      {"mixed case", {{'D', kCd, true, "QrTmV"}}, "D:\\"},
      {"one character more", {{'D', kCd, true, "QRTMVX"}}, "0"},
      {"one character less", {{'D', kCd, true, "QRTM"}}, "0"},
      {"label with a blank", {{'D', kCd, true, "QRTMV "}}, "0"},
      {"empty drive before the disc", {{'D', kCd, false, ""}, {'E', kCd, true, "QRTMV"}}, "E:\\"},
      {"empty drive after a wrong label",
       {{'D', kCd, true, "OTHER"}, {'E', kCd, false, ""}, {'F', kCd, true, "qrtmv"}}, "F:\\"},
      {"the label on a fixed drive does not count",
       {{'D', kFixed, true, "QRTMV"}, {'E', kCd, true, "QRTMV"}}, "E:\\"},
      {"only a fixed drive", {{'D', kFixed, true, "QRTMV"}}, "0"},
      {"no drive but C:", {}, "0"},
      {"seven drives fit",
       {{'D', kFixed, true, ""}, {'E', kFixed, true, ""}, {'F', kFixed, true, ""},
        {'G', kFixed, true, ""}, {'H', kFixed, true, ""}, {'I', kCd, true, "QRTMV"}},
       "I:\\"},
      {"eight drives do not fit",
       {{'D', kCd, true, "QRTMV"}, {'E', kFixed, true, ""}, {'F', kFixed, true, ""},
        {'G', kFixed, true, ""}, {'H', kFixed, true, ""}, {'I', kFixed, true, ""},
        {'J', kFixed, true, ""}},
       "0"},
  };
  for (const auto& c : cases) {
    DiscSearch search(c.drives);
    EXPECT_EQ(disc::FindProductDisc(), c.expected) << c.name;
  }
}

TEST(TraditionalChinese, WholeIdentifierCounts) {
  struct Case {
    unsigned short language;
    bool traditional;
  } cases[] = {{1028, true}, {3076, true}, {2052, false}, {5124, false},
               {4100, false}, {1033, false}, {1041, false}};
  for (const auto& c : cases) {
    testing_support::TempPrefix prefix(c.language);
    EXPECT_EQ(disc::IsTraditionalChinese(), c.traditional) << c.language;
  }
}

TEST(ReadLanguageSuffix, KeyIsTheDecimalSystemLanguage) {
  testing_support::TempDir disc;
  testing_support::WriteFile(disc.path() / "tmp" / "Info" / "LangMap",
                             "[Lang]\r\n1028 = CHT \r\n1033=ENU\r\n3076=\r\n");
  testing_support::WriteFile(disc.path() / "TTF" / "tmp" / "Info" / "LangMap",
                             "[lang]\n1028=Big5Set\n");
  testing_support::WriteFile(disc.path() / "Gift" / "tmp" / "Info" / "LangMap",
                             std::string("\x7F" "ELF\x02\x01\x01\0\0\0\n[Lang]\n1028=ELF\n", 27) +
                                 std::string(4096, '\xA5'));
  struct Case {
    unsigned short language;
    const char* folder;
    std::string expected;
  } cases[] = {
      {1028, "D:\\", "CHT"}, {1033, "D:\\", "ENU"},    {2052, "D:\\", ""},
      {3076, "D:\\", ""},    {1028, "D:\\TTF\\", "Big5Set"}, {1033, "D:\\TTF\\", ""},
      {1028, "D:\\TTC\\", ""}, {1028, "D:\\Gift\\", ""}, {1028, "Q:\\", ""},
  };
  for (const auto& c : cases) {
    testing_support::TempPrefix prefix(c.language);
    platform::DriveDeclaration drive;
    drive.letter = 'D';
    drive.hostFolder = disc.str();
    drive.label = "QRTMV";
    platform::DeclareDrive(drive, platform::DeclarationScope::Process);
    EXPECT_EQ(disc::ReadLanguageSuffix(c.folder), c.expected)
        << c.language << " " << c.folder;
  }
}

TEST(PickLocalizedString, ChineseMemberOnTraditionalChineseSystems) {
  struct Case {
    unsigned short language;
    unsigned id;
    std::string expected;
  } cases[] = {
      {3076, 30010, "\xA4\xBA\xB3\xA1\xBF\xF9\xBB\x7E."},  // 內部錯誤. in Big5
      {1028, 30010, "\xA4\xBA\xB3\xA1\xBF\xF9\xBB\x7E."},
      {1033, 30010, "Internal error."},
      {2052, 30010, "Internal error."},
      {1033, 30015, "ZlevaDoc 4.25 can't run on the Vista or Longhorn platform."},
      {1033, 12345, ""},
      {1028, 12345, ""},
  };
  for (const auto& c : cases) {
    testing_support::TempPrefix prefix(c.language);
    EXPECT_EQ(disc::PickLocalizedString(c.id), c.expected) << c.language << " " << c.id;
  }
}

}  // namespace
