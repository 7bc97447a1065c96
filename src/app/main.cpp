#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/generate_command.h"
#include "core/support/app_paths.h"

namespace {

int run(const wrenfold::app::Command& command) {
  using namespace wrenfold::app;
  if (std::holds_alternative<ShowHelp>(command)) {
    std::cout << usageText();
    return kExitSuccess;
  }
  if (std::holds_alternative<ShowVersion>(command)) {
    std::cout << "wrenfold " << WRENFOLD_VERSION << "\n";
    return kExitSuccess;
  }
  if (const auto* error = std::get_if<UsageError>(&command)) {
    std::cerr << "wrenfold: " << error->message << "\n\n" << usageText();
    return kExitUsage;
  }
  if (const auto* arguments = std::get_if<GenerateArguments>(&command)) {
    GenerateEnvironment environment{
        wrenfold::AppPaths::fromEnvironment(), std::cin, std::cout, std::cerr, wrenfold::makeSyslog(), {}};
    return runGenerate(*arguments, environment);
  }
  // The tray application is not part of this build yet.
  std::cerr << "wrenfold: 桌面应用尚未包含在此版本中。\n\n" << usageText();
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return run(wrenfold::app::parseCommandLine(arguments));
}
