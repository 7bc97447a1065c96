#include "platform/qt/qt_main_queue.h"

#include <QMetaObject>
#include <QTimer>

namespace wrenfold {

QtMainQueue::QtMainQueue() = default;
QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::post(Task task) {
  QMetaObject::invokeMethod(
      &context_, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

void QtMainQueue::postAfter(std::chrono::milliseconds delay, Task task) {
  // The timer must start on the GUI thread: hop there first, whatever thread calls.
  QMetaObject::invokeMethod(
      &context_,
      [this, delay, task = std::move(task)]() mutable {
        QTimer::singleShot(delay, &context_, std::move(task));
      },
      Qt::QueuedConnection);
}

}  // namespace wrenfold
