// The font selection window: layout, rows, mode, counters, the worker's steps and the Run job.
#include "Installfont/insfont.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStatusBar>
#include <algorithm>
#include <exception>
#include <utility>

#include "Installfont/window_helpers.h"
#include "Installfont/wakeup.h"
#include "assets/assets.h"
#include "disc/disc.h"
#include "disc/shared_paths.h"
#include "engine/engine.h"
#include "picture/picture.h"
#include "platform/files.h"
#include "platform/language.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace {

constexpr int kWindowWidth = 555;
constexpr int kWindowHeight = 458;
constexpr int kCheckSide = 17;
const QColor kActiveBorder(212, 208, 200);
const char* const kBlankCounter = "    ";

QString Shown(const std::string& ansi) { return QString::fromStdString(platform::AnsiToUtf8(ansi)); }

// First half of a counter update: behind the background, blank.
void BlankCounter(QLabel* counter) {
  counter->lower();
  counter->setText(kBlankCounter);
}

// What a screen reader says of a counter: its caption, value and unit, as one would read them.
void NameCounter(QLabel* counter) {
  const auto* caption = qobject_cast<QLabel*>(counter->property("caption").value<QObject*>());
  const auto* unit = qobject_cast<QLabel*>(counter->property("unit").value<QObject*>());
  if (!caption || !unit) return;
  counter->setAccessibleName(caption->text().trimmed() + ' ' + counter->text().trimmed() + ' ' +
                             unit->text().trimmed());
}

// The installed state a screen reader gives with a row's name; the sample's mark shows it.
QString InstalledDescription(bool installed) {
  if (disc::IsTraditionalChinese())
    return QString::fromUtf8(installed ? "已安裝" : "未安裝");
  return QString::fromLatin1(installed ? "installed" : "not installed");
}

// Second half: the value, in front, painted now.
void ShowCounter(QLabel* counter, long long value) {
  counter->setText(QString::number(value));
  NameCounter(counter);
  FitLabel(counter);
  counter->raise();
  counter->repaint();
}

void ShowProgressThunk(int done, int total, const char* name, void* context) {
  static_cast<TInsFont*>(context)->ShowProgress(done, total, name);
}

bool ShowWaitingThunk(double waited, void* context) {
  return static_cast<TInsFont*>(context)->ShowWaiting(waited);
}

}  // namespace

InsCheckList::~InsCheckList() {
  delete mark;
  delete sample;
  delete check;
}

InsCheckList::InsCheckList(InsCheckList&& other) noexcept
    : check(std::exchange(other.check, nullptr)),
      sample(std::exchange(other.sample, nullptr)),
      mark(std::exchange(other.mark, nullptr)),
      key(std::move(other.key)),
      state(other.state) {}

InsCheckList& InsCheckList::operator=(InsCheckList&& other) noexcept {
  if (this != &other) {
    delete mark;
    delete sample;
    delete check;
    check = std::exchange(other.check, nullptr);
    sample = std::exchange(other.sample, nullptr);
    mark = std::exchange(other.mark, nullptr);
    key = std::move(other.key);
    state = other.state;
  }
  return *this;
}

bool InsCheckList::Installed() const {
  return (state & (engine::FontInstalled | engine::LinkInstalled)) != 0;
}

TInsFont::TInsFont(QWidget* launcher, const std::string* startFolder)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      launcher_(launcher),
      startFolder_(startFolder) {
  platform::SetMainThread();
  new TSynchronizeWakeup(this);
  locks_.Create();
  CreateControls();
  FormCreate();
}

TInsFont::~TInsFont() {
  StopWorker();
  FormDestroy();
}

