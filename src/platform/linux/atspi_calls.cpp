#include "platform/linux/atspi_calls.h"

#include <utility>

#include "platform/linux/atspi_round_trip.h"

namespace wrenfold {
namespace {

using std::chrono::steady_clock;

// Bounds the memory a long session with many applications can take.
constexpr std::size_t kMaxKnownRoles = 50000;
constexpr std::size_t kMaxKnownProcesses = 4096;

}  // namespace

AtspiCalls::AtspiCalls(Limits limits)
    : limits_(limits), patience_(CallPatience::Limits{limits.hangTimeout, limits.hungPause}) {
  // No longer grace period for freshly started applications: one that hangs while starting
  // must not freeze us either.
  applyTimeout(limits_.hangTimeout);
}

void AtspiCalls::applyTimeout(std::chrono::milliseconds limit) {
  // libatspi holds one timeout for every call; it is set only when it changes.
  if (limit != appliedTimeout_) {
    atspi_set_timeout(static_cast<gint>(limit.count()), 0);
    appliedTimeout_ = limit;
  }
}

bool AtspiCalls::available(AtspiAccessible* object) {
  return object != nullptr && !patience_.paused(applicationBusName(object));
}

bool AtspiCalls::answerable(AtspiAccessible* object) {
  return object != nullptr && patience_.allowance(applicationBusName(object)).has_value();
}

void AtspiCalls::record(AtspiAccessible* object, steady_clock::duration elapsed,
                        std::chrono::milliseconds limit) {
  // A call that took (nearly) the whole wait is the application not answering, whether or not
  // libatspi tells an error (many of its calls hand back a default value instead); any other
  // outcome is an answer, however late.
  const bool answered = elapsed < limit * 9 / 10;
  if (patience_.record(applicationBusName(object), limit, answered)) {
    ++timedOutCalls_;
  }
}

GObjectPtr<AtspiAccessible> AtspiCalls::desktop() {
  return GObjectPtr<AtspiAccessible>(atspi_get_desktop(0));
}

std::optional<AtspiRole> AtspiCalls::role(AtspiAccessible* object) {
  // A paused application reads absent throughout, remembered or not.
  if (!available(object)) {
    return std::nullopt;
  }
  if (const auto known = roles_.find(object); known != roles_.end()) {
    return known->second.role;
  }
  if (!answerable(object)) {
    return std::nullopt;
  }
  AtspiRole role = ATSPI_ROLE_INVALID;
  {
    Call call(*this, object);
    role = atspi_accessible_get_role(object, call.error());
    if (!call.ok()) {
      return std::nullopt;
    }
  }
  if (role == ATSPI_ROLE_INVALID) {
    return role;  // a failing or vanishing element, not a role to remember
  }
  if (roles_.size() >= kMaxKnownRoles) {
    roles_.clear();
  }
  roles_.emplace(object, KnownRole{retained(object), role});
  return role;
}

void AtspiCalls::rememberRole(AtspiAccessible* object, AtspiRole role) {
  if (object == nullptr || role == ATSPI_ROLE_INVALID || roles_.contains(object)) {
    return;
  }
  if (roles_.size() >= kMaxKnownRoles) {
    roles_.clear();
  }
  roles_.emplace(object, KnownRole{retained(object), role});
}

std::optional<std::vector<TreeItem>> AtspiCalls::tree(AtspiAccessible* application) {
  const auto allowed = application ? patience_.allowance(applicationBusName(application)) : std::nullopt;
  if (!allowed) {
    return std::nullopt;
  }
  // A big tree (LibreOffice lists thousands of elements) takes its application longer to list
  // than one call may: a slow answer here is no sign of a hang, and the read goes on element by
  // element; an application that really hangs is paused by its next calls.
  bool stalled = false;
  return fetchTree(application, *allowed, stalled);
}

std::optional<AtspiStates> AtspiCalls::states(AtspiAccessible* object) {
  if (!answerable(object)) {
    return std::nullopt;
  }
  Call call(*this, object);
  GObjectPtr<AtspiStateSet> set(atspi_accessible_get_state_set(object));
  if (!set) {
    return std::nullopt;
  }
  GArray* list = atspi_state_set_get_states(set.get());
  std::uint64_t bits = 0;
  if (list != nullptr) {
    const auto* values = static_cast<const AtspiStateType*>(static_cast<const void*>(list->data));
    for (guint i = 0; i < list->len; ++i) {
      if (values[i] < 64) {
        bits |= std::uint64_t{1} << static_cast<unsigned>(values[i]);
      }
    }
    g_array_free(list, TRUE);
  }
  const AtspiStates states(bits);
  if (states.has(ATSPI_STATE_DEFUNCT)) {
    return std::nullopt;
  }
  return states;
}

std::optional<std::string> AtspiCalls::name(AtspiAccessible* object) {
  if (!answerable(object)) {
    return std::nullopt;
  }
  Call call(*this, object);
  auto value = adoptString(atspi_accessible_get_name(object, call.error()));
  return call.ok() ? value : std::nullopt;
}

std::optional<std::string> AtspiCalls::description(AtspiAccessible* object) {
  if (!answerable(object)) {
    return std::nullopt;
  }
  Call call(*this, object);
  auto value = adoptString(atspi_accessible_get_description(object, call.error()));
  return call.ok() ? value : std::nullopt;
}

std::optional<int> AtspiCalls::childCount(AtspiAccessible* object) {
  if (!answerable(object)) {
    return std::nullopt;
  }
  Call call(*this, object);
  const gint count = atspi_accessible_get_child_count(object, call.error());
  return call.ok() && count >= 0 ? std::optional<int>(count) : std::nullopt;
}

GObjectPtr<AtspiAccessible> AtspiCalls::child(AtspiAccessible* object, int index) {
  if (!answerable(object)) {
    return nullptr;
  }
  Call call(*this, object);
  GObjectPtr<AtspiAccessible> result(atspi_accessible_get_child_at_index(object, index, call.error()));
  return call.ok() ? std::move(result) : nullptr;
}

GObjectPtr<AtspiAccessible> AtspiCalls::parent(AtspiAccessible* object) {
  if (!answerable(object)) {
    return nullptr;
  }
  Call call(*this, object);
  GObjectPtr<AtspiAccessible> result(atspi_accessible_get_parent(object, call.error()));
  return call.ok() ? std::move(result) : nullptr;
}

std::optional<std::int32_t> AtspiCalls::processID(AtspiAccessible* object) {
  if (!available(object)) {
    return std::nullopt;
  }
  // A bus name belongs to one process for life, and bus names are never reused.
  const auto bus = applicationBusName(object);
  if (const auto known = processIDs_.find(bus); known != processIDs_.end()) {
    return known->second;
  }
  if (!answerable(object)) {
    return std::nullopt;
  }
  Call call(*this, object);
  const guint pid = atspi_accessible_get_process_id(object, call.error());
  if (!call.ok() || pid == 0 || pid > INT32_MAX) {
    return std::nullopt;
  }
  if (!bus.empty()) {
    if (processIDs_.size() >= kMaxKnownProcesses) {
      processIDs_.clear();
    }
    processIDs_.insert_or_assign(std::string(bus), static_cast<std::int32_t>(pid));
  }
  return static_cast<std::int32_t>(pid);
}

std::string AtspiCalls::toolkitName(AtspiAccessible* object) {
  const auto bus = applicationBusName(object);
  if (const auto known = toolkits_.find(bus); known != toolkits_.end()) {
    return known->second;
  }
  if (!answerable(object)) {
    return {};
  }
  // Qt answers the Application interface only on the application's root object.
  GObjectPtr<AtspiAccessible> application;
  {
    Call call(*this, object);
    application.reset(atspi_accessible_get_application(object, call.error()));
    if (!call.ok() || !application) {
      return {};
    }
  }
  Call call(*this, application.get());
  auto name = adoptString(atspi_accessible_get_toolkit_name(application.get(), call.error()));
  if (!call.ok() || !name) {
    return {};
  }
  if (!bus.empty()) {
    toolkits_.insert_or_assign(std::string(bus), *name);
  }
  return *name;
}

bool AtspiCalls::hasText(AtspiAccessible* object) {
  if (!answerable(object)) {
    return false;
  }
  Call call(*this, object);
  return GObjectPtr<void>(atspi_accessible_get_text_iface(object)) != nullptr;
}

bool AtspiCalls::hasEditableText(AtspiAccessible* object) {
  if (!answerable(object)) {
    return false;
  }
  Call call(*this, object);
  return GObjectPtr<void>(atspi_accessible_get_editable_text_iface(object)) != nullptr;
}

bool AtspiCalls::hasComponent(AtspiAccessible* object) {
  if (!answerable(object)) {
    return false;
  }
  Call call(*this, object);
  return GObjectPtr<void>(atspi_accessible_get_component_iface(object)) != nullptr;
}

GObjectPtr<AtspiAccessible> AtspiCalls::firstMatch(AtspiAccessible* object, AtspiStateType state,
                                                   bool& supported) {
  GObjectPtr<AtspiStateSet> states(atspi_state_set_new(nullptr));
  atspi_state_set_add(states.get(), state);
  GObjectPtr<AtspiMatchRule> rule(
      atspi_match_rule_new(states.get(), ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL,
                           nullptr, ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, FALSE));
  return firstMatch(object, rule.get(), supported);
}

GObjectPtr<AtspiAccessible> AtspiCalls::firstWithRole(AtspiAccessible* object, AtspiRole role,
                                                      bool& supported) {
  GArray* roles = g_array_new(FALSE, FALSE, sizeof(AtspiRole));
  g_array_append_val(roles, role);
  GObjectPtr<AtspiMatchRule> rule(
      atspi_match_rule_new(nullptr, ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, roles,
                           ATSPI_Collection_MATCH_ANY, nullptr, ATSPI_Collection_MATCH_ALL, FALSE));
  g_array_free(roles, TRUE);
  return firstMatch(object, rule.get(), supported);
}

GObjectPtr<AtspiAccessible> AtspiCalls::firstMatch(AtspiAccessible* object, AtspiMatchRule* rule,
                                                   bool& supported) {
  supported = false;
  if (!answerable(object)) {
    return nullptr;
  }
  Call call(*this, object);
  GArray* matches =
      atspi_collection_get_matches(reinterpret_cast<AtspiCollection*>(object), rule,
                                   ATSPI_Collection_SORT_ORDER_CANONICAL, 1, TRUE, call.error());
  if (!call.ok() || matches == nullptr) {
    if (matches != nullptr) {
      g_array_free(matches, TRUE);
    }
    return nullptr;
  }
  supported = true;
  GObjectPtr<AtspiAccessible> first;
  auto* items = static_cast<AtspiAccessible**>(static_cast<void*>(matches->data));
  for (guint i = 0; i < matches->len; ++i) {
    if (i == 0) {
      first.reset(items[i]);
    } else {
      g_object_unref(items[i]);
    }
  }
  g_array_free(matches, TRUE);
  return first;
}

}  // namespace wrenfold
