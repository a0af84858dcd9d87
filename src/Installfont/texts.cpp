// The font window's captions: section "Install Window" of the set's plain message file, then of
// the language-specific one, each key falling back to the text it already has.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <functional>

#include "Installfont/insfont.h"
#include "Installfont/window_helpers.h"
#include "disc/shared_paths.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace {

struct TextKey {
  const char* key;
  const char* text;  // the compiled English default
};

// In the order the keys are read; "Msg5" and "Msg18" serve several units.
constexpr std::array<TextKey, 20> kTexts = {{
    {"Title", "Zelva Font Installer"},
    {"Msg1", "Select Font Style"},
    {"Msg2", "Fonts List"},
    {"Msg3", "Check for Install Qarn3 ~ Qarn5 or Tosk4 ~ Tosk6 Fonts"},
    {"Msg10", "Install"},
    {"Msg17", "Remove"},
    {"Msg11", "Select All"},
    {"Msg12", "Reset"},
    {"Msg13", "Exit"},
    {"Msg4", "Fonts:"},
    {"Msg6", "Installed:"},
    {"Msg7", "Selected:"},
    {"Msg8", "Free Space:"},
    {"Msg9", "Require Space:"},
    {"Msg5", "Set"},
    {"Msg5", "Set"},
    {"Msg5", "Set"},
    {"Msg18", "MB"},
    {"Msg18", "MB"},
    {"Msg14", "mark is installed"},
}};

constexpr const char* kSection = "Install Window";

}  // namespace

void TInsFont::LoadTexts() {
  const disc::SharedPaths& paths = disc::Paths();
  const std::string plainFile = paths.infoFolderTexts + "\\message";

  std::array<std::string, kTexts.size()> captions;
  for (std::size_t i = 0; i < kTexts.size(); ++i)
    captions[i] = platform::ReadProfileString(plainFile, kSection, kTexts[i].key, kTexts[i].text);
  if (!paths.languageName.empty()) {
    const std::string languageFile = plainFile + "." + paths.languageName;
    for (std::size_t i = 0; i < kTexts.size(); ++i)
      captions[i] = platform::ReadProfileString(languageFile, kSection, kTexts[i].key, captions[i]);
  }

  auto shown = [&captions](std::size_t i) {
    return QString::fromStdString(platform::AnsiToUtf8(captions[i]));
  };
  auto label = [this, &shown](int n, std::size_t i) {
    Label[n]->setText(shown(i));
    FitLabel(Label[n]);
  };
  setWindowTitle(shown(0));
  label(1, 1);
  label(2, 2);
  CheckInstallBoth->setText(shown(3));
  RadioInstall->setText(shown(4));
  RadioRemove->setText(shown(5));
  SelectAll->setText(shown(6));
  Clear->setText(shown(7));
  Exit->setText(shown(8));
  label(3, 9);
  label(5, 10);
  label(7, 11);
  label(9, 12);
  label(10, 13);
  label(4, 14);
  label(6, 15);
  label(8, 16);
  label(16, 17);
  label(17, 18);
  label(18, 19);
  // The window is in install mode after loading; the mode switches tell the mode by Run's caption.
  Run->setText(RadioInstall->text());
  update();
}
