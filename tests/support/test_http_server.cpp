#include "support/test_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/temp_dir.h"
#include "support/test_certificates.h"
#include "support/test_http_channel.h"

namespace wrenfold::testing {

namespace {

// Generous bounds; a request beyond them is a broken test, not something to serve.
constexpr std::size_t kMaxHeadBytes = 1u << 20;
constexpr std::size_t kMaxBodyBytes = 256u << 20;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == s.npos) {
    return {};
  }
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// Leading digits of `text` in `base` (chunk extensions and line ends after them are ignored).
std::optional<std::size_t> parseSize(std::string_view text, int base) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end == text.data()) {
    return std::nullopt;
  }
  return value;
}

bool hasHeader(const HeaderList& headers, std::string_view name) {
  return std::ranges::any_of(headers, [name](const auto& h) { return equalsIgnoringCase(h.first, name); });
}

// The bytes of one connection, read on demand; what is left over belongs to the next request.
class Reader {
 public:
  explicit Reader(Channel& channel) : channel_(channel) {}

  // Everything up to and including `delimiter`, or nothing when the stream ends first.
  std::optional<std::string> until(std::string_view delimiter, std::size_t limit) {
    std::size_t searchFrom = 0;
    while (true) {
      const auto at = buffer_.find(delimiter, searchFrom);
      if (at != buffer_.npos) {
        return take(at + delimiter.size());
      }
      searchFrom = buffer_.size() >= delimiter.size() ? buffer_.size() - delimiter.size() + 1 : 0;
      if (buffer_.size() > limit || !more()) {
        return std::nullopt;
      }
    }
  }

  std::optional<std::string> exactly(std::size_t count) {
    while (buffer_.size() < count) {
      if (!more()) {
        return std::nullopt;
      }
    }
    return take(count);
  }

 private:
  bool more() {
    char chunk[16384];
    const std::size_t got = channel_.read(chunk, sizeof chunk);
    buffer_.append(chunk, got);
    return got > 0;
  }

  std::string take(std::size_t count) {
    std::string head = buffer_.substr(0, count);
    buffer_.erase(0, count);
    return head;
  }

  Channel& channel_;
  std::string buffer_;
};

// Request line and header lines of `head` (which ends in the blank line).
bool parseHead(std::string_view head, RecordedRequest& request) {
  const auto lineEnd = head.find("\r\n");
  const std::string_view requestLine = head.substr(0, lineEnd);
  const auto firstSpace = requestLine.find(' ');
  const auto lastSpace = requestLine.rfind(' ');
  if (firstSpace == requestLine.npos || lastSpace == firstSpace) {
    return false;
  }
  request.method = requestLine.substr(0, firstSpace);
  request.target = requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
  const auto question = request.target.find('?');
  request.path = request.target.substr(0, question);
  request.query = question == std::string::npos ? "" : request.target.substr(question + 1);
  std::size_t at = lineEnd + 2;
  while (at < head.size()) {
    const auto end = head.find("\r\n", at);
    const std::string_view line = head.substr(at, end - at);
    at = end + 2;
    if (line.empty()) {
      break;
    }
    const auto colon = line.find(':');
    if (colon == line.npos) {
      return false;
    }
    request.headers.emplace_back(line.substr(0, colon), trimmed(line.substr(colon + 1)));
  }
  return true;
}

std::optional<std::string> readChunkedBody(Reader& reader) {
  std::string body;
  while (true) {
    const auto sizeLine = reader.until("\r\n", kMaxHeadBytes);
    if (!sizeLine) {
      return std::nullopt;
    }
    const auto size = parseSize(*sizeLine, 16);
    if (!size) {
      return std::nullopt;
    }
    if (*size == 0) {
      break;
    }
    if (body.size() + *size > kMaxBodyBytes) {
      return std::nullopt;
    }
    const auto chunk = reader.exactly(*size + 2);
    if (!chunk) {
      return std::nullopt;
    }
    body.append(*chunk, 0, *size);
  }
  while (true) {  // trailer fields, up to the blank line
    const auto line = reader.until("\r\n", kMaxHeadBytes);
    if (!line || *line == "\r\n") {
      return line ? std::optional<std::string>(body) : std::nullopt;
    }
  }
}

