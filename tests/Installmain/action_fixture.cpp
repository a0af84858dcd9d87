// The launcher actions' fixture.
#include "Installmain/action_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTest>

#include "Installmain/app_support.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/threads.h"

namespace launcher_test {
namespace {

namespace fs = std::filesystem;

class VisibilityRecorder : public QObject {
 public:
  explicit VisibilityRecorder(std::vector<std::string>& events) : events_(events) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    const std::string name = watched->objectName() == "InsMain" ? "launcher" : "font window";
    if (event->type() == QEvent::Show) events_.push_back(name + " shown");
    if (event->type() == QEvent::Hide) events_.push_back(name + " hidden");
    return false;
  }

 private:
  std::vector<std::string>& events_;
};

}  // namespace

void WriteFontSet(const fs::path& disc, const std::string& set, const FontSetOptions& options) {
  const fs::path folder = disc / set;
  fs::create_directories(folder);
  if (!options.information) return;
  const fs::path info = folder / "tmp" / "Info";
  fs::create_directories(info);
  if (!options.langMap.empty()) testing_support::WriteFile(info / "LangMap", options.langMap);
  std::string styles = "[StyleList]\r\nS1=Style One\r\n[S1]\r\n";
  std::string fonts;
  for (const SetFont& font : options.fonts) {
    styles += font.key + "=" + font.name + "\r\n";
    fonts += "[" + font.key + "]\r\nSource=" + font.file + "\r\nSize=1\r\nRegNameCount=1\r\n" +
             "RegName1=" + font.regName + "\r\nLinkCount=0\r\n";
    if (font.hostFont.empty())
      testing_support::WriteFile(folder / font.file, std::string(4096, '\x5a'));
    else
      fs::copy_file(font.hostFont, folder / font.file, fs::copy_options::overwrite_existing);
  }
  testing_support::WriteFile(info / "Style", styles);
  testing_support::WriteFile(info / "Font", fonts);
}

void WriteProgram(const fs::path& path, const std::string& body, bool executable) {
  testing_support::WriteFile(path, body);
  fs::permissions(
      path, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
}

std::string RecordingScript(int sleepSeconds) {
  std::string script = "#!/bin/sh\ndir=$(dirname \"$0\")\n";
  // Written under another name first, so that a reader never sees half a line.
  script += "pwd -P > \"$dir/started.$$\"\nmv \"$dir/started.$$\" \"$dir/started\"\n";
  if (sleepSeconds > 0) script += "exec sleep " + std::to_string(sleepSeconds) + "\n";
  return script;
}

bool WaitForFile(const fs::path& path, int limitMs) {
  QElapsedTimer timer;
  timer.start();
  while (!fs::exists(path)) {
    if (timer.elapsed() > limitMs) return false;
    QTest::qWait(10);
  }
  return true;
}

ActionTest::ActionTest(unsigned short language) : LauncherTest(language) {
  platform::SetMessageBoxHandler(
      [this](const std::string& text, const std::string& caption, platform::DWORD type) {
        messages_.push_back({platform::AnsiToUtf8(text), platform::AnsiToUtf8(caption), type});
        events_.push_back("message: " + platform::AnsiToUtf8(text));
        return platform::IDOK;
      });
}

ActionTest::~ActionTest() {
  fontWindow_.reset();
  launcher_.reset();
  // The font window takes the synchronizer's wake-up with it; later tests of this process
  // need the application's own again.
  InitialiseApplication();
}

void ActionTest::Start() {
  InsertDisc("QRTMV", 'D');
  launcher_ = StartLauncher();
  ASSERT_TRUE(launcher_);
  fontWindow_ = std::make_unique<TInsFont>(launcher_.get(), &launcher_->StartFolder);
  launcher_->SetFontWindow(fontWindow_.get());
  fontWindow_->setObjectName(QStringLiteral("InsFont"));
  launcher_->show();
  recorder_ = std::make_unique<VisibilityRecorder>(events_);
  launcher_->installEventFilter(recorder_.get());
  fontWindow_->installEventFilter(recorder_.get());
}

void ActionTest::Settle(int limitMs) {
  QElapsedTimer timer;
  timer.start();
  int quiet = 0;
  while (timer.elapsed() < limitMs && quiet < 3) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    platform::CheckSynchronize();
    quiet = fontWindow_->WorkerIdle() ? quiet + 1 : 0;
    if (quiet == 0) QTest::qWait(1);
  }
  ASSERT_LT(timer.elapsed(), limitMs) << "the font window's worker did not settle";
}

std::string ActionTest::CurrentDirectory() { return platform::GetCurrentDirectoryA(); }

}  // namespace launcher_test