void TInsFont::CreateControls() {
  setObjectName("InsFont");
  setWindowTitle("InstallFont");
  setFixedSize(kWindowWidth, kWindowHeight);
  QFont font;
  font.setFamilies({QString::fromUtf8("細明體"), "AR PL UMing TW", "AR PL UMing HK",
                    "AR PL UMing CN", "AR PL UMing TW MBE"});
  font.setPixelSize(12);
  setFont(font);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kActiveBorder);
  setPalette(pal);
  setAutoFillBackground(true);

  InstallBack = new QLabel(this);
  InstallBack->setObjectName("InstallBack");
  InstallBack->setGeometry(-58, -10, 640, 480);
  InstallBack->setAlignment(Qt::AlignCenter);
  const QImage back = picture::LoadResourcePicture(assets::PicturePath("InstallBack"));
  if (!back.isNull()) {
    InstallBack->setPixmap(QPixmap::fromImage(back));
    InstallBack->setGeometry(-58, -10, back.width(), back.height());
  }
  InstallBack->installEventFilter(this);

  auto makeLabel = [this](int n, int x, int y, int w, const char* text, bool right) {
    QLabel* label = new QLabel(text, this);
    label->setObjectName(QString("Label%1").arg(n));
    label->setGeometry(x, y, w, 12);
    label->setAlignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    if (right) label->setProperty("rightEdge", x + w);
    Label[n] = label;
    return label;
  };

  makeLabel(1, 16, 8, 102, "Select Font Style", false);
  ComboFontStyle = new QComboBox(this);
  ComboFontStyle->setObjectName("ComboFontStyle");
  ComboFontStyle->setGeometry(16, 32, 370, 20);
  ComboFontStyle->setEditable(true);
  ComboFontStyle->setInsertPolicy(QComboBox::NoInsert);
  makeLabel(2, 16, 64, 60, "Fonts List", false);

  FontListBox = new QScrollArea(this);
  FontListBox->setObjectName("FontListBox");
  FontListBox->setGeometry(16, 88, 370, 315);
  FontListBox->setWidgetResizable(false);
  FontListContent = new QWidget;
  FontListContent->setObjectName("FontListContent");
  QPalette white = FontListContent->palette();
  white.setColor(QPalette::Window, Qt::white);
  FontListContent->setPalette(white);
  FontListContent->setAutoFillBackground(true);
  FontListContent->resize(FontListBox->viewport()->size());
  FontListBox->setWidget(FontListContent);
  FontListBox->viewport()->setPalette(white);
  FontListBox->viewport()->setAutoFillBackground(true);

  CheckInstallBoth =
      new QCheckBox("Check for Install Qarn3 ~ Qarn5 or Tosk4 ~ Tosk6 Fonts", this);
  CheckInstallBoth->setObjectName("CheckInstallBoth");
  CheckInstallBoth->setGeometry(14, 402, 361, 17);
  CheckInstallBoth->setChecked(true);

  QPalette radioColour = palette();
  radioColour.setColor(QPalette::Window, kActiveBorder);
  RadioInstall = new QRadioButton("Install", this);
  RadioInstall->setObjectName("RadioInstall");
  RadioInstall->setGeometry(398, 22, 89, 17);
  RadioInstall->setChecked(true);
  RadioRemove = new QRadioButton("Remove", this);
  RadioRemove->setObjectName("RadioRemove");
  RadioRemove->setGeometry(398, 46, 81, 17);
  chosenMode_ = RadioInstall;
  for (QRadioButton* radio : {RadioInstall, RadioRemove}) {
    radio->setPalette(radioColour);
    radio->setAutoFillBackground(true);
  }

  Mark = new QLabel(this);
  Mark->setObjectName("Mark");
  Mark->setGeometry(398, 156, 24, 18);
  Mark->setAlignment(Qt::AlignCenter);
  const QImage mark = picture::LoadResourcePicture(assets::PicturePath("Mark"));
  if (!mark.isNull()) Mark->setPixmap(QPixmap::fromImage(mark));

  makeLabel(18, 432, 160, 102, "mark is installed", false);
  makeLabel(3, 432, 184, 36, "Fonts:", true);
  makeLabel(11, 499, 184, 6, "0", true);
  makeLabel(4, 512, 184, 18, "Set", false);
  makeLabel(5, 408, 200, 60, "Installed:", true);
  makeLabel(12, 499, 200, 6, "0", true);
  makeLabel(6, 512, 200, 18, "Set", false);
  makeLabel(7, 414, 216, 54, "Selected:", true);
  makeLabel(13, 499, 216, 6, "0", true);
  makeLabel(8, 512, 216, 18, "Set", false);
  makeLabel(9, 402, 232, 66, "Free Space:", true);
  makeLabel(14, 499, 232, 6, "0", true);
  makeLabel(16, 512, 232, 12, "MB", false);
  makeLabel(10, 384, 248, 84, "Require Space:", true);
  makeLabel(15, 499, 248, 6, "0", true);
  makeLabel(17, 512, 248, 12, "MB", false);
  // Counter, its caption, its unit.
  const int counters[][3] = {{11, 3, 4}, {12, 5, 6}, {13, 7, 8}, {14, 9, 16}, {15, 10, 17}};
  for (const auto& [counter, caption, unit] : counters) {
    Label[counter]->setProperty("caption", QVariant::fromValue<QObject*>(Label[caption]));
    Label[counter]->setProperty("unit", QVariant::fromValue<QObject*>(Label[unit]));
    NameCounter(Label[counter]);
  }

  auto makeButton = [this](const char* name, const char* text, int y) {
    QPushButton* button = new QPushButton(text, this);
    button->setObjectName(name);
    button->setGeometry(415, y, 115, 25);
    button->setCursor(Qt::PointingHandCursor);
    button->setAutoDefault(false);
    return button;
  };
  Run = makeButton("Run", "Run", 272);
  SelectAll = makeButton("SelectAll", "Select All", 306);
  Clear = makeButton("Clear", "Reset", 341);
  Exit = makeButton("Exit", "Exit", 376);

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setGeometry(0, 424, 555, 16);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->hide();

  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName("StatusBar");
  StatusBar->setGeometry(0, 439, 555, 19);
  StatusBar->setSizeGripEnabled(false);

  setTabOrder(FontListBox, ComboFontStyle);
  setTabOrder(ComboFontStyle, CheckInstallBoth);
  setTabOrder(CheckInstallBoth, RadioInstall);
  setTabOrder(RadioInstall, RadioRemove);
  setTabOrder(RadioRemove, Run);
  setTabOrder(Run, SelectAll);
  setTabOrder(SelectAll, Clear);
  setTabOrder(Clear, Exit);
  setTabOrder(Exit, ProgressBar1);

  // Handlers swallow their failures: an exception must never cross Qt's event loop.
  auto bind = [this](auto* sender, auto signal, void (TInsFont::*handler)()) {
    connect(sender, signal, this, [this, handler] {
      try {
        (this->*handler)();
      } catch (...) {
      }
    });
  };
  bind(ComboFontStyle, &QComboBox::currentTextChanged, &TInsFont::ComboFontStyleChange);
  bind(RadioInstall, &QRadioButton::clicked, &TInsFont::RadioInstallClick);
  bind(RadioRemove, &QRadioButton::clicked, &TInsFont::RadioRemoveClick);
  bind(CheckInstallBoth, &QCheckBox::clicked, &TInsFont::CheckInstallBothClick);
  bind(SelectAll, &QPushButton::clicked, &TInsFont::SelectAllClick);
  bind(Clear, &QPushButton::clicked, &TInsFont::ClearClick);
  bind(Run, &QPushButton::clicked, &TInsFont::RunClick);
  bind(Exit, &QPushButton::clicked, &TInsFont::ExitClick);
}

