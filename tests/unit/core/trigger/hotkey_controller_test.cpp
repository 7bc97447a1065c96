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

class HotkeyControllerTest : public ::testing::Test {
 protected:
  HotkeyControllerTest() {
    controller_.onQuickTrigger = [this] { ++fired_; };
  }

  // Plays a script of words: "tap" (Alt down and up), "down" / "up" (Alt alone), "shift" /
  // "unshift" (Shift down or up while Alt is held), "other" (another key or a button), and
  // numbers (milliseconds passing), "@N" (the events that follow happened at N ms by the
  // monitor's own clock). Each event is handled before the next one.
  void play(const std::string& script) {
    std::istringstream words(script);
    for (std::string word; words >> word;) {
      if (word == "tap") {
        h_.monitor.modifiers(kAlt);
        h_.monitor.modifiers(0);
      } else if (word == "down") {
        h_.monitor.modifiers(kAlt);
      } else if (word == "up") {
        h_.monitor.modifiers(0);
      } else if (word == "shift") {
        h_.monitor.modifiers(kAlt | kShift);
      } else if (word == "unshift") {
        h_.monitor.modifiers(kAlt);
      } else if (word == "other") {
        h_.monitor.otherInput();
      } else if (word.starts_with('@')) {
        h_.monitor.setEventTime(std::chrono::milliseconds(std::stoi(word.substr(1))));
      } else {
        h_.queue.advance(std::chrono::milliseconds(std::stoi(word)));
      }
      h_.queue.runPending();
    }
  }

  testing::TriggerHarness h_;
  HotkeyController controller_{h_.monitor, h_.registry, h_.queue, h_.clock};
  int fired_ = 0;
};

struct TapCase {
  const char* name;
  const char* script;
  int expectedTriggers;
};

void PrintTo(const TapCase& c, std::ostream* out) {
  *out << c.script;
}

class DoubleTapTest : public HotkeyControllerTest, public ::testing::WithParamInterface<TapCase> {};

TEST_P(DoubleTapTest, TriggersAsTheTimingAndTheKeysBetweenTheTapsAllow) {
  controller_.start();
  play(GetParam().script);
  EXPECT_EQ(fired_, GetParam().expectedTriggers) << GetParam().script;
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, DoubleTapTest,
    ::testing::Values(
        TapCase{"PairOf200msFiresOnce", "tap 200 tap", 1},
        TapCase{"ThirdPress200msLaterOnlyArms", "tap 200 tap 200 tap", 1},
        TapCase{"PressesJustInsideTheWindowFire", "tap 359 tap", 1},
        TapCase{"PressesExactly360msApartDoNotFire", "tap 360 tap", 0},
        TapCase{"PressesOf400msDoNotFireAndTheSecondArms", "tap 400 tap 200 tap", 1},
        TapCase{"PairEndingHalfASecondAfterATriggerDoesNotFire", "tap 100 tap 300 tap 200 tap", 1},
        TapCase{"ThatRefusedPairIsDisarmed", "tap 100 tap 400 tap 200 tap 100 tap", 1},
        TapCase{"PairEnding700msAfterATriggerFires", "tap 100 tap 500 tap 200 tap", 2},
        TapCase{"PairEndingExactly600msAfterATriggerDoesNotFire", "tap 100 tap 400 tap 200 tap", 1},
        TapCase{"AltHeldWhileAnotherAltKeyGoesDownIsOnePress", "down down down up", 0},
        TapCase{"ReleasingAltIsNoPress", "down up up 100 tap", 1},
        TapCase{"ShiftPressedDuringTheTapMakesItAChord", "down shift unshift up 100 tap", 0},
        TapCase{"AnotherKeyBetweenTheTapsCancels", "tap 100 other 100 tap", 0},
        TapCase{"AltTabTwiceQuicklyDoesNotFire", "down other up 100 down other up", 0},
        TapCase{"KeysBeforeTheFirstTapDoNotMatter", "other 100 tap 100 tap", 1},
        TapCase{"ACancelledPairLeavesTheNextTapToArm", "tap other tap 100 tap", 1},
        TapCase{"APairTyped200msApartButHandled500msApartFires", "@1000 tap 500 @1200 tap", 1},
        TapCase{"TapsTyped500msApartButHandledTogetherDoNotFire", "@1000 tap @1500 tap", 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(HotkeyControllerTest, StartingTwiceInstallsTheMonitorAndTheShortcutActionOnce) {
  controller_.start();
  controller_.start();
  controller_.startDefaultShortcutMonitoring();
  EXPECT_EQ(h_.monitor.installCount(), 1);

  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kShowAssistant));
  h_.hotKeys.release(kAltSpace);
  EXPECT_EQ(fired_, 1);
}

TEST_F(HotkeyControllerTest, AStoredShortcutAtLaunchReplacesTheDoubleTapUntilItIsCleared) {
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kShowAssistant));
  controller_.start();
  EXPECT_FALSE(h_.monitor.isRunning());
  play("tap 100 tap");
  EXPECT_EQ(fired_, 0);

  h_.hotKeys.press(kAltSpace);
  EXPECT_EQ(fired_, 0) << "the custom shortcut fires on release";
  h_.hotKeys.release(kAltSpace);
  EXPECT_EQ(fired_, 1);

  // What the settings window does when the shortcut is cleared.
  ASSERT_TRUE(h_.registry.setShortcut(std::nullopt, kShowAssistant));
  controller_.startDefaultShortcutMonitoring();
  play("1000 tap 100 tap");
  EXPECT_EQ(fired_, 2);
}

TEST_F(HotkeyControllerTest, AStoredShortcutAnotherProgramHoldsAtLaunchLeavesTheDoubleTapOnAndSaysWhy) {
  h_.hotKeys.takeByAnotherApplication(kAltSpace);
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kShowAssistant));
  controller_.start();
  EXPECT_TRUE(h_.monitor.isRunning());
  ASSERT_TRUE(h_.registry.inactiveReason(kShowAssistant).has_value());
  play("tap 100 tap");
  EXPECT_EQ(fired_, 1);
}

TEST_F(HotkeyControllerTest, EventsQueuedBeforeStoppingAreDropped) {
  controller_.start();
  h_.monitor.modifiers(kAlt);
  h_.monitor.modifiers(0);
  controller_.stopDefaultShortcutMonitoring();
  controller_.startDefaultShortcutMonitoring();
  play("100 tap");
  EXPECT_EQ(fired_, 0);
}

TEST_F(HotkeyControllerTest, StoppingForgetsAnArmedTap) {
  controller_.start();
  play("tap");
  controller_.stopDefaultShortcutMonitoring();
  controller_.startDefaultShortcutMonitoring();
  play("100 tap");
  EXPECT_EQ(fired_, 0);
}

TEST_F(HotkeyControllerTest, AMonitorTheSessionCannotProvideLeavesTheDoubleTapOffUntilAskedAgain) {
  h_.monitor.setAvailable(false);
  controller_.start();
  EXPECT_FALSE(controller_.isDefaultShortcutMonitoringOn());

  h_.monitor.setAvailable(true);
  controller_.startDefaultShortcutMonitoring();
  play("tap 100 tap");
  EXPECT_EQ(fired_, 1);
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
