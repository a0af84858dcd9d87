// The path a real disc takes: an ISO 9660 image that the mount table lists as mounted, found by
// the disc search with its label read from the image.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "disc/disc.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/mount_table.h"
#include "platform/prefix.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

TEST(MountedDisc, AnImageLabelledQrtmvIsFoundAsDriveD) {
  if (testing_support::Capture("command -v genisoimage").empty())
    GTEST_SKIP() << "genisoimage is not installed (scripts/install-deps.sh installs it)";
  testing_support::TempPrefix prefix;
  testing_support::TempDir work;
  const fs::path files = work.path() / "mounted";
  testing_support::WriteFile(files / "TTF" / "tmp" / "Info" / "LangMap", "[Lang]\r\n1033=eng\r\n");
  testing_support::WriteFile(files / "UserManual.exe", "MZ");
  const fs::path image = work.path() / "disc.iso";
  testing_support::Capture("genisoimage -quiet -r -J -V QRTMV -o '" + image.string() + "' '" +
                           files.string() + "' 2>&1");
  ASSERT_TRUE(fs::exists(image));

  testing_support::ScopedMountTable table(work.path());
  table.List({{"7:0", files, image.string()}});
  EXPECT_EQ(disc::FindProductDisc(), "D:\\");
  EXPECT_EQ(platform::GetDriveTypeA("D:\\"), platform::DRIVE_CDROM);
  char label[128] = {}, fileSystem[128] = {};
  ASSERT_TRUE(platform::GetVolumeInformationA("D:\\", label, 128, nullptr, nullptr, nullptr,
                                              fileSystem, 128));
  EXPECT_STREQ(label, "QRTMV");
  EXPECT_STREQ(fileSystem, "CDFS");
  EXPECT_TRUE(platform::FileExists("D:\\UserManual.exe"));
  EXPECT_EQ(disc::ReadLanguageSuffix("D:\\TTF\\"), "eng");

  // Another disc with the same files and another label: the label comes from the medium.
  testing_support::Capture("genisoimage -quiet -V OTHER -o '" + image.string() + "' '" +
                           files.string() + "' 2>&1");
  table.List({{"7:1", files, image.string()}});
  EXPECT_EQ(disc::FindProductDisc(), "0");
}

}  // namespace
