// The program entry: the launcher window, whose creation is the start-up sequence, the font
// selection window created hidden, and the event loop.
#include <QApplication>
#include <exception>

#include "Installfont/insfont.h"
#include "Installmain/app_support.h"
#include "Installmain/insmain.h"
#include "engine/engine.h"
#include "platform/prefix.h"
#include "platform/shell.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  try {
    InitialiseApplication();
    InstallQtMessageBoxes();
    // What a killed run left is settled before any window looks at the fonts; a prefix that
    // cannot be used is said as such, not as a missing disc.
    platform::PrefixDir();
    engine::RecoverInterruptedRuns();
    TInsMain launcher;
    TInsFont fontWindow(&launcher, &launcher.StartFolder);
    launcher.SetFontWindow(&fontWindow);
    launcher.show();
    app.exec();
  } catch (const std::exception& error) {
    platform::ShowErrorMessage(error.what());
  } catch (...) {
    platform::ShowErrorMessage("");
  }
  return 0;
}
