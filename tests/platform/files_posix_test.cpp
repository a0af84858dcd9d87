// What only the POSIX backend has: the map between Windows paths and host paths, a full disk
// stood for by a small mounted file system, and the prefix folder that holds drive C:.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/files_fixture.h"
#include "platform/prefix.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

using testing_support::kXuBig5;
using testing_support::kXuUtf8;

using HostFilesTest = testing_support::DiscFolderTest;

TEST_F(HostFilesTest, HostPathsMapBothWays) {
  WriteFile(disc("TTF/tmp/Info/LangMap"), "[Lang]\n");
  fs::create_directories(disc("TTF/" + kXuUtf8 + "/tmp"));
  struct Case {
    std::string windows;
    fs::path host;
  };
  const Case cases[] = {
      // every existing component found without regard to case, the new last one kept as given
      {"d:\\ttf\\tmp\\INFO\\new.txt", disc("TTF/tmp/Info/new.txt")},
      {"D:\\TTF\\" + kXuBig5 + "\\tmp", disc("TTF/" + kXuUtf8 + "/tmp")},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::ResolveHostPath(c.windows), c.host.string());
  // ".." stops at the drive's root.
  for (const char* path : {"D:\\..", "D:\\..\\..\\x"}) {
    auto host = platform::ResolveHostPath(path);
    ASSERT_TRUE(host) << path;
    EXPECT_EQ(host->rfind(discDir_.string(), 0), 0u) << *host;
  }

  EXPECT_EQ(platform::WindowsPathOf(disc("TTF/" + kXuUtf8).string()), "D:\\TTF\\" + kXuBig5);
  EXPECT_EQ(platform::WindowsPathOf(discDir_.string()), "D:\\");
  EXPECT_EQ(platform::WindowsPathOf((prefix_.path() / "drive_c" / "windows").string()),
            "C:\\windows");
  EXPECT_EQ(platform::WindowsPathOf(outer_.str()), std::nullopt);
  EXPECT_EQ(platform::WindowsPathOf((outer_.path() / "disc2").string()), std::nullopt);
}

// A Windows folder cannot hold two names that differ only in case; a host folder can.
TEST_F(HostFilesTest, TheExactNameWinsOverOtherCases) {
  WriteFile(disc("Info/a"), "upper");
  WriteFile(disc("info/a"), "lower");
  EXPECT_EQ(platform::ReadWholeFile("D:\\info\\a"), "lower");
  EXPECT_EQ(platform::ReadWholeFile("D:\\Info\\a"), "upper");
  EXPECT_EQ(platform::ReadWholeFile("D:\\INFO\\a"), "upper");  // the first in byte order
}

// What the write buffer still holds when the device refuses it must not pass for written.
TEST_F(HostFilesTest, AFailedFlushIsReported) {
  std::string bytes(20 * 8192 + 123, 'x');
  // A file is never written through a link, not even one to a device.
  if (fs::exists("/dev/full")) {
    fs::create_symlink("/dev/full", prefix_.path() / "drive_c" / "full.bin");
    platform::File link;
    EXPECT_FALSE(link.Open("C:\\full.bin", platform::File::Mode::WriteTruncate));
    fs::remove(prefix_.path() / "drive_c" / "full.bin");
  }

  // A full disk: a file system of one page.
  const fs::path small = prefix_.path() / "drive_c" / "small";
  fs::create_directories(small);
  if (std::system(("mount -t tmpfs -o size=4k tmpfs '" + small.string() + "' 2>/dev/null").c_str()))
    GTEST_SKIP() << "cannot mount a small file system to stand for a full disk";
  struct Case {
    const char* what;
    std::size_t size;
  };
  const Case cases[] = {{"one block, held in the buffer", 8192},
                        {"more than the buffer holds", bytes.size()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::File file;
    ASSERT_TRUE(file.Open("C:\\small\\full.bin", platform::File::Mode::WriteTruncate));
    const std::size_t written = file.Write(bytes.data(), c.size);
    if (c.size > 65536) {
      EXPECT_LT(written, c.size);
    }
    platform::SetLastError(0);
    EXPECT_FALSE(file.Close());
    EXPECT_EQ(platform::GetLastError(), 112u) << "disk full";
  }
  std::system(("umount '" + small.string() + "'").c_str());
}

TEST(FilesPrefix, AnUnusablePrefixFailsClearly) {
  testing_support::TempDir dir;
  WriteFile(dir.path() / "file", "not a folder");
  std::string bad = (dir.path() / "file" / "prefix").string();
  const char* old = std::getenv("ZELVAFONT_PREFIX");
  std::string saved = old ? old : "";
  setenv("ZELVAFONT_PREFIX", bad.c_str(), 1);
  platform::ReopenPrefix();
  try {
    platform::PrefixDir();
    ADD_FAILURE() << "an unusable prefix was accepted";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(bad), std::string::npos) << error.what();
  }
  EXPECT_EQ(platform::GetFileAttributesA("C:\\"), platform::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(platform::GetDriveTypeA("C:\\"), platform::DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(platform::FreeBytesOfDrive("C:\\"), -1);
  EXPECT_FALSE(platform::CreateDirectoryA("C:\\windows"));
  EXPECT_TRUE(platform::FindFiles("C:\\*").empty());
  if (old)
    setenv("ZELVAFONT_PREFIX", saved.c_str(), 1);
  else
    unsetenv("ZELVAFONT_PREFIX");
  platform::ReopenPrefix();
}

TEST(FilesPrefix, AMissingPrefixIsCreatedWithDriveC) {
  testing_support::TempDir dir;
  std::string fresh = (dir.path() / "new" / "prefix").string();
  const char* old = std::getenv("ZELVAFONT_PREFIX");
  std::string saved = old ? old : "";
  setenv("ZELVAFONT_PREFIX", fresh.c_str(), 1);
  platform::ReopenPrefix();
  EXPECT_TRUE(platform::DirectoryExists("C:\\windows\\Fonts"));
  EXPECT_TRUE(fs::is_directory(fs::path(fresh) / "drive_c"));
  if (old)
    setenv("ZELVAFONT_PREFIX", saved.c_str(), 1);
  else
    unsetenv("ZELVAFONT_PREFIX");
  platform::ReopenPrefix();
}

}  // namespace
