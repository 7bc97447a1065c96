#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace wrenfold {

// Change notification for main-thread objects that a view draws from: listeners are told
// after each change and redraw. Not thread-safe by design (main thread only).
class Observable {
 public:
  using Listener = std::function<void()>;
  using Token = std::size_t;

  Token addListener(Listener listener) {
    listeners_.emplace_back(++lastToken_, std::move(listener));
    return lastToken_;
  }
  void removeListener(Token token) {
    std::erase_if(listeners_, [token](const auto& entry) { return entry.first == token; });
  }

 protected:
  Observable() = default;
  ~Observable() = default;
  Observable(const Observable&) = delete;
  Observable& operator=(const Observable&) = delete;

  void notifyChanged() {
    // A listener may add or remove listeners while being told: iterate over a copy.
    const auto snapshot = listeners_;
    for (const auto& [token, listener] : snapshot) {
      listener();
    }
  }

 private:
  std::vector<std::pair<Token, Listener>> listeners_;
  Token lastToken_ = 0;
};

}  // namespace wrenfold
