#include "chromium_app.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/linux/x11_connection.h"

extern char** environ;

namespace wrenfold::testing {
namespace {

constexpr int kStopPolls = 100;  // 20 ms each
constexpr std::string_view kForcedVariable = "ACCESSIBILITY_ENABLED=";

}  // namespace

bool ChromiumApp::installed() {
  return ::access(kProgram, X_OK) == 0;
}

ChromiumApp::ChromiumApp(const std::filesystem::path& folder, const std::filesystem::path& page,
                         bool forceAccessibility) {
  std::vector<std::string> arguments = {
      kProgram,
      "--user-data-dir=" + (folder / ("chromium-profile-" + std::to_string(::getpid()))).string(),
      "--no-first-run",
      "--no-default-browser-check",
      "--password-store=basic",
      "--disable-gpu",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
      // Nothing may reach the network: every host is unknown and every proxy a closed port.
      "--host-resolver-rules=MAP * ~NOTFOUND",
      "--proxy-server=127.0.0.1:9",
  };
  if (::geteuid() == 0) {
    arguments.emplace_back("--no-sandbox");
  }
  if (forceAccessibility) {
    arguments.emplace_back("--force-renderer-accessibility");
  }
  arguments.push_back("file://" + page.string());
  std::vector<char*> argv;
  for (auto& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (!std::string_view(*variable).starts_with(kForcedVariable)) {
      envp.push_back(*variable);
    }
  }
  envp.push_back(nullptr);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);  // its own group: renderers and helpers end with it
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  if (posix_spawn(&pid_, kProgram, &files, &attributes, argv.data(), envp.data()) != 0) {
    pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attributes);
}

ChromiumApp::~ChromiumApp() {
  if (pid_ <= 0) {
    return;
  }
  ::kill(-pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < kStopPolls; ++i) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      ::kill(-pid_, SIGKILL);  // helpers that outlived the browser
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(-pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
}

std::optional<std::string> ChromiumApp::windowTitle() const {
  const auto x = X11Connection::open();
  if (!x) {
    return std::nullopt;
  }
  for (const auto window :
       x->cardinals(x->root(), "_NET_CLIENT_LIST").value_or(std::vector<unsigned long>{})) {
    const auto owner = x->cardinals(static_cast<Window>(window), "_NET_WM_PID");
    if (owner && !owner->empty() && static_cast<pid_t>(owner->front()) == pid_) {
      return x->text(static_cast<Window>(window), "_NET_WM_NAME");
    }
  }
  return std::nullopt;
}

}  // namespace wrenfold::testing
