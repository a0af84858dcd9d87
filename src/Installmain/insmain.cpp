// The launcher window: start-up sequence, layout, hover highlights and dragging.
#include "Installmain/insmain.h"

#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <cmath>
#include <exception>
#include <map>
#include <utility>

#include "Installmain/app_support.h"
#include "Installmain/layout.h"
#include "assets/assets.h"
#include "disc/disc.h"
#include "disc/shared_paths.h"
#include "picture/picture.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace {

constexpr const char* kMarkerKey = "SOFTWARE\\Zelvaworks";
constexpr const char* kMarkerValue = "Zwk98";
constexpr int kExitReleaseDistance = 50;

// UTF-8 here; shown in the ANSI code page.
constexpr const char* kNoDiscChinese = "無法找到[QRTMV]字型光碟片,請先放入字型光碟片!";
constexpr const char* kNoDiscEnglish = "No Found [QRTMV] CD-ROM! Check the CD-ROM.";

}  // namespace

TInsMain::TInsMain(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("InsMain"));
  setWindowTitle(QString::fromUtf8(kProductTitle));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  const QIcon icon(assets::IconPath());
  if (!icon.isNull()) setWindowIcon(icon);
  CreateControls();
  FormCreate();
  CreateHotSpots();
}

TInsMain::~TInsMain() = default;

void TInsMain::CreateControls() {
  // Created bottom to top: a later sibling lies above an earlier one.
  const std::pair<TImage**, const char*> controls[] = {
      {&MainBack, "MainBack"}, {&PI22, "PI22"},   {&PI21, "PI21"},   {&E2, "E2"},
      {&FI2, "FI2"},           {&FI1, "FI1"},     {&E1, "E1"},       {&im08, "im08"},
      {&im081, "im081"},       {&im09, "im09"},   {&im091, "im091"}, {&PI31, "PI31"},
      {&PI32, "PI32"},         {&im041, "im041"}, {&im04, "im04"},   {&im05, "im05"},
      {&im051, "im051"},       {&im06, "im06"},   {&im061, "im061"}, {&im07, "im07"},
      {&im071, "im071"},       {&im10, "im10"},   {&im101, "im101"},
  };
  for (const auto& [control, name] : controls) {
    const QString controlName = QString::fromLatin1(name);
    *control = new TImage(controlName, this);
    controls_.push_back(*control);
    (*control)->SetPicture(picture::LoadResourcePicture(assets::PicturePath(controlName)));
    (*control)->setCursor(Qt::PointingHandCursor);
  }
  MainBack->setCursor(Qt::ArrowCursor);

  MainBack->OnMouseDown = [this](Qt::MouseButton b, int x, int y) { MainBackMouseDown(b, x, y); };
  MainBack->OnMouseMove = [this](int x, int y) { MainBackMouseMove(x, y); };
  MainBack->OnMouseUp = [this](Qt::MouseButton b, int x, int y) { MainBackMouseUp(b, x, y); };
  const std::pair<TImage*, void (TInsMain::*)(int, int)> moves[] = {
      {FI1, &TInsMain::FI1MouseMove},   {FI2, &TInsMain::FI2MouseMove},
      {PI21, &TInsMain::PI21MouseMove}, {PI31, &TInsMain::PI31MouseMove},
      {E1, &TInsMain::E1MouseMove},     {E2, &TInsMain::E2MouseMove},
      {im04, &TInsMain::im04MouseMove}, {im05, &TInsMain::im05MouseMove},
      {im06, &TInsMain::im06MouseMove}, {im07, &TInsMain::im07MouseMove},
      {im08, &TInsMain::im08MouseMove}, {im09, &TInsMain::im09MouseMove},
      {im10, &TInsMain::im10MouseMove},
  };
  for (const auto& [control, handler] : moves)
    control->OnMouseMove = [this, handler = handler](int x, int y) { (this->*handler)(x, y); };
  const std::pair<TImage*, void (TInsMain::*)()> clicks[] = {
      {FI2, &TInsMain::FI2Click},     {PI22, &TInsMain::PI22Click},
      {PI32, &TInsMain::PI32Click},   {im041, &TInsMain::im041Click},
      {im051, &TInsMain::im051Click}, {im061, &TInsMain::im061Click},
      {im071, &TInsMain::im071Click}, {im081, &TInsMain::im081Click},
      {im091, &TInsMain::im091Click}, {im101, &TInsMain::im101Click},
      {E2, &TInsMain::E2Click},
  };
  for (const auto& [control, handler] : clicks)
    control->OnClick = [this, handler = handler] { (this->*handler)(); };
}

void TInsMain::FormCreate() {
  disc::SharedPaths& paths = disc::Paths();
  paths.discRoot = disc::FindProductDisc();
  if (paths.discRoot == "0") {
    const char* text = disc::IsTraditionalChinese() ? kNoDiscChinese : kNoDiscEnglish;
    platform::ShowPlainMessage(platform::Utf8ToAnsi(text));
    platform::ExitProcess(0);
  }

  setFixedSize(MainBack->size());

  paths.setFolder = paths.discRoot;
  const std::size_t lastSlash = platform::FindLastBackslash(paths.setFolder);
  if (lastSlash == std::string::npos || lastSlash + 1 != paths.setFolder.size())
    paths.setFolder += '\\';
  StartFolder = paths.setFolder;
  platform::SetCurrentDirectoryA(paths.setFolder.c_str());

  CentreOnScreen();

  SetScreenCursor(ScreenCursor::Default);
  PlaceControls();
  SetHintTiming(100, 10000);
  ResetHighlights();
  Dragging = false;
  DownX = DownY = LastLeft = LastTop = 0;

  paths.languageName = disc::ReadLanguageSuffix(paths.setFolder);
  paths.infoFolder = paths.setFolder + "tmp\\Info";
  paths.setFolderNoSlash = paths.setFolder.substr(0, paths.setFolder.size() - 1);

  LeaveRegistryMarker();
}

