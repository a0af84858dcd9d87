// The launcher's actions: the four font sets opened in the font window, the gift pictures, the
// user manual and the setups with their version and language gates, the messages for a missing
// disc and a refused launch, and the current directory after each.
#include <gmock/gmock.h>
#include <sys/types.h>

#include <QTest>
#include <csignal>
#include <filesystem>
#include <set>
#include <stdexcept>

#include "Installmain/action_fixture.h"
#include "Installmain/app_support.h"
#include "disc/shared_paths.h"
#include "platform/files.h"
#include "platform/prefix.h"

namespace launcher_test {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;

constexpr const char* kNoDisc = "CD-ROM No Found!";

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// ---------------------------------------------------------------------------------------------
// Font sets

struct FontSetCase {
  const char* hotSpot;
  void (TInsMain::*click)();
  const char* hostFolder;
  const char* setFolder;
  const char* infoFolder;
  const char* setFolderNoSlash;
};

const FontSetCase kFontSets[] = {
    {"FI2", &TInsMain::FI2Click, "TTC", "D:\\TTC\\", "D:\\TTC\\tmp\\Info", "D:\\TTC"},
    {"PI22", &TInsMain::PI22Click, "TTF", "D:\\TTF\\", "D:\\TTF\\tmp\\Info", "D:\\TTF"},
    {"im041", &TInsMain::im041Click, "Gift/Gift_FontU", "D:\\Gift\\Gift_FontU\\",
     "D:\\Gift\\Gift_FontU\\tmp\\Info", "D:\\Gift\\Gift_FontU"},
    {"im071", &TInsMain::im071Click, "Gift/Gift_Font", "D:\\Gift\\Gift_Font\\",
     "D:\\Gift\\Gift_Font\\tmp\\Info", "D:\\Gift\\Gift_Font"},
};

class FontSetActionTest : public ActionTest, public ::testing::WithParamInterface<FontSetCase> {};

TEST_P(FontSetActionTest, OpensItsSetInTheFontWindowAndTheLauncherComesBackOnClose) {
  const FontSetCase& c = GetParam();
  // The set's own map names the language, not the disc root's.
  testing_support::WriteFile(disc_.path() / "tmp" / "Info" / "LangMap", "[Lang]\r\n1033=root\r\n");
  FontSetOptions set;
  set.langMap = "[Lang]\r\n1033=enu\r\n";
  WriteFontSet(disc_.path(), c.hostFolder, set);
  Start();
  disc::Paths().showInstallBoth = 7;
  launcher_->im04MouseMove(1, 1);
  SetScreenCursor(ScreenCursor::Hand);

  (launcher_.get()->*c.click)();
  Settle();
  EXPECT_THAT(events_, ElementsAre("launcher hidden", "font window shown"));
  const disc::SharedPaths& paths = disc::Paths();
  EXPECT_EQ(paths.setFolder, c.setFolder);
  EXPECT_EQ(paths.infoFolder, c.infoFolder);
  EXPECT_EQ(paths.infoFolderTexts, c.infoFolder);
  EXPECT_EQ(paths.setFolderNoSlash, c.setFolderNoSlash);
  EXPECT_EQ(paths.languageName, "enu");
  EXPECT_EQ(paths.showInstallBoth, 0);
  EXPECT_EQ(CurrentDirectory(), c.setFolder);
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
  EXPECT_TRUE(Shows(launcher_->im04));
  EXPECT_FALSE(Shows(launcher_->im041));
  EXPECT_EQ(fontWindow_->EntryCount(), 1);
  EXPECT_TRUE(messages_.empty());

  events_.clear();
  fontWindow_->close();
  EXPECT_THAT(events_, ElementsAre("font window hidden", "launcher shown"));
  EXPECT_EQ(paths.setFolder, "D:\\");
  EXPECT_EQ(CurrentDirectory(), "D:\\");
}

INSTANTIATE_TEST_SUITE_P(FourSets, FontSetActionTest, ::testing::ValuesIn(kFontSets),
                         [](const auto& info) { return std::string(info.param.hotSpot); });

TEST_F(ActionTest, ADiscWithoutTheSetReportsAMissingDiscAndChangesNothingElse) {
  WriteFontSet(disc_.path(), "TTF");
  Start();
  ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\TTF\\"));
  const disc::SharedPaths before = disc::Paths();

  launcher_->FI2Click();
  EXPECT_THAT(events_,
              ElementsAre("launcher hidden", "message: CD-ROM No Found!", "launcher shown"));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, kProductTitle);
  EXPECT_EQ(messages_[0].type, platform::MB_OK);
  EXPECT_FALSE(fontWindow_->isVisible());
  EXPECT_FALSE(fontWindow_->HasWorker());
  EXPECT_EQ(CurrentDirectory(), "D:\\TTF\\");
  // Only the set folder has moved on.
  const disc::SharedPaths& after = disc::Paths();
  EXPECT_EQ(after.setFolder, "D:\\TTC\\");
  EXPECT_EQ(after.infoFolder, before.infoFolder);
  EXPECT_EQ(after.infoFolderTexts, before.infoFolderTexts);
  EXPECT_EQ(after.setFolderNoSlash, before.setFolderNoSlash);
  EXPECT_EQ(after.languageName, before.languageName);
}

