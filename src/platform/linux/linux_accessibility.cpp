#include "platform/linux/linux_accessibility.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/text/text.h"
#include "platform/linux/accessibility_bus_status.h"
#include "platform/linux/atspi_calls.h"
#include "platform/linux/atspi_caret_bounds.h"
#include "platform/linux/atspi_focus_finder.h"
#include "platform/linux/atspi_read_cache.h"
#include "platform/linux/atspi_roles.h"
#include "platform/linux/atspi_text_access.h"
#include "platform/linux/focus_tracker.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/process_toolkit.h"

namespace wrenfold {
namespace {

using std::chrono::steady_clock;

// Applications a desktop may list per process are few; this only bounds a broken registry.
constexpr int kMaxApplications = 512;
// Top-level windows searched for a web page; a browser rarely has more.
constexpr int kMaxWindowsSearched = 16;
// A bus that did not answer is asked again after this long, not on every call.
constexpr auto kReconnectPause = std::chrono::seconds(2);
constexpr auto kAnnouncementPoll = std::chrono::milliseconds(100);
// An application with more elements than this is read element by element.
constexpr std::size_t kMaxTreeItems = 10000;
// How long a position read serves the size asked right after it.
constexpr auto kExtentsReuse = std::chrono::milliseconds(100);

std::string processName(std::int32_t processID) {
  std::ifstream comm("/proc/" + std::to_string(processID) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? std::to_string(processID) : text::repairUtf8(name);
}

// Chromium and every Electron application ship their V8 snapshot and resource pack beside the
// executable; nothing else does.
bool isWebRuntime(std::int32_t processID) {
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/" + std::to_string(processID) + "/exe", error);
  if (error) {
    return false;
  }
  const auto folder = executable.parent_path();
  return std::filesystem::exists(folder / "resources.pak", error) &&
         (std::filesystem::exists(folder / "v8_context_snapshot.bin", error) ||
          std::filesystem::exists(folder / "snapshot_blob.bin", error));
}

// libatspi looks at AT_SPI_BUS_ADDRESS before the X root property, which a desktop that has
// since ended may have left behind: it must reach the bus that just answered. The variable is
// put back at once: Qt applications started from here with it inherited exposed nothing.
void initialiseAtspi(const std::string& address) {
  const char* inherited = std::getenv("AT_SPI_BUS_ADDRESS");
  const std::optional<std::string> previous =
      inherited ? std::optional<std::string>(inherited) : std::nullopt;
  ::setenv("AT_SPI_BUS_ADDRESS", address.c_str(), 1);
  atspi_init();
  if (previous) {
    ::setenv("AT_SPI_BUS_ADDRESS", previous->c_str(), 1);
  } else {
    ::unsetenv("AT_SPI_BUS_ADDRESS");
  }
}

std::string joined(const std::vector<std::string>& names) {
  std::string list;
  for (const auto& name : names) {
    list += (list.empty() ? "" : "、") + name;
  }
  return list;
}

}  // namespace

// The libatspi side, which exists only once the accessibility bus has answered.
struct LinuxAccessibility::Session {
  explicit Session(const Options& options)
      : calls(AtspiCalls::Limits{options.callTimeout, options.hungPause}),
        text(calls),
        focus(calls, tracker, options.focusSearchLimit,
              [this](AtspiAccessible* object) { return children(object); }),
        childrenLimit(options.childrenLimit) {}

  // The children, listed at most up to the limit; absent when the count cannot be read. A
  // paused application reads absent throughout, kept or not.
  [[nodiscard]] std::optional<std::vector<AccessibilityElement>> children(AtspiAccessible* object) {
    if (const auto* entry = calls.available(object) ? cache.find(object) : nullptr;
        entry && entry->children) {
      return entry->children;
    }
    const auto count = calls.childCount(object);
    if (!count) {
      return std::nullopt;
    }
    std::vector<AccessibilityElement> list;
    const int listed = std::min(*count, childrenLimit);
    list.reserve(static_cast<std::size_t>(listed));
    for (int i = 0; i < listed; ++i) {
      if (auto child = elementFor(calls.child(object, i))) {
        list.push_back(std::move(*child));
      }
    }
    // A list with holes (a child vanished, the application stopped answering) is not kept.
    if (static_cast<int>(list.size()) == listed) {
      cache.keepChildren(object, list);
    }
    return list;
  }

