#include "platform/linux/linux_workspace.h"

#include <X11/extensions/XRes.h>
#include <unistd.h>
#include <xcb/res.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "core/text/text.h"
#include "platform/linux/process_toolkit.h"

namespace wrenfold {
namespace {

// How an activation request introduces itself: 2 is a pager or other tool acting for the user,
// which window managers honour rather than treating as focus stealing.
constexpr long kActivationSourceTool = 2;
constexpr int kMaxParentSteps = 32;
// Windows described are few at a time; this only bounds a long session.
constexpr std::size_t kMaxDescribed = 256;

std::optional<std::string> repaired(std::optional<std::string> value) {
  return value ? std::optional(text::repairUtf8(*value)) : std::nullopt;
}

}  // namespace

LinuxWorkspace::LinuxWorkspace() : LinuxWorkspace(X11Connection::open()) {}

LinuxWorkspace::LinuxWorkspace(std::unique_ptr<X11Connection> connection) : x_(std::move(connection)) {
  if (x_) {
    int event = 0;
    int error = 0;
    hasXRes_ = XResQueryExtension(x_->display(), &event, &error) != False;
  }
}

LinuxWorkspace::~LinuxWorkspace() = default;

std::optional<Window> LinuxWorkspace::activeWindow() {
  // Asked together: each trigger waits for this answer.
  auto askedActive = x_->ask(x_->root(), "_NET_ACTIVE_WINDOW");
  auto askedClients = x_->ask(x_->root(), "_NET_CLIENT_LIST");
  const auto active = askedActive.cardinals();
  const auto clients = askedClients.cardinals();
  if (!active || !clients) {
    return focusedClientWindow();
  }
  // The property can name a window that is already gone, and X reuses the ids of a client that
  // quit for the next one: only a window the manager still lists counts.
  if (active->empty() || std::find(clients->begin(), clients->end(), active->front()) == clients->end()) {
    return std::nullopt;
  }
  return static_cast<Window>(active->front());
}

// Without an EWMH window manager: the input focus, climbed to the window the manager tags.
std::optional<Window> LinuxWorkspace::focusedClientWindow() {
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(x_->display(), &focus, &revert);
  X11Connection::ErrorTrap trap(*x_);
  for (int step = 0; step < kMaxParentSteps && focus != 0 && focus != x_->root() && focus != PointerRoot;
       ++step) {
    if (x_->cardinals(focus, "WM_STATE")) {
      return focus;
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(x_->display(), focus, &root, &parent, &children, &count) == 0) {
      return std::nullopt;
    }
    if (children != nullptr) {
      XFree(children);
    }
    focus = parent;
  }
  return std::nullopt;
}

std::optional<std::int32_t> LinuxWorkspace::processOf(Window window) {
  // XRes names the real peer; _NET_WM_PID is whatever the client chose to write. Both are asked
  // at once: each trigger waits for this answer.
  xcb_connection_t* c = x_->xcb();
  std::optional<xcb_res_query_client_ids_cookie_t> asked;
  if (hasXRes_) {
    const xcb_res_client_id_spec_t spec{static_cast<std::uint32_t>(window),
                                        XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    asked = xcb_res_query_client_ids(c, 1, &spec);
  }
  auto wmPidAsked = x_->ask(window, "_NET_WM_PID");
  if (const auto reply = asked ? replyTo(c, *asked, xcb_res_query_client_ids_reply) : nullptr) {
    for (auto id = xcb_res_query_client_ids_ids_iterator(reply.get()); id.rem > 0;
         xcb_res_client_id_value_next(&id)) {
      if ((id.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) != 0 &&
          xcb_res_client_id_value_value_length(id.data) > 0) {
        const std::uint32_t pid = *xcb_res_client_id_value_value(id.data);
        if (pid > 0 && pid <= INT32_MAX) {
          return static_cast<std::int32_t>(pid);
        }
      }
    }
  }
  const auto wmPid = wmPidAsked.cardinals();
  if (wmPid && !wmPid->empty() && wmPid->front() > 0 && wmPid->front() <= INT32_MAX) {
    return static_cast<std::int32_t>(wmPid->front());
  }
  return std::nullopt;
}

const DesktopFileIndex& LinuxWorkspace::desktopFiles() {
  if (!desktopFiles_) {
    desktopFiles_ =
        DesktopFileIndex::load(DesktopFileIndex::standardDataDirs(), DesktopFileIndex::messagesLocale());
  }
  return *desktopFiles_;
}

RunningApplication LinuxWorkspace::describe(Window window, std::int32_t processID) {
  // Each trigger asks; the process's files and three window properties cost more than the rest
  // of a repeated read.
  if (const auto known = described_.find({window, processID}); known != described_.end()) {
    return known->second;
  }
  if (described_.size() >= kMaxDescribed) {
    described_.clear();
  }
  WindowFacts facts = processFacts(processID);
  auto gtkApplicationID = x_->ask(window, "_GTK_APPLICATION_ID");
  auto kdeDesktopFile = x_->ask(window, "_KDE_NET_WM_DESKTOP_FILE");
  if (auto wmClass = x_->windowClass(window)) {
    facts.wmInstance = text::repairUtf8(wmClass->first);
    facts.wmClass = text::repairUtf8(wmClass->second);
  }
  facts.gtkApplicationID = repaired(gtkApplicationID.text());
  facts.kdeDesktopFile = repaired(kdeDesktopFile.text());
  const auto identity = identifyApplication(facts, desktopFiles());
  RunningApplication app{processID, identity.id, identity.name, window};
  described_.emplace(std::pair{window, processID}, app);
  return app;
}

std::optional<RunningApplication> LinuxWorkspace::frontmostApplication() {
  if (!x_) {
    return std::nullopt;
  }
  const auto window = activeWindow();
  const auto pid = window ? processOf(*window) : std::nullopt;
  if (!pid) {
    return std::nullopt;
  }
  return describe(*window, *pid);
}

std::vector<RunningApplication> LinuxWorkspace::runningApplications() {
  std::vector<RunningApplication> applications;
  if (!x_) {
    return applications;
  }
  std::set<std::int32_t> seen;
  for (const auto window :
       x_->cardinals(x_->root(), "_NET_CLIENT_LIST").value_or(std::vector<unsigned long>{})) {
    const auto pid = processOf(static_cast<Window>(window));
    if (pid && seen.insert(*pid).second) {
      applications.push_back(describe(static_cast<Window>(window), *pid));
    }
  }
  return applications;
}

std::optional<RunningApplication> LinuxWorkspace::clipboardOwner() {
  if (!x_) {
    return std::nullopt;
  }
  // Owners serve the selection from a hidden window of their own: XRes names its process even
  // though the window carries no EWMH properties.
  const Window owner = XGetSelectionOwner(x_->display(), x_->atom("CLIPBOARD"));
  const auto pid = owner != 0 ? processOf(owner) : std::nullopt;
  if (!pid) {
    return std::nullopt;
  }
  return describe(owner, *pid);
}

std::int32_t LinuxWorkspace::ownProcessID() {
  return static_cast<std::int32_t>(::getpid());
}

bool LinuxWorkspace::isUserWindow(Window window) {
  const auto types = x_->cardinals(window, "_NET_WM_WINDOW_TYPE").value_or(std::vector<unsigned long>{});
  for (const char* excluded : {"_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_WINDOW_TYPE_DESKTOP",
                               "_NET_WM_WINDOW_TYPE_NOTIFICATION", "_NET_WM_WINDOW_TYPE_SPLASH"}) {
    if (std::find(types.begin(), types.end(), x_->atom(excluded)) != types.end()) {
      return false;
    }
  }
  const auto states = x_->cardinals(window, "_NET_WM_STATE").value_or(std::vector<unsigned long>{});
  return std::find(states.begin(), states.end(), x_->atom("_NET_WM_STATE_HIDDEN")) == states.end();
}

std::optional<RunningApplication> LinuxWorkspace::topmostOtherApplication() {
  if (!x_) {
    return std::nullopt;
  }
  const std::int32_t own = ownProcessID();
  const auto stacking =
      x_->cardinals(x_->root(), "_NET_CLIENT_LIST_STACKING").value_or(std::vector<unsigned long>{});
  for (auto it = stacking.rbegin(); it != stacking.rend(); ++it) {
    const auto window = static_cast<Window>(*it);
    const auto pid = processOf(window);
    if (pid && *pid != own && isUserWindow(window)) {
      return describe(window, *pid);
    }
  }
  return std::nullopt;
}

bool LinuxWorkspace::activate(std::int32_t processID) {
  if (!x_) {
    return false;
  }
  // The topmost window of the process: the one the user saw last.
  const auto stacking =
      x_->cardinals(x_->root(), "_NET_CLIENT_LIST_STACKING").value_or(std::vector<unsigned long>{});
  for (auto it = stacking.rbegin(); it != stacking.rend(); ++it) {
    const auto window = static_cast<Window>(*it);
    if (processOf(window) == processID) {
      return requestActivation(window);
    }
  }
  return false;
}

bool LinuxWorkspace::activateWindow(std::uint64_t window) {
  if (!x_) {
    return false;
  }
  // Only a window still managed: X reuses the ids of a client that is gone.
  const auto clients = x_->cardinals(x_->root(), "_NET_CLIENT_LIST");
  if (clients && std::find(clients->begin(), clients->end(), window) == clients->end()) {
    return false;
  }
  return requestActivation(static_cast<Window>(window));
}

bool LinuxWorkspace::requestActivation(Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = x_->atom("_NET_ACTIVE_WINDOW");
  event.xclient.format = 32;
  event.xclient.data.l[0] = kActivationSourceTool;
  event.xclient.data.l[1] = static_cast<long>(x_->serverTime());
  X11Connection::ErrorTrap trap(*x_);
  XSendEvent(x_->display(), x_->root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  return trap.succeeded();
}

}  // namespace wrenfold
