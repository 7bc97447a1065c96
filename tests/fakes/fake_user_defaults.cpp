#include "fakes/fake_user_defaults.h"

namespace wrenfold::testing {

std::optional<std::string> FakeUserDefaults::string(const std::string& key) const {
  const auto it = values_.find(key);
  if (it == values_.end() || !std::holds_alternative<std::string>(it->second)) {
    return std::nullopt;
  }
  return std::get<std::string>(it->second);
}

Result<void> FakeUserDefaults::setString(const std::string& key, const std::string& value) {
  return write(key, Value(value));
}

Result<void> FakeUserDefaults::setBool(const std::string& key, bool value) {
  return write(key, Value(value));
}

Result<void> FakeUserDefaults::remove(const std::string& key) {
  return write(key, std::nullopt);
}

Result<void> FakeUserDefaults::write(const std::string& key, std::optional<Value> value) {
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

}  // namespace wrenfold::testing