struct LanguageMapCase {
  const char* name;
  const char* langMap;  // empty: no map at all
};

const LanguageMapCase kLanguageMaps[] = {
    {"NoMap", ""},
    {"NoKeyForTheSystemLanguage", "[Lang]\r\n1028=cht\r\n"},
    {"EmptyValue", "[Lang]\r\n1033=\r\n"},
};

class LanguageMapTest : public ActionTest, public ::testing::WithParamInterface<LanguageMapCase> {};

TEST_P(LanguageMapTest, LeavesTheLanguageNameEmptyAndTheWindowStillOpens) {
  testing_support::WriteFile(disc_.path() / "tmp" / "Info" / "LangMap", "[Lang]\r\n1033=enu\r\n");
  FontSetOptions set;
  set.langMap = GetParam().langMap;
  WriteFontSet(disc_.path(), "TTF", set);
  Start();
  ASSERT_EQ(disc::Paths().languageName, "enu");

  launcher_->PI22Click();
  Settle();
  EXPECT_EQ(disc::Paths().languageName, "");
  EXPECT_TRUE(fontWindow_->isVisible());
  EXPECT_FALSE(launcher_->isVisible());
  EXPECT_EQ(fontWindow_->EntryCount(), 1);
  fontWindow_->close();
}

INSTANTIATE_TEST_SUITE_P(Maps, LanguageMapTest, ::testing::ValuesIn(kLanguageMaps),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ActionTest, ASetWhoseCatalogueCannotLoadClosesTheWindowAndBringsBackTheLauncher) {
  FontSetOptions set;
  set.information = false;
  WriteFontSet(disc_.path(), "TTF", set);
  Start();

  launcher_->PI22Click();
  Settle();
  EXPECT_THAT(events_, ElementsAre("launcher hidden", "font window shown", "font window hidden",
                                   "launcher shown"));
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(fontWindow_->HasWorker());
  EXPECT_EQ(disc::Paths().setFolder, "D:\\");
  EXPECT_EQ(CurrentDirectory(), "D:\\");

  // The next set opens normally.
  WriteFontSet(disc_.path(), "TTC");
  events_.clear();
  launcher_->FI2Click();
  Settle();
  EXPECT_THAT(events_, ElementsAre("launcher hidden", "font window shown"));
  EXPECT_EQ(fontWindow_->EntryCount(), 1);
  fontWindow_->close();
}

// ---------------------------------------------------------------------------------------------
// Programs

struct ProgramCase {
  const char* hotSpot;
  unsigned short language;  // the wizards pass only on 1028 and 3076
  void (TInsMain::*click)();
  const char* hostFolder;  // below the disc root
  const char* setFolder;   // the set folder and the program's working folder
};

const ProgramCase kPrograms[] = {
    {"PI32", 1033, &TInsMain::PI32Click, "", "D:\\"},
    {"im061", 1033, &TInsMain::im061Click, "Gift/ZelvaDoc/Disk1", "D:\\Gift\\ZelvaDoc\\Disk1\\"},
    {"im081", 1028, &TInsMain::im081Click, "Gift/Gift_Tools/WizardA",
     "D:\\Gift\\Gift_Tools\\WizardA\\"},
    {"im101", 3076, &TInsMain::im101Click, "Gift/Gift_Tools/WizardB",
     "D:\\Gift\\Gift_Tools\\WizardB\\"},
    {"im091", 1028, &TInsMain::im091Click, "Gift/Gift_Tools/WizardC",
     "D:\\Gift\\Gift_Tools\\WizardC\\"},
};

