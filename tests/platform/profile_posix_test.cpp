// The POSIX profile cache: a file that changes on disc or is replaced is read again, and a
// FIFO in a profile's place does not block the reader.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/profile.h"
#include "profile_files.h"

namespace {

TEST_F(ProfileFiles, FifoReadsAsMissing) {
  ASSERT_EQ(mkfifo(Host("fifo.ini").c_str(), 0644), 0);  // must not block the reader
  EXPECT_EQ(platform::ReadProfileString(Win("fifo.ini"), "s", "k", "dflt"), "dflt");
}

TEST_F(ProfileFiles, FileChangedOnDiscIsReadAgain) {
  auto path = Host("LangMap");
  testing_support::WriteFile(path, "[Lang]\n1028=cht\n");
  EXPECT_EQ(platform::ReadProfileString(Win("LangMap"), "Lang", "1028", ""), "cht");
  EXPECT_EQ(platform::ReadProfileString("c:\\PROFILES\\langmap", "Lang", "1028", ""), "cht");

  // Rewritten in place with the same size and a modification time one nanosecond later.
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  testing_support::WriteFile(path, "[Lang]\n1028=big\n");
  struct timespec times[2] = {before.st_atim, before.st_mtim};
  times[1].tv_nsec = (times[1].tv_nsec + 1) % 1'000'000'000;
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  EXPECT_EQ(platform::ReadProfileString(Win("LangMap"), "Lang", "1028", ""), "big");

  // Replaced by another file of the same size and time.
  auto other = Host("LangMap.new");
  testing_support::WriteFile(other, "[Lang]\n1028=new\n");
  ASSERT_EQ(utimensat(AT_FDCWD, other.c_str(), times, 0), 0);
  std::filesystem::rename(other, path);
  EXPECT_EQ(platform::ReadProfileString(Win("LangMap"), "Lang", "1028", ""), "new");

  std::filesystem::remove(path);
  EXPECT_EQ(platform::ReadProfileString(Win("LangMap"), "Lang", "1028", "gone"), "gone");
}

}  // namespace
