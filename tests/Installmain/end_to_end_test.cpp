// The whole program as a user meets it: the launcher started on a demo disc, the Chinese font
// set opened with a click on its hot-spot, fonts installed, the window closed and opened again,
// the fonts removed. At every point the Fonts folder, the installed-font list in the registry
// and fontconfig as a separate program (fc-list) agree, and the window's marks follow.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScrollArea>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Installmain/action_fixture.h"
#include "support/test_support.h"
#include "disc/shared_paths.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/shell.h"

namespace launcher_test {
namespace {

namespace fs = std::filesystem;
using testing_support::Capture;

constexpr const char* kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr const char* kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kSerif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";

std::string DemodiscProgram() {
#ifdef ZF_DEMODISC_PROGRAM
  if (fs::exists(ZF_DEMODISC_PROGRAM)) return ZF_DEMODISC_PROGRAM;
#endif
  return "";
}

class EndToEndTest : public ActionTest {
 protected:
  EndToEndTest() : ActionTest(1028) {}

  void SetUp() override {
    // An earlier test's disc may have been the working folder; the shell commands need one.
    fs::current_path(work_.path());
    if (Capture("command -v fc-list").empty()) GTEST_SKIP() << "fontconfig's fc-list is missing";
    const std::string builder = DemodiscProgram();
    if (!builder.empty()) {
      const std::string command = "'" + builder + "' --out '" + disc_.str() + "' >'" +
                                  (work_.path() / "demodisc.log").string() + "' 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0)
          << testing_support::ReadFile(work_.path() / "demodisc.log");
    } else {
      // A disc of the same shape from two fonts every test machine has.
      if (!fs::exists(kSans) || !fs::exists(kSerif))
        GTEST_SKIP() << "no demo disc builder and no DejaVu fonts";
      FontSetOptions set;
      set.fonts = {{"SANS", "Zelva Sans", "DejaVuSans.ttf", kSans, "DejaVu Sans"},
                   {"SERIF", "Zelva Serif", "DejaVuSerif.ttf", kSerif, "DejaVu Serif"}};
      WriteFontSet(disc_.path(), "TTC", set);
    }
    // fc-list reads the machine's configuration and the prefix's Fonts folder, with caches of
    // its own (the first cache folder is the one fontconfig writes).
    fontsDir_ = prefix_.fontsDir().string();
    fs::create_directories(fontsDir_);
    fontsConf_ = work_.path() / "fonts.conf";
    std::ofstream(fontsConf_)
        << "<?xml version=\"1.0\"?>\n<fontconfig>\n"
        << "  <cachedir>" << (work_.path() / "cache").string() << "</cachedir>\n"
        << "  <include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n"
        << "  <dir>" << fontsDir_ << "</dir>\n</fontconfig>\n";
  }

  // --- what the user sees ---

  QWindow* LauncherWindow() { return launcher_->windowHandle(); }

  // Moves the pointer onto the TTC hot-spot and clicks its highlight.
  void ClickTheChineseSet() {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(launcher_.get()));
    QTest::mouseMove(LauncherWindow(), QPoint(100, 60));
    QTest::mouseMove(LauncherWindow(), launcher_->FI1->geometry().center());
    ASSERT_TRUE(Shows(launcher_->FI2));
    QTest::mouseClick(launcher_->FI2, Qt::LeftButton, {}, launcher_->FI2->rect().center());
    Settle();
  }

  template <typename T>
  T* Find(const char* name) {
    T* control = fontWindow_->findChild<T*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  void Click(const char* button) {
    QAbstractButton* b = Find<QAbstractButton>(button);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(4, b->height() / 2));
    Settle();
  }

  void ClickRow(int row) {
    QCheckBox* box = fontWindow_->Rows().at(row).check;
    Find<QScrollArea>("FontListBox")->ensureWidgetVisible(box);
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    Settle();
  }

  // Picks the style with the most fonts; returns its index in the combo box.
  int ChooseLargestStyle() {
    QComboBox* combo = Find<QComboBox>("ComboFontStyle");
    int best = 0, bestRows = -1;
    for (int i = 0; i < combo->count(); ++i) {
      combo->setCurrentIndex(i);
      Settle();
      if (fontWindow_->EntryCount() > bestRows) {
        best = i;
        bestRows = fontWindow_->EntryCount();
      }
    }
    ChooseStyle(best);
    return best;
  }

  void ChooseStyle(int index) {
    Find<QComboBox>("ComboFontStyle")->setCurrentIndex(index);
    Settle();
  }

