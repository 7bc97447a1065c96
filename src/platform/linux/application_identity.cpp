#include "platform/linux/application_identity.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "core/text/text.h"

namespace wrenfold {
namespace {

// Lines of `contents` inside group `group` as (key, value) pairs.
std::vector<std::pair<std::string, std::string>> groupEntries(std::string_view contents,
                                                              std::string_view group) {
  std::vector<std::pair<std::string, std::string>> entries;
  bool inGroup = false;
  std::istringstream lines{std::string(contents)};
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.starts_with('[')) {
      inGroup = line == "[" + std::string(group) + "]";
      continue;
    }
    const auto equals = line.find('=');
    if (!inGroup || line.starts_with('#') || equals == std::string::npos) {
      continue;
    }
    entries.emplace_back(text::trim(line.substr(0, equals)), text::trim(line.substr(equals + 1)));
  }
  return entries;
}

// "zh_CN.UTF-8@latin" -> {"zh_CN", "zh"}.
std::vector<std::string> localeKeys(std::string_view locale) {
  std::string base(locale.substr(0, locale.find_first_of(".@")));
  std::vector<std::string> keys;
  if (base.empty() || base == "C" || base == "POSIX") {
    return keys;
  }
  keys.push_back(base);
  if (const auto underscore = base.find('_'); underscore != std::string::npos) {
    keys.push_back(base.substr(0, underscore));
  }
  return keys;
}

std::optional<std::string> nonEmpty(const std::optional<std::string>& value) {
  if (!value || text::isBlank(*value)) {
    return std::nullopt;
  }
  return value;
}

const DesktopFileIndex::Entry* matchWMClass(const WindowFacts& facts, const DesktopFileIndex& index) {
  for (const auto& candidate : {facts.wmClass, facts.wmInstance}) {
    if (!nonEmpty(candidate)) {
      continue;
    }
    if (const auto* entry = index.byWMClass(*candidate)) {
      return entry;
    }
    if (const auto* entry = index.byID(*candidate)) {
      return entry;
    }
    if (const auto* entry = index.byID(text::lowercased(*candidate))) {
      return entry;
    }
  }
  return nullptr;
}

// The id of a desktop-file path as KDE writes it ("org.kde.dolphin" or ".../org.kde.dolphin.desktop").
std::string desktopIDOf(std::string_view value) {
  std::string id(value.substr(value.rfind('/') == std::string_view::npos ? 0 : value.rfind('/') + 1));
  if (id.ends_with(".desktop")) {
    id.resize(id.size() - std::string_view(".desktop").size());
  }
  return id;
}

// A known id; the display name from its desktop file, else the WM_CLASS class.
ApplicationIdentity known(const std::string& id, const WindowFacts& facts, const DesktopFileIndex& index) {
  const auto* entry = index.byID(id);
  if (entry != nullptr && !entry->name.empty()) {
    return {id, entry->name};
  }
  return {id, nonEmpty(facts.wmClass)};
}

}  // namespace

void DesktopFileIndex::add(const std::string& id, std::string_view contents, std::string_view locale) {
  if (byID_.contains(id)) {
    return;
  }
  Entry entry{id, ""};
  std::map<std::string, std::string> names;
  std::string wmClass;
  for (const auto& [key, value] : groupEntries(contents, "Desktop Entry")) {
    if (key.starts_with("Name")) {
      names[key] = value;
    } else if (key == "StartupWMClass") {
      wmClass = value;
    }
  }
  for (const auto& key : localeKeys(locale)) {
    if (const auto it = names.find("Name[" + key + "]"); it != names.end() && entry.name.empty()) {
      entry.name = it->second;
    }
  }
  if (entry.name.empty() && names.contains("Name")) {
    entry.name = names["Name"];
  }
  if (!wmClass.empty() && !byWMClass_.contains(wmClass)) {
    byWMClass_.emplace(wmClass, id);
  }
  byID_.emplace(id, std::move(entry));
}

const DesktopFileIndex::Entry* DesktopFileIndex::byID(std::string_view id) const {
  const auto it = byID_.find(id);
  return it != byID_.end() ? &it->second : nullptr;
}

const DesktopFileIndex::Entry* DesktopFileIndex::byWMClass(std::string_view wmClass) const {
  const auto it = byWMClass_.find(wmClass);
  return it != byWMClass_.end() ? byID(it->second) : nullptr;
}

DesktopFileIndex DesktopFileIndex::load(const std::vector<std::filesystem::path>& dataDirs,
                                        std::string_view locale) {
  DesktopFileIndex index;
  for (const auto& dir : dataDirs) {
    std::error_code ec;
    const auto applications = dir / "applications";
    for (auto it = std::filesystem::recursive_directory_iterator(applications, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->path().extension() != ".desktop") {
        continue;
      }
      // Files in subfolders get the folder as a prefix: kde4/kate.desktop is "kde4-kate".
      std::string id = std::filesystem::relative(it->path(), applications, ec).replace_extension().string();
      std::replace(id.begin(), id.end(), '/', '-');
      std::ifstream in(it->path());
      std::ostringstream contents;
      contents << in.rdbuf();
      index.add(id, text::repairUtf8(contents.str()), locale);
    }
  }
  return index;
}

std::vector<std::filesystem::path> DesktopFileIndex::standardDataDirs() {
  std::vector<std::filesystem::path> dirs;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (dataHome != nullptr && *dataHome != '\0') {
    dirs.emplace_back(dataHome);
  } else if (home != nullptr) {
    dirs.push_back(std::filesystem::path(home) / ".local/share");
  }
  const char* dataDirs = std::getenv("XDG_DATA_DIRS");
  std::istringstream list((dataDirs != nullptr && *dataDirs != '\0') ? dataDirs
                                                                     : "/usr/local/share:/usr/share");
  for (std::string dir; std::getline(list, dir, ':');) {
    if (!dir.empty()) {
      dirs.emplace_back(dir);
    }
  }
  return dirs;
}

std::string DesktopFileIndex::messagesLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return value;
    }
  }
  return "C";
}

ApplicationIdentity identifyApplication(const WindowFacts& facts, const DesktopFileIndex& index) {
  if (const auto* entry = matchWMClass(facts, index)) {
    return known(entry->id, facts, index);
  }
  for (const auto& id : {facts.flatpakID, facts.gtkApplicationID}) {
    if (nonEmpty(id)) {
      return known(*id, facts, index);
    }
  }
  if (nonEmpty(facts.kdeDesktopFile)) {
    return known(desktopIDOf(*facts.kdeDesktopFile), facts, index);
  }
  const auto className = nonEmpty(facts.wmClass);
  if (className || nonEmpty(facts.wmInstance)) {
    return {className ? className : facts.wmInstance, className};
  }
  return {nonEmpty(facts.executable), std::nullopt};
}

std::optional<std::string> flatpakIDFromInfo(std::string_view contents) {
  for (const auto& [key, value] : groupEntries(contents, "Application")) {
    if (key == "name" && !value.empty()) {
      return value;
    }
  }
  return std::nullopt;
}

}  // namespace wrenfold
