#pragma once

// A loopback HTTP/1.1 server for tests, on 127.0.0.1 with an ephemeral port, plain or HTTPS
// with a certificate authority made at run time. It records every request as it arrived and
// answers canned responses, and it can misbehave on purpose: accept and say nothing, stall,
// or close in the middle of a body.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

struct ssl_ctx_st;  // OpenSSL's SSL_CTX

namespace wrenfold::testing {

struct Channel;
class TempDir;

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct RecordedRequest {
  std::string method;
  std::string target;  // the request target as sent: path, then "?" and the raw query if any
  std::string path;
  std::string query;   // raw, without the "?"; empty when there is none
  HeaderList headers;  // in arrival order, names spelt as sent, values without surrounding blanks
  std::string body;    // the Content-Length bytes (the client never sends a chunked body)

  // The first header of that name, compared without regard to case.
  [[nodiscard]] std::optional<std::string> header(std::string_view name) const;
};

struct CannedResponse {
  int status = 200;
  HeaderList headers;  // Content-Length is added unless given here
  std::string body;
  // Waits this long after reading the request before answering.
  std::chrono::milliseconds delay{0};
  // Announces the whole body, sends only this many bytes of it, then drops the connection.
  std::optional<std::size_t> closeAfterBodyBytes;
  // Sent byte for byte instead of a status line, headers and body; then the connection closes.
  std::optional<std::string> raw;
  // Instead of `body`: pieces sent chunked, each after its pause, then the end of the body
  // unless `streamIsCut` (then the connection is dropped). A client closing during a pause
  // counts as a peer close.
  std::vector<std::pair<std::chrono::milliseconds, std::string>> stream;
  bool streamIsCut = false;
  // With `raw`: sends it one byte at a time, this long apart.
  std::chrono::milliseconds rawByteInterval{0};

  [[nodiscard]] static CannedResponse json(int status, std::string body);
  // A text/event-stream reply sending `events` with `pause` before each.
  [[nodiscard]] static CannedResponse events(std::vector<std::string> events,
                                             std::chrono::milliseconds pause);
  // The same for a recorded stream, cut after each event's blank line (LF or CRLF).
  [[nodiscard]] static CannedResponse events(std::string_view recorded, std::chrono::milliseconds pause);
};

class TestHttpServer {
 public:
  enum class Mode {
    answer,  // read requests and answer them
    silent,  // accept connections, then never read or write a byte (no TLS handshake either)
  };
  struct Options {
    bool tls = false;
    Mode mode = Mode::answer;
    // The names the server's certificate is valid for (subjectAltName syntax).
    std::string certificateNames = "IP:127.0.0.1,DNS:localhost";
  };
  using Handler = std::function<CannedResponse(const RecordedRequest&)>;

  // Listens before returning. Throws std::runtime_error when it cannot.
  explicit TestHttpServer(Options options);
  TestHttpServer() : TestHttpServer(Options{}) {}
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  [[nodiscard]] int port() const { return port_; }
  // "http://127.0.0.1:PORT" or "https://..." followed by `pathAndQuery`.
  [[nodiscard]] std::string url(std::string_view pathAndQuery = "") const {
    return (options_.tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) +
           std::string(pathAndQuery);
  }
  // A PEM file holding the CA that signed the server's certificate (HTTPS only; empty otherwise).
  [[nodiscard]] std::string caBundlePath() const { return caBundlePath_; }

  // Responses are taken from this queue first, then from the handler; with neither, 500.
  void enqueue(CannedResponse response) {
    locked([&] { queue_.push_back(std::move(response)); });
  }
  void setHandler(Handler handler) {
    locked([&] { handler_ = std::move(handler); });
  }

  [[nodiscard]] std::vector<RecordedRequest> requests() const {
    return locked([&] { return recorded_; });
  }
  // Waits until at least `count` requests were recorded. Returns whether that happened in time.
  [[nodiscard]] bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    return waitFor(timeout, [&] { return recorded_.size() >= count; });
  }
  [[nodiscard]] std::size_t acceptedConnections() const {
    return locked([&] { return accepted_; });
  }
  // Waits until the client closed at least `count` connections while the server was waiting to
  // answer on them (a response's delay). Returns whether that happened in time.
  [[nodiscard]] bool waitForPeerCloses(std::size_t count, std::chrono::milliseconds timeout) const {
    return waitFor(timeout, [&] { return peerCloses_ >= count; });
  }
  // Completed TLS handshakes, full or resumed.
  [[nodiscard]] std::size_t tlsHandshakes() const {
    return locked([&] { return handshakes_; });
  }

  // Stops listening, drops every connection and joins the server's threads. Idempotent.
  void stop();

 private:
  template <typename F>
  std::invoke_result_t<F> locked(F f) const {
    std::lock_guard lock(mutex_);
    return f();
  }
  template <typename P>
  bool waitFor(std::chrono::milliseconds timeout, P condition) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, condition);
  }
  void serve(int fd);
  // Answers one response; false when the connection is done with.
  [[nodiscard]] bool deliver(Channel& channel, int fd, const CannedResponse& response);
  [[nodiscard]] CannedResponse responseFor(const RecordedRequest& request);
  // Waits until `delay` passed or the server stops; true when it stops.
  bool waitOrStop(std::chrono::milliseconds delay);
  // The same, also ending (and counting it, true) when the client closes `fd` meanwhile.
  bool waitOrPeerClose(int fd, std::chrono::milliseconds delay);

  const Options options_;
  int port_ = 0;
  std::unique_ptr<TempDir> certificateDir_;
  std::string caBundlePath_;
  std::shared_ptr<ssl_ctx_st> tls_;
  int listenFd_ = -1;
  int wakeFds_[2] = {-1, -1};
  std::thread acceptThread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<CannedResponse> queue_;
  Handler handler_;
  std::vector<RecordedRequest> recorded_;
  std::size_t accepted_ = 0;
  std::size_t handshakes_ = 0;
  std::size_t peerCloses_ = 0;
  bool stopping_ = false;
  std::vector<std::pair<int, std::thread>> connections_;  // descriptor and its thread
};

}  // namespace wrenfold::testing
