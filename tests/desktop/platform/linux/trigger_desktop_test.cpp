// The global trigger in a private X desktop (scripts/desktop-session), driven with xdotool as a
// user would press keys: the Alt double tap over a real GTK application, the custom shortcut,
// a key another client holds, Wrenfold's own synthetic keys, and the tray menu open.
//
// Qt's headers come before Xlib's, whose macros break them.
#include <QApplication>
#include <QMenu>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "core/platform/clock.h"
#include "core/platform/notification_center.h"
#include "core/records/key_code_table.h"
#include "core/trigger/hotkey_controller.h"
#include "core/trigger/shortcut_registry.h"
#include "fixture_app.h"
#include "platform/linux/x11_trigger_backend.h"
#include "platform/linux/xtest_key_events.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/qt/qt_user_defaults.h"
#include "support/temp_dir.h"
#include "ui/shortcut/menu_shortcut_bridge.h"

namespace wrenfold {
namespace {

using namespace std::chrono_literals;
using testing::FixtureApp;

constexpr Shortcut kCtrlAltSpace{kMacKeySpace, kCarbonControl | kCarbonOption};
constexpr Shortcut kCtrlAltK{0x28, kCarbonControl | kCarbonOption};
// The X state for Ctrl+Alt on the server's usual map (Control, Mod1).
constexpr const char* kCtrlAltMask = "0xc";
constexpr auto kTimeout = 10s;
// Long enough for the monitor's events to have been handled, and for a trigger's debounce.
constexpr auto kSettle = 700ms;

// Runs Qt's loop (and with it the X connections' notifiers) until `condition` holds.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Runs xdotool while our loop keeps handling events, as the application's would: the double
// tap is timed when its events are handled.
bool xdotool(const std::string& arguments) {
  auto done = std::async(std::launch::async,
                         [command = "xdotool " + arguments] { return std::system(command.c_str()) == 0; });
  static_cast<void>(waitFor([&] { return done.wait_for(0s) == std::future_status::ready; }, 60s));
  return done.get();
}

// Whether some client holds the keyboard: a grab of another connection then fails.
bool keyboardGrabbed() {
  Display* probe = XOpenDisplay(nullptr);
  if (probe == nullptr) {
    return false;
  }
  const int status =
      XGrabKeyboard(probe, DefaultRootWindow(probe), False, GrabModeAsync, GrabModeAsync, CurrentTime);
  if (status == GrabSuccess) {
    XUngrabKeyboard(probe, CurrentTime);
  }
  XCloseDisplay(probe);
  return status == AlreadyGrabbed;
}

void settle(std::chrono::milliseconds duration = kSettle) {
  static_cast<void>(waitFor([] { return false; }, duration));
}

class TriggerDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) {
      GTEST_SKIP() << "no desktop: run under scripts/desktop-session";
    }
    backend_ = std::make_unique<X11TriggerBackend>();
    registry_ = std::make_unique<ShortcutRegistry>(defaults_, backend_->globalHotKeys(), notifications_);
    controller_ = std::make_unique<HotkeyController>(backend_->modifierMonitor(), *registry_, queue_, clock_);
    controller_->onQuickTrigger = [this] { ++fired_; };
  }

  void TearDown() override {
    controller_.reset();
    registry_.reset();
    backend_.reset();
  }

  std::unique_ptr<FixtureApp> launchEntry() {
    auto app = std::make_unique<FixtureApp>(
        WRENFOLD_GTK_FIXTURE, std::vector<std::string>{"--mode", "entry", "--text", ""}, dir_.path());
    EXPECT_TRUE(waitFor([&] { return app->report() == ""; }, kTimeout))
        << "the fixture's window did not show";
    EXPECT_TRUE(xdotool("search --sync --name 'Wrenfold fixture: entry' windowactivate --sync"));
    return app;
  }

  bool firedExactly(int count) {
    const bool reached = waitFor([&] { return fired_ >= count; }, kTimeout);
    settle();
    return reached && fired_ == count;
  }

  testing::TempDir dir_;
  QtMainQueue queue_;
  SystemClock clock_;
  NotificationCenter notifications_{queue_};
  QtUserDefaults defaults_{QString::fromStdString((dir_ / "Wrenfold.conf").string())};
  std::unique_ptr<X11TriggerBackend> backend_;
  std::unique_ptr<ShortcutRegistry> registry_;
  std::unique_ptr<HotkeyController> controller_;
  int fired_ = 0;
};

TEST_F(TriggerDesktopTest, ADoubleTapOfAltOverAGtkApplicationFiresAndTheApplicationKeepsItsKeys) {
  const auto app = launchEntry();
  controller_->start();
  ASSERT_TRUE(controller_->isDefaultShortcutMonitoringOn());
  ASSERT_TRUE(xdotool("type ab"));
  ASSERT_TRUE(xdotool("key alt alt"));
  EXPECT_TRUE(firedExactly(1));
  ASSERT_TRUE(xdotool("type cd"));
  EXPECT_EQ(app->waitForReport("abcd", kTimeout), "abcd") << "the monitor grabs nothing";
}

