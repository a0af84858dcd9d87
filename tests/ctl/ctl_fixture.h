#pragma once
// zelvafont-ctl on a generated disc in a temporary prefix, for the tests that run it.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ctl/run_program.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace ctl_test {

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::TempPrefix;
using testing_support::WriteFile;

inline const char* const kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

inline std::string Big5(const std::string& utf8) { return platform::Utf8ToAnsi(utf8, 950); }

// A disc folder with the TTF set: style Sans (A, which links B; and B) and style 許體 (C with
// an awkward name, and D whose file is missing). Chinese texts in Big5, as a disc holds them.
class CtlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctl_ = ctl_test::CtlProgram();
    if (ctl_.empty()) GTEST_SKIP() << "zelvafont-ctl is not built";
    // The system's own Fonts folder and font list (on Windows) hold fonts already.
    filesBefore_ = Listed(prefix_.fontsDir());
    entriesBefore_ = platform::ListRegistryValueNames(platform::HKEY_LOCAL_MACHINE, kFontsKey);
    const fs::path info = disc_.path() / "TTF" / "tmp" / "Info";
    WriteFile(info / "LangMap", "[Lang]\r\n1028=cht\r\n");
    WriteFile(info / "Style",
              "[StyleList]\r\nSans=Sans\r\nSerif=Serif\r\n"
              "[Sans]\r\nA=Font A\r\nB=Font B\r\n"
              "[Serif]\r\nC=Say \"hi\" \\ ok\r\nD=Font D\r\n");
    WriteFile(info / "Style.cht",
              "[StyleList]\r\nSans=" + Big5("無襯線") + "\r\nSerif=" + Big5("許體") + "\r\n");
    WriteFile(info / "Font",
              "[A]\r\nSource=fonts\\a.ttf\r\nSize=1.5\r\nRegNameCount=1\r\nRegName1=Font A\r\n"
              "LinkCount=1\r\nLink1=B\r\n"
              "[B]\r\nSource=fonts\\b.ttf\r\nRegNameCount=1\r\nRegName1=Font B\r\n"
              "[C]\r\nSource=fonts\\c.ttf\r\nRegNameCount=1\r\nRegName1=Font C\r\n"
              "[D]\r\nSource=fonts\\missing.ttf\r\nRegNameCount=1\r\nRegName1=Font D\r\n");
    // Real fonts: an install checks that its copy opens as a font.
    fs::create_directories(disc_.path() / "TTF" / "fonts");
    for (auto [name, font] : {std::pair{"a.ttf", "DejaVuSans.ttf"}, {"b.ttf", "DejaVuSerif.ttf"},
                              {"c.ttf", "DejaVuSansMono.ttf"}})
      fs::copy_file(testing_support::HostSystemPath("/usr/share/fonts/truetype/dejavu/") / font,
                    disc_.path() / "TTF" / "fonts" / name);
  }

  // The tool on the generated disc, in the test's prefix.
  Result Ctl(std::vector<std::string> args, const std::string& locale = "C.UTF-8",
             ctl_test::Stderr err = ctl_test::Stderr::Pipe) {
    // A started program sees no drive this test process declares on POSIX, so there the tool
    // is given the folder; on Windows the folder becomes drive D: for every program.
    std::string disc = disc_.str();
    if (testing_support::RunningSystem() != testing_support::System::Posix) {
      if (!drive_)
        drive_ = std::make_unique<testing_support::ScopedDrive>('D', platform::DRIVE_CDROM,
                                                                disc_.path(), "QRTMV");
      disc = "D:";
    }
    args.insert(args.begin(), {"--prefix", prefix_.str(), "--disc", disc});
    return ctl_test::Run(ctl_, args, locale, err);
  }
  Result CtlWithoutDisc(std::vector<std::string> args) {
    drive_.reset();
    args.insert(args.begin(), {"--prefix", prefix_.str()});
    return ctl_test::Run(ctl_, args);
  }

  // The files and entries the tool added.
  std::vector<std::string> InstalledFiles() const {
    return Added(Listed(prefix_.fontsDir()), filesBefore_);
  }
  std::vector<std::string> FontEntries() {
    platform::ReopenPrefix();
    return Added(platform::ListRegistryValueNames(platform::HKEY_LOCAL_MACHINE, kFontsKey),
                 entriesBefore_);
  }
  static std::vector<std::string> Listed(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;  // a Fonts folder not made yet holds nothing
    for (const auto& entry : fs::directory_iterator(folder, ec))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::vector<std::string> Added(std::vector<std::string> now,
                                        const std::vector<std::string>& before) {
    std::erase_if(now, [&](const std::string& name) {
      return std::find(before.begin(), before.end(), name) != before.end();
    });
    return now;
  }

  TempPrefix prefix_{1028};
  TempDir disc_;
  std::unique_ptr<testing_support::ScopedDrive> drive_;
  std::string ctl_;
  std::vector<std::string> filesBefore_, entriesBefore_;
};

// One line on stderr, prefixed with the program's name.
inline void ExpectOneLineMessage(const Result& r) {
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.rfind("zelvafont-ctl: ", 0), 0u) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

}  // namespace ctl_test
