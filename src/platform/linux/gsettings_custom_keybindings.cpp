#include "platform/linux/gsettings_custom_keybindings.h"

#include <X11/Xlib.h>
#include <gio/gio.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "core/records/key_code_table.h"

namespace wrenfold {
namespace {

constexpr const char* kListSchema = "org.gnome.settings-daemon.plugins.media-keys";
constexpr const char* kEntrySchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
constexpr const char* kListKey = "custom-keybindings";
constexpr const char* kLocked = "GNOME 的设置不允许修改自定义快捷键（已被管理员锁定）";

bool schemaInstalled(const char* id) {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr;
  if (schema == nullptr) {
    return false;
  }
  g_settings_schema_unref(schema);
  return true;
}

struct EntrySettings {
  explicit EntrySettings(const std::string& path)
      : settings(g_settings_new_with_path(kEntrySchema, path.c_str())) {}
  ~EntrySettings() { g_object_unref(settings); }
  EntrySettings(const EntrySettings&) = delete;
  EntrySettings& operator=(const EntrySettings&) = delete;
  GSettings* settings;
};

bool validPath(const std::string& path) {
  // GSettings aborts on a malformed path: absolute, ending in a slash, no empty segment.
  return path.size() > 1 && path.front() == '/' && path.back() == '/' && path.find("//") == std::string::npos;
}

std::string takeString(gchar* text) {
  std::string result = text != nullptr ? text : "";
  g_free(text);
  return result;
}

}  // namespace

std::unique_ptr<GsettingsCustomKeybindings> GsettingsCustomKeybindings::open() {
  if (!schemaInstalled(kListSchema) || !schemaInstalled(kEntrySchema)) {
    return nullptr;
  }
  return std::unique_ptr<GsettingsCustomKeybindings>(
      new GsettingsCustomKeybindings(g_settings_new(kListSchema)));
}

GsettingsCustomKeybindings::~GsettingsCustomKeybindings() {
  g_settings_sync();  // writes go out asynchronously; none may be lost at exit
  g_object_unref(list_);
}

Result<std::vector<std::string>> GsettingsCustomKeybindings::paths() {
  gchar** list = g_settings_get_strv(list_, kListKey);
  std::vector<std::string> result;
  for (gchar** item = list; item != nullptr && *item != nullptr; ++item) {
    result.emplace_back(*item);
  }
  g_strfreev(list);
  return result;
}

Result<void> GsettingsCustomKeybindings::setPaths(const std::vector<std::string>& paths) {
  std::vector<const gchar*> list;
  for (const auto& path : paths) {
    list.push_back(path.c_str());
  }
  list.push_back(nullptr);
  if (!g_settings_set_strv(list_, kListKey, list.data())) {
    return failPlatform(kLocked);
  }
  g_settings_sync();
  return {};
}

Result<CustomKeybinding> GsettingsCustomKeybindings::entry(const std::string& path) {
  if (!validPath(path)) {
    return CustomKeybinding{};
  }
  const EntrySettings entry(path);
  return CustomKeybinding{takeString(g_settings_get_string(entry.settings, "name")),
                          takeString(g_settings_get_string(entry.settings, "command")),
                          takeString(g_settings_get_string(entry.settings, "binding"))};
}

Result<void> GsettingsCustomKeybindings::setEntry(const std::string& path, const CustomKeybinding& entry) {
  if (!validPath(path)) {
    return failPlatform("自定义快捷键的路径无效：" + path);
  }
  const EntrySettings settings(path);
  g_settings_delay(settings.settings);  // the three keys change together
  const bool written = g_settings_set_string(settings.settings, "name", entry.name.c_str()) &&
                       g_settings_set_string(settings.settings, "command", entry.command.c_str()) &&
                       g_settings_set_string(settings.settings, "binding", entry.binding.c_str());
  if (!written) {
    g_settings_revert(settings.settings);
    return failPlatform(kLocked);
  }
  g_settings_apply(settings.settings);
  g_settings_sync();
  return {};
}

Result<void> GsettingsCustomKeybindings::resetEntry(const std::string& path) {
  if (!validPath(path)) {
    return {};
  }
  const EntrySettings settings(path);
  for (const char* key : {"name", "command", "binding"}) {
    g_settings_reset(settings.settings, key);
  }
  g_settings_sync();
  return {};
}

std::optional<std::string> gnomeAccelerator(const Shortcut& shortcut) {
  const auto keysym = keysymForMacKeyCode(shortcut.carbonKeyCode);
  const char* name = keysym ? XKeysymToString(static_cast<KeySym>(*keysym)) : nullptr;
  if (name == nullptr) {
    return std::nullopt;
  }
  std::string accelerator;
  for (const auto& [mask, modifier] :
       {std::pair{kCarbonControl, "<Control>"}, std::pair{kCarbonOption, "<Alt>"},
        std::pair{kCarbonShift, "<Shift>"}, std::pair{kCarbonCommand, "<Super>"}}) {
    if ((shortcut.carbonModifiers & mask) != 0) {
      accelerator += modifier;
    }
  }
  return accelerator + name;
}

std::string describeGnomeAccelerator(const std::string& accelerator) {
  static constexpr std::array<std::pair<std::string_view, std::uint32_t>, 6> modifiers{
      {{"control", kCarbonControl},
       {"primary", kCarbonControl},
       {"ctrl", kCarbonControl},
       {"alt", kCarbonOption},
       {"shift", kCarbonShift},
       {"super", kCarbonCommand}}};
  Shortcut shortcut;
  std::string_view rest = accelerator;
  while (rest.starts_with('<')) {
    const auto close = rest.find('>');
    if (close == std::string_view::npos) {
      return accelerator;
    }
    std::string name(rest.substr(1, close - 1));
    for (char& c : name) {
      c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    const auto* known =
        std::ranges::find(modifiers, name, &std::pair<std::string_view, std::uint32_t>::first);
    if (known == modifiers.end()) {
      return accelerator;
    }
    shortcut.carbonModifiers |= known->second;
    rest.remove_prefix(close + 1);
  }
  const KeySym keysym = XStringToKeysym(std::string(rest).c_str());
  const auto code =
      keysym != NoSymbol ? macKeyCodeForKeysym(static_cast<std::uint32_t>(keysym)) : std::nullopt;
  if (!code) {
    return accelerator;
  }
  shortcut.carbonKeyCode = *code;
  return describeShortcut(shortcut);
}

}  // namespace wrenfold