  AtspiCalls calls;
  FocusTracker tracker;
  AtspiReadCache cache;
  AtspiTextAccess text;
  AtspiFocusFinder focus;
  int childrenLimit;
};

class LinuxAccessibility::Impl {
 public:
  explicit Impl(const Options& options) : options_(options) { static_cast<void>(connect()); }

  Options options_;
  AccessibilityBusStatus status_;
  std::unique_ptr<Session> session_;
  steady_clock::time_point nextConnect_{};
  std::set<std::int32_t> noticed_;
  std::map<std::int32_t, bool> webRuntimes_;
  std::set<std::int32_t> announcedTo_;
  std::set<std::int32_t> startupOnly_;  // browsers that ignored the announcement
  bool restartCheckPending_ = false;
  std::unique_ptr<LinuxWorkspace> workspace_;
  struct KnownApplication {
    GObjectPtr<AtspiAccessible> object;
    unsigned generation = 0;
  };
  std::map<std::int32_t, KnownApplication> applications_;
  struct PendingExtents {
    GObjectPtr<AtspiAccessible> object;
    Rect rect;
    steady_clock::time_point until;
  };
  PendingExtents pendingExtents_;
  std::set<std::string, std::less<>> treesLearnt_;  // application bus names

  // The libatspi side, set up the first time the accessibility bus answers; null before.
  [[nodiscard]] Session* connect() {
    if (session_ || steady_clock::now() < nextConnect_) {
      return session_.get();
    }
    nextConnect_ = steady_clock::now() + kReconnectPause;
    const auto address = status_.busAddress();
    if (!address) {
      return nullptr;
    }
    initialiseAtspi(*address);
    session_ = std::make_unique<Session>(options_);
    return session_.get();
  }

  [[nodiscard]] AtspiCalls& calls() { return session_->calls; }

  // What the read cache holds for `object`; null when nothing, or while its application is
  // left alone after a time-out (a paused application reads absent throughout).
  [[nodiscard]] AtspiReadCache::Entry* known(AtspiAccessible* object) {
    return calls().available(object) ? session_->cache.find(object) : nullptr;
  }

  // The AT-SPI object behind a handle; null for another back-end's handle. Handles exist only
  // once the session does.
  [[nodiscard]] AtspiAccessible* object(const AccessibilityElement& element) const {
    return session_ ? atspiObject(element) : nullptr;
  }

  [[nodiscard]] bool isApplication(AtspiAccessible* object) {
    return calls().role(object) == ATSPI_ROLE_APPLICATION;
  }
  [[nodiscard]] bool isPassword(AtspiAccessible* object) {
    return calls().role(object) == ATSPI_ROLE_PASSWORD_TEXT;
  }

  [[nodiscard]] std::optional<std::string> role(AtspiAccessible* object) {
    const auto atspiRole = calls().role(object);
    if (!atspiRole) {
      return std::nullopt;
    }
    RoleStates roleStates;
    if (roleNeedsStates(*atspiRole)) {
      roleStates = this->roleStates(object);
    }
    return std::string(axRoleName(*atspiRole, roleStates));
  }

  [[nodiscard]] RoleStates roleStates(AtspiAccessible* object) {
    if (const auto* entry = known(object); entry && entry->roleStates) {
      return *entry->roleStates;
    }
    const auto states = calls().states(object);
    const RoleStates result{states && states->has(ATSPI_STATE_EDITABLE),
                            states && states->has(ATSPI_STATE_MULTI_LINE)};
    if (states) {
      if (auto* entry = session_->cache.entry(object)) {
        entry->roleStates = result;
      }
    }
    return result;
  }

  // Password fields are never read: their text is a secret even when the toolkit would
  // hand it out.
  // Text that cannot be edited is kept until its application reports a change; the text of
  // fields is always read afresh, as the user may just have typed into it.
  [[nodiscard]] std::optional<std::string> value(AtspiAccessible* object) {
    if (const auto* entry = known(object); entry && entry->text) {
      return entry->text;
    }
    if (!calls().hasText(object) || isPassword(object)) {
      return std::nullopt;
    }
    const bool editable = calls().hasEditableText(object);
    auto text = session_->text.value(object, editable);
    // Chromium's fields offer no EditableText interface but are editable all the same: their
    // text must be read afresh too, or a paste is never seen arriving.
    if (text && !editable && !roleStates(object).editable) {
      if (auto* entry = session_->cache.entry(object)) {
        entry->text = text;
      }
    }
    return text;
  }

