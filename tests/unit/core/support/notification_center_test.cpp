#include "core/platform/notification_center.h"

#include <gtest/gtest.h>

#include <thread>

#include "core/platform/run_loop_main_queue.h"

namespace wrenfold {
namespace {

TEST(NotificationCenter, DeliversPostsFromAnyThreadOnTheMainQueueToMatchingObservers) {
  RunLoopMainQueue queue;
  NotificationCenter center(queue);
  std::vector<std::string> seen;
  const auto mainThread = std::this_thread::get_id();
  center.addObserver(std::string(kOpenSettingsRequested), [&](const Notification& n) {
    EXPECT_EQ(std::this_thread::get_id(), mainThread);
    seen.push_back(n.name + ":" + (n.userInfo.contains("name") ? n.userInfo.at("name") : ""));
  });
  center.addObserver("other", [&](const Notification&) { seen.push_back("other"); });

  std::thread poster([&] { center.post({std::string(kOpenSettingsRequested), {{"name", "x"}}}); });
  poster.join();
  EXPECT_TRUE(seen.empty());  // never synchronously, never on the poster's thread
  ASSERT_TRUE(queue.runUntil([&] { return !seen.empty(); }, std::chrono::seconds(5)));
  EXPECT_EQ(seen, std::vector<std::string>{"WrenfoldOpenSettingsRequested:x"});
}

TEST(NotificationCenter, AnObserverRemovedBeforeDeliveryIsNotCalled) {
  RunLoopMainQueue queue;
  NotificationCenter center(queue);
  int calls = 0;
  const auto token = center.addObserver("n", [&](const Notification&) { ++calls; });
  center.post({"n", {}});
  center.removeObserver(token);
  queue.drain();
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace wrenfold
