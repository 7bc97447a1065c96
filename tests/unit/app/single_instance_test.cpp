#include "app/single_instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <thread>

#include "core/platform/run_loop_main_queue.h"
#include "support/temp_dir.h"

namespace wrenfold::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct stat statOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info;
}
mode_t modeOf(const fs::path& path) {
  return statOf(path).st_mode & 07777;
}

// A client socket connected to `path` (-1 when nobody accepts), or one bound there and closed,
// as a crashed instance leaves it (0 when bound).
int socketAt(const fs::path& path, bool leaveBound = false) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const auto* at = reinterpret_cast<const sockaddr*>(&address);
  if (leaveBound) {
    const int bound = ::bind(fd, at, sizeof address);
    ::close(fd);
    return bound;
  }
  if (::connect(fd, at, sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

class SingleInstanceTest : public ::testing::Test {
 protected:
  [[nodiscard]] fs::path socketPath() const { return dir_ / "wrenfold.socket"; }
  [[nodiscard]] SingleInstanceServer::Handler recorder() {
    return [this](RemoteCommand command) {
      received_.push_back(command);
      deliveredOn_.push_back(std::this_thread::get_id());
    };
  }
  [[nodiscard]] bool receive(std::size_t count) {
    return mainQueue_.runUntil([&] { return received_.size() >= count; }, 3s);
  }
  [[nodiscard]] bool send(RemoteCommand command) const {
    return SingleInstanceClient(socketPath()).send(command);
  }

  testing::TempDir dir_;
  RunLoopMainQueue mainQueue_;
  std::vector<RemoteCommand> received_;
  std::vector<std::thread::id> deliveredOn_;
};

TEST_F(SingleInstanceTest, EveryCommandIsAcknowledgedThenDeliveredOnTheMainThreadInOrder) {
  SingleInstanceServer server(mainQueue_, recorder());
  ASSERT_EQ(server.listen(socketPath()), ListenOutcome::listening);
  EXPECT_EQ(modeOf(socketPath()), 0600);

  const std::vector<RemoteCommand> sent = {RemoteCommand::trigger, RemoteCommand::settings,
                                           RemoteCommand::activate};
  for (RemoteCommand command : sent) {
    EXPECT_TRUE(send(command)) << remoteCommandName(command);
  }
  EXPECT_TRUE(received_.empty()) << "the worker must not call the handler itself";
  ASSERT_TRUE(receive(sent.size()));
  EXPECT_EQ(received_, sent);
  for (const auto& thread : deliveredOn_) {
    EXPECT_EQ(thread, std::this_thread::get_id());
  }
}

TEST_F(SingleInstanceTest, NobodyListeningIsNotAcknowledged) {
  EXPECT_FALSE(send(RemoteCommand::trigger)) << "no socket file";
  ASSERT_EQ(socketAt(socketPath(), true), 0);
  EXPECT_FALSE(send(RemoteCommand::trigger)) << "stale socket file";

  std::ostringstream errors;
  EXPECT_EQ(runRemoteCommand(RemoteCommand::settings, SingleInstanceClient(socketPath()), errors), 1);
  EXPECT_EQ(errors.str(), "Wrenfold 没有在运行。\n");
}

TEST_F(SingleInstanceTest, StaleSocketFromACrashIsReplaced) {
  ASSERT_EQ(socketAt(socketPath(), true), 0);
  ::chmod(socketPath().c_str(), 0777);

  SingleInstanceServer server(mainQueue_, recorder());
  ASSERT_EQ(server.listen(socketPath()), ListenOutcome::listening);
  EXPECT_EQ(modeOf(socketPath()), 0600);
  std::ostringstream errors;
  EXPECT_EQ(runRemoteCommand(RemoteCommand::trigger, SingleInstanceClient(socketPath()), errors), 0);
  EXPECT_EQ(errors.str(), "");
  ASSERT_TRUE(receive(1));
}

TEST_F(SingleInstanceTest, SecondInstanceFindsTheFirstAndLeavesItsSocketAlone) {
  auto first = std::make_unique<SingleInstanceServer>(mainQueue_, recorder());
  ASSERT_EQ(first->listen(socketPath()), ListenOutcome::listening);
  const ino_t firstSocket = statOf(socketPath()).st_ino;

  SingleInstanceServer second(mainQueue_, recorder());
  EXPECT_EQ(second.listen(socketPath()), ListenOutcome::anotherInstanceRuns);
  EXPECT_EQ(statOf(socketPath()).st_ino, firstSocket);
  EXPECT_TRUE(send(RemoteCommand::activate));

  first.reset();
  EXPECT_FALSE(fs::exists(fs::symlink_status(socketPath()))) << "a clean exit removes the socket";
  SingleInstanceServer third(mainQueue_, recorder());
  EXPECT_EQ(third.listen(socketPath()), ListenOutcome::listening);
}

TEST_F(SingleInstanceTest, ForeignFileAtTheSocketPathIsNeverDeleted) {
  testing::writeAll(socketPath(), "not a socket");
  SingleInstanceServer server(mainQueue_, recorder());
  const auto outcome = server.listen(socketPath());
  ASSERT_FALSE(outcome.has_value());
  EXPECT_NE(outcome.error().localizedDescription().find(socketPath().string()), std::string::npos);
  EXPECT_EQ(testing::readAll(socketPath()), "not a socket");
}

TEST_F(SingleInstanceTest, CommandsStillQueuedWhenTheServerGoesAwayAreDropped) {
  bool handled = false;
  {
    SingleInstanceServer server(mainQueue_, [&handled](RemoteCommand) { handled = true; });
    ASSERT_EQ(server.listen(socketPath()), ListenOutcome::listening);
    ASSERT_TRUE(send(RemoteCommand::trigger));
  }
  EXPECT_EQ(mainQueue_.drain(), 1u);
  EXPECT_FALSE(handled);
}

TEST_F(SingleInstanceTest, GarbageAndSilentClientsNeitherDeliverNorBlockOthers) {
  SingleInstanceServer server(mainQueue_, recorder());
  ASSERT_EQ(server.listen(socketPath()), ListenOutcome::listening);

  const int garbage = socketAt(socketPath());
  ASSERT_GE(garbage, 0);
  const std::string request = "trigger please\n";
  ASSERT_EQ(::write(garbage, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  char reply[32] = {};
  EXPECT_GT(::read(garbage, reply, sizeof reply - 1), 0);
  EXPECT_STRNE(reply, "ok\n");
  ::close(garbage);

  const int overlong = socketAt(socketPath());  // a line past the cap gets no answer at all
  const std::string longLine = "trigger" + std::string(90, ' ') + "\n";
  ASSERT_EQ(::write(overlong, longLine.data(), longLine.size()), static_cast<ssize_t>(longLine.size()));
  EXPECT_LE(::read(overlong, reply, sizeof reply - 1), 0);
  ::close(overlong);

  const int silent = socketAt(socketPath());
  ASSERT_GE(silent, 0);
  EXPECT_TRUE(send(RemoteCommand::settings)) << "a silent client must not hold up the next one";
  ::close(silent);

  ASSERT_TRUE(receive(1));
  EXPECT_EQ(received_, std::vector{RemoteCommand::settings});
}

TEST(SingleInstanceSocketPath, RuntimeFolderWhenUsableElseAPrivateFolderInTmp) {
  testing::TempDir runtime;
  testing::TempDir tmp;
  const uid_t uid = ::geteuid();
  const fs::path fallback = tmp / ("wrenfold-" + std::to_string(uid)) / "wrenfold.socket";
  fs::path longFolder = runtime.path();
  while (longFolder.native().size() < 110) {
    longFolder /= "deeper-folder";
  }
  fs::create_directories(longFolder);

  const struct {
    std::optional<std::string> xdgRuntimeDir;
    fs::path expected;
  } rows[] = {
      {runtime.path().string(), runtime / "wrenfold.socket"},
      {std::nullopt, fallback},
      {"", fallback},
      {"relative/run", fallback},
      {(runtime / "missing").string(), fallback},
      {longFolder.string(), fallback},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(singleInstanceSocketPath(row.xdgRuntimeDir, uid, tmp.path()), row.expected)
        << row.xdgRuntimeDir.value_or("(unset)");
  }
  EXPECT_EQ(modeOf(fallback.parent_path()), 0700);
}

TEST(SingleInstanceSocketPath, FallbackFolderMustBePrivateAndOurs) {
  testing::TempDir tmp;
  const uid_t uid = ::geteuid();
  const fs::path folder = tmp / ("wrenfold-" + std::to_string(uid));

  fs::create_directory(folder);
  ::chmod(folder.c_str(), 0755);
  EXPECT_TRUE(singleInstanceSocketPath(std::nullopt, uid, tmp.path()).has_value());
  EXPECT_EQ(modeOf(folder), 0700) << "an open folder is made private";

  // Another user's folder (here: one named for a uid that does not own it) is refused.
  const uid_t other = uid + 1;
  fs::create_directory(tmp / ("wrenfold-" + std::to_string(other)));
  EXPECT_FALSE(singleInstanceSocketPath(std::nullopt, other, tmp.path()).has_value());

  // A symbolic link planted under the folder's name is refused, not followed.
  testing::TempDir elsewhere;
  fs::remove(folder);
  fs::create_directory_symlink(elsewhere.path(), folder);
  EXPECT_FALSE(singleInstanceSocketPath(std::nullopt, uid, tmp.path()).has_value());
}

}  // namespace
}  // namespace wrenfold::app
