// The launcher from the keyboard and as assistive technology reads it: Tab and the arrows walk
// the shown hot-spots in reading order lighting each as the pointer does, Return and Space act as
// a click, Escape as the exit, and every hot-spot is a push button named in the system language.
#include <gmock/gmock.h>

#include <QAccessible>
#include <QTest>

#include "Installmain/action_fixture.h"
#include "Installmain/app_support.h"
#include "disc/shared_paths.h"

namespace launcher_test {
namespace {

using testing::ElementsAre;

struct Spot {
  const char* normal;
  const char* highlight;
  const char* english;
  const char* chinese;
};

// Reading order of the supplied layout: top to bottom, then left to right.
const Spot kReadingOrder[] = {
    {"FI1", "FI2", "Install the TTC fonts for Chinese Windows", "安裝中文視窗專用TTC字型"},
    {"PI21", "PI22", "Install the TTF fonts for English Windows", "安裝英文視窗適用TTF字型"},
    {"PI31", "PI32", "User manual", "使用手冊"},
    {"im06", "im061", "ZelvaDoc 4.25 (trial)", "ZelvaDoc 4.25 (試用版)"},
    {"im04", "im041", "Gift fonts", "字型版"},
    {"im05", "im051", "Gift pictures", "圖形版"},
    {"im07", "im071", "Zelva symbol extra-character set", "Zelva符號外字集"},
    {"E1", "E2", "Exit", "離開"},
    {"im08", "im081", "Footnote wizard", "註腳精靈"},
    {"im09", "im091", "Butterfly wizard", "天蝶精靈"},
    {"im10", "im101", "Symbol wizard", "符號精靈"},
};

class KeyboardTest : public ActionTest {
 protected:
  explicit KeyboardTest(unsigned short language = 1033) : ActionTest(language) {}

