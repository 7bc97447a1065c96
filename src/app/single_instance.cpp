#include "app/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <thread>
#include <utility>

#include "core/support/posix.h"

namespace wrenfold::app {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr std::string_view kSocketName = "wrenfold.socket";
constexpr std::string_view kAcknowledgement = "ok";
constexpr std::string_view kRefusal = "unknown";
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kSocketMode = 0600;
// Longest request line we read; every command name is far shorter.
constexpr std::size_t kMaxLineBytes = 64;
// How long the server waits for one client's line: a client that connects and says nothing
// must not hold up the next one for long.
constexpr std::chrono::milliseconds kClientLineTimeout{500};
// Pause after a failed accept (out of descriptors) so the worker does not spin.
constexpr int kAcceptBackoffMilliseconds = 100;
constexpr int kExitAcknowledged = 0;
constexpr int kExitNotRunning = 1;

constexpr std::array<std::pair<RemoteCommand, std::string_view>, 3> kCommandNames{{
    {RemoteCommand::trigger, "trigger"},
    {RemoteCommand::settings, "settings"},
    {RemoteCommand::activate, "activate"},
}};

using posix::failWith;
using posix::UniqueFd;

struct SocketAddress {
  sockaddr_un address{};
  socklen_t length = 0;
  [[nodiscard]] const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address); }
};

// Absent when the path does not fit into a socket address.
std::optional<SocketAddress> socketAddress(const fs::path& path) {
  SocketAddress out;
  const std::string& text = path.native();
  if (text.empty() || text.size() >= sizeof out.address.sun_path) {
    return std::nullopt;
  }
  out.address.sun_family = AF_UNIX;
  std::memcpy(out.address.sun_path, text.data(), text.size());
  out.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + text.size() + 1);
  return out;
}

UniqueFd newStreamSocket() {
  return UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
}

enum class Probe { accepted, refused, absent, busy, failed };

struct Connection {
  Probe probe;
  UniqueFd fd;
  int error = 0;
};

// A non-blocking connect: a local stream socket either joins the listener's queue at once,
// is refused (a socket file nobody listens on), or finds the queue full (busy).
Connection connectTo(const fs::path& path) {
  const auto address = socketAddress(path);
  if (!address) {
    return {Probe::failed, UniqueFd(), ENAMETOOLONG};
  }
  UniqueFd fd = newStreamSocket();
  if (!fd.valid()) {
    return {Probe::failed, UniqueFd(), errno};
  }
  if (::connect(fd.get(), address->get(), address->length) == 0) {
    return {Probe::accepted, std::move(fd)};
  }
  const int code = errno;
  switch (code) {
    case ECONNREFUSED:
      return {Probe::refused, UniqueFd(), code};
    case ENOENT:
      return {Probe::absent, UniqueFd(), code};
    case EAGAIN:
      return {Probe::busy, UniqueFd(), code};
    default:
      return {Probe::failed, UniqueFd(), code};
  }
}

// Waits until `fd` is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, SteadyClock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) {
      return false;
    }
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
    if (ready > 0) {
      return true;
    }
    if (ready < 0 && errno != EINTR) {
      return false;
    }
  }
}

bool writeAll(int fd, std::string_view bytes, SteadyClock::time_point deadline) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    } else if (errno == EAGAIN) {
      if (!waitFor(fd, POLLOUT, deadline)) {
        return false;
      }
    } else if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

bool fromSameUser(int fd) {
  ucred peer{};
  socklen_t length = sizeof peer;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == ::geteuid();
}

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    return std::nullopt;
  }
  return FileIdentity{info.st_dev, info.st_ino};
}

// Held while one process checks for a live instance and takes over the socket, so two
// instances starting together cannot both decide the socket is stale.
Result<UniqueFd> lockBeside(const fs::path& socketPath) {
  fs::path lockPath = socketPath;
  lockPath += ".lock";
  UniqueFd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kSocketMode));
  if (!fd.valid()) {
    return failWith("无法打开锁文件", lockPath, errno);
  }
  while (::flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) {
      return failWith("无法锁定", lockPath, errno);
    }
  }
  return fd;
}

// Removes a socket file nobody accepts on; anything else at that path is left alone.
Result<void> removeStaleSocket(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    return errno == ENOENT ? Result<void>() : failWith("无法检查", path, errno);
  }
  if (!S_ISSOCK(info.st_mode)) {
    return failPlatform("本机通信套接字的位置被其他文件占用：" + path.string());
  }
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    return failWith("无法删除失效的套接字", path, errno);
  }
  return {};
}

