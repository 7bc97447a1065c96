// The key table, the modifier mapping and the recorder's rules.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/records/key_code_table.h"
#include "core/records/shortcut.h"
#include "core/trigger/shortcut_recorder_rules.h"

namespace wrenfold {
namespace {

TEST(KeyCodeTable, EveryKeyMapsBothWaysAndNoCodeOrSymbolIsUsedTwice) {
  std::set<std::uint32_t> codes;
  std::set<std::uint32_t> keysyms;
  for (const auto& entry : keyCodeTable()) {
    EXPECT_TRUE(codes.insert(entry.macKeyCode).second) << "code used twice: " << entry.macKeyCode;
    EXPECT_TRUE(keysyms.insert(entry.keysym).second) << "symbol used twice: " << entry.keysym;
    EXPECT_EQ(macKeyCodeForKeysym(entry.keysym), entry.macKeyCode) << entry.label;
    EXPECT_EQ(keysymForMacKeyCode(entry.macKeyCode), entry.keysym) << entry.label;
  }
  // 26 letters, 10 digits, 11 punctuation keys, 15 editing and navigation keys, F1-F20, 18 keypad keys.
  EXPECT_EQ(codes.size(), 100U);
}

struct KeysymCase {
  std::uint32_t keysym;
  std::optional<std::uint32_t> macKeyCode;
  const char* label;
};

void PrintTo(const KeysymCase& c, std::ostream* out) {
  *out << std::hex << c.keysym;
}

class KeysymTest : public ::testing::TestWithParam<KeysymCase> {};

TEST_P(KeysymTest, MapsToTheMacKeyCodeOfThatKey) {
  const auto& c = GetParam();
  EXPECT_EQ(macKeyCodeForKeysym(c.keysym), c.macKeyCode);
  if (c.macKeyCode) {
    EXPECT_EQ(keyLabel(*c.macKeyCode), c.label);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeysymTest,
    // The table's own rows are checked both ways above; these are the keysyms it must fold in.
    ::testing::Values(KeysymCase{'A', 0x00, "A"},                // a shifted letter is the same key
                      KeysymCase{0xFF95, 0x59, "Num 7"},         // KP_Home: keypad 7, Num Lock off
                      KeysymCase{0x1008FF11, std::nullopt, ""},  // a volume key
                      KeysymCase{0xFFE9, std::nullopt, ""}));    // Alt_L itself

TEST(KeyCodeTable, OnlyF1ToF20AreFunctionKeys) {
  for (const auto& entry : keyCodeTable()) {
    const std::string label(entry.label);
    const bool named =
        label.size() >= 2 && label[0] == 'F' && std::isdigit(static_cast<unsigned char>(label[1]));
    EXPECT_EQ(isFunctionKey(entry.macKeyCode), named) << label;
  }
  EXPECT_FALSE(isFunctionKey(0xFFFF));
}

TEST(ShortcutText, NamesModifiersInAFixedOrderBeforeTheKey) {
  EXPECT_EQ(describeShortcut({0x31, kCarbonOption | kCarbonControl}), "Ctrl+Alt+Space");
  EXPECT_EQ(describeShortcut({0x7A, kCarbonCommand | kCarbonShift}), "Shift+Super+F1");
  EXPECT_EQ(describeShortcut({0x7F, 0}), "未知键");
}

using Action = RecorderVerdict::Action;

struct RecorderCase {
  const char* name;
  Shortcut key;
  Action action;
  const char* menuItem = "";
};

void PrintTo(const RecorderCase& c, std::ostream* out) {
  *out << c.name;
}

class RecorderRulesTest : public ::testing::TestWithParam<RecorderCase> {};

TEST_P(RecorderRulesTest, AppliesTheFirstRuleThatMatches) {
  const Shortcut taken{0x28, kCarbonControl | kCarbonOption};  // Ctrl+Alt+K, held by another client
  const auto verdict = judgeRecordedKey(GetParam().key, [&](const Shortcut& s) { return s == taken; });
  EXPECT_EQ(verdict.action, GetParam().action);
  EXPECT_EQ(verdict.menuItemTitle, GetParam().menuItem);
}

constexpr std::uint32_t kCtrl = kCarbonControl;
constexpr std::uint32_t kAlt = kCarbonOption;

INSTANTIATE_TEST_SUITE_P(
    Rules, RecorderRulesTest,
    ::testing::Values(
        RecorderCase{"TabEnds", {kMacKeyTab, 0}, Action::endAndPassOn},
        RecorderCase{"CtrlTabIsAShortcut", {kMacKeyTab, kCtrl}, Action::record},
        RecorderCase{"EscapeEnds", {kMacKeyEscape, 0}, Action::endAndSwallow},
        RecorderCase{"ShiftEscapeBeeps", {kMacKeyEscape, kCarbonShift}, Action::beep},
        RecorderCase{"BackspaceClears", {kMacKeyDelete, 0}, Action::clear},
        RecorderCase{"DeleteClears", {kMacKeyForwardDelete, 0}, Action::clear},
        RecorderCase{"ALetterAloneBeeps", {0x00, 0}, Action::beep},
        RecorderCase{"ShiftLetterBeeps", {0x00, kCarbonShift}, Action::beep},
        RecorderCase{"FunctionKeyAloneRecords", {0x7A, 0}, Action::record},
        RecorderCase{"ShiftF12Records", {0x6F, kCarbonShift}, Action::record},
        RecorderCase{"CtrlCommaIsTheSettingsItem", {kMacKeyComma, kCtrl}, Action::usedByMenuItem, "设置"},
        RecorderCase{"CtrlQIsTheQuitItem", {kMacKeyQ, kCtrl}, Action::usedByMenuItem, "退出"},
        RecorderCase{"CtrlShiftQIsFree", {kMacKeyQ, kCtrl | kCarbonShift}, Action::record},
        RecorderCase{"HeldElsewhere", {0x28, kCtrl | kAlt}, Action::usedByApplication},
        RecorderCase{"AltSpaceRecords", {kMacKeySpace, kAlt}, Action::record}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace wrenfold
