#include "core/trigger/shortcut.h"

#include <array>
#include <limits>

#include "core/platform/key_events.h"
#include "core/support/json.h"
#include "core/trigger/key_code_table.h"

namespace wrenfold {
namespace {

struct ModifierPair {
  KeyModifier modifier;
  std::uint32_t carbon;
  std::string_view label;
};

// In the order the recorder names them.
constexpr std::array<ModifierPair, 4> kModifierPairs{{
    {KeyModifier::control, kCarbonControl, "Ctrl"},
    {KeyModifier::alt, kCarbonOption, "Alt"},
    {KeyModifier::shift, kCarbonShift, "Shift"},
    {KeyModifier::super, kCarbonCommand, "Super"},
}};

std::optional<std::uint32_t> uint32Field(const json::Json& object, std::string_view key) {
  const auto value = json::requireInteger(object, key);
  if (!value || *value < 0 || *value > std::numeric_limits<std::uint32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(*value);
}

}  // namespace

std::string encodeShortcut(const Shortcut& shortcut) {
  json::Json object = json::Json::object();
  object["carbonKeyCode"] = shortcut.carbonKeyCode;
  object["carbonModifiers"] = shortcut.carbonModifiers;
  return json::dumpCompact(object);
}

std::optional<Shortcut> decodeShortcut(std::string_view text) {
  const auto parsed = json::parse(text);
  if (!parsed || !parsed->is_object()) {
    return std::nullopt;
  }
  const auto keyCode = uint32Field(*parsed, "carbonKeyCode");
  const auto modifiers = uint32Field(*parsed, "carbonModifiers");
  if (!keyCode || !modifiers) {
    return std::nullopt;
  }
  return Shortcut{*keyCode, *modifiers};
}

std::uint32_t carbonModifiersFromKeyModifiers(unsigned keyModifiers) {
  std::uint32_t carbon = 0;
  for (const auto& pair : kModifierPairs) {
    if ((keyModifiers & static_cast<unsigned>(pair.modifier)) != 0) {
      carbon |= pair.carbon;
    }
  }
  return carbon;
}

unsigned keyModifiersFromCarbon(std::uint32_t carbonModifiers) {
  unsigned modifiers = 0;
  for (const auto& pair : kModifierPairs) {
    if ((carbonModifiers & pair.carbon) != 0) {
      modifiers |= static_cast<unsigned>(pair.modifier);
    }
  }
  return modifiers;
}

std::string describeShortcut(const Shortcut& shortcut) {
  std::string text;
  for (const auto& pair : kModifierPairs) {
    if ((shortcut.carbonModifiers & pair.carbon) != 0) {
      text += pair.label;
      text += '+';
    }
  }
  return text + std::string(keyLabel(shortcut.carbonKeyCode));
}

}  // namespace wrenfold
