#include "platform/linux/linux_accessibility.h"

#include <fstream>
#include <set>

#include "core/text/text.h"
#include "platform/linux/accessibility_bus_status.h"
#include "platform/linux/atspi_calls.h"
#include "platform/linux/atspi_focus_finder.h"
#include "platform/linux/atspi_roles.h"
#include "platform/linux/atspi_text_access.h"
#include "platform/linux/focus_tracker.h"

namespace wrenfold {
namespace {

// Applications a desktop may list per process are few; this only bounds a broken registry.
constexpr int kMaxApplications = 512;

std::string processName(std::int32_t processID) {
  std::ifstream comm("/proc/" + std::to_string(processID) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? std::to_string(processID) : text::repairUtf8(name);
}

// libatspi must be initialised before any other call; a second call is harmless.
bool initialiseAtspi() {
  atspi_init();
  return true;
}

}  // namespace

class LinuxAccessibility::Impl {
 public:
  explicit Impl(const Options& options)
      : initialised_(initialiseAtspi()),
        options_(options),
        calls_({options.callTimeout, options.hungPause}),
        text_(calls_),
        focus_(calls_, tracker_, options.focusSearchLimit) {}

  bool initialised_;
  Options options_;
  AtspiCalls calls_;
  FocusTracker tracker_;
  AtspiTextAccess text_;
  AtspiFocusFinder focus_;
  AccessibilityBusStatus status_;
  std::set<std::int32_t> noticed_;

  [[nodiscard]] bool isApplication(AtspiAccessible* object) {
    return calls_.role(object) == ATSPI_ROLE_APPLICATION;
  }
  [[nodiscard]] bool isPassword(AtspiAccessible* object) {
    return calls_.role(object) == ATSPI_ROLE_PASSWORD_TEXT;
  }

  [[nodiscard]] std::optional<std::string> role(AtspiAccessible* object) {
    const auto atspiRole = calls_.role(object);
    if (!atspiRole) {
      return std::nullopt;
    }
    RoleStates roleStates;
    if (roleNeedsStates(*atspiRole)) {
      const auto states = calls_.states(object);
      roleStates.editable = states && states->has(ATSPI_STATE_EDITABLE);
      roleStates.multiLine = states && states->has(ATSPI_STATE_MULTI_LINE);
    }
    return std::string(axRoleName(*atspiRole, roleStates));
  }

  // Password fields are never read: their text is a secret even when the toolkit would
  // hand it out.
  [[nodiscard]] std::optional<std::string> value(AtspiAccessible* object) {
    if (!calls_.hasText(object) || isPassword(object)) {
      return std::nullopt;
    }
    return text_.value(object);
  }

  [[nodiscard]] std::optional<std::string> selectedText(AtspiAccessible* object) {
    if (!calls_.hasText(object) || isPassword(object)) {
      return std::nullopt;
    }
    return text_.selectedText(object);
  }

  [[nodiscard]] std::optional<std::string> repaired(std::optional<std::string> value) {
    return value ? std::optional(text::repairUtf8(*value)) : std::nullopt;
  }

