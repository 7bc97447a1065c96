#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/platform/key_events.h"

namespace wrenfold::testing {

// Records every chord posted, as text such as "ctrl+v", and answers with a scripted result.
class FakeKeyEvents final : public KeyEvents {
 public:
  [[nodiscard]] KeyPostResult post(const KeyChord& chord) override {
    posted_.push_back(describe(chord));
    if (result_ == KeyPostResult::posted && onPosted_) {
      onPosted_(chord);
    }
    return result_;
  }

  void whenReady(ReadyHandler ready) override {
    held_ ? readyWaiters_.push_back(std::move(ready)) : ready(true);
  }

  // --- test interface
  // Readiness waits (as for a consent dialog) until `answerReadiness`.
  void holdReadiness() { held_ = true; }
  void answerReadiness(bool ready) {
    held_ = false;
    for (auto& waiter : std::exchange(readyWaiters_, {})) {
      waiter(ready);
    }
  }
  void setResult(KeyPostResult result) { result_ = result; }
  // Runs after each chord that was posted: the target program acting on it.
  void setOnPosted(std::function<void(const KeyChord&)> action) { onPosted_ = std::move(action); }
  [[nodiscard]] const std::vector<std::string>& posted() const { return posted_; }
  [[nodiscard]] static std::string describe(const KeyChord& chord) {
    std::string text;
    for (const auto& [modifier, name] :
         {std::pair{KeyModifier::control, "ctrl+"}, std::pair{KeyModifier::shift, "shift+"},
          std::pair{KeyModifier::alt, "alt+"}, std::pair{KeyModifier::super, "super+"}}) {
      if ((chord.modifiers & static_cast<unsigned>(modifier)) != 0) {
        text += name;
      }
    }
    return text + chord.key;
  }

 private:
  KeyPostResult result_ = KeyPostResult::posted;
  std::vector<std::string> posted_;
  std::function<void(const KeyChord&)> onPosted_;
  bool held_ = false;
  std::vector<ReadyHandler> readyWaiters_;
};

}  // namespace wrenfold::testing
