#pragma once

#include <QColor>

// The Linux desktop as the application sees it: the core's ports implemented by AT-SPI and X11
// (other applications' fields, windows, captures, synthetic keys) and by Qt (main queue,
// clipboard, images, default handlers), plus the checks that say what a session lacks.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ai/http_client.h"
#include "core/platform/accessibility.h"
#include "core/platform/clock.h"
#include "core/platform/custom_keybindings.h"
#include "core/platform/desktop_services.h"
#include "core/platform/desktop_session.h"
#include "core/platform/global_hot_keys.h"
#include "core/platform/image_codec.h"
#include "core/platform/input_method.h"
#include "core/platform/key_events.h"
#include "core/platform/main_queue.h"
#include "core/platform/modifier_monitor.h"
#include "core/platform/pasteboard.h"
#include "core/platform/secret_store.h"
#include "core/platform/user_defaults.h"
#include "core/platform/window_capture.h"
#include "core/platform/work_queue.h"
#include "core/platform/workspace.h"

#include "core/trigger/desktop_trigger_shortcut.h"

namespace wrenfold::app {

// Under Wayland the desktop's portals say what they offer only once they have answered, after
// launch: the trigger's path and the synthetic keys are chosen then (until then chords wait, a
// bounded time), and the session's description follows.
class PortalChoice {
 public:
  PortalChoice() = default;
  virtual ~PortalChoice() = default;
  PortalChoice(const PortalChoice&) = delete;
  PortalChoice& operator=(const PortalChoice&) = delete;

  // Runs on the main thread with the session as now known: at once if the portals have answered
  // already, else once they do, and again whenever the answer changes.
  virtual void whenKnown(std::function<void(const DesktopSession&)> known) = 0;
};

// Declared in the order they may depend on each other; destroyed in reverse, so the worker
// finishes its queued tasks while every port they use still exists.
struct DesktopPorts {
  // The session the adapters were chosen for; absent for ports not made for a real session.
  std::optional<DesktopSession> session;
  std::unique_ptr<MainQueue> mainQueue;
  std::unique_ptr<Clock> clock;
  std::unique_ptr<UserDefaults> userDefaults;
  // The global trigger's two halves; on X11 they share one back-end, hence shared ownership.
  std::shared_ptr<ModifierMonitor> modifierMonitor;
  std::shared_ptr<GlobalHotKeys> globalHotKeys;
  // GNOME on Wayland without the GlobalShortcuts portal: the desktop's custom shortcut that runs
  // `wrenfold trigger`, set from the settings. Absent elsewhere.
  std::unique_ptr<CustomKeybindings> customKeybindings;
  std::unique_ptr<DesktopTriggerShortcut> desktopTriggerShortcut;
  std::shared_ptr<Workspace> workspace;  // the accessibility port names running applications too
  std::unique_ptr<Accessibility> accessibility;
  std::unique_ptr<Pasteboard> pasteboard;
  std::unique_ptr<InputMethod> inputMethod;  // the input method's addon, asked first to insert
  std::unique_ptr<KeyEvents> keyEvents;      // Wrenfold's own keys never count as a double tap
  std::unique_ptr<DesktopServices> desktop;
  std::unique_ptr<ImageCodec> imageCodec;
  std::unique_ptr<WindowCapture> windowCapture;
  std::unique_ptr<HttpClient> http;
  std::unique_ptr<SecretStore> secrets;  // absent: the API key can only be kept in config.json
  std::unique_ptr<WorkQueue> workQueue;
  std::unique_ptr<WorkQueue> keyringQueue;  // the keyring's calls; absent: they share workQueue
  // Wayland only; it chooses adapters for the ports above, so it goes first.
  std::unique_ptr<PortalChoice> portals;
};

// The session this process runs in, detected on the first call from the environment and
// whether $DISPLAY answers; the same record afterwards.
[[nodiscard]] const DesktopSession& desktopSession();

// The desktop back-end is X11: the application's own windows use it too (unless the caller
// chose a Qt platform), so the overlay can be placed where the field is. Before QApplication.
void preferX11Platform();

// Memory freed at the end of a cycle stays with the process for the next one. Call first.
void keepCycleMemory();

// Before QApplication: why the application cannot show a window (no X11 display, or one that
// does not answer), as a Chinese sentence; absent when it can. A Qt platform other than X11
// chosen by the caller (offscreen) needs no display.
[[nodiscard]] std::optional<std::string> missingDisplay();

// The Linux and Qt implementations of every port, chosen for `session`; needs the QApplication.
// Parts the session lacks (no accessibility bus, no display, no global keys under Wayland) still
// give working ports that answer "none" or say why not.
[[nodiscard]] DesktopPorts makeDesktopPorts(const DesktopSession& session = desktopSession());

// What the session lacks for a whole cycle, one Chinese sentence each; empty when nothing is
// missing. Main thread.
[[nodiscard]] std::vector<std::string> missingCapabilities(Accessibility& accessibility,
                                                           WindowCapture& windowCapture);

// SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C) end the event loop the same orderly way as
// "退出", so termination still runs. Needs the QApplication; call once.
void quitOnTerminationSignals();

// The tray panel's text colour when the desktop publishes it (X11 tray managers do), so the tray
// icon follows the panel rather than the application's theme.
[[nodiscard]] std::optional<QColor> panelForegroundColor();

}  // namespace wrenfold::app
