#pragma once

// The pieces shared by the files that implement AtspiCalls: one measured round trip and the
// conversions between libatspi's types and ours. Not for use outside AtspiCalls.

#include <atspi/atspi.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/atspi_calls.h"

namespace wrenfold {

inline std::optional<std::string> adoptString(gchar* value) {
  if (value == nullptr) {
    return std::nullopt;
  }
  std::string result(value);
  g_free(value);
  return result;
}

inline AtspiText* asText(AtspiAccessible* object) {
  return reinterpret_cast<AtspiText*>(object);
}
inline AtspiEditableText* asEditable(AtspiAccessible* object) {
  return reinterpret_cast<AtspiEditableText*>(object);
}
inline AtspiComponent* asComponent(AtspiAccessible* object) {
  return reinterpret_cast<AtspiComponent*>(object);
}

// libatspi's offsets are gint; ours are 64-bit. Out-of-range values never reach the toolkit.
inline bool fitsInt(std::int64_t value) {
  return value >= INT_MIN && value <= INT_MAX;
}
inline gint toInt(std::int64_t value) {
  return static_cast<gint>(value);
}

// One round trip: measures it and tells AtspiCalls whether the application stopped answering.
class AtspiCalls::Call {
 public:
  // A write gets its own, longer deadline: the program may take its time to lay out what it
  // was given, and a write abandoned early may still land after the caller tried another way.
  enum class Deadline { read, write };

  Call(AtspiCalls& calls, AtspiAccessible* object, Deadline deadline = Deadline::read)
      : calls_(calls),
        object_(object),
        limit_(deadline == Deadline::write ? calls.limits_.writeTimeout : readLimit(calls, object)),
        start_(std::chrono::steady_clock::now()) {
    calls_.applyTimeout(limit_);
  }
  ~Call() { calls_.record(object_, std::chrono::steady_clock::now() - start_, limit_); }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  [[nodiscard]] GError** error() { return slot_.out(); }
  [[nodiscard]] bool ok() const { return !slot_.failed(); }
  // Failed after (nearly) the whole deadline: the program did not answer.
  [[nodiscard]] bool timedOut() const {
    return slot_.failed() && std::chrono::steady_clock::now() - start_ >= limit_ * 9 / 10;
  }
  // A write's answer.
  [[nodiscard]] WriteResult written(gboolean done) const {
    if (timedOut()) {
      return WriteResult::timedOut;
    }
    return ok() && done != FALSE ? WriteResult::written : WriteResult::refused;
  }

 private:
  // What the program is still allowed; callers have checked that some time is left.
  static std::chrono::milliseconds readLimit(AtspiCalls& calls, AtspiAccessible* object) {
    return calls.patience_.allowance(applicationBusName(object)).value_or(std::chrono::milliseconds(1));
  }

  AtspiCalls& calls_;
  AtspiAccessible* object_;
  std::chrono::milliseconds limit_;
  std::chrono::steady_clock::time_point start_;
  GErrorSlot slot_;
};

}  // namespace wrenfold
