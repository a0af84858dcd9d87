// Installs and removals under faults, as real zelvafont-ctl processes meet them: a process ended
// at every step boundary, kill -9 at random moments, three processes at once on overlapping
// fonts that share file names, and hostile discs. Each ends with the prefix consistent: every
// entry names its file, every file of the Fonts folder has its entry, no temporary file is
// left, no step is pending, and nothing outside the Fonts folder changed.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ctl/run_program.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

using ctl_test::Result;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TempPrefix;
using testing_support::WriteFile;

const char* const kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const char* const kJournalKey = "SOFTWARE\\Zelvaworks\\ZelvaFont\\Journal";
const fs::path kDejaVu = "/usr/share/fonts/truetype/dejavu";

// One font of the generated disc: its key, where its file lies on the disc, and the DejaVu font
// it is a copy of. Fonts in different folders share file names.
struct DiscFont {
  const char* key;
  const char* source;
  const char* font;
};
const DiscFont kFonts[] = {
    {"A", "one\\same.ttf", "DejaVuSans.ttf"},
    {"B", "two\\same.ttf", "DejaVuSerif.ttf"},
    {"C", "three\\same.ttf", "DejaVuSansMono.ttf"},
    {"D", "one\\other.ttf", "DejaVuSans-Bold.ttf"},
    {"E", "two\\other.ttf", "DejaVuSerif-Bold.ttf"},
};

class TransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl_ = ctl_test::CtlProgram();
    if (ctl_.empty()) GTEST_SKIP() << "zelvafont-ctl is not built";
    if (!fs::exists(kDejaVu / "DejaVuSans.ttf")) GTEST_SKIP() << "no DejaVu fonts";
    std::string style = "[StyleList]\r\nAll=All\r\n[All]\r\n";
    std::string catalogue;
    for (const DiscFont& f : kFonts) {
      style += std::string(f.key) + "=Font " + f.key + "\r\n";
      catalogue += std::string("[") + f.key + "]\r\nSource=" + f.source +
                   "\r\nRegNameCount=1\r\nRegName1=Font " + f.key + "\r\n";
      // A links B: a removal of A takes both.
      if (std::string(f.key) == "A") catalogue += "LinkCount=1\r\nLink1=B\r\n";
      std::string relative = f.source;
      std::replace(relative.begin(), relative.end(), '\\', '/');
      const fs::path file = set() / relative;
      fs::create_directories(file.parent_path());
      fs::copy_file(kDejaVu / f.font, file, fs::copy_options::overwrite_existing);
    }
    WriteFile(set() / "tmp" / "Info" / "Style", style);
    WriteFile(set() / "tmp" / "Info" / "Font", catalogue);
  }

  fs::path set() const { return disc_.path() / "TTF"; }

  Result Ctl(std::vector<std::string> args) {
    args.insert(args.begin(), {"--prefix", prefix_.str(), "--disc", disc_.str()});
    return ctl_test::Run(ctl_, args);
  }
  Result Install(std::vector<std::string> keys) {
    keys.insert(keys.begin(), {"install", "TTF", "--style", "All"});
    return Ctl(keys);
  }
  Result Remove(std::vector<std::string> keys) {
    keys.insert(keys.begin(), {"remove", "TTF", "--style", "All"});
    return Ctl(keys);
  }

  // The entries with their data, read afresh.
  std::map<std::string, std::string> Entries(const char* key = kFontsKey) {
    platform::ReopenPrefix();
    std::map<std::string, std::string> entries;
    platform::HKEY handle = 0;
    if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, key, 0, platform::KEY_READ,
                                &handle) != platform::ERROR_SUCCESS)
      return entries;
    for (const std::string& name : platform::ListRegistryValueNames(platform::HKEY_LOCAL_MACHINE,
                                                                    key)) {
      char data[512] = {};
      platform::DWORD size = sizeof data - 1;
      platform::RegQueryValueExA(handle, name.c_str(), nullptr, nullptr,
                                 reinterpret_cast<platform::BYTE*>(data), &size);
      entries[name] = data;
    }
    platform::RegCloseKey(handle);
    return entries;
  }

  // The prefix as another program would judge it, with every registered file byte-identical to
  // the disc file of its font.
  // The next program to start settles what a killed run left; check is one.
  void ExpectConsistent() {
    Result check = Ctl({"check"});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    std::map<std::string, std::string> files;  // name -> entry
    for (const auto& [entry, file] : Entries()) {
      SCOPED_TRACE(entry + " -> " + file);
      ASSERT_TRUE(fs::is_regular_file(prefix_.fontsDir() / file));
      files[file] = entry;
      const std::string key = entry.substr(5, 1);  // "Font X (TrueType)"
      for (const DiscFont& f : kFonts) {
        if (key != f.key) continue;
        EXPECT_TRUE(ReadFile(prefix_.fontsDir() / file) == ReadFile(kDejaVu / f.font))
            << "the copy differs from its disc file";
      }
    }
    for (const auto& entry : fs::directory_iterator(prefix_.fontsDir())) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(files.count(name)) << "orphan or leftover file " << name;
    }
    EXPECT_TRUE(Entries(kJournalKey).empty()) << "a step is still pending";
  }

  TempPrefix prefix_{1033};
  TempDir disc_;
  std::string ctl_;
};

