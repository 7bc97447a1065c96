#include "core/support/system_log.h"

#include <syslog.h>

#include <string>

namespace wrenfold {
namespace {

// syslog() is thread-safe; on systemd systems its entries reach the journal.
class Syslog final : public SystemLog {
 public:
  Syslog() { ::openlog("wrenfold", LOG_PID, LOG_USER); }

  void write(LogLevel level, std::string_view message) override {
    const int priority = level == LogLevel::error ? LOG_ERR : LOG_INFO;
    const std::string text(message);
    ::syslog(priority, "%s", text.c_str());
  }
};

}  // namespace

std::shared_ptr<SystemLog> makeSyslog() {
  return std::make_shared<Syslog>();
}

}  // namespace wrenfold
