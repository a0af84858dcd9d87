// Windows paths on real folders: case, double-byte names, wildcards, the current directory,
// attributes, streams, free space, and the drive root as a wall.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/files_fixture.h"
#include "platform/prefix.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

using testing_support::kXuBig5;
using testing_support::kXuUtf8;

class FilesTest : public testing_support::DiscFolderTest {
 protected:
  std::vector<std::string> Names(const std::string& pattern) const {
    std::vector<std::string> names;
    for (const auto& entry : platform::FindFiles(pattern)) names.push_back(entry.name);
    return names;
  }
  // The system reads the names of a Big5 disc only when its own code page is Big5.
  static bool Big5System() { return testing_support::SystemCodePage() == 950; }
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
}

TEST_F(FilesTest, Big5ComponentWithABackslashTrailByteFindsItsFolder) {
  if (!Big5System()) GTEST_SKIP() << "the system's code page is not Big5";
  WriteFile(disc(kXuUtf8 + "/tmp/Info/LangMap"), "[Lang]\n1028=CHT\n");
  std::string folder = "D:\\" + kXuBig5 + "\\";
  EXPECT_TRUE(platform::DirectoryExists("D:\\" + kXuBig5));
  EXPECT_EQ(platform::ReadWholeFile(folder + "tmp\\Info\\LangMap"), "[Lang]\n1028=CHT\n");

  auto found = platform::FindFiles("D:\\*");
  std::erase_if(found, [](const auto& entry) { return entry.name == ".windows-label"; });  // Wine's
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, kXuBig5);
  EXPECT_TRUE(found[0].attributes & platform::FILE_ATTRIBUTE_DIRECTORY);
  ASSERT_TRUE(platform::SetCurrentDirectoryA(folder.c_str()));
  EXPECT_EQ(platform::GetCurrentDirectoryA(), folder);
  EXPECT_TRUE(platform::FileExists("tmp\\Info\\LangMap"));
  EXPECT_TRUE(fs::exists("tmp/Info/LangMap")) << "the process's working folder follows";
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
  if (!Big5System()) GTEST_SKIP() << "the system's code page is not Big5";
  WriteFile(disc("Fonts/a.ttf"), std::string(1234, 'x'));
  WriteFile(disc("Fonts/\xF0\x9F\x98\x80.ttf"), "emoji");  // no Big5 form
  WriteFile(disc("Fonts/" + kXuUtf8 + ".ttf"), "12345");
  fs::create_directories(disc("Fonts/sub.ttf"));
  auto found = platform::FindFiles("D:\\Fonts\\*.ttf");
  // Windows lists a name without an ANSI form with '?' for what does not convert; the POSIX
  // backend leaves it out on purpose, since no call could open the file by such a name.
  const bool posix = testing_support::RunningSystem() == testing_support::System::Posix;
  EXPECT_EQ(std::erase_if(found, [](const auto& f) { return f.name.find('?') != f.name.npos; }),
            posix ? 0u : 1u);
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
  EXPECT_TRUE(fs::exists("tmp/Info/LangMap")) << "the process's working folder follows";
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
  EXPECT_TRUE(fs::exists("tmp/Info/LangMap"));

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
  EXPECT_EQ(ReadFile("secret.txt"), "inside") << "the process's working folder follows";
  EXPECT_TRUE(platform::DeleteFileA("D:\\..\\secret.txt"));
  EXPECT_FALSE(fs::exists(disc("secret.txt")));
  EXPECT_EQ(ReadFile(outer_.path() / "secret.txt"), "outside");
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

// A copy writes whole blocks that the write buffer gathers.
TEST_F(FilesTest, BufferedBlocksArriveWhole) {
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
  EXPECT_EQ(platform::ReadWholeFile("C:\\big.bin"), bytes);
  EXPECT_TRUE(platform::DeleteFileA("C:\\big.bin"));
}

TEST_F(FilesTest, FreeSpaceIsMinusOneWhenUnknown) {
  EXPECT_GT(platform::FreeBytesOfDrive("C:\\"), 0);
  EXPECT_GT(platform::FreeBytesOfDrive("D:\\"), 0);
  EXPECT_EQ(platform::FreeBytesOfDrive("Q:\\"), -1);
  testing_support::ScopedDrive empty('E', platform::DRIVE_CDROM, {});
  ASSERT_TRUE(empty.ok());
  EXPECT_EQ(platform::FreeBytesOfDrive("E:\\"), -1);
  // Wine finds no path on a drive without a medium; Windows says the drive is not ready.
  if (testing_support::RunningSystem() != testing_support::System::Wine) {
    EXPECT_EQ(platform::GetLastError(), static_cast<platform::DWORD>(platform::ERROR_NOT_READY));
  }
  std::uint64_t available = 0, total = 0, free = 0;
  ASSERT_TRUE(platform::GetDiskFreeSpaceExA("C:\\", &available, &total, &free));
  EXPECT_LE(available, free);
  EXPECT_LE(free, total);
}

// The worker counts free space while the window thread searches and opens files.
TEST_F(FilesTest, TwoThreadsUseTheDriveMapAtOnce) {
  if (!Big5System()) GTEST_SKIP() << "the system's code page is not Big5";
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

}  // namespace