TEST_F(TriggerDesktopTest, ASlowDoubleTapOrAltTabTwiceDoesNotFireButAPlainDoubleTapAfterThemDoes) {
  const auto app = launchEntry();
  controller_->start();
  ASSERT_TRUE(xdotool("key --delay 600 alt alt"));
  settle();
  EXPECT_EQ(fired_, 0) << "a slow double tap";
  ASSERT_TRUE(xdotool("key alt+Tab alt+Tab"));
  settle();
  EXPECT_EQ(fired_, 0) << "Alt+Tab twice";
  ASSERT_TRUE(xdotool("key alt alt"));
  EXPECT_TRUE(firedExactly(1));
}

TEST_F(TriggerDesktopTest, OurOwnSyntheticKeysNeverCountAsTaps) {
  controller_->start();
  XTestKeyEvents xtest;
  const auto own = backend_->ownKeyEvents(xtest);
  const KeyChord alt{"Alt_L", 0};
  for (int pair = 0; pair < 5; ++pair) {
    ASSERT_EQ(own->post(alt), KeyPostResult::posted);
    ASSERT_EQ(own->post(alt), KeyPostResult::posted);
    settle(200ms);
  }
  settle();
  EXPECT_EQ(fired_, 0);
  // The same device and keys, not marked as ours: they count, as xdotool's do.
  ASSERT_EQ(xtest.post(alt), KeyPostResult::posted);
  ASSERT_EQ(xtest.post(alt), KeyPostResult::posted);
  EXPECT_TRUE(firedExactly(1));
}

TEST_F(TriggerDesktopTest, AGrabbedShortcutFiresOnReleaseOnlyOnceHoweverLongItIsHeldAndWithCapsLockOn) {
  ASSERT_TRUE(registry_->setShortcut(kCtrlAltSpace, kShowAssistant));
  controller_->start();
  ASSERT_TRUE(registry_->isActive(kShowAssistant));
  EXPECT_FALSE(controller_->isDefaultShortcutMonitoringOn());

  ASSERT_TRUE(xdotool("keydown ctrl+alt+space"));
  settle(1500ms);  // past the keyboard's repeat delay
  EXPECT_EQ(fired_, 0) << "the shortcut fires when released";
  ASSERT_TRUE(xdotool("keyup space keyup alt keyup ctrl"));
  EXPECT_TRUE(firedExactly(1));

  ASSERT_TRUE(xdotool("key Caps_Lock"));
  ASSERT_TRUE(xdotool("key ctrl+alt+space"));
  EXPECT_TRUE(firedExactly(2)) << "the lock variants are grabbed too";
  ASSERT_TRUE(xdotool("key Caps_Lock"));
}

TEST_F(TriggerDesktopTest, AShortcutAnotherClientHoldsFailsToRegisterAndWeKeepRunning) {
  {
    FixtureApp holder(WRENFOLD_GRAB_KEY_HELPER, {"k", kCtrlAltMask}, dir_.path());
    ASSERT_EQ(holder.waitForReport("ready", kTimeout), "ready");
    GlobalHotKeys& hotKeys = backend_->globalHotKeys();
    EXPECT_TRUE(hotKeys.isTakenByAnotherApplication(kCtrlAltK));
    const auto registered = hotKeys.registerHotKey(1000, kCtrlAltK);
    ASSERT_FALSE(registered);
    EXPECT_EQ(registered.error().localizedDescription(), "快捷键已被其他程序占用");

    ASSERT_TRUE(registry_->setShortcut(kCtrlAltK, kShowAssistant)) << "stored, though inactive";
    EXPECT_FALSE(registry_->isActive(kShowAssistant));
    // As at launch: the double tap stays on in its place, and the reason is there to show.
    controller_->start();
    EXPECT_TRUE(controller_->isDefaultShortcutMonitoringOn());
    EXPECT_EQ(registry_->inactiveReason(kShowAssistant),
              std::optional<std::string>("快捷键已被其他程序占用"));
    EXPECT_FALSE(hotKeys.isTakenByAnotherApplication(kCtrlAltSpace));
    EXPECT_TRUE(hotKeys.registerHotKey(1001, kCtrlAltSpace)) << "the connection still works";
    hotKeys.unregisterHotKey(1001);
  }
  EXPECT_TRUE(
      waitFor([&] { return !backend_->globalHotKeys().isTakenByAnotherApplication(kCtrlAltK); }, kTimeout))
      << "free once the other client is gone";
}

TEST_F(TriggerDesktopTest, TheShortcutStillFiresWhileOurMenuHoldsTheKeyboard) {
  ASSERT_TRUE(registry_->setShortcut(kCtrlAltSpace, kShowAssistant));
  controller_->start();
  QMenu menu;
  menu.addAction("退出");
  MenuShortcutBridge bridge(*registry_);
  bridge.attach(&menu);
  menu.popup(QPoint(200, 200));
  ASSERT_TRUE(
      waitFor([&] { return menu.isVisible() && QApplication::activePopupWidget() == &menu; }, kTimeout));
  // Qt grabs the keyboard for the popup some time after showing it, later on a busy machine;
  // until then the keys would go to the window in front, with the desktop grab already lifted.
  ASSERT_TRUE(waitFor(keyboardGrabbed, kTimeout)) << "the menu never took the keyboard";

  ASSERT_TRUE(xdotool("key ctrl+alt+space"));
  EXPECT_TRUE(firedExactly(1));
  EXPECT_FALSE(menu.isVisible()) << "the menu makes way for the trigger";
  EXPECT_TRUE(registry_->isActive(kShowAssistant)) << "registered again once the menu closed";
}

}  // namespace
}  // namespace wrenfold

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
