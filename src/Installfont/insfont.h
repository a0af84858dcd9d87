#pragma once
// The font selection window: the fonts of one style of a font set as rows of check box, sample
// picture and installed mark, the counters, the mode, and the install and remove run.

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "Ifthread/ifthread.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QStatusBar;

// One listed font: its check box, its sample picture and, for an installed font, the mark.
// The record owns its controls.
struct InsCheckList {
  QCheckBox* check = nullptr;
  QLabel* sample = nullptr;
  QLabel* mark = nullptr;
  std::string key;          // the font key in the catalogue (ANSI)
  std::uint32_t state = 0;  // QueryFontState when the row was built

  InsCheckList() = default;
  ~InsCheckList();
  InsCheckList(InsCheckList&& other) noexcept;
  InsCheckList& operator=(InsCheckList&& other) noexcept;
  InsCheckList(const InsCheckList&) = delete;
  InsCheckList& operator=(const InsCheckList&) = delete;

  bool Installed() const;  // FontInstalled or LinkInstalled
};

class TInsFont : public QWidget, public TIFWindow {
 public:
  // Created hidden at start-up, right after the launcher. launcher is shown again whenever this
  // window hides; startFolder (the launcher's) becomes the set folder and the current directory
  // again when this window closes.
  TInsFont(QWidget* launcher, const std::string* startFolder);
  ~TInsFont() override;

  // Loads the font set named by the shared path state (the launcher has shown the window).
  void LoadFontSet();

  // Event handlers, bound to the controls named in them.
  void ComboFontStyleChange();
  void RadioInstallClick();
  void RadioRemoveClick();
  void CheckInstallBothClick();
  void CheckListClick();
  void SelectAllClick();
  void ClearClick();
  void RunClick();
  void ExitClick();
  void FormClose();
  void FormHide();
  void FormDestroy();
  void FormMouseDown(int x, int y);
  void FormMouseMove(int x, int y);
  void FormMouseUp();
  void InstallBackMouseDown(int x, int y);
  void InstallBackMouseMove(int x, int y);
  void InstallBackMouseUp();

  // Captions from the set's message files, English by default.
  void LoadTexts();
  void DisableControls();
  void EnableControls();

  // The worker's steps (TIFWindow).
  TIFLocks& Locks() override { return locks_; }
  void SetAllChecks(bool value) override;
  void CountStyleStep(std::int32_t& step) override;
  void CountSelectionStep(std::int32_t& step) override;

  // The progress routine of the install and remove runs.
  // Said in the status bar while another installation keeps this run waiting.
  bool ShowWaiting(double waitedSeconds);
  void ShowProgress(int done, int total, const char* name);

  // Read-only views for the launcher and for tests.
  const std::string& ShownStyle() const { return shownStyle_; }
  std::int32_t EntryCount() const { return static_cast<std::int32_t>(Entries.size()); }
  const std::vector<InsCheckList>& Rows() const { return Entries; }
  bool HasWorker() const { return worker_ != nullptr; }
  // True when no worker job runs or waits (the counters have settled).
  bool WorkerIdle() { return worker_ == nullptr || worker_->Idle(); }
  bool Dragging() const { return dragging_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void FormCreate();
  void DestroyRows();
  void BuildRows(const std::vector<std::string>& keys);
  void StopWorker();
  // The mode switch behind both radio buttons.
  void SwitchMode(QRadioButton* clicked);
  bool InstallMode() const;
  std::string ComboText() const;

  QWidget* launcher_;
  const std::string* startFolder_;

  // Controls, in the order of the window layout.
  QLabel* InstallBack = nullptr;
  QLabel* Label1 = nullptr;
  QComboBox* ComboFontStyle = nullptr;
  QLabel* Label2 = nullptr;
  QScrollArea* FontListBox = nullptr;
  QWidget* FontListContent = nullptr;
  QCheckBox* CheckInstallBoth = nullptr;
  QRadioButton* RadioInstall = nullptr;
  QRadioButton* RadioRemove = nullptr;
  QLabel* Mark = nullptr;
  QLabel* Label[19] = {};  // Label[1] .. Label[18]
  QPushButton* Run = nullptr;
  QPushButton* SelectAll = nullptr;
  QPushButton* Clear = nullptr;
  QPushButton* Exit = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QStatusBar* StatusBar = nullptr;

  // Window state.
  bool dragging_ = false;
  QRadioButton* chosenMode_ = nullptr;  // the radio button of the mode in force
  int anchorX_ = 0;
  int anchorY_ = 0;
  int originLeft_ = 0;
  int originTop_ = 0;
  std::string shownStyle_;
  std::vector<InsCheckList> Entries;
  TIFLocks locks_;
  TIFThread* worker_ = nullptr;
  bool running_ = false;  // a Run job is under way: input and closing wait for its end
  // The control that had the keyboard focus when DisableControls took it away.
  QPointer<QWidget> focusBeforeBusy_;

  // Shared with the worker's counting steps (under ListLock).
  std::int32_t StyleInstalledCount = 0;
  std::int32_t StyleMissingCount = 0;
  bool CountsInstalled = false;
};