  std::vector<std::string> RowKeys() {
    std::vector<std::string> keys;
    for (const InsCheckList& row : fontWindow_->Rows()) keys.push_back(row.key);
    return keys;
  }

  std::set<std::string> MarkedRows() {
    std::set<std::string> marked;
    for (const InsCheckList& row : fontWindow_->Rows())
      if (row.mark) marked.insert(row.key);
    return marked;
  }

  // --- the catalogue as it stands on the disc ---

  std::string FontValue(const std::string& key, const std::string& name) {
    return platform::ReadProfileString("D:\\TTC\\tmp\\Info\\Font", key, name, "");
  }

  // The font and every font its links reach.
  std::set<std::string> WithLinks(const std::vector<std::string>& keys) {
    std::set<std::string> all;
    std::vector<std::string> pending = keys;
    while (!pending.empty()) {
      const std::string key = pending.back();
      pending.pop_back();
      if (!all.insert(key).second) continue;
      const int links = std::atoi(FontValue(key, "LinkCount").c_str());
      for (int i = 1; i <= links; ++i)
        pending.push_back(FontValue(key, "Link" + std::to_string(i)));
    }
    return all;
  }

  int RowNoOtherRowLinksTo() {
    const std::vector<std::string> keys = RowKeys();
    for (std::size_t i = 0; i < keys.size(); ++i) {
      bool linked = false;
      for (std::size_t j = 0; j < keys.size(); ++j)
        linked = linked || (j != i && WithLinks({keys[j]}).count(keys[i]));
      if (!linked) return static_cast<int>(i);
    }
    return 0;
  }

  std::set<std::string> FilesOf(const std::set<std::string>& keys) {
    std::set<std::string> files;
    for (const std::string& key : keys) {
      const std::string source = FontValue(key, "Source");
      files.insert(source.substr(source.find_last_of('\\') + 1));
    }
    return files;
  }

  // --- the three places that must agree ---

  std::set<std::string> FolderFiles() {
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(fontsDir_))
      files.insert(entry.path().filename());
    return files;
  }

  std::set<std::string> RegisteredFiles() {
    std::set<std::string> files;
    platform::Registry registry(platform::KEY_READ);
    registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    if (!registry.OpenKeyReadOnly(kFontsKey)) return files;
    for (const std::string& name : registry.GetValueNames())
      files.insert(registry.ReadString(name));
    return files;
  }

  std::set<std::string> FontconfigFiles() {
    std::set<std::string> files;
    std::string listed =
        Capture("FONTCONFIG_FILE='" + fontsConf_.string() + "' fc-list : file 2>/dev/null");
    const std::string folder = fontsDir_ + "/";
    std::size_t at = 0;
    while ((at = listed.find(folder, at)) != std::string::npos) {
      at += folder.size();
      files.insert(listed.substr(at, listed.find(':', at) - at));
    }
    return files;
  }

  // Everything shows exactly the fonts of keys (with their links) as installed.
  void ExpectInstalled(const std::vector<std::string>& keys, const char* when) {
    SCOPED_TRACE(when);
    const std::set<std::string> installed = WithLinks(keys);
    const std::set<std::string> files = FilesOf(installed);
    EXPECT_EQ(FolderFiles(), files);
    EXPECT_EQ(RegisteredFiles(), files);
    EXPECT_EQ(FontconfigFiles(), files);
    // A row is marked when its font, or a font it links to, is installed.
    std::set<std::string> marked;
    for (const std::string& key : RowKeys()) {
      for (const std::string& reached : WithLinks({key}))
        if (installed.count(reached)) marked.insert(key);
    }
    EXPECT_EQ(MarkedRows(), marked);
  }

  testing_support::TempDir work_;
  std::string fontsDir_;
  fs::path fontsConf_;
};