fs::path ProgramFile(const fs::path& disc, const ProgramCase& c) {
  return disc / c.hostFolder / (std::string(c.hostFolder).empty() ? "UserManual.exe" : "Setup.exe");
}

class ProgramTest : public ActionTest, public ::testing::WithParamInterface<ProgramCase> {
 protected:
  ProgramTest() : ActionTest(GetParam().language) {}
};

TEST_P(ProgramTest, StartsInItsOwnFolderAndLeavesTheStartFolderCurrent) {
  const ProgramCase& c = GetParam();
  WriteFontSet(disc_.path(), "TTF");
  const fs::path program = ProgramFile(disc_.path(), c);
  WriteProgram(program, RecordingScript());
  Start();
  ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\TTF\\"));
  SetScreenCursor(ScreenCursor::Hand);

  (launcher_.get()->*c.click)();
  EXPECT_EQ(CurrentDirectory(), "D:\\");
  EXPECT_EQ(disc::Paths().setFolder, c.setFolder);
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
  ASSERT_TRUE(WaitForFile(program.parent_path() / "started")) << "the program did not start";
  EXPECT_EQ(Trimmed(testing_support::ReadFile(program.parent_path() / "started")),
            fs::canonical(program.parent_path()).string());
  EXPECT_TRUE(events_.empty()) << "no message, and the launcher stays as it is";
}

TEST_P(ProgramTest, AMissingProgramIsReportedAsAMissingDisc) {
  const ProgramCase& c = GetParam();
  // The folder is there, the program is not.
  fs::create_directories(disc_.path() / c.hostFolder);
  fs::create_directories(disc_.path() / "TTF");
  Start();
  ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\TTF\\"));
  const std::string setFolder = disc::Paths().setFolder;

  (launcher_.get()->*c.click)();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, kNoDisc);
  EXPECT_EQ(messages_[0].caption, kProductTitle);
  EXPECT_TRUE(launcher_->isVisible());
  EXPECT_EQ(disc::Paths().setFolder, setFolder);
  EXPECT_EQ(CurrentDirectory(), "D:\\TTF\\");
}

