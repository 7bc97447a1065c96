#pragma once

// The few POSIX helpers the files and sockets share: an owned descriptor and failures that
// name the file and the system's reason.

#include <cerrno>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

#include "core/support/failure.h"

namespace wrenfold::posix {

// The system's text for an errno value.
[[nodiscard]] std::string errnoText(int code);

// A platform failure "`what` `path`：reason".
[[nodiscard]] std::unexpected<Failure> failWith(std::string_view what, const std::filesystem::path& path,
                                                int code);

// Closes the descriptor on every path; close() is called explicitly where its result matters.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() { static_cast<void>(close()); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&&) = delete;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] bool valid() const { return fd_ >= 0; }
  // Returns 0 or the errno of the failed close; a closed descriptor closes to 0.
  [[nodiscard]] int close();

 private:
  int fd_;
};

}  // namespace wrenfold::posix