std::optional<std::string> readBody(Reader& reader, const RecordedRequest& request) {
  const auto encoding = request.header("Transfer-Encoding");
  if (encoding && equalsIgnoringCase(*encoding, "chunked")) {
    return readChunkedBody(reader);
  }
  const auto length = request.header("Content-Length");
  if (!length) {
    return std::string();
  }
  const auto size = parseSize(*length, 10);
  return size && *size <= kMaxBodyBytes ? reader.exactly(*size) : std::nullopt;
}

std::optional<RecordedRequest> readRequest(Reader& reader, Channel& channel) {
  const auto head = reader.until("\r\n\r\n", kMaxHeadBytes);
  RecordedRequest request;
  if (!head || !parseHead(*head, request)) {
    return std::nullopt;
  }
  const auto expect = request.header("Expect");
  if (expect && equalsIgnoringCase(*expect, "100-continue") &&
      !channel.writeAll("HTTP/1.1 100 Continue\r\n\r\n")) {
    return std::nullopt;
  }
  auto body = readBody(reader, request);
  if (!body) {
    return std::nullopt;
  }
  request.body = std::move(*body);
  return request;
}

std::string responseHead(const CannedResponse& response) {
  // Clients read the code alone; the reason phrase is free text.
  std::string head =
      "HTTP/1.1 " + std::to_string(response.status) + (response.status == 200 ? " OK" : " Status") + "\r\n";
  for (const auto& [name, value] : response.headers) {
    head += name + ": " + value + "\r\n";
  }
  if (!hasHeader(response.headers, "Content-Length") && !hasHeader(response.headers, "Transfer-Encoding")) {
    head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
  }
  return head + "\r\n";
}

void prepareProcessOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Writing to a client that already left must fail the write, not kill the test process.
    std::signal(SIGPIPE, SIG_IGN);
    // Requests to this server must never be handed to a proxy from the environment.
    for (const char* name :
         {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
      unsetenv(name);
    }
  });
}

}  // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
  const auto it =
      std::ranges::find_if(headers, [name](const auto& h) { return equalsIgnoringCase(h.first, name); });
  return it == headers.end() ? std::nullopt : std::optional<std::string>(it->second);
}

CannedResponse CannedResponse::json(int status, std::string body) {
  CannedResponse response;
  response.status = status;
  response.headers = {{"Content-Type", "application/json"}};
  response.body = std::move(body);
  return response;
}

CannedResponse CannedResponse::events(std::vector<std::string> events, std::chrono::milliseconds pause) {
  CannedResponse response;
  response.headers = {{"Content-Type", "text/event-stream"}, {"Transfer-Encoding", "chunked"}};
  for (auto& event : events) {
    response.stream.emplace_back(pause, std::move(event));
  }
  return response;
}

CannedResponse CannedResponse::events(std::string_view recorded, std::chrono::milliseconds pause) {
  std::vector<std::string> pieces;
  for (std::size_t from = 0; from < recorded.size();) {
    const auto crlf = recorded.find("\r\n\r\n", from);
    const auto lf = recorded.find("\n\n", from);
    const auto end = std::min(crlf == std::string::npos ? recorded.size() : crlf + 4,
                              lf == std::string::npos ? recorded.size() : lf + 2);
    pieces.emplace_back(recorded.substr(from, end - from));
    from = end;
  }
  return events(std::move(pieces), pause);
}

