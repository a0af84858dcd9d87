// The Run job end to end: real font files installed into the prefix's Fonts folder and seen by
// fontconfig, then removed again; progress shown per font; and the window's recovery from a
// run that ends with a registry error.
#include <QGuiApplication>
#include <QStatusBar>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "Installfont/window_support.h"
#include "support/test_support.h"
#include "platform/files.h"
#include "platform/fonts.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "platform/runlock.h"

namespace {

using fixture::Font;
using fixture::Style;
using fixture::WindowTest;
namespace fs = std::filesystem;
using testing_support::Capture;

using fixture::kDejaVuSans;
using fixture::kDejaVuSerif;

class RunTest : public WindowTest {
 protected:
  void SetUp() override {
    if (!fs::exists(kDejaVuSans) || !fs::exists(kDejaVuSerif))
      GTEST_SKIP() << "the DejaVu fonts are not installed";
    const Font sans = fixture::DejaVuSansFont();
    Font serif = sans;
    serif.key = "SERIF";
    serif.name = "Zelva Serif";
    serif.source = "DejaVuSerif.ttf";
    serif.hostFont = kDejaVuSerif;
    serif.sample = "serif.jpg";
    serif.regName = "DejaVu Serif";
    Font filler = fixture::NumberedFonts(1)[0];
    disc.Add(sans);
    disc.Add(serif);
    disc.Add(filler);
    disc.Add(Style{"S1", "Style One", {"SANS", "SERIF", "F1"}});
  }

