#include "core/records/key_code_table.h"

#include <algorithm>
#include <array>

namespace wrenfold {
namespace {

// macOS virtual key codes are positions on the ANSI keyboard, not characters: hence the
// scattered numbers.
constexpr std::array kTable = std::to_array<KeyCodeEntry>({
    // Letters.
    {0x00, 'a', "A"},
    {0x0B, 'b', "B"},
    {0x08, 'c', "C"},
    {0x02, 'd', "D"},
    {0x0E, 'e', "E"},
    {0x03, 'f', "F"},
    {0x05, 'g', "G"},
    {0x04, 'h', "H"},
    {0x22, 'i', "I"},
    {0x26, 'j', "J"},
    {0x28, 'k', "K"},
    {0x25, 'l', "L"},
    {0x2E, 'm', "M"},
    {0x2D, 'n', "N"},
    {0x1F, 'o', "O"},
    {0x23, 'p', "P"},
    {0x0C, 'q', "Q"},
    {0x0F, 'r', "R"},
    {0x01, 's', "S"},
    {0x11, 't', "T"},
    {0x20, 'u', "U"},
    {0x09, 'v', "V"},
    {0x0D, 'w', "W"},
    {0x07, 'x', "X"},
    {0x10, 'y', "Y"},
    {0x06, 'z', "Z"},
    // Digits.
    {0x1D, '0', "0"},
    {0x12, '1', "1"},
    {0x13, '2', "2"},
    {0x14, '3', "3"},
    {0x15, '4', "4"},
    {0x17, '5', "5"},
    {0x16, '6', "6"},
    {0x1A, '7', "7"},
    {0x1C, '8', "8"},
    {0x19, '9', "9"},
    // Punctuation.
    {0x1B, '-', "-"},
    {0x18, '=', "="},
    {0x21, '[', "["},
    {0x1E, ']', "]"},
    {0x2A, '\\', "\\"},
    {0x29, ';', ";"},
    {0x27, '\'', "'"},
    {0x32, '`', "`"},
    {0x2B, ',', ","},
    {0x2F, '.', "."},
    {0x2C, '/', "/"},
    // Editing and navigation.
    {0x24, 0xFF0D, "Enter"},
    {0x30, 0xFF09, "Tab"},
    {0x31, 0x0020, "Space"},
    {0x33, 0xFF08, "Backspace"},
    {0x35, 0xFF1B, "Esc"},
    {0x72, 0xFF63, "Insert"},  // the Help key sits where PC keyboards have Insert
    {0x73, 0xFF50, "Home"},
    {0x74, 0xFF55, "PageUp"},
    {0x75, 0xFFFF, "Delete"},
    {0x77, 0xFF57, "End"},
    {0x79, 0xFF56, "PageDown"},
    {0x7B, 0xFF51, "←"},
    {0x7C, 0xFF53, "→"},
    {0x7D, 0xFF54, "↓"},
    {0x7E, 0xFF52, "↑"},
    // Function keys; XK_F1 is 0xFFBE and the rest follow it.
    {0x7A, 0xFFBE, "F1"},
    {0x78, 0xFFBF, "F2"},
    {0x63, 0xFFC0, "F3"},
    {0x76, 0xFFC1, "F4"},
    {0x60, 0xFFC2, "F5"},
    {0x61, 0xFFC3, "F6"},
    {0x62, 0xFFC4, "F7"},
    {0x64, 0xFFC5, "F8"},
    {0x65, 0xFFC6, "F9"},
    {0x6D, 0xFFC7, "F10"},
    {0x67, 0xFFC8, "F11"},
    {0x6F, 0xFFC9, "F12"},
    {0x69, 0xFFCA, "F13"},
    {0x6B, 0xFFCB, "F14"},
    {0x71, 0xFFCC, "F15"},
    {0x6A, 0xFFCD, "F16"},
    {0x40, 0xFFCE, "F17"},
    {0x4F, 0xFFCF, "F18"},
    {0x50, 0xFFD0, "F19"},
    {0x5A, 0xFFD1, "F20"},
    // Keypad.
    {0x52, 0xFFB0, "Num 0"},
    {0x53, 0xFFB1, "Num 1"},
    {0x54, 0xFFB2, "Num 2"},
    {0x55, 0xFFB3, "Num 3"},
    {0x56, 0xFFB4, "Num 4"},
    {0x57, 0xFFB5, "Num 5"},
    {0x58, 0xFFB6, "Num 6"},
    {0x59, 0xFFB7, "Num 7"},
    {0x5B, 0xFFB8, "Num 8"},
    {0x5C, 0xFFB9, "Num 9"},
    {0x41, 0xFFAE, "Num ."},
    {0x43, 0xFFAA, "Num *"},
    {0x45, 0xFFAB, "Num +"},
    {0x4E, 0xFFAD, "Num -"},
    {0x4B, 0xFFAF, "Num /"},
    {0x4C, 0xFF8D, "Num Enter"},
    {0x51, 0xFFBD, "Num ="},
    {0x47, 0xFF0B, "Clear"},
});

struct KeysymAlias {
  std::uint32_t keysym;
  std::uint32_t macKeyCode;
};

// Other symbols of keys in the table: the keypad without Num Lock, and Help.
constexpr std::array kAliases = std::to_array<KeysymAlias>({
    {0xFF9E, 0x52},  // KP_Insert
    {0xFF9C, 0x53},  // KP_End
    {0xFF99, 0x54},  // KP_Down
    {0xFF9B, 0x55},  // KP_Next
    {0xFF96, 0x56},  // KP_Left
    {0xFF9D, 0x57},  // KP_Begin
    {0xFF98, 0x58},  // KP_Right
    {0xFF95, 0x59},  // KP_Home
    {0xFF97, 0x5B},  // KP_Up
    {0xFF9A, 0x5C},  // KP_Prior
    {0xFF9F, 0x41},  // KP_Delete
    {0xFF6A, 0x72},  // Help
});

constexpr std::uint32_t kFirstFunctionKeysym = 0xFFBE;
constexpr std::uint32_t kLastFunctionKeysym = 0xFFD1;

const KeyCodeEntry* entryForMacKeyCode(std::uint32_t macKeyCode) {
  const auto it = std::ranges::find(kTable, macKeyCode, &KeyCodeEntry::macKeyCode);
  return it == kTable.end() ? nullptr : &*it;
}

}  // namespace

std::span<const KeyCodeEntry> keyCodeTable() {
  return kTable;
}

std::optional<std::uint32_t> macKeyCodeForKeysym(std::uint32_t keysym) {
  if (keysym >= 'A' && keysym <= 'Z') {
    keysym += 'a' - 'A';
  }
  if (const auto it = std::ranges::find(kTable, keysym, &KeyCodeEntry::keysym); it != kTable.end()) {
    return it->macKeyCode;
  }
  if (const auto it = std::ranges::find(kAliases, keysym, &KeysymAlias::keysym); it != kAliases.end()) {
    return it->macKeyCode;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> keysymForMacKeyCode(std::uint32_t macKeyCode) {
  const auto* entry = entryForMacKeyCode(macKeyCode);
  return entry == nullptr ? std::nullopt : std::optional(entry->keysym);
}

std::string_view keyLabel(std::uint32_t macKeyCode) {
  const auto* entry = entryForMacKeyCode(macKeyCode);
  return entry == nullptr ? std::string_view("未知键") : entry->label;
}

bool isFunctionKey(std::uint32_t macKeyCode) {
  const auto* entry = entryForMacKeyCode(macKeyCode);
  return entry != nullptr && entry->keysym >= kFirstFunctionKeysym && entry->keysym <= kLastFunctionKeysym;
}

}  // namespace wrenfold