TEST_F(EndToEndTest, InstallCloseReopenAndRemoveTheChineseSet) {
  Start();
  ASSERT_FALSE(HasFatalFailure());
  ClickTheChineseSet();
  ASSERT_TRUE(fontWindow_->isVisible());
  ASSERT_FALSE(launcher_->isVisible());
  EXPECT_EQ(disc::Paths().setFolder, "D:\\TTC\\");
  EXPECT_EQ(CurrentDirectory(), "D:\\TTC\\");
  const int style = ChooseLargestStyle();
  const std::vector<std::string> keys = RowKeys();
  ASSERT_FALSE(keys.empty());
  ExpectInstalled({}, "before anything is installed");

  // One font with the fonts it links to, then the rest. A row that another row links to would
  // mark that row as installed, and it would be left out of the second run.
  const int first = RowNoOtherRowLinksTo();
  ClickRow(first);
  Click("Run");
  ExpectInstalled({keys[first]}, "after installing one font");
  Click("SelectAll");
  Click("Run");
  ExpectInstalled(keys, "after installing every font");
  EXPECT_EQ(Find<QLabel>("Label12")->text(), QString::number(keys.size()));

  Click("Exit");
  EXPECT_FALSE(fontWindow_->isVisible());
  EXPECT_TRUE(launcher_->isVisible());
  EXPECT_EQ(CurrentDirectory(), "D:\\");
  ExpectInstalled(keys, "after closing the window");

  ClickTheChineseSet();
  ASSERT_TRUE(fontWindow_->isVisible());
  ChooseStyle(style);
  ASSERT_EQ(RowKeys(), keys);
  ExpectInstalled(keys, "after opening the set again");

  Click("RadioRemove");
  Click("SelectAll");
  Click("Run");
  ExpectInstalled({}, "after removing every font");
  EXPECT_TRUE(messages_.empty());

  Click("Exit");
  EXPECT_TRUE(launcher_->isVisible());
  QTest::mouseMove(LauncherWindow(), QPoint(100, 60));
}

// The demo disc's stand-ins for its programs show a desktop message; here the desktop's message
// tool is a stand-in of the test's own that notes what it was asked to show and stays open.
TEST_F(EndToEndTest, TheDemoDiscsProgramsStartAndKeepRunningWhileTheLauncherAnswers) {
  if (DemodiscProgram().empty()) GTEST_SKIP() << "the demo disc builder is not built";
  const fs::path bin = work_.path() / "bin";
  const fs::path shown = work_.path() / "shown";
  fs::create_directories(shown);
  WriteProgram(bin / "zenity", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + shown.string() +
                                   "/.'$$\nmv '" + shown.string() + "/.'$$ '" + shown.string() +
                                   "/'$$\nexec sleep 60\n");
  std::map<std::string, std::optional<std::string>> saved;
  for (const char* name : {"PATH", "DISPLAY"}) {
    const char* old = std::getenv(name);
    saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  setenv("PATH", (bin.string() + ":" + saved["PATH"].value_or("/usr/bin:/bin")).c_str(), 1);
  setenv("DISPLAY", ":99", 1);

  Start();
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(launcher_.get()));
  const std::pair<TImage*, TImage*> hotSpots[] = {{launcher_->PI31, launcher_->PI32},
                                                  {launcher_->im06, launcher_->im061},
                                                  {launcher_->im08, launcher_->im081},
                                                  {launcher_->im10, launcher_->im101},
                                                  {launcher_->im09, launcher_->im091}};
  for (const auto& [normal, highlight] : hotSpots) {
    QTest::mouseMove(LauncherWindow(), QPoint(100, 60));
    QTest::mouseMove(LauncherWindow(), normal->geometry().center());
    ASSERT_TRUE(Shows(highlight)) << normal->objectName().toStdString();
    QTest::mouseClick(highlight, Qt::LeftButton, {}, highlight->rect().center());
    EXPECT_EQ(CurrentDirectory(), "D:\\");
  }
  std::map<pid_t, std::string> titles;
  for (int wait = 0; wait < 1000 && titles.size() < std::size(hotSpots); ++wait) {
    for (const auto& entry : fs::directory_iterator(shown)) {
      const std::string name = entry.path().filename().string();
      if (name[0] == '.') continue;
      const std::string text = testing_support::ReadFile(entry.path());
      const std::size_t title = text.find("--title=");
      titles[std::stoi(name)] =
          title == std::string::npos ? text : text.substr(title, text.find('\n', title) - title);
    }
    QTest::qWait(10);
  }
  std::set<std::string> seen;
  for (const auto& [pid, title] : titles) {
    seen.insert(title);
    EXPECT_EQ(kill(pid, 0), 0) << title << " ended before the check";
  }
  EXPECT_EQ(seen, (std::set<std::string>{"--title=ZelvaFont Orchid Edition - User Manual",
                                         "--title=ZelvaDoc 4.25 Setup", "--title=WizardA Setup",
                                         "--title=WizardB Setup", "--title=WizardC Setup"}));
  EXPECT_TRUE(messages_.empty());
  // Meanwhile the launcher answers the pointer.
  QTest::mouseMove(LauncherWindow(), launcher_->im04->geometry().center());
  EXPECT_TRUE(Shows(launcher_->im041));
  QTest::mouseMove(LauncherWindow(), QPoint(100, 60));

  for (const auto& [pid, title] : titles) kill(pid, SIGTERM);
  for (const auto& [name, value] : saved) {
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
}

}  // namespace
}  // namespace launcher_test
