// The X11 back-end (workspace and synthetic keys) against real windows in a private desktop
// (scripts/desktop-session). The fixture's own report and xclip are the independent witnesses.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/target/focused_target_resolver.h"
#include "core/text/text.h"
#include "fixture_app.h"
#include "platform/linux/linux_accessibility.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/x11_window_capture.h"
#include "platform/linux/xtest_key_events.h"
#include "support/temp_dir.h"

namespace wrenfold {
namespace {

using namespace std::chrono_literals;
using testing::FixtureApp;
using testing::waitUntil;

constexpr auto kStartTimeout = 15s;

bool run(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

bool setClipboard(const std::string& text) {
  FILE* pipe = popen("xclip -selection clipboard -in", "w");
  if (pipe == nullptr) {
    return false;
  }
  std::fwrite(text.data(), 1, text.size(), pipe);
  return pclose(pipe) == 0;
}

class X11DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr || std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr) {
      GTEST_SKIP() << "no desktop: run under scripts/desktop-session";
    }
    workspace_ = std::make_unique<LinuxWorkspace>();
  }

  std::unique_ptr<FixtureApp> launch(const char* program, std::vector<std::string> arguments) {
    auto app = std::make_unique<FixtureApp>(program, std::move(arguments), dir_.path());
    EXPECT_TRUE(app->started()) << program;
    return app;
  }

  bool waitForFront(const FixtureApp& app) {
    return waitUntil(
        [&] {
          const auto front = workspace_->frontmostApplication();
          return front && front->processID == app.pid();
        },
        kStartTimeout);
  }

  testing::TempDir dir_;
  std::unique_ptr<LinuxWorkspace> workspace_;
};

TEST_F(X11DesktopTest, TheFrontmostApplicationIsTheActiveWindowsProcessWithItsApplicationID) {
  const auto gtk = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "entry"});
  ASSERT_TRUE(waitForFront(*gtk));
  const auto front = workspace_->frontmostApplication();
  ASSERT_TRUE(front);
  EXPECT_EQ(front->bundleIdentifier, "org.wrenfold.fixture.entry") << "from _GTK_APPLICATION_ID";
  EXPECT_EQ(front->localizedName, "Wrenfold-fixture-entry") << "no desktop file: the WM_CLASS class";

  const auto qt = launch(WRENFOLD_QT_FIXTURE, {"--mode", "lineedit"});
  ASSERT_TRUE(waitForFront(*qt));
  const auto qtFront = workspace_->frontmostApplication();
  ASSERT_TRUE(qtFront && qtFront->bundleIdentifier);
  EXPECT_FALSE(qtFront->bundleIdentifier->empty());

  std::vector<std::int32_t> running;
  for (const auto& app : workspace_->runningApplications()) {
    running.push_back(app.processID);
  }
  EXPECT_NE(std::find(running.begin(), running.end(), gtk->pid()), running.end());
  EXPECT_NE(std::find(running.begin(), running.end(), qt->pid()), running.end());

  // Back to the first application through the window manager.
  ASSERT_TRUE(workspace_->activate(gtk->pid()));
  EXPECT_TRUE(waitForFront(*gtk));
  EXPECT_FALSE(workspace_->activate(999999)) << "no window of that process";
}

TEST_F(X11DesktopTest, AWalletApplicationIsRefusedByItsApplicationID) {
  LinuxAccessibility accessibility;
  const FocusedTargetResolver resolver(accessibility, *workspace_);
  const auto wallet = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "wallet"});
  ASSERT_TRUE(waitForFront(*wallet));
  const auto refused = resolver.resolve();
  ASSERT_FALSE(refused) << "resolved " << (*refused)->appBundleID;
  EXPECT_EQ(refused.error().localizedDescription(), "当前输入目标被保护：敏感应用不允许自动读取或填入");
}

TEST_F(X11DesktopTest, CtrlVPastesIntoTheFocusedFieldAndWaitsWhileAModifierIsHeld) {
  LinuxAccessibility accessibility;
  XTestKeyEvents keys;
  const auto app = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "entry", "--text", "草稿"});
  ASSERT_TRUE(waitForFront(*app));
  // Caret at the end, through accessibility, so the paste appends.
  ASSERT_TRUE(waitUntil(
      [&] {
        const auto application = accessibility.applicationElement(app->pid());
        const auto field = application
                               ? accessibility.elementAttribute(*application, AXAttribute::focusedUIElement)
                               : std::nullopt;
        return field && accessibility.setRange(*field, AXAttribute::selectedTextRange, {2, 0});
      },
      kStartTimeout));
  ASSERT_TRUE(setClipboard("粘贴🙂"));

  ASSERT_TRUE(run("xdotool keydown shift"));
  EXPECT_EQ(keys.post(KeyChord::paste()), KeyPostResult::retry);
  ASSERT_TRUE(run("xdotool keyup shift"));
  EXPECT_EQ(app->report(), "草稿") << "nothing typed while shift was down";

  EXPECT_EQ(keys.post(KeyChord::paste()), KeyPostResult::posted);
  EXPECT_EQ(app->waitForReport("草稿粘贴🙂", 5s), "草稿粘贴🙂");
}

std::array<int, 4> pixelAt(const Image& image, int x, int y) {
  const auto at =
      (static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x)) * 4;
  return {image.rgba[at], image.rgba[at + 1], image.rgba[at + 2], image.rgba[at + 3]};
}

TEST_F(X11DesktopTest, CapturesTheWindowOfAProcessWithThePixelsItPainted) {
  X11WindowCapture capture;
  ASSERT_TRUE(capture.canCaptureWindows());
  const auto app = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "swatch"});
  ASSERT_TRUE(waitForFront(*app));

  std::optional<ShareableWindow> window;
  ASSERT_TRUE(waitUntil(
      [&] {
        const auto windows = capture.shareableWindows();
        for (const auto& candidate : windows.value_or(std::vector<ShareableWindow>{})) {
          if (candidate.processID == app->pid() && candidate.isOnScreen) {
            window = candidate;
          }
        }
        return window.has_value();
      },
      kStartTimeout));
  EXPECT_EQ(window->layer, 0);
  EXPECT_EQ(window->title, "Wrenfold fixture: swatch");
  EXPECT_EQ(window->frame.width, 480);
  EXPECT_EQ(window->frame.height, 360);

  // The red area fills the lower part of the window; give the first frame time to be drawn.
  std::optional<Image> image;
  ASSERT_TRUE(waitUntil(
      [&] {
        auto captured = capture.captureWindow(*window, {480, 360});
        image = captured ? std::optional(*captured) : std::nullopt;
        return image && pixelAt(*image, 240, 300) == std::array{255, 0, 0, 255};
      },
      5s));
  EXPECT_EQ(image->width, 480);
  EXPECT_EQ(image->height, 360);

  const auto half = capture.captureWindow(*window, {240, 180});
  ASSERT_TRUE(half);
  EXPECT_EQ(half->width, 240);
  EXPECT_EQ(pixelAt(*half, 120, 150), (std::array{255, 0, 0, 255}));

  ShareableWindow gone = *window;
  gone.windowID = 0x7fffff0;  // no such window: a failure value, not a crash
  const auto failed = capture.captureWindow(gone, {10, 10});
  ASSERT_FALSE(failed);
  EXPECT_FALSE(failed.error().localizedDescription().empty());
}

}  // namespace
}  // namespace wrenfold
