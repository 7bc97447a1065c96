#include "core/records/shortcut.h"

#include <array>
#include <limits>

#include "core/records/key_code_table.h"
#include "core/support/json.h"

namespace wrenfold {
namespace {

struct ModifierPair {
  std::uint32_t carbon;
  std::string_view label;
};

// In the order the recorder names them.
constexpr std::array<ModifierPair, 4> kModifierPairs{{
    {kCarbonControl, "Ctrl"},
    {kCarbonOption, "Alt"},
    {kCarbonShift, "Shift"},
    {kCarbonCommand, "Super"},
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
