// The application-wide pointer shape and self-sizing labels.
#include "Installfont/window_helpers.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLabel>

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

void FitLabel(QLabel* label) {
  const int width = label->fontMetrics().horizontalAdvance(label->text());
  const QVariant rightEdge = label->property("rightEdge");
  const QRect r = label->geometry();
  if (rightEdge.isValid())
    label->setGeometry(rightEdge.toInt() - width, r.y(), width, r.height());
  else
    label->setGeometry(r.x(), r.y(), width, r.height());
}
