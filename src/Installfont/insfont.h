#pragma once
// The font selection window: the fonts of one style of a font set as rows of check box, sample
// picture and installed mark, the counters, the mode, and the install and remove run.

#include <QWidget>
#include <string>

class TInsFont : public QWidget {
 public:
  // Created hidden at start-up, right after the launcher. launcher is shown again whenever this
  // window hides; startFolder (the launcher's) becomes the set folder and the current directory
  // again when this window closes.
  TInsFont(QWidget* launcher, const std::string* startFolder);
  ~TInsFont() override;

  // Loads the font set named by the shared path state (the launcher has shown the window).
  void LoadFontSet();
};