// A run ended at every step boundary of its installs and removals, as a kill there would end
// it; the next program settles what it left.
TEST_F(TransactionTest, ARunEndedAtAnyStepLeavesAConsistentPrefix) {
  for (const bool install : {true, false}) {
    for (int step = 1;; ++step) {
      SCOPED_TRACE((install ? "install, step " : "remove, step ") + std::to_string(step));
      ASSERT_LT(step, 200);
      if (install) Remove({"--all"});
      else Install({"--all"});
      setenv("ZELVAFONT_TEST_EXIT_AT_STEP", std::to_string(step).c_str(), 1);
      Result run = install ? Install({"A", "D"}) : Remove({"A", "D"});
      unsetenv("ZELVAFONT_TEST_EXIT_AT_STEP");
      ExpectConsistent();
      if (run.exitCode != 86) {
        EXPECT_EQ(run.exitCode, 0) << run.err;
        break;  // every boundary was passed
      }
      // Settled, the run can be made again and does what it was asked.
      Result again = install ? Install({"A", "D"}) : Remove({"A", "D"});
      EXPECT_EQ(again.exitCode, 0) << again.err;
      EXPECT_EQ(Entries().size(), install ? 3u : 2u);
    }
  }
}

// A child process that is killed while it runs.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

TEST_F(TransactionTest, KillNineAtRandomMomentsLeavesAConsistentPrefix) {
  std::mt19937 random(20261208);
  const std::vector<std::string> base = {"--prefix", prefix_.str(), "--disc", disc_.str()};
  for (int round = 0; round < 30; ++round) {
    std::vector<std::string> args = base;
    const bool install = round % 2 == 0;
    for (const char* a : {install ? "install" : "remove", "TTF", "--style", "All", "--all"})
      args.push_back(a);
    const pid_t pid = Spawn(ctl_, args);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 60000));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
  }
  ExpectConsistent();
}

// Three processes install and remove overlapping fonts whose files share names, and list them,
// for ten rounds each.
TEST_F(TransactionTest, ThreeProcessesAtOnceLeaveEveryFontWhole) {
  const std::vector<std::vector<std::string>> plans = {
      {"A", "C"}, {"B", "C", "D"}, {"A", "E"}};
  std::vector<std::thread> workers;
  std::vector<std::string> failures(plans.size());
  for (std::size_t p = 0; p < plans.size(); ++p) {
    workers.emplace_back([&, p] {
      for (int round = 0; round < 10; ++round) {
        for (const bool install : {true, false}) {
          if (p == 2 && !install && round == 9) continue;  // leave some fonts installed
          Result r = install ? Install(plans[p]) : Remove(plans[p]);
          // Another process may have removed a font this one installed, or the reverse.
          if (r.exitCode != 0 && r.exitCode != 5)
            failures[p] += "run " + std::to_string(r.exitCode) + ": " + r.err;
          Result listed = Ctl({"fonts", "TTF", "--style", "All"});
          if (listed.exitCode != 0) failures[p] += "listing: " + listed.err;
        }
      }
    });
  }
  for (auto& worker : workers) worker.join();
  for (const auto& failure : failures) EXPECT_EQ(failure, "");
  ExpectConsistent();
  EXPECT_FALSE(Entries().empty());

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2((prefix_.path() / "registry.db").c_str(), &db, SQLITE_OPEN_READONLY,
                            nullptr),
            SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "ok");
  sqlite3_finalize(stmt);
  sqlite3_close(db);
}

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
  ASSERT_EQ(Ctl({"registry", "set", std::string("HKLM\\") + kFontsKey, "Font A Bold (TrueType)",
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
