#include "platform/linux/portal_global_shortcuts.h"

#include <gio/gio.h>

#include <string_view>
#include <utility>

#include "core/records/key_code_table.h"
#include "platform/linux/portal_bus.h"

namespace wrenfold {
namespace {

constexpr const char* kPortal = kPortalService;
constexpr const char* kPortalPath = kPortalObjectPath;
constexpr const char* kInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* kShortcutID = "showAssistant";
constexpr const char* kShortcutDescription = "唤起 Wrenfold";
constexpr const char* kNotBound =
    "桌面的全局快捷键门户答复成功，却没有登记这个快捷键；请在桌面的键盘设置中把快捷键绑定到 wrenfold trigger";

}  // namespace

// Callbacks hold the adapter through this link, cleared when the adapter goes, so a signal or a
// reply already queued on the main context then does nothing.
struct PortalLink {
  PortalGlobalShortcuts* self;
};

struct PortalCallbacks {
  using Shared = std::shared_ptr<PortalLink>;

  static gpointer hold(const Shared& link) { return new Shared(link); }
  static void release(gpointer data) { delete static_cast<Shared*>(data); }

  static void onSignal(GDBusConnection*, const char*, const char* path, const char* interface,
                       const char* signal, GVariant* parameters, gpointer data) {
    if (PortalGlobalShortcuts* self = (*static_cast<Shared*>(data))->self) {
      self->signalled(path, interface, signal, parameters);
    }
  }

  static void onCallDone(GObject* source, GAsyncResult* result, gpointer data) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    PortalGlobalShortcuts* self = (*static_cast<Shared*>(data))->self;
    release(data);
    if (reply != nullptr) {
      g_variant_unref(reply);  // the answer comes with the Request's Response signal
    } else {
      if (self != nullptr && !g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        self->failed(std::string("无法使用桌面的全局快捷键门户：") + error->message);
      }
      g_error_free(error);
    }
  }

  static gboolean onBind(gpointer data) {
    if (PortalGlobalShortcuts* self = (*static_cast<Shared*>(data))->self) {
      self->bindSource_ = 0;
      self->createSession();
    }
    return G_SOURCE_REMOVE;
  }
};

std::optional<std::string> xdgShortcutTrigger(const Shortcut& shortcut) {
  const auto keysym = keysymForMacKeyCode(shortcut.carbonKeyCode);
  const char* name = keysym ? XKeysymToString(static_cast<KeySym>(*keysym)) : nullptr;
  if (name == nullptr) {
    return std::nullopt;
  }
  std::string trigger;
  for (const auto& [mask, modifier] :
       {std::pair{kCarbonControl, "CTRL+"}, std::pair{kCarbonOption, "ALT+"},
        std::pair{kCarbonShift, "SHIFT+"}, std::pair{kCarbonCommand, "LOGO+"}}) {
    if ((shortcut.carbonModifiers & mask) != 0) {
      trigger += modifier;
    }
  }
  return trigger + name;
}

std::shared_ptr<PortalGlobalShortcuts> PortalGlobalShortcuts::open(GDBusConnection* bus) {
  return std::shared_ptr<PortalGlobalShortcuts>(
      new PortalGlobalShortcuts(G_DBUS_CONNECTION(g_object_ref(bus))));
}

PortalGlobalShortcuts::PortalGlobalShortcuts(GDBusConnection* bus)
    : link_(std::make_shared<PortalLink>(PortalLink{this})),
      bus_(bus),
      cancellable_(g_cancellable_new()),
      x_(X11Connection::open()) {
  if (x_) {
    masks_ = readModifierMasks(x_->display());
  }
  const auto subscribe = [this](const char* interface, const char* signal, const char* path) {
    return g_dbus_connection_signal_subscribe(bus_, kPortal, interface, signal, path, nullptr,
                                              G_DBUS_SIGNAL_FLAGS_NONE, &PortalCallbacks::onSignal,
                                              PortalCallbacks::hold(link_), &PortalCallbacks::release);
  };
  // Subscribed before any request is made, so no answer can come before its listener.
  responseSubscription_ = subscribe("org.freedesktop.portal.Request", "Response", nullptr);
  activatedSubscription_ = subscribe(kInterface, "Activated", kPortalPath);
  changedSubscription_ = subscribe(kInterface, "ShortcutsChanged", kPortalPath);
  // Bound once the launch has registered what the user recorded, if anything.
  bindSoon();
}

