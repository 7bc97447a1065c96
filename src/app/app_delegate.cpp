#include "app/app_delegate.h"

#include <QCoreApplication>
#include <filesystem>

#include "core/ai/service_url.h"
#include "core/text/text.h"
#include "ui/shortcut/shortcut_settings_tab.h"

namespace wrenfold::app {
namespace {

constexpr std::string_view kNoDoubleTapHint =
    "无法监听 Alt 键的双击（X11 的 XInput 2 不可用）：请在设置的“快捷键”页录制一个唤起快捷键。";
constexpr std::string_view kNoTrayHint =
    "桌面没有系统托盘，Wrenfold 在后台继续运行：双击 Alt 键（或使用在设置中录制的快捷键）唤起候选；"
    "生成出错时可在浮窗中点“打开设置”进入设置。";
constexpr std::string_view kNoTrayHintWayland =
    "桌面没有系统托盘，Wrenfold 在后台继续运行：用桌面的全局快捷键（或绑定到 wrenfold trigger "
    "的快捷键）唤起候选，"
    "wrenfold settings 打开设置。";

constexpr std::string_view kFirstRunGuide =
    "欢迎使用 Wrenfold。请先在下面选择模型服务，核对 Base URL 和模型，填入 API Key，再按“保存更改”。"
    "本机或局域网上的服务（如 Ollama、llama.cpp）不需要 Key，可在“本地服务”中选择它的地址。";
constexpr std::string_view kCallUpByDoubleTap =
    "保存后，在任意程序的文本框里快速双击 Alt 键即可唤起 Wrenfold。";
constexpr std::string_view kCallUpByRecordedShortcut = "保存后，请在“快捷键”页录制一个唤起快捷键。";
constexpr std::string_view kCallUpOnWayland =
    "保存后，用桌面的全局快捷键唤起 Wrenfold（可在桌面的键盘设置里把快捷键绑定到命令 wrenfold trigger）。";
constexpr std::string_view kNoTrayGuide =
    "这个桌面没有系统托盘，Wrenfold 在后台运行。以后可从应用菜单中的“Wrenfold”或用命令 wrenfold settings "
    "再打开这个窗口。";

// Whether a model service has been set up: a config.json that loaded, naming a model and
// holding a key (or keeping it in the keyring), or a server on this machine or the local
// network, which needs none. Defaults alone never are: they hold no key.
bool hasUsableModel(const ModelConfigStore& store, const AppPaths& paths) {
  std::error_code error;
  if (!std::filesystem::exists(paths.configURL(), error) || store.loadProblem()) {
    return false;
  }
  const ModelConfig& config = store.config();
  return !text::trim(config.model).empty() &&
         (config.apiKeyStorage == APIKeyStorage::keyring || !text::trim(config.apiKey).empty() ||
          service_url::isLocalService(config));
}

std::optional<KeyringPorts> keyringPorts(const DesktopPorts& ports) {
  if (!ports.secrets) {
    return std::nullopt;
  }
  // A worker of its own: a read held by an unlock prompt never delays a window capture.
  return KeyringPorts{*ports.secrets, ports.keyringQueue ? *ports.keyringQueue : *ports.workQueue,
                      *ports.mainQueue};
}

}  // namespace

AppDelegate::AppDelegate(AppPaths paths, std::shared_ptr<SystemLog> systemLog, DesktopPorts ports)
    : ports_(std::move(ports)),
      paths_(std::move(paths)),
      logger_(paths_, std::move(systemLog)),
      modelConfigStore_(paths_, keyringPorts(ports_)),
      styleMemoryStore_(paths_, logger_),
      templateEngine_(paths_),
      notifications_(*ports_.mainQueue),
      shortcutRegistry_(*ports_.userDefaults, *ports_.globalHotKeys, notifications_),
      hotkey_(*ports_.modifierMonitor, shortcutRegistry_, *ports_.mainQueue, *ports_.clock),
      // The notifier is a member: its fallback never runs once the delegate is gone.
      notifier_([this](const std::string& title, const std::string& body) {
        if (menuBar_ && MenuBarController::isTrayAvailable()) {
          menuBar_->statusItem().showMessage(QString::fromStdString(title), QString::fromStdString(body));
        }
      }) {
  styleMemoryStore_.setWriter(ports_.workQueue.get());  // typing a preference never waits for the disk
  if (auto entry = AutostartEntry::forThisProcess()) {
    autostart_ = std::move(*entry);
  }
  QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &connections_,
                   weakly([](AppDelegate& self) { self.applicationWillTerminate(); }));
}

AppDelegate::~AppDelegate() {
  if (ports_.secrets) {
    ports_.secrets->abandonCalls();  // the keyring's worker is joined last: never behind a prompt
  }
}

