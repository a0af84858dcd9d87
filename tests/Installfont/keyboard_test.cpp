// The font window from the keyboard and as assistive technology reads it: Tab reaches the list,
// every row and the controls; Space toggles the focused row and presses the focused button; the
// list scrolls to the focused row; rows are named by their fonts and say whether they are
// installed; the counters read as caption, value and unit.
#include <QAccessible>
#include <filesystem>

#include "Installfont/window_support.h"

namespace {

using fixture::Font;
using fixture::Style;
using fixture::WindowTest;
namespace fs = std::filesystem;


class KeyboardTest : public WindowTest {
 protected:
  // Opens the window and gives it the keyboard, as a window that the user has just opened.
  void OpenActive() {
    Open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  // A key pressed and released where the keyboard focus is; the window takes it when no
  // control has the focus.
  void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : window.get(), key, modifiers);
  }
  // Tabs until the widget has the focus; false when a whole round of the window does not reach
  // it.
  bool TabTo(const QWidget* target) {
    for (int i = 0; i < 200; ++i) {
      if (QApplication::focusWidget() == target) return true;
      Press(Qt::Key_Tab);
    }
    return QApplication::focusWidget() == target;
  }
  // The widgets the focus visits in one round of Tab, starting at the list box.
  std::vector<QWidget*> TabRound() {
    std::vector<QWidget*> round;
    QWidget* start = Find<QWidget>("FontListBox");
    if (!TabTo(start)) return round;
    do {
      round.push_back(QApplication::focusWidget());
      Press(Qt::Key_Tab);
    } while (QApplication::focusWidget() != start && round.size() < 200);
    return round;
  }
  static QString Name(QObject* object) {
    return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
  }
  static QString Description(QObject* object) {
    return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Description);
  }
};

TEST_F(KeyboardTest, TabReachesTheListEveryRowAndTheControlsInTheLayoutsOrder) {
  for (const Font& font : fixture::NumberedFonts(3)) disc.Add(font);
  disc.Add(Style{"S1", "Style One", {"F1", "F2", "F3"}});
  OpenActive();
  const std::vector<QWidget*> round = TabRound();
  std::vector<QWidget*> expected = {Find<QWidget>("FontListBox")};
  for (const InsCheckList& row : window->Rows()) expected.push_back(row.check);
  for (const char* name : {"ComboFontStyle", "RadioInstall", "SelectAll", "Clear", "Exit"})
    expected.push_back(Find<QWidget>(name));
  // The radio buttons form one stop (the arrows choose between them); Run waits for a selection.
  std::vector<QWidget*> reached;
  for (QWidget* widget : round) {
    QWidget* control = widget;
    // The editable combo box's line edit stands for the combo box.
    if (control->parentWidget() == Find<QWidget>("ComboFontStyle")) control = control->parentWidget();
    if (std::find(expected.begin(), expected.end(), control) != expected.end() &&
        (reached.empty() || reached.back() != control))
      reached.push_back(control);
  }
  EXPECT_EQ(reached, expected);
}

TEST_F(KeyboardTest, SpaceTogglesTheFocusedRowAndTheListScrollsToIt) {
  for (const Font& font : fixture::NumberedFonts(30)) disc.Add(font);
  std::vector<std::string> keys;
  for (int i = 1; i <= 30; ++i) keys.push_back("F" + std::to_string(i));
  disc.Add(Style{"S1", "Style One", keys});
  OpenActive();
  QCheckBox* last = window->Rows().back().check;
  ASSERT_TRUE(TabTo(last));
  QWidget* viewport = Find<QScrollArea>("FontListBox")->viewport();
  const QRect shown(last->mapTo(viewport, QPoint(0, 0)), last->size());
  EXPECT_TRUE(viewport->rect().contains(shown)) << shown.y();

  Press(Qt::Key_Space);
  Settle();
  EXPECT_TRUE(last->isChecked());
  EXPECT_EQ(Text("Label13"), "1");
  EXPECT_EQ(QApplication::focusWidget(), last);
  Press(Qt::Key_Space);
  Settle();
  EXPECT_FALSE(last->isChecked());
  EXPECT_EQ(Text("Label13"), "0");
}

TEST_F(KeyboardTest, TheFocusComesBackToSelectAllWhenItsJobEnds) {
  for (const Font& font : fixture::NumberedFonts(3)) disc.Add(font);
  disc.Add(Style{"S1", "Style One", {"F1", "F2", "F3"}});
  OpenActive();
  QWidget* selectAll = Find<QWidget>("SelectAll");
  ASSERT_TRUE(TabTo(selectAll));
  Press(Qt::Key_Space);
  Settle();
  EXPECT_EQ(Text("Label13"), "3");
  EXPECT_EQ(QApplication::focusWidget(), selectAll);
  // And on from there, as before the job.
  Press(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>("Clear"));
}

TEST_F(KeyboardTest, RowsAndCountersReadAsTextToAssistiveTechnology) {
  for (const Font& font : fixture::NumberedFonts(2)) disc.Add(font);
  disc.Add(Style{"S1", "Style One", {"F1", "F2"}});
  Open();
  ASSERT_EQ(window->EntryCount(), 2);
  EXPECT_EQ(Name(window->Rows()[0].check), "Font 1");
  EXPECT_EQ(Name(window->Rows()[1].check), "Font 2");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(window->Rows()[0].check)->role(),
            QAccessible::CheckBox);
  EXPECT_EQ(Description(window->Rows()[0].check), "not installed");
  EXPECT_EQ(Name(Find<QLabel>("Label11")), "Fonts: 2 Set");
  EXPECT_EQ(Name(Find<QLabel>("Label12")), "Installed: 0 Set");
  EXPECT_EQ(Name(Find<QLabel>("Label13")), "Selected: 0 Set");
  EXPECT_EQ(Name(Find<QLabel>("Label15")), "Require Space: 0 MB");
}

TEST_F(KeyboardTest, AFontIsInstalledWithoutAMouse) {
  if (!fs::exists(fixture::kDejaVuSans)) GTEST_SKIP() << "the DejaVu fonts are not installed";
  disc.Add(fixture::DejaVuSansFont());
  disc.Add(fixture::NumberedFonts(1)[0]);
  disc.Add(Style{"S1", "Style One", {"SANS", "F1"}});
  OpenActive();
  ASSERT_TRUE(TabTo(window->Rows()[0].check));
  Press(Qt::Key_Space);
  Settle();
  ASSERT_EQ(Text("Label13"), "1");
  ASSERT_TRUE(TabTo(Find<QWidget>("Run")));
  Press(Qt::Key_Space);
  Settle();
  EXPECT_TRUE(fs::exists(prefix.fontsDir() / "DejaVuSans.ttf"));
  ASSERT_EQ(window->EntryCount(), 2);
  EXPECT_NE(window->Rows()[0].mark, nullptr);
  EXPECT_EQ(Description(window->Rows()[0].check), "installed");
  EXPECT_EQ(Description(window->Rows()[1].check), "not installed");
  EXPECT_EQ(Name(Find<QLabel>("Label12")), "Installed: 1 Set");
  EXPECT_TRUE(messages.empty());
}

}  // namespace
