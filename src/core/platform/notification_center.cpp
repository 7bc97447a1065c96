#include "core/platform/notification_center.h"

#include <algorithm>

namespace wrenfold {

NotificationCenter::Token NotificationCenter::addObserver(std::string name, Observer observer) {
  std::lock_guard lock(mutex_);
  entries_.push_back({++lastToken_, std::move(name), std::move(observer)});
  return lastToken_;
}

void NotificationCenter::removeObserver(Token token) {
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [token](const Entry& e) { return e.token == token; });
}

void NotificationCenter::post(Notification notification) {
  mainQueue_.post([this, notification = std::move(notification)] {
    // Observers are looked up at delivery, so one removed in the meantime is not called; the
    // calls happen unlocked so an observer may add or remove observers.
    std::vector<std::pair<Token, Observer>> targets;
    {
      std::lock_guard lock(mutex_);
      for (const Entry& e : entries_) {
        if (e.name == notification.name) {
          targets.emplace_back(e.token, e.observer);
        }
      }
    }
    for (const auto& [token, observer] : targets) {
      bool stillThere = false;
      {
        std::lock_guard lock(mutex_);
        stillThere = std::ranges::any_of(entries_, [t = token](const Entry& e) { return e.token == t; });
      }
      if (stillThere) {
        observer(notification);
      }
    }
  });
}

}  // namespace wrenfold
