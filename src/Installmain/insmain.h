#pragma once
// The launcher window: a fixed-size window whose client area is one background picture with
// hot-spot pictures laid over it. Its creation is the program's start-up sequence.

#include <QWidget>
#include <string>
#include <vector>

#include "Installmain/image_control.h"

class TInsFont;

class TInsMain : public QWidget {
 public:
  // Runs the start-up sequence (FormCreate). Without the product disc it shows the localised
  // message and ends the process with exit code 0 (platform::ExitProcess).
  explicit TInsMain(QWidget* parent = nullptr);
  ~TInsMain() override;

  // The font selection window that the font-set actions open.
  void SetFontWindow(TInsFont* fontWindow) { FontWindow = fontWindow; }

  // Every hot-spot back to its normal picture, every highlight hidden.
  void ResetHighlights();

  // Hands a file and its parameter text to the shell ("open").
  void LaunchFile(const std::string& file, const std::string& params);

  // Handlers; pointer positions are relative to the control that raises the event.
  void FormCreate();
  void MainBackMouseDown(Qt::MouseButton button, int X, int Y);
  void MainBackMouseMove(int X, int Y);
  void MainBackMouseUp(Qt::MouseButton button, int X, int Y);
  void FI1MouseMove(int X, int Y);
  void FI2MouseMove(int X, int Y);
  void PI21MouseMove(int X, int Y);
  void PI31MouseMove(int X, int Y);
  void E1MouseMove(int X, int Y);
  void E2MouseMove(int X, int Y);
  void im04MouseMove(int X, int Y);
  void im05MouseMove(int X, int Y);
  void im06MouseMove(int X, int Y);
  void im07MouseMove(int X, int Y);
  void im08MouseMove(int X, int Y);
  void im09MouseMove(int X, int Y);
  void im10MouseMove(int X, int Y);

  void FI2Click();
  void PI22Click();
  void PI32Click();
  void im041Click();
  void im051Click();
  void im061Click();
  void im071Click();
  void im081Click();
  void im091Click();
  void im101Click();
  void E2Click();

  // The keyboard's hot-spot, by its normal picture's name; empty when none has the focus yet.
  QString KeyFocusedHotSpot() const;

  bool IsDragging() const { return Dragging; }
  // The picture controls, bottom of the stacking order first as created; by name.
  const std::vector<TImage*>& Controls() const { return controls_; }
  TImage* Control(const QString& name) const;

  // The picture controls, bottom of the stacking order first.
  TImage* MainBack;
  TImage* PI22;
  TImage* PI21;
  TImage* E2;
  TImage* FI2;
  TImage* FI1;
  TImage* E1;
  TImage* im08;
  TImage* im081;
  TImage* im09;
  TImage* im091;
  TImage* PI31;
  TImage* PI32;
  TImage* im041;
  TImage* im04;
  TImage* im05;
  TImage* im051;
  TImage* im06;
  TImage* im061;
  TImage* im07;
  TImage* im071;
  TImage* im10;
  TImage* im101;

  // The disc root with its separator, fixed at start-up; the current directory returns to it.
  std::string StartFolder;
  TInsFont* FontWindow = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Tab and Shift+Tab walk the hot-spots; the window itself keeps Qt's focus.
  bool focusNextPrevChild(bool next) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  void CreateControls();
  void PlaceControls();
  // The font-set action on the set in subFolder of the disc, for example TTC\ (with its
  // backslash).
  void OpenFontSet(const char* subFolder);
  // Starts folder + program from the disc with that folder as the current directory; the
  // current directory is the start folder again afterwards.
  void StartDiscProgram(const std::string& folder, const char* program);
  // "CD-ROM No Found!", then the launcher comes to the front.
  void ReportMissingDisc();
  void ShowLauncher();
  void LeaveRegistryMarker();
  // Centres the window's frame on the screen. The frame is known only once the window shows
  // (until then it is the client area), so showing and moving centre again while the frame
  // differs from the one last centred by and the user has not dragged the window yet.
  void CentreOnScreen();
  void CentreByNewFrame();
  // Shows a pair's highlight in place of its normal picture.
  void ShowHighlight(TImage* normal, TImage* highlight);

  // A hot-spot as the keyboard and assistive technology know it.
  struct HotSpot {
    TImage* normal;
    TImage* highlight;
    void (TInsMain::*click)();
  };
  void CreateHotSpots();
  // Lights the hot-spot as the pointer would and gives it the keyboard focus.
  void FocusHotSpot(int index);
  // The next shown hot-spot in reading order (step 1) or the previous one (step -1).
  void MoveKeyFocus(int step);
  bool HotSpotShown(int index) const;

  std::vector<TImage*> controls_;
  // In reading order: top to bottom, then left to right.
  std::vector<HotSpot> hotSpots_;
  int keyFocus_ = -1;
  bool Dragging = false;
  int DownX = 0;
  int DownY = 0;
  int LastLeft = 0;
  int LastTop = 0;
  QSize CentredFrame;
  bool KeepCentred = true;
  // E2 was pushed beneath the background by the distance rule.
  bool E2Lowered = false;
};
