// The accessible interface of the launcher's picture controls.
#include "Installmain/image_accessible.h"

#include <QAccessibleWidget>

#include "Installmain/image_control.h"

namespace {

class TImageAccessible : public QAccessibleWidget {
 public:
  explicit TImageAccessible(TImage* image)
      : QAccessibleWidget(image, QAccessible::Client) {}

  TImage* Image() const { return static_cast<TImage*>(widget()); }
  bool HotSpot() const { return static_cast<bool>(Image()->OnActivate); }

  QAccessible::Role role() const override {
    return HotSpot() ? QAccessible::Button : QAccessible::Client;
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    if (!HotSpot()) {
      // The background carries only artwork; a screen reader has nothing to say about it.
      state.invisible = true;
      return state;
    }
    state.focusable = true;
    state.focused = Image()->KeyFocused && Image()->KeyFocused() && Image()->isVisible() &&
                    Image()->window()->isActiveWindow();
    return state;
  }

  QStringList actionNames() const override {
    if (!HotSpot()) return QAccessibleWidget::actionNames();
    return {pressAction()};
  }

  void doAction(const QString& actionName) override {
    if (HotSpot() && actionName == pressAction())
      Image()->OnActivate();
    else
      QAccessibleWidget::doAction(actionName);
  }
};

QAccessibleInterface* ImageAccessibleFactory(const QString&, QObject* object) {
  if (TImage* image = dynamic_cast<TImage*>(object)) return new TImageAccessible(image);
  return nullptr;
}

}  // namespace

void InstallImageAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&ImageAccessibleFactory);
    return true;
  }();
  (void)installed;
}
