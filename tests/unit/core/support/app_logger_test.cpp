#include "core/support/app_logger.h"

#include <unistd.h>

#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "core/support/json.h"
#include "core/support/time.h"
#include "fakes/fake_system_log.h"
#include "support/temp_dir.h"

namespace wrenfold {
namespace {

namespace fs = std::filesystem;
using testing::readAll;
using testing::RecordingSystemLog;
using testing::TempDir;

constexpr timefmt::SystemTime kReference{std::chrono::seconds(1796446116)};
constexpr const char* kStamp = "2026-12-05T04:48:36Z";

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    result.push_back(line);
  }
  return result;
}

class AppLoggerTest : public ::testing::Test {
 protected:
  TempDir dir;
  AppPaths paths{dir / "Wrenfold"};
  std::shared_ptr<RecordingSystemLog> systemLog = std::make_shared<RecordingSystemLog>();
  AppLogger logger{paths, systemLog, [] { return kReference; }};
};

TEST_F(AppLoggerTest, FirstEventOnAFreshSystemWritesOneLineReplacingReservedFields) {
  logger.event("insert.success",
               {{"app", "org.gnome.gedit"}, {"event", "spoofed"}, {"createdAt", "then"}, {"bad", "\xC3"}});
  logger.flush();
  const std::string content = readAll(paths.localEventsURL());
  ASSERT_TRUE(content.ends_with("\n"));
  ASSERT_EQ(lines(content).size(), 1u);
  EXPECT_EQ(content.find(": "), std::string::npos) << "compact form expected: " << content;
  const auto object = json::parse(content).value();
  EXPECT_EQ(object, json::Json({{"app", "org.gnome.gedit"},
                                {"event", "insert.success"},
                                {"createdAt", kStamp},
                                {"bad", "\xEF\xBF\xBD"}}));
}

TEST_F(AppLoggerTest, MessagesReachTheSystemLogAndTheFileUnchanged) {
  logger.info("Wrenfold launched");
  logger.error("第一行\n第二行");
  logger.flush();
  EXPECT_EQ(readAll(paths.logURL()),
            std::string(kStamp) + " INFO Wrenfold launched\n" + kStamp + " ERROR 第一行\n第二行\n");
  EXPECT_EQ(std::filesystem::status(paths.logURL()).permissions(), std::filesystem::perms(0600));
  const auto entries = systemLog->entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], std::make_pair(LogLevel::info, std::string("Wrenfold launched")));
  EXPECT_EQ(entries[1], std::make_pair(LogLevel::error, std::string("第一行\n第二行")));
}

TEST_F(AppLoggerTest, ThousandMixedCallsKeepTheirOrderAndTheDestructorDrainsTheQueue) {
  std::vector<std::string> expectedLog;
  std::vector<std::string> expectedEvents;
  {
    AppLogger shortLived(paths, systemLog, [] { return kReference; });
    for (int i = 0; i < 1000; ++i) {
      const std::string n = std::to_string(i);
      if (i % 3 == 2) {
        shortLived.event("tick", {{"n", n}});
        expectedEvents.push_back(R"({"createdAt":")" + std::string(kStamp) + R"(","event":"tick","n":")" + n +
                                 "\"}");
        continue;
      }
      i % 3 == 0 ? shortLived.info(n) : shortLived.error(n);
      expectedLog.push_back(std::string(kStamp) + (i % 3 == 0 ? " INFO " : " ERROR ") + n);
    }
  }  // no flush: destruction must write everything queued
  EXPECT_EQ(lines(readAll(paths.logURL())), expectedLog);
  EXPECT_EQ(lines(readAll(paths.localEventsURL())), expectedEvents);
}

// With the data folder unusable, messages still reach the system log, the failures go there
// too, and nothing reaches the caller.
class BrokenDataFolderTest : public AppLoggerTest {
 protected:
  void expectOnlySystemLogEntries(const std::string& cause) {
    logger.info("still running");
    logger.event("generate.success", {});
    logger.flush();
    using Entry = std::pair<LogLevel, std::string>;
    EXPECT_EQ(systemLog->entries(), (std::vector<Entry>{{LogLevel::info, "still running"},
                                                        {LogLevel::error, "file log failed: " + cause},
                                                        {LogLevel::error, "event log failed: " + cause}}));
  }
};

TEST_F(BrokenDataFolderTest, FileInPlaceOfTheDataFolder) {
  testing::writeAll(paths.appSupportURL(), "x");
  expectOnlySystemLogEntries("无法创建文件夹 " + paths.appSupportURL().string() + "：Not a directory");
}

TEST_F(BrokenDataFolderTest, ReadOnlyDataFolder) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "root ignores folder permissions";
  }
  fs::create_directories(paths.appSupportURL());
  fs::permissions(paths.appSupportURL(), fs::perms(0500));
  expectOnlySystemLogEntries("无法创建文件夹 " + paths.templatesDirectoryURL().string() +
                             "：Permission denied");
}

}  // namespace
}  // namespace wrenfold
