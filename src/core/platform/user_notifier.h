#pragma once

// The user-notification port: a short message shown outside Wrenfold's own windows (a desktop
// notification, or the tray's balloon when the session has no notification service). Main
// thread only.

#include <string>

namespace wrenfold {

class UserNotifier {
 public:
  UserNotifier() = default;
  virtual ~UserNotifier() = default;
  UserNotifier(const UserNotifier&) = delete;
  UserNotifier& operator=(const UserNotifier&) = delete;

  // Shows `body` under `title`; returns at once. Failures are not reported: a back-end whose
  // first way fails falls back to the next one on its own.
  virtual void notify(std::string title, std::string body) = 0;
};

}  // namespace wrenfold
