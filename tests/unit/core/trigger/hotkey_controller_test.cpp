#include "core/trigger/hotkey_controller.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "core/platform/key_events.h"
#include "fakes/trigger_harness.h"

namespace wrenfold {
namespace {

using namespace std::chrono_literals;

constexpr auto kAlt = static_cast<unsigned>(KeyModifier::alt);
constexpr auto kShift = static_cast<unsigned>(KeyModifier::shift);
constexpr Shortcut kAltSpace{49, kCarbonOption};

// A controller on fake ports that counts its quick triggers.
struct Rig {
  Rig() {
    controller.onQuickTrigger = [this] { ++fired; };
  }

  // Plays a script of words: "tap" (Alt down and up), "down" / "up" (Alt alone), "shift" /
  // "unshift" (Shift down or up while Alt is held), "other" (another key or a button), and
  // numbers (milliseconds passing), "@N" (the events that follow happened at N ms by the
  // monitor's own clock). Each event is handled before the next one.
  void play(const std::string& script) {
    std::istringstream words(script);
    for (std::string word; words >> word;) {
      if (word == "tap") {
        h.monitor.modifiers(kAlt);
        h.monitor.modifiers(0);
      } else if (word == "down") {
        h.monitor.modifiers(kAlt);
      } else if (word == "up") {
        h.monitor.modifiers(0);
      } else if (word == "shift") {
        h.monitor.modifiers(kAlt | kShift);
      } else if (word == "unshift") {
        h.monitor.modifiers(kAlt);
      } else if (word == "other") {
        h.monitor.otherInput();
      } else if (word.starts_with('@')) {
        h.monitor.setEventTime(std::chrono::milliseconds(std::stoi(word.substr(1))));
      } else {
        h.queue.advance(std::chrono::milliseconds(std::stoi(word)));
      }
      h.queue.runPending();
    }
  }