void TInsMain::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QSize screenSize = screen->geometry().size();
  CentredFrame = frameGeometry().size();
  move(screenSize.width() / 2 - CentredFrame.width() / 2,
       screenSize.height() / 2 - CentredFrame.height() / 2);
}

void TInsMain::CentreByNewFrame() {
  if (KeepCentred && frameGeometry().size() != CentredFrame) CentreOnScreen();
}

void TInsMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  CentreByNewFrame();
}

void TInsMain::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  CentreByNewFrame();
}

void TInsMain::PlaceControls() {
  std::map<QString, QSize> sizes;
  for (const TImage* control : controls_) sizes[control->objectName()] = control->Picture().size();
  for (const ControlPlacement& placement : ComputeLauncherLayout(sizes)) {
    if (TImage* control = Control(placement.name))
      control->setGeometry(QRect(placement.position, placement.size));
  }
}

TImage* TInsMain::Control(const QString& name) const {
  for (TImage* control : controls_) {
    if (control->objectName() == name) return control;
  }
  return nullptr;
}

void TInsMain::LeaveRegistryMarker() {
  platform::Registry registry(platform::KEY_READ | platform::KEY_WRITE);
  try {
    registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    if (!registry.KeyExists(kMarkerKey)) registry.CreateKey(kMarkerKey);
    registry.OpenKey(kMarkerKey, false);
    if (registry.ValueExists(kMarkerValue))
      registry.ReadInteger(kMarkerValue);
    else
      registry.WriteInteger(kMarkerValue, 1);
  } catch (const std::exception& error) {
    registry.CloseKey();
    platform::ShowErrorMessage(error.what());
  }
}

void TInsMain::ResetHighlights() {
  const std::pair<TImage*, TImage*> pairs[] = {
      {FI1, FI2},    {PI21, PI22},   {PI31, PI32},   {E1, E2},
      {im04, im041}, {im05, im051},  {im06, im061},  {im07, im071},
      {im08, im081}, {im09, im091},  {im10, im101},
  };
  for (const auto& [normal, highlight] : pairs) {
    normal->show();
    highlight->hide();
  }
}

void TInsMain::ShowHighlight(TImage* normal, TImage* highlight) {
  ResetHighlights();
  // The exit highlight may lie beneath the background since the distance rule; it has to be
  // on top again, or the exit could never be clicked.
  if (highlight == E2 && E2Lowered) {
    E2->raise();
    E2Lowered = false;
  }
  highlight->show();
  normal->hide();
}

void TInsMain::MainBackMouseDown(Qt::MouseButton, int X, int Y) {
  SetScreenCursor(ScreenCursor::Default);
  KeepCentred = false;
  Dragging = true;
  DownX = X;
  DownY = Y;
  LastLeft = pos().x();
  LastTop = pos().y();
}

void TInsMain::MainBackMouseMove(int X, int Y) {
  SetScreenCursor(ScreenCursor::Default);
  if (!Dragging) {
    ResetHighlights();
    return;
  }
  move(LastLeft + X - DownX, LastTop + Y - DownY);
  LastLeft = pos().x();
  LastTop = pos().y();
}

void TInsMain::MainBackMouseUp(Qt::MouseButton, int, int) {
  SetScreenCursor(ScreenCursor::Default);
  Dragging = false;
}

void TInsMain::FI1MouseMove(int, int) {
  SetScreenCursor(ScreenCursor::Hand);
  FI2->show();
  FI2->raise();
  PI21->show();
  PI22->hide();
  E2->hide();
}

void TInsMain::FI2MouseMove(int, int) {
  SetScreenCursor(ScreenCursor::Default);
  FI1->hide();
  FI2->show();
  E2->hide();
}

void TInsMain::PI21MouseMove(int, int) { ShowHighlight(PI21, PI22); }
void TInsMain::PI31MouseMove(int, int) { ShowHighlight(PI31, PI32); }
void TInsMain::E1MouseMove(int, int) { ShowHighlight(E1, E2); }
void TInsMain::im04MouseMove(int, int) { ShowHighlight(im04, im041); }
void TInsMain::im05MouseMove(int, int) { ShowHighlight(im05, im051); }
void TInsMain::im06MouseMove(int, int) { ShowHighlight(im06, im061); }
void TInsMain::im07MouseMove(int, int) { ShowHighlight(im07, im071); }
void TInsMain::im08MouseMove(int, int) { ShowHighlight(im08, im081); }
void TInsMain::im09MouseMove(int, int) { ShowHighlight(im09, im091); }
void TInsMain::im10MouseMove(int, int) { ShowHighlight(im10, im101); }

void TInsMain::E2MouseMove(int X, int Y) {
  // Inside the picture the distance never exceeds the limit; only a button held on E2 and
  // dragged away gets there.
  const int dx = X - E1->width() / 2;
  const int dy = Y - E1->height() / 2;
  if (std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy) >
      kExitReleaseDistance) {
    SetScreenCursor(ScreenCursor::Default);
    E2->lower();
    E2Lowered = true;
  }
  FI1->show();
  FI2->hide();
}

void TInsMain::E2Click() {
  SetScreenCursor(ScreenCursor::Default);
  close();
}
