#pragma once

// Synthetic keys for native Wayland programs, through the desktop's RemoteDesktop portal
// (xdg-desktop-portal): the one way an ordinary Wayland client may type into another. A session
// with the keyboard alone is started at launch; the desktop may ask the user first (KDE Plasma
// 5.27 did not, for the keyboard alone). Where the portal keeps consent (version 2 and later),
// its restore token is kept in the user defaults so the user is asked once. Until the session
// runs, or when it was refused, no chord is posted and the candidate stays on the clipboard.
// Main thread only: GDBus answers on GLib's default main context, which Qt's event loop runs.

#include <cstdint>
#include <memory>
#include <string>

#include "core/platform/key_events.h"
#include "core/platform/user_defaults.h"

typedef struct _GDBusConnection GDBusConnection;  // NOLINT(modernize-use-using)
typedef struct _GVariant GVariant;                // NOLINT(modernize-use-using)

namespace wrenfold {

struct RemoteDesktopLink;

class PortalKeyEvents final : public KeyEvents {
 public:
  // Null when the session bus has no portal offering a keyboard through RemoteDesktop.
  [[nodiscard]] static std::unique_ptr<PortalKeyEvents> connect(UserDefaults& defaults);
  ~PortalKeyEvents() override;
  PortalKeyEvents(const PortalKeyEvents&) = delete;
  PortalKeyEvents& operator=(const PortalKeyEvents&) = delete;

  [[nodiscard]] KeyPostResult post(const KeyChord& chord) override;

 private:
  PortalKeyEvents(GDBusConnection* bus, std::uint32_t version, UserDefaults& defaults);
  void request(const char* method, GVariant* parameters, const std::string& token,
               void (PortalKeyEvents::*then)(std::uint32_t, GVariant*));
  void sessionCreated(std::uint32_t code, GVariant* results);
  void devicesSelected(std::uint32_t code, GVariant* results);
  void started(std::uint32_t code, GVariant* results);
  void responded(const char* path, GVariant* parameters);
  void pressKeysym(std::uint32_t keysym, bool pressed);
  friend struct RemoteDesktopCallbacks;

  std::shared_ptr<RemoteDesktopLink> link_;  // what the callbacks hold; cleared when this goes
  GDBusConnection* bus_;
  std::uint32_t version_;
  UserDefaults& defaults_;
  std::uint32_t responseSubscription_ = 0;
  std::string pendingPath_;  // the Request whose Response comes next
  void (PortalKeyEvents::*pendingThen_)(std::uint32_t, GVariant*) = nullptr;
  std::string sessionHandle_;
  bool keyboard_ = false;  // the session runs and the desktop granted the keyboard
};

}  // namespace wrenfold
