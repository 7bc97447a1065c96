#include "platform/linux/linux_accessibility.h"

#include <chrono>
#include <utility>

#include "core/text/text.h"
#include "platform/linux/accessibility_notices.h"
#include "platform/linux/atspi_caret_bounds.h"
#include "platform/linux/atspi_element_reader.h"
#include "platform/linux/browser_wake_up.h"
#include "platform/linux/x11_toplevel_geometry.h"

namespace wrenfold {
namespace {

std::optional<std::string> repaired(std::optional<std::string> value) {
  return value ? std::optional(text::repairUtf8(*value)) : std::nullopt;
}

// How long a window's mapping to the screen serves the reads of one trigger.
constexpr auto kMappingReuse = std::chrono::milliseconds(500);

// The window X11 shows for `window`: Qt 5 programs nest frames (KWrite's editor part is one, a
// little smaller than its window in each direction), and only the outermost, the application's
// child, has the client window's size in the toolkit's pixels, which the scale is read from.
GObjectPtr<AtspiAccessible> outermost(AtspiCalls& calls, AtspiAccessible* window) {
  constexpr int kMaxSteps = 16;
  auto current = retained(window);
  for (int step = 0; step < kMaxSteps; ++step) {
    auto parent = calls.parent(current.get());
    if (!parent || calls.role(parent.get()).value_or(ATSPI_ROLE_APPLICATION) == ATSPI_ROLE_APPLICATION) {
      break;
    }
    current = std::move(parent);
  }
  return current;
}

}  // namespace

class LinuxAccessibility::Impl {
 public:
  Impl(std::shared_ptr<Workspace> workspace, const Options& options)
      : options_(options),
        connector_(options),
        notices_(std::move(workspace)),
        toplevels_(options.screenCoordinates ? X11ToplevelGeometry::open() : nullptr) {
    static_cast<void>(connect());
  }

  // What reads elements, set up the first time the accessibility bus answers; null before.
  struct Readers {
    Readers(AtspiSession& atspi, const AccessibilityBusStatus& status, const Options& options)
        : session(atspi), elements(atspi), browsers(atspi, elements, status, options.announcementWait) {}
    AtspiSession& session;
    AtspiElementReader elements;
    BrowserWakeUp browsers;
  };

  [[nodiscard]] Readers* connect() {
    if (!readers_) {
      if (AtspiSession* session = connector_.session()) {
        readers_ = std::make_unique<Readers>(*session, connector_.status(), options_);
      }
    }
    return readers_.get();
  }

  // The readers and the AT-SPI object behind a handle; null for another back-end's handle (handles
  // exist only once the session does).
  [[nodiscard]] std::pair<Readers*, AtspiAccessible*> object(const AccessibilityElement& element) const {
    AtspiAccessible* object = readers_ ? atspiObject(element) : nullptr;
    return {object ? readers_.get() : nullptr, object};
  }

  [[nodiscard]] AtspiConnector& connector() { return connector_; }
  [[nodiscard]] AccessibilityNotices& notices() { return notices_; }
  [[nodiscard]] bool screenCoordinates() const { return options_.screenCoordinates; }
  [[nodiscard]] int timedOutCalls() const { return readers_ ? readers_->session.calls().timedOutCalls() : 0; }

  // How the rectangles reported for elements of `object`'s window become X11 screen pixels, and
  // the coordinates to ask them in: the identity on screen coordinates when X11 cannot tell.
  struct Mapping {
    ToplevelMapping toScreen;
    Size window;  // the window's reported size
    [[nodiscard]] AtspiCoordType coords() const {
      return toScreen.windowRelative ? ATSPI_COORD_TYPE_WINDOW : ATSPI_COORD_TYPE_SCREEN;
    }
    [[nodiscard]] std::optional<Rect> map(std::optional<Rect> reported) const {
      if (!reported || (toScreen.windowRelative && !fitsWindow(*reported, window))) {
        return std::nullopt;
      }
      return toScreen.toScreen(*reported);
    }
  };
  [[nodiscard]] Mapping mapping(Readers& readers, AtspiAccessible* object) {
    if (!toplevels_) {
      return {};
    }
    AtspiCalls& calls = readers.session.calls();
    auto window = readers.elements.enclosingWindow(object);
    AtspiAccessible* const key = window ? window.get() : object;
    const auto now = std::chrono::steady_clock::now();
    if (mapped_.window && mapped_.window.get() == key && now < mapped_.until) {
      return mapped_.mapping;
    }
    Mapping result;
    const auto toplevel = outermost(calls, key);
    const auto reported = calls.screenExtents(toplevel.get());
    const auto processID = calls.processID(toplevel.get());
    if (reported && processID) {
      if (const auto client = toplevels_->toplevelOf(*processID)) {
        result = {toplevelMapping(*reported, client->client, client->frameExtents),
                  Size{reported->width, reported->height}};
      }
    }
    mapped_ = {retained(key), result, now + kMappingReuse};
    return result;
  }

