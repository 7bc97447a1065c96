#include "platform/linux/portal_remote_desktop.h"

#include <gio/gio.h>

#include <array>
#include <utility>

#include "platform/linux/portal_bus.h"

namespace wrenfold {
namespace {

constexpr const char* kInterface = "org.freedesktop.portal.RemoteDesktop";
constexpr std::uint32_t kKeyboard = 1;
// Kept until the user revokes it (version 2 and later).
constexpr std::uint32_t kPersistUntilRevoked = 2;
// Not a secret, but it lets the holder skip the user's consent: never logged.
constexpr const char* kRestoreTokenKey = "RemoteDesktop_restoreToken";
// The portal answers each key in a few milliseconds on the local bus; one that does not answer
// in this time has lost the session.
constexpr int kKeyTimeoutMs = 2000;
// How long a paste waits for the session, which may wait for the user's consent in the
// desktop's dialog.
constexpr unsigned kStartTimeoutMs = 20000;

// X keysyms: the portal maps them to the keys of the desktop's layout.
constexpr std::array<std::pair<KeyModifier, std::uint32_t>, 4> kModifierKeysyms{
    {{KeyModifier::control, 0xffe3},
     {KeyModifier::shift, 0xffe1},
     {KeyModifier::alt, 0xffe9},
     {KeyModifier::super, 0xffeb}}};

}  // namespace

struct RemoteDesktopLink {
  PortalKeyEvents* self;
};

struct RemoteDesktopCallbacks {
  using Shared = std::shared_ptr<RemoteDesktopLink>;

  static gpointer hold(const Shared& link) { return new Shared(link); }
  static void release(gpointer data) { delete static_cast<Shared*>(data); }
  static PortalKeyEvents* self(gpointer data) { return (*static_cast<Shared*>(data))->self; }

  static void onResponse(GDBusConnection*, const char*, const char* path, const char*, const char*,
                         GVariant* parameters, gpointer data) {
    if (PortalKeyEvents* keys = self(data)) {
      keys->responded(path, parameters);
    }
  }

  static void onClosed(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant*,
                       gpointer data) {
    if (PortalKeyEvents* keys = self(data)) {
      keys->sessionClosed();
    }
  }

  static void onKeyReply(GObject* bus, GAsyncResult* result, gpointer data) {
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, nullptr);
    const bool accepted = reply != nullptr;
    if (accepted) {
      g_variant_unref(reply);
    }
    if (PortalKeyEvents* keys = self(data)) {
      keys->keyAnswered(accepted);
    }
    release(data);
  }

  static gboolean onStartTimeout(gpointer data) {
    if (PortalKeyEvents* keys = self(data)) {
      keys->startTimer_ = 0;
      keys->startTimedOut();
    }
    return G_SOURCE_REMOVE;
  }
};

std::unique_ptr<PortalKeyEvents> PortalKeyEvents::open(GDBusConnection* bus, std::uint32_t version,
                                                       UserDefaults& defaults) {
  return std::unique_ptr<PortalKeyEvents>(
      new PortalKeyEvents(G_DBUS_CONNECTION(g_object_ref(bus)), version, defaults));
}

PortalKeyEvents::PortalKeyEvents(GDBusConnection* bus, std::uint32_t version, UserDefaults& defaults)
    : link_(std::make_shared<RemoteDesktopLink>(RemoteDesktopLink{this})),
      bus_(bus),
      version_(version),
      defaults_(defaults) {
  // Subscribed before any request is made, so no answer can come before its listener.
  responseSubscription_ = g_dbus_connection_signal_subscribe(
      bus_, kPortalService, "org.freedesktop.portal.Request", "Response", nullptr, nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, &RemoteDesktopCallbacks::onResponse, RemoteDesktopCallbacks::hold(link_),
      &RemoteDesktopCallbacks::release);
  // No session yet: the desktop may ask the user's consent when one starts, and a dialog at
  // every launch, for a paste the user may never need, is a nuisance. The first chord starts it.
}

void PortalKeyEvents::startSession() {
  if (keyboard_) {
    return;
  }
  if (starting_) {  // a paste that comes while the dialog is open waits its own time
    armStartTimer();
    return;
  }
  starting_ = true;
  ++sessions_;
  const std::string token = "wrenfold_keys" + std::to_string(sessions_);
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string((token + "_1").c_str()));
  g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string(token.c_str()));
  request("CreateSession", g_variant_new("(a{sv})", &options), token + "_1",
          &PortalKeyEvents::sessionCreated);
  armStartTimer();
}

void PortalKeyEvents::armStartTimer() {
  if (startTimer_ == 0) {
    startTimer_ =
        g_timeout_add_full(G_PRIORITY_DEFAULT, kStartTimeoutMs, &RemoteDesktopCallbacks::onStartTimeout,
                           RemoteDesktopCallbacks::hold(link_), &RemoteDesktopCallbacks::release);
  }
}

