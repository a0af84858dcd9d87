// The disc's Windows programs from the launcher's hot-spots: started through a stand-in Wine
// once per click in their own folders, and the messages when nothing can start them.
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "Installmain/action_fixture.h"
#include "platform/prefix.h"
#include "platform/stand_in_runner.h"

namespace launcher_test {
namespace {

namespace fs = std::filesystem;

struct Program {
  void (TInsMain::*click)();
  const char* file;  // below the disc root
};

const Program kPrograms[] = {
    {&TInsMain::PI32Click, "UserManual.exe"},
    {&TInsMain::im061Click, "Gift/ZelvaDoc/Disk1/Setup.exe"},
    {&TInsMain::im081Click, "Gift/Gift_Tools/WizardA/Setup.exe"},
    {&TInsMain::im101Click, "Gift/Gift_Tools/WizardB/Setup.exe"},
    {&TInsMain::im091Click, "Gift/Gift_Tools/WizardC/Setup.exe"},
};

class WineLaunchTest : public ActionTest {
 protected:
  explicit WineLaunchTest(unsigned short language = 1028) : ActionTest(language), path_(bin_.path()) {
    for (const Program& p : kPrograms) testing_support::WriteFile(disc_.path() / p.file, "MZ\x90");
  }

  testing_support::TempDir bin_;
  testing_support::ScopedPath path_;
};

std::vector<std::string> Lines(const fs::path& file) {
  std::vector<std::string> lines;
  std::string text = testing_support::ReadFile(file);
  for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(text.substr(at, end - at));
  return lines;
}

TEST_F(WineLaunchTest, EachProgramHotSpotStartsItsProgramOnceInItsOwnFolder) {
  const fs::path log = bin_.path() / "starts";
  testing_support::WriteShellScript(bin_.path() / "wine", "echo \"$PWD $*\" >> '" + log.string() + "'\n");
  Start();
  std::vector<std::string> expected;
  for (const Program& p : kPrograms) {
    (launcher_.get()->*p.click)();
    const fs::path program = fs::canonical(disc_.path() / p.file);
    expected.push_back(program.parent_path().string() + " " + program.string());
  }
  QTest::qWait(300);  // time for a second start, if a click made one
  ASSERT_TRUE(WaitForFile(log));
  std::vector<std::string> starts = Lines(log);
  std::sort(starts.begin(), starts.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(starts, expected);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(WineLaunchTest, WithoutWineTheFaultSaysThatWineIsNeeded) {
  Start();
  launcher_->PI32Click();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text,
            "D:\\UserManual.exeexecute fault!\n光碟上的 Windows 程式需要 Wine 才能執行：請先安裝 "
            "Wine (Debian：sudo apt install wine) 再試一次。");
}

class EnglishWineLaunchTest : public WineLaunchTest {
 protected:
  EnglishWineLaunchTest() : WineLaunchTest(1033) {}
};

TEST_F(EnglishWineLaunchTest, RefusalsNameTheFileAndTheirCause) {
  fs::create_directories(disc_.path() / "Gift" / "Gift_JPG");
  testing_support::WriteShellScript(bin_.path() / "failing-opener", "exit 4\n");
  Start();
  ASSERT_TRUE(platform::SetShellOpenerSetting((bin_.path() / "failing-opener").string()));
  launcher_->PI32Click();
  launcher_->im051Click();
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].text,
            "D:\\UserManual.exeexecute fault!\nWindows programs on this disc need Wine: install it "
            "(on Debian: sudo apt install wine) and try again.");
  EXPECT_EQ(messages_[1].text, "Explorer.exeexecute fault!");
}

// A real Windows program, built with mingw-w64, started by real Wine from its hot-spot: it
// notes its working folder in a marker file beside itself.
class RealWineTest : public ActionTest {
 protected:
  // Wine's server of the test's prefix goes before the prefix's folder does.
  ~RealWineTest() override {
    if (!winePrefix_.empty())
      testing_support::Capture("WINEPREFIX='" + winePrefix_ + "' wineserver -k 2>&1");
  }
  testing_support::TempDir work_;
  std::string winePrefix_;
};

TEST_F(RealWineTest, AMingwProgramOnTheDiscStartsAndWritesItsMarker) {
  for (const char* tool : {"wine", "wineserver", "x86_64-w64-mingw32-g++"})
    if (testing_support::Capture(std::string("command -v ") + tool).empty())
      GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs wine and "
                   << "g++-mingw-w64-x86-64)";
  const fs::path source = work_.path() / "marker.cpp";
  testing_support::WriteFile(source,
                             "#include <windows.h>\n#include <cstdio>\n"
                             "int main() {\n  char folder[MAX_PATH];\n"
                             "  GetCurrentDirectoryA(MAX_PATH, folder);\n"
                             "  FILE* f = std::fopen(\"marker.txt\", \"w\");\n"
                             "  if (!f) return 1;\n  std::fprintf(f, \"%s\\n\", folder);\n"
                             "  return std::fclose(f);\n}\n");
  const fs::path program = disc_.path() / "UserManual.exe";
  testing_support::Capture("x86_64-w64-mingw32-g++ -O1 -static -o '" + program.string() + "' '" +
                           source.string() + "' 2>&1");
  ASSERT_TRUE(fs::exists(program)) << "mingw-w64 could not build the program";
  // Wine's own prefix of the test: the user's ~/.wine stays untouched.
  winePrefix_ = (work_.path() / "wineprefix").string();
  ASSERT_TRUE(platform::SetWindowsRunnerSetting("", winePrefix_));
  setenv("WINEDEBUG", "-all", 1);
  Start();

  launcher_->PI32Click();
  EXPECT_TRUE(messages_.empty());
  ASSERT_TRUE(WaitForFile(disc_.path() / "marker.txt", 120000)) << "the program wrote no marker";
  QTest::qWait(200);  // the program closes the file just after creating it
  const std::string folder = testing_support::ReadFile(disc_.path() / "marker.txt");
  // Wine names the disc's folder through its drive for the host's root, Z:.
  EXPECT_EQ(folder.rfind("Z:\\", 0), 0u) << folder;
  EXPECT_NE(folder.find(disc_.path().filename().string()), std::string::npos) << folder;
}

}  // namespace
}  // namespace launcher_test
