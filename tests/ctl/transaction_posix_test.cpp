// Installs and removals under faults that only POSIX can deal here: hostile discs (FIFOs, links
// off the disc, planted links), a full disk and a read-only Fonts folder. Each ends with the
// prefix consistent: every entry names its file, every file of the Fonts folder has its entry, no
// temporary file is left, no step is pending, and nothing outside the Fonts folder changed.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ctl/transaction_fixture.h"

namespace ctl_test {
namespace {

// Sources that are no font file of the disc are refused with the font and the reason, and
// nothing is written anywhere but the Fonts folder; links planted in the Fonts folder are
// never written through.
TEST_F(TransactionTest, HostileDiscsAndPlantedLinksAreRefused) {
  const fs::path one = set() / "one";
  const fs::path outside = prefix_.path() / "outside.ttf";
  fs::copy_file(kDejaVu / "DejaVuSans.ttf", outside);
  const std::string outsideBytes = ReadFile(outside);
  struct Case {
    const char* what;
    std::function<void()> make;  // puts something in the place of one/same.ttf (font A)
    const char* message;
  };
  const Case cases[] = {
      {"a FIFO", [&] { mkfifo((one / "same.ttf").c_str(), 0644); },
       "A (its file on the disc is not a regular file)"},
      {"a link to a device", [&] { fs::create_symlink("/dev/zero", one / "same.ttf"); },
       "A (its file on the disc is not a regular file)"},
      {"a link off the disc", [&] { fs::create_symlink("/etc/passwd", one / "same.ttf"); },
       "A (its file on the disc links outside the disc)"},
      {"a dangling link", [&] { fs::create_symlink(one / "gone.ttf", one / "same.ttf"); },
       "A (its file is missing from the disc)"},
      {"a folder", [&] { fs::create_directory(one / "same.ttf"); },
       "A (its file on the disc is not a regular file)"},
      {"a truncated font",
       [&] {
         WriteFile(one / "same.ttf", ReadFile(kDejaVu / "DejaVuSans.ttf").substr(0, 4096));
       },
       "A (the copy is not a whole font (the disc may be damaged))"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(one / "same.ttf");
    c.make();
    Result r = Install({"--no-links", "A"});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(prefix_.fontsDir()));
    EXPECT_TRUE(Entries().empty());
  }
  fs::remove_all(one / "same.ttf");
  fs::copy_file(kDejaVu / "DejaVuSans.ttf", one / "same.ttf");

  // A dangling link and a link to a file elsewhere, each named like the font: neither blocks the
  // install nor is written through; the font takes the next free names.
  fs::create_symlink(prefix_.path() / "nowhere.ttf", prefix_.fontsDir() / "same.ttf");
  fs::create_symlink(outside, prefix_.fontsDir() / "same0.ttf");
  Result installed = Install({"--no-links", "A"});
  EXPECT_EQ(installed.exitCode, 0) << installed.err;
  EXPECT_EQ(Entries(), (std::map<std::string, std::string>{{"Font A (TrueType)", "same1.ttf"}}));
  EXPECT_EQ(ReadFile(outside), outsideBytes);
  EXPECT_FALSE(fs::exists(prefix_.path() / "nowhere.ttf"));

  // An entry that names a link: removal takes the entry and the link, and never changes the
  // file it leads to.
  fs::permissions(outside, fs::perms::owner_read);
  platform::ReopenPrefix();
  ASSERT_EQ(Ctl({"registry", "set", std::string("HKLM\\") + kTxFontsKey, "Font A Bold (TrueType)",
                 "same0.ttf"})
                .exitCode,
            0);
  Result removed = Remove({"A"});
  EXPECT_EQ(removed.exitCode, 0) << removed.err;
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(fs::status(outside).permissions() & fs::perms::all, fs::perms::owner_read);
  EXPECT_EQ(ReadFile(outside), outsideBytes);
  fs::remove(prefix_.fontsDir() / "same.ttf");
  EXPECT_TRUE(fs::is_empty(prefix_.fontsDir()));
}

// Removal that cannot delete a file keeps the entry, and says so.
TEST_F(TransactionTest, ARemovalThatFailsKeepsTheEntryAndFailsTheRun) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root for an immutable file";
  ASSERT_EQ(Install({"--no-links", "C"}).exitCode, 0);
  const fs::path copy = prefix_.fontsDir() / "same.ttf";
  if (!testing_support::SetImmutable(copy, true)) GTEST_SKIP() << "no immutable files here";
  Result r = Remove({"C"});
  testing_support::SetImmutable(copy, false);
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_NE(r.err.find("C (its file cannot be deleted"), std::string::npos) << r.err;
  EXPECT_EQ(Entries(), (std::map<std::string, std::string>{{"Font C (TrueType)", "same.ttf"}}));
  ExpectConsistent();
}

// A Fonts folder on a small file system: a full disk and a read-only folder are named as such,
// with the megabytes needed and free, and leave nothing behind.
TEST_F(TransactionTest, AFullDiskAndAReadOnlyFolderAreNamedAsTheCause) {
  const std::string folder = prefix_.fontsDir().string();
  if (std::system(("mount -t tmpfs -o size=1m tmpfs '" + folder + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "cannot mount a small file system here";
  Result full = Install({"--no-links", "A", "D"});  // 757 kB and 705 kB: the second does not fit
  Result readOnly;
  if (std::system(("mount -o remount,ro '" + folder + "'").c_str()) == 0) {
    readOnly = Remove({"A"});
    std::system(("mount -o remount,rw '" + folder + "'").c_str());
  }
  EXPECT_EQ(full.exitCode, 5);
  EXPECT_NE(full.err.find("D (the disk is full (0.7 MB needed, 0.3 MB free))"), std::string::npos)
      << full.err;
  EXPECT_EQ(readOnly.exitCode, 5);
  EXPECT_NE(readOnly.err.find("A (its file cannot be deleted (the Fonts folder is read-only))"),
            std::string::npos)
      << readOnly.err;
  EXPECT_EQ(Entries(), (std::map<std::string, std::string>{{"Font A (TrueType)", "same.ttf"}}));
  ExpectConsistent();
  std::system(("umount '" + folder + "'").c_str());
}

}  // namespace
}  // namespace ctl_test