  // The element's frame in X11 screen pixels: the position (`forSize` false) or the size read
  // right after it.
  [[nodiscard]] std::optional<Rect> frame(Readers& readers, AtspiAccessible* object, bool forSize) {
    const auto mapped = mapping(readers, object);
    if (!mapped.toScreen.windowRelative) {
      return mapped.map(readers.elements.extents(object, forSize));
    }
    return mapped.map(readers.session.calls().hasComponent(object)
                          ? readers.session.calls().screenExtents(object, ATSPI_COORD_TYPE_WINDOW)
                          : std::nullopt);
  }

 private:
  Options options_;
  AtspiConnector connector_;
  std::unique_ptr<Readers> readers_;
  AccessibilityNotices notices_;
  std::unique_ptr<X11ToplevelGeometry> toplevels_;  // null off X11
  struct Mapped {
    GObjectPtr<AtspiAccessible> window;
    Mapping mapping;
    std::chrono::steady_clock::time_point until;
  } mapped_;
};

LinuxAccessibility::LinuxAccessibility(std::shared_ptr<Workspace> workspace, Options options)
    : impl_(std::make_unique<Impl>(std::move(workspace), options)) {}
LinuxAccessibility::~LinuxAccessibility() = default;

bool LinuxAccessibility::isProcessTrusted() {
  return impl_->connector().status().isEnabled() && impl_->connect() != nullptr;
}

void LinuxAccessibility::promptForTrust() {
  const bool wasEnabled = impl_->connector().status().isEnabled();
  if (!impl_->connector().enable()) {
    return;
  }
  if (!wasEnabled) {
    impl_->notices().expectRestarts();
  }
  static_cast<void>(impl_->connect());
}

std::optional<AccessibilityElement> LinuxAccessibility::applicationElement(std::int32_t processID) {
  auto* readers = impl_->connect();
  if (readers == nullptr) {
    return std::nullopt;
  }
  auto app = readers->elements.rememberedApplication(processID);
  return elementFor(readers->browsers.wake(processID, std::move(app)));
}

std::optional<std::string> LinuxAccessibility::stringAttribute(const AccessibilityElement& element,
                                                               AXAttribute attribute) {
  const auto [readers, object] = impl_->object(element);
  if (object == nullptr) {
    return std::nullopt;
  }
  switch (attribute) {
    case AXAttribute::role:
      return readers->elements.role(object);
    case AXAttribute::title:
      return repaired(readers->session.calls().name(object));
    case AXAttribute::description:
      return repaired(readers->session.calls().description(object));
    case AXAttribute::value:
      return readers->elements.value(object);
    case AXAttribute::selectedText:
      return readers->elements.selectedText(object);
    default:
      return std::nullopt;
  }
}

std::optional<bool> LinuxAccessibility::boolAttribute(const AccessibilityElement& element,
                                                      AXAttribute attribute) {
  const auto [readers, object] = impl_->object(element);
  if (object == nullptr) {
    return std::nullopt;
  }
  if (attribute == AXAttribute::protectedContent) {
    // AT-SPI has no protected state: password text is its role.
    const auto role = readers->session.calls().role(object);
    return role ? std::optional(*role == ATSPI_ROLE_PASSWORD_TEXT) : std::nullopt;
  }
  if (attribute == AXAttribute::focused) {
    const auto states = readers->session.calls().states(object);
    return states ? std::optional(states->has(ATSPI_STATE_FOCUSED)) : std::nullopt;
  }
  return std::nullopt;
}

std::optional<AccessibilityElement> LinuxAccessibility::elementAttribute(const AccessibilityElement& element,
                                                                         AXAttribute attribute) {
  const auto [readers, object] = impl_->object(element);
  if (object == nullptr) {
    return std::nullopt;
  }
  switch (attribute) {
    case AXAttribute::focusedUIElement:
      return readers->elements.isApplication(object)
                 ? elementFor(readers->session.focus().focusedElement(object))
                 : std::nullopt;
    case AXAttribute::focusedWindow:
      return readers->elements.isApplication(object)
                 ? elementFor(readers->session.focus().activeWindow(object))
                 : std::nullopt;
    case AXAttribute::window:
      return elementFor(readers->elements.enclosingWindow(object));
    default:
      return std::nullopt;
  }
}

std::optional<std::vector<AccessibilityElement>> LinuxAccessibility::elementListAttribute(
    const AccessibilityElement& element, AXAttribute attribute) {
  const auto [readers, object] = impl_->object(element);
  if (object == nullptr || attribute != AXAttribute::children) {
    return std::nullopt;
  }
  return readers->session.children(object);
}

std::optional<TextRange> LinuxAccessibility::rangeAttribute(const AccessibilityElement& element,
                                                            AXAttribute attribute) {
  const auto [readers, object] = impl_->object(element);
  if (object == nullptr || attribute != AXAttribute::selectedTextRange) {
    return std::nullopt;
  }
  return readers->session.text().selectedRange(object);
}

std::optional<Point> LinuxAccessibility::pointAttribute(const AccessibilityElement& element,
                                                        AXAttribute attribute) {
  const auto [readers, object] = impl_->object(element);
  if (object == nullptr || attribute != AXAttribute::position) {
    return std::nullopt;
  }
  const auto extents = impl_->frame(*readers, object, false);
  return extents ? std::optional(Point{extents->x, extents->y}) : std::nullopt;
}

std::optional<Size> LinuxAccessibility::sizeAttribute(const AccessibilityElement& element,
                                                      AXAttribute attribute) {
  const auto [readers, object] = impl_->object(element);
  if (object == nullptr || attribute != AXAttribute::size) {
    return std::nullopt;
  }
  const auto extents = impl_->frame(*readers, object, true);
  return extents ? std::optional(Size{extents->width, extents->height}) : std::nullopt;
}

int LinuxAccessibility::timedOutCalls() const {
  return impl_->timedOutCalls();
}

void LinuxAccessibility::boundReads(std::optional<std::chrono::steady_clock::time_point> until) {
  if (auto* readers = impl_->connect()) {
    readers->session.calls().setReadBound(until);
  }
}

std::optional<std::uint64_t> LinuxAccessibility::changeStamp(const AccessibilityElement& element) {
  const auto [readers, object] = impl_->object(element);
  return object == nullptr ? std::nullopt : readers->session.cache().changeStamp(object);
}

bool LinuxAccessibility::framesAreOnScreen() {
  return impl_->screenCoordinates();
}

std::optional<Rect> LinuxAccessibility::caretBounds(const AccessibilityElement& element) {
  const auto [readers, object] = impl_->object(element);
  if (object == nullptr || readers->elements.isPassword(object)) {
    return std::nullopt;
  }
  const auto mapping = impl_->mapping(*readers, object);
  return mapping.map(wrenfold::caretBounds(readers->session.calls(), object, mapping.coords()));
}

WriteResult LinuxAccessibility::setString(const AccessibilityElement& element, AXAttribute attribute,
                                          std::string_view value) {
  const auto [readers, object] = impl_->object(element);
  if (object == nullptr || readers->elements.isPassword(object)) {
    return WriteResult::refused;
  }
  // Web pages: Firefox accepts the write and changes nothing, Chromium has no editable-text
  // interface, and a write there would bypass the page's input events anyway (script-driven
  // fields revert). Pasting is the way in.
  if (readers->elements.insideWebDocument(object)) {
    return WriteResult::refused;
  }
  const std::string text = text::repairUtf8(value);
  readers->session.cache().forget(object);
  if (attribute == AXAttribute::selectedText) {
    return readers->session.text().replaceSelection(object, text);
  }
  if (attribute == AXAttribute::value) {
    return readers->session.text().replaceAll(object, text);
  }
  return WriteResult::refused;
}

bool LinuxAccessibility::setRange(const AccessibilityElement& element, AXAttribute attribute,
                                  TextRange value) {
  const auto [readers, object] = impl_->object(element);
  if (object == nullptr || attribute != AXAttribute::selectedTextRange) {
    return false;
  }
  return readers->session.text().select(object, value);
}

bool LinuxAccessibility::setBool(const AccessibilityElement& element, AXAttribute attribute, bool value) {
  const auto [readers, object] = impl_->object(element);
  if (object == nullptr || attribute != AXAttribute::focused || !value ||
      !readers->session.calls().hasComponent(object)) {
    return false;
  }
  return readers->session.calls().grabFocus(object);
}

std::optional<std::string> LinuxAccessibility::takeApplicationNotice(std::int32_t processID) {
  if (impl_->notices().told(processID) || !isProcessTrusted()) {
    return std::nullopt;
  }
  auto* readers = impl_->connect();
  return impl_->notices().applicationNotice(processID, readers->elements, readers->browsers);
}

std::optional<std::string> LinuxAccessibility::takeRestartNotice() {
  if (!impl_->notices().expectsRestarts()) {
    return std::nullopt;
  }
  auto* readers = impl_->connect();
  if (readers == nullptr) {
    return std::nullopt;
  }
  return impl_->notices().restartNotice(readers->elements, readers->browsers);
}

}  // namespace wrenfold