  [[nodiscard]] GObjectPtr<AtspiAccessible> application(std::int32_t processID) {
    const auto desktop = calls_.desktop();
    const int count = std::min(calls_.childCount(desktop.get()).value_or(0), kMaxApplications);
    GObjectPtr<AtspiAccessible> windowless;
    for (int i = 0; i < count; ++i) {
      auto app = calls_.child(desktop.get(), i);
      if (!app || calls_.processID(app.get()) != processID) {
        continue;
      }
      // A process may register more than one application object; the one with windows counts.
      if (calls_.childCount(app.get()).value_or(0) > 0) {
        return app;
      }
      windowless = std::move(app);
    }
    return windowless;
  }
};

LinuxAccessibility::LinuxAccessibility() : LinuxAccessibility(Options{}) {}
LinuxAccessibility::LinuxAccessibility(Options options) : impl_(std::make_unique<Impl>(options)) {}
LinuxAccessibility::~LinuxAccessibility() = default;

bool LinuxAccessibility::isProcessTrusted() {
  return impl_->status_.isEnabled();
}

void LinuxAccessibility::promptForTrust() {
  static_cast<void>(impl_->status_.enable());
}

std::optional<AccessibilityElement> LinuxAccessibility::applicationElement(std::int32_t processID) {
  return elementFor(impl_->application(processID));
}

std::optional<std::string> LinuxAccessibility::stringAttribute(const AccessibilityElement& element,
                                                               AXAttribute attribute) {
  AtspiAccessible* object = atspiObject(element);
  if (object == nullptr) {
    return std::nullopt;
  }
  switch (attribute) {
    case AXAttribute::role:
      return impl_->role(object);
    case AXAttribute::title:
      return impl_->repaired(impl_->calls_.name(object));
    case AXAttribute::description:
      return impl_->repaired(impl_->calls_.description(object));
    case AXAttribute::value:
      return impl_->value(object);
    case AXAttribute::selectedText:
      return impl_->selectedText(object);
    default:
      return std::nullopt;
  }
}

std::optional<bool> LinuxAccessibility::boolAttribute(const AccessibilityElement& element,
                                                      AXAttribute attribute) {
  AtspiAccessible* object = atspiObject(element);
  if (object == nullptr) {
    return std::nullopt;
  }
  if (attribute == AXAttribute::protectedContent) {
    // AT-SPI has no protected state: password text is its role.
    const auto role = impl_->calls_.role(object);
    return role ? std::optional(*role == ATSPI_ROLE_PASSWORD_TEXT) : std::nullopt;
  }
  if (attribute == AXAttribute::focused) {
    const auto states = impl_->calls_.states(object);
    return states ? std::optional(states->has(ATSPI_STATE_FOCUSED)) : std::nullopt;
  }
  return std::nullopt;
}

std::optional<AccessibilityElement> LinuxAccessibility::elementAttribute(const AccessibilityElement& element,
                                                                         AXAttribute attribute) {
  AtspiAccessible* object = atspiObject(element);
  if (object == nullptr) {
    return std::nullopt;
  }
  switch (attribute) {
    case AXAttribute::focusedUIElement:
      return impl_->isApplication(object) ? elementFor(impl_->focus_.focusedElement(object)) : std::nullopt;
    case AXAttribute::focusedWindow:
      return impl_->isApplication(object) ? elementFor(impl_->focus_.activeWindow(object)) : std::nullopt;
    case AXAttribute::window:
      return elementFor(impl_->focus_.enclosingWindow(object));
    default:
      return std::nullopt;
  }
}

std::optional<std::vector<AccessibilityElement>> LinuxAccessibility::elementListAttribute(
    const AccessibilityElement& element, AXAttribute attribute) {
  AtspiAccessible* object = atspiObject(element);
  if (object == nullptr || attribute != AXAttribute::children) {
    return std::nullopt;
  }
  const auto count = impl_->calls_.childCount(object);
  if (!count) {
    return std::nullopt;
  }
  std::vector<AccessibilityElement> children;
  const int listed = std::min(*count, impl_->options_.childrenLimit);
  children.reserve(static_cast<std::size_t>(listed));
  for (int i = 0; i < listed; ++i) {
    if (auto child = elementFor(impl_->calls_.child(object, i))) {
      children.push_back(std::move(*child));
    }
  }
  return children;
}

std::optional<TextRange> LinuxAccessibility::rangeAttribute(const AccessibilityElement& element,
                                                            AXAttribute attribute) {
  AtspiAccessible* object = atspiObject(element);
  if (object == nullptr || attribute != AXAttribute::selectedTextRange) {
    return std::nullopt;
  }
  return impl_->text_.selectedRange(object);
}

std::optional<Point> LinuxAccessibility::pointAttribute(const AccessibilityElement& element,
                                                        AXAttribute attribute) {
  AtspiAccessible* object = atspiObject(element);
  if (object == nullptr || attribute != AXAttribute::position || !impl_->calls_.hasComponent(object)) {
    return std::nullopt;
  }
  const auto extents = impl_->calls_.screenExtents(object);
  return extents ? std::optional(Point{extents->x, extents->y}) : std::nullopt;
}

std::optional<Size> LinuxAccessibility::sizeAttribute(const AccessibilityElement& element,
                                                      AXAttribute attribute) {
  AtspiAccessible* object = atspiObject(element);
  if (object == nullptr || attribute != AXAttribute::size || !impl_->calls_.hasComponent(object)) {
    return std::nullopt;
  }
  const auto extents = impl_->calls_.screenExtents(object);
  return extents ? std::optional(Size{extents->width, extents->height}) : std::nullopt;
}

bool LinuxAccessibility::setString(const AccessibilityElement& element, AXAttribute attribute,
                                   std::string_view value) {
  AtspiAccessible* object = atspiObject(element);
  if (object == nullptr || impl_->isPassword(object)) {
    return false;
  }
  const std::string text = text::repairUtf8(value);
  if (attribute == AXAttribute::selectedText) {
    return impl_->text_.replaceSelection(object, text);
  }
  if (attribute == AXAttribute::value) {
    return impl_->text_.replaceAll(object, text);
  }
  return false;
}

bool LinuxAccessibility::setRange(const AccessibilityElement& element, AXAttribute attribute,
                                  TextRange value) {
  AtspiAccessible* object = atspiObject(element);
  if (object == nullptr || attribute != AXAttribute::selectedTextRange) {
    return false;
  }
  return impl_->text_.select(object, value);
}

bool LinuxAccessibility::setBool(const AccessibilityElement& element, AXAttribute attribute, bool value) {
  AtspiAccessible* object = atspiObject(element);
  if (object == nullptr || attribute != AXAttribute::focused || !value ||
      !impl_->calls_.hasComponent(object)) {
    return false;
  }
  return impl_->calls_.grabFocus(object);
}

std::optional<std::string> LinuxAccessibility::takeApplicationNotice(std::int32_t processID) {
  if (impl_->noticed_.contains(processID) || !isProcessTrusted()) {
    return std::nullopt;
  }
  const auto app = impl_->application(processID);
  if (app && impl_->calls_.childCount(app.get()).value_or(0) > 0) {
    return std::nullopt;
  }
  impl_->noticed_.insert(processID);
  return "“" + processName(processID) +
         "”没有向辅助功能公开界面文字。如果它在开启辅助功能之前就已启动，请重新启动它后再试。";
}

}  // namespace wrenfold