void TInsFont::FormCreate() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect s = screen->geometry();
    move(s.width() / 2 - width() / 2, s.height() / 2 - height() / 2);
  }
  Run->setEnabled(false);
  DisableControls();
  SetPointer(Pointer::Default);
}

void TInsFont::FormDestroy() { locks_.Close(); }

bool TInsFont::InstallMode() const { return RadioInstall->isChecked(); }

std::string TInsFont::ComboText() const {
  const QString text = ComboFontStyle->currentText();
  for (int i = 0; i < ComboFontStyle->count(); ++i) {
    if (ComboFontStyle->itemText(i) == text)
      return ComboFontStyle->itemData(i).toByteArray().toStdString();
  }
  return platform::Utf8ToAnsi(text.toStdString());
}

void TInsFont::DisableControls() {
  // Disabling moves the keyboard focus away; it comes back when the controls do.
  if (!focusBeforeBusy_) focusBeforeBusy_ = focusWidget();
  for (QWidget* control : std::initializer_list<QWidget*>{
           SelectAll, Clear, Exit, FontListBox, RadioInstall, RadioRemove, ComboFontStyle})
    control->setEnabled(false);
}

void TInsFont::EnableControls() {
  for (QWidget* control : std::initializer_list<QWidget*>{
           SelectAll, Clear, Exit, FontListBox, RadioInstall, RadioRemove, ComboFontStyle})
    control->setEnabled(true);
  if (focusBeforeBusy_ && focusBeforeBusy_->isEnabled() && focusBeforeBusy_->isVisible() &&
      focusWidget() != focusBeforeBusy_)
    focusBeforeBusy_->setFocus(Qt::OtherFocusReason);
  focusBeforeBusy_ = nullptr;
}

