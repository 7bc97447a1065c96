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

// The table's own rows are checked both ways above; these are the keysyms it must fold in.
TEST(KeyCodeTable, FoldsShiftedAndKeypadSymbolsAndKnowsNoOthers) {
  const struct {
    std::uint32_t keysym;
    std::optional<std::uint32_t> macKeyCode;
    const char* label;
  } rows[] = {
      {'A', 0x00, "A"},                // a shifted letter is the same key
      {0xFF95, 0x59, "Num 7"},         // KP_Home: keypad 7, Num Lock off
      {0x1008FF11, std::nullopt, ""},  // a volume key
      {0xFFE9, std::nullopt, ""},      // Alt_L itself
  };
  for (const auto& row : rows) {
    EXPECT_EQ(macKeyCodeForKeysym(row.keysym), row.macKeyCode) << std::hex << row.keysym;
    if (row.macKeyCode) {
      EXPECT_EQ(keyLabel(*row.macKeyCode), row.label);
    }
  }
}

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

TEST(RecorderRules, TheFirstRuleThatMatchesDecides) {
  constexpr std::uint32_t kCtrl = kCarbonControl;
  constexpr std::uint32_t kAlt = kCarbonOption;
  const Shortcut taken{0x28, kCtrl | kAlt};  // Ctrl+Alt+K, held by another client
  const struct {
    const char* name;
    Shortcut key;
    Action action;
    const char* menuItem = "";
  } rows[] = {
      {"TabEnds", {kMacKeyTab, 0}, Action::endAndPassOn},
      {"CtrlTabIsAShortcut", {kMacKeyTab, kCtrl}, Action::record},
      {"EscapeEnds", {kMacKeyEscape, 0}, Action::endAndSwallow},
      {"ShiftEscapeBeeps", {kMacKeyEscape, kCarbonShift}, Action::beep},
      {"BackspaceClears", {kMacKeyDelete, 0}, Action::clear},
      {"DeleteClears", {kMacKeyForwardDelete, 0}, Action::clear},
      {"ALetterAloneBeeps", {0x00, 0}, Action::beep},
      {"ShiftLetterBeeps", {0x00, kCarbonShift}, Action::beep},
      {"FunctionKeyAloneRecords", {0x7A, 0}, Action::record},
      {"ShiftF12Records", {0x6F, kCarbonShift}, Action::record},
      {"CtrlCommaIsTheSettingsItem", {kMacKeyComma, kCtrl}, Action::usedByMenuItem, "设置"},
      {"CtrlQIsTheQuitItem", {kMacKeyQ, kCtrl}, Action::usedByMenuItem, "退出"},
      {"CtrlShiftQIsFree", {kMacKeyQ, kCtrl | kCarbonShift}, Action::record},
      {"HeldElsewhere", {0x28, kCtrl | kAlt}, Action::usedByApplication},
      {"AltSpaceRecords", {kMacKeySpace, kAlt}, Action::record},
  };
  for (const auto& row : rows) {
    const auto verdict = judgeRecordedKey(row.key, [&](const Shortcut& s) { return s == taken; });
    EXPECT_EQ(verdict.action, row.action) << row.name;
    EXPECT_EQ(verdict.menuItemTitle, row.menuItem) << row.name;
  }
}

}  // namespace
}  // namespace wrenfold