  // The Fonts folder as the user's own prefix has it: inside fontconfig's per-user folder, so
  // that fc-list, a separate program, sees what was installed.
  void UseUserFontFolder() {
    xdgData = xdg.path() / "data";
    fs::create_directories(xdgData / "fonts" / "zelvafont");
    fs::create_directories(xdg.path() / "cache");
    for (const char* name : {"XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
      const char* old = std::getenv(name);
      saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    setenv("XDG_DATA_HOME", xdgData.c_str(), 1);
    setenv("XDG_CACHE_HOME", (xdg.path() / "cache").c_str(), 1);
    fs::remove_all(prefix.fontsDir());
    fs::create_directory_symlink(xdgData / "fonts" / "zelvafont", prefix.fontsDir());
  }

  void TearDown() override {
    for (const auto& [name, value] : saved) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }

  bool FcListShows(const std::string& file) {
    const std::string listed = Capture("fc-list : file 2>/dev/null");
    return listed.find((xdgData / "fonts" / "zelvafont" / file).string()) != std::string::npos;
  }

  std::string RegistryData(const std::string& name) {
    platform::Registry registry;
    registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    if (!registry.OpenKeyReadOnly(fixture::kFontsKey)) return "";
    return registry.ReadString(name);
  }

  testing_support::TempDir xdg;
  fs::path xdgData;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_F(RunTest, InstallThenRemoveRealFonts) {
  UseUserFontFolder();
  Open();
  QStringList statuses;
  QStatusBar* status = Find<QStatusBar>("StatusBar");
  QObject::connect(status, &QStatusBar::messageChanged,
                   [&statuses](const QString& text) { statuses << text; });
  ClickRow(0);
  ClickRow(1);
  Settle();
  ASSERT_EQ(Text("Label13"), "2");
  ASSERT_TRUE(Find<QWidget>("Run")->isEnabled());

  Click("Run");
  Settle();
  EXPECT_EQ(statuses, (QStringList{"Zelva Sans", "Zelva Serif", ""}));
  QProgressBar* bar = Find<QProgressBar>("ProgressBar1");
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(bar->maximum(), 2);
  EXPECT_EQ(bar->value(), 2);
  EXPECT_TRUE(fs::exists(prefix.fontsDir() / "DejaVuSans.ttf"));
  EXPECT_TRUE(fs::exists(prefix.fontsDir() / "DejaVuSerif.ttf"));
  EXPECT_EQ(RegistryData("DejaVu Sans (TrueType)"), "DejaVuSans.ttf");
  EXPECT_EQ(RegistryData("DejaVu Serif (TrueType)"), "DejaVuSerif.ttf");
  EXPECT_TRUE(FcListShows("DejaVuSans.ttf"));
  EXPECT_TRUE(FcListShows("DejaVuSerif.ttf"));
  EXPECT_TRUE(platform::IsEUDCEnabled());
  ASSERT_EQ(window->EntryCount(), 3);
  EXPECT_NE(window->Rows()[0].mark, nullptr);
  EXPECT_NE(window->Rows()[1].mark, nullptr);
  EXPECT_EQ(window->Rows()[2].mark, nullptr);
  for (const InsCheckList& row : window->Rows()) EXPECT_FALSE(row.check->isChecked());
  EXPECT_EQ(Text("Label11"), "3");
  EXPECT_EQ(Text("Label12"), "2");
  EXPECT_EQ(Text("Label13"), "0");
  EXPECT_EQ(Text("Label15"), "0");
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(messages.empty());

  Click("RadioRemove");
  Settle();
  EXPECT_TRUE(RowEnabled(window->Rows()[0]));
  EXPECT_FALSE(RowEnabled(window->Rows()[2]));
  Click("SelectAll");
  Settle();
  ASSERT_EQ(Text("Label13"), "2");
  statuses.clear();
  Click("Run");
  Settle();
  EXPECT_EQ(statuses, (QStringList{"Zelva Sans", "Zelva Serif", ""}));
  EXPECT_FALSE(fs::exists(prefix.fontsDir() / "DejaVuSans.ttf"));
  EXPECT_FALSE(fs::exists(prefix.fontsDir() / "DejaVuSerif.ttf"));
  EXPECT_EQ(RegistryData("DejaVu Sans (TrueType)"), "");
  EXPECT_FALSE(FcListShows("DejaVuSans.ttf"));
  for (const InsCheckList& row : window->Rows()) EXPECT_EQ(row.mark, nullptr);
  EXPECT_EQ(Text("Label12"), "0");
  EXPECT_EQ(Find<QPushButton>("Run")->text(), "Remove");  // the mode stays
}

TEST_F(RunTest, ARunKeepsServingEventsButTheWindowCannotCloseUntilItEnds) {
  Open();
  ClickRow(0);
  ClickRow(1);
  Settle();
  QStatusBar* status = Find<QStatusBar>("StatusBar");
  int statusWhenServed = -1;
  int changes = 0;
  QObject::connect(status, &QStatusBar::messageChanged, [&](const QString&) {
    if (++changes != 1) return;
    QTimer::singleShot(0, [&] { statusWhenServed = changes; });
    window->close();  // as the window manager might ask
  });
  Click("Run");
  EXPECT_EQ(statusWhenServed, 1) << "posted events must run while the first font installs";
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->HasWorker());
  Settle();
  EXPECT_EQ(Text("Label12"), "2");
}

// A run while another installation holds the prefix waits, saying so and painting, and then
// goes on and installs.
TEST_F(RunTest, ARunWaitsForAnotherInstallationAndThenGoesOn) {
  Open();
  ClickRow(0);
  Settle();
  auto other = std::make_unique<platform::RunLock>();
  ASSERT_TRUE(other->TryAcquire());
  QStringList shown;
  QObject::connect(Find<QStatusBar>("StatusBar"), &QStatusBar::messageChanged,
                   [&](const QString& text) { shown << text; });
  // The other installation ends while this one waits; the window's timers still run.
  QTimer::singleShot(700, [&] { other.reset(); });
  Click("Run");
  ASSERT_FALSE(shown.isEmpty());
  EXPECT_TRUE(shown.front().startsWith("Another installation is running"))
      << shown.front().toStdString();
  EXPECT_EQ(RegistryData("DejaVu Sans (TrueType)"), "DejaVuSans.ttf");
  EXPECT_TRUE(messages.empty());
}

TEST_F(RunTest, AnInstallIntoAnOccupiedNameGetsANumberedFile) {
  Open();
  fs::copy_file(kDejaVuSerif, prefix.fontsDir() / "DejaVuSans.ttf");  // some other file of that name
  ClickRow(0);
  Settle();
  Click("Run");
  Settle();
  EXPECT_EQ(RegistryData("DejaVu Sans (TrueType)"), "DejaVuSans0.ttf");
  EXPECT_NE(window->Rows()[0].mark, nullptr);
  EXPECT_EQ(Text("Label12"), "1");
}

TEST_F(RunTest, ARunEndedByARegistryErrorLeavesAUsableWindowAndShowsTheError) {
  Open();
  ClickRow(0);
  ClickRow(1);
  Settle();
  // The registry store becomes unreadable: writing the first font's entry fails.
  const fs::path store = prefix.path() / "registry.db";
  ASSERT_TRUE(fs::exists(store));
  for (const char* suffix : {"-wal", "-shm"}) fs::remove(store.string() + suffix);
  testing_support::WriteFile(store, std::string(8192, 'x'));
  platform::ReopenPrefix();
  disc.Open();  // the process's drive declarations went with the reopened prefix

  Click("Run");
  ASSERT_EQ(messages.size(), 1u);
  // The program's own text first, then the font and the cause.
  EXPECT_EQ(messages[0].substr(0, messages[0].find('\n')),
            "Failed to set data for 'DejaVu Sans (TrueType)'");
  EXPECT_NE(messages[0].find("\nZelva Sans: the registry store is damaged or not ours"),
            std::string::npos)
      << messages[0];
  EXPECT_TRUE(platform::IsEUDCEnabled());
  EXPECT_FALSE(Find<QProgressBar>("ProgressBar1")->isVisible());
  Settle();  // the worker can take ListLock again
  EXPECT_EQ(window->EntryCount(), 3);
  EXPECT_EQ(Text("Label11"), "3");
  EXPECT_TRUE(Find<QWidget>("Exit")->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  Click("Exit");
  EXPECT_FALSE(window->isVisible());
}

}  // namespace
