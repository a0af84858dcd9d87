#pragma once
// A generated disc of five fonts whose files share names, zelvafont-ctl run on it, and the check
// that a prefix is consistent after whatever happened to the runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ctl/run_program.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace ctl_test {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TempPrefix;
using testing_support::WriteFile;

inline const char* const kTxFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
inline const char* const kJournalKey = "SOFTWARE\\Zelvaworks\\ZelvaFont\\Journal";
inline const fs::path kDejaVu = testing_support::HostSystemPath("/usr/share/fonts/truetype/dejavu");

// One font of the generated disc: its key, where its file lies on the disc, and the DejaVu font it
// is a copy of. Fonts in different folders share file names.
struct DiscFont {
  const char* key;
  const char* source;
  const char* font;
};
inline const DiscFont kFonts[] = {
    {"A", "one\\same.ttf", "DejaVuSans.ttf"},        {"B", "two\\same.ttf", "DejaVuSerif.ttf"},
    {"C", "three\\same.ttf", "DejaVuSansMono.ttf"},  {"D", "one\\other.ttf", "DejaVuSans-Bold.ttf"},
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
    // The system's own Fonts folder (on Windows) holds files already.
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(prefix_.fontsDir(), ec))
      filesBefore_.insert(entry.path().filename().string());
    // So may its font list: under Wine it names bitmap fonts that Wine keeps outside the Fonts
    // folder (Windows has their files there), which check reports as entries without files.
    checkBefore_ = Ctl({"check"});
  }

  fs::path set() const { return disc_.path() / "TTF"; }

  // The disc as the tool is told of it: the folder on POSIX (a started program sees no drive this
  // test process declares), drive D: on Windows, where the drive is the system's.
  std::string DiscArgument() {
    if (testing_support::RunningSystem() == testing_support::System::Posix) return disc_.str();
    if (!drive_)
      drive_ = std::make_unique<testing_support::ScopedDrive>('D', platform::DRIVE_CDROM,
                                                              disc_.path(), "QRTMV");
    return "D:";
  }
  Result Ctl(std::vector<std::string> args) {
    args.insert(args.begin(), {"--prefix", prefix_.str(), "--disc", DiscArgument()});
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

  // The entries with their data, read afresh; of the font list only the disc's fonts.
  std::map<std::string, std::string> Entries(const char* key = kTxFontsKey) {
    platform::ReopenPrefix();
    std::map<std::string, std::string> entries;
    platform::HKEY handle = 0;
    if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, key, 0, platform::KEY_READ,
                                &handle) != platform::ERROR_SUCCESS)
      return entries;
    for (const std::string& name :
         platform::ListRegistryValueNames(platform::HKEY_LOCAL_MACHINE, key)) {
      char data[512] = {};
      platform::DWORD size = sizeof data - 1;
      platform::RegQueryValueExA(handle, name.c_str(), nullptr, nullptr,
                                 reinterpret_cast<platform::BYTE*>(data), &size);
      if (key != kTxFontsKey || name.starts_with("Font ")) entries[name] = data;
    }
    platform::RegCloseKey(handle);
    return entries;
  }

  // The prefix as another program would judge it, with every registered file byte-identical to the
  // disc file of its font. The next program to start settles what a killed run left; check is one.
  void ExpectConsistent() {
    Result check = Ctl({"check"});
    EXPECT_EQ(check.exitCode, checkBefore_.exitCode) << check.out << check.err;
    EXPECT_EQ(check.out, checkBefore_.out);
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
      EXPECT_TRUE(files.count(name) || filesBefore_.count(name))
          << "orphan or leftover file " << name;
    }
    EXPECT_TRUE(Entries(kJournalKey).empty()) << "a step is still pending";
  }

  TempPrefix prefix_{1033};
  TempDir disc_;
  std::unique_ptr<testing_support::ScopedDrive> drive_;
  std::string ctl_;
  std::set<std::string> filesBefore_;
  Result checkBefore_;
};

}  // namespace ctl_test
