#include "platform/linux/portal_probe.h"

#include <gio/gio.h>

#include <utility>

#include "platform/linux/portal_bus.h"

namespace wrenfold {
namespace {

constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr const char* kGlobalShortcuts = "org.freedesktop.portal.GlobalShortcuts";
constexpr std::uint32_t kKeyboard = 1;
// Started on demand it answered in under 2 s when measured; a busy login may take longer. A
// question not answered by then counts as "nothing offered" until a later round answers.
constexpr int kAnswerTimeoutMs = 10000;
constexpr unsigned kRetrySeconds = 30;

// The portal is there but said no: an interface it does not export is an answer, not a silence.
bool answeredWithError(const GError* error) {
  return error->domain == G_DBUS_ERROR &&
         (error->code == G_DBUS_ERROR_INVALID_ARGS || error->code == G_DBUS_ERROR_UNKNOWN_INTERFACE ||
          error->code == G_DBUS_ERROR_UNKNOWN_PROPERTY || error->code == G_DBUS_ERROR_UNKNOWN_METHOD ||
          error->code == G_DBUS_ERROR_UNKNOWN_OBJECT || error->code == G_DBUS_ERROR_ACCESS_DENIED);
}

}  // namespace

struct PortalProbeLink {
  PortalProbe* self;
};

struct PortalProbeCallbacks {
  using Shared = std::shared_ptr<PortalProbeLink>;
  struct Question {
    Shared link;
    std::uint64_t generation;
    bool remoteDesktop;
  };

  static gpointer hold(const Shared& link) { return new Shared(link); }
  static void release(gpointer data) { delete static_cast<Shared*>(data); }
  static PortalProbe* self(gpointer data) { return (*static_cast<Shared*>(data))->self; }

  static void onAppeared(GDBusConnection*, const char*, const char*, gpointer data) {
    if (PortalProbe* probe = self(data)) {
      probe->ask();
    }
  }

  static void onVanished(GDBusConnection*, const char*, gpointer data) {
    if (PortalProbe* probe = self(data)) {
      probe->vanished();
    }
  }

  static gboolean onRetry(gpointer data) {
    if (PortalProbe* probe = self(data)) {
      probe->retrySource_ = 0;
      probe->ask();
    }
    return G_SOURCE_REMOVE;
  }

  static void onProperties(GObject* bus, GAsyncResult* result, gpointer data) {
    const auto* question = static_cast<Question*>(data);
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
    std::uint32_t version = 0;
    std::uint32_t deviceTypes = 0;
    const bool replied = reply != nullptr || answeredWithError(error);
    if (reply != nullptr) {
      GVariant* properties = g_variant_get_child_value(reply, 0);
      static_cast<void>(g_variant_lookup(properties, "version", "u", &version));
      static_cast<void>(g_variant_lookup(properties, "AvailableDeviceTypes", "u", &deviceTypes));
      g_variant_unref(properties);
      g_variant_unref(reply);
    }
    if (error != nullptr) {
      g_error_free(error);
    }
    if (PortalProbe* probe = question->link->self) {
      probe->interfaceAnswered(question->generation, question->remoteDesktop, replied, version, deviceTypes);
    }
    delete question;
  }
};

std::unique_ptr<PortalProbe> PortalProbe::watch(Handler answered) {
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus == nullptr) {
    return nullptr;
  }
  return std::unique_ptr<PortalProbe>(new PortalProbe(bus, std::move(answered)));
}

PortalProbe::PortalProbe(GDBusConnection* bus, Handler answered)
    : link_(std::make_shared<PortalProbeLink>(PortalProbeLink{this})),
      bus_(bus),
      answered_(std::move(answered)) {
  // Starts the portal if it is D-Bus activated and not running yet; "vanished" comes only once
  // that failed, and "appeared" again whenever it comes (back).
  watcher_ = g_bus_watch_name_on_connection(
      bus_, kPortalService, G_BUS_NAME_WATCHER_FLAGS_AUTO_START, &PortalProbeCallbacks::onAppeared,
      &PortalProbeCallbacks::onVanished, PortalProbeCallbacks::hold(link_), &PortalProbeCallbacks::release);
}

PortalProbe::~PortalProbe() {
  link_->self = nullptr;
  if (retrySource_ != 0) {
    g_source_remove(retrySource_);
  }
  g_bus_unwatch_name(watcher_);
  g_object_unref(bus_);
}

void PortalProbe::ask() {
  if (retrySource_ != 0) {
    g_source_remove(retrySource_);
    retrySource_ = 0;
  }
  ++generation_;
  outstanding_ = 2;
  unanswered_ = false;
  offers_ = {};
  for (const bool remoteDesktop : {true, false}) {
    g_dbus_connection_call(bus_, kPortalService, kPortalObjectPath, "org.freedesktop.DBus.Properties",
                           "GetAll", g_variant_new("(s)", remoteDesktop ? kRemoteDesktop : kGlobalShortcuts),
                           G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE, kAnswerTimeoutMs, nullptr,
                           &PortalProbeCallbacks::onProperties,
                           new PortalProbeCallbacks::Question{link_, generation_, remoteDesktop});
  }
}

void PortalProbe::interfaceAnswered(std::uint64_t generation, bool remoteDesktop, bool replied,
                                    std::uint32_t version, std::uint32_t deviceTypes) {
  if (generation != generation_ || outstanding_ == 0) {
    return;
  }
  if (!replied) {
    unanswered_ = true;
  } else if (remoteDesktop) {
    offers_.remoteDesktopVersion = (deviceTypes & kKeyboard) != 0 ? version : 0;
  } else {
    offers_.globalShortcuts = version > 0;
  }
  if (--outstanding_ > 0) {
    return;
  }
  if (unanswered_) {
    // Owned but silent (still starting, or busy): asked again while it keeps its name.
    retrySource_ =
        g_timeout_add_seconds_full(G_PRIORITY_DEFAULT, kRetrySeconds, &PortalProbeCallbacks::onRetry,
                                   PortalProbeCallbacks::hold(link_), &PortalProbeCallbacks::release);
    if (!reported_) {
      report({});
    }
    return;
  }
  report(offers_);
}

void PortalProbe::vanished() {
  ++generation_;
  outstanding_ = 0;
  if (retrySource_ != 0) {
    g_source_remove(retrySource_);
    retrySource_ = 0;
  }
  if (!reported_) {
    report({});
  }
}

void PortalProbe::report(const PortalOffers& offers) {
  if (reported_ && offers == last_) {
    return;
  }
  reported_ = true;
  last_ = offers;
  answered_(offers);
}

}  // namespace wrenfold