// Binds `fd` at `path` with mode 0600 and starts listening. The file is removed again when a
// later step fails. Nobody can connect before listen(), so the mode is right before anyone can.
Result<void> bindPrivately(int fd, const fs::path& path, const SocketAddress& address) {
  if (::bind(fd, address.get(), address.length) != 0) {
    return failWith("无法创建本机通信套接字", path, errno);
  }
  if (::chmod(path.c_str(), kSocketMode) != 0 || ::listen(fd, SOMAXCONN) != 0) {
    const int code = errno;
    ::unlink(path.c_str());
    return failWith("无法监听本机通信套接字", path, code);
  }
  return {};
}

Result<void> ensurePrivateFolder(const fs::path& folder, uid_t uid) {
  if (::mkdir(folder.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST) {
    return failWith("无法创建运行目录", folder, errno);
  }
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) {
    return failWith("无法检查运行目录", folder, errno);
  }
  if (!S_ISDIR(info.st_mode)) {
    return failPlatform("运行目录不是文件夹：" + folder.string());
  }
  if (info.st_uid != uid) {
    return failPlatform("运行目录属于其他用户：" + folder.string());
  }
  if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), kPrivateFolderMode) != 0) {
    return failWith("无法设置运行目录的权限", folder, errno);
  }
  return {};
}

std::optional<fs::path> runtimeDirSocket(const std::optional<std::string>& xdgRuntimeDir) {
  if (!xdgRuntimeDir || xdgRuntimeDir->empty()) {
    return std::nullopt;
  }
  const fs::path folder(*xdgRuntimeDir);
  std::error_code error;
  if (!folder.is_absolute() || !fs::is_directory(folder, error)) {
    return std::nullopt;
  }
  fs::path socket = folder / kSocketName;
  return socketAddress(socket) ? std::optional(socket) : std::nullopt;
}

std::optional<std::string> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace

std::optional<std::string> readRequestLine(int fd, SteadyClock::time_point deadline) {
  std::string line;
  std::array<char, kMaxLineBytes> buffer{};
  for (;;) {
    const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (got > 0) {
      line.append(buffer.data(), static_cast<std::size_t>(got));
      const auto end = line.find('\n');
      if (std::min(end, line.size()) > kMaxLineBytes) {
        return std::nullopt;  // also a line feed that came after the cap, in a later block
      }
      if (end != std::string::npos) {
        line.resize(end);
        return line;
      }
    } else if (got == 0) {
      return std::nullopt;
    } else if (errno == EAGAIN) {
      if (!waitFor(fd, POLLIN, deadline)) {
        return std::nullopt;
      }
    } else if (errno != EINTR) {
      return std::nullopt;
    }
  }
}

std::string_view remoteCommandName(RemoteCommand command) {
  for (const auto& [value, name] : kCommandNames) {
    if (value == command) {
      return name;
    }
  }
  return {};
}

std::optional<RemoteCommand> remoteCommandNamed(std::string_view name) {
  for (const auto& [value, known] : kCommandNames) {
    if (known == name) {
      return value;
    }
  }
  return std::nullopt;
}

Result<fs::path> singleInstanceSocketPath(const std::optional<std::string>& xdgRuntimeDir, uid_t uid,
                                          const fs::path& tmpRoot) {
  if (auto socket = runtimeDirSocket(xdgRuntimeDir)) {
    return *socket;
  }
  const fs::path folder = tmpRoot / ("wrenfold-" + std::to_string(uid));
  const fs::path socket = folder / kSocketName;
  if (!socketAddress(socket)) {
    return failPlatform("本机通信套接字的路径过长：" + socket.string());
  }
  if (auto made = ensurePrivateFolder(folder, uid); !made) {
    return fail(made.error());
  }
  return socket;
}

Result<fs::path> singleInstanceSocketPath() {
  return singleInstanceSocketPath(environmentValue("XDG_RUNTIME_DIR"), ::geteuid());
}

// The worker: accepts, reads one line per connection, answers, and hands accepted commands on.
class SingleInstanceServer::Listener {
 public:
  using Deliver = std::function<void(RemoteCommand)>;

  Listener(UniqueFd socket, UniqueFd wake, fs::path path, Deliver deliver)
      : socket_(std::move(socket)),
        wake_(std::move(wake)),
        path_(std::move(path)),
        identity_(identityOf(path_)),
        deliver_(std::move(deliver)),
        worker_([this] { run(); }) {}

