// The X11 trigger's pure parts (modifier masks, lock variants, raw-event tracking) and the user
// defaults on QSettings.
#include <QString>

#include "platform/qt/qt_user_defaults.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "core/platform/key_events.h"
#include "core/records/key_code_table.h"
#include "platform/linux/gsettings_custom_keybindings.h"
#include "platform/linux/portal_global_shortcuts.h"
#include "platform/linux/x11_key_mapping.h"
#include "platform/linux/xinput2_modifier_monitor.h"
#include "support/temp_dir.h"

namespace wrenfold {
namespace {

// Xorg's usual map: Alt and Meta on Mod1, Num Lock on Mod2, Super and Hyper on Mod4.
std::array<std::vector<KeySym>, 8> usualMap() {
  return {{{XK_Shift_L, XK_Shift_R},
           {XK_Caps_Lock},
           {XK_Control_L, XK_Control_R},
           {XK_Alt_L, XK_Meta_L},
           {XK_Num_Lock},
           {},
           {XK_Super_L, XK_Super_R, XK_Hyper_L},
           {XK_ISO_Level3_Shift, XK_Mode_switch}}};
}

TEST(X11ModifierMasks, AreReadFromTheModifierMapWhereverTheServerPutsThem) {
  EXPECT_EQ(modifierMasksFrom(usualMap()), (X11ModifierMasks{Mod1Mask, Mod4Mask, LockMask, Mod2Mask, 0}));

  auto moved = usualMap();
  moved[3] = {XK_Num_Lock};  // Num Lock on Mod1, Alt on Mod3, Scroll Lock on Mod5
  moved[4] = {};
  moved[5] = {XK_Alt_R};
  moved[7] = {XK_Scroll_Lock};
  EXPECT_EQ(modifierMasksFrom(moved), (X11ModifierMasks{Mod3Mask, Mod4Mask, LockMask, Mod1Mask, Mod5Mask}));

  auto metaOnly = usualMap();
  metaOnly[3] = {XK_Meta_L};
  metaOnly[6] = {};
  const auto masks = modifierMasksFrom(metaOnly);
  EXPECT_EQ(masks.alt, Mod1Mask) << "Meta stands in for a missing Alt";
  EXPECT_EQ(masks.super, 0U);
}

TEST(X11ModifierMasks, StatesMapToCarbonMasksAndBackIgnoringLocks) {
  const auto masks = modifierMasksFrom(usualMap());
  EXPECT_EQ(carbonModifiersFromState(ControlMask | Mod1Mask | Mod2Mask | LockMask, masks), 4096U | 2048U);
  EXPECT_EQ(carbonModifiersFromState(ShiftMask | Mod4Mask | Mod5Mask, masks), 512U | 256U);
  EXPECT_EQ(stateFromCarbonModifiers(4096 | 2048, masks), ControlMask | Mod1Mask);
  EXPECT_EQ(stateFromCarbonModifiers(512 | 256, masks), ShiftMask | Mod4Mask);

  auto noSuper = masks;
  noSuper.super = 0;
  EXPECT_EQ(stateFromCarbonModifiers(256 | 4096, noSuper), std::nullopt)
      << "grabbing Ctrl+K for Super+Ctrl+K would steal another shortcut";
}

// The portal's suggestion: modifiers in the syntax's names and order, the key by its keysym name.
TEST(XdgShortcutTrigger, SpellsTheStoredShortcutAsThePortalReadsIt) {
  EXPECT_EQ(xdgShortcutTrigger({kMacKeySpace, 4096 | 2048}), "CTRL+ALT+space");
  EXPECT_EQ(xdgShortcutTrigger({kMacKeyComma, 256 | 512}), "SHIFT+LOGO+comma");
  EXPECT_EQ(xdgShortcutTrigger({kMacKeyQ, 2048}), "ALT+q");
  EXPECT_EQ(xdgShortcutTrigger({0x60, 0}), "F5");
  EXPECT_EQ(xdgShortcutTrigger({0xFFFF, 4096}), std::nullopt) << "a key outside the table";
}

// GNOME's custom shortcut: GTK's accelerator syntax, and back to the recorder's words for the tab.
TEST(GnomeAccelerator, SpellsTheStoredShortcutAsGnomeStoresItAndReadsItBack) {
  const struct {
    Shortcut shortcut;
    std::optional<std::string> accelerator;
    std::string described;
  } rows[] = {
      {{kMacKeySpace, 4096 | 2048}, "<Control><Alt>space", "Ctrl+Alt+Space"},
      {{kMacKeyComma, 256 | 512}, "<Shift><Super>comma", "Shift+Super+,"},
      {{0x60, 0}, "F5", "F5"},
      {{0xFFFF, 4096}, std::nullopt, ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(gnomeAccelerator(row.shortcut), row.accelerator);
    if (row.accelerator) {
      EXPECT_EQ(describeGnomeAccelerator(*row.accelerator), row.described);
    }
  }
  // GNOME Settings writes <Primary> and any case; unknown words come back as they are.
  EXPECT_EQ(describeGnomeAccelerator("<Primary><ALT>q"), "Ctrl+Alt+Q");
  EXPECT_EQ(describeGnomeAccelerator("<Hyper>q"), "<Hyper>q");
  EXPECT_EQ(describeGnomeAccelerator("<Control>XF86AudioPlay"), "<Control>XF86AudioPlay");
}

TEST(X11ModifierMasks, LockVariantsCoverEveryCombinationOfTheLocksOnly) {
  auto masks = modifierMasksFrom(usualMap());
  masks.scrollLock = Mod3Mask;
  auto variants = lockVariants(masks);
  std::ranges::sort(variants);
  const std::vector<unsigned> all{0,
                                  LockMask,
                                  Mod2Mask,
                                  LockMask | Mod2Mask,
                                  Mod3Mask,
                                  LockMask | Mod3Mask,
                                  Mod2Mask | Mod3Mask,
                                  LockMask | Mod2Mask | Mod3Mask};
  EXPECT_EQ(variants, all);

  masks.scrollLock = 0;
  masks.numLock = Mod1Mask;  // the same bit as Alt: never a lock variant
  EXPECT_EQ(lockVariants(masks), (std::vector<unsigned>{0, LockMask}));
}

// --- raw events

constexpr int kAltL = 64;
constexpr int kAltR = 108;
constexpr int kShiftL = 50;
constexpr int kLetterA = 38;
constexpr int kKeyboard = 7;
constexpr int kXTest = 5;
constexpr auto kAlt = static_cast<unsigned>(KeyModifier::alt);
constexpr auto kShift = static_cast<unsigned>(KeyModifier::shift);

ModifierEvent changed(unsigned held) {
  return {ModifierEvent::Kind::modifiersChanged, held, std::nullopt};
}
ModifierEvent other(unsigned held) {
  return {ModifierEvent::Kind::otherInput, held, std::nullopt};
}

class RawInputTrackerTest : public ::testing::Test {
 protected:
  RawInputTrackerTest() {
    std::array<ModifierKeyRole, 256> roles{};
    roles[kAltL] = ModifierKeyRole::alt;
    roles[kAltR] = ModifierKeyRole::alt;
    roles[kShiftL] = ModifierKeyRole::shift;
    tracker_.setKeyRoles(roles);
    tracker_.setSyntheticDevices({kXTest});
  }
  RawInputTracker tracker_;
};

TEST_F(RawInputTrackerTest, ReportsEachChangeOfTheHeldModifiersOnce) {
  EXPECT_EQ(tracker_.keyPressed(kAltL, kKeyboard), changed(kAlt));
  EXPECT_EQ(tracker_.keyPressed(kAltL, kKeyboard), std::nullopt) << "repeat";
  EXPECT_EQ(tracker_.keyPressed(kAltR, kKeyboard), std::nullopt) << "Alt already held";
  EXPECT_EQ(tracker_.keyPressed(kShiftL, kKeyboard), changed(kAlt | kShift));
  EXPECT_EQ(tracker_.keyReleased(kShiftL, kKeyboard), changed(kAlt));
  EXPECT_EQ(tracker_.keyReleased(kAltL, kKeyboard), std::nullopt) << "Alt_R still down";
  EXPECT_EQ(tracker_.keyReleased(kAltR, kKeyboard), changed(0));
  EXPECT_EQ(tracker_.keyReleased(kAltR, kKeyboard), std::nullopt) << "xdotool releases twice";
}

TEST_F(RawInputTrackerTest, OtherKeysAndButtonsAreReportedOnPressOnly) {
  EXPECT_EQ(tracker_.keyPressed(kAltL, kKeyboard), changed(kAlt));
  EXPECT_EQ(tracker_.keyPressed(kLetterA, kKeyboard), other(kAlt));
  EXPECT_EQ(tracker_.keyReleased(kLetterA, kKeyboard), std::nullopt);
  EXPECT_EQ(tracker_.buttonPressed(kKeyboard), other(kAlt));
}

TEST_F(RawInputTrackerTest, OurOwnSyntheticInputIsIgnoredButOtherToolsAndRealKeysCount) {
  EXPECT_EQ(tracker_.keyPressed(kAltL, kXTest), changed(kAlt)) << "xdotool outside our injection";
  EXPECT_EQ(tracker_.keyReleased(kAltL, kXTest), changed(0));

  tracker_.setIgnoringSynthetic(true);
  EXPECT_EQ(tracker_.keyPressed(kAltL, kXTest), std::nullopt);
  EXPECT_EQ(tracker_.keyPressed(kLetterA, kXTest), std::nullopt);
  EXPECT_EQ(tracker_.buttonPressed(kXTest), std::nullopt);
  EXPECT_EQ(tracker_.keyReleased(kAltL, kXTest), std::nullopt);
  EXPECT_EQ(tracker_.keyPressed(kAltL, kKeyboard), changed(kAlt)) << "the user's keyboard meanwhile";
}

// --- QSettings

TEST(QtUserDefaults, ValuesSurviveANewInstanceAndTypesFollowTheIniFormat) {
  testing::TempDir dir;
  const QString file = QString::fromStdString((dir / "Wrenfold.conf").string());
  const std::string json = R"({"carbonKeyCode":49,"carbonModifiers":2048})";
  {
    QtUserDefaults defaults(file);
    ASSERT_TRUE(defaults.setString("ShortcutRegistry_showAssistant", json));
    ASSERT_TRUE(defaults.setBool("ShortcutRegistry_other", false));
    EXPECT_EQ(defaults.string("ShortcutRegistry_other"), std::nullopt) << "a boolean is no string";
  }
  QtUserDefaults reopened(file);
  EXPECT_EQ(reopened.string("ShortcutRegistry_showAssistant"), json);
  EXPECT_TRUE(reopened.contains("ShortcutRegistry_other"));
  ASSERT_TRUE(reopened.remove("ShortcutRegistry_showAssistant"));
  EXPECT_FALSE(QtUserDefaults(file).contains("ShortcutRegistry_showAssistant"));
}

TEST(QtUserDefaults, AFileThatCannotBeWrittenIsAFailureAndKeepsTheOldValue) {
  testing::TempDir dir;
  testing::writeAll(dir / "blocker", "a file where the folder should be");
  QtUserDefaults defaults(QString::fromStdString((dir / "blocker" / "Wrenfold.conf").string()));
  const auto written = defaults.setString("key", "value");
  ASSERT_FALSE(written);
  EXPECT_NE(written.error().localizedDescription().find("无法写入设置文件"), std::string::npos);
  EXPECT_FALSE(defaults.contains("key"));
}

}  // namespace
}  // namespace wrenfold
