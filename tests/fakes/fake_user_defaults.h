#pragma once

#include <map>
#include <string>
#include <variant>

#include "core/platform/user_defaults.h"

namespace wrenfold::testing {

// User defaults in memory, keeping each value's type; writes can be made to fail.
class FakeUserDefaults final : public UserDefaults {
 public:
  using Value = std::variant<bool, std::string>;

  [[nodiscard]] std::optional<std::string> string(const std::string& key) const override;
  [[nodiscard]] bool contains(const std::string& key) const override { return values_.contains(key); }
  [[nodiscard]] Result<void> setString(const std::string& key, const std::string& value) override;
  [[nodiscard]] Result<void> setBool(const std::string& key, bool value) override;
  [[nodiscard]] Result<void> remove(const std::string& key) override;

  // --- test interface
  void setFailsWrites(bool fails) { failsWrites_ = fails; }
  [[nodiscard]] const std::map<std::string, Value>& values() const { return values_; }

 private:
  [[nodiscard]] Result<void> write(const std::string& key, std::optional<Value> value);

  std::map<std::string, Value> values_;
  bool failsWrites_ = false;
};

}  // namespace wrenfold::testing