// A refused launch's own text; a hint may follow on further lines.
std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST_P(ProgramTest, AProgramThatCannotBeStartedIsAFaultOfItsPath) {
  const ProgramCase& c = GetParam();
  // Neither a program of this machine nor a file anything opens.
  WriteProgram(ProgramFile(disc_.path(), c), "MZ\x90", false);
  Start();
  ASSERT_TRUE(platform::SetShellOpenerSetting("/nonexistent/opener"));
  ASSERT_TRUE(platform::SetWindowsRunnerSetting("/nonexistent/runner"));  // no Wine either

  (launcher_.get()->*c.click)();
  const std::string file = std::string(c.setFolder) +
                           (std::string(c.hostFolder).empty() ? "UserManual.exe" : "Setup.exe");
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(FirstLine(messages_[0].text), file + "execute fault!");
  EXPECT_EQ(messages_[0].caption, kProductTitle);
  EXPECT_EQ(CurrentDirectory(), "D:\\");
  EXPECT_TRUE(launcher_->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramTest, ::testing::ValuesIn(kPrograms),
                         [](const auto& info) { return std::string(info.param.hotSpot); });

TEST_F(ActionTest, TheUserManualFailureNamesItsFullPath) {
  WriteProgram(disc_.path() / "UserManual.exe", "not a program", false);
  Start();
  ASSERT_TRUE(platform::SetShellOpenerSetting("/nonexistent/opener"));
  ASSERT_TRUE(platform::SetWindowsRunnerSetting("/nonexistent/runner"));
  launcher_->PI32Click();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(FirstLine(messages_[0].text), "D:\\UserManual.exeexecute fault!");
}

// A failure while the refusal is being shown ends the launch quietly, with the launcher in front.
TEST_F(ActionTest, AFailureWhileShowingTheRefusalBringsBackTheLauncher) {
  WriteProgram(disc_.path() / "UserManual.exe", "not a program", false);
  Start();
  ASSERT_TRUE(platform::SetShellOpenerSetting("/nonexistent/opener"));
  ASSERT_TRUE(platform::SetWindowsRunnerSetting("/nonexistent/runner"));
  int shown = 0;
  platform::SetMessageBoxHandler(
      [&](const std::string&, const std::string&, platform::DWORD) -> int {
        ++shown;
        throw std::runtime_error("the message box cannot be shown");
      });
  launcher_->hide();
  events_.clear();

  EXPECT_NO_THROW(launcher_->PI32Click());
  EXPECT_EQ(shown, 1);
  EXPECT_THAT(events_, ElementsAre("launcher shown"));
  EXPECT_EQ(CurrentDirectory(), "D:\\");
}

// A program keeps running after the click, the launcher answers the pointer meanwhile, and a
// second click starts a second instance.
TEST_F(ActionTest, AStartedProgramRunsOnWhileTheLauncherStaysResponsive) {
  const fs::path program = disc_.path() / "UserManual.exe";
  WriteProgram(program, "#!/bin/sh\necho $$ > \"$(dirname \"$0\")/pid.$$\"\nexec sleep 60\n");
  Start();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(launcher_.get()));
  QWindow* window = launcher_->windowHandle();

  std::set<pid_t> started;
  for (int click = 1; click <= 2; ++click) {
    QTest::mouseMove(window, QPoint(100, 60));
    QTest::mouseMove(window, launcher_->PI31->geometry().center());
    ASSERT_TRUE(Shows(launcher_->PI32));
    QTest::mouseClick(launcher_->PI32, Qt::LeftButton, {}, launcher_->PI32->rect().center());
    for (int wait = 0; wait < 1000 && started.size() < static_cast<std::size_t>(click); ++wait) {
      for (const auto& entry : fs::directory_iterator(disc_.path())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("pid.", 0) == 0) started.insert(std::stoi(name.substr(4)));
      }
      QTest::qWait(10);
    }
    ASSERT_EQ(started.size(), static_cast<std::size_t>(click)) << "click " << click;
  }
  for (pid_t pid : started) EXPECT_EQ(kill(pid, 0), 0) << "the program ended before the check";

  QTest::mouseMove(window, launcher_->im04->geometry().center());
  EXPECT_TRUE(Shows(launcher_->im041));
  // Later tests of this process find the pointer on the background.
  QTest::mouseMove(window, QPoint(100, 60));
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(CurrentDirectory(), "D:\\");
  for (pid_t pid : started) kill(pid, SIGTERM);
}

// ---------------------------------------------------------------------------------------------
// Gift pictures

TEST_F(ActionTest, TheGiftPicturesOpenInTheOpenerWithTheCurrentDirectoryUntouched) {
  fs::create_directories(disc_.path() / "Gift" / "Gift_JPG");
  fs::create_directories(disc_.path() / "TTF");
  testing_support::TempDir tools;
  const fs::path opener = tools.path() / "opener";
  const fs::path record = tools.path() / "record";
  WriteProgram(opener, "#!/bin/sh\n{ pwd -P; printf '%s\\n' \"$#\" \"$1\"; } > '" +
                           record.string() + ".tmp'\nmv '" + record.string() + ".tmp' '" +
                           record.string() + "'\n");
  Start();
  ASSERT_TRUE(platform::SetShellOpenerSetting(opener.string()));
  ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\TTF\\"));

  launcher_->im051Click();
  EXPECT_EQ(CurrentDirectory(), "D:\\");
  ASSERT_TRUE(WaitForFile(record));
  const std::string folder = fs::canonical(disc_.path() / "Gift" / "Gift_JPG").string();
  // The opener gets the folder as one argument and runs where the launcher was.
  EXPECT_EQ(testing_support::ReadFile(record),
            fs::canonical(disc_.path() / "TTF").string() + "\n1\n" + folder + "\n");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(ActionTest, ARefusedExplorerIsReportedByItsBareName) {
  fs::create_directories(disc_.path() / "Gift" / "Gift_JPG");
  Start();
  ASSERT_TRUE(platform::SetShellOpenerSetting("/nonexistent/opener"));
  launcher_->im051Click();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Explorer.exeexecute fault!");
  EXPECT_EQ(messages_[0].caption, kProductTitle);
  EXPECT_EQ(CurrentDirectory(), "D:\\");
  EXPECT_TRUE(launcher_->isVisible());
}

TEST_F(ActionTest, MissingGiftPicturesAreAMissingDisc) {
  fs::create_directories(disc_.path() / "TTF");
  Start();
  ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\TTF\\"));
  launcher_->im051Click();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, kNoDisc);
  EXPECT_EQ(CurrentDirectory(), "D:\\TTF\\");
}

