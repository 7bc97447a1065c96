#include "platform/linux/application_changes.h"

#include <algorithm>
#include <array>

namespace wrenfold {
namespace {

// Events toolkits send when what a walk reads changes. GTK 3 sends bounds-changed alone when a
// child is packed into a box or moved within it; Qt sends property-change for names and values.
constexpr std::array<std::string_view, 6> kAltering{"object:children-changed", "object:text-changed",
                                                    "object:state-changed",    "object:property-change",
                                                    "object:bounds-changed",   "object:visible-data-changed"};
// Bounds the memory a long session with many short-lived applications can take.
constexpr std::size_t kMaxApplications = 1000;

}  // namespace

bool ApplicationChanges::altersReads(std::string_view type) {
  return std::ranges::any_of(kAltering, [type](std::string_view altering) {
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
