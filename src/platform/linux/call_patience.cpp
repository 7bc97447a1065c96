#include "platform/linux/call_patience.h"

#include <algorithm>

namespace wrenfold {
namespace {

// Bounds the memory a long session with many silent programs can take.
constexpr std::size_t kMaxKnownSilences = 4096;

}  // namespace

CallPatience::Bound::Bound(CallPatience& patience, TimePoint until)
    : patience_(patience), previous_(patience.until_) {
  patience_.until_ = previous_ ? std::min(*previous_, until) : until;
}

bool CallPatience::paused(std::string_view program) {
  const auto it = silences_.find(program);
  if (it == silences_.end() || !it->second.pausedUntil) {
    return false;
  }
  if (now_() < *it->second.pausedUntil) {
    return true;
  }
  silences_.erase(it);  // the pause is over: the program starts afresh
  return false;
}

std::chrono::steady_clock::duration CallPatience::silentFor(std::string_view program) {
  const auto it = silences_.find(program);
  // Silence long past is no sign of the program now: it may have been asked nothing since.
  if (it == silences_.end() || now_() - it->second.lastEnded > limits_.hangBound) {
    return {};
  }
  return it->second.length;
}

std::optional<std::chrono::milliseconds> CallPatience::allowance(std::string_view program) {
  if (paused(program)) {
    return std::nullopt;
  }
  auto left = limits_.hangBound - silentFor(program);
  if (until_) {
    left = std::min(left, *until_ - now_());
  }
  const auto allowed = std::chrono::ceil<std::chrono::milliseconds>(left);
  return allowed.count() > 0 ? std::optional(allowed) : std::nullopt;
}

bool CallPatience::record(std::string_view program, std::chrono::steady_clock::duration elapsed,
                          bool answered) {
  if (answered || program.empty()) {
    if (const auto it = silences_.find(program); it != silences_.end() && !it->second.pausedUntil) {
      silences_.erase(it);
    }
    return false;
  }
  const auto before = silentFor(program);
  if (silences_.size() >= kMaxKnownSilences && !silences_.contains(program)) {
    silences_.clear();
  }
  Silence& silence = silences_[std::string(program)];
  silence.length = before + elapsed;
  silence.lastEnded = now_();
  if (silence.length < limits_.hangBound * 9 / 10) {
    return false;
  }
  silence.length = {};
  silence.pausedUntil = silence.lastEnded + limits_.pause;
  return true;
}

void CallPatience::forgive(std::string_view program) {
  if (const auto it = silences_.find(program); it != silences_.end()) {
    silences_.erase(it);
  }
}

}  // namespace wrenfold
