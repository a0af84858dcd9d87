// Hover highlights, the screen-wide pointer, dragging and the exit hot-spot, driven through the
// handlers and through real mouse events.
#include <QTest>
#include <QWindow>

#include "Installmain/app_support.h"
#include "Installmain/launcher_fixture.h"

namespace launcher_test {
namespace {

using Handler = void (TInsMain::*)(int, int);

struct Pair {
  const char* normal;
  const char* highlight;
};

const Pair kPairs[] = {
    {"FI1", "FI2"},    {"PI21", "PI22"},  {"PI31", "PI32"},  {"E1", "E2"},
    {"im04", "im041"}, {"im05", "im051"}, {"im06", "im061"}, {"im07", "im071"},
    {"im08", "im081"}, {"im09", "im091"}, {"im10", "im101"},
};

class HoverTest : public LauncherTest {
 protected:
  void SetUp() override {
    InsertDisc();
    launcher_ = StartLauncher();
    ASSERT_TRUE(launcher_);
  }

  TImage* Control(const char* name) const {
    return launcher_->Control(QString::fromLatin1(name));
  }
  // The names of the pairs whose highlight shows.
  std::vector<std::string> Highlighted() const {
    std::vector<std::string> lit;
    for (const Pair& pair : kPairs) {
      if (Shows(Control(pair.highlight))) lit.push_back(pair.normal);
    }
    return lit;
  }
  void ExpectAllNormal() const {
    for (const Pair& pair : kPairs) {
      EXPECT_TRUE(Shows(Control(pair.normal))) << pair.normal;
      EXPECT_FALSE(Shows(Control(pair.highlight))) << pair.highlight;
    }
  }
  // Shows the window and waits until it is exposed, for real mouse events.
  QWindow* ShowWindow() {
    launcher_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(launcher_.get()));
    return launcher_->windowHandle();
  }
  QPoint CentreOf(const char* name) const { return Control(name)->geometry().center(); }