PortalGlobalShortcuts::~PortalGlobalShortcuts() {
  link_->self = nullptr;
  if (bindSource_ != 0) {
    g_source_remove(bindSource_);
  }
  g_cancellable_cancel(cancellable_);
  for (const unsigned subscription : {responseSubscription_, activatedSubscription_, changedSubscription_}) {
    g_dbus_connection_signal_unsubscribe(bus_, subscription);
  }
  closeSession();
  g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
  g_object_unref(cancellable_);
  g_object_unref(bus_);
}

Result<void> PortalGlobalShortcuts::registerHotKey(std::uint32_t id, const Shortcut& shortcut) {
  registeredID_ = id;
  preferredTrigger_ = xdgShortcutTrigger(shortcut);  // heard only by a session not yet opened
  return {};
}

void PortalGlobalShortcuts::unregisterHotKey(std::uint32_t id) {
  if (registeredID_ == id) {
    registeredID_.reset();
  }
}

std::optional<Shortcut> PortalGlobalShortcuts::shortcutForNativeKey(std::uint32_t nativeKeyCode,
                                                                    std::uint32_t nativeModifiers) const {
  if (!x_) {
    return std::nullopt;
  }
  return shortcutForKeyEvent(x_->display(), nativeKeyCode, nativeModifiers, masks_);
}

void PortalGlobalShortcuts::bindSoon() {
  if (bindSource_ == 0) {
    bindSource_ = g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, &PortalCallbacks::onBind,
                                  PortalCallbacks::hold(link_), &PortalCallbacks::release);
  }
}

void PortalGlobalShortcuts::createSession() {
  // KDE names its shortcut component after this token when the portal knows no application id
  // (as for a program not run by Flatpak): one name for every launch, so keys the user sets
  // there stay with Wrenfold.
  const std::string sessionToken = "wrenfold";
  sessionHandle_ =
      "/org/freedesktop/portal/desktop/session/" + portalSenderPathElement(bus_) + "/" + sessionToken;
  binding_ = {};
  const std::string token = "wrenfold_request" + std::to_string(++tokenCounter_);
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string(sessionToken.c_str()));
  // The interface's first draft took the shortcuts here, and KDE Plasma 5.27 binds only these
  // (its BindShortcuts merely opens the shortcut settings); later portals drop the option.
  g_variant_builder_add(&options, "{sv}", "shortcuts", shortcutsVariant());
  request("CreateSession", g_variant_new("(a{sv})", &options), token, &PortalGlobalShortcuts::sessionCreated);
}

GVariant* PortalGlobalShortcuts::shortcutsVariant() const {
  GVariantBuilder properties;
  g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&properties, "{sv}", "description", g_variant_new_string(kShortcutDescription));
  if (preferredTrigger_) {
    g_variant_builder_add(&properties, "{sv}", "preferred_trigger",
                          g_variant_new_string(preferredTrigger_->c_str()));
  }
  GVariantBuilder shortcuts;
  g_variant_builder_init(&shortcuts, G_VARIANT_TYPE("a(sa{sv})"));
  g_variant_builder_add(&shortcuts, "(sa{sv})", kShortcutID, &properties);
  return g_variant_builder_end(&shortcuts);
}

void PortalGlobalShortcuts::bindShortcuts() {
  const std::string token = "wrenfold_request" + std::to_string(++tokenCounter_);
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  request("BindShortcuts",
          g_variant_new("(o@a(sa{sv})sa{sv})", sessionHandle_.c_str(), shortcutsVariant(), "", &options),
          token, &PortalGlobalShortcuts::shortcutsBound);
}

