// Sample pictures the disc should not have: wider than any screen, a FIFO, a link out of the
// disc. The window opens, and each row shows its sample reduced or none at all.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Installfont/window_support.h"

namespace {

using fixture::Font;
using fixture::Style;

class SampleTest : public fixture::WindowTest {};

TEST_F(SampleTest, HostileSamplesShowReducedOrAsMissing) {
  enum class Kind { Picture, Fifo, LinkOutside };
  struct Case {
    const char* key;
    Kind kind;
    int width, height;  // of the picture written
    QSize shown;
  };
  const Case cases[] = {
      {"Plain", Kind::Picture, 340, 64, QSize(340, 64)},
      {"Wide", Kind::Picture, 4400, 40, QSize(2200, 20)},
      {"Fifo", Kind::Fifo, 0, 0, QSize(0, 0)},
      {"Outside", Kind::LinkOutside, 50, 30, QSize(0, 0)},
  };
  testing_support::TempDir elsewhere;
  const std::filesystem::path img = disc.setHost() / "tmp" / "img";
  std::filesystem::create_directories(img);
  Style style{"S1", "Style One", {}};
  for (const Case& c : cases) {
    Font f;
    f.key = c.key;
    f.name = c.key;
    f.source = std::string(c.key) + ".ttf";
    f.sample = std::string(c.key) + ".jpg";
    f.sampleWidth = c.width;
    f.sampleHeight = c.height;
    f.writeSample = c.kind == Kind::Picture;
    f.regName = c.key;
    if (c.kind == Kind::Fifo) {
      ASSERT_EQ(mkfifo((img / f.sample).c_str(), 0600), 0);
    } else if (c.kind == Kind::LinkOutside) {
      const std::filesystem::path target = elsewhere.path() / f.sample;
      testing_support::WriteFile(target, fixture::SamplePicture(c.key, c.width, c.height));
      std::filesystem::create_symlink(target, img / f.sample);
    }
    disc.Add(f);
    style.fonts.push_back(c.key);
  }
  disc.Add(style);

  // Should the window wait for a writer on the FIFO, one comes and goes after 10 s, so the
  // test fails instead of hanging.
  std::atomic<bool> opened{false}, released{false};
  std::thread watchdog([&] {
    for (int i = 0; !opened; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      const int fd = i < 500 ? -1 : open((img / "Fifo.jpg").c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) {
        close(fd);
        released = true;
      }
    }
  });
  Open();
  opened = true;
  watchdog.join();
  EXPECT_FALSE(released) << "the window waited for a writer on the FIFO sample";

  const auto& rows = window->Rows();
  ASSERT_EQ(rows.size(), std::size(cases));
  int top = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(cases[i].key);
    EXPECT_EQ(rows[i].sample->geometry(), QRect(QPoint(27, top), cases[i].shown));
    EXPECT_EQ(rows[i].sample->pixmap().isNull(), cases[i].shown.isEmpty());
    top += cases[i].shown.height();
  }
  EXPECT_EQ(Text("Label11"), QString::number(std::size(cases)));
}

}  // namespace
