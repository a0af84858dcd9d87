// The program entry: the launcher window, whose creation is the start-up sequence, the font
// selection window created hidden, and the event loop.
#include <QApplication>
#include <exception>

#include "Installfont/insfont.h"
#include "Installmain/app_support.h"
#include "Installmain/insmain.h"
#include "platform/shell.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  try {
    InitialiseApplication();
    InstallQtMessageBoxes();
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