  testing::TriggerHarness h;
  HotkeyController controller{h.monitor, h.registry, h.queue, h.clock};
  int fired = 0;
};

class HotkeyControllerTest : public ::testing::Test, protected Rig {};

// Each script runs on a fresh controller.
TEST(DoubleTap, TriggersAsTheTimingAndTheKeysBetweenTheTapsAllow) {
  const struct {
    const char* name;
    const char* script;
    int triggers;
  } rows[] = {
      {"PairOf200msFiresOnce", "tap 200 tap", 1},
      {"ThirdPress200msLaterOnlyArms", "tap 200 tap 200 tap", 1},
      {"PressesJustInsideTheWindowFire", "tap 359 tap", 1},
      {"PressesExactly360msApartDoNotFire", "tap 360 tap", 0},
      {"PressesOf400msDoNotFireAndTheSecondArms", "tap 400 tap 200 tap", 1},
      {"PairEndingHalfASecondAfterATriggerDoesNotFire", "tap 100 tap 300 tap 200 tap", 1},
      {"ThatRefusedPairIsDisarmed", "tap 100 tap 400 tap 200 tap 100 tap", 1},
      {"PairEnding700msAfterATriggerFires", "tap 100 tap 500 tap 200 tap", 2},
      {"PairEndingExactly600msAfterATriggerDoesNotFire", "tap 100 tap 400 tap 200 tap", 1},
      {"AltHeldWhileAnotherAltKeyGoesDownIsOnePress", "down down down up", 0},
      {"ReleasingAltIsNoPress", "down up up 100 tap", 1},
      {"ShiftPressedDuringTheTapMakesItAChord", "down shift unshift up 100 tap", 0},
      {"AnotherKeyBetweenTheTapsCancels", "tap 100 other 100 tap", 0},
      {"AltTabTwiceQuicklyDoesNotFire", "down other up 100 down other up", 0},
      {"KeysBeforeTheFirstTapDoNotMatter", "other 100 tap 100 tap", 1},
      {"ACancelledPairLeavesTheNextTapToArm", "tap other tap 100 tap", 1},
      {"APairTyped200msApartButHandled500msApartFires", "@1000 tap 500 @1200 tap", 1},
      {"TapsTyped500msApartButHandledTogetherDoNotFire", "@1000 tap @1500 tap", 0},
  };
  for (const auto& row : rows) {
    Rig rig;
    rig.controller.start();
    rig.play(row.script);
    EXPECT_EQ(rig.fired, row.triggers) << row.name << ": " << row.script;
  }
}

TEST_F(HotkeyControllerTest, StartingTwiceInstallsTheMonitorAndTheShortcutActionOnce) {
  controller.start();
  controller.start();
  controller.startDefaultShortcutMonitoring();
  EXPECT_EQ(h.monitor.installCount(), 1);

  ASSERT_TRUE(h.registry.setShortcut(kAltSpace, kShowAssistant));
  h.hotKeys.release(kAltSpace);
  EXPECT_EQ(fired, 1);
}

TEST_F(HotkeyControllerTest, AStoredShortcutAtLaunchReplacesTheDoubleTapUntilItIsCleared) {
  ASSERT_TRUE(h.registry.setShortcut(kAltSpace, kShowAssistant));
  controller.start();
  EXPECT_FALSE(h.monitor.isRunning());
  play("tap 100 tap");
  EXPECT_EQ(fired, 0);

  h.hotKeys.press(kAltSpace);
  EXPECT_EQ(fired, 0) << "the custom shortcut fires on release";
  h.hotKeys.release(kAltSpace);
  EXPECT_EQ(fired, 1);

  // What the settings window does when the shortcut is cleared.
  ASSERT_TRUE(h.registry.setShortcut(std::nullopt, kShowAssistant));
  controller.startDefaultShortcutMonitoring();
  play("1000 tap 100 tap");
  EXPECT_EQ(fired, 2);
}

TEST_F(HotkeyControllerTest, AStoredShortcutAnotherProgramHoldsAtLaunchLeavesTheDoubleTapOnAndSaysWhy) {
  h.hotKeys.takeByAnotherApplication(kAltSpace);
  ASSERT_TRUE(h.registry.setShortcut(kAltSpace, kShowAssistant));
  controller.start();
  EXPECT_TRUE(h.monitor.isRunning());
  ASSERT_TRUE(h.registry.inactiveReason(kShowAssistant).has_value());
  play("tap 100 tap");
  EXPECT_EQ(fired, 1);
}

// A tap before the monitor stops, still queued or already handled, is forgotten.
TEST(HotkeyControllerStop, ATapBeforeStoppingNeverPairsWithOneAfter) {
  for (const bool handled : {false, true}) {
    Rig rig;
    rig.controller.start();
    rig.h.monitor.modifiers(kAlt);
    rig.h.monitor.modifiers(0);
    if (handled) {
      rig.h.queue.runPending();
    }
    rig.controller.stopDefaultShortcutMonitoring();
    rig.controller.startDefaultShortcutMonitoring();
    rig.play("100 tap");
    EXPECT_EQ(rig.fired, 0) << (handled ? "handled" : "queued");
  }
}

TEST_F(HotkeyControllerTest, AMonitorTheSessionCannotProvideLeavesTheDoubleTapOffUntilAskedAgain) {
  h.monitor.setAvailable(false);
  controller.start();
  EXPECT_FALSE(controller.isDefaultShortcutMonitoringOn());

  h.monitor.setAvailable(true);
  controller.startDefaultShortcutMonitoring();
  play("tap 100 tap");
  EXPECT_EQ(fired, 1);
}

TEST(HotkeyControllerLifetime, ActionsOutlivingTheControllerDoNothing) {
  testing::TriggerHarness h;
  ASSERT_TRUE(h.registry.setShortcut(kAltSpace, kShowAssistant));
  int fired = 0;
  {
    HotkeyController controller(h.monitor, h.registry, h.queue, h.clock);
    controller.onQuickTrigger = [&] { ++fired; };
    controller.start();
    controller.startDefaultShortcutMonitoring();
    h.monitor.modifiers(kAlt);  // queued, handled after the controller is gone
  }
  h.queue.runPending();
  h.hotKeys.release(kAltSpace);
  EXPECT_EQ(fired, 0);
  EXPECT_FALSE(h.monitor.isRunning());
}

}  // namespace
}  // namespace wrenfold