void PortalGlobalShortcuts::closeSession() {
  pendingRequests_.clear();
  if (sessionHandle_.empty()) {
    return;
  }
  g_dbus_connection_call(bus_, kPortal, sessionHandle_.c_str(), "org.freedesktop.portal.Session", "Close",
                         nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
  sessionHandle_.clear();
}

void PortalGlobalShortcuts::request(const char* method, GVariant* parameters, const std::string& token,
                                    ResponseHandler then) {
  pendingRequests_[std::string(kPortalPath) + "/request/" + portalSenderPathElement(bus_) + "/" + token] =
      then;
  g_dbus_connection_call(bus_, kPortal, kPortalPath, kInterface, method, parameters, G_VARIANT_TYPE("(o)"),
                         G_DBUS_CALL_FLAGS_NONE, -1, cancellable_, &PortalCallbacks::onCallDone,
                         PortalCallbacks::hold(link_));
}

void PortalGlobalShortcuts::signalled(const char* path, const char* interface, const char* signal,
                                      GVariant* parameters) {
  const std::string_view name(signal);
  if (name == "Response" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) {
    const auto pending = pendingRequests_.find(path);
    if (pending == pendingRequests_.end()) {
      return;
    }
    const ResponseHandler then = pending->second;
    pendingRequests_.erase(pending);
    std::uint32_t code = 0;
    GVariant* results = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &code, &results);
    (this->*then)(code, results);
    g_variant_unref(results);
  } else if (std::string_view(interface) != kInterface || sessionHandle_.empty()) {
    return;
  } else if (name == "Activated" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})"))) {
    const char* session = nullptr;
    const char* shortcut = nullptr;
    g_variant_get(parameters, "(&o&sta{sv})", &session, &shortcut, nullptr, nullptr);
    activated(session, shortcut);
  } else if (name == "ShortcutsChanged" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(oa(sa{sv}))"))) {
    const char* session = nullptr;
    GVariant* shortcuts = nullptr;
    g_variant_get(parameters, "(&o@a(sa{sv}))", &session, &shortcuts);
    if (session == sessionHandle_) {
      readShortcuts(shortcuts);
    }
    g_variant_unref(shortcuts);
  }
}

void PortalGlobalShortcuts::sessionCreated(std::uint32_t code, GVariant* results) {
  if (code != 0) {
    failed("桌面没有为 Wrenfold 打开全局快捷键会话");
    return;
  }
  if (const std::string handle = portalStringIn(results, "session_handle"); !handle.empty()) {
    sessionHandle_ = handle;
  }
  GVariant* shortcuts = g_variant_lookup_value(results, "shortcuts", G_VARIANT_TYPE("a(sa{sv})"));
  const bool bound = shortcuts != nullptr && readShortcuts(shortcuts);
  if (shortcuts != nullptr) {
    g_variant_unref(shortcuts);
  }
  if (!bound) {
    bindShortcuts();
  }
}

void PortalGlobalShortcuts::shortcutsBound(std::uint32_t code, GVariant* results) {
  if (code != 0) {
    failed(code == 1 ? "全局快捷键的登记被取消了" : "桌面拒绝登记 Wrenfold 的全局快捷键");
    return;
  }
  GVariant* shortcuts = g_variant_lookup_value(results, "shortcuts", G_VARIANT_TYPE("a(sa{sv})"));
  if (shortcuts == nullptr || !readShortcuts(shortcuts)) {
    failed(kNotBound);
  }
  if (shortcuts != nullptr) {
    g_variant_unref(shortcuts);
  }
}

bool PortalGlobalShortcuts::readShortcuts(GVariant* shortcuts) {
  bool found = false;
  GVariantIter iter;
  g_variant_iter_init(&iter, shortcuts);
  const char* id = nullptr;
  GVariant* properties = nullptr;
  while (g_variant_iter_next(&iter, "(&s@a{sv})", &id, &properties)) {
    if (std::string_view(id) == kShortcutID) {
      binding_ = {portalStringIn(properties, "trigger_description"), {}};
      found = true;
    }
    g_variant_unref(properties);
  }
  return found;
}

void PortalGlobalShortcuts::failed(std::string problem) {
  binding_ = {{}, std::move(problem)};
}

void PortalGlobalShortcuts::activated(const std::string& sessionHandle, const std::string& shortcutID) {
  if (sessionHandle != sessionHandle_ || shortcutID != kShortcutID) {
    return;
  }
  // One press of the desktop's binding is one trigger, as a hot key's release is elsewhere.
  if (registeredID_ && handler_) {
    const std::uint32_t id = *registeredID_;
    handler_(id, Phase::pressed);
    handler_(id, Phase::released);
  } else if (!registeredID_ && unregisteredHandler_) {
    unregisteredHandler_();
  }
}

}  // namespace wrenfold
