#pragma once

// An in-process notification centre: any thread may post; observers are called on the main
// thread, through the main queue. Used for requests that cross the layers without a direct
// reference, such as the overlay asking for the settings window.

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform/main_queue.h"

namespace wrenfold {

// Posted by the overlay's error view; the application opens the settings window.
inline constexpr std::string_view kOpenSettingsRequested = "WrenfoldOpenSettingsRequested";

struct Notification {
  std::string name;
  std::map<std::string, std::string> userInfo;
};

class NotificationCenter {
 public:
  using Observer = std::function<void(const Notification&)>;
  using Token = std::size_t;

  // `mainQueue` outlives the centre, and the centre outlives the tasks it posted (it lives as
  // long as the application).
  explicit NotificationCenter(MainQueue& mainQueue) : mainQueue_(mainQueue) {}
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // Observes notifications named `name`. Any thread.
  Token addObserver(std::string name, Observer observer);
  // After this returns no delivery starts for the token. Any thread.
  void removeObserver(Token token);
  // Delivers to the observers of `notification.name` on the main thread, later. Any thread.
  void post(Notification notification);

 private:
  struct Entry {
    Token token;
    std::string name;
    Observer observer;
  };
  MainQueue& mainQueue_;
  std::mutex mutex_;
  std::vector<Entry> entries_;
  Token lastToken_ = 0;
};

}  // namespace wrenfold