class TestHttpServer::Impl {
 public:
  explicit Impl(Options options);
  ~Impl() { stop(); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  void stop();

  const Options options;
  int port = 0;
  std::unique_ptr<TempDir> certificateDir;
  std::string caBundlePath;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::deque<CannedResponse> queue;
  Handler handler;
  std::vector<RecordedRequest> recorded;
  std::size_t accepted = 0;
  std::size_t handshakes = 0;
  std::size_t peerCloses = 0;
  bool stopping = false;

 private:
  struct Connection {
    int fd;
    std::thread thread;
  };

  void listen();
  void acceptLoop();
  void serve(int fd);
  void answer(Channel& channel, int fd);
  [[nodiscard]] bool deliver(Channel& channel, int fd, const CannedResponse& response);
  [[nodiscard]] bool deliverStream(Channel& channel, int fd, const CannedResponse& response);
  CannedResponse responseFor(const RecordedRequest& request);
  // Waits until `delay` passed or the server stops; true when it stops.
  bool waitOrStop(std::chrono::milliseconds delay);
  // The same, also ending (and counting it, true) when the client closes `fd` meanwhile.
  bool waitOrPeerClose(int fd, std::chrono::milliseconds delay);

  std::unique_ptr<ServerTlsContext> tls_;
  int listenFd_ = -1;
  int wakeFds_[2] = {-1, -1};
  std::thread acceptThread_;
  std::vector<Connection> connections_;  // guarded by mutex
};

TestHttpServer::Impl::Impl(Options opts) : options(opts) {
  prepareProcessOnce();
  if (options.tls) {
    const TestCertificates certificates(options.certificateNames);
    tls_ = std::make_unique<ServerTlsContext>(certificates);
    certificateDir = std::make_unique<TempDir>();
    caBundlePath = (*certificateDir / "test-ca.pem").string();
    writeAll(caBundlePath, certificates.caCertificatePem());
  }
  listen();
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

void TestHttpServer::Impl::listen() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  const bool ready = listenFd_ >= 0 && ::pipe2(wakeFds_, O_CLOEXEC) == 0 &&
                     ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     ::listen(listenFd_, 64) == 0 &&
                     ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (!ready) {
    throw std::runtime_error("test server: cannot listen on 127.0.0.1");
  }
  port = ntohs(address.sin_port);
}

void TestHttpServer::Impl::acceptLoop() {
  while (true) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
      return;
    }
    if (fds[1].revents != 0) {
      return;  // stop() was called
    }
    if ((fds[0].revents & POLLIN) == 0) {
      continue;
    }
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      continue;
    }
    // Small writes (TLS tickets, then a response) must not wait out the peer's delayed ACK.
    const int noDelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    std::lock_guard lock(mutex);
    ++accepted;
    connections_.push_back({fd, std::thread([this, fd] { serve(fd); })});
    changed.notify_all();
  }
}

void TestHttpServer::Impl::serve(int fd) {
  if (options.mode == Mode::silent) {
    waitOrStop(std::chrono::hours(24));
    return;
  }
  std::unique_ptr<Channel> channel = tls_ ? tls_->accept(fd) : plainChannel(fd);
  if (!channel) {
    return;
  }
  if (tls_) {
    std::lock_guard lock(mutex);
    ++handshakes;
    changed.notify_all();
  }
  answer(*channel, fd);
  ::shutdown(fd, SHUT_RDWR);  // the descriptor itself is closed by stop(), so its number stays ours
}

void TestHttpServer::Impl::answer(Channel& channel, int fd) {
  Reader reader(channel);
  while (auto request = readRequest(reader, channel)) {
    const auto connectionHeader = request->header("Connection");
    const bool clientCloses = connectionHeader && equalsIgnoringCase(*connectionHeader, "close");
    const CannedResponse response = responseFor(*request);
    if (waitOrPeerClose(fd, response.delay)) {
      return;
    }
    if (!deliver(channel, fd, response) || clientCloses) {
      return;
    }
  }
}

bool TestHttpServer::Impl::deliver(Channel& channel, int fd, const CannedResponse& response) {
  if (response.raw) {
    const bool trickle = response.rawByteInterval.count() > 0;
    for (std::size_t at = 0; trickle && at < response.raw->size(); ++at) {
      if (!channel.writeAll(response.raw->substr(at, 1)) || waitOrPeerClose(fd, response.rawByteInterval)) {
        return false;
      }
    }
    if (!trickle) {
      (void)channel.writeAll(*response.raw);
    }
    channel.closeGracefully();
    return false;
  }
  if (!response.stream.empty()) {
    return deliverStream(channel, fd, response);
  }
  if (response.closeAfterBodyBytes) {
    const std::size_t sent = std::min(*response.closeAfterBodyBytes, response.body.size());
    (void)channel.writeAll(responseHead(response) + response.body.substr(0, sent));
    ::shutdown(fd, SHUT_RDWR);  // dropped, not closed politely: no TLS close_notify
    return false;
  }
  return channel.writeAll(responseHead(response) + response.body);
}

