#include "app/desktop_platform.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string_view>

// Qt before Xlib: Xlib's macros (Bool, Status) break Qt's headers.
#include "platform/qt/qt_desktop_services.h"
#include "platform/qt/qt_image_codec.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/qt/qt_pasteboard.h"
#include "platform/qt/qt_user_defaults.h"

#include "core/ai/curl_http_client.h"
#include "core/platform/deferred_ports.h"
#include "core/platform/thread_work_queue.h"
#include "platform/linux/atspi_workspace.h"
#include "platform/linux/fcitx_input_method.h"
#include "platform/linux/gsettings_custom_keybindings.h"
#include "platform/linux/libsecret_secret_store.h"
#include "platform/linux/linux_accessibility.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/portal_global_shortcuts.h"
#include "platform/linux/portal_probe.h"
#include "platform/linux/portal_remote_desktop.h"
#include "platform/linux/wayland_ports.h"
#include "platform/linux/x11_clipboard_reader.h"
#include "platform/linux/x11_connection.h"
#include "platform/linux/x11_tray_colors.h"
#include "platform/linux/x11_trigger_backend.h"
#include "platform/linux/x11_window_capture.h"
#include "platform/linux/xtest_key_events.h"

namespace wrenfold::app {
namespace {

constexpr std::string_view kHeadlessHint = "托盘应用需要 X11 桌面会话；没有桌面时请使用 wrenfold generate。";

// $XDG_CURRENT_DESKTOP is a colon-separated list ("ubuntu:GNOME").
bool isGnome(std::string_view desktops) {
  while (!desktops.empty()) {
    const auto end = desktops.find(':');
    if (desktops.substr(0, end) == "GNOME") {
      return true;
    }
    desktops = end == std::string_view::npos ? std::string_view() : desktops.substr(end + 1);
  }
  return false;
}

// What the desktop's shortcut runs: this executable by its full path (the desktop's PATH need not
// hold it), quoted for the shell-like splitting GNOME applies, and "trigger".
std::string triggerCommand() {
  std::error_code error;
  std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
  if (error || path.empty()) {
    return "wrenfold trigger";
  }
  if (path.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._+-") !=
      std::string::npos) {
    std::string quoted = "'";
    for (const char c : path) {
      quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    path = quoted + "'";
  }
  return path + " trigger";
}

std::string_view environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string_view() : std::string_view(value);
}

// Written by the signal handler, read by the event loop: the only async-signal-safe way over.
std::array<int, 2> signalPipe{-1, -1};

void onTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// XTest keys posted through the trigger back-end, which keeps them out of the double tap; owns
// both parts it needs.
class TriggerAwareKeyEvents final : public KeyEvents {
 public:
  TriggerAwareKeyEvents(std::unique_ptr<KeyEvents> inner, std::shared_ptr<X11TriggerBackend> trigger)
      : inner_(std::move(inner)), trigger_(std::move(trigger)), own_(trigger_->ownKeyEvents(*inner_)) {}

  [[nodiscard]] KeyPostResult post(const KeyChord& chord) override { return own_->post(chord); }

 private:
  std::unique_ptr<KeyEvents> inner_;
  std::shared_ptr<X11TriggerBackend> trigger_;
  std::unique_ptr<KeyEvents> own_;  // last: goes before what it refers to
};

// Chords wait this long for the portal's first answer, then the candidate stays on the clipboard.
constexpr std::chrono::milliseconds kPortalAnswerBound{12000};

// Chooses the Wayland trigger and key adapters once the portal has answered. Only ever gains a
// portal: one that goes away later is its adapters' own business (they end their sessions and
// start new ones when it comes back).
class WaylandPortalChoice final : public PortalChoice {
 public:
  WaylandPortalChoice(DesktopSession session, DeferredGlobalHotKeys& hotKeys, DeferredKeyEvents& keys,
                      AtspiWorkspace& workspace, UserDefaults& defaults)
      : session_(session), hotKeys_(hotKeys), keys_(keys), workspace_(workspace), defaults_(defaults) {
    probe_ = PortalProbe::watch([this](const PortalOffers& offers) { answered(offers); });
    if (!probe_) {
      answered({});  // no session bus: no portal to wait for
    }
  }

  void whenKnown(std::function<void(const DesktopSession&)> known) override {
    known_ = std::move(known);
    if (answered_ && known_) {
      known_(session_);
    }
  }

