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

  [[nodiscard]] std::optional<std::string> string(const std::string& key) const override {
    const auto it = values_.find(key);
    if (it == values_.end() || !std::holds_alternative<std::string>(it->second)) {
      return std::nullopt;
    }
    return std::get<std::string>(it->second);
  }
  [[nodiscard]] bool contains(const std::string& key) const override { return values_.contains(key); }
  [[nodiscard]] Result<void> setString(const std::string& key, const std::string& value) override {
    return write(key, Value(value));
  }
  [[nodiscard]] Result<void> setBool(const std::string& key, bool value) override {
    return write(key, Value(value));
  }
  [[nodiscard]] Result<void> remove(const std::string& key) override { return write(key, std::nullopt); }

  // --- test interface
  void setFailsWrites(bool fails) { failsWrites_ = fails; }
  [[nodiscard]] const std::map<std::string, Value>& values() const { return values_; }

 private:
  [[nodiscard]] Result<void> write(const std::string& key, std::optional<Value> value) {
    if (failsWrites_) {
      return failPlatform("无法写入设置");
    }
    if (value) {
      values_[key] = std::move(*value);
    } else {
      values_.erase(key);
    }
    return {};
  }

  std::map<std::string, Value> values_;
  bool failsWrites_ = false;
};

}  // namespace wrenfold::testing
