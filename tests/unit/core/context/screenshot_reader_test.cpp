#include "core/context/screenshot_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/platform/run_loop_main_queue.h"
#include "core/platform/thread_work_queue.h"
#include "fakes/fake_image_codec.h"
#include "fakes/fake_system_log.h"
#include "fakes/fake_window_capture.h"
#include "fakes/manual_main_queue.h"
#include "fakes/manual_work_queue.h"
#include "support/temp_dir.h"

namespace wrenfold {
namespace {

using namespace std::chrono_literals;
using testing::FakeImageCodec;

constexpr std::int32_t kPid = 500;

ShareableWindow window(std::uint64_t id, Rect frame, std::string title = {}, std::int32_t pid = kPid) {
  return {id, pid, true, 0, frame, std::move(title), 1.0};
}

std::optional<std::uint64_t> chosen(const ScreenshotReader::WindowQuery& query,
                                    const std::vector<ShareableWindow>& windows) {
  const auto w = ScreenshotReader::captureWindow(query, windows);
  return w ? std::optional(w->windowID) : std::nullopt;
}

TEST(ScreenshotWindowChoice, PicksByOverlapThenTitleThenSize) {
  const Rect focused{100, 100, 400, 300};
  const ScreenshotReader::WindowQuery byFrame{kPid, focused, "Draft", std::nullopt};
  const ScreenshotReader::WindowQuery byTitle{kPid, std::nullopt, "  Draft\n", std::nullopt};
  const ScreenshotReader::WindowQuery neither{kPid, Rect{0, 0, 20, 500}, " ", std::nullopt};
  const auto big = window(1, {0, 0, 1000, 800}, "Other");
  const auto exact = window(2, {100, 100, 400, 300}, " Draft ");
  const auto small = window(3, {100, 100, 100, 100}, "Draft");
  const auto palette = ShareableWindow{4, kPid, true, 3, {0, 0, 2000, 2000}, "Draft", 1.0};
  const auto offScreen = ShareableWindow{5, kPid, false, 0, {0, 0, 2000, 2000}, "Draft", 1.0};
  const auto foreign = window(6, {0, 0, 3000, 3000}, "Draft", kPid + 1);
  const auto thin = window(7, {100, 100, 20, 300}, "Draft");

  struct Row {
    const char* name;
    ScreenshotReader::WindowQuery query;
    std::vector<ShareableWindow> windows;
    std::optional<std::uint64_t> expected;
  };
  const Row rows[] = {
      {"both cover the frame: first listed", byFrame, {big, exact}, 1},
      {"overlap below half falls to the title",
       byFrame,
       {window(11, {2000, 0, 900, 900}, "Other"), small},
       3},
      {"no title match falls to the largest",
       byFrame,
       {window(12, {0, 0, 50, 50}, "x"), window(8, {900, 900, 300, 300}, "y")},
       8},
      {"title trimmed on both sides", byTitle, {big, exact}, 2},
      {"unusable frame and title: largest", neither, {small, big, exact}, 1},
      {"largest tie: first listed", neither, {window(9, {0, 0, 50, 40}), window(10, {5, 5, 40, 50})}, 9},
      {"other layers, hidden and foreign windows never", byTitle, {palette, offScreen, foreign, small}, 3},
      {"the named window before any overlap",
       ScreenshotReader::WindowQuery{kPid, focused, "Draft", 3},
       {big, exact, small},
       3},
      {"a named window not capturable: by overlap",
       ScreenshotReader::WindowQuery{kPid, focused, "Draft", 4},
       {palette, big, exact},
       1},
      {"only 20-point-wide windows: none", byFrame, {thin}, std::nullopt},
      {"nothing listed", byFrame, {}, std::nullopt},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(chosen(row.query, row.windows), row.expected) << row.name;
  }
}

TEST(ScreenshotSizes, ReduceByTruncationKeepingAtLeastOnePixel) {
  struct Row {
    int width, height, max;
    std::optional<PixelSize> expected;
  };
  const Row rows[] = {
      {3000, 1500, 2048, PixelSize{2048, 1024}}, {3000, 1500, 1200, PixelSize{1200, 600}},
      {1000, 800, 2048, std::nullopt},           {1200, 1200, 1200, std::nullopt},
      {5000, 1, 2048, PixelSize{2048, 1}},       {1, 5000, 1200, PixelSize{1, 1200}},
      {2049, 7, 2048, PixelSize{2048, 6}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ScreenshotReader::reducedSize(row.width, row.height, row.max), row.expected)
        << row.width << "x" << row.height;
  }
  auto retina = window(1, {0, 0, 100.7, 50.4});
  retina.pointPixelScale = 2;
  EXPECT_EQ(ScreenshotReader::captureSize(retina), (PixelSize{201, 100}));
}

class ScreenshotReaderTest : public ::testing::Test {
 protected:
  ScreenshotReaderTest() { target_.processID = kPid; }

