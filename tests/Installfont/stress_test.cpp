// Random use of the real window over the real engine: clicks, style changes, mode switches,
// Select All, Reset, closing and opening again, without waiting for the worker in between. It
// must never hang, and once the worker has settled the counters must equal the engine's own
// counts of what the window shows.
#include <random>

#include "Installfont/window_support.h"
#include "engine/engine.h"

namespace {

using fixture::Font;
using fixture::Style;

class WindowStress : public fixture::WindowTest {
 protected:
  void SetUp() override {
    std::vector<Font> fonts = fixture::NumberedFonts(14, 16);
    fonts[0].links = {"F2"};
    fonts[4].links = {"F13", "F14"};
    fonts[7].links = {"F8"};  // a link to itself ends at once
    for (std::size_t i = 0; i < fonts.size(); ++i) fonts[i].size = std::to_string(i % 4) + ".5";
    for (const Font& f : fonts) disc.Add(f);
    disc.Add(Style{"S1", "One", {"F1", "F2", "F3", "F4", "F5", "F6"}});
    disc.Add(Style{"S2", "Two", {"F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12"}});
    disc.Add(Style{"S3", "Three", {}});
    disc.Build();
    for (int i : {1, 2, 8, 12}) disc.MarkInstalled(disc.fonts()[i], prefix.fontsDir());
  }

  // What the counters must say, from the engine itself.
  std::vector<QString> EngineCounts() {
    TLockHolder hold(window->Locks().ListLock);
    engine::ClearSelection();
    for (const InsCheckList& row : window->Rows()) engine::AddToSelection(row.key);
    engine::SetIncludeLinks(true);
    const int installed = engine::CountSelection(true);
    const int missing = engine::CountSelection(false);
    const bool removeMode = !Find<QRadioButton>("RadioInstall")->isChecked();
    engine::ClearSelection();
    for (const InsCheckList& row : window->Rows())
      if (row.check->isChecked()) engine::AddToSelection(row.key);
    engine::SetIncludeLinks(removeMode || Find<QCheckBox>("CheckInstallBoth")->isChecked());
    const int selected = engine::CountSelection(removeMode);
    const std::uint64_t space = engine::SelectionSpace(removeMode);
    return {QString::number(installed + missing), QString::number(installed),
            QString::number(selected), Text("Label14"), QString::number((space + 1048575) >> 20)};
  }
};

TEST_F(WindowStress, RandomUseSettlesOnTheEngineCounts) {
  Open("", 1);
  std::mt19937 random(20261208);
  QComboBox* combo = Find<QComboBox>("ComboFontStyle");
  for (int i = 0; i < 2500; ++i) {
    const unsigned action = random() % 100;
    if (action < 55) {
      if (window->EntryCount() > 0) ClickRow(static_cast<int>(random() % window->EntryCount()));
    } else if (action < 70) {
      combo->setCurrentIndex(static_cast<int>(random() % combo->count()));
    } else if (action < 80) {
      Click(random() % 2 ? "RadioInstall" : "RadioRemove");
    } else if (action < 84) {
      Click("CheckInstallBoth");
    } else if (action < 87) {
      Click(random() % 2 ? "SelectAll" : "Clear");
    } else if (action < 89) {
      if (!Find<QWidget>("Exit")->isEnabled()) continue;  // busy: the user cannot press it
      Click("Exit");
      ASSERT_FALSE(window->HasWorker());
      window->show();
      window->LoadFontSet();
    } else {
      QTest::qWait(static_cast<int>(random() % 3));
    }
    QCoreApplication::processEvents();
  }
  Settle();
  EXPECT_EQ(Counters(), EngineCounts());
  EXPECT_EQ(Find<QWidget>("Run")->isEnabled(), Text("Label13") != "0");
  EXPECT_TRUE(Find<QWidget>("Exit")->isEnabled());
}

}  // namespace