void PortalKeyEvents::endSession() {
  keyboard_ = false;
  starting_ = false;
  pendingThen_ = nullptr;
  if (startTimer_ != 0) {
    g_source_remove(startTimer_);
    startTimer_ = 0;
  }
  if (closedSubscription_ != 0) {
    g_dbus_connection_signal_unsubscribe(bus_, closedSubscription_);
    closedSubscription_ = 0;
  }
  if (!sessionHandle_.empty()) {
    g_dbus_connection_call(bus_, kPortalService, sessionHandle_.c_str(), "org.freedesktop.portal.Session",
                           "Close", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    sessionHandle_.clear();
  }
  awaiting_ = false;
  sent_ = 0;
  failWaiting();
}

void PortalKeyEvents::failWaiting() {
  // Answered after the state is reset: a handler may post the next chord at once.
  for (auto& ready : std::exchange(readyWaiters_, {})) {
    ready(false);
  }
  auto waiting = std::exchange(chords_, {});
  for (auto& chord : waiting) {
    if (chord.done) {
      chord.done(KeyPostResult::failed);
    }
  }
}

void PortalKeyEvents::sessionClosed() {
  sessionHandle_.clear();  // closed already: nothing to close
  endSession();
}

void PortalKeyEvents::startTimedOut() {
  // Start unanswered means the desktop is asking the user, who may take their time: the waiting
  // pastes give up (their candidates are on the clipboard), but the session goes on, so a consent
  // given late serves the next paste instead of being thrown away and asked for again.
  if (pendingThen_ == &PortalKeyEvents::started) {
    failWaiting();
    return;
  }
  endSession();
}

PortalKeyEvents::~PortalKeyEvents() {
  link_->self = nullptr;
  g_dbus_connection_signal_unsubscribe(bus_, responseSubscription_);
  if (closedSubscription_ != 0) {
    g_dbus_connection_signal_unsubscribe(bus_, closedSubscription_);
  }
  if (startTimer_ != 0) {
    g_source_remove(startTimer_);
  }
  if (!sessionHandle_.empty()) {
    g_dbus_connection_call(bus_, kPortalService, sessionHandle_.c_str(), "org.freedesktop.portal.Session",
                           "Close", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
  }
  g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
  g_object_unref(bus_);
}

void PortalKeyEvents::request(const char* method, GVariant* parameters, const std::string& token,
                              void (PortalKeyEvents::*then)(std::uint32_t, GVariant*)) {
  pendingPath_ = std::string(kPortalObjectPath) + "/request/" + portalSenderPathElement(bus_) + "/" + token;
  pendingThen_ = then;
  // The answer comes with the Request's Response signal; a refused call leaves no session.
  g_dbus_connection_call(bus_, kPortalService, kPortalObjectPath, kInterface, method, parameters,
                         G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
}

void PortalKeyEvents::responded(const char* path, GVariant* parameters) {
  if (pendingThen_ == nullptr || pendingPath_ != path ||
      !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) {
    return;
  }
  const auto then = std::exchange(pendingThen_, nullptr);
  std::uint32_t code = 0;
  GVariant* results = nullptr;
  g_variant_get(parameters, "(u@a{sv})", &code, &results);
  (this->*then)(code, results);
  g_variant_unref(results);
}

void PortalKeyEvents::sessionCreated(std::uint32_t code, GVariant* results) {
  sessionHandle_ = portalStringIn(results, "session_handle");
  if (code != 0 || sessionHandle_.empty()) {
    endSession();
    return;
  }
  closedSubscription_ = g_dbus_connection_signal_subscribe(
      bus_, kPortalService, "org.freedesktop.portal.Session", "Closed", sessionHandle_.c_str(), nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, &RemoteDesktopCallbacks::onClosed, RemoteDesktopCallbacks::hold(link_),
      &RemoteDesktopCallbacks::release);
  const std::string token = "wrenfold_keys" + std::to_string(sessions_) + "_2";
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  g_variant_builder_add(&options, "{sv}", "types", g_variant_new_uint32(kKeyboard));
  if (version_ >= 2) {  // the options that keep the user's consent came with version 2
    g_variant_builder_add(&options, "{sv}", "persist_mode", g_variant_new_uint32(kPersistUntilRevoked));
    if (const auto restore = defaults_.string(kRestoreTokenKey); restore && !restore->empty()) {
      g_variant_builder_add(&options, "{sv}", "restore_token", g_variant_new_string(restore->c_str()));
    }
  }
  request("SelectDevices", g_variant_new("(oa{sv})", sessionHandle_.c_str(), &options), token,
          &PortalKeyEvents::devicesSelected);
}

void PortalKeyEvents::devicesSelected(std::uint32_t code, GVariant*) {
  if (code != 0) {
    endSession();
    return;
  }
  const std::string token = "wrenfold_keys" + std::to_string(sessions_) + "_3";
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  request("Start", g_variant_new("(osa{sv})", sessionHandle_.c_str(), "", &options), token,
          &PortalKeyEvents::started);
}

void PortalKeyEvents::started(std::uint32_t code, GVariant* results) {
  std::uint32_t devices = 0;
  const bool keyboard =
      code == 0 && g_variant_lookup(results, "devices", "u", &devices) && (devices & kKeyboard) != 0;
  if (!keyboard) {
    endSession();
    return;
  }
  keyboard_ = true;
  starting_ = false;
  if (startTimer_ != 0) {
    g_source_remove(startTimer_);
    startTimer_ = 0;
  }
  // Each start hands out a new token; the old one is spent.
  if (const std::string token = portalStringIn(results, "restore_token"); !token.empty()) {
    static_cast<void>(defaults_.setString(kRestoreTokenKey, token));
  }
  for (auto& ready : std::exchange(readyWaiters_, {})) {
    ready(true);
  }
  sendNext();
}

std::vector<std::pair<std::uint32_t, bool>> PortalKeyEvents::eventsOf(const KeyChord& chord) {
  std::vector<std::pair<std::uint32_t, bool>> events;
  for (const auto& [modifier, keysym] : kModifierKeysyms) {
    if ((chord.modifiers & static_cast<unsigned>(modifier)) != 0) {
      events.emplace_back(keysym, true);
    }
  }
  // Letters and digits are their own keysyms.
  events.emplace_back(static_cast<unsigned char>(chord.key[0]), true);
  events.emplace_back(static_cast<unsigned char>(chord.key[0]), false);
  for (auto it = kModifierKeysyms.rbegin(); it != kModifierKeysyms.rend(); ++it) {
    if ((chord.modifiers & static_cast<unsigned>(it->first)) != 0) {
      events.emplace_back(it->second, false);
    }
  }
  return events;
}

void PortalKeyEvents::sendNext() {
  while (keyboard_ && !awaiting_ && !chords_.empty()) {
    Chord& chord = chords_.front();
    if (sent_ == chord.events.size()) {
      auto done = std::move(chord.done);
      chords_.pop_front();
      sent_ = 0;
      if (done) {
        done(KeyPostResult::posted);
      }
      continue;
    }
    const auto [keysym, pressed] = chord.events[sent_];
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    awaiting_ = true;
    g_dbus_connection_call(bus_, kPortalService, kPortalObjectPath, kInterface, "NotifyKeyboardKeysym",
                           g_variant_new("(oa{sv}iu)", sessionHandle_.c_str(), &options,
                                         static_cast<std::int32_t>(keysym), pressed ? 1U : 0U),
                           nullptr, G_DBUS_CALL_FLAGS_NONE, kKeyTimeoutMs, nullptr,
                           &RemoteDesktopCallbacks::onKeyReply, RemoteDesktopCallbacks::hold(link_));
  }
}

void PortalKeyEvents::keyAnswered(bool accepted) {
  awaiting_ = false;
  if (!accepted) {
    // A session the portal no longer knows (stopped by the user, or the portal restarted):
    // nothing was typed, and the next chord starts a new one.
    endSession();
    return;
  }
  ++sent_;
  sendNext();
}

namespace {

bool plainKey(const KeyChord& chord) {
  return chord.key.size() == 1 &&
         ((chord.key[0] >= 'a' && chord.key[0] <= 'z') || (chord.key[0] >= '0' && chord.key[0] <= '9'));
}

}  // namespace

KeyPostResult PortalKeyEvents::post(const KeyChord& chord) {
  if (!plainKey(chord)) {
    return KeyPostResult::failed;
  }
  if (!keyboard_) {
    startSession();
    return KeyPostResult::failed;
  }
  chords_.push_back({eventsOf(chord), nullptr});
  sendNext();
  return KeyPostResult::posted;
}

void PortalKeyEvents::whenReady(ReadyHandler ready) {
  if (keyboard_) {
    ready(true);
    return;
  }
  readyWaiters_.push_back(std::move(ready));
  startSession();
}

void PortalKeyEvents::postThen(const KeyChord& chord, PostHandler done) {
  if (!plainKey(chord)) {
    done(KeyPostResult::failed);
    return;
  }
  chords_.push_back({eventsOf(chord), std::move(done)});
  if (keyboard_) {
    sendNext();
  } else {
    startSession();
  }
}

}  // namespace wrenfold