void TInsFont::LoadFontSet() {
  disc::SharedPaths& paths = disc::Paths();
  // A window opened again without being closed: its old worker goes first (it may still have
  // to pass StartLock).
  StopWorker();
  TLockHolder starting(locks_.StartLock);
  SetPointer(Pointer::Hourglass);
  if (paths.infoFolder.empty()) paths.infoFolder = ".\\";
  LoadTexts();
  dragging_ = false;
  shownStyle_.clear();
  {
    TLockHolder listing(locks_.ListLock);
    DestroyRows();
    if (!engine::LoadCatalogue(paths.infoFolder, paths.setFolderNoSlash, 0)) {
      SetPointer(Pointer::Default);
      close();
      return;
    }
    std::vector<std::string> names;
    engine::ListStyleNames(names);
    const QSignalBlocker quiet(ComboFontStyle);
    ComboFontStyle->clear();
    for (const std::string& name : names)
      ComboFontStyle->addItem(Shown(name), QByteArray::fromStdString(name));
    ComboFontStyle->setCurrentIndex(0);
    if (names.empty()) ComboFontStyle->setEditText(QString());
  }
  Run->setEnabled(false);
  SelectAll->setEnabled(true);
  if (!RadioInstall->isChecked()) {
    RadioInstall->setChecked(true);
    RadioInstallClick();
  }
  QPalette bar = ProgressBar1->palette();
  bar.setColor(QPalette::Window, kActiveBorder);
  ProgressBar1->setPalette(bar);
  platform::OSVERSIONINFOA version;
  platform::GetVersionExA(&version);
  if (version.dwPlatformId != platform::VER_PLATFORM_WIN32_NT) {
    TLockHolder listing(locks_.ListLock);
    engine::SetCopyHook(&engine::CopyFontFileMaskGsub);
  }
  CheckInstallBoth->setVisible(paths.showInstallBoth != 0);
  worker_ = new TIFThread(*this);
  ComboFontStyleChange();
  // A catalogue without styles builds no list; the counters still come, with the controls.
  if (shownStyle_.empty()) worker_->RequestStyleCount();
}

void TInsFont::DestroyRows() { Entries.clear(); }

