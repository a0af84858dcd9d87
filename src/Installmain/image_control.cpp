// The picture control of the launcher.
#include "Installmain/image_control.h"

#include <QMouseEvent>
#include <QPainter>

TImage::TImage(const QString& name, QWidget* parent) : QWidget(parent) {
  setObjectName(name);
  // Hover rules need the pointer's moves without a button held, too.
  setMouseTracking(true);
}

void TImage::SetPicture(const QImage& picture) {
  picture_ = picture;
  resize(picture_.size());
  update();
}

void TImage::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  painter.drawImage((width() - picture_.width()) / 2, (height() - picture_.height()) / 2,
                    picture_);
}

void TImage::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton) leftPressed_ = true;
  if (OnMouseDown) OnMouseDown(event->button(), at.x(), at.y());
}

// The second press of a double-click is a press like any other, but its release is no click:
// a double-click on a hot-spot acts once.
void TImage::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (OnMouseDown) OnMouseDown(event->button(), at.x(), at.y());
}

void TImage::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (OnMouseMove) OnMouseMove(at.x(), at.y());
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const bool click = event->button() == Qt::LeftButton && leftPressed_ && rect().contains(at);
  if (event->button() == Qt::LeftButton) leftPressed_ = false;
  if (OnMouseUp) OnMouseUp(event->button(), at.x(), at.y());
  if (click && OnClick) OnClick();
}
