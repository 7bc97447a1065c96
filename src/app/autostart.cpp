#include "app/autostart.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <vector>

#include "core/support/file_io.h"
#include "core/text/text.h"

namespace wrenfold::app {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kEntryName = "wrenfold.desktop";
constexpr std::string_view kEntryGroup = "[Desktop Entry]";

std::optional<std::string> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<std::string> homeFromPasswordDatabase() {
  const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return std::string(found->pw_dir);
  }
  return std::nullopt;
}

std::optional<fs::path> absolute(const std::optional<std::string>& value) {
  if (!value || value->empty() || !fs::path(*value).is_absolute()) {
    return std::nullopt;  // relative values are invalid and ignored, as XDG asks
  }
  return fs::path(*value);
}

// Whether the "[Desktop Entry]" group of `contents` sets `key` to `value`.
bool entrySets(const std::string& contents, std::string_view key, std::string_view value) {
  std::istringstream lines(contents);
  bool inEntryGroup = false;
  for (std::string line; std::getline(lines, line);) {
    const std::string trimmed = text::trim(line);
    if (trimmed.starts_with('[')) {
      inEntryGroup = trimmed == kEntryGroup;
      continue;
    }
    const auto equals = trimmed.find('=');
    if (inEntryGroup && equals != std::string::npos && text::trim(trimmed.substr(0, equals)) == key &&
        text::trim(trimmed.substr(equals + 1)) == value) {
      return true;
    }
  }
  return false;
}

}  // namespace

AutostartEntry::AutostartEntry(fs::path entryFile, fs::path installedEntry)
    : entryFile_(std::move(entryFile)), installedEntry_(std::move(installedEntry)) {}

Result<AutostartEntry> AutostartEntry::forThisProcess() {
  auto home = environmentValue("HOME");
  if (!home || home->empty()) {
    home = homeFromPasswordDatabase();
  }
  auto entry = autostartEntryPath(environmentValue("XDG_CONFIG_HOME"), home);
  if (!entry) {
    return fail(entry.error());
  }
  std::error_code error;
  const fs::path executable = fs::read_symlink("/proc/self/exe", error);
  if (error) {
    return failPlatform("无法确定 Wrenfold 的安装位置：" + error.message());
  }
  return AutostartEntry(*entry, installedAutostartEntry(executable));
}

bool AutostartEntry::isEnabled() const {
  const auto contents = files::readFile(entryFile_);
  return contents && !entrySets(*contents, "Hidden", "true") &&
         !entrySets(*contents, "X-GNOME-Autostart-enabled", "false");
}

Result<void> AutostartEntry::enable() const {
  const auto contents = files::readFile(installedEntry_);
  if (!contents) {
    return failPlatform("找不到随 Wrenfold 安装的自启动项：" + installedEntry_.string());
  }
  if (auto created = files::createDirectories(entryFile_.parent_path()); !created) {
    return created;
  }
  // An ordinary desktop entry, readable like the ones it sits among.
  constexpr auto kEntryMode =
      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;
  return files::writeFileAtomically(entryFile_, *contents, kEntryMode);
}

Result<void> AutostartEntry::disable() const {
  std::error_code error;
  fs::remove(entryFile_, error);
  if (error) {
    return failPlatform("无法删除自启动项 " + entryFile_.string() + "：" + error.message());
  }
  return {};
}

Result<fs::path> autostartEntryPath(const std::optional<std::string>& xdgConfigHome,
                                    const std::optional<std::string>& home) {
  if (const auto configHome = absolute(xdgConfigHome)) {
    return *configHome / "autostart" / kEntryName;
  }
  if (const auto homeFolder = absolute(home)) {
    return *homeFolder / ".config" / "autostart" / kEntryName;
  }
  return failPlatform("无法确定用户的配置文件夹：XDG_CONFIG_HOME 和 HOME 都不是绝对路径");
}

fs::path installedAutostartEntry(const fs::path& executable) {
  return executable.parent_path().parent_path() / "share" / "wrenfold" / "autostart" / kEntryName;
}

}  // namespace wrenfold::app
