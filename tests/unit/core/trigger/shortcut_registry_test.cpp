#include "core/trigger/shortcut_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/trigger_harness.h"

namespace wrenfold {
namespace {

constexpr Shortcut kAltSpace{49, kCarbonOption};
constexpr Shortcut kCtrlAltK{0x28, kCarbonControl | kCarbonOption};
const ShortcutRegistry::Name kName{"showAssistant", std::nullopt};
const ShortcutRegistry::Name kWithDefault{"withDefault", kCtrlAltK};
const std::string kKey = "ShortcutRegistry_showAssistant";

class ShortcutRegistryTest : public ::testing::Test {
 protected:
  ShortcutRegistryTest() {
    h_.notifications.addObserver(
        std::string(ShortcutRegistry::kShortcutDidChange),
        [this](const Notification& n) { changes_.push_back(n.userInfo.at("name")); });
  }

  void attachCounter(const ShortcutRegistry::Name& name) {
    h_.registry.onKeyUp(name, [this] { ++fired_; });
  }
  std::vector<std::string> changes() {
    h_.queue.runPending();
    return changes_;
  }

  testing::TriggerHarness h_;
  std::vector<std::string> changes_;
  int fired_ = 0;
};

TEST_F(ShortcutRegistryTest, RecordingAltSpaceStoresItsJsonRegistersItAndPostsTheChange) {
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kName));
  EXPECT_EQ(h_.defaults.string(kKey), R"({"carbonKeyCode":49,"carbonModifiers":2048})");
  EXPECT_EQ(h_.hotKeys.registered(), std::vector{kAltSpace});
  EXPECT_EQ(changes(), std::vector<std::string>{"showAssistant"});
  EXPECT_EQ(h_.registry.getShortcut(kName), kAltSpace);
}

TEST_F(ShortcutRegistryTest, ClearingANameWithoutDefaultRemovesTheKeyAndTheRegistration) {
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kName));
  ASSERT_TRUE(h_.registry.setShortcut(std::nullopt, kName));
  EXPECT_FALSE(h_.defaults.contains(kKey));
  EXPECT_EQ(h_.registry.getShortcut(kName), std::nullopt);
  EXPECT_TRUE(h_.hotKeys.registered().empty());
  EXPECT_EQ(changes().size(), 2U);
}

TEST_F(ShortcutRegistryTest, ADefaultAppliesUntilClearedWhichIsRecordedAsFalse) {
  EXPECT_EQ(h_.registry.getShortcut(kWithDefault), kCtrlAltK);
  ASSERT_TRUE(h_.registry.setShortcut(std::nullopt, kWithDefault));
  EXPECT_EQ(h_.defaults.values().at("ShortcutRegistry_withDefault"), testing::FakeUserDefaults::Value(false));
  EXPECT_EQ(h_.registry.getShortcut(kWithDefault), std::nullopt);
}

TEST_F(ShortcutRegistryTest, ReRecordingTheSameShortcutLeavesOneRegistration) {
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kName));
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kName));
  EXPECT_EQ(h_.hotKeys.registered(), std::vector{kAltSpace});

  ASSERT_TRUE(h_.registry.setShortcut(kCtrlAltK, kName));
  EXPECT_EQ(h_.hotKeys.registered(), std::vector{kCtrlAltK});
}

TEST_F(ShortcutRegistryTest, AReleaseFiresTheKeyUpActionOnceAndAPressAloneDoesNot) {
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kName));
  attachCounter(kName);
  h_.hotKeys.press(kAltSpace);
  EXPECT_EQ(fired_, 0);
  h_.hotKeys.release(kAltSpace);
  EXPECT_EQ(fired_, 1);
}

TEST_F(ShortcutRegistryTest, AStoreThatCannotBeWrittenFailsAndKeepsTheWorkingShortcut) {
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kName));
  attachCounter(kName);
  h_.defaults.setFailsWrites(true);
  EXPECT_FALSE(h_.registry.setShortcut(kCtrlAltK, kName));
  EXPECT_FALSE(h_.registry.setShortcut(std::nullopt, kName));
  EXPECT_EQ(changes().size(), 1U);
  h_.hotKeys.release(kAltSpace);
  EXPECT_EQ(fired_, 1);
}

TEST_F(ShortcutRegistryTest, AShortcutAnotherApplicationHoldsIsStoredButInactive) {
  h_.hotKeys.takeByAnotherApplication(kAltSpace);
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kName));
  EXPECT_EQ(h_.registry.getShortcut(kName), kAltSpace);
  EXPECT_FALSE(h_.registry.isActive(kName));
  EXPECT_TRUE(h_.registry.isTakenByAnotherApplication(kAltSpace));
}

