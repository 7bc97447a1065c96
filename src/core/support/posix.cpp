#include "core/support/posix.h"

#include <unistd.h>

#include <cstring>

namespace wrenfold::posix {

std::string errnoText(int code) {
  char buffer[256];
  // GNU strerror_r: thread-safe, returns either `buffer` or a static string.
  return strerror_r(code, buffer, sizeof buffer);
}

std::unexpected<Failure> failWith(std::string_view what, const std::filesystem::path& path, int code) {
  return failPlatform(std::string(what) + " " + path.string() + "：" + errnoText(code));
}

int UniqueFd::close() {
  if (fd_ < 0) {
    return 0;
  }
  const int result = ::close(std::exchange(fd_, -1));
  return result == 0 ? 0 : errno;
}

}  // namespace wrenfold::posix
