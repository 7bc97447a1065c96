#include "platform/linux/atspi_element_reader.h"

#include <algorithm>
#include <utility>

namespace wrenfold {
namespace {

using std::chrono::steady_clock;

// Applications a desktop may list per process are few; this only bounds a broken registry.
constexpr int kMaxApplications = 512;
// How long a position read serves the size asked right after it.
constexpr auto kExtentsReuse = std::chrono::milliseconds(100);

}  // namespace

bool AtspiElementReader::isApplication(AtspiAccessible* object) {
  return session_.calls().role(object) == ATSPI_ROLE_APPLICATION;
}

bool AtspiElementReader::isPassword(AtspiAccessible* object) {
  return session_.calls().role(object) == ATSPI_ROLE_PASSWORD_TEXT;
}

std::optional<std::string> AtspiElementReader::role(AtspiAccessible* object) {
  const auto atspiRole = session_.calls().role(object);
  if (!atspiRole) {
    return std::nullopt;
  }
  RoleStates states;
  if (roleNeedsStates(*atspiRole)) {
    states = roleStates(object);
  }
  return std::string(axRoleName(*atspiRole, states));
}

RoleStates AtspiElementReader::roleStates(AtspiAccessible* object) {
  if (const auto* entry = session_.known(object); entry && entry->roleStates) {
    return *entry->roleStates;
  }
  const auto states = session_.calls().states(object);
  const RoleStates result{states && states->has(ATSPI_STATE_EDITABLE),
                          states && states->has(ATSPI_STATE_MULTI_LINE)};
  if (states) {
    if (auto* entry = session_.cache().entry(object)) {
      entry->roleStates = result;
    }
  }
  return result;
}

// Password fields are never read: their text is a secret even when the toolkit would hand it
// out. Text that cannot be edited is kept until its application reports a change; the text of
// fields is always read afresh, as the user may just have typed into it.
std::optional<std::string> AtspiElementReader::value(AtspiAccessible* object) {
  if (const auto* entry = session_.known(object); entry && entry->text) {
    return entry->text;
  }
  if (!session_.calls().hasText(object) || isPassword(object)) {
    return std::nullopt;
  }
  const bool editable = session_.calls().hasEditableText(object);
  auto text = session_.text().value(object, editable);
  // Chromium's fields offer no EditableText interface but are editable all the same: their
  // text must be read afresh too, or a paste is never seen arriving.
  if (text && !editable && !roleStates(object).editable) {
    if (auto* entry = session_.cache().entry(object)) {
      entry->text = text;
    }
  }
  return text;
}

std::optional<std::string> AtspiElementReader::selectedText(AtspiAccessible* object) {
  if (!session_.calls().hasText(object) || isPassword(object)) {
    return std::nullopt;
  }
  return session_.text().selectedText(object);
}

GObjectPtr<AtspiAccessible> AtspiElementReader::enclosingWindow(AtspiAccessible* object) {
  if (!session_.calls().available(object)) {
    return nullptr;
  }
  if (AtspiAccessible* window = session_.cache().windowOf(object)) {
    return retained(window);
  }
  auto window = session_.focus().enclosingWindow(object);
  session_.cache().keepWindow(object, window.get());
  return window;
}

// Position and size are asked one after the other for one frame: one round trip answers both.
std::optional<Rect> AtspiElementReader::extents(AtspiAccessible* object, bool forSize) {
  if (forSize && pendingExtents_.object.get() == object && steady_clock::now() < pendingExtents_.until) {
    pendingExtents_.object.reset();
    return pendingExtents_.rect;
  }
  pendingExtents_.object.reset();
  if (!session_.calls().hasComponent(object)) {
    return std::nullopt;
  }
  auto rect = session_.calls().screenExtents(object);
  if (rect && !forSize) {
    pendingExtents_ = PendingExtents{retained(object), *rect, steady_clock::now() + kExtentsReuse};
  }
  return rect;
}

bool AtspiElementReader::insideWebDocument(AtspiAccessible* object) {
  constexpr int kMaxDepth = 64;
  AtspiCalls& calls = session_.calls();
  GObjectPtr<AtspiAccessible> current = calls.parent(object);
  for (int depth = 0; current && depth < kMaxDepth; ++depth) {
    const auto role = calls.role(current.get());
    if (!role || *role == ATSPI_ROLE_APPLICATION) {
      return false;
    }
    if (*role == ATSPI_ROLE_DOCUMENT_WEB) {
      return true;
    }
    current = calls.parent(current.get());
  }
  return false;
}

GObjectPtr<AtspiAccessible> AtspiElementReader::application(std::int32_t processID) {
  AtspiCalls& calls = session_.calls();
  const auto desktop = calls.desktop();
  const int count = std::min(calls.childCount(desktop.get()).value_or(0), kMaxApplications);
  GObjectPtr<AtspiAccessible> windowless;
  for (int i = 0; i < count; ++i) {
    auto app = calls.child(desktop.get(), i);
    if (!app || calls.processID(app.get()) != processID) {
      continue;
    }
    // A process may register more than one application object; the one with windows counts.
    if (calls.childCount(app.get()).value_or(0) > 0) {
      return app;
    }
    windowless = std::move(app);
  }
  return windowless;
}

GObjectPtr<AtspiAccessible> AtspiElementReader::rememberedApplication(std::int32_t processID) {
  AtspiReadCache& cache = session_.cache();
  const auto remembered = applications_.find(processID);
  if (remembered != applications_.end() && remembered->second.generation == cache.applicationsGeneration()) {
    AtspiAccessible* app = remembered->second.object.get();
    if (const auto* entry = session_.known(app); entry && entry->children && !entry->children->empty()) {
      return retained(app);
    }
  }
  auto app = application(processID);
  if (app) {
    learner_.learn(app.get());
  }
  if (app && session_.children(app.get()).value_or(std::vector<AccessibilityElement>{}).empty()) {
    return app;  // windowless: looked up again next time
  }
  if (app) {
    if (applications_.size() >= kMaxApplications) {
      applications_.clear();
    }
    applications_.insert_or_assign(processID,
                                   KnownApplication{retained(app.get()), cache.applicationsGeneration()});
  }
  return app;
}

}  // namespace wrenfold