TEST_F(ShortcutRegistryTest, DisabledNamesAreUnregisteredAndSilentUntilEnabled) {
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kName));
  attachCounter(kName);
  h_.registry.disable({kName});
  EXPECT_TRUE(h_.hotKeys.registered().empty());
  h_.registry.enable({kName});
  EXPECT_TRUE(h_.registry.isActive(kName));
  h_.hotKeys.release(kAltSpace);
  EXPECT_EQ(fired_, 1);
}

TEST_F(ShortcutRegistryTest, WhileAMenuIsOpenItsKeysAreMatchedInsteadOfTheHotKeys) {
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kName));
  attachCounter(kName);
  h_.registry.beginMenuTracking();
  EXPECT_TRUE(h_.hotKeys.registered().empty());

  using Phase = ShortcutRegistry::KeyPhase;
  EXPECT_FALSE(h_.registry.handleMenuKey({49, 0}, Phase::down)) << "Space alone is the menu's";
  EXPECT_FALSE(h_.registry.handleMenuKey({49, 0}, Phase::up)) << "a release without our press";
  EXPECT_TRUE(h_.registry.handleMenuKey(kAltSpace, Phase::down));
  EXPECT_EQ(fired_, 0);
  EXPECT_TRUE(h_.registry.handleMenuKey({49, 0}, Phase::up)) << "Alt may be let go first";
  EXPECT_EQ(fired_, 1);

  h_.registry.endMenuTracking();
  EXPECT_EQ(h_.hotKeys.registered(), std::vector{kAltSpace});
  EXPECT_FALSE(h_.registry.handleMenuKey(kAltSpace, Phase::down));
}

TEST_F(ShortcutRegistryTest, WhilePausedNothingIsRegisteredAndARecordingRegistersOnResume) {
  ASSERT_TRUE(h_.registry.setShortcut(kAltSpace, kName));
  h_.registry.setPaused(true);
  EXPECT_TRUE(h_.hotKeys.registered().empty());
  ASSERT_TRUE(h_.registry.setShortcut(kCtrlAltK, kName));
  EXPECT_TRUE(h_.hotKeys.registered().empty());
  h_.registry.setPaused(false);
  EXPECT_EQ(h_.hotKeys.registered(), std::vector{kCtrlAltK});
}

TEST(ShortcutRegistryLifetime, ARegistryGoneLeavesNoRegistrationAndNoHandler) {
  testing::TriggerHarness h;  // its own registry stays empty
  {
    ShortcutRegistry registry(h.defaults, h.hotKeys, h.notifications);
    ASSERT_TRUE(registry.setShortcut(kAltSpace, kName));
  }
  EXPECT_TRUE(h.hotKeys.registered().empty());
}

TEST(ShortcutRegistryStoredValue, AnythingButTheShortcutObjectCountsAsNoShortcut) {
  const std::pair<const char*, testing::FakeUserDefaults::Value> rows[] = {
      {"BooleanTrue", true},
      {"NotJson", std::string("Alt+Space")},
      {"KeyCodeAsText", std::string(R"({"carbonKeyCode":"49","carbonModifiers":2048})")},
      {"FractionalCode", std::string(R"({"carbonKeyCode":49.5,"carbonModifiers":2048})")},
      {"NegativeMask", std::string(R"({"carbonKeyCode":49,"carbonModifiers":-1})")},
      {"CodeBeyond32Bits", std::string(R"({"carbonKeyCode":4294967296,"carbonModifiers":0})")},
      {"MissingModifiers", std::string(R"({"carbonKeyCode":49})")},
      {"Array", std::string("[49,2048]")},
  };
  for (const auto& [name, value] : rows) {
    testing::TriggerHarness h;
    ASSERT_TRUE(std::holds_alternative<bool>(value)
                    ? h.defaults.setBool(kKey, std::get<bool>(value))
                    : h.defaults.setString(kKey, std::get<std::string>(value)));
    EXPECT_EQ(h.registry.getShortcut(kName), std::nullopt) << name;
    EXPECT_EQ(h.registry.getShortcut(ShortcutRegistry::Name{"showAssistant", kCtrlAltK}), std::nullopt)
        << name << ": a stored value, even a bad one, hides the default";
  }
}

TEST(ShortcutStorageFormat, IntegralFloatsAndExtraKeysStillDecode) {
  EXPECT_EQ(decodeShortcut(R"({"carbonModifiers":2048.0,"carbonKeyCode":49,"extra":true})"), kAltSpace);
  EXPECT_EQ(encodeShortcut({0x7A, 0}), R"({"carbonKeyCode":122,"carbonModifiers":0})");
}

}  // namespace
}  // namespace wrenfold
