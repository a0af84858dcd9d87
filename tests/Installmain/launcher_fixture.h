#pragma once
// The launcher's tests: one QApplication for the process, a temporary prefix with the product
// disc in a declared CD-ROM drive, and message boxes and the process exit recorded instead of
// shown or done.

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "Installmain/insmain.h"
#include "platform/shell.h"
#include "support/test_support.h"

namespace launcher_test {

QApplication& App();

// What platform::ExitProcess throws in the tests.
struct ExitCalled {
  int code;
};

struct RecordedMessage {
  std::string text;     // as shown, converted to UTF-8
  std::string caption;  // UTF-8
  platform::DWORD type;
};

class LauncherTest : public ::testing::Test {
 protected:
  explicit LauncherTest(unsigned short language = 1033);
  ~LauncherTest() override;

  // Puts the disc folder into drive E: (or letter) as a CD-ROM labelled label.
  void InsertDisc(const std::string& label = "QRTMV", char letter = 'E');
  // Runs the start-up sequence; fails the test when the process would have ended.
  std::unique_ptr<TInsMain> StartLauncher();

  // Whether a control shows (visible as far as the window is concerned).
  static bool Shows(const QWidget* control) { return !control->isHidden(); }
  // The stacking order of the window's controls, bottom first.
  static std::vector<QString> StackingOrder(const TInsMain& window);

  testing_support::TempPrefix prefix_;
  testing_support::TempDir disc_;
  std::vector<RecordedMessage> messages_;

 private:
  platform::MessageBoxHandler oldMessageBox_;
  platform::ExitHandler oldExit_;
};

}  // namespace launcher_test