void AppDelegate::applicationDidFinishLaunching() {
  static_cast<void>(paths_.ensureDirectories());  // every writer creates what it needs again

  const auto startCycle = weakly([](AppDelegate& self) { self.trigger(); });
  menuBar_ = std::make_unique<MenuBarController>(&panelForegroundColor);
  menuBar_->onTrigger = startCycle;
  menuBar_->onSettings = weakly([](AppDelegate& self) { self.showSettings(); });
  // An open tray menu holds the keyboard; the custom shortcut still works through it.
  menuShortcuts_ = std::make_unique<MenuShortcutBridge>(shortcutRegistry_);
  menuShortcuts_->attach(&menuBar_->menu());

  hotkey_.onQuickTrigger = startCycle;
  // Where the desktop keeps the binding, its key works even while no shortcut is recorded.
  ports_.globalHotKeys->setUnregisteredTriggerHandler(startCycle);
  hotkey_.start();

  notifications_.addObserver(
      std::string(kOpenSettingsRequested),
      [open = weakly([](AppDelegate& self) { self.showSettings(); })](const Notification&) { open(); });
  reportSession();
  if (ports_.portals) {
    ports_.portals->whenKnown([weak = std::weak_ptr<AppDelegate*>(self_)](const DesktopSession& session) {
      if (const auto self = weak.lock()) {
        (*self)->sessionKnown(session);
      }
    });
  }
  guideIfNeeded();
  logger_.info("Wrenfold launched");
  // Once per launch: a key readable by others, or a data file set aside unread, must not go
  // unnoticed by a user who never opens the settings.
  for (const std::string& warning : paths_.exposureWarnings()) {
    logger_.error(warning);
  }
  for (const auto* problem : {&modelConfigStore_.loadProblem(), &styleMemoryStore_.loadProblem(),
                              &templateEngine_.userTemplatesProblem()}) {
    if (*problem) {
      logger_.error((*problem)->message());
    }
  }
}

void AppDelegate::guideIfNeeded() {
  // Without a tray and without a model the user would see nothing, or nothing until their first
  // trigger failed: the settings window opens and says what to do.
  std::string guide;
  if (!hasUsableModel(modelConfigStore_, paths_)) {
    guide = kFirstRunGuide;
    if (ports_.session && ports_.session->kind == SessionKind::wayland) {
      guide += kCallUpOnWayland;
    } else {
      guide += hotkey_.isDefaultShortcutMonitoringOn() ? kCallUpByDoubleTap : kCallUpByRecordedShortcut;
    }
  }
  if (!MenuBarController::isTrayAvailable()) {
    guide += guide.empty() ? "" : "\n";
    guide += kNoTrayGuide;
  }
  if (!guide.empty()) {
    settings().showGuided(QString::fromStdString(guide));
    logger_.info("设置窗口已打开，附使用提示");
  }
}

void AppDelegate::applicationWillTerminate() {
  if (ports_.secrets) {
    ports_.secrets->abandonCalls();  // quitting never waits on an unlock prompt
  }
  hotkey_.stopDefaultShortcutMonitoring();
  shortcutRegistry_.disable({kShowAssistant});
  if (overlay_) {
    overlay_->close();
  }
  if (settings_ && settings_->window() != nullptr) {
    settings_->window()->close();
  }
  // Nothing typed is lost: an edit still waiting for its pause is written, and the writes are
  // done before the process ends.
  styleMemoryStore_.saveIfNeeded();
  styleMemoryStore_.flush();
  logger_.flush();
}

void AppDelegate::trigger() {
  orchestrator().trigger("");
}

void AppDelegate::showSettings() {
  // The overlay floats above every window: without this it would cover the settings window
  // opened from its own "打开设置" button, and take the clicks meant for it.
  if (overlay_) {
    overlay_->stepBack();
  }
  settings().show();
}

OverlayWindowController& AppDelegate::overlay() {
  if (!overlay_) {
    // A copy taken now: templates read later do not reach an overlay that already exists.
    overlay_ = std::make_unique<OverlayWindowController>(templateEngine_.templates());
    if (ports_.session && ports_.session->kind == SessionKind::wayland) {
      overlay_->hideAfterThisTurn();
    }
    overlay_->onOpenSettings = [&notifications = notifications_] {
      notifications.post({std::string(kOpenSettingsRequested), {}});
    };
  }
  return *overlay_;
}