// ---------------------------------------------------------------------------------------------
// Gates

struct WizardGateCase {
  unsigned short language;
  void (TInsMain::*click)();
  const char* name;
};

const WizardGateCase kWizardGates[] = {
    {2052, &TInsMain::im081Click, "SimplifiedChineseWizardA"},
    {1033, &TInsMain::im101Click, "EnglishWizardB"},
    {1033, &TInsMain::im091Click, "EnglishWizardC"},
    {1041, &TInsMain::im081Click, "JapaneseWizardA"},
};

class WizardGateTest : public ActionTest, public ::testing::WithParamInterface<WizardGateCase> {
 protected:
  WizardGateTest() : ActionTest(GetParam().language) {}
};

TEST_P(WizardGateTest, ShowsOnlyTheLanguageMessageEvenWithoutTheDisc) {
  fs::create_directories(disc_.path() / "TTF");
  Start();
  ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\TTF\\"));
  const std::string setFolder = disc::Paths().setFolder;
  SetScreenCursor(ScreenCursor::Hand);

  (launcher_.get()->*GetParam().click)();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Only for Traditional Chinese Windows");
  EXPECT_EQ(messages_[0].caption, "Message");
  EXPECT_EQ(messages_[0].type, platform::MB_ICONWARNING);
  EXPECT_EQ(disc::Paths().setFolder, setFolder);
  EXPECT_EQ(CurrentDirectory(), "D:\\TTF\\");
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Hand);
  EXPECT_THAT(events_, ElementsAre("message: Only for Traditional Chinese Windows"));
}

INSTANTIATE_TEST_SUITE_P(Languages, WizardGateTest, ::testing::ValuesIn(kWizardGates),
                         [](const auto& info) { return std::string(info.param.name); });

struct VersionCase {
  const char* name;
  unsigned short language;
  platform::DWORD major, minor;
  bool failing;
  const char* message;  // nullptr: the setup starts
};

const VersionCase kVersions[] = {
    {"QueryFails", 1033, 10, 0, true, "Internal error."},
    {"QueryFailsChinese", 1028, 10, 0, true, "內部錯誤."},
    {"Vista", 1033, 6, 0, false, "ZlevaDoc 4.25 can't run on the Vista or Longhorn platform."},
    {"VistaChinese", 3076, 6, 0, false, "ZelvaDoc 產品無法在 Vista 或 Longhorn 平台下運作."},
    {"Seven", 1033, 6, 1, false, nullptr},
    {"XP", 1033, 5, 1, false, nullptr},
    {"Ten", 1028, 10, 0, false, nullptr},
};

class DocumentToolTest : public ActionTest, public ::testing::WithParamInterface<VersionCase> {
 protected:
  DocumentToolTest() : ActionTest(GetParam().language) {}
};

TEST_P(DocumentToolTest, TheVersionDecidesBeforeTheDiscIsLookedAt) {
  const VersionCase& c = GetParam();
  const fs::path setup = disc_.path() / "Gift" / "ZelvaDoc" / "Disk1" / "Setup.exe";
  WriteProgram(setup, RecordingScript());
  Start();
  ASSERT_TRUE(platform::SetVersionSetting(c.major, c.minor, c.failing));
  ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\Gift\\"));

  launcher_->im061Click();
  if (c.message) {
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, c.message);
    EXPECT_EQ(messages_[0].caption, kProductTitle);
    EXPECT_EQ(CurrentDirectory(), "D:\\Gift\\");
    EXPECT_EQ(disc::Paths().setFolder, "D:\\");
    // Without the disc the version message is all the same.
    fs::remove(setup);
    messages_.clear();
    launcher_->im061Click();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, c.message);
  } else {
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(CurrentDirectory(), "D:\\");
    EXPECT_EQ(disc::Paths().setFolder, "D:\\Gift\\ZelvaDoc\\Disk1\\");
    EXPECT_TRUE(WaitForFile(setup.parent_path() / "started"));
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, DocumentToolTest, ::testing::ValuesIn(kVersions),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace launcher_test
