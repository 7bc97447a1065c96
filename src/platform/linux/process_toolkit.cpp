#include "platform/linux/process_toolkit.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "core/text/text.h"

namespace wrenfold {
namespace {

std::optional<std::string> readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

std::optional<std::string> executableName(const std::filesystem::path& proc) {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink(proc / "exe", ec);
  if (!ec && !exe.filename().empty()) {
    return exe.filename().string();
  }
  auto comm = readFile(proc / "comm");
  if (comm && !comm->empty() && comm->back() == '\n') {
    comm->pop_back();
  }
  return comm;
}

}  // namespace

bool loadsQt5Gui(std::int32_t processID) {
  std::ifstream maps("/proc/" + std::to_string(processID) + "/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find("/libQt5Gui.so") != std::string::npos) {
      return true;
    }
  }
  return false;
}

WindowFacts processFacts(std::int32_t processID) {
  const std::filesystem::path proc = "/proc/" + std::to_string(processID);
  WindowFacts facts;
  const auto info = readFile(proc / "root/.flatpak-info");
  facts.flatpakID = info ? flatpakIDFromInfo(*info) : std::nullopt;
  if (auto executable = executableName(proc)) {
    facts.executable = text::repairUtf8(*executable);
  }
  return facts;
}

}  // namespace wrenfold
