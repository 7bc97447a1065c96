#include "core/support/app_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/support/file_io.h"

namespace wrenfold {
namespace {

namespace fs = std::filesystem;

constexpr auto kPrivateDirectory = fs::perms::owner_all;  // 0700: the folder holds the API key

std::string octal(mode_t mode) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%04o", static_cast<unsigned>(mode & 07777));
  return buffer;
}

std::optional<fs::path> absoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    return std::nullopt;
  }
  fs::path path(value);
  if (!path.is_absolute()) {
    return std::nullopt;  // relative values are invalid and ignored, as XDG asks
  }
  return path;
}

fs::path homeFromPasswordDatabase() {
  const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && *found->pw_dir != '\0') {
    return found->pw_dir;
  }
  return {};
}

fs::path homeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return home;
  }
  if (fs::path home = homeFromPasswordDatabase(); !home.empty()) {
    return home;
  }
  std::error_code ec;
  fs::path current = fs::current_path(ec);
  return ec ? fs::path(".") : current;
}

}  // namespace

AppPaths::AppPaths(fs::path appSupport) : appSupport_(std::move(appSupport)) {}

AppPaths AppPaths::fromEnvironment() {
  if (auto dataHome = absoluteFromEnvironment("XDG_DATA_HOME")) {
    return AppPaths(*dataHome / "Wrenfold");
  }
  return AppPaths(homeDirectory() / ".local" / "share" / "Wrenfold");
}

Result<void> AppPaths::ensureDirectories() const {
  if (auto created = files::createDirectories(appSupport_, kPrivateDirectory); !created) {
    return created;
  }
  for (const fs::path& folder :
       {templatesDirectoryURL(), styleDirectoryURL(), eventsDirectoryURL(), logsDirectoryURL()}) {
    if (auto created = files::createDirectories(folder, kPrivateDirectory); !created) {
      return created;
    }
  }
  return {};
}

std::vector<std::string> AppPaths::exposureWarnings() const {
  std::vector<std::string> warnings;
  struct stat info {};
  // A folder others may list or enter (read or search bits) exposes every file it holds.
  if (::stat(appSupport_.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & 0055) != 0) {
    warnings.push_back("数据目录 " + appSupport_.string() + " 可被其他用户访问（权限 " + octal(info.st_mode) +
                       "）。执行 chmod 700 " + appSupport_.string() + " 可恢复为仅本人可用。");
  }
  const fs::path config = configURL();
  if (::stat(config.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0044) != 0) {
    warnings.push_back(config.string() + " 保存着 API Key，可被其他用户读取（权限 " + octal(info.st_mode) +
                       "）。执行 chmod 600 " + config.string() + " 可恢复为仅本人可读。");
  }
  return warnings;
}

}  // namespace wrenfold
