#pragma once

// Wrenfold's trigger through the desktop's GlobalShortcuts portal (xdg-desktop-portal), the one
// global-key path a Wayland session offers an ordinary program. The desktop keeps the binding:
// Wrenfold names one shortcut, "showAssistant", suggests the keys the user recorded, and hears
// Activated whenever the user presses what the desktop bound, even keys changed later in the
// desktop's own settings. One session per launch: the suggestion counts where the desktop has no
// keys for Wrenfold yet, and the keys are changed in the desktop's settings afterwards.
// Main thread only: GDBus answers on GLib's default main context, which Qt's event loop runs.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/platform/global_hot_keys.h"
#include "platform/linux/x11_connection.h"
#include "platform/linux/x11_key_mapping.h"

// GLib's types, declared as GLib does: its headers clash with Qt's keywords in the files that
// include this one.
typedef struct _GDBusConnection GDBusConnection;  // NOLINT(modernize-use-using)
typedef struct _GCancellable GCancellable;        // NOLINT(modernize-use-using)
typedef struct _GVariant GVariant;                // NOLINT(modernize-use-using)

namespace wrenfold {

// The XDG shortcut syntax the portal takes as a suggestion ("CTRL+ALT+space"); absent for a key
// outside the table.
[[nodiscard]] std::optional<std::string> xdgShortcutTrigger(const Shortcut& shortcut);

struct PortalLink;

class PortalGlobalShortcuts final : public GlobalHotKeys {
 public:
  // For a portal on `bus` that offers GlobalShortcuts; holds its own reference to `bus`.
  [[nodiscard]] static std::shared_ptr<PortalGlobalShortcuts> open(GDBusConnection* bus);
  ~PortalGlobalShortcuts() override;
  PortalGlobalShortcuts(const PortalGlobalShortcuts&) = delete;
  PortalGlobalShortcuts& operator=(const PortalGlobalShortcuts&) = delete;

  void setHandler(Handler handler) override { handler_ = std::move(handler); }
  // Always succeeds: the shortcut becomes the suggestion for the binding made after the launch,
  // and the desktop decides.
  [[nodiscard]] Result<void> registerHotKey(std::uint32_t id, const Shortcut& shortcut) override;
  void unregisterHotKey(std::uint32_t id) override;
  [[nodiscard]] bool isTakenByAnotherApplication(const Shortcut&) override { return false; }
  // The recorder's keys arrive through XWayland.
  [[nodiscard]] std::optional<Shortcut> shortcutForNativeKey(std::uint32_t nativeKeyCode,
                                                             std::uint32_t nativeModifiers) const override;
  void setUnregisteredTriggerHandler(std::function<void()> handler) override {
    unregisteredHandler_ = std::move(handler);
  }
  [[nodiscard]] std::optional<DesktopShortcutBinding> desktopBinding() const override { return binding_; }

 private:
  using ResponseHandler = void (PortalGlobalShortcuts::*)(std::uint32_t code, GVariant* results);

  explicit PortalGlobalShortcuts(GDBusConnection* bus);
  void bindSoon();
  void createSession();
  void bindShortcuts();
  [[nodiscard]] GVariant* shortcutsVariant() const;  // floating
  void closeSession();
  // Calls a portal method that answers through a Request object's Response signal.
  void request(const char* method, GVariant* parameters, const std::string& token, ResponseHandler then);
  void sessionCreated(std::uint32_t code, GVariant* results);
  void shortcutsBound(std::uint32_t code, GVariant* results);
  // Whether Wrenfold's shortcut is among them.
  bool readShortcuts(GVariant* shortcuts);
  void failed(std::string problem);
  void activated(const std::string& sessionHandle, const std::string& shortcutID);
  void signalled(const char* path, const char* interface, const char* signal, GVariant* parameters);
  friend struct PortalCallbacks;

  std::shared_ptr<PortalLink> link_;  // what the callbacks hold; cleared when this goes
  GDBusConnection* bus_;
  GCancellable* cancellable_;
  std::uint32_t responseSubscription_ = 0;
  std::uint32_t activatedSubscription_ = 0;
  std::uint32_t changedSubscription_ = 0;
  unsigned bindSource_ = 0;
  std::map<std::string, ResponseHandler> pendingRequests_;  // by Request object path
  std::uint32_t tokenCounter_ = 0;
  std::string sessionHandle_;  // empty while no session is open
  std::optional<std::string> preferredTrigger_;
  std::optional<std::uint32_t> registeredID_;
  Handler handler_;
  std::function<void()> unregisteredHandler_;
  DesktopShortcutBinding binding_;
  std::unique_ptr<X11Connection> x_;  // XWayland, for the recorder; may be null
  X11ModifierMasks masks_;
};

}  // namespace wrenfold
