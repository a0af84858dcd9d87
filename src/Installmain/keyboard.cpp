// The launcher from the keyboard and for assistive technology: a focus that walks the
// hot-spots, activation by Return or Space, Escape as the exit, and the hot-spots' names.
#include <QAccessible>
#include <QKeyEvent>
#include <algorithm>

#include "Installmain/image_accessible.h"
#include "Installmain/insmain.h"
#include "disc/disc.h"

namespace {

// The labels drawn into the pictures, as the program's own texts: Traditional Chinese, English.
struct HotSpotText {
  const char* normal;
  const char* chinese;
  const char* english;
};

const HotSpotText kHotSpotTexts[] = {
    {"FI1", "安裝中文視窗專用TTC字型", "Install the TTC fonts for Chinese Windows"},
    {"PI21", "安裝英文視窗適用TTF字型", "Install the TTF fonts for English Windows"},
    {"PI31", "使用手冊", "User manual"},
    {"im04", "字型版", "Gift fonts"},
    {"im05", "圖形版", "Gift pictures"},
    {"im06", "ZelvaDoc 4.25 (試用版)", "ZelvaDoc 4.25 (trial)"},
    {"im07", "Zelva符號外字集", "Zelva symbol extra-character set"},
    {"im08", "註腳精靈", "Footnote wizard"},
    {"im09", "天蝶精靈", "Butterfly wizard"},
    {"im10", "符號精靈", "Symbol wizard"},
    {"E1", "離開", "Exit"},
};

}  // namespace

void TInsMain::CreateHotSpots() {
  InstallImageAccessibility();
  hotSpots_ = {
      {FI1, FI2, &TInsMain::FI2Click},       {PI21, PI22, &TInsMain::PI22Click},
      {PI31, PI32, &TInsMain::PI32Click},    {im04, im041, &TInsMain::im041Click},
      {im05, im051, &TInsMain::im051Click},  {im06, im061, &TInsMain::im061Click},
      {im07, im071, &TInsMain::im071Click},  {im08, im081, &TInsMain::im081Click},
      {im09, im091, &TInsMain::im091Click},  {im10, im101, &TInsMain::im101Click},
      {E1, E2, &TInsMain::E2Click},
  };
  std::stable_sort(hotSpots_.begin(), hotSpots_.end(), [](const HotSpot& a, const HotSpot& b) {
    const QPoint pa = a.normal->pos();
    const QPoint pb = b.normal->pos();
    return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
  });

  const bool chinese = disc::IsTraditionalChinese();
  for (int i = 0; i < static_cast<int>(hotSpots_.size()); ++i) {
    const HotSpot& spot = hotSpots_[i];
    for (const HotSpotText& text : kHotSpotTexts) {
      if (spot.normal->objectName() != QLatin1String(text.normal)) continue;
      const QString name = QString::fromUtf8(chinese ? text.chinese : text.english);
      spot.normal->setAccessibleName(name);
      spot.highlight->setAccessibleName(name);
    }
    for (TImage* picture : {spot.normal, spot.highlight}) {
      picture->OnActivate = [this, i] {
        FocusHotSpot(i);
        (this->*hotSpots_[i].click)();
      };
      picture->KeyFocused = [this, i] { return keyFocus_ == i; };
    }
  }
  // The window holds Qt's focus itself; the hot-spot focus is its own.
  setFocusPolicy(Qt::StrongFocus);
}

QString TInsMain::KeyFocusedHotSpot() const {
  return keyFocus_ < 0 ? QString() : hotSpots_[keyFocus_].normal->objectName();
}

bool TInsMain::HotSpotShown(int index) const {
  const HotSpot& spot = hotSpots_[index];
  return !spot.normal->isHidden() || !spot.highlight->isHidden();
}

void TInsMain::FocusHotSpot(int index) {
  keyFocus_ = index;
  const HotSpot& spot = hotSpots_[index];
  // The picture the pointer would light, without the pointer shapes of the move handlers.
  if (spot.normal == FI1) {
    ResetHighlights();
    FI2->show();
    FI2->raise();
  } else {
    ShowHighlight(spot.normal, spot.highlight);
  }
  QAccessibleEvent focus(spot.highlight, QAccessible::Focus);
  QAccessible::updateAccessibility(&focus);
}

void TInsMain::MoveKeyFocus(int step) {
  const int count = static_cast<int>(hotSpots_.size());
  int index = keyFocus_;
  if (index < 0) index = step > 0 ? -1 : count;
  for (int tried = 0; tried < count; ++tried) {
    index = ((index + step) % count + count) % count;
    if (HotSpotShown(index)) {
      FocusHotSpot(index);
      return;
    }
  }
}

bool TInsMain::focusNextPrevChild(bool next) {
  MoveKeyFocus(next ? 1 : -1);
  return true;
}

void TInsMain::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down:
      MoveKeyFocus(1);
      return;
    case Qt::Key_Left:
    case Qt::Key_Up:
      MoveKeyFocus(-1);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (keyFocus_ >= 0 && HotSpotShown(keyFocus_)) {
        // The pointer's click lands on the lit picture; the keyboard's does as well.
        const int index = keyFocus_;
        FocusHotSpot(index);
        (this->*hotSpots_[index].click)();
      }
      return;
    case Qt::Key_Escape:
      E2Click();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}
