#include "fixture_app.h"

#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <thread>

extern char** environ;

namespace wrenfold::testing {

namespace {

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& overrides) {
  std::map<std::string, std::string> variables;
  const auto add = [&](const std::string& entry) {
    const auto equals = entry.find('=');
    if (equals != std::string::npos) {
      variables[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
  };
  for (char** variable = environ; *variable != nullptr; ++variable) {
    add(*variable);
  }
  for (const auto& entry : overrides) {
    add(entry);
  }
  std::vector<std::string> merged;
  for (const auto& [name, value] : variables) {
    merged.push_back(name + "=" + value);
  }
  return merged;
}

}  // namespace

Process::Process(std::vector<std::string> argv, const std::vector<std::string>& environment, bool ownGroup)
    : ownGroup_(ownGroup) {
  std::vector<char*> arguments;
  for (auto& argument : argv) {
    arguments.push_back(argument.data());
  }
  arguments.push_back(nullptr);
  auto variables = mergedEnvironment(environment);
  std::vector<char*> envp;
  for (auto& variable : variables) {
    envp.push_back(variable.data());
  }
  envp.push_back(nullptr);
  const std::string outputPath = (outputDir_ / "output").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (ownGroup) {
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
  }
  if (posix_spawnp(&pid_, arguments[0], &actions, &attributes, arguments.data(), envp.data()) != 0) {
    pid_ = -1;
    status_ = 127;
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
}

Process::~Process() {
  terminate();
}

std::optional<int> Process::wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!status_) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return status_;
}

std::string Process::output() const {
  return testing::readAll(outputDir_ / "output");
}

void Process::terminate() {
  if (status_ || pid_ <= 0) {
    return;
  }
  const pid_t target = ownGroup_ ? -pid_ : pid_;
  ::kill(target, SIGCONT);  // a paused program must see the SIGTERM
  ::kill(target, SIGTERM);
  if (!wait(std::chrono::seconds(5))) {
    ::kill(target, SIGKILL);
    static_cast<void>(wait(std::chrono::seconds(5)));
  }
  if (ownGroup_) {
    ::kill(target, SIGKILL);  // helpers that outlived their leader
  }
}

Exit run(std::vector<std::string> argv, const std::vector<std::string>& environment) {
  Process process(std::move(argv), environment);
  const auto status = process.wait();
  if (!status) {
    process.terminate();
  }
  return {status.value_or(-1), process.output()};
}

bool xdotool(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return run(argv).status == 0;
}

std::optional<std::string> activeWindow() {
  Exit active = run({"xdotool", "getactivewindow"});
  while (!active.output.empty() && (active.output.back() == '\n' || active.output.back() == ' ')) {
    active.output.pop_back();
  }
  return active.status == 0 ? std::optional(active.output) : std::nullopt;
}

std::unique_ptr<Process> startChromium(const std::filesystem::path& folder, const std::string& url,
                                       bool forceAccessibility, std::vector<std::string> environment) {
  std::vector<std::string> argv{kChromium,
                                "--user-data-dir=" + (folder / "chromium-profile").string(),
                                "--no-first-run",
                                "--no-default-browser-check",
                                "--password-store=basic",
                                "--disable-gpu",
                                "--disable-background-networking",
                                "--disable-component-update",
                                "--disable-sync",
                                "--host-resolver-rules=MAP * ~NOTFOUND",
                                "--proxy-server=127.0.0.1:9"};
  if (::geteuid() == 0) {
    argv.emplace_back("--no-sandbox");
  }
  if (forceAccessibility) {
    argv.emplace_back("--force-renderer-accessibility");
  } else {
    environment.emplace_back("ACCESSIBILITY_ENABLED=0");
  }
  argv.push_back(url);
  return std::make_unique<Process>(argv, environment, true);
}

FixtureApp::FixtureApp(const std::string& program, std::vector<std::string> arguments,
                       const std::filesystem::path& reportDir, const std::vector<std::string>& environment)
    : reportPath_(reportDir / ("report-" + std::to_string(::getpid()) + "-" +
                               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))) {
  arguments.insert(arguments.begin(), program);
  arguments.emplace_back("--report");
  arguments.push_back(reportPath_.string());
  process_ = std::make_unique<Process>(std::move(arguments), environment);
}

std::optional<std::string> FixtureApp::report() const {
  std::ifstream in(reportPath_, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::optional<std::string> FixtureApp::waitForReport(const std::string& text,
                                                     std::chrono::milliseconds timeout) const {
  static_cast<void>(waitUntil([&] { return report() == text; }, timeout));
  return report();
}

void FixtureApp::pause() const {
  ::kill(pid(), SIGSTOP);
}
void FixtureApp::resume() const {
  ::kill(pid(), SIGCONT);
}

void pumpEvents() {
  while (g_main_context_iteration(nullptr, FALSE) != FALSE) {
  }
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    pumpEvents();
    if (condition()) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace wrenfold::testing
