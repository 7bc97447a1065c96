// Any argument vector: parsing gives one command; a usage error explains itself, and what is
// taken from the arguments is taken whole.

#include <algorithm>

#include "app/command_line.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wrenfold;
  std::vector<std::string> arguments;
  std::string_view rest = fuzz::text(data, size);
  while (!rest.empty() && arguments.size() < 16) {
    const auto end = rest.find('\0');
    arguments.emplace_back(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  const app::Command command = app::parseCommandLine(arguments);
  if (const auto* error = std::get_if<app::UsageError>(&command)) {
    FUZZ_REQUIRE(!error->message.empty());
  }
  if (const auto* generate = std::get_if<app::GenerateArguments>(&command)) {
    FUZZ_REQUIRE(!arguments.empty() && arguments.front() == "generate");
    if (generate->file) {
      FUZZ_REQUIRE(std::ranges::find(arguments, *generate->file) != arguments.end());
    }
  }
  return 0;
}