  // Runs one capture through the worker and the main queue.
  std::optional<CapturedScreenshot> capture() {
    std::optional<std::optional<CapturedScreenshot>> result;
    reader_.begin(ScreenshotReader::queryFor(target_))->then([&](std::optional<CapturedScreenshot> shot) {
      result = std::move(shot);
    });
    EXPECT_FALSE(result);  // never synchronous
    worker_.runAll();
    EXPECT_FALSE(result);  // only on the main queue
    queue_.runPending();
    EXPECT_TRUE(result);
    return result.value_or(std::nullopt);
  }

  FocusedTarget target_;
  testing::FakeWindowCapture windows_;
  FakeImageCodec codec_;
  testing::ManualWorkQueue worker_;
  testing::ManualClock clock_;
  testing::ManualMainQueue queue_{clock_};
  testing::TempDir dir_;
  std::shared_ptr<testing::RecordingSystemLog> log_ = std::make_shared<testing::RecordingSystemLog>();
  AppLogger logger_{AppPaths(dir_.path()), log_};
  ScreenshotReader reader_{windows_, codec_, worker_, queue_, logger_};
};

TEST_F(ScreenshotReaderTest, LargeWindowGivesBoundedJpegAndPreview) {
  windows_.addWindow(window(1, {0, 0, 3000, 1500}));
  const auto shot = capture();
  ASSERT_TRUE(shot);
  EXPECT_EQ(windows_.captures().at(0).size, (PixelSize{3000, 1500}));
  EXPECT_EQ(shot->data, FakeImageCodec::encoded(2048, 1024, 0.82));
  EXPECT_EQ(shot->image.width, 1200);
  EXPECT_EQ(shot->image.height, 600);
  EXPECT_TRUE(log_->lines().empty());
}

TEST_F(ScreenshotReaderTest, SmallCaptureIsUsedAsItIs) {
  windows_.addWindow(window(1, {0, 0, 1000, 800}));
  const auto shot = capture();
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot->data, FakeImageCodec::encoded(1000, 800, 0.82));
  EXPECT_EQ(shot->image.width, 1000);
  EXPECT_EQ(codec_.resizeCount(), 0);
}

TEST_F(ScreenshotReaderTest, FailedResizeKeepsTheImageUnscaled) {
  windows_.addWindow(window(1, {0, 0, 3000, 1500}));
  codec_.failResize(true);
  const auto shot = capture();
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot->data, FakeImageCodec::encoded(3000, 1500, 0.82));
  EXPECT_EQ(shot->image.width, 3000);
}

TEST_F(ScreenshotReaderTest, EveryFailureIsNoScreenshotAndOneLogLine) {
  struct Row {
    const char* name;
    std::function<void(testing::FakeWindowCapture&, FakeImageCodec&)> setUp;
    const char* line;
  };
  const Row rows[] = {
      {"listing", [](auto& w, auto&) { w.failListing("无法列出窗口"); },
       "ERROR screen capture failed: 无法列出窗口"},
      {"no window", [](auto&, auto&) {}, "ERROR screen capture failed: active app window is unavailable"},
      {"capture",
       [](auto& w, auto&) {
         w.addWindow(window(1, {0, 0, 300, 300}));
         w.failCapture("窗口已关闭");
       },
       "ERROR screen capture failed: 窗口已关闭"},
      {"encoding",
       [](auto& w, auto& c) {
         w.addWindow(window(1, {0, 0, 300, 300}));
         c.failEncoding(true);
       },
       "ERROR screen capture encoding failed"},
  };
  for (const auto& row : rows) {
    testing::FakeWindowCapture windows;
    FakeImageCodec codec;
    row.setUp(windows, codec);
    ScreenshotReader reader(windows, codec, worker_, queue_, logger_);
    log_->clear();
    bool called = false;
    reader.begin(ScreenshotReader::queryFor(target_))->then([&](std::optional<CapturedScreenshot> shot) {
      called = true;
      EXPECT_FALSE(shot) << row.name;
    });
    worker_.runAll();
    queue_.runPending();
    EXPECT_TRUE(called) << row.name;
    EXPECT_EQ(log_->lines(), std::vector<std::string>{row.line}) << row.name;
  }
}

