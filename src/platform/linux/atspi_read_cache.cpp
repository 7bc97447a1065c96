#include "platform/linux/atspi_read_cache.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace wrenfold {
namespace {

constexpr std::string_view kChildrenChanged = "object:children-changed";
constexpr std::string_view kTextChanged = "object:text-changed";
constexpr std::string_view kBoundsChanged = "object:bounds-changed";
constexpr std::array<std::string_view, 2> kRoleStateChanges{"object:state-changed:editable",
                                                            "object:state-changed:multi-line"};
// Bounds the memory a long session with many applications can take.
constexpr std::size_t kMaxEntries = 20000;

}  // namespace

AtspiReadCache::AtspiReadCache()
    : listener_(atspi_event_listener_new(&AtspiReadCache::onEvent, this, nullptr)),
      desktop_(atspi_get_desktop(0)) {
  listening_ = true;
  for (const char* event : ApplicationChanges::kAlteringEvents) {
    GErrorSlot error;
    listening_ = listening_ && atspi_event_listener_register(listener_.get(), event, error.out()) != FALSE;
  }
}

AtspiReadCache::~AtspiReadCache() {
  for (const char* event : ApplicationChanges::kAlteringEvents) {
    GErrorSlot error;
    static_cast<void>(atspi_event_listener_deregister(listener_.get(), event, error.out()));
  }
}

AtspiReadCache::Entry* AtspiReadCache::find(AtspiAccessible* object) {
  if (!listening_) {
    return nullptr;
  }
  const auto it = slots_.find(object);
  return it == slots_.end() ? nullptr : &it->second.entry;
}

AtspiReadCache::Entry* AtspiReadCache::entry(AtspiAccessible* object) {
  if (!listening_ || object == nullptr) {
    return nullptr;
  }
  if (const auto it = slots_.find(object); it != slots_.end()) {
    return &it->second.entry;
  }
  if (slots_.size() >= kMaxEntries) {
    slots_.clear();
    parents_.clear();
  }
  return &slots_.emplace(object, Slot{retained(object), {}}).first->second.entry;
}

void AtspiReadCache::forget(AtspiAccessible* object) {
  slots_.erase(object);
}

void AtspiReadCache::keepChildren(AtspiAccessible* object, std::vector<AccessibilityElement> children) {
  Entry* known = entry(object);
  if (known == nullptr) {
    return;
  }
  if (parents_.size() >= kMaxEntries) {
    parents_.clear();  // only makes some changes drop more than needed
  }
  for (const auto& child : children) {
    parents_.insert_or_assign(atspiObject(child), object);
  }
  known->children = std::move(children);
}

AtspiAccessible* AtspiReadCache::windowOf(AtspiAccessible* object) const {
  if (!listening_) {
    return nullptr;
  }
  const auto it = windows_.find(object);
  return it == windows_.end() ? nullptr : it->second.window.get();
}

void AtspiReadCache::keepWindow(AtspiAccessible* object, AtspiAccessible* window) {
  if (!listening_ || object == nullptr || window == nullptr) {
    return;
  }
  if (windows_.size() >= kMaxEntries) {
    windows_.clear();
  }
  windows_.insert_or_assign(object, WindowLink{retained(object), retained(window)});
}

std::optional<std::uint64_t> AtspiReadCache::changeStamp(AtspiAccessible* object) const {
  const std::string_view bus = applicationBusName(object);
  if (!listening_ || bus.empty()) {
    return std::nullopt;
  }
  return changes_.stamp(bus);
}

void AtspiReadCache::forgetChildren(AtspiAccessible* object) {
  if (const auto it = slots_.find(object); it != slots_.end()) {
    it->second.entry.children.reset();
  }
}

void AtspiReadCache::onEvent(AtspiEvent* event, void* self) {
  if (event == nullptr) {
    return;
  }
  static_cast<AtspiReadCache*>(self)->handle(*event);
  g_boxed_free(atspi_event_get_type(), event);  // the callback owns the event
}

void AtspiReadCache::handle(const AtspiEvent& event) {
  if (event.source == nullptr || event.type == nullptr) {
    return;
  }
  // No round trip here: an application that hangs must not stall event dispatch.
  const std::string_view type(event.type);
  if (const std::string_view bus = applicationBusName(event.source); !bus.empty()) {
    changes_.note(bus, type);
  }
  if (type.starts_with(kBoundsChanged)) {
    forgetChildren(event.source);
    if (const auto parent = parents_.find(event.source); parent != parents_.end()) {
      forgetChildren(parent->second);
    }
    return;
  }
  if (type.starts_with(kChildrenChanged)) {
    windows_.clear();
    if (event.source == desktop_.get()) {
      ++applicationsGeneration_;
    }
  }
  const auto it = slots_.find(event.source);
  if (it == slots_.end()) {
    return;
  }
  Entry& entry = it->second.entry;
  if (type.starts_with(kChildrenChanged)) {
    entry.children.reset();
  } else if (type.starts_with(kTextChanged)) {
    entry.text.reset();
  } else if (std::ranges::any_of(kRoleStateChanges,
                                 [type](std::string_view state) { return type == state; })) {
    entry.roleStates.reset();
  }
}

}  // namespace wrenfold
