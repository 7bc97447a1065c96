#pragma once

// The byte stream of one accepted connection of the test server: plain TCP or TLS over it.

#include <cstddef>
#include <memory>
#include <string_view>

using SSL_CTX = struct ssl_ctx_st;

namespace wrenfold::testing {

class TestCertificates;

class Channel {
 public:
  virtual ~Channel() = default;
  // Bytes read into `buffer`; 0 at the end of the stream or on any error.
  [[nodiscard]] virtual std::size_t read(char* buffer, std::size_t size) = 0;
  [[nodiscard]] virtual bool writeAll(std::string_view bytes) = 0;
  // Ends the stream orderly (TLS close_notify); a dropped connection skips this.
  virtual void closeGracefully() {}
};

// The server side of TLS: the certificate and key of `certificates`, loaded once.
class ServerTlsContext {
 public:
  explicit ServerTlsContext(const TestCertificates& certificates);  // throws std::runtime_error
  ~ServerTlsContext();
  ServerTlsContext(const ServerTlsContext&) = delete;
  ServerTlsContext& operator=(const ServerTlsContext&) = delete;

  // Performs the handshake on `fd`; null when it fails. The channel does not own `fd`.
  [[nodiscard]] std::unique_ptr<Channel> accept(int fd) const;

 private:
  SSL_CTX* context_ = nullptr;
};

// Plain TCP on `fd`, which the channel does not own.
[[nodiscard]] std::unique_ptr<Channel> plainChannel(int fd);

}  // namespace wrenfold::testing
