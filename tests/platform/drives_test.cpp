// Drive enumeration with its buffer contract, drive types and volume labels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/prefix.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

using testing_support::ScopedDrive;

// The letters of the drives there are, in order.
std::string DriveLetters() {
  char buffer[27 * 4 + 1] = {};
  const platform::DWORD n = platform::GetLogicalDriveStringsA(sizeof buffer, buffer);
  std::string letters;
  for (platform::DWORD i = 0; i < n; i += 4) letters += buffer[i];
  return letters;
}

// What GetLogicalDriveStringsA writes for these letters, the final NUL included.
std::string RootList(std::string letters) {
  std::sort(letters.begin(), letters.end());
  std::string list;
  for (char letter : letters) list += std::string{letter, ':', '\\', '\0'};
  return list + '\0';
}

TEST(Drives, EightDrivesDoNotFitInThirtyTwoCharacters) {
  testing_support::TempPrefix prefix;
  testing_support::TempDir folder;
  // The drives the system has already (C:, Wine's Z:) count among the eight.
  std::string letters = DriveLetters();
  ASSERT_LT(letters.size(), 7u);
  std::vector<std::unique_ptr<ScopedDrive>> made;
  auto makeDrive = [&] {
    char letter = 'D';
    while (letters.find(letter) != std::string::npos) ++letter;
    made.push_back(std::make_unique<ScopedDrive>(letter, platform::DRIVE_CDROM, folder.path()));
    letters += letter;
    return made.back()->ok();
  };
  while (letters.size() < 7) ASSERT_TRUE(makeDrive());

  char buffer[40];
  std::memset(buffer, 0, sizeof buffer);
  ASSERT_EQ(platform::GetLogicalDriveStringsA(32, buffer), 28u);
  EXPECT_EQ(std::string(buffer, 29), RootList(letters));

  const std::string seven = letters;
  ASSERT_TRUE(makeDrive());  // the eighth: seen at once, needs 33
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(platform::GetLogicalDriveStringsA(32, buffer), 33u);
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '\0'));
  EXPECT_EQ(platform::GetLogicalDriveStringsA(0, nullptr), 33u);
  EXPECT_EQ(platform::GetLogicalDriveStringsA(33, buffer), 32u);
  EXPECT_EQ(std::string(buffer, 33), RootList(letters));

  made.pop_back();
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(platform::GetLogicalDriveStringsA(32, buffer), 28u);
  EXPECT_EQ(std::string(buffer, 29), RootList(seven));
}

TEST(Drives, TypesOfRoots) {
  testing_support::TempPrefix prefix;
  testing_support::TempDir folder;
  ScopedDrive d('D', platform::DRIVE_CDROM, folder.path(), "qrtmv");
  ScopedDrive f('F', platform::DRIVE_REMOVABLE, folder.path());
  ASSERT_TRUE(d.ok() && f.ok());
  // Wine answers for any path on a drive by its letter; Windows only for the drive's root.
  const bool wine = testing_support::RunningSystem() == testing_support::System::Wine;
  struct Case {
    const char* root;
    platform::DWORD type;
  } cases[] = {
      {"C:\\", platform::DRIVE_FIXED},      {"D:\\", platform::DRIVE_CDROM},
      {"d:\\", platform::DRIVE_CDROM},      {"D:", platform::DRIVE_CDROM},
      {"D:/", platform::DRIVE_CDROM},       {"F:\\", platform::DRIVE_REMOVABLE},
      {"Q:\\", platform::DRIVE_NO_ROOT_DIR}, {"", platform::DRIVE_NO_ROOT_DIR},
      {"1:\\", platform::DRIVE_NO_ROOT_DIR},
      {"D:\\TTF", wine ? platform::DRIVE_CDROM : platform::DRIVE_NO_ROOT_DIR},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::GetDriveTypeA(c.root), c.type) << c.root;
  ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\"));
  EXPECT_EQ(platform::GetDriveTypeA(nullptr), platform::DRIVE_CDROM);
  ASSERT_TRUE(platform::SetCurrentDirectoryA("C:\\"));
}

TEST(Drives, LabelsComeAsGivenInTheAnsiCodePage) {
  testing_support::TempPrefix prefix(1028);
  testing_support::TempDir folders;
  for (const char* name : {"d", "e", "f"}) fs::create_directories(folders.path() / name);
  ScopedDrive d('D', platform::DRIVE_CDROM, folders.path() / "d", "qrtmv");
  ScopedDrive e('E', platform::DRIVE_CDROM, folders.path() / "e", "字型");
  ScopedDrive f('F', platform::DRIVE_FIXED, folders.path() / "f", "");
  ASSERT_TRUE(d.ok() && e.ok() && f.ok());

  char label[128] = {};
  char fileSystem[128] = {};
  platform::DWORD maxComponent = 0, flags = 0;
  ASSERT_TRUE(platform::GetVolumeInformationA("D:\\", label, 128, nullptr, &maxComponent, &flags,
                                              fileSystem, 128));
  EXPECT_STREQ(label, "qrtmv");
  EXPECT_STREQ(fileSystem, "CDFS");
  if (testing_support::SystemCodePage() == 950) {
    ASSERT_TRUE(platform::GetVolumeInformationA("E:\\", label, 128, nullptr, nullptr, nullptr,
                                                nullptr, 0));
    EXPECT_STREQ(label, "\xA6\x72\xAB\xAC");  // Big5
  }
  ASSERT_TRUE(platform::GetVolumeInformationA("F:\\", label, 128, nullptr, nullptr, nullptr,
                                              nullptr, 0));
  EXPECT_STREQ(label, "");

  char small[4] = {'x', 'x', 'x', 'x'};
  EXPECT_FALSE(platform::GetVolumeInformationA("D:\\", small, 4, nullptr, nullptr, nullptr,
                                               nullptr, 0));
  EXPECT_EQ(std::string(small, 4), "xxxx");
}

TEST(Drives, ADriveWithoutAMediumIsNotReady) {
  testing_support::TempPrefix prefix;
  testing_support::TempDir folder;
  ScopedDrive d('D', platform::DRIVE_CDROM, {});
  fs::create_directories(folder.path() / "gone");
  ScopedDrive e('E', platform::DRIVE_CDROM, folder.path() / "gone", "QRTMV");
  ASSERT_TRUE(d.ok() && e.ok());
  fs::remove_all(folder.path() / "gone");

  // Wine answers for a drive without a medium with an empty label, and for one whose folder
  // went with the label it had; Windows says the drive is not ready.
  const bool wine = testing_support::RunningSystem() == testing_support::System::Wine;
  for (const char* root : {"D:\\", "E:\\"}) {
    char label[128] = "previous";
    EXPECT_EQ(platform::GetDriveTypeA(root), platform::DRIVE_CDROM) << root;
    if (wine) continue;
    EXPECT_FALSE(platform::GetVolumeInformationA(root, label, 128, nullptr, nullptr, nullptr,
                                                 nullptr, 0))
        << root;
    EXPECT_EQ(platform::GetLastError(), static_cast<platform::DWORD>(platform::ERROR_NOT_READY));
    EXPECT_STREQ(label, "previous");
  }
  EXPECT_FALSE(platform::FileExists("D:\\setup.exe"));
  EXPECT_FALSE(platform::GetVolumeInformationA("Q:\\", nullptr, 0, nullptr, nullptr, nullptr,
                                               nullptr, 0));
}

}  // namespace
