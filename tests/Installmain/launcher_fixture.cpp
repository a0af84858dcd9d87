// The launcher tests' fixture.
#include "Installmain/launcher_fixture.h"

#include "Installmain/app_support.h"
#include "disc/shared_paths.h"
#include "platform/prefix.h"
#include "platform/text.h"

namespace launcher_test {

QApplication& App() {
  static int argc = 1;
  static char name[] = "installmain_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform cannot raise windows and says so each time.
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
          if (!message.contains("does not support raise()")) previous(type, context, message);
        });
    auto* created = new QApplication(argc, argv);
    InitialiseApplication();
    return created;
  }();
  return *app;
}

LauncherTest::LauncherTest(unsigned short language) : prefix_(language) {
  App();
  disc::Paths() = disc::SharedPaths{};
  SetScreenCursor(ScreenCursor::Default);
  oldMessageBox_ = platform::SetMessageBoxHandler(
      [this](const std::string& text, const std::string& caption, platform::DWORD type) {
        messages_.push_back({platform::AnsiToUtf8(text), platform::AnsiToUtf8(caption), type});
        return platform::IDOK;
      });
  oldExit_ = platform::SetExitHandler([](int code) { throw ExitCalled{code}; });
}

LauncherTest::~LauncherTest() {
  platform::SetMessageBoxHandler(oldMessageBox_);
  platform::SetExitHandler(oldExit_);
  SetScreenCursor(ScreenCursor::Default);
}

void LauncherTest::InsertDisc(const std::string& label, char letter) {
  platform::DriveDeclaration drive;
  drive.letter = letter;
  drive.type = platform::DRIVE_CDROM;
  drive.hostFolder = disc_.str();
  drive.label = label;
  ASSERT_TRUE(platform::DeclareDrive(drive, platform::DeclarationScope::Process));
}

std::unique_ptr<TInsMain> LauncherTest::StartLauncher() {
  try {
    return std::make_unique<TInsMain>();
  } catch (const ExitCalled& exit) {
    ADD_FAILURE() << "start-up ended the process with code " << exit.code;
    return nullptr;
  }
}

std::vector<QString> LauncherTest::StackingOrder(const TInsMain& window) {
  std::vector<QString> order;
  for (const QObject* child : window.children()) {
    if (child->isWidgetType()) order.push_back(child->objectName());
  }
  return order;
}

}  // namespace launcher_test