void TInsFont::ComboFontStyleChange() {
  {
    TLockHolder listing(locks_.ListLock);
    Run->setEnabled(false);
    SetPointer(Pointer::Hourglass);
    std::string text;
    const QString typed = ComboFontStyle->currentText();
    int found = -1;
    for (int i = 0; i < ComboFontStyle->count() && found < 0; ++i)
      if (ComboFontStyle->itemText(i) == typed) found = i;
    if (found < 0) {
      const QSignalBlocker quiet(ComboFontStyle);
      ComboFontStyle->setEditText(Shown(shownStyle_));
      text = shownStyle_;
    } else {
      text = ComboFontStyle->itemData(found).toByteArray().toStdString();
    }
    if (text == shownStyle_) {
      SetPointer(Pointer::Default);
      return;
    }
    DisableControls();
    DestroyRows();
    // A failing row must not leave a half-built list shown under the old style's name.
    shownStyle_.clear();
    std::vector<std::string> keys;
    engine::SelectStyle(text);
    engine::ListStyleFonts(keys);
    BuildRows(keys);
    shownStyle_ = text;
  }
  if (worker_) worker_->RequestStyleCount();
}

void TInsFont::BuildRows(const std::vector<std::string>& keys) {
  const std::string imgFolder = disc::Paths().setFolder + "tmp\\img\\";
  const bool installMode = InstallMode();
  // All rows' states at once: fonts linked in long chains would otherwise each walk the rest.
  const std::vector<std::uint32_t> states = engine::QueryFontStates(keys);
  QPixmap markPicture;
  bool markLoaded = false;
  FontListContent->setUpdatesEnabled(false);
  Entries.reserve(keys.size());
  int top = 0;
  int right = 0;
  for (std::size_t j = 0; j < keys.size(); ++j) {
    Entries.emplace_back();
    InsCheckList& row = Entries.back();
    row.key = keys[j];
    row.check = new QCheckBox(FontListContent);
    row.sample = new QLabel(FontListContent);

    std::string sampleName;
    engine::ReadFontValue(row.key, "Sample", sampleName);
    const std::string samplePath = imgFolder + sampleName;
    QImage sample;
    if (!sampleName.empty() && platform::FileExists(samplePath))
      sample = picture::LoadPictureFile(samplePath, picture::kSamplePicture);
    const int height = sample.isNull() ? 0 : sample.height();
    const int width = sample.isNull() ? 0 : sample.width();
    row.check->setGeometry(10, top + (height - kCheckSide) / 2, kCheckSide, kCheckSide);
    row.sample->setGeometry(kCheckSide + 10, top, width, height);
    if (!sample.isNull()) row.sample->setPixmap(QPixmap::fromImage(sample));
    row.check->show();
    row.sample->show();

    std::string name;
    engine::GetFontName(row.key, name);
    row.check->setAccessibleName(Shown(name));
    row.sample->setAccessibleName(Shown(name));
    row.check->setProperty("tag", static_cast<int>(j));
    connect(row.check, &QCheckBox::clicked, this, [this] {
      try {
        CheckListClick();
      } catch (...) {
      }
    });

    row.state = states[j];
    row.check->setAccessibleDescription(InstalledDescription(row.Installed()));
    // The list scrolls to the row the keyboard reaches.
    row.check->installEventFilter(this);
    if (!row.Installed()) {
      row.check->setEnabled(installMode);
    } else {
      if (!markLoaded) {
        markLoaded = true;
        const QImage mark = picture::LoadPictureFile(
            disc::Paths().setFolder + "tmp\\img\\installed.jpg", picture::kSamplePicture);
        if (!mark.isNull()) markPicture = QPixmap::fromImage(mark);
      }
      row.mark = new QLabel(FontListContent);
      row.mark->setGeometry(kCheckSide + 10, top, markPicture.width(), markPicture.height());
      if (!markPicture.isNull()) row.mark->setPixmap(markPicture);
      row.mark->show();
      row.mark->raise();
      row.check->setEnabled(!installMode);
    }
    top += height;
    right = std::max(right, kCheckSide + 10 + width);
  }
  // The rows come in the tab order right after the list box, before the style combo box.
  QWidget* previous = FontListBox;
  for (const InsCheckList& row : Entries) {
    setTabOrder(previous, row.check);
    previous = row.check;
  }
  setTabOrder(previous, ComboFontStyle);
  const QSize view = FontListBox->viewport()->size();
  FontListContent->resize(std::max(right, view.width()), std::max(top, view.height()));
  FontListContent->setUpdatesEnabled(true);
  FontListContent->update();
}

