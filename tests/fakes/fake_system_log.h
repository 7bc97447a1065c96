#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/support/system_log.h"

namespace wrenfold::testing {

// Keeps what reaches the system log, from any thread (the logger writes from its own).
class RecordingSystemLog final : public SystemLog {
 public:
  using Entry = std::pair<LogLevel, std::string>;
  void write(LogLevel level, std::string_view message) override {
    std::lock_guard lock(mutex_);
    entries_.emplace_back(level, message);
  }
  [[nodiscard]] std::vector<Entry> entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  // Each entry as "ERROR message" or "INFO message".
  [[nodiscard]] std::vector<std::string> lines() const {
    std::vector<std::string> lines;
    for (const auto& [level, message] : entries()) {
      lines.push_back((level == LogLevel::error ? "ERROR " : "INFO ") + message);
    }
    return lines;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

// A system log that keeps nothing.
class SilentSystemLog final : public SystemLog {
 public:
  void write(LogLevel, std::string_view) override {}
};

}  // namespace wrenfold::testing