  TImage* Control(const char* name) const {
    return launcher_->Control(QString::fromLatin1(name));
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(launcher_.get(), key, modifiers);
  }
  // The normal pictures of the pairs whose highlight shows.
  std::vector<std::string> Lit() const {
    std::vector<std::string> lit;
    for (const Spot& spot : kReadingOrder) {
      if (Shows(Control(spot.highlight))) lit.push_back(spot.normal);
    }
    return lit;
  }
};

TEST_F(KeyboardTest, TabWalksTheHotSpotsInReadingOrderLightingEachAsThePointerDoes) {
  Start();
  EXPECT_TRUE(launcher_->KeyFocusedHotSpot().isEmpty());
  EXPECT_TRUE(Lit().empty());
  for (const Spot& spot : kReadingOrder) {
    Key(Qt::Key_Tab);
    EXPECT_EQ(launcher_->KeyFocusedHotSpot(), spot.normal);
    EXPECT_THAT(Lit(), ElementsAre(spot.normal));
    // The TTC hot-spot's highlight lies over its normal picture, which stays; the others swap.
    EXPECT_EQ(Shows(Control(spot.normal)), std::string(spot.normal) == "FI1") << spot.normal;
    EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
  }
  Key(Qt::Key_Tab);
  EXPECT_EQ(launcher_->KeyFocusedHotSpot(), "FI1");
  Key(Qt::Key_Tab, Qt::ShiftModifier);
  EXPECT_EQ(launcher_->KeyFocusedHotSpot(), "im10");
  Key(Qt::Key_Left);
  EXPECT_EQ(launcher_->KeyFocusedHotSpot(), "im09");
  Key(Qt::Key_Up);
  EXPECT_EQ(launcher_->KeyFocusedHotSpot(), "im08");
  Key(Qt::Key_Right);
  Key(Qt::Key_Down);
  EXPECT_EQ(launcher_->KeyFocusedHotSpot(), "im10");
  EXPECT_THAT(Lit(), ElementsAre("im10"));
  EXPECT_TRUE(events_.empty());
}

TEST_F(KeyboardTest, AHotSpotWithBothPicturesHiddenIsSkipped) {
  Start();
  for (int i = 0; i < 5; ++i) Key(Qt::Key_Tab);
  ASSERT_EQ(launcher_->KeyFocusedHotSpot(), "im04");
  Control("im05")->hide();
  Control("im051")->hide();
  Key(Qt::Key_Tab);
  EXPECT_EQ(launcher_->KeyFocusedHotSpot(), "im07");
}

TEST_F(KeyboardTest, ThePointerStillRulesTheHighlights) {
  Start();
  Key(Qt::Key_Tab);
  Key(Qt::Key_Tab);
  EXPECT_THAT(Lit(), ElementsAre("PI21"));
  launcher_->MainBackMouseMove(5, 5);
  EXPECT_TRUE(Lit().empty());
  launcher_->im04MouseMove(1, 1);
  EXPECT_THAT(Lit(), ElementsAre("im04"));
  // The keyboard goes on from where it was.
  Key(Qt::Key_Tab);
  EXPECT_EQ(launcher_->KeyFocusedHotSpot(), "PI31");
  EXPECT_THAT(Lit(), ElementsAre("PI31"));
}

TEST_F(KeyboardTest, ReturnOpensTheTtcSetAndEscapeInTheLauncherCloses) {
  WriteFontSet(disc_.path(), "TTC");
  Start();
  Key(Qt::Key_Tab);
  ASSERT_EQ(launcher_->KeyFocusedHotSpot(), "FI1");
  Key(Qt::Key_Return);
  Settle();
  EXPECT_THAT(events_, ElementsAre("launcher hidden", "font window shown"));
  EXPECT_EQ(disc::Paths().setFolder, "D:\\TTC\\");
  EXPECT_EQ(fontWindow_->EntryCount(), 1);
  fontWindow_->close();
  Settle();
  ASSERT_TRUE(launcher_->isVisible());
  events_.clear();
  Key(Qt::Key_Escape);
  EXPECT_THAT(events_, ElementsAre("launcher hidden"));
  EXPECT_FALSE(launcher_->isVisible());
}

TEST_F(KeyboardTest, SpaceOnTheExitHotSpotCloses) {
  Start();
  Key(Qt::Key_Tab, Qt::ShiftModifier);
  Key(Qt::Key_Left);
  Key(Qt::Key_Left);
  Key(Qt::Key_Left);
  ASSERT_EQ(launcher_->KeyFocusedHotSpot(), "E1");
  Key(Qt::Key_Space);
  EXPECT_THAT(events_, ElementsAre("launcher hidden"));
}

TEST_F(KeyboardTest, ReturnWithoutAFocusedHotSpotDoesNothing) {
  Start();
  Key(Qt::Key_Return);
  Key(Qt::Key_Space);
  EXPECT_TRUE(events_.empty());
  EXPECT_TRUE(Lit().empty());
}

class AccessibleNameTest : public KeyboardTest, public ::testing::WithParamInterface<unsigned short> {
 protected:
  AccessibleNameTest() : KeyboardTest(GetParam()) {}
};

TEST_P(AccessibleNameTest, EveryHotSpotIsAPushButtonNamedInTheSystemLanguage) {
  Start();
  for (const Spot& spot : kReadingOrder) {
    const QString expected = QString::fromUtf8(GetParam() == 1028 ? spot.chinese : spot.english);
    for (const char* name : {spot.normal, spot.highlight}) {
      QAccessibleInterface* face = QAccessible::queryAccessibleInterface(Control(name));
      ASSERT_NE(face, nullptr) << name;
      EXPECT_EQ(face->role(), QAccessible::Button) << name;
      EXPECT_EQ(face->text(QAccessible::Name), expected) << name;
      ASSERT_NE(face->actionInterface(), nullptr) << name;
      EXPECT_TRUE(face->actionInterface()->actionNames().contains(
          QAccessibleActionInterface::pressAction()))
          << name;
    }
  }
  QAccessibleInterface* back = QAccessible::queryAccessibleInterface(Control("MainBack"));
  ASSERT_NE(back, nullptr);
  EXPECT_NE(back->role(), QAccessible::Button);
  EXPECT_TRUE(back->text(QAccessible::Name).isEmpty());
  EXPECT_TRUE(back->state().invisible);
}

INSTANTIATE_TEST_SUITE_P(Languages, AccessibleNameTest, ::testing::Values(1033, 1028));

TEST_F(KeyboardTest, ThePressActionOpensTheSetLikeAClick) {
  WriteFontSet(disc_.path(), "TTF");
  Start();
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(Control("PI21"));
  ASSERT_NE(face, nullptr);
  face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  Settle();
  EXPECT_THAT(events_, ElementsAre("launcher hidden", "font window shown"));
  EXPECT_EQ(disc::Paths().setFolder, "D:\\TTF\\");
  fontWindow_->close();
  Settle();
}

}  // namespace
}  // namespace launcher_test