// A capture begun before the target is resolved: whatever happened before anyone waited is told
// as it would have been, the screen done with before the outcome, a failed capture included.
TEST_F(ScreenshotReaderTest, ABegunCaptureTellsLateWhatHappenedEarlyInOrder) {
  for (const bool fails : {false, true}) {
    testing::FakeWindowCapture windows;
    windows.addWindow(window(1, {0, 0, 300, 200}));
    if (fails) {
      windows.failCapture("窗口已关闭");
    }
    ScreenshotReader reader(windows, codec_, worker_, queue_, logger_);
    for (const int heardLate : {0, 1, 2}) {  // nothing, the pixels, the pixels and the outcome
      SCOPED_TRACE(::testing::Message() << heardLate << " heard late" << (fails ? ", failing" : ""));
      std::vector<std::string> told;
      const auto pending = reader.begin({kPid, std::nullopt, std::nullopt, 1});
      worker_.runOne();  // the pixels
      if (heardLate >= 1) {
        queue_.runPending();
      }
      if (heardLate >= 2) {
        worker_.runAll();  // the encoding
        queue_.runPending();
      }
      pending->then([&](std::optional<CapturedScreenshot> shot) { told.push_back(shot ? "shot" : "none"); });
      pending->whenTaken([&] { told.emplace_back("taken"); });
      EXPECT_TRUE(told.empty()) << "never within then()";
      worker_.runAll();
      queue_.runPending();
      EXPECT_EQ(told, (std::vector<std::string>{"taken", fails ? "none" : "shot"}));
    }
  }
}

// The window the workspace named is captured when it can be; else the choice among all windows.
TEST_F(ScreenshotReaderTest, TheNamedWindowIsCapturedWhenItCanBe) {
  struct Row {
    const char* name;
    std::uint64_t named;
    std::uint64_t captured;
    int listings;
  };
  const Row rows[] = {
      {"the named window, without listing the others", 2, 2, 0},
      {"named but too small: the largest of the process", 3, 1, 1},
      {"named but gone: the largest of the process", 9, 1, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::FakeWindowCapture windows;
    windows.describeWindowsOneByOne();
    for (const auto& w : {window(1, {0, 0, 1200, 900}, "草稿 - 编辑器"),
                          window(2, {50, 50, 600, 400}, "会议纪要.txt"), window(3, {0, 0, 10, 10}, "提示")}) {
      windows.addWindow(w);
    }
    ScreenshotReader reader(windows, codec_, worker_, queue_, logger_);
    std::optional<CapturedScreenshot> shot;
    reader.begin({kPid, std::nullopt, std::nullopt, row.named})->then([&](auto s) { shot = std::move(s); });
    worker_.runAll();
    queue_.runPending();
    ASSERT_TRUE(shot);
    ASSERT_EQ(windows.captures().size(), 1u);
    EXPECT_EQ(windows.captures().front().windowID, row.captured);
    EXPECT_EQ(windows.listings(), row.listings);
  }
}

TEST_F(ScreenshotReaderTest, CaptureRunsOnTheWorkerAndCompletesOnTheMainQueue) {
  windows_.addWindow(window(1, {0, 0, 300, 200}));
  RunLoopMainQueue queue;
  const auto mainThread = std::this_thread::get_id();
  std::optional<CapturedScreenshot> shot;
  bool onMain = false;
  {
    ThreadWorkQueue worker;
    ScreenshotReader reader(windows_, codec_, worker, queue, logger_);
    reader.begin(ScreenshotReader::queryFor(target_))->then([&](std::optional<CapturedScreenshot> result) {
      onMain = std::this_thread::get_id() == mainThread;
      shot = std::move(result);
    });
    ASSERT_TRUE(queue.runUntil([&] { return shot.has_value(); }, 10s));
  }
  EXPECT_TRUE(onMain);
  EXPECT_EQ(shot->image.width, 300);
}

}  // namespace
}  // namespace wrenfold
