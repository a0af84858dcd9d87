#pragma once
// The font window on a fixture disc in a temporary prefix, with helpers to find its controls
// and to wait until the worker has filled the counters.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTest>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Installfont/fixture_disc.h"
#include "Installfont/insfont.h"
#include "platform/shell.h"
#include "platform/text.h"

// Readable failures for captions and counters.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace fixture {

inline QApplication& App() {
  // The offscreen platform cannot raise windows and says so each time; nothing else is hidden.
  static const QtMessageHandler previous = qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (!message.contains("does not support raise()")) previous(type, context, message);
      });
  static int argc = 1;
  static char name[] = "installfont_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class WindowTest : public ::testing::Test {
 protected:
  explicit WindowTest(unsigned short language = 1033) : prefix(language) {
    platform::SetMessageBoxHandler([this](const std::string& text, const std::string&,
                                          platform::DWORD) {
      messages.push_back(text);
      return platform::IDOK;
    });
  }

  ~WindowTest() override {
    window.reset();
    platform::SetMessageBoxHandler({});
  }

  // Builds the disc, opens the set as the launcher does and waits for the counters.
  void Open(const std::string& languageName = "", std::int32_t showInstallBoth = 0) {
    disc.Build();
    disc.Open(languageName, showInstallBoth);
    window = std::make_unique<TInsFont>(&launcher, &startFolder);
    launcher.hide();
    window->show();
    window->LoadFontSet();
    Settle();
  }

  // Runs the event loop until the worker has nothing left to do.
  void Settle(int limitMs = 60000) {
    QElapsedTimer timer;
    timer.start();
    int quiet = 0;
    while (timer.elapsed() < limitMs && quiet < 3) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      platform::CheckSynchronize();
      quiet = window->WorkerIdle() ? quiet + 1 : 0;
      if (quiet == 0) QTest::qWait(1);
    }
    ASSERT_LT(timer.elapsed(), limitMs) << "the worker did not settle";
  }

  template <typename T>
  T* Find(const char* name) {
    T* control = window->findChild<T*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  QString Text(const char* label) { return Find<QLabel>(label)->text(); }

  // The counters Fonts, Installed, Selected, Free Space, Require Space.
  std::vector<QString> Counters() {
    return {Text("Label11"), Text("Label12"), Text("Label13"), Text("Label14"),
            Text("Label15")};
  }

  // Clicks the check box of a row as the user does.
  void ClickRow(int row) {
    QCheckBox* box = window->Rows().at(row).check;
    Find<QScrollArea>("FontListBox")->ensureWidgetVisible(box);
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
  }

  void Click(const char* button) {
    QAbstractButton* b = Find<QAbstractButton>(button);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(4, b->height() / 2));
  }

  // The row's own enabled flag (the list box as a whole may be disabled while the worker runs).
  static bool RowEnabled(const InsCheckList& row) { return !row.check->testAttribute(Qt::WA_ForceDisabled); }

  QApplication& app = App();  // before any widget
  testing_support::TempPrefix prefix;
  Disc disc;
  QWidget launcher;
  std::string startFolder = "D:\\";
  std::unique_ptr<TInsFont> window;
  std::vector<std::string> messages;
};

}  // namespace fixture