void TInsFont::RadioInstallClick() { SwitchMode(RadioInstall); }

void TInsFont::RadioRemoveClick() { SwitchMode(RadioRemove); }

void TInsFont::SwitchMode(QRadioButton* clicked) {
  // A click on the radio button of the mode already chosen chooses nothing: Run keeps its state,
  // since no recount would come to enable it again.
  if (clicked == chosenMode_) return;
  chosenMode_ = clicked;
  const bool install = clicked == RadioInstall;
  try {
    {
      TLockHolder listing(locks_.ListLock);
      Run->setEnabled(false);
      if (Run->text() == clicked->text()) return;
      SetPointer(Pointer::Hourglass);
      Run->setText(clicked->text());
      for (InsCheckList& row : Entries) {
        row.check->setEnabled(row.Installed() != install);
        const QSignalBlocker quiet(row.check);
        row.check->setChecked(false);
      }
      if (install) {
        CheckInstallBoth->setEnabled(true);
        engine::SetIncludeLinks(CheckInstallBoth->isChecked());
      } else {
        engine::SetIncludeLinks(true);
        CheckInstallBoth->setEnabled(false);
      }
      SetPointer(Pointer::Default);
    }
    if (worker_) worker_->RequestRecount();
  } catch (...) {
    SetPointer(Pointer::Default);
  }
}

void TInsFont::CheckInstallBothClick() {
  if (worker_) worker_->RequestRecount();
}

void TInsFont::CheckListClick() {
  if (worker_) worker_->RequestRecount();
}

void TInsFont::SelectAllClick() {
  try {
    const QSignalBlocker quietAll(SelectAll);
    const QSignalBlocker quietClear(Clear);
    if (worker_) worker_->RequestSetAll(true);
    platform::Sleep(100);
  } catch (...) {
  }
  DisableControls();
}

void TInsFont::ClearClick() {
  try {
    const QSignalBlocker quietAll(SelectAll);
    const QSignalBlocker quietClear(Clear);
    if (worker_) worker_->RequestSetAll(false);
    platform::Sleep(100);
  } catch (...) {
  }
  DisableControls();
}

void TInsFont::SetAllChecks(bool value) {
  platform::Synchronize([this, value] {
    Run->setEnabled(false);
    for (InsCheckList& row : Entries) {
      const QSignalBlocker quiet(row.check);
      // The row's own state: the list box as a whole is disabled while the job runs.
      if (row.check->isEnabledTo(FontListContent)) row.check->setChecked(value);
    }
    SelectAll->raise();
    Clear->raise();
  });
}

void TInsFont::CountStyleStep(std::int32_t& step) {
  if (step < 0 || step > 2) step = 0;
  switch (step) {
    case 0:
      engine::ClearSelection();
      for (const InsCheckList& row : Entries) engine::AddToSelection(row.key);
      engine::SetIncludeLinks(true);
      break;
    case 1: {
      StyleInstalledCount = engine::CountSelection(true);
      platform::Synchronize([this] { BlankCounter(Label[14]); });
      const std::string& fontsDir = engine::Engine().FontsDir;
      const std::int64_t freeBytes =
          fontsDir.empty() ? -1 : platform::FreeBytesOfDrive(fontsDir.substr(0, 1) + ":\\");
      const std::int64_t freeMegabytes = freeBytes / 1048576;
      platform::Synchronize([this, freeMegabytes] {
        ShowCounter(Label[14], freeMegabytes);
        SetPointer(Pointer::Default);
      });
      break;
    }
    case 2: {
      StyleMissingCount = engine::CountSelection(false);
      const std::int32_t fonts = StyleInstalledCount + StyleMissingCount;
      const std::int32_t installed = StyleInstalledCount;
      platform::Synchronize([this, fonts, installed] {
        BlankCounter(Label[11]);
        BlankCounter(Label[12]);
        ShowCounter(Label[11], fonts);
        ShowCounter(Label[12], installed);
        Run->setEnabled(false);
        for (QWidget* control : std::initializer_list<QWidget*>{
                 SelectAll, Clear, Exit, RadioInstall, RadioRemove, ComboFontStyle})
          control->setEnabled(true);
        SetPointer(Pointer::Default);
        InstallBack->repaint();
        QPalette bar = ProgressBar1->palette();
        bar.setColor(QPalette::Window, kActiveBorder);
        ProgressBar1->setPalette(bar);
      });
      break;
    }
  }
  ++step;
}

