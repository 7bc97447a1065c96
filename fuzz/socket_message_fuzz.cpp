// Whatever a local process writes to the single-instance socket: the reader gives the first
// line exactly when it ends within the cap, and nothing otherwise.

#include <sys/socket.h>
#include <unistd.h>

#include "app/single_instance.h"
#include "fuzz_check.h"

namespace {

constexpr std::size_t kMaxLine = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wrenfold;
  // Well within a local socket's buffer, so one write takes it all.
  const std::string_view sent = fuzz::text(data, std::min<std::size_t>(size, 4096));
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) {
    return 0;
  }
  const bool written = ::write(ends[0], sent.data(), sent.size()) == static_cast<ssize_t>(sent.size());
  ::shutdown(ends[0], SHUT_WR);
  const auto line = app::readRequestLine(ends[1], std::chrono::steady_clock::now() + std::chrono::seconds(1));
  ::close(ends[0]);
  ::close(ends[1]);
  if (!written) {
    return 0;
  }
  const auto end = sent.find('\n');
  if (end != std::string_view::npos && end <= kMaxLine) {
    FUZZ_REQUIRE(line == std::string(sent.substr(0, end)));
    const auto command = app::remoteCommandNamed(*line);
    FUZZ_REQUIRE(!command || app::remoteCommandName(*command) == *line);
  } else {
    FUZZ_REQUIRE(!line.has_value());
  }
  return 0;
}