  ~Listener() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t woke = ::write(wake_.get(), &one, sizeof one);
    worker_.join();
    // Only while the file is still our socket: never remove one another instance made since.
    if (identity_ && identityOf(path_) == identity_) {
      ::unlink(path_.c_str());
    }
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

 private:
  void run() {
    std::array<pollfd, 2> watched{{{socket_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}}};
    for (;;) {
      watched[0].revents = watched[1].revents = 0;
      if (::poll(watched.data(), watched.size(), -1) < 0) {
        if (errno == EINTR) {
          continue;
        }
        return;
      }
      if (watched[1].revents != 0) {
        return;
      }
      if (watched[0].revents != 0) {
        acceptOne();
      }
    }
  }

  void acceptOne() {
    UniqueFd client(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (client.valid()) {
      serve(client.get());
    } else if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED) {
      pollfd wake{wake_.get(), POLLIN, 0};
      ::poll(&wake, 1, kAcceptBackoffMilliseconds);
    }
  }

  void serve(int client) {
    if (!fromSameUser(client)) {
      return;
    }
    const auto deadline = SteadyClock::now() + kClientLineTimeout;
    const auto line = readRequestLine(client, deadline);
    if (!line) {
      return;
    }
    const auto command = remoteCommandNamed(*line);
    if (command) {
      deliver_(*command);
    }
    const std::string reply = std::string(command ? kAcknowledgement : kRefusal) + "\n";
    [[maybe_unused]] const bool answered = writeAll(client, reply, deadline);
  }

  UniqueFd socket_;
  UniqueFd wake_;
  fs::path path_;
  std::optional<FileIdentity> identity_;
  Deliver deliver_;
  std::thread worker_;  // last: starts once everything it uses exists
};

SingleInstanceServer::SingleInstanceServer(MainQueue& mainQueue, Handler handler)
    : mainQueue_(mainQueue), handler_(std::make_shared<Handler>(std::move(handler))) {}

SingleInstanceServer::~SingleInstanceServer() = default;

Result<ListenOutcome> SingleInstanceServer::listen(const fs::path& socketPath) {
  if (listener_) {
    return failPlatform("本机通信套接字已在监听：" + socketPath.string());
  }
  const auto address = socketAddress(socketPath);
  if (!address) {
    return failPlatform("本机通信套接字的路径过长：" + socketPath.string());
  }
  auto lock = lockBeside(socketPath);
  if (!lock) {
    return fail(lock.error());
  }
  const Connection probe = connectTo(socketPath);
  if (probe.probe == Probe::accepted || probe.probe == Probe::busy) {
    return ListenOutcome::anotherInstanceRuns;
  }
  if (probe.probe == Probe::failed) {
    return failWith("无法连接本机通信套接字", socketPath, probe.error);
  }
  if (probe.probe == Probe::refused) {
    if (auto removed = removeStaleSocket(socketPath); !removed) {
      return fail(removed.error());
    }
  }
  UniqueFd socket = newStreamSocket();
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!socket.valid() || !wake.valid()) {
    return failWith("无法创建本机通信套接字", socketPath, errno);
  }
  if (auto bound = bindPrivately(socket.get(), socketPath, *address); !bound) {
    return fail(bound.error());
  }
  auto deliver = [&queue = mainQueue_, handler = std::weak_ptr<Handler>(handler_)](RemoteCommand command) {
    queue.post([handler, command] {
      if (const auto alive = handler.lock()) {
        (*alive)(command);
      }
    });
  };
  listener_ = std::make_unique<Listener>(std::move(socket), std::move(wake), socketPath, std::move(deliver));
  return ListenOutcome::listening;
}

SingleInstanceClient::SingleInstanceClient(fs::path socketPath, std::chrono::milliseconds timeout)
    : socketPath_(std::move(socketPath)), timeout_(timeout) {}

bool SingleInstanceClient::send(RemoteCommand command) const {
  const auto deadline = SteadyClock::now() + timeout_;
  const Connection connection = connectTo(socketPath_);
  if (connection.probe != Probe::accepted) {
    return false;
  }
  const std::string request = std::string(remoteCommandName(command)) + "\n";
  if (!writeAll(connection.fd.get(), request, deadline)) {
    return false;
  }
  return readRequestLine(connection.fd.get(), deadline) == kAcknowledgement;
}

int runRemoteCommand(RemoteCommand command, const SingleInstanceClient& client, std::ostream& errors) {
  if (client.send(command)) {
    return kExitAcknowledged;
  }
  errors << kNotRunningMessage << "\n";
  return kExitNotRunning;
}

}  // namespace wrenfold::app
