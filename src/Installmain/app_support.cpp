// The program's set-up around its windows.
#include "Installmain/app_support.h"

#include <QApplication>
#include <QCursor>
#include <QHelpEvent>
#include <QMessageBox>
#include <QPointer>
#include <QProxyStyle>
#include <QStyle>
#include <QToolTip>
#include <QWidget>

#include "platform/shell.h"
#include "platform/text.h"
#include "platform/threads.h"

namespace {

QString FromAnsi(const std::string& text) {
  return QString::fromStdString(platform::AnsiToUtf8(text));
}

int ShowQtMessageBox(const std::string& text, const std::string& caption, platform::DWORD type) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (type & 0xF0) {
    case platform::MB_ICONERROR: icon = QMessageBox::Critical; break;
    case platform::MB_ICONWARNING: icon = QMessageBox::Warning; break;
    case platform::MB_ICONINFORMATION: icon = QMessageBox::Information; break;
    default: break;
  }
  QMessageBox box(icon, FromAnsi(caption), FromAnsi(text), QMessageBox::Ok);
  box.exec();
  return platform::IDOK;
}

// Qt has no application-wide hint pauses: the style answers the pause before a hint, and a
// filter shows every hint with the time it stays.
class HintStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int pause = 100;
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_ToolTip_WakeUpDelay) return pause;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

class HintFilter : public QObject {
 public:
  int hidePause = 10000;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::ToolTip || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->toolTip().isEmpty()) return false;
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), widget->toolTip(), widget,
                       QRect(), hidePause);
    return true;
  }
};

QPointer<HintFilter> hintFilter;

HintStyle* CurrentHintStyle() { return dynamic_cast<HintStyle*>(QApplication::style()); }

}  // namespace

void InitialiseApplication() {
  // Not the display name: Qt would append that to the caption of every other window and box.
  QCoreApplication::setApplicationName(QString::fromUtf8(kProductTitle));
  platform::SetApplicationTitle(platform::Utf8ToAnsi(kProductTitle));
  platform::SetMainThread();
  platform::SetSynchronizeWakeup([] {
    QMetaObject::invokeMethod(
        qApp, [] { platform::CheckSynchronize(); }, Qt::QueuedConnection);
  });
}

void InstallQtMessageBoxes() { platform::SetMessageBoxHandler(ShowQtMessageBox); }

void SetScreenCursor(ScreenCursor cursor) {
  if (cursor == ScreenCursor::Default) {
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    return;
  }
  const QCursor shape(cursor == ScreenCursor::Hand ? Qt::PointingHandCursor : Qt::WaitCursor);
  if (QGuiApplication::overrideCursor())
    QGuiApplication::changeOverrideCursor(shape);
  else
    QGuiApplication::setOverrideCursor(shape);
}

ScreenCursor CurrentScreenCursor() {
  const QCursor* cursor = QGuiApplication::overrideCursor();
  if (!cursor) return ScreenCursor::Default;
  return cursor->shape() == Qt::WaitCursor ? ScreenCursor::Hourglass : ScreenCursor::Hand;
}

void SetHintTiming(int pauseMs, int hidePauseMs) {
  HintStyle* style = CurrentHintStyle();
  if (!style) {
    // The proxy builds its own base style; the application deletes the one it replaces.
    style = new HintStyle(QApplication::style()->name());
    QApplication::setStyle(style);
  }
  style->pause = pauseMs;
  if (!hintFilter) {
    hintFilter = new HintFilter;
    hintFilter->setParent(qApp);
    qApp->installEventFilter(hintFilter);
  }
  hintFilter->hidePause = hidePauseMs;
}

int HintPause() {
  const QStyle* style = QApplication::style();
  return style->styleHint(QStyle::SH_ToolTip_WakeUpDelay);
}

int HintHidePause() { return hintFilter ? hintFilter->hidePause : -1; }