  [[nodiscard]] std::optional<std::vector<AccessibilityElement>> children(AtspiAccessible* object) {
    return session_->children(object);
  }

  // The application object of a process, remembered while its window list is kept and no
  // application came or went; otherwise looked up on the desktop.
  [[nodiscard]] GObjectPtr<AtspiAccessible> rememberedApplication(std::int32_t processID) {
    auto& cache = session_->cache;
    const auto remembered = applications_.find(processID);
    if (remembered != applications_.end() &&
        remembered->second.generation == cache.applicationsGeneration()) {
      AtspiAccessible* app = remembered->second.object.get();
      if (const auto* entry = known(app); entry && entry->children && !entry->children->empty()) {
        return retained(app);
      }
    }
    auto app = application(processID);
    if (app) {
      learnTree(app.get());
    }
    if (app && children(app.get()).value_or(std::vector<AccessibilityElement>{}).empty()) {
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

  // Learns an application's whole tree in one call the first time it is read: children,
  // roles, the states that decide a role, and the text of labels where the toolkit names
  // labels by their text. Whatever the call does not tell is asked element by element.
  void learnTree(AtspiAccessible* application) {
    const std::string bus(applicationBusName(application));
    if (bus.empty() || !session_->cache.isListening() || treesLearnt_.contains(bus)) {
      return;
    }
    const auto items = calls().tree(application);
    // An application still starting may list only itself: it is asked again. (Qt answers
    // with no items at all: it keeps no such list.)
    if (!items || items->size() != 1) {
      treesLearnt_.insert(bus);
    }
    if (!items || items->size() > kMaxTreeItems) {
      return;
    }
    std::unordered_map<std::string, GObjectPtr<AtspiAccessible>> objects;
    objects.reserve(items->size());
    for (const auto& item : *items) {
      GObjectPtr<AtspiAccessible> object(refObject(bus, item.path));
      if (!object) {
        return;  // this libatspi cannot share its objects
      }
      objects.insert_or_assign(item.path, std::move(object));
    }
    std::unordered_map<std::string, std::vector<std::pair<int, AtspiAccessible*>>> indexedChildren;
    for (const auto& item : *items) {
      if (!item.children && !item.parentPath.empty() && item.indexInParent >= 0) {
        indexedChildren[item.parentPath].emplace_back(item.indexInParent, objects.at(item.path).get());
      }
    }
    const bool namesAreText = labelsNamedByText(*items, objects);
    for (const auto& item : *items) {
      const AtspiStates states(item.states);
      if (item.role == ATSPI_ROLE_INVALID || states.has(ATSPI_STATE_DEFUNCT)) {
        continue;
      }
      AtspiAccessible* object = objects.at(item.path).get();
      calls().rememberRole(object, item.role);
      if (roleNeedsStates(item.role)) {
        if (auto* entry = session_->cache.entry(object)) {
          entry->roleStates =
              RoleStates{states.has(ATSPI_STATE_EDITABLE), states.has(ATSPI_STATE_MULTI_LINE)};
        }
      }
      if (namesAreText && isNamedByText(item)) {
        if (auto* entry = session_->cache.entry(object)) {
          entry->text = labelText(item.name);
        }
      }
      if (auto list = childrenOf(item, objects, indexedChildren)) {
        session_->cache.keepChildren(object, std::move(*list));
      }
    }
  }

  [[nodiscard]] static bool isNamedByText(const TreeItem& item) {
    return item.role == ATSPI_ROLE_LABEL && item.hasText && !item.hasEditableText;
  }

  // What value() makes of a label's text.
  [[nodiscard]] static std::string labelText(std::string_view name) {
    std::string text = text::repairUtf8(name);
    constexpr std::string_view kObjectReplacement = "\xEF\xBF\xBC";
    for (auto at = text.find(kObjectReplacement); at != std::string::npos;
         at = text.find(kObjectReplacement, at)) {
      text.erase(at, kObjectReplacement.size());
    }
    return text;
  }

  // Whether the application names its labels by their text (GTK 3 does unless told
  // otherwise), checked on its first and last labels that have a name.
  [[nodiscard]] bool labelsNamedByText(
      const std::vector<TreeItem>& items,
      const std::unordered_map<std::string, GObjectPtr<AtspiAccessible>>& objects) {
    std::vector<const TreeItem*> samples;
    for (const auto& item : items) {
      if (isNamedByText(item) && !item.name.empty()) {
        if (samples.size() < 2) {
          samples.push_back(&item);
        } else {
          samples.back() = &item;
        }
      }
    }
    if (samples.empty()) {
      return false;
    }
    for (const TreeItem* sample : samples) {
      AtspiAccessible* object = objects.at(sample->path).get();
      const auto text = calls().text(object, 0, -1);
      if (!text || labelText(*text) != labelText(sample->name)) {
        return false;
      }
    }
    return true;
  }

  // The children the tree tells for `item`, complete and in order; absent when it does not
  // tell them all.
  [[nodiscard]] std::optional<std::vector<AccessibilityElement>> childrenOf(
      const TreeItem& item, const std::unordered_map<std::string, GObjectPtr<AtspiAccessible>>& objects,
      std::unordered_map<std::string, std::vector<std::pair<int, AtspiAccessible*>>>& indexedChildren) const {
    // Tables and long lists manage their own children: the tree holds only some of them.
    if (item.childCount < 0 || item.childCount > options_.childrenLimit ||
        AtspiStates(item.states).has(ATSPI_STATE_MANAGES_DESCENDANTS)) {
      return std::nullopt;
    }
    std::vector<AccessibilityElement> list;
    list.reserve(static_cast<std::size_t>(item.childCount));
    if (item.children) {
      for (const auto& path : *item.children) {
        const auto found = objects.find(path);
        if (found == objects.end()) {
          return std::nullopt;
        }
        list.push_back(*elementFor(retained(found->second.get())));
      }
      return list;
    }
    auto& indexed = indexedChildren[item.path];
    if (static_cast<int>(indexed.size()) != item.childCount) {
      return std::nullopt;
    }
    std::sort(indexed.begin(), indexed.end());
    for (std::size_t i = 0; i < indexed.size(); ++i) {
      if (indexed[i].first != static_cast<int>(i)) {
        return std::nullopt;
      }
      list.push_back(*elementFor(retained(indexed[i].second)));
    }
    return list;
  }

  // The window above `object`, kept between reads while no element's children change.
  [[nodiscard]] GObjectPtr<AtspiAccessible> enclosingWindow(AtspiAccessible* object) {
    if (!calls().available(object)) {
      return nullptr;
    }
    if (AtspiAccessible* window = session_->cache.windowOf(object)) {
      return retained(window);
    }
    auto window = session_->focus.enclosingWindow(object);
    session_->cache.keepWindow(object, window.get());
    return window;
  }

  // Position and size are asked one after the other for one frame: one round trip answers both.
  [[nodiscard]] std::optional<Rect> extents(AtspiAccessible* object, bool forSize) {
    if (forSize && pendingExtents_.object.get() == object && steady_clock::now() < pendingExtents_.until) {
      pendingExtents_.object.reset();
      return pendingExtents_.rect;
    }
    pendingExtents_.object.reset();
    if (!calls().hasComponent(object)) {
      return std::nullopt;
    }
    auto rect = calls().screenExtents(object);
    if (rect && !forSize) {
      pendingExtents_ = PendingExtents{retained(object), *rect, steady_clock::now() + kExtentsReuse};
    }
    return rect;
  }

  [[nodiscard]] std::optional<std::string> selectedText(AtspiAccessible* object) {
    if (!calls().hasText(object) || isPassword(object)) {
      return std::nullopt;
    }
    return session_->text.selectedText(object);
  }

  [[nodiscard]] std::optional<std::string> repaired(std::optional<std::string> value) {
    return value ? std::optional(text::repairUtf8(*value)) : std::nullopt;
  }

  [[nodiscard]] GObjectPtr<AtspiAccessible> application(std::int32_t processID) {
    const auto desktop = calls().desktop();
    const int count = std::min(calls().childCount(desktop.get()).value_or(0), kMaxApplications);
    GObjectPtr<AtspiAccessible> windowless;
    for (int i = 0; i < count; ++i) {
      auto app = calls().child(desktop.get(), i);
      if (!app || calls().processID(app.get()) != processID) {
        continue;
      }
      // A process may register more than one application object; the one with windows counts.
      if (calls().childCount(app.get()).value_or(0) > 0) {
        return app;
      }
      windowless = std::move(app);
    }
    return windowless;
  }

  [[nodiscard]] bool isWebRuntimeProcess(std::int32_t processID) {
    auto [it, inserted] = webRuntimes_.try_emplace(processID, false);
    if (inserted) {
      it->second = isWebRuntime(processID);
    }
    return it->second;
  }

  // Whether a browser's window holds a web page with content. With accessibility off,
  // Chromium lists its windows but each one's only child is a null object.
  // Whether `object` lies inside a web document (a page in a browser or an Electron window).
  [[nodiscard]] bool insideWebDocument(AtspiAccessible* object) {
    constexpr int kMaxDepth = 64;
    GObjectPtr<AtspiAccessible> current = calls().parent(object);
    for (int depth = 0; current && depth < kMaxDepth; ++depth) {
      const auto role = calls().role(current.get());
      if (!role || *role == ATSPI_ROLE_APPLICATION) {
        return false;
      }
      if (*role == ATSPI_ROLE_DOCUMENT_WEB) {
        return true;
      }
      current = calls().parent(current.get());
    }
    return false;
  }

  [[nodiscard]] bool exposesPage(AtspiAccessible* application) {
    if (application == nullptr) {
      return false;
    }
    const int count = std::min(calls().childCount(application).value_or(0), kMaxWindowsSearched);
    for (int i = 0; i < count; ++i) {
      const auto window = calls().child(application, i);
      bool supported = false;
      const auto page =
          window ? calls().firstWithRole(window.get(), ATSPI_ROLE_DOCUMENT_WEB, supported) : nullptr;
      if (page && calls().childCount(page.get()).value_or(0) > 0) {
        return true;
      }
    }
    return false;
  }

  // Tells the desktop a screen reader is running and gives the browser, once, a moment to
  // build its tree; browsers that decide only at start-up are remembered for the notice.
  [[nodiscard]] GObjectPtr<AtspiAccessible> announceTo(std::int32_t processID,
                                                       GObjectPtr<AtspiAccessible> application) {
    if (!announcedTo_.insert(processID).second) {
      return application;
    }
    if (!status_.isScreenReaderAnnounced() && !status_.announceScreenReader()) {
      startupOnly_.insert(processID);
      return application;
    }
    const auto deadline = steady_clock::now() + options_.announcementWait;
    while (steady_clock::now() < deadline) {
      std::this_thread::sleep_for(kAnnouncementPoll);
      auto fresh = this->application(processID);
      if (exposesPage(fresh.get())) {
        return fresh;
      }
    }
    startupOnly_.insert(processID);
    return application;
  }

  // Whether an application already running must be restarted to expose its text.
  [[nodiscard]] bool needsRestart(std::int32_t processID) {
    const auto app = application(processID);
    if (isWebRuntimeProcess(processID)) {
      return !exposesPage(app.get());
    }
    return !app || calls().childCount(app.get()).value_or(0) == 0;
  }
};

LinuxAccessibility::LinuxAccessibility() : LinuxAccessibility(Options{}) {}
LinuxAccessibility::LinuxAccessibility(Options options) : impl_(std::make_unique<Impl>(options)) {}
LinuxAccessibility::~LinuxAccessibility() = default;

bool LinuxAccessibility::isProcessTrusted() {
  return impl_->status_.isEnabled() && impl_->connect() != nullptr;
}

void LinuxAccessibility::promptForTrust() {
  const bool wasEnabled = impl_->status_.isEnabled();
  if (!impl_->status_.enable()) {
    return;
  }
  impl_->restartCheckPending_ = impl_->restartCheckPending_ || !wasEnabled;
  impl_->nextConnect_ = {};  // the bus just answered: no pause before using it
  static_cast<void>(impl_->connect());
}

std::optional<AccessibilityElement> LinuxAccessibility::applicationElement(std::int32_t processID) {
  if (impl_->connect() == nullptr) {
    return std::nullopt;
  }
  auto app = impl_->rememberedApplication(processID);
  if (impl_->isWebRuntimeProcess(processID) && !impl_->exposesPage(app.get())) {
    app = impl_->announceTo(processID, std::move(app));
  }
  return elementFor(std::move(app));
}

std::optional<std::string> LinuxAccessibility::stringAttribute(const AccessibilityElement& element,
                                                               AXAttribute attribute) {
  AtspiAccessible* object = impl_->object(element);
  if (object == nullptr) {
    return std::nullopt;
  }
  switch (attribute) {
    case AXAttribute::role:
      return impl_->role(object);
    case AXAttribute::title:
      return impl_->repaired(impl_->calls().name(object));
    case AXAttribute::description:
      return impl_->repaired(impl_->calls().description(object));
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
  AtspiAccessible* object = impl_->object(element);
  if (object == nullptr) {
    return std::nullopt;
  }
  if (attribute == AXAttribute::protectedContent) {
    // AT-SPI has no protected state: password text is its role.
    const auto role = impl_->calls().role(object);
    return role ? std::optional(*role == ATSPI_ROLE_PASSWORD_TEXT) : std::nullopt;
  }
  if (attribute == AXAttribute::focused) {
    const auto states = impl_->calls().states(object);
    return states ? std::optional(states->has(ATSPI_STATE_FOCUSED)) : std::nullopt;
  }
  return std::nullopt;
}

std::optional<AccessibilityElement> LinuxAccessibility::elementAttribute(const AccessibilityElement& element,
                                                                         AXAttribute attribute) {
  AtspiAccessible* object = impl_->object(element);
  if (object == nullptr) {
    return std::nullopt;
  }
  switch (attribute) {
    case AXAttribute::focusedUIElement:
      return impl_->isApplication(object) ? elementFor(impl_->session_->focus.focusedElement(object))
                                          : std::nullopt;
    case AXAttribute::focusedWindow:
      return impl_->isApplication(object) ? elementFor(impl_->session_->focus.activeWindow(object))
                                          : std::nullopt;
    case AXAttribute::window:
      return elementFor(impl_->enclosingWindow(object));
    default:
      return std::nullopt;
  }
}

std::optional<std::vector<AccessibilityElement>> LinuxAccessibility::elementListAttribute(
    const AccessibilityElement& element, AXAttribute attribute) {
  AtspiAccessible* object = impl_->object(element);
  if (object == nullptr || attribute != AXAttribute::children) {
    return std::nullopt;
  }
  return impl_->children(object);
}

std::optional<TextRange> LinuxAccessibility::rangeAttribute(const AccessibilityElement& element,
                                                            AXAttribute attribute) {
  AtspiAccessible* object = impl_->object(element);
  if (object == nullptr || attribute != AXAttribute::selectedTextRange) {
    return std::nullopt;
  }
  return impl_->session_->text.selectedRange(object);
}

std::optional<Point> LinuxAccessibility::pointAttribute(const AccessibilityElement& element,
                                                        AXAttribute attribute) {
  AtspiAccessible* object = impl_->object(element);
  if (object == nullptr || attribute != AXAttribute::position) {
    return std::nullopt;
  }
  const auto extents = impl_->extents(object, false);
  return extents ? std::optional(Point{extents->x, extents->y}) : std::nullopt;
}

std::optional<Size> LinuxAccessibility::sizeAttribute(const AccessibilityElement& element,
                                                      AXAttribute attribute) {
  AtspiAccessible* object = impl_->object(element);
  if (object == nullptr || attribute != AXAttribute::size) {
    return std::nullopt;
  }
  const auto extents = impl_->extents(object, true);
  return extents ? std::optional(Size{extents->width, extents->height}) : std::nullopt;
}

std::optional<Rect> LinuxAccessibility::caretBounds(const AccessibilityElement& element) {
  AtspiAccessible* object = impl_->object(element);
  return object != nullptr && !impl_->isPassword(object) ? wrenfold::caretBounds(impl_->calls(), object)
                                                         : std::nullopt;
}

bool LinuxAccessibility::setString(const AccessibilityElement& element, AXAttribute attribute,
                                   std::string_view value) {
  AtspiAccessible* object = impl_->object(element);
  if (object == nullptr || impl_->isPassword(object)) {
    return false;
  }
  // Web pages: Firefox accepts the write and changes nothing, Chromium has no editable-text
  // interface, and a write there would bypass the page's input events anyway (script-driven
  // fields revert). Pasting is the way in.
  if (impl_->insideWebDocument(object)) {
    return false;
  }
  const std::string text = text::repairUtf8(value);
  impl_->session_->cache.forget(object);
  if (attribute == AXAttribute::selectedText) {
    return impl_->session_->text.replaceSelection(object, text);
  }
  if (attribute == AXAttribute::value) {
    return impl_->session_->text.replaceAll(object, text);
  }
  return false;
}

bool LinuxAccessibility::setRange(const AccessibilityElement& element, AXAttribute attribute,
                                  TextRange value) {
  AtspiAccessible* object = impl_->object(element);
  if (object == nullptr || attribute != AXAttribute::selectedTextRange) {
    return false;
  }
  return impl_->session_->text.select(object, value);
}

bool LinuxAccessibility::setBool(const AccessibilityElement& element, AXAttribute attribute, bool value) {
  AtspiAccessible* object = impl_->object(element);
  if (object == nullptr || attribute != AXAttribute::focused || !value ||
      !impl_->calls().hasComponent(object)) {
    return false;
  }
  return impl_->calls().grabFocus(object);
}

std::optional<std::string> LinuxAccessibility::takeApplicationNotice(std::int32_t processID) {
  if (impl_->noticed_.contains(processID) || !isProcessTrusted()) {
    return std::nullopt;
  }
  if (impl_->startupOnly_.contains(processID)) {
    // It may only have been slow: a page there now means it did follow the announcement.
    if (impl_->exposesPage(impl_->application(processID).get())) {
      impl_->startupOnly_.erase(processID);
      return std::nullopt;
    }
    impl_->noticed_.insert(processID);
    return "“" + processName(processID) +
           "”只在启动时决定是否公开网页文字，现在读不到其中的内容。请退出后重新启动它；"
           "如果仍然读不到，请加上启动参数 --force-renderer-accessibility（Electron 应用同样适用）。";
  }
  const auto app = impl_->application(processID);
  if (app && impl_->calls().childCount(app.get()).value_or(0) > 0) {
    return std::nullopt;
  }
  impl_->noticed_.insert(processID);
  // Qt 5 decides once, at start-up, from the bus address on the root window or the bus status,
  // and a session can lack both; the variable makes it expose its tree regardless.
  const std::string qt5 = loadsQt5Gui(processID) ? "如果重新启动后仍然读不到，请在登录环境中设置 "
                                                   "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1（例如写入 "
                                                   "~/.profile）并重新登录。"
                                                 : "";
  return "“" + processName(processID) +
         "”没有向辅助功能公开界面文字。如果它在开启辅助功能之前就已启动，请重新启动它后再试。" + qt5;
}

std::optional<std::string> LinuxAccessibility::takeRestartNotice() {
  if (!impl_->restartCheckPending_ || impl_->connect() == nullptr) {
    return std::nullopt;
  }
  impl_->restartCheckPending_ = false;
  if (!impl_->workspace_) {
    impl_->workspace_ = std::make_unique<LinuxWorkspace>();
  }
  std::vector<std::string> names;
  for (const auto& app : impl_->workspace_->runningApplications()) {
    if (app.processID == ::getpid() || !impl_->needsRestart(app.processID)) {
      continue;
    }
    std::string name = app.localizedName.value_or(app.bundleIdentifier.value_or(processName(app.processID)));
    if (std::find(names.begin(), names.end(), name) == names.end()) {
      names.push_back(std::move(name));
    }
  }
  if (names.empty()) {
    return std::nullopt;
  }
  return "辅助功能已开启。以下应用在此之前已经启动，需要重新启动后 Wrenfold 才能读取其中的文字：" +
         joined(names) + "。";
}

}  // namespace wrenfold
