// Windows paths on real host folders: case, double-byte names, wildcards, the current directory,
// attributes, streams, free space, and the drive root as a wall.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/prefix.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

const std::string kXuBig5 = "\xB3\x5C";  // 許: the trail byte is a backslash
const std::string kXuUtf8 = "\xE8\xA8\xB1";

// A Traditional Chinese prefix with a plain folder declared as CD-ROM drive D:.
class FilesTest : public ::testing::Test {
 protected:
  FilesTest() : prefix_(1028) {
    discDir_ = outer_.path() / "disc";
    fs::create_directories(discDir_);
    platform::DriveDeclaration drive;
    drive.letter = 'D';
    drive.hostFolder = discDir_.string();
    drive.label = "QRTMV";
    platform::DeclareDrive(drive, platform::DeclarationScope::Process);
  }
  ~FilesTest() override { chdir(fs::temp_directory_path().c_str()); }

  fs::path disc(const std::string& relative) const { return discDir_ / relative; }

  std::vector<std::string> Names(const std::string& pattern) const {
    std::vector<std::string> names;
    for (const auto& entry : platform::FindFiles(pattern)) names.push_back(entry.name);
    return names;
  }

  testing_support::TempDir outer_;
  testing_support::TempPrefix prefix_;
  fs::path discDir_;
};

TEST_F(FilesTest, ComponentsMatchWithoutRegardToCase) {
  WriteFile(disc("TTF/tmp/Info/LangMap"), "[Lang]\n");
  WriteFile(disc("Gift/Gift_JPG/a.jpg"), "x");
  struct Case {
    const char* path;
    bool exists;
  } cases[] = {
      {"D:\\TTF\\tmp\\Info\\LangMap", true},  {"d:\\ttf\\TMP\\info\\LANGMAP", true},
      {"D:/ttf/tmp/info/langmap", true},      {"D:\\TTF\\\\tmp\\.\\Info\\LangMap", true},
      {"D:\\TTF\\tmp\\x\\..\\Info\\LangMap", true}, {"D:\\gift\\GIFT_jpg\\A.JPG", true},
      {"D:\\TTF\\tmp\\Info\\LangMap2", false}, {"D:\\TTF\\tmp\\Info\\LangMa", false},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::FileExists(c.path), c.exists) << c.path;
  EXPECT_TRUE(platform::DirectoryExists("D:\\ttf\\TMP"));
  EXPECT_FALSE(platform::FileExists("D:\\ttf\\TMP"));
  EXPECT_EQ(platform::ResolveHostPath("d:\\ttf\\tmp\\INFO\\new.txt"),
            disc("TTF/tmp/Info/new.txt").string());
}

TEST_F(FilesTest, TheExactNameWinsOverOtherCases) {
  WriteFile(disc("Info/a"), "upper");
  WriteFile(disc("info/a"), "lower");
  EXPECT_EQ(platform::ReadWholeFile("D:\\info\\a"), "lower");
  EXPECT_EQ(platform::ReadWholeFile("D:\\Info\\a"), "upper");
  EXPECT_EQ(platform::ReadWholeFile("D:\\INFO\\a"), "upper");  // the first in byte order
}

TEST_F(FilesTest, Big5ComponentWithABackslashTrailByteFindsItsFolder) {
  WriteFile(disc(kXuUtf8 + "/tmp/Info/LangMap"), "[Lang]\n1028=CHT\n");
  std::string folder = "D:\\" + kXuBig5 + "\\";
  EXPECT_TRUE(platform::DirectoryExists("D:\\" + kXuBig5));
  EXPECT_EQ(platform::ReadWholeFile(folder + "tmp\\Info\\LangMap"), "[Lang]\n1028=CHT\n");
  EXPECT_EQ(platform::ResolveHostPath(folder + "tmp"), disc(kXuUtf8 + "/tmp").string());

  auto found = platform::FindFiles("D:\\*");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, kXuBig5);
  EXPECT_TRUE(found[0].attributes & platform::FILE_ATTRIBUTE_DIRECTORY);
  ASSERT_TRUE(platform::SetCurrentDirectoryA(folder.c_str()));
  EXPECT_EQ(platform::GetCurrentDirectoryA(), folder);
  EXPECT_TRUE(platform::FileExists("tmp\\Info\\LangMap"));
  EXPECT_EQ(fs::current_path(), disc(kXuUtf8));
}

