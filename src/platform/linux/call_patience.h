#pragma once

// How long a call to another program may wait, and when that program is taken for hung. A
// program is judged by what it does, not by how fast: one that answers, however slowly, keeps
// being asked; one that leaves a call unanswered for the whole `hangBound` is left alone for
// `pause`. A read may bound every call until its own deadline, so a slow program costs the read
// its budget and no more; a call cut short by such a bound says nothing about the program (its
// answer may be on its way), so it never pauses it. A program that stays silent after its pause
// is left alone twice as long each time (up to `longestPause`), so one that never answers costs
// a wait now and then, not one per trigger. Main thread only.

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace wrenfold {

class CallPatience {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  using Clock = std::function<TimePoint()>;

  struct Limits {
    std::chrono::milliseconds hangBound{2000};
    std::chrono::milliseconds pause{3000};
    std::chrono::milliseconds longestPause{60000};
  };

  explicit CallPatience(Limits limits, Clock now = &std::chrono::steady_clock::now)
      : limits_(limits), now_(std::move(now)) {}

  // Bounds the calls made while it lives by `until` (nested bounds: the earliest holds).
  class Bound {
   public:
    Bound(CallPatience& patience, TimePoint until);
    ~Bound() { patience_.until_ = previous_; }
    Bound(const Bound&) = delete;
    Bound& operator=(const Bound&) = delete;

   private:
    CallPatience& patience_;
    std::optional<TimePoint> previous_;
  };
  // Sets (or, absent, lifts) the bound outright, for a caller that cannot hold a `Bound`.
  void setBound(std::optional<TimePoint> until) { until_ = until; }

  // True while `program` is left alone after a call it did not answer.
  [[nodiscard]] bool paused(std::string_view program);
  // How long the next call to `program` may wait; absent when it must not be made (the program
  // is paused, or the bound in force has passed).
  [[nodiscard]] std::optional<std::chrono::milliseconds> allowance(std::string_view program);
  // A call to `program` that was allowed `allowed` ended, `answered` or not. True when that
  // made the program hung.
  bool record(std::string_view program, std::chrono::milliseconds allowed, bool answered);
  // Lifts the pause (the caller waits for an answer in its own way).
  void forgive(std::string_view program) { silent_.erase(std::string(program)); }

 private:
  Limits limits_;
  Clock now_;
  std::optional<TimePoint> until_;
  struct Silence {
    TimePoint pausedUntil;
    std::chrono::milliseconds lastPause;
  };
  std::map<std::string, Silence, std::less<>> silent_;  // by application bus name, until it answers
};

}  // namespace wrenfold
