// The drives of the mount table: optical media found there, their labels read from the medium,
// and the letters they get beside the declared drives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/posix/host.h"
#include "platform/prefix.h"
#include "platform/mount_table.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

// A minimal ISO 9660 image: empty system area, a primary volume descriptor with the label, the
// set terminator.
std::string IsoImage(const std::string& label) {
  constexpr std::size_t kSector = 2048;
  std::string image(kSector * 20, '\0');
  char* pvd = image.data() + 16 * kSector;
  pvd[0] = 1;
  std::memcpy(pvd + 1, "CD001", 5);
  pvd[6] = 1;
  std::memset(pvd + 8, ' ', 32);
  std::memset(pvd + 40, ' ', 32);
  std::memcpy(pvd + 40, label.data(), std::min<std::size_t>(label.size(), 32));
  auto both32 = [](char* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      at[i] = static_cast<char>(v >> (8 * i));
      at[7 - i] = static_cast<char>(v >> (8 * i));
    }
  };
  auto both16 = [](char* at, std::uint16_t v) {
    at[0] = static_cast<char>(v);
    at[1] = static_cast<char>(v >> 8);
    at[2] = static_cast<char>(v >> 8);
    at[3] = static_cast<char>(v);
  };
  both32(pvd + 80, 20);        // volume space size in sectors
  both16(pvd + 120, 1);        // volume set size
  both16(pvd + 124, 1);        // volume sequence number
  both16(pvd + 128, kSector);  // logical block size
  char* root = pvd + 156;      // root directory record
  root[0] = 34;
  both32(root + 2, 18);
  both32(root + 10, kSector);
  root[25] = 2;
  both16(root + 28, 1);
  root[32] = 1;
  pvd[881] = 1;
  char* terminator = image.data() + 17 * kSector;
  terminator[0] = static_cast<char>(255);
  std::memcpy(terminator + 1, "CD001", 5);
  terminator[6] = 1;
  char* dir = image.data() + 18 * kSector;  // "." and ".." of the root
  for (int i = 0; i < 2; ++i) {
    char* record = dir + 34 * i;
    record[0] = 34;
    both32(record + 2, 18);
    both32(record + 10, kSector);
    record[25] = 2;
    both16(record + 28, 1);
    record[32] = 1;
    record[33] = static_cast<char>(i);
  }
  return image;
}

TEST(Drives, MountTableListsEachOpticalMediumOnce) {
  const std::string mountinfo =
      "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
      "30 27 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "41 30 11:0 / /media/user/QRTMV\\040DISC ro,nosuid shared:7 master:3 - iso9660 "
      "/dev/sr0 ro,norock\n"
      "42 30 11:0 / /mnt/again ro - iso9660 /dev/sr0 ro\n"
      "43 30 7:2 / /mnt/image ro,relatime - udf /dev/loop2 ro,utf8\n"
      "44 30 0:50 / /mnt/iso9660 rw - tmpfs iso9660 rw\n"
      "broken line\n";
  auto mounts = platform::posix::ParseOpticalMounts(mountinfo);
  ASSERT_EQ(mounts.size(), 2u);
  EXPECT_EQ(mounts[0].mountPoint, "/media/user/QRTMV DISC");
  EXPECT_EQ(mounts[0].fileSystem, "iso9660");
  EXPECT_EQ(mounts[0].device, "/dev/sr0");
  EXPECT_EQ(mounts[1].mountPoint, "/mnt/image");
  EXPECT_EQ(mounts[1].fileSystem, "udf");
  EXPECT_EQ(mounts[1].device, "/dev/loop2");
}

TEST(Drives, LabelIsReadFromTheMedium) {
  testing_support::TempDir dir;
  fs::path iso = dir.path() / "disc.iso";
  testing_support::WriteFile(iso, IsoImage("QRTMV"));
  EXPECT_EQ(platform::posix::ReadVolumeLabel(iso.string(), "fallback"), "QRTMV");

  fs::path notIso = dir.path() / "plain.bin";
  testing_support::WriteFile(notIso, std::string(65536, '\0'));
  EXPECT_EQ(platform::posix::ReadVolumeLabel(notIso.string(), "fallback"), "fallback");
  EXPECT_EQ(platform::posix::ReadVolumeLabel((dir.path() / "none").string(), "fallback"), "");
}

TEST(Drives, MountedDiscsTakeLettersAfterTheDeclaredOnes) {
  testing_support::TempPrefix prefix;
  testing_support::TempDir folder;
  testing_support::ScopedMountTable table(folder.path());
  fs::create_directories(folder.path() / "disc");
  table.List({{"11:0", folder.path() / "disc", "/dev/sr0"}});
  testing_support::ScopedDrive d('D', platform::DRIVE_CDROM, folder.path(), "QRTMV");
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(platform::GetDriveTypeA("D:\\"), platform::DRIVE_CDROM);
  EXPECT_EQ(platform::ResolveHostPath("D:\\"), fs::path(folder.str()).lexically_normal().string());
  auto e = platform::ResolveHostPath("E:\\");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->rfind((folder.path() / "disc").string(), 0), 0u);
  EXPECT_EQ(platform::GetDriveTypeA("E:\\"), platform::DRIVE_CDROM);
}

// Discs come and go in any order while the launcher runs; the letter it found its disc under
// must stay that disc's.
TEST(Drives, AMountedDiscKeepsItsLetterWhileItStaysMounted) {
  testing_support::TempPrefix prefix;
  testing_support::TempDir folder;
  testing_support::ScopedMountTable table(folder.path());
  const testing_support::ListedDisc a{"11:0", folder.path() / "a", "/dev/sr0"};
  const testing_support::ListedDisc b{"11:1", folder.path() / "b", "/dev/sr1"};
  const testing_support::ListedDisc c{"7:3", folder.path() / "c", "/dev/loop3", "udf"};
  struct Step {
    std::vector<testing_support::ListedDisc> mounted;
    std::string drives;  // as GetLogicalDriveStringsA lists them, NULs as '|'
  } steps[] = {
      {{a, b}, "C:\\|D:\\|E:\\|"},
      {{b}, "C:\\|E:\\|"},          // the earlier disc goes: E: stays E:
      {{b, c}, "C:\\|D:\\|E:\\|"},   // a new disc takes the free D:
      {{c, b, a}, "C:\\|D:\\|E:\\|F:\\|"},
  };
  for (const Step& step : steps) {
    table.List(step.mounted);
    char buffer[64] = {};
    platform::DWORD n = platform::GetLogicalDriveStringsA(sizeof buffer, buffer);
    std::string listed(buffer, n);
    std::replace(listed.begin(), listed.end(), '\0', '|');
    EXPECT_EQ(listed, step.drives);
    EXPECT_EQ(platform::ResolveHostPath("E:\\"), b.mountPoint.string()) << step.drives;
  }
  EXPECT_EQ(platform::ResolveHostPath("D:\\"), c.mountPoint.string());
  EXPECT_EQ(platform::ResolveHostPath("F:\\"), a.mountPoint.string());
}

}  // namespace
