// The application-wide pointer shape.
#include "Installfont/pointer.h"

#include <QCursor>
#include <QGuiApplication>

void SetPointer(Pointer shape) {
  if (shape == Pointer::Default) {
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    return;
  }
  const QCursor cursor(shape == Pointer::Hourglass ? Qt::WaitCursor : Qt::PointingHandCursor);
  if (QGuiApplication::overrideCursor())
    QGuiApplication::changeOverrideCursor(cursor);
  else
    QGuiApplication::setOverrideCursor(cursor);
}
