// The pipe that wakes the window thread for the worker's synchronous routines.
#include "Installfont/wakeup.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <fcntl.h>
#include <unistd.h>

#include "platform/threads.h"

TSynchronizeWakeup::TSynchronizeWakeup(QObject* parent) : QObject(parent) {
  int ends[2];
  if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
    // No pipe: fall back to posting an event to the application.
    previous_ = platform::SetSynchronizeWakeup([] {
      if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [] { platform::CheckSynchronize(); }, Qt::QueuedConnection);
    });
    return;
  }
  readEnd_ = ends[0];
  writeEnd_ = ends[1];
  notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    char drain[64];
    while (read(readEnd_, drain, sizeof drain) > 0) {
    }
    platform::CheckSynchronize();
  });
  const int writeEnd = writeEnd_;
  previous_ = platform::SetSynchronizeWakeup([writeEnd] {
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing is lost.
    [[maybe_unused]] const ssize_t written = write(writeEnd, &byte, 1);
  });
}

TSynchronizeWakeup::~TSynchronizeWakeup() {
  // The application's own wake-up serves again once the window's pipe is gone.
  platform::SetSynchronizeWakeup(std::move(previous_));
  if (readEnd_ >= 0) close(readEnd_);
  if (writeEnd_ >= 0) close(writeEnd_);
}