  std::unique_ptr<TInsMain> launcher_;
};

TEST_F(HoverTest, StartsWithEveryNormalPictureShowingInTheLayoutsStackingOrder) {
  ExpectAllNormal();
  const std::vector<QString> expected = {
      "MainBack", "PI22", "PI21",  "E2",   "FI2",   "FI1",  "E1",    "im08",
      "im081",    "im09", "im091", "PI31", "PI32",  "im041", "im04", "im05",
      "im051",    "im06", "im061", "im07", "im071", "im10", "im101"};
  EXPECT_EQ(StackingOrder(*launcher_), expected);
  EXPECT_EQ(Control("MainBack")->cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(Control("im041")->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_FALSE(launcher_->IsDragging());
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
}

TEST_F(HoverTest, EachPairsMoveHandlerHighlightsThatPairAlone) {
  const struct {
    Handler handler;
    const char* pair;
  } cases[] = {
      {&TInsMain::PI21MouseMove, "PI21"}, {&TInsMain::PI31MouseMove, "PI31"},
      {&TInsMain::E1MouseMove, "E1"},     {&TInsMain::im04MouseMove, "im04"},
      {&TInsMain::im05MouseMove, "im05"}, {&TInsMain::im06MouseMove, "im06"},
      {&TInsMain::im07MouseMove, "im07"}, {&TInsMain::im08MouseMove, "im08"},
      {&TInsMain::im09MouseMove, "im09"}, {&TInsMain::im10MouseMove, "im10"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pair);
    // Another pair lit before: the move hands the highlight over.
    launcher_->im07MouseMove(1, 1);
    (launcher_.get()->*c.handler)(2, 2);
    EXPECT_EQ(Highlighted(), std::vector<std::string>{c.pair});
    EXPECT_FALSE(Shows(Control(c.pair)));
    launcher_->MainBackMouseMove(5, 5);
    ExpectAllNormal();
  }
}

TEST_F(HoverTest, TtcHotSpotRaisesItsHighlightOverTheNormalPicture) {
  launcher_->PI21MouseMove(3, 3);
  launcher_->E1MouseMove(3, 3);
  launcher_->PI21MouseMove(3, 3);
  ASSERT_TRUE(Shows(Control("PI22")));

  launcher_->FI1MouseMove(3, 3);
  EXPECT_TRUE(Shows(Control("FI2")));
  EXPECT_TRUE(Shows(Control("FI1")));
  EXPECT_EQ(StackingOrder(*launcher_).back(), "FI2");
  EXPECT_TRUE(Shows(Control("PI21")));
  EXPECT_FALSE(Shows(Control("PI22")));
  EXPECT_FALSE(Shows(Control("E2")));
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Hand);

  launcher_->FI2MouseMove(3, 3);
  EXPECT_FALSE(Shows(Control("FI1")));
  EXPECT_TRUE(Shows(Control("FI2")));
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);

  launcher_->MainBackMouseMove(3, 3);
  ExpectAllNormal();
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
}

TEST_F(HoverTest, OtherPairsStayAsTheyAreWhenTheTtcHotSpotLights) {
  launcher_->im05MouseMove(1, 1);
  launcher_->FI1MouseMove(1, 1);
  EXPECT_EQ(Highlighted(), (std::vector<std::string>{"FI1", "im05"}));
}

TEST_F(HoverTest, DragMovesTheWindowWithTheButtonHeld) {
  const struct {
    const char* name;
    Qt::MouseButton button;
  } buttons[] = {
      {"left", Qt::LeftButton}, {"right", Qt::RightButton}, {"middle", Qt::MiddleButton}};
  for (const auto& b : buttons) {
    SCOPED_TRACE(b.name);
    launcher_->move(200, 150);
    launcher_->MainBackMouseDown(b.button, 100, 100);
    EXPECT_TRUE(launcher_->IsDragging());
    launcher_->MainBackMouseMove(110, 95);
    EXPECT_EQ(launcher_->pos(), QPoint(210, 145));
    // The window followed the pointer, which is back at the down point.
    launcher_->MainBackMouseMove(100, 100);
    EXPECT_EQ(launcher_->pos(), QPoint(210, 145));
    launcher_->MainBackMouseMove(90, 130);
    EXPECT_EQ(launcher_->pos(), QPoint(200, 175));
    launcher_->MainBackMouseUp(b.button, 90, 130);
    EXPECT_FALSE(launcher_->IsDragging());
    launcher_->MainBackMouseMove(130, 130);
    EXPECT_EQ(launcher_->pos(), QPoint(200, 175));
  }
}

TEST_F(HoverTest, HighlightsStayWhileDragging) {
  launcher_->MainBackMouseDown(Qt::LeftButton, 10, 10);
  launcher_->im04MouseMove(1, 1);
  launcher_->MainBackMouseMove(20, 20);
  EXPECT_EQ(Highlighted(), std::vector<std::string>{"im04"});
  launcher_->MainBackMouseUp(Qt::LeftButton, 20, 20);
  launcher_->MainBackMouseMove(20, 20);
  ExpectAllNormal();
}

TEST_F(HoverTest, ExitHighlightGoesBeneathTheBackgroundOnlyFarFromItsCentre) {
  launcher_->E1MouseMove(5, 5);
  launcher_->FI1MouseMove(1, 1);
  launcher_->E1MouseMove(5, 5);
  // 50 pixels from the centre (39, 12) is not yet far enough.
  launcher_->E2MouseMove(39 + 30, 12 + 40);
  EXPECT_EQ(StackingOrder(*launcher_).front(), "MainBack");
  EXPECT_TRUE(Shows(Control("FI1")));
  EXPECT_FALSE(Shows(Control("FI2")));

  SetScreenCursor(ScreenCursor::Hand);
  launcher_->E2MouseMove(39 + 30, 12 + 41);
  EXPECT_EQ(StackingOrder(*launcher_).front(), "E2");
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
  EXPECT_TRUE(Shows(Control("FI1")));
  EXPECT_FALSE(Shows(Control("FI2")));

  // The next time the exit highlight shows, it is on top again.
  launcher_->MainBackMouseMove(5, 5);
  launcher_->E1MouseMove(5, 5);
  EXPECT_TRUE(Shows(Control("E2")));
  const std::vector<QString> order = StackingOrder(*launcher_);
  EXPECT_EQ(order.front(), "MainBack");
}

TEST_F(HoverTest, RealPointerHighlightsAndRestores) {
  QWindow* window = ShowWindow();
  QTest::mouseMove(window, CentreOf("im04"));
  EXPECT_EQ(Highlighted(), std::vector<std::string>{"im04"});
  // The highlight now lies under the pointer and takes its moves.
  QTest::mouseMove(window, CentreOf("im04") + QPoint(1, 0));
  EXPECT_EQ(Highlighted(), std::vector<std::string>{"im04"});
  QTest::mouseMove(window, QPoint(100, 60));
  ExpectAllNormal();

  QTest::mouseMove(window, CentreOf("FI1"));
  EXPECT_EQ(Highlighted(), std::vector<std::string>{"FI1"});
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Hand);
  // FI2 lies over FI1 now and takes the next move.
  QTest::mouseMove(window, CentreOf("FI1") + QPoint(2, 0));
  EXPECT_FALSE(Shows(Control("FI1")));
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
  QTest::mouseMove(window, QPoint(100, 60));
  ExpectAllNormal();
}

