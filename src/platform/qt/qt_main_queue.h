#pragma once

#include <QObject>

#include "core/platform/main_queue.h"

namespace wrenfold {

// The main queue on Qt's event loop. Delays are timers on the GUI thread, never sleeps: the
// paste target pulls the clipboard through this same loop while we wait.
class QtMainQueue final : public MainQueue {
 public:
  // Must be created on the GUI thread, after the QGuiApplication.
  QtMainQueue();
  ~QtMainQueue() override;

  void post(Task task) override;
  void postAfter(std::chrono::milliseconds delay, Task task) override;

 private:
  QObject context_;  // lives on the GUI thread; tasks run in its thread, and die with it
};

}  // namespace wrenfold
