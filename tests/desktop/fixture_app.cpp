#include "fixture_app.h"

#include <glib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace wrenfold::testing {

FixtureApp::FixtureApp(const std::string& program, std::vector<std::string> arguments,
                       const std::filesystem::path& reportDir, const std::vector<std::string>& environment)
    : reportPath_(reportDir / ("report-" + std::to_string(::getpid()) + "-" +
                               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))) {
  arguments.insert(arguments.begin(), program);
  arguments.emplace_back("--report");
  arguments.push_back(reportPath_.string());
  std::vector<char*> argv;
  for (auto& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  std::vector<std::string> variables(environment);
  for (char** variable = environ; *variable != nullptr; ++variable) {
    variables.emplace_back(*variable);
  }
  std::vector<char*> envp;
  for (auto& variable : variables) {
    envp.push_back(variable.data());
  }
  envp.push_back(nullptr);
  if (posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
    pid_ = -1;
  }
}

FixtureApp::~FixtureApp() {
  if (pid_ <= 0) {
    return;
  }
  ::kill(pid_, SIGCONT);
  ::kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 50; ++i) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
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
  ::kill(pid_, SIGSTOP);
}
void FixtureApp::resume() const {
  ::kill(pid_, SIGCONT);
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
