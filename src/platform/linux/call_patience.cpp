#include "platform/linux/call_patience.h"

#include <algorithm>

namespace wrenfold {
namespace {

// Bounds the memory a long session with many hung programs can take.
constexpr std::size_t kMaxPaused = 4096;

}  // namespace

CallPatience::Bound::Bound(CallPatience& patience, TimePoint until)
    : patience_(patience), previous_(patience.until_) {
  patience_.until_ = previous_ ? std::min(*previous_, until) : until;
}

bool CallPatience::paused(std::string_view program) {
  const auto it = silent_.find(program);
  return it != silent_.end() && now_() < it->second.pausedUntil;
}

std::optional<std::chrono::milliseconds> CallPatience::allowance(std::string_view program) {
  if (paused(program)) {
    return std::nullopt;
  }
  auto left = std::chrono::steady_clock::duration(limits_.hangBound);
  if (until_) {
    left = std::min(left, *until_ - now_());
  }
  const auto allowed = std::chrono::ceil<std::chrono::milliseconds>(left);
  return allowed.count() > 0 ? std::optional(allowed) : std::nullopt;
}

bool CallPatience::record(std::string_view program, std::chrono::milliseconds allowed, bool answered) {
  if (answered) {
    if (const auto it = silent_.find(program); it != silent_.end()) {
      silent_.erase(it);
    }
    return false;
  }
  if (allowed < limits_.hangBound || program.empty()) {
    return false;
  }
  if (silent_.size() >= kMaxPaused) {
    silent_.clear();
  }
  auto pause = limits_.pause;
  if (const auto it = silent_.find(program); it != silent_.end()) {
    pause = std::min(it->second.lastPause * 2, std::max(limits_.longestPause, limits_.pause));
  }
  silent_.insert_or_assign(std::string(program), Silence{now_() + pause, pause});
  return true;
}

}  // namespace wrenfold
