// The signal that wakes the window thread for the worker's synchronous routines.
#include "Installfont/wakeup.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>

#include "platform/threads.h"

TSynchronizeWakeup::TSynchronizeWakeup(QObject* parent) : QObject(parent) {
  if (!signal_->IsOpen()) {
    // No signal: fall back to posting an event to the application.
    previous_ = platform::SetSynchronizeWakeup([] {
      if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [] { platform::CheckSynchronize(); }, Qt::QueuedConnection);
    });
    return;
  }
  notifier_ = new QSocketNotifier(signal_->Handle(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    signal_->Drain();
    platform::CheckSynchronize();
  });
  previous_ = platform::SetSynchronizeWakeup([signal = signal_] { signal->Raise(); });
}

TSynchronizeWakeup::~TSynchronizeWakeup() {
  // The application's own wake-up serves again once the window's signal is gone.
  platform::SetSynchronizeWakeup(std::move(previous_));
}
