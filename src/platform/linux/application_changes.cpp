#include "platform/linux/application_changes.h"

#include <algorithm>
#include <cstddef>

namespace wrenfold {
namespace {

// Bounds the memory a long session with many short-lived applications can take.
constexpr std::size_t kMaxApplications = 1000;

}  // namespace

bool ApplicationChanges::altersReads(std::string_view type) {
  return std::ranges::any_of(kAlteringEvents, [type](std::string_view altering) {
    return type.starts_with(altering) && (type.size() == altering.size() || type[altering.size()] == ':');
  });
}

void ApplicationChanges::note(std::string_view application, std::string_view type) {
  if (!altersReads(type)) {
    return;
  }
  if (stamps_.size() >= kMaxApplications) {
    stamps_.clear();
    floor_ = ++last_;
  }
  stamps_.insert_or_assign(std::string(application), ++last_);
}

std::uint64_t ApplicationChanges::stamp(std::string_view application) const {
  const auto it = stamps_.find(std::string(application));
  return it == stamps_.end() ? floor_ : it->second;
}

}  // namespace wrenfold
