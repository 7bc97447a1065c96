#pragma once

#include <memory>
#include <string_view>

namespace wrenfold {

enum class LogLevel { info, error };

// The system log (syslog / the journal, identifier "wrenfold"). A seam so tests can see what
// reaches it when the files cannot be written.
class SystemLog {
 public:
  virtual ~SystemLog() = default;
  virtual void write(LogLevel level, std::string_view message) = 0;
};

// The process's syslog; safe to call from any thread.
[[nodiscard]] std::shared_ptr<SystemLog> makeSyslog();

}  // namespace wrenfold
