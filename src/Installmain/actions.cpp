// The launcher's actions behind the hot-spots and the launching of programs from the disc.
#include <exception>
#include <string>

#include "Installfont/insfont.h"
#include "Installmain/app_support.h"
#include "Installmain/insmain.h"
#include "disc/disc.h"
#include "disc/shared_paths.h"
#include "platform/files.h"
#include "platform/language.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace {

constexpr const char* kNoDisc = "CD-ROM No Found!";
constexpr const char* kExecuteFault = "execute fault!";
// The second line of a refused launch when the disc's Windows programs have nothing to run them.
constexpr const char* kNeedsWine =
    "Windows programs on this disc need Wine: install it (on Debian: sudo apt install wine) "
    "and try again.";
constexpr const char* kNeedsWineChinese =
    "光碟上的 Windows 程式需要 Wine 才能執行：請先安裝 Wine (Debian：sudo apt install wine) "
    "再試一次。";
constexpr const char* kOnlyTraditionalChinese = "Only for Traditional Chinese Windows";
constexpr const char* kLanguageCaption = "Message";
constexpr unsigned kInternalErrorMessage = 30010;
constexpr unsigned kVistaMessage = 30015;
// The size of the shell request record as the 32-bit shell knows it.
constexpr platform::DWORD kShellRequestSize = 60;

}  // namespace

void TInsMain::ShowLauncher() {
  show();
  raise();
}

void TInsMain::ReportMissingDisc() {
  platform::ShowPlainMessage(kNoDisc);
  ShowLauncher();
}

void TInsMain::OpenFontSet(const char* subFolder) {
  SetScreenCursor(ScreenCursor::Default);
  ResetHighlights();
  hide();
  disc::SharedPaths& paths = disc::Paths();
  paths.setFolder = paths.discRoot + subFolder;
  if (!platform::DirectoryExists(paths.setFolder)) {
    ReportMissingDisc();
    return;
  }
  platform::SetCurrentDirectoryA(paths.setFolder.c_str());
  // Every set carries its own language map.
  paths.languageName = disc::ReadLanguageSuffix(paths.setFolder);
  paths.infoFolder = paths.setFolder + "tmp\\Info";
  paths.infoFolderTexts = paths.infoFolder;
  paths.setFolderNoSlash = paths.setFolder.substr(0, paths.setFolder.size() - 1);
  paths.showInstallBoth = 0;
  if (!FontWindow) {
    ShowLauncher();
    return;
  }
  FontWindow->show();
  // The window closes itself when the set cannot be loaded; its hiding brings the launcher back.
  FontWindow->LoadFontSet();
}

void TInsMain::StartDiscProgram(const std::string& folder, const char* program) {
  SetScreenCursor(ScreenCursor::Default);
  disc::SharedPaths& paths = disc::Paths();
  const std::string file = paths.discRoot + folder + program;
  if (!platform::FileExists(file)) {
    ReportMissingDisc();
    return;
  }
  // The shell request names no working folder: the program inherits ours while it starts.
  paths.setFolder = paths.discRoot + folder;
  platform::SetCurrentDirectoryA(paths.setFolder.c_str());
  LaunchFile(file, "");
  platform::SetCurrentDirectoryA(StartFolder.c_str());
}

void TInsMain::FI2Click() { OpenFontSet("TTC\\"); }
void TInsMain::PI22Click() { OpenFontSet("TTF\\"); }
void TInsMain::im041Click() { OpenFontSet("Gift\\Gift_FontU\\"); }
void TInsMain::im071Click() { OpenFontSet("Gift\\Gift_Font\\"); }

void TInsMain::im051Click() {
  SetScreenCursor(ScreenCursor::Default);
  const std::string folder = disc::Paths().discRoot + "Gift\\Gift_JPG\\";
  if (!platform::DirectoryExists(folder)) {
    ReportMissingDisc();
    return;
  }
  LaunchFile("Explorer.exe", folder);
  platform::SetCurrentDirectoryA(StartFolder.c_str());
}

void TInsMain::PI32Click() { StartDiscProgram("", "UserManual.exe"); }

void TInsMain::im061Click() {
  platform::OSVERSIONINFOA version;
  if (!platform::GetVersionExA(&version)) {
    platform::ShowPlainMessage(disc::PickLocalizedString(kInternalErrorMessage));
    return;
  }
  if (version.dwMajorVersion == 6 && version.dwMinorVersion == 0) {
    platform::ShowPlainMessage(disc::PickLocalizedString(kVistaMessage));
    return;
  }
  StartDiscProgram("Gift\\ZelvaDoc\\Disk1\\", "Setup.exe");
}

namespace {

// The wizard tools run only on Traditional Chinese Windows; elsewhere nothing else happens,
// not even a look at the disc.
bool PassesLanguageGate() {
  if (disc::IsTraditionalChinese()) return true;
  platform::MessageBoxA(0, kOnlyTraditionalChinese, kLanguageCaption, platform::MB_ICONWARNING);
  return false;
}

}  // namespace

void TInsMain::im081Click() {
  if (PassesLanguageGate()) StartDiscProgram("Gift\\Gift_Tools\\WizardA\\", "Setup.exe");
}

void TInsMain::im101Click() {
  if (PassesLanguageGate()) StartDiscProgram("Gift\\Gift_Tools\\WizardB\\", "Setup.exe");
}

void TInsMain::im091Click() {
  if (PassesLanguageGate()) StartDiscProgram("Gift\\Gift_Tools\\WizardC\\", "Setup.exe");
}

void TInsMain::LaunchFile(const std::string& file, const std::string& params) {
  try {
    platform::SHELLEXECUTEINFOA request{};
    request.cbSize = kShellRequestSize;
    request.fMask = platform::SEE_MASK_NOCLOSEPROCESS;
    request.hwnd = 0;
    request.lpVerb = "open";
    request.lpFile = file.c_str();
    request.lpParameters = params.c_str();
    request.lpDirectory = nullptr;
    request.nShow = platform::SW_SHOWDEFAULT;
    // The started program is not waited for; its process is never looked at again.
    if (!platform::ShellExecuteExA(&request)) {
      std::string message = file + kExecuteFault;
      if (platform::GetLastError() == platform::ERROR_NO_WINDOWS_RUNNER)
        message += "\n" + (disc::IsTraditionalChinese() ? platform::Utf8ToAnsi(kNeedsWineChinese)
                                                         : std::string(kNeedsWine));
      platform::ShowPlainMessage(message);
    }
  } catch (...) {
    ShowLauncher();
  }
}
