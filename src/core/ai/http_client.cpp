#include "core/ai/http_client.h"

namespace wrenfold {

void HttpCancellation::cancel() {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) {
      return;
    }
    cancelled_ = true;
    wake.swap(wake_);
  }
  if (wake) {
    wake();  // outside the lock: the client may look at isCancelled() from it
  }
}

bool HttpCancellation::isCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

void HttpCancellation::onCancel(std::function<void()> wake) {
  {
    std::lock_guard lock(mutex_);
    if (!cancelled_) {
      wake_ = std::move(wake);
      return;
    }
  }
  if (wake) {
    wake();
  }
}

}  // namespace wrenfold
