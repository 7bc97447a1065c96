#include "support/test_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "support/temp_dir.h"
#include "support/test_certificates.h"

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

bool hasHeader(const HeaderList& headers, std::string_view name) {
  return std::ranges::any_of(headers, [name](const auto& h) { return equalsIgnoringCase(h.first, name); });
}

}  // namespace

// The byte stream of one accepted connection: plain TCP, or TLS over it when `ssl` is set. The
// descriptor stays the server's.
struct Channel {
  explicit Channel(int socket) : fd(socket) {}
  ~Channel() { SSL_free(ssl); }
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // Bytes read into `buffer`; 0 at the end of the stream or on any error.
  std::size_t read(char* buffer, std::size_t size) {
    const auto chunk = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
    const long got = ssl != nullptr ? SSL_read(ssl, buffer, chunk) : ::recv(fd, buffer, size, 0);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }
  bool writeAll(std::string_view bytes) {
    while (!bytes.empty()) {
      const auto chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX));
      const long sent = ssl != nullptr ? SSL_write(ssl, bytes.data(), chunk)
                                       : ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) {
        return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }
  // Ends the stream orderly (TLS close_notify); a dropped connection skips this.
  void closeGracefully() {
    if (ssl != nullptr) {
      SSL_shutdown(ssl);
    }
  }

  int fd;
  SSL* ssl = nullptr;
};

namespace {

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

std::optional<RecordedRequest> readRequest(Reader& reader) {
  const auto head = reader.until("\r\n\r\n", kMaxHeadBytes);
  RecordedRequest request;
  if (!head || !parseHead(*head, request)) {
    return std::nullopt;
  }
  const std::string length = request.header("Content-Length").value_or("0");
  std::size_t size = 0;
  const bool sized = std::from_chars(length.data(), length.data() + length.size(), size).ec == std::errc();
  auto body = sized && size <= kMaxBodyBytes ? reader.exactly(size) : std::nullopt;
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

TestHttpServer::TestHttpServer(Options options) : options_(std::move(options)) {
  prepareProcessOnce();
  if (options_.tls) {
    const TestCertificates certificates(options_.certificateNames);
    tls_ = certificates.serverContext();
    certificateDir_ = std::make_unique<TempDir>();
    caBundlePath_ = (*certificateDir_ / "test-ca.pem").string();
    writeAll(caBundlePath_, certificates.caCertificatePem());
  }
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool ready = listenFd_ >= 0 && ::pipe2(wakeFds_, O_CLOEXEC) == 0 &&
                     ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     ::listen(listenFd_, 64) == 0 &&
                     ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (!ready) {
    throw std::runtime_error("test server: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  acceptThread_ = std::thread([this] {
    while (true) {
      pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
      if ((::poll(fds, 2, -1) < 0 && errno != EINTR) || fds[1].revents != 0) {
        return;  // stop() was called
      }
      const int fd =
          (fds[0].revents & POLLIN) != 0 ? ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
      if (fd < 0) {
        continue;
      }
      // Small writes (TLS tickets, then a response) must not wait out the peer's delayed ACK.
      const int noDelay = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
      std::lock_guard lock(mutex_);
      ++accepted_;
      connections_.emplace_back(fd, std::thread([this, fd] { serve(fd); }));
      changed_.notify_all();
    }
  });
}

TestHttpServer::~TestHttpServer() {
  stop();
}

void TestHttpServer::serve(int fd) {
  if (options_.mode == Mode::silent) {
    waitOrStop(std::chrono::hours(24));
    return;
  }
  Channel channel(fd);
  if (tls_) {
    channel.ssl = SSL_new(tls_.get());
    if (channel.ssl == nullptr || SSL_set_fd(channel.ssl, fd) != 1 || SSL_accept(channel.ssl) != 1) {
      ERR_clear_error();
      return;
    }
    locked([&] { ++handshakes_; });
    changed_.notify_all();
  }
  Reader reader(channel);
  while (auto request = readRequest(reader)) {
    const auto connectionHeader = request->header("Connection");
    const bool clientCloses = connectionHeader && equalsIgnoringCase(*connectionHeader, "close");
    const CannedResponse response = responseFor(*request);
    if (waitOrPeerClose(fd, response.delay) || !deliver(channel, fd, response) || clientCloses) {
      break;
    }
  }
  ::shutdown(fd, SHUT_RDWR);  // the descriptor itself is closed by stop(), so its number stays ours
}

bool TestHttpServer::deliver(Channel& channel, int fd, const CannedResponse& response) {
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
  if (response.stream.empty() && !response.closeAfterBodyBytes) {
    return channel.writeAll(responseHead(response) + response.body);
  }
  if (response.closeAfterBodyBytes) {
    const std::size_t sent = std::min(*response.closeAfterBodyBytes, response.body.size());
    (void)channel.writeAll(responseHead(response) + response.body.substr(0, sent));
    ::shutdown(fd, SHUT_RDWR);  // dropped, not closed politely: no TLS close_notify
    return false;
  }
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

CannedResponse TestHttpServer::responseFor(const RecordedRequest& request) {
  std::unique_lock lock(mutex_);
  recorded_.push_back(request);
  changed_.notify_all();
  if (!queue_.empty()) {
    CannedResponse next = std::move(queue_.front());
    queue_.pop_front();
    return next;
  }
  if (handler_) {
    const Handler current = handler_;
    lock.unlock();
    return current(request);
  }
  return CannedResponse::json(500, "test server: no canned response");
}

bool TestHttpServer::waitOrStop(std::chrono::milliseconds delay) {
  return waitFor(delay, [this] { return stopping_; });
}

bool TestHttpServer::waitOrPeerClose(int fd, std::chrono::milliseconds delay) {
  const auto end = std::chrono::steady_clock::now() + delay;
  while (true) {
    pollfd peer{fd, POLLRDHUP, 0};
    if (::poll(&peer, 1, 0) > 0 && (peer.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) {
      locked([&] { ++peerCloses_; });
      changed_.notify_all();
      return true;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left <= std::chrono::milliseconds{0}) {
      return false;
    }
    if (waitOrStop(std::min(left, std::chrono::milliseconds{20}))) {
      return true;
    }
  }
}

void TestHttpServer::stop() {
  if (locked([&] { return std::exchange(stopping_, true); })) {
    return;
  }
  changed_.notify_all();
  if (wakeFds_[1] >= 0) {
    (void)::write(wakeFds_[1], "x", 1);
  }
  if (acceptThread_.joinable()) {
    acceptThread_.join();
  }
  // The accept thread is gone: nothing adds connections any more.
  for (auto& [fd, thread] : connections_) {
    ::shutdown(fd, SHUT_RDWR);  // wakes a thread blocked in a read
  }
  for (auto& [fd, thread] : connections_) {
    thread.join();
    ::close(fd);
  }
  connections_.clear();
  for (const int fd : {listenFd_, wakeFds_[0], wakeFds_[1]}) {
    if (fd >= 0) {
      ::close(fd);
    }
  }
  listenFd_ = wakeFds_[0] = wakeFds_[1] = -1;
}

}  // namespace wrenfold::testing