TEST_F(HoverTest, RealDragWithLeftAndRightButtons) {
  QWindow* window = ShowWindow();
  for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
    SCOPED_TRACE(button == Qt::LeftButton ? "left" : "right");
    const QPoint start = launcher_->pos();
    QTest::mousePress(window, button, {}, QPoint(100, 100));
    QTest::mouseMove(window, QPoint(110, 95));
    QTRY_COMPARE(launcher_->pos(), start + QPoint(10, -5));
    QTest::mouseRelease(window, button, {}, QPoint(100, 100));
    EXPECT_FALSE(launcher_->IsDragging());
    QTest::mouseMove(window, QPoint(130, 130));
    QTest::qWait(20);
    EXPECT_EQ(launcher_->pos(), start + QPoint(10, -5));
  }
}

TEST_F(HoverTest, DraggingTheExitAwayKeepsTheWindowOpenAndTheExitUsable) {
  QWindow* window = ShowWindow();
  const QPoint exitCentre = CentreOf("E1");
  QTest::mouseMove(window, exitCentre);
  ASSERT_TRUE(Shows(Control("E2")));

  // The button held on E2 keeps its moves coming also far outside it.
  QTest::mousePress(window, Qt::LeftButton, {}, exitCentre);
  QTest::mouseMove(window, exitCentre - QPoint(60, 0));
  EXPECT_EQ(StackingOrder(*launcher_).front(), "E2");
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
  EXPECT_TRUE(Shows(Control("FI1")));
  EXPECT_FALSE(Shows(Control("FI2")));
  QTest::mouseRelease(window, Qt::LeftButton, {}, exitCentre - QPoint(60, 0));
  EXPECT_TRUE(launcher_->isVisible());

  // Back over the exit: the background restores E1, E1 brings E2 back on top, and a click
  // on it closes the window.
  QTest::mouseMove(window, exitCentre);
  QTest::mouseMove(window, exitCentre + QPoint(1, 0));
  ASSERT_TRUE(Shows(Control("E2")));
  QTest::mouseMove(window, exitCentre + QPoint(2, 0));
  QTest::mouseClick(window, Qt::LeftButton, {}, exitCentre + QPoint(2, 0));
  EXPECT_FALSE(launcher_->isVisible());
}

// The second press of a double-click must not start the program behind a hot-spot again.
TEST_F(HoverTest, ADoubleClickOnALitHotSpotActsOnce) {
  QWindow* window = ShowWindow();
  for (const Pair& pair : kPairs) {
    SCOPED_TRACE(pair.normal);
    int clicks = 0;
    Control(pair.highlight)->OnClick = [&clicks] { ++clicks; };
    const QPoint at = CentreOf(pair.normal);
    QTest::mouseMove(window, QPoint(100, 60));
    QTest::mouseMove(window, at);
    QTest::mouseMove(window, at + QPoint(1, 0));
    ASSERT_TRUE(Shows(Control(pair.highlight)));
    QTest::mouseDClick(window, Qt::LeftButton, {}, at + QPoint(1, 0));
    EXPECT_EQ(clicks, 1);
  }
}

TEST_F(HoverTest, RightClickOnTheExitDoesNotClose) {
  QWindow* window = ShowWindow();
  const QPoint exitCentre = CentreOf("E1");
  QTest::mouseMove(window, exitCentre);
  QTest::mouseMove(window, exitCentre + QPoint(1, 0));
  QTest::mouseClick(window, Qt::RightButton, {}, exitCentre + QPoint(1, 0));
  EXPECT_TRUE(launcher_->isVisible());
  launcher_->E2Click();
  EXPECT_FALSE(launcher_->isVisible());
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
}

}  // namespace
}  // namespace launcher_test
