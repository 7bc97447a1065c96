#pragma once

// The application's owner of every long-lived service. The stores and the global trigger are
// built at construction; the tray menu, the trigger's wiring, the notification observer and the
// launch log line at launch; the overlay, the orchestrator and the settings window on first
// use; all live until the process ends. Main thread only.

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/autostart.h"
#include "app/desktop_platform.h"
#include "core/ai/model_config_store.h"
#include "core/cycle/assistant_orchestrator.h"
#include "core/memory/style_memory_store.h"
#include "core/platform/notification_center.h"
#include "core/support/app_logger.h"
#include "core/support/app_paths.h"
#include "core/support/system_log.h"
#include "core/templates/prompt_template_engine.h"
#include "core/trigger/hotkey_controller.h"
#include "core/trigger/shortcut_registry.h"
#include "platform/qt/qt_desktop_notifier.h"
#include "ui/overlay/overlay_window_controller.h"
#include "ui/settings/settings_window_controller.h"
#include "ui/shortcut/menu_shortcut_bridge.h"
#include "ui/tray/menu_bar_controller.h"

namespace wrenfold::app {

class AppDelegate {
 public:
  // Loads the stored configuration, style memory and templates; a missing or broken file gives
  // the defaults. Needs the QApplication.
  AppDelegate(AppPaths paths, std::shared_ptr<SystemLog> systemLog, DesktopPorts ports);
  ~AppDelegate();
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // Creates the data folders, the tray menu and the settings observer, says in the log what
  // the session lacks, and logs "Wrenfold launched". Call once, before the event loop runs.
  void applicationDidFinishLaunching();
  // Runs when the event loop is about to end (QCoreApplication::aboutToQuit): the double-tap
  // monitor stops and the custom shortcut is released.
  void applicationWillTerminate();

  // The one request every trigger ends in: the tray's "生成候选", the global trigger, and a
  // remote `wrenfold trigger`. Ignored while a cycle is opening.
  void trigger();
  // Opens the settings window, or brings the existing one back.
  void showSettings();

  // Calls `known` with what this session offers each part of a cycle, one line each: at once
  // where that is known at launch, else once the desktop's portals have answered, and again
  // whenever the answer changes.
  void whenSessionKnown(std::function<void(const std::vector<std::string>&)> known);
  // What the session lacks (accessibility, window capture, a tray), found at launch.
  [[nodiscard]] const std::vector<std::string>& sessionProblems() const { return sessionProblems_; }
  // What this session offers each part of a cycle, one line each.
  [[nodiscard]] std::vector<std::string> sessionOffers() const {
    return ports_.session ? describeSessionOffers(*ports_.session) : std::vector<std::string>{};
  }
  [[nodiscard]] NotificationCenter& notifications() { return notifications_; }
  // Absent before launch.
  [[nodiscard]] MenuBarController* menuBar() const { return menuBar_.get(); }
  [[nodiscard]] AppLogger& logger() { return logger_; }
  [[nodiscard]] HotkeyController& hotkey() { return hotkey_; }

  // Created on first use.
  [[nodiscard]] OverlayWindowController& overlay();
  [[nodiscard]] AssistantOrchestrator& orchestrator();
  [[nodiscard]] SettingsWindowController& settings();

 private:
  // `action` runs on the delegate only while it exists.
  [[nodiscard]] std::function<void()> weakly(std::function<void(AppDelegate&)> action) const;
  void reportSession();
  // The launch notice for a recorded shortcut the session does not take.
  void reportInactiveShortcut();
  void sessionKnown(const DesktopSession& session);
  // Opens the settings window with a guide when no model is set up or the desktop has no tray.
  void guideIfNeeded();

  DesktopPorts ports_;
  AppPaths paths_;
  AppLogger logger_;
  ModelConfigStore modelConfigStore_;
  StyleMemoryStore styleMemoryStore_;
  PromptTemplateEngine templateEngine_;
  NotificationCenter notifications_;
  std::optional<AutostartEntry> autostart_;  // absent when the session has no configuration folder
  ShortcutRegistry shortcutRegistry_;
  HotkeyController hotkey_;
  // Desktop notifications, else the tray's balloon; outlives the orchestrator that uses it.
  QtDesktopNotifier notifier_;
  std::unique_ptr<OverlayWindowController> overlay_;
  std::unique_ptr<SettingsWindowController> settings_;
  std::unique_ptr<AssistantOrchestrator> orchestrator_;  // after the overlay it drives: goes first
  std::unique_ptr<MenuBarController> menuBar_;
  std::unique_ptr<MenuShortcutBridge> menuShortcuts_;
  std::vector<std::string> sessionProblems_;
  std::function<void(const std::vector<std::string>&)> sessionKnownHandler_;
  bool sessionKnown_ = false;
  QObject connections_;  // context of the Qt connections: they end with the delegate
  std::shared_ptr<AppDelegate*> self_ = std::make_shared<AppDelegate*>(this);
};

}  // namespace wrenfold::app
