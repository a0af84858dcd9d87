// The program's set-up around its windows: the synchronizer woken through the Qt event loop,
// the screen-wide pointer, the Qt message boxes' texts, and the embedded and disc pictures.
#include <QEventLoop>
#include <QFile>
#include <QIcon>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <thread>

#include "Installfont/wakeup.h"
#include "Installmain/app_support.h"
#include "Installmain/launcher_fixture.h"
#include "assets/assets.h"
#include "picture/picture.h"
#include "platform/threads.h"

namespace launcher_test {
namespace {

void ExpectRoutineFromAnotherThreadRunsOnTheWindowThread() {
  const std::thread::id windowThread = std::this_thread::get_id();
  std::atomic<bool> done{false};
  std::thread::id ranOn;
  int result = 0;
  std::thread worker([&] {
    platform::Synchronize([&] {
      ranOn = std::this_thread::get_id();
      result = 42;
    });
    done = true;
  });
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done) loop.quit();
  });
  poll.start(5);
  QTimer::singleShot(5000, &loop, &QEventLoop::quit);
  loop.exec();
  worker.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(ranOn, windowThread);
  EXPECT_EQ(result, 42);
}

// The application's set-up reads the prefix's settings: a prefix of the test's own.
class AppSupport : public ::testing::Test {
 protected:
  testing_support::TempPrefix prefix_;
};

TEST_F(AppSupport, RoutinesFromAnotherThreadRunOnTheWindowThreadThroughTheEventLoop) {
  App();
  ExpectRoutineFromAnotherThreadRunsOnTheWindowThread();
}

// The font window brings a wake-up of its own; once it is gone, the application's must serve
// again, or a later routine from another thread would wait for ever.
TEST_F(AppSupport, TheApplicationsWakeUpServesAgainAfterTheFontWindowsIsGone) {
  App();
  delete new TSynchronizeWakeup(nullptr);
  ExpectRoutineFromAnotherThreadRunsOnTheWindowThread();
}

TEST_F(AppSupport, ScreenCursorHoldsOneValue) {
  App();
  SetScreenCursor(ScreenCursor::Default);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  for (int i = 0; i < 3; ++i) SetScreenCursor(ScreenCursor::Hand);
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Hand);
  SetScreenCursor(ScreenCursor::Hourglass);
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Hourglass);
  // One call undoes any number of earlier ones: there is no stack of shapes.
  SetScreenCursor(ScreenCursor::Default);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
}

TEST_F(AppSupport, EmbeddedArtworkDecodesAtTheLayoutsSizes) {
  App();
  const struct {
    const char* name;
    QSize size;
  } pictures[] = {
      {"MainBack", {630, 451}}, {"FI1", {233, 27}},    {"FI2", {233, 27}},   {"PI21", {233, 27}},
      {"PI22", {233, 27}},      {"PI31", {105, 27}},   {"PI32", {105, 27}},  {"im04", {45, 15}},
      {"im041", {45, 15}},      {"im05", {45, 15}},    {"im051", {45, 15}},  {"im06", {95, 33}},
      {"im061", {95, 33}},      {"im07", {103, 15}},   {"im071", {103, 15}}, {"im08", {59, 15}},
      {"im081", {59, 15}},      {"im09", {59, 15}},    {"im091", {59, 15}},  {"im10", {59, 15}},
      {"im101", {59, 15}},      {"E1", {79, 24}},      {"E2", {79, 24}},
      {"InstallBack", {640, 480}}, {"Mark", {24, 18}},
  };
  for (const auto& p : pictures) {
    const QImage image =
        picture::LoadResourcePicture(assets::PicturePath(QString::fromLatin1(p.name)));
    EXPECT_EQ(image.size(), p.size) << p.name;
  }
  EXPECT_TRUE(picture::LoadResourcePicture(assets::PicturePath("NoSuchPicture")).isNull());
  EXPECT_FALSE(QIcon(assets::IconPath()).isNull());
}

TEST_F(AppSupport, HighlightsDifferVisiblyFromTheirNormalPictures) {
  App();
  for (const auto& [normal, highlight] :
       {std::pair{"FI1", "FI2"}, {"PI21", "PI22"}, {"PI31", "PI32"}, {"im04", "im041"},
        {"im06", "im061"}, {"im10", "im101"}, {"E1", "E2"}}) {
    const QImage a = picture::LoadResourcePicture(assets::PicturePath(normal));
    const QImage b = picture::LoadResourcePicture(assets::PicturePath(highlight));
    ASSERT_EQ(a.size(), b.size());
    double difference = 0;
    for (int y = 0; y < a.height(); ++y) {
      for (int x = 0; x < a.width(); ++x) {
        const QRgb pa = a.pixel(x, y);
        const QRgb pb = b.pixel(x, y);
        difference += std::abs(qGray(pa) - qGray(pb));
      }
    }
    EXPECT_GT(difference / (a.width() * a.height()), 20.0) << normal;
  }
}

TEST_F(LauncherTest, DiscPicturesThatAreDamagedOrMissingAreEmpty) {
  InsertDisc();
  const QImage good = picture::LoadResourcePicture(assets::PicturePath("Mark"));
  QFile resource(assets::PicturePath("Mark"));
  ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
  const QByteArray bytes = resource.readAll();
  testing_support::WriteFile(disc_.path() / "tmp" / "img" / "installed.jpg", bytes.toStdString());
  testing_support::WriteFile(disc_.path() / "tmp" / "img" / "cut.jpg",
                             bytes.left(bytes.size() / 2).toStdString());
  testing_support::WriteFile(disc_.path() / "tmp" / "img" / "empty.jpg", "");

  const QImage loaded = picture::LoadPictureFile("E:\\tmp\\img\\installed.jpg");
  EXPECT_EQ(loaded.size(), QSize(24, 18));
  EXPECT_EQ(loaded.pixel(12, 9), good.pixel(12, 9));
  EXPECT_TRUE(picture::LoadPictureFile("E:\\tmp\\img\\cut.jpg").isNull());
  EXPECT_TRUE(picture::LoadPictureFile("E:\\tmp\\img\\empty.jpg").isNull());
  EXPECT_TRUE(picture::LoadPictureFile("E:\\tmp\\img\\missing.jpg").isNull());
  EXPECT_TRUE(picture::DecodePicture(QByteArray("not a picture")).isNull());
  EXPECT_TRUE(picture::DecodePicture(QByteArray()).isNull());
}

}  // namespace
}  // namespace launcher_test
