#include "core/support/app_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "core/support/file_io.h"

namespace wrenfold {
namespace {

namespace fs = std::filesystem;

constexpr auto kPrivateDirectory = fs::perms::owner_all;  // 0700: the folder holds the API key

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
    if (auto created = files::createDirectories(folder); !created) {
      return created;
    }
  }
  return {};
}

}  // namespace wrenfold
