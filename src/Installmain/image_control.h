#pragma once
// A picture control: shows one picture at its natural size, centred, and reports the pointer
// to its window's handlers in its own coordinates.

#include <QImage>
#include <QWidget>
#include <functional>

class TImage : public QWidget {
 public:
  TImage(const QString& name, QWidget* parent);

  // Shows the picture and takes its size.
  void SetPicture(const QImage& picture);
  const QImage& Picture() const { return picture_; }

  std::function<void(Qt::MouseButton button, int x, int y)> OnMouseDown;
  std::function<void(int x, int y)> OnMouseMove;
  std::function<void(Qt::MouseButton button, int x, int y)> OnMouseUp;
  // A left-button press and release both on the control.
  std::function<void()> OnClick;

  // Hot-spot pictures are buttons to assistive technology: OnActivate is their press action
  // and KeyFocused tells whether the window's keyboard focus rests on their hot-spot. Without
  // OnActivate the picture is background and stays out of what a screen reader reads.
  std::function<void()> OnActivate;
  std::function<bool()> KeyFocused;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QImage picture_;
  bool leftPressed_ = false;
};