 private:
  void answered(const PortalOffers& offers) {
    if (offers.globalShortcuts && !session_.hasGlobalShortcutsPortal) {
      session_.hasGlobalShortcutsPortal = true;
      hotKeys_.choose(PortalGlobalShortcuts::open(probe_->bus()));
    } else if (hotKeys_.chosen() == nullptr) {
      hotKeys_.choose(std::make_shared<WaylandGlobalHotKeys>());
    }
    // XTest reaches only XWayland's programs; the portal's keys reach native ones.
    if (offers.remoteDesktopVersion > 0 && !session_.hasRemoteDesktopPortal) {
      session_.hasRemoteDesktopPortal = true;
      workspace_.setKeysReachPrograms(true);
      keys_.choose(PortalKeyEvents::open(probe_->bus(), offers.remoteDesktopVersion, defaults_));
    } else if (!keys_.chosen()) {
      keys_.choose(std::make_unique<XTestKeyEvents>());
    }
    answered_ = true;
    if (known_) {
      known_(session_);
    }
  }

  DesktopSession session_;
  DeferredGlobalHotKeys& hotKeys_;
  DeferredKeyEvents& keys_;
  AtspiWorkspace& workspace_;
  UserDefaults& defaults_;
  std::function<void(const DesktopSession&)> known_;
  bool answered_ = false;
  std::unique_ptr<PortalProbe> probe_;  // last: its answers reach the members above
};

}  // namespace

const DesktopSession& desktopSession() {
  static const DesktopSession session =
      detectDesktopSession(environment("XDG_SESSION_TYPE"), environment("WAYLAND_DISPLAY"),
                           environment("DISPLAY"), X11Connection::open() != nullptr);
  return session;
}

void preferX11Platform() {
  if (environment("QT_QPA_PLATFORM").empty()) {
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
}

std::optional<std::string> missingDisplay() {
  const std::string_view platform = environment("QT_QPA_PLATFORM");
  if (!platform.empty() && platform != "xcb") {
    return std::nullopt;
  }
  if (X11Connection::open() != nullptr) {
    return std::nullopt;
  }
  const std::string_view display = environment("DISPLAY");
  if (display.empty() && !environment("WAYLAND_DISPLAY").empty()) {
    return "Wayland 会话中没有 XWayland（未设置 DISPLAY）：Wrenfold 的面板通过 XWayland 显示，"
           "请安装 xwayland 后重新登录。" +
           std::string(kHeadlessHint);
  }
  if (display.empty()) {
    return "没有可用的图形桌面（未设置 DISPLAY）。" + std::string(kHeadlessHint);
  }
  return "无法连接到 X11 显示“" + std::string(display) + "”。" + std::string(kHeadlessHint);
}

DesktopPorts makeDesktopPorts(const DesktopSession& session) {
  DesktopPorts ports;
  ports.session = session;
  ports.mainQueue = std::make_unique<QtMainQueue>();
  ports.clock = std::make_unique<SystemClock>();
  ports.userDefaults = std::make_unique<QtUserDefaults>();
  // Safe without an accessibility bus: it answers "not trusted" until one appears.
  if (session.kind == SessionKind::wayland) {
    // The X server, if any, is XWayland: it sees only the programs that run through it, so
    // the target comes from the accessibility bus and the rest is said to be unavailable.
    ports.modifierMonitor = std::make_shared<WaylandModifierMonitor>();
    // The desktop's portals answer later; the tray and the single-instance socket do not wait.
    auto hotKeys = std::make_shared<DeferredGlobalHotKeys>();
    ports.globalHotKeys = hotKeys;
    // Offered in the settings only while the desktop has no GlobalShortcuts portal.
    if (isGnome(environment("XDG_CURRENT_DESKTOP"))) {
      ports.customKeybindings = GsettingsCustomKeybindings::open();
    }
    if (ports.customKeybindings) {
      ports.desktopTriggerShortcut = std::make_unique<DesktopTriggerShortcut>(
          *ports.customKeybindings, AcceleratorSyntax{gnomeAccelerator, describeGnomeAccelerator},
          triggerCommand());
    }
    auto workspace = std::make_shared<AtspiWorkspace>();
    ports.workspace = workspace;
    LinuxAccessibility::Options options;
    options.screenCoordinates = false;
    ports.accessibility = std::make_unique<LinuxAccessibility>(ports.workspace, options);
    workspace->useAccessibility(*ports.accessibility);
    auto keys = std::make_unique<DeferredKeyEvents>(*ports.mainQueue, kPortalAnswerBound);
    ports.portals =
        std::make_unique<WaylandPortalChoice>(session, *hotKeys, *keys, *workspace, *ports.userDefaults);
    ports.keyEvents = std::move(keys);
    ports.windowCapture = std::make_unique<WaylandWindowCapture>();
  } else {
    auto trigger = std::make_shared<X11TriggerBackend>();
    ports.modifierMonitor = std::shared_ptr<ModifierMonitor>(trigger, &trigger->modifierMonitor());
    ports.globalHotKeys = std::shared_ptr<GlobalHotKeys>(trigger, &trigger->globalHotKeys());
    ports.workspace = std::make_shared<LinuxWorkspace>();
    ports.accessibility = std::make_unique<LinuxAccessibility>(ports.workspace);
    ports.keyEvents = std::make_unique<TriggerAwareKeyEvents>(std::make_unique<XTestKeyEvents>(), trigger);
    ports.windowCapture = std::make_unique<X11WindowCapture>();
  }
  // Snapshots read the selection on a connection of their own, off the main thread; XWayland's
  // selection carries the native programs' clipboard. Under Wayland the read waits (bounded):
  // KWin hands the candidate on only if it is set while the closing panel is still active.
  ports.pasteboard =
      std::make_unique<QtPasteboard>([] { return readX11Clipboard(); }, session.kind == SessionKind::wayland);
  // Fcitx 5 with Wrenfold's addon, on X11 and Wayland alike; without it every call answers
  // absent and the other strategies insert.
  ports.inputMethod = std::make_unique<FcitxInputMethod>(executableName());
  ports.desktop = std::make_unique<QtDesktopServices>();
  ports.imageCodec = std::make_unique<QtImageCodec>();
  ports.http = std::make_unique<CurlHttpClient>(*ports.mainQueue, HttpClientOptions{});
  ports.secrets = std::make_unique<LibsecretSecretStore>();
  ports.workQueue = std::make_unique<ThreadWorkQueue>();
  ports.keyringQueue = std::make_unique<ThreadWorkQueue>();
  return ports;
}

std::vector<std::string> missingCapabilities(Accessibility& accessibility, WindowCapture& windowCapture) {
  std::vector<std::string> missing;
  if (!accessibility.isProcessTrusted()) {
    missing.emplace_back(
        "辅助功能未开启，或 AT-SPI 辅助功能总线不可用：Wrenfold 无法读取输入框，也无法填入候选。"
        "请在设置的“权限”页开启辅助功能。");
  }
  if (!windowCapture.canCaptureWindows()) {
    missing.emplace_back("当前会话无法截取窗口（Wayland 会话或没有 X11 显示）：生成时不会附带窗口截图。");
  }
  return missing;
}

void keepCycleMemory() {
#ifdef __GLIBC__
  // A window capture's buffers are megabytes each (the pixels, their scaled copies, the JPEG's
  // input), freed at the end of every cycle. By default glibc maps blocks that large on their own
  // and returns them, or trims them off the heap, and the next cycle faults every page in again:
  // on a busy machine or in a VM that took longer than everything else before the request. Kept,
  // the process holds what its largest cycle used. A block over the bound (a capture larger than
  // a 4K screen) is still mapped and returned.
  constexpr int kLargestKeptBlock = 32 << 20;
  constexpr int kKeptFreeMemory = 128 << 20;
  mallopt(M_MMAP_THRESHOLD, kLargestKeptBlock);
  mallopt(M_TRIM_THRESHOLD, kKeptFreeMemory);
#endif
}

void quitOnTerminationSignals() {
  if (signalPipe[0] >= 0 || ::pipe2(signalPipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
    return;
  }
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
    char drained = 0;
    while (::read(signalPipe[0], &drained, 1) > 0) {
    }
    QCoreApplication::quit();
  });
  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    ::sigaction(signal, &action, nullptr);
  }
}

std::optional<QColor> panelForegroundColor() {
  const auto color = systemTrayForeground();
  if (!color) {
    return std::nullopt;
  }
  return QColor(color->red, color->green, color->blue);
}

}  // namespace wrenfold::app
