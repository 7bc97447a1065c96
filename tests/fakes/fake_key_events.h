#pragma once

#include <string>
#include <vector>

#include "core/platform/key_events.h"

namespace wrenfold::testing {

// Records every chord posted, as text such as "ctrl+v", and answers with a scripted result.
class FakeKeyEvents final : public KeyEvents {
 public:
  [[nodiscard]] KeyPostResult post(const KeyChord& chord) override;

  // --- test interface
  void setResult(KeyPostResult result) { result_ = result; }
  [[nodiscard]] const std::vector<std::string>& posted() const { return posted_; }
  [[nodiscard]] static std::string describe(const KeyChord& chord);

 private:
  KeyPostResult result_ = KeyPostResult::posted;
  std::vector<std::string> posted_;
};

}  // namespace wrenfold::testing
