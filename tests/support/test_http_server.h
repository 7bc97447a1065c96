#pragma once

// A loopback HTTP/1.1 server for tests, on 127.0.0.1 with an ephemeral port, plain or HTTPS
// with a certificate authority made at run time. It records every request as it arrived and
// answers canned responses, and it can misbehave on purpose: accept and say nothing, stall,
// or close in the middle of a body.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wrenfold::testing {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct RecordedRequest {
  std::string method;
  std::string target;  // the request target as sent: path, then "?" and the raw query if any
  std::string path;
  std::string query;   // raw, without the "?"; empty when there is none
  HeaderList headers;  // in arrival order, names spelt as sent, values without surrounding blanks
  std::string body;    // the body bytes (de-chunked when sent chunked)

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

  [[nodiscard]] int port() const;
  // "http://127.0.0.1:PORT" or "https://..." followed by `pathAndQuery`.
  [[nodiscard]] std::string url(std::string_view pathAndQuery = "") const;
  // A PEM file holding the CA that signed the server's certificate (HTTPS only; empty otherwise).
  [[nodiscard]] std::string caBundlePath() const;

  // Responses are taken from this queue first, then from the handler; with neither, 500.
  void enqueue(CannedResponse response);
  void setHandler(Handler handler);

  [[nodiscard]] std::vector<RecordedRequest> requests() const;
  // Waits until at least `count` requests were recorded. Returns whether that happened in time.
  [[nodiscard]] bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  [[nodiscard]] std::size_t acceptedConnections() const;
  // Waits until the client closed at least `count` connections while the server was waiting to
  // answer on them (a response's delay). Returns whether that happened in time.
  [[nodiscard]] bool waitForPeerCloses(std::size_t count, std::chrono::milliseconds timeout) const;
  // Completed TLS handshakes, full or resumed.
  [[nodiscard]] std::size_t tlsHandshakes() const;

  // Stops listening, drops every connection and joins the server's threads. Idempotent.
  void stop();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace wrenfold::testing