TEST_F(FilesTest, WildcardsFollowTheWindowsRules) {
  for (const char* name : {"Style", "Style1", "Style.1028", "Style1.1028", "style2", "Style1.eng",
                           "Font1", "Font1.1028", "Fonts.ttf", "a1.jpg", "ab.jpg", "abc.jpg",
                           "ABD.JPG", "readme"})
    WriteFile(disc(std::string("Info/") + name), "x");
  using NameList = std::vector<std::string>;
  struct Case {
    const char* pattern;
    NameList expected;
  } cases[] = {
      {"Style*.", {"Style", "Style1", "style2"}},
      {"Style*.1028", {"Style.1028", "Style1.1028"}},
      {"STYLE*.ENG", {"Style1.eng"}},
      {"Font*.", {"Font1"}},
      {"Font*.1028", {"Font1.1028"}},
      {"a?.jpg", {"a1.jpg", "ab.jpg"}},
      {"a*.jpg", {"a1.jpg", "ab.jpg", "abc.jpg", "ABD.JPG"}},
      {"*.ttf", {"Fonts.ttf"}},
      {"Font1.*", {"Font1", "Font1.1028"}},
      {"readme", {"readme"}},
      {"README", {"readme"}},
      {"nothing*", {}},
      {"*.", {"Font1", "readme", "Style", "Style1", "style2"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Names(std::string("D:\\Info\\") + c.pattern), c.expected) << c.pattern;
  EXPECT_EQ(Names("D:\\Info\\*").size(), 14u);
  EXPECT_EQ(Names("D:\\Info\\*.*").size(), 14u);
  EXPECT_TRUE(Names("D:\\Info\\").empty());
  EXPECT_TRUE(Names("D:\\Missing\\*").empty());
}

TEST_F(FilesTest, SearchReportsSizesAndSkipsNamesWithoutAnAnsiForm) {
  WriteFile(disc("Fonts/a.ttf"), std::string(1234, 'x'));
  WriteFile(disc("Fonts/\xF0\x9F\x98\x80.ttf"), "emoji");  // no Big5 form
  WriteFile(disc("Fonts/" + kXuUtf8 + ".ttf"), "12345");
  fs::create_directories(disc("Fonts/sub.ttf"));
  auto found = platform::FindFiles("D:\\Fonts\\*.ttf");
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].name, "a.ttf");
  EXPECT_EQ(found[0].size, 1234u);
  EXPECT_EQ(found[1].name, "sub.ttf");
  EXPECT_TRUE(found[1].attributes & platform::FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(found[2].name, kXuBig5 + ".ttf");
  EXPECT_EQ(found[2].size, 5u);
  EXPECT_EQ(platform::GetFileSizeByPath("D:\\FONTS\\A.TTF"), 1234u);
  EXPECT_EQ(platform::GetFileSizeByPath("D:\\Fonts\\sub.ttf"), std::nullopt);
  EXPECT_EQ(platform::GetFileSizeByPath("D:\\Fonts\\none.ttf"), std::nullopt);
}

TEST_F(FilesTest, CurrentDirectoryResolvesRelativePaths) {
  WriteFile(disc("TTF/tmp/Info/LangMap"), "x");
  WriteFile(disc("TTC/readme"), "y");
  ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\TTF\\"));
  EXPECT_EQ(platform::GetCurrentDirectoryA(), "D:\\TTF\\");
  EXPECT_EQ(fs::current_path(), disc("TTF"));
  struct Case {
    const char* path;
    bool exists;
  } cases[] = {
      {"tmp\\Info\\LangMap", true}, {".\\tmp\\Info\\LangMap", true},
      {"..\\TTC\\readme", true},    {"\\TTC\\readme", true},
      {"D:tmp\\Info\\LangMap", true}, {"LangMap", false},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::FileExists(c.path), c.exists) << c.path;
  EXPECT_EQ(platform::FindFiles("tmp\\Info\\Lang*").size(), 1u);

  // A missing folder changes nothing, neither the model nor the host's working folder.
  EXPECT_FALSE(platform::SetCurrentDirectoryA("D:\\Nowhere\\"));
  EXPECT_FALSE(platform::SetCurrentDirectoryA("D:\\TTC\\readme"));
  EXPECT_FALSE(platform::SetCurrentDirectoryA("Q:\\"));
  EXPECT_EQ(platform::GetCurrentDirectoryA(), "D:\\TTF\\");
  EXPECT_EQ(fs::current_path(), disc("TTF"));

  ASSERT_TRUE(platform::SetCurrentDirectoryA("..\\ttc"));
  EXPECT_EQ(platform::GetCurrentDirectoryA(), "D:\\ttc\\");
  EXPECT_TRUE(platform::FileExists("readme"));
  ASSERT_TRUE(platform::SetCurrentDirectoryA("C:\\"));
  EXPECT_EQ(platform::GetCurrentDirectoryA(), "C:\\");
  EXPECT_TRUE(platform::DirectoryExists("windows\\fonts"));
}

TEST_F(FilesTest, DotDotStopsAtTheDriveRoot) {
  WriteFile(outer_.path() / "secret.txt", "outside");
  WriteFile(disc("secret.txt"), "inside");
  fs::create_directories(disc("TTF"));
  EXPECT_EQ(platform::ReadWholeFile("D:\\..\\secret.txt"), "inside");
  EXPECT_EQ(platform::ReadWholeFile("D:\\TTF\\..\\..\\..\\secret.txt"), "inside");
  EXPECT_EQ(platform::ReadWholeFile("D:/../../secret.txt"), "inside");
  ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\TTF"));
  EXPECT_EQ(platform::ReadWholeFile("..\\..\\..\\secret.txt"), "inside");
  EXPECT_TRUE(platform::SetCurrentDirectoryA("..\\..\\.."));
  EXPECT_EQ(platform::GetCurrentDirectoryA(), "D:\\");
  EXPECT_EQ(fs::current_path(), discDir_);
  EXPECT_TRUE(platform::DeleteFileA("D:\\..\\secret.txt"));
  EXPECT_FALSE(fs::exists(disc("secret.txt")));
  EXPECT_EQ(ReadFile(outer_.path() / "secret.txt"), "outside");
  for (const char* path : {"D:\\..", "D:\\..\\..\\x"}) {
    auto host = platform::ResolveHostPath(path);
    ASSERT_TRUE(host) << path;
    EXPECT_EQ(host->rfind(discDir_.string(), 0), 0u) << *host;
  }
}

TEST_F(FilesTest, ReadOnlyFilesAreNeitherDeletedNorOverwritten) {
  WriteFile(disc("Fonts/a.ttf"), "data");
  const char* path = "D:\\Fonts\\A.TTF";
  ASSERT_TRUE(platform::SetFileAttributesA(path, platform::FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(platform::GetFileAttributesA(path) & platform::FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(platform::DeleteFileA(path));
  EXPECT_EQ(platform::GetLastError(), static_cast<platform::DWORD>(platform::ERROR_ACCESS_DENIED));
  platform::File file;
  EXPECT_FALSE(file.Open(path, platform::File::Mode::WriteTruncate));
  EXPECT_EQ(ReadFile(disc("Fonts/a.ttf")), "data");

  ASSERT_TRUE(platform::SetFileAttributesA(path, 0));
  EXPECT_FALSE(platform::GetFileAttributesA(path) & platform::FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(platform::DeleteFileA(path));
  EXPECT_FALSE(fs::exists(disc("Fonts/a.ttf")));
  EXPECT_FALSE(platform::DeleteFileA(path));
  EXPECT_EQ(platform::GetLastError(),
            static_cast<platform::DWORD>(platform::ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(platform::DeleteFileA("D:\\Fonts"));  // a folder is no file
  EXPECT_EQ(platform::GetFileAttributesA("D:\\none"), platform::INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesTest, MoveAndCreateNeverReplace) {
  WriteFile(disc("a/one"), "1");
  WriteFile(disc("a/TWO"), "2");
  EXPECT_FALSE(platform::MoveFileA("D:\\a\\one", "D:\\a\\two"));  // TWO is taken on Windows
  EXPECT_EQ(ReadFile(disc("a/TWO")), "2");
  EXPECT_TRUE(platform::MoveFileA("D:\\a\\one", "D:\\a\\three"));
  EXPECT_EQ(ReadFile(disc("a/three")), "1");
  EXPECT_FALSE(fs::exists(disc("a/one")));
  EXPECT_FALSE(platform::MoveFileA("D:\\a\\one", "D:\\a\\four"));

  EXPECT_TRUE(platform::CreateDirectoryA("D:\\a\\Sub"));
  EXPECT_TRUE(fs::is_directory(disc("a/Sub")));
  EXPECT_FALSE(platform::CreateDirectoryA("D:\\A\\sub"));
  EXPECT_EQ(platform::GetLastError(), 183u);
  EXPECT_FALSE(platform::CreateDirectoryA("D:\\missing\\sub"));
}

TEST_F(FilesTest, StreamsAreByteExact) {
  std::string bytes("a\0b\r\n\x1A\xB3\x5C", 8);
  {
    platform::File file;
    ASSERT_TRUE(file.Open("C:\\windows\\Fonts\\x.bin", platform::File::Mode::WriteTruncate));
    EXPECT_EQ(file.Write(bytes.data(), bytes.size()), bytes.size());
    EXPECT_TRUE(file.Close());
  }
  EXPECT_EQ(ReadFile(prefix_.fontsDir() / "x.bin"), bytes);
  platform::File reader;
  ASSERT_TRUE(reader.Open("c:\\WINDOWS\\fonts\\X.BIN", platform::File::Mode::Read));
  platform::File moved = std::move(reader);
  EXPECT_FALSE(reader.IsOpen());
  char buffer[64];
  EXPECT_EQ(moved.Read(buffer, sizeof buffer), bytes.size());
  EXPECT_EQ(std::string(buffer, bytes.size()), bytes);
  EXPECT_EQ(moved.Read(buffer, sizeof buffer), 0u);

  platform::File missing;
  EXPECT_FALSE(missing.Open("C:\\nothing.bin", platform::File::Mode::Read));
  EXPECT_FALSE(missing.Open("C:\\no\\folder.bin", platform::File::Mode::WriteTruncate));
  EXPECT_FALSE(missing.Open("C:\\windows", platform::File::Mode::Read));
  EXPECT_EQ(platform::ReadWholeFile("C:\\nothing.bin"), std::nullopt);
}

// A copy writes whole blocks that the write buffer gathers; what the buffer still holds when
// the device refuses it must not pass for written.
TEST_F(FilesTest, BufferedBlocksArriveWholeAndAFailedFlushIsReported) {
  std::string bytes(20 * 8192 + 123, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
  {
    platform::File file;
    ASSERT_TRUE(file.Open("C:\\big.bin", platform::File::Mode::WriteTruncate));
    for (std::size_t at = 0; at < bytes.size(); at += 8192) {
      const std::size_t n = std::min<std::size_t>(8192, bytes.size() - at);
      ASSERT_EQ(file.Write(bytes.data() + at, n), n);
    }
    EXPECT_TRUE(file.Close());
  }
  EXPECT_EQ(ReadFile(prefix_.path() / "drive_c" / "big.bin"), bytes);

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

TEST_F(FilesTest, FreeSpaceIsMinusOneWhenUnknown) {
  EXPECT_GT(platform::FreeBytesOfDrive("C:\\"), 0);
  EXPECT_GT(platform::FreeBytesOfDrive("D:\\"), 0);
  EXPECT_EQ(platform::FreeBytesOfDrive("Q:\\"), -1);
  platform::DriveDeclaration empty;
  empty.letter = 'E';
  platform::DeclareDrive(empty, platform::DeclarationScope::Process);
  EXPECT_EQ(platform::FreeBytesOfDrive("E:\\"), -1);
  EXPECT_EQ(platform::GetLastError(), static_cast<platform::DWORD>(platform::ERROR_NOT_READY));
  std::uint64_t available = 0, total = 0, free = 0;
  ASSERT_TRUE(platform::GetDiskFreeSpaceExA("C:\\", &available, &total, &free));
  EXPECT_LE(available, free);
  EXPECT_LE(free, total);
}

TEST_F(FilesTest, HostPathsMapBackToWindowsPaths) {
  fs::create_directories(disc("TTF/" + kXuUtf8));
  EXPECT_EQ(platform::WindowsPathOf(disc("TTF/" + kXuUtf8).string()), "D:\\TTF\\" + kXuBig5);
  EXPECT_EQ(platform::WindowsPathOf(discDir_.string()), "D:\\");
  EXPECT_EQ(platform::WindowsPathOf((prefix_.path() / "drive_c" / "windows").string()),
            "C:\\windows");
  EXPECT_EQ(platform::WindowsPathOf(outer_.str()), std::nullopt);
  EXPECT_EQ(platform::WindowsPathOf((outer_.path() / "disc2").string()), std::nullopt);
}

// The worker counts free space while the window thread searches and opens files.
TEST_F(FilesTest, TwoThreadsUseTheDriveMapAtOnce) {
  WriteFile(disc(kXuUtf8 + "/Info/Style1"), "x");
  WriteFile(disc(kXuUtf8 + "/Info/Font1"), "y");
  auto work = [](bool* ok) {
    for (int i = 0; i < 300 && *ok; ++i) {
      char drives[32] = {};
      *ok = platform::GetLogicalDriveStringsA(32, drives) >= 8 &&
            platform::FindFiles("D:\\" + kXuBig5 + "\\info\\*.").size() == 2 &&
            platform::ReadWholeFile("d:\\" + kXuBig5 + "\\INFO\\font1") == "y" &&
            platform::FreeBytesOfDrive("C:\\") > 0;
    }
  };
  bool okA = true, okB = true;
  std::thread a(work, &okA), b(work, &okB);
  a.join();
  b.join();
  EXPECT_TRUE(okA);
  EXPECT_TRUE(okB);
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