AssistantOrchestrator& AppDelegate::orchestrator() {
  if (!orchestrator_) {
    CyclePorts ports{*ports_.accessibility,
                     *ports_.workspace,
                     *ports_.pasteboard,
                     *ports_.windowCapture,
                     *ports_.imageCodec,
                     *ports_.keyEvents,
                     *ports_.mainQueue,
                     *ports_.workQueue,
                     *ports_.clock,
                     *ports_.http,
                     logger_,
                     notifier_,
                     ports_.inputMethod.get()};
    orchestrator_ = std::make_unique<AssistantOrchestrator>(templateEngine_, modelConfigStore_,
                                                            styleMemoryStore_, overlay(), ports);
  }
  return *orchestrator_;
}

SettingsWindowController& AppDelegate::settings() {
  if (!settings_) {
    settings_ = std::make_unique<SettingsWindowController>(
        SettingsContext{modelConfigStore_, styleMemoryStore_, paths_, *ports_.desktop, *ports_.accessibility,
                        *ports_.windowCapture, *ports_.workQueue, *ports_.mainQueue,
                        autostart_ ? &*autostart_ : nullptr, &*ports_.http, &*ports_.clock,
                        &templateEngine_.userTemplatesProblem(), sessionOffers(), ports_.inputMethod.get()},
        [this] {
          // GNOME's own custom shortcut only where the desktop has no GlobalShortcuts portal.
          const bool portal = ports_.session && ports_.session->hasGlobalShortcutsPortal;
          return std::make_unique<ShortcutSettingsTab>(
              shortcutRegistry_, hotkey_, portal ? nullptr : ports_.desktopTriggerShortcut.get());
        });
  }
  return *settings_;
}

void AppDelegate::whenSessionKnown(std::function<void(const std::vector<std::string>&)> known) {
  sessionKnownHandler_ = std::move(known);
  if ((!ports_.portals || sessionKnown_) && sessionKnownHandler_) {
    sessionKnownHandler_(sessionOffers());
  }
}

void AppDelegate::sessionKnown(const DesktopSession& session) {
  const bool first = !sessionKnown_;
  sessionKnown_ = true;
  ports_.session = session;
  // The trigger's back-end may have changed: the recorded shortcut goes to it, and the settings
  // show what this session offers.
  shortcutRegistry_.reregister();
  if (settings_) {
    settings_->sessionChanged(sessionOffers());
  }
  if (first) {
    const auto before = sessionProblems_.size();
    reportInactiveShortcut();
    for (auto problem = sessionProblems_.begin() + static_cast<std::ptrdiff_t>(before);
         problem != sessionProblems_.end(); ++problem) {
      logger_.info(*problem);
    }
  }
  if (sessionKnownHandler_) {
    sessionKnownHandler_(sessionOffers());
  }
}

void AppDelegate::reportInactiveShortcut() {
  const bool wayland = ports_.session && ports_.session->kind == SessionKind::wayland;
  if (const auto reason = shortcutRegistry_.inactiveReason(kShowAssistant)) {
    // Said once, at launch, also as a notification: the trigger the user set up does not work.
    const auto shortcut = shortcutRegistry_.getShortcut(kShowAssistant);
    std::string notice = "快捷键 " + describeShortcut(*shortcut) + " 没有生效：" + *reason + "。";
    if (!wayland) {  // there no recorded shortcut can work: the reason says what to do instead
      notice += hotkey_.isDefaultShortcutMonitoringOn()
                    ? "现在请双击 Alt 键唤起 Wrenfold，或在设置的“快捷键”页换一个。"
                    : "请在设置的“快捷键”页换一个。";
    }
    sessionProblems_.push_back(notice);
    menuBar_->notify(QString::fromStdString(notice));
  }
}

std::function<void()> AppDelegate::weakly(std::function<void(AppDelegate&)> action) const {
  return [weak = std::weak_ptr<AppDelegate*>(self_), action = std::move(action)] {
    if (const auto self = weak.lock()) {
      action(**self);
    }
  };
}

void AppDelegate::reportSession() {
  sessionProblems_ = missingCapabilities(*ports_.accessibility, *ports_.windowCapture);
  // Under Wayland the session's own description (printed at launch) says why and what instead.
  const bool wayland = ports_.session && ports_.session->kind == SessionKind::wayland;
  if (!wayland && !hotkey_.isDefaultShortcutMonitoringOn() && !shortcutRegistry_.isActive(kShowAssistant)) {
    sessionProblems_.emplace_back(kNoDoubleTapHint);
  }
  if (!ports_.portals) {  // else known once the desktop's portals have answered
    reportInactiveShortcut();
  }
  if (!MenuBarController::isTrayAvailable()) {
    sessionProblems_.emplace_back(wayland ? kNoTrayHintWayland : kNoTrayHint);
  }
  for (const std::string& problem : sessionProblems_) {
    logger_.info(problem);
  }
}

}  // namespace wrenfold::app
