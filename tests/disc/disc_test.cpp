// The product disc search over declared drives, the language map and the string pairs.
#include "disc/disc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
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

// Makes the drives on folders of their own in a fresh prefix; C: is the system's fixed drive.
class DiscSearch {
 public:
  explicit DiscSearch(const std::vector<DriveSpec>& drives) {
    for (const auto& wanted : drives) {
      std::filesystem::path folder;
      if (wanted.medium) {
        folder = folders_.path() / std::string(1, wanted.letter);
        std::filesystem::create_directories(folder);
      }
      made_.push_back(std::make_unique<testing_support::ScopedDrive>(wanted.letter, wanted.type,
                                                                     folder, wanted.label));
    }
  }
  bool ok() const {
    return std::all_of(made_.begin(), made_.end(), [](const auto& d) { return d->ok(); });
  }

 private:
  testing_support::TempPrefix prefix_;
  testing_support::TempDir folders_;
  std::vector<std::unique_ptr<testing_support::ScopedDrive>> made_;
};

constexpr platform::DWORD kCd = platform::DRIVE_CDROM;
constexpr platform::DWORD kFixed = platform::DRIVE_FIXED;

TEST(FindProductDisc, FirstCdRomWithTheLabelInAnyCaseWins) {
  // Wine differs from Windows in two places here: it drops a label file's trailing blanks, and
  // its drive Z: (the Unix root) takes one of the places in the drive list, so seven drives of
  // ours fit there only without D:.
  const bool wine = testing_support::RunningSystem() == testing_support::System::Wine;
  std::vector<DriveSpec> sevenDrives = {{'D', kFixed, true, ""}, {'E', kFixed, true, ""},
                                        {'F', kFixed, true, ""}, {'G', kFixed, true, ""},
                                        {'H', kFixed, true, ""}, {'I', kCd, true, "QRTMV"}};
  if (wine) sevenDrives.erase(sevenDrives.begin());
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
      {"label with a blank", {{'D', kCd, true, "QRTMV "}}, wine ? "D:\\" : "0"},
      {"empty drive before the disc", {{'D', kCd, false, ""}, {'E', kCd, true, "QRTMV"}}, "E:\\"},
      {"empty drive after a wrong label",
       {{'D', kCd, true, "OTHER"}, {'E', kCd, false, ""}, {'F', kCd, true, "qrtmv"}}, "F:\\"},
      {"the label on a fixed drive does not count",
       {{'D', kFixed, true, "QRTMV"}, {'E', kCd, true, "QRTMV"}}, "E:\\"},
      {"only a fixed drive", {{'D', kFixed, true, "QRTMV"}}, "0"},
      {"no drive but C:", {}, "0"},
      {"seven drives fit", sevenDrives, "I:\\"},
      {"eight drives do not fit",
       {{'D', kCd, true, "QRTMV"}, {'E', kFixed, true, ""}, {'F', kFixed, true, ""},
        {'G', kFixed, true, ""}, {'H', kFixed, true, ""}, {'I', kFixed, true, ""},
        {'J', kFixed, true, ""}},
       "0"},
  };
  for (const auto& c : cases) {
    DiscSearch search(c.drives);
    ASSERT_TRUE(search.ok()) << c.name;
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
  // Windows reads a profile's lines out of a file that is not text; the POSIX backend takes
  // such a file for an empty profile, on purpose (it would only ever find garbage there).
  const bool posix = testing_support::RunningSystem() == testing_support::System::Posix;
  for (auto& c : cases) {
    if (!posix && c.folder == std::string("D:\\Gift\\")) c.expected = c.language == 1028 ? "ELF" : "";
    testing_support::TempPrefix prefix(c.language);
    testing_support::ScopedDrive drive('D', platform::DRIVE_CDROM, disc.path(), "QRTMV");
    ASSERT_TRUE(drive.ok());
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
