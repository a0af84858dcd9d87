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

}  // namespace
}  // namespace launcher_test
