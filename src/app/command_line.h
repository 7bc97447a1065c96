#pragma once

// The `wrenfold` command line: which subcommand runs and with what.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/single_instance.h"

namespace wrenfold::app {

struct RunApplication {};  // no arguments: the tray application
struct ShowHelp {};
struct ShowVersion {};
struct GenerateArguments {
  std::string instruction{};
  std::optional<std::string> templateID{};
  bool json = false;
  std::optional<std::string> file{};  // absent or "-": standard input
};
// `wrenfold trigger` / `wrenfold settings`: handed to the running instance.
struct RemoteRequest {
  RemoteCommand command;
};
struct UsageError {
  std::string message;
};

using Command =
    std::variant<RunApplication, ShowHelp, ShowVersion, GenerateArguments, RemoteRequest, UsageError>;

// `arguments` excludes the program name.
[[nodiscard]] Command parseCommandLine(const std::vector<std::string>& arguments);

[[nodiscard]] std::string usageText();

}  // namespace wrenfold::app
