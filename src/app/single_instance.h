#pragma once

// One Wrenfold per user session. The running application listens on a local socket in the
// user's runtime folder; a second `wrenfold`, `wrenfold trigger` and `wrenfold settings` hand
// their request to it over that socket and exit.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/platform/main_queue.h"
#include "core/support/failure.h"

namespace wrenfold::app {

// What another process may ask of the running instance. The wire text is the name.
enum class RemoteCommand { trigger, settings, activate };

[[nodiscard]] std::string_view remoteCommandName(RemoteCommand command);
[[nodiscard]] std::optional<RemoteCommand> remoteCommandNamed(std::string_view name);

// One line from a connected non-blocking socket, without its line feed. Absent on end of
// stream, error, the deadline, or more than 64 bytes before the line feed.
[[nodiscard]] std::optional<std::string> readRequestLine(int fd,
                                                         std::chrono::steady_clock::time_point deadline);

// Where the socket lives: "$XDG_RUNTIME_DIR/wrenfold.socket" when the variable names an
// absolute, existing folder, else "<tmpRoot>/wrenfold-<uid>/wrenfold.socket" in a private
// folder this call creates (0700) or checks (ours, a real folder, not open to others).
// Fails when the fallback folder belongs to someone else or cannot be made private.
[[nodiscard]] Result<std::filesystem::path> singleInstanceSocketPath(
    const std::optional<std::string>& xdgRuntimeDir, uid_t uid,
    const std::filesystem::path& tmpRoot = "/tmp");
// The same for this process: its environment and its user.
[[nodiscard]] Result<std::filesystem::path> singleInstanceSocketPath();

enum class ListenOutcome { listening, anotherInstanceRuns };

// The running instance's side. Accepts connections on a worker thread, answers each one there,
// and hands every accepted command to `handler` on the main thread through `mainQueue`.
// Create, use and destroy it on the main thread; `mainQueue` must outlive it. Commands still
// queued when it goes away are dropped.
class SingleInstanceServer {
 public:
  using Handler = std::function<void(RemoteCommand)>;

  SingleInstanceServer(MainQueue& mainQueue, Handler handler);
  ~SingleInstanceServer();
  SingleInstanceServer(const SingleInstanceServer&) = delete;
  SingleInstanceServer& operator=(const SingleInstanceServer&) = delete;

  // Starts listening at `socketPath` (0600). A socket left by a crashed instance (nobody
  // accepts on it) is replaced; a live one yields `anotherInstanceRuns` and is left alone.
  // Fails with a Chinese description when the socket cannot be made; call at most once.
  [[nodiscard]] Result<ListenOutcome> listen(const std::filesystem::path& socketPath);

 private:
  class Listener;
  MainQueue& mainQueue_;
  std::shared_ptr<Handler> handler_;  // queued deliveries hold it weakly
  std::unique_ptr<Listener> listener_;
};

// A second process's side.
class SingleInstanceClient {
 public:
  static constexpr std::chrono::milliseconds kDefaultTimeout{2000};

  explicit SingleInstanceClient(std::filesystem::path socketPath,
                                std::chrono::milliseconds timeout = kDefaultTimeout);

  // Whether a running instance acknowledged `command` within the timeout. False when nobody
  // listens, the answer is not an acknowledgement, or it does not come in time.
  [[nodiscard]] bool send(RemoteCommand command) const;

 private:
  std::filesystem::path socketPath_;
  std::chrono::milliseconds timeout_;
};

inline constexpr std::string_view kNotRunningMessage = "Wrenfold 没有在运行。";
inline constexpr std::string_view kAlreadyRunningMessage = "Wrenfold 已在运行。";

// `wrenfold trigger` / `wrenfold settings`: 0 once the running instance acknowledged the
// command, else 1 with kNotRunningMessage on `errors`.
[[nodiscard]] int runRemoteCommand(RemoteCommand command, const SingleInstanceClient& client,
                                   std::ostream& errors);

}  // namespace wrenfold::app
