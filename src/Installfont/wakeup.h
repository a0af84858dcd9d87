#pragma once
// Wakes the window thread's event loop when the worker hands it a routine: the platform's
// wake-up signal, which a socket notifier watches. The worker thus never calls into Qt, not even
// to post an event.

#include <QObject>
#include <functional>
#include <memory>

#include "platform/wakeup.h"

class QSocketNotifier;

class TSynchronizeWakeup : public QObject {
 public:
  explicit TSynchronizeWakeup(QObject* parent);
  ~TSynchronizeWakeup() override;

 private:
  // Shared with the wake-up routine, which a worker may still be calling when the window goes.
  std::shared_ptr<platform::WakeupSignal> signal_ = std::make_shared<platform::WakeupSignal>();
  QSocketNotifier* notifier_ = nullptr;
  std::function<void()> previous_;
};
