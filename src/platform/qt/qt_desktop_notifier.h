#pragma once

// User notifications through the desktop's notification service
// (org.freedesktop.Notifications on the session bus). When no service answers, the message goes
// to a fallback (the tray's balloon). Main thread only.

#include <functional>
#include <memory>
#include <string>

#include "core/platform/user_notifier.h"

namespace wrenfold {

class QtDesktopNotifier final : public UserNotifier {
 public:
  using Fallback = std::function<void(const std::string& title, const std::string& body)>;

  // `fallback` may be empty: then a message no service takes is dropped.
  explicit QtDesktopNotifier(Fallback fallback);
  ~QtDesktopNotifier() override;

  // Asks the service without waiting for it; its refusal or absence is answered later, on the
  // event loop, by the fallback.
  void notify(std::string title, std::string body) override;

 private:
  // Shared with calls still pending, so an answer after this object is gone does nothing.
  std::shared_ptr<Fallback> fallback_;
};

}  // namespace wrenfold