void TInsFont::CountSelectionStep(std::int32_t& step) {
  if (step < 0 || step > 2) step = 0;
  switch (step) {
    case 0:
      engine::ClearSelection();
      for (const InsCheckList& row : Entries) {
        if (row.check->isChecked())
          engine::AddToSelection(row.key);
        else
          engine::RemoveFromSelection(row.key);
      }
      if (InstallMode()) {
        CountsInstalled = false;
        engine::SetIncludeLinks(CheckInstallBoth->isChecked());
      } else {
        CountsInstalled = true;
        engine::SetIncludeLinks(true);
      }
      break;
    case 1: {
      const int selected = engine::CountSelection(CountsInstalled);
      BlankCounter(Label[13]);
      ShowCounter(Label[13], selected);
      SetPointer(Pointer::Default);
      break;
    }
    case 2: {
      const int n = engine::CountSelection(CountsInstalled);
      SetPointer(Pointer::Hand);
      BlankCounter(Label[15]);
      // Whole megabytes, a remainder counting as one more; in 64 bits, so that a figure close
      // to 4 GB does not wrap round to 0.
      const std::uint64_t bytes = engine::SelectionSpace(CountsInstalled);
      ShowCounter(Label[15], static_cast<long long>((bytes + 1048575u) >> 20));
      Run->setEnabled(n >= 1);
      SetPointer(Pointer::Default);
      EnableControls();
      break;
    }
  }
  ++step;
}

void TInsFont::ShowProgress(int done, int total, const char* name) {
  if (done == 0) {
    ProgressBar1->setMaximum(total);
    ProgressBar1->setMinimum(0);
  }
  ProgressBar1->setValue(done);
  StatusBar->showMessage(name ? Shown(name) : QString());
  show();
  raise();
  ProgressBar1->repaint();
  StatusBar->repaint();
  // The window manager must not find the window frozen during a long run, but no click or key
  // may reach a handler before the run ends.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TInsFont::RunClick() {
  if (running_) return;
  running_ = true;
  std::string error;
  bool failed = false;
  WaitLock(locks_.ListLock);
  SetPointer(Pointer::Hourglass);
  try {
    engine::ClearSelection();
    for (const InsCheckList& row : Entries)
      if (row.check->isChecked()) engine::AddToSelection(row.key);
    const bool install = InstallMode();
    engine::SetIncludeLinks(install ? CheckInstallBoth->isChecked() : true);
    ProgressBar1->show();
    show();
    raise();
    // Another program's run on the same fonts goes first; this one waits, painting and saying
    // why, and then goes on.
    engine::SetRunWait(&ShowWaitingThunk, this);
    if (install)
      engine::InstallSelection(&ShowProgressThunk, this);
    else
      engine::RemoveSelection(&ShowProgressThunk, this);
  } catch (const std::exception& e) {
    failed = true;
    error = e.what();
  } catch (...) {
    failed = true;
  }
  engine::SetRunWait(nullptr, nullptr);
  // The fonts the run could not handle, each with its cause.
  const bool chinese = disc::IsTraditionalChinese();
  std::string problems;
  for (const engine::FontProblem& problem : engine::LastRunReport().problems)
    problems += (problems.empty() ? "" : "\n") + engine::DescribeProblem(problem, chinese);
  // After a failed run as after a good one: the lock is free again and the list shows what is
  // installed now.
  ProgressBar1->hide();
  raise();
  shownStyle_.clear();
  SetPointer(Pointer::Default);
  ReleaseLock(locks_.ListLock);
  try {
    ComboFontStyleChange();
  } catch (...) {
  }
  running_ = false;
  if (failed) platform::ShowErrorMessage(problems.empty() ? error : error + "\n" + problems);
  else if (!problems.empty()) platform::ShowErrorMessage(problems);
}

