#pragma once
// Wakes the window thread's event loop when the worker hands it a routine: a byte on a pipe
// that a socket notifier watches. The worker thus never calls into Qt, not even to post an
// event.

#include <QObject>
#include <functional>

class QSocketNotifier;

class TSynchronizeWakeup : public QObject {
 public:
  explicit TSynchronizeWakeup(QObject* parent);
  ~TSynchronizeWakeup() override;

 private:
  int readEnd_ = -1;
  int writeEnd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
  std::function<void()> previous_;
};