bool TestHttpServer::Impl::deliverStream(Channel& channel, int fd, const CannedResponse& response) {
  if (!channel.writeAll(responseHead(response))) {
    return false;
  }
  for (const auto& [pause, piece] : response.stream) {
    std::ostringstream size;
    size << std::hex << piece.size();
    if (waitOrPeerClose(fd, pause) || !channel.writeAll(size.str() + "\r\n" + piece + "\r\n")) {
      return false;
    }
  }
  if (response.streamIsCut) {
    ::shutdown(fd, SHUT_RDWR);
    return false;
  }
  return channel.writeAll("0\r\n\r\n");
}

CannedResponse TestHttpServer::Impl::responseFor(const RecordedRequest& request) {
  std::unique_lock lock(mutex);
  recorded.push_back(request);
  changed.notify_all();
  if (!queue.empty()) {
    CannedResponse next = std::move(queue.front());
    queue.pop_front();
    return next;
  }
  if (handler) {
    const Handler current = handler;
    lock.unlock();
    return current(request);
  }
  return CannedResponse::json(500, "test server: no canned response");
}

bool TestHttpServer::Impl::waitOrStop(std::chrono::milliseconds delay) {
  std::unique_lock lock(mutex);
  return changed.wait_for(lock, delay, [this] { return stopping; });
}

bool TestHttpServer::Impl::waitOrPeerClose(int fd, std::chrono::milliseconds delay) {
  using Clock = std::chrono::steady_clock;
  constexpr std::chrono::milliseconds kSlice{20};
  const auto end = Clock::now() + delay;
  while (true) {
    pollfd peer{fd, POLLRDHUP, 0};
    if (::poll(&peer, 1, 0) > 0 && (peer.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) {
      std::lock_guard lock(mutex);
      ++peerCloses;
      changed.notify_all();
      return true;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
    if (left <= std::chrono::milliseconds{0}) {
      return false;
    }
    if (waitOrStop(std::min(left, kSlice))) {
      return true;
    }
  }
}

void TestHttpServer::Impl::stop() {
  {
    std::lock_guard lock(mutex);
    if (stopping) {
      return;
    }
    stopping = true;
  }
  changed.notify_all();
  if (wakeFds_[1] >= 0) {
    (void)::write(wakeFds_[1], "x", 1);
  }
  if (acceptThread_.joinable()) {
    acceptThread_.join();
  }
  std::vector<Connection> connections;
  {
    std::lock_guard lock(mutex);
    connections.swap(connections_);
  }
  for (auto& connection : connections) {
    ::shutdown(connection.fd, SHUT_RDWR);  // wakes a thread blocked in a read
  }
  for (auto& connection : connections) {
    connection.thread.join();
    ::close(connection.fd);
  }
  for (const int fd : {listenFd_, wakeFds_[0], wakeFds_[1]}) {
    if (fd >= 0) {
      ::close(fd);
    }
  }
  listenFd_ = wakeFds_[0] = wakeFds_[1] = -1;
}

TestHttpServer::TestHttpServer(Options options) : impl_(std::make_unique<Impl>(options)) {}

TestHttpServer::~TestHttpServer() = default;

int TestHttpServer::port() const {
  return impl_->port;
}

std::string TestHttpServer::url(std::string_view pathAndQuery) const {
  return std::string(impl_->options.tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(impl_->port) +
         std::string(pathAndQuery);
}

std::string TestHttpServer::caBundlePath() const {
  return impl_->caBundlePath;
}

void TestHttpServer::enqueue(CannedResponse response) {
  std::lock_guard lock(impl_->mutex);
  impl_->queue.push_back(std::move(response));
}

void TestHttpServer::setHandler(Handler handler) {
  std::lock_guard lock(impl_->mutex);
  impl_->handler = std::move(handler);
}

std::vector<RecordedRequest> TestHttpServer::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->recorded;
}

bool TestHttpServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->recorded.size() >= count; });
}

std::size_t TestHttpServer::acceptedConnections() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->accepted;
}

bool TestHttpServer::waitForPeerCloses(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->peerCloses >= count; });
}

std::size_t TestHttpServer::tlsHandshakes() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->handshakes;
}

void TestHttpServer::stop() {
  impl_->stop();
}

}  // namespace wrenfold::testing