bool TInsFont::ShowWaiting(double) {
  StatusBar->showMessage(Shown(platform::Utf8ToAnsi(
      disc::IsTraditionalChinese() ? "另一個安裝正在執行，等待它結束…"
                                   : "Another installation is running; waiting for it to end...")));
  StatusBar->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return true;
}

void TInsFont::ExitClick() {
  try {
    if (worker_) worker_->RequestQuit();
  } catch (...) {
  }
  close();
}

void TInsFont::StopWorker() {
  if (!worker_) return;
  worker_->Stop();
  delete worker_;
  worker_ = nullptr;
}

void TInsFont::FormClose() {
  try {
    TLockHolder listing(locks_.ListLock);
    SetPointer(Pointer::Hourglass);
    DestroyRows();
    SetPointer(Pointer::Default);
  } catch (...) {
  }
  StopWorker();
  if (startFolder_) {
    disc::Paths().setFolder = *startFolder_;
    platform::SetCurrentDirectoryA(startFolder_->c_str());
  }
}

void TInsFont::FormHide() {
  if (launcher_) {
    launcher_->show();
    launcher_->raise();
  }
}

void TInsFont::closeEvent(QCloseEvent* event) {
  // A run finishes first; its own rebuild needs the window as it is.
  if (running_) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

void TInsFont::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (!event->spontaneous()) FormHide();
}

void TInsFont::FormMouseDown(int x, int y) {
  dragging_ = true;
  anchorX_ = x;
  anchorY_ = y;
  originLeft_ = this->x();
  originTop_ = this->y();
}

void TInsFont::FormMouseMove(int x, int y) {
  if (!dragging_) return;
  move(x + originLeft_ - anchorX_, y + originTop_ - anchorY_);
  originLeft_ = this->x();
  originTop_ = this->y();
}

void TInsFont::FormMouseUp() { dragging_ = false; }

void TInsFont::InstallBackMouseDown(int x, int y) { FormMouseDown(x, y); }
void TInsFont::InstallBackMouseMove(int x, int y) { FormMouseMove(x, y); }
void TInsFont::InstallBackMouseUp() { FormMouseUp(); }

void TInsFont::mousePressEvent(QMouseEvent* event) {
  // A press that a control leaves unhandled (a label, a picture) comes up to the window too;
  // only one on the window itself, where no control lies, starts a drag.
  const QPoint p = event->position().toPoint();
  if (childAt(p)) return;
  FormMouseDown(p.x(), p.y());
}

void TInsFont::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  FormMouseMove(p.x(), p.y());
}

void TInsFont::mouseReleaseEvent(QMouseEvent*) { FormMouseUp(); }

bool TInsFont::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn && watched->parent() == FontListContent) {
    if (auto* check = qobject_cast<QCheckBox*>(watched)) FontListBox->ensureWidgetVisible(check);
  }
  if (watched == InstallBack) {
    switch (event->type()) {
      case QEvent::MouseButtonPress: {
        const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
        InstallBackMouseDown(p.x(), p.y());
        return true;
      }
      case QEvent::MouseMove: {
        const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
        InstallBackMouseMove(p.x(), p.y());
        return true;
      }
      case QEvent::MouseButtonRelease:
        InstallBackMouseUp();
        return true;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}
