// A start without an accessibility bus: the session bus address points nowhere. libatspi ends
// the process when it is used without a bus, so this runs as a program of its own, once inside
// the private desktop (whose X root still names a live accessibility bus) and once without any
// display.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cstdlib>
#include <string>

#include "app/desktop_platform.h"
#include "platform/linux/linux_accessibility.h"
#include "platform/linux/linux_workspace.h"

namespace wrenfold {
namespace {

bool hasDisplay() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && *display != '\0';
}

TEST(NoAccessibilityBusTest, TheBackEndAnswersNoneInsteadOfEnding) {
  LinuxAccessibility accessibility{std::make_shared<LinuxWorkspace>()};
  EXPECT_FALSE(accessibility.isProcessTrusted());
  accessibility.promptForTrust();  // nothing to switch on
  EXPECT_FALSE(accessibility.isProcessTrusted());
  EXPECT_FALSE(accessibility.applicationElement(::getpid()));
  EXPECT_FALSE(accessibility.takeApplicationNotice(::getpid()));
  EXPECT_FALSE(accessibility.takeRestartNotice());
}

TEST(NoAccessibilityBusTest, TheDesktopStartReportsWhatIsMissing) {
  if (!hasDisplay()) {
    GTEST_SKIP() << "the desktop's ports need a display";
  }
  int argc = 1;
  char name[] = "accessibility_no_bus_test";
  char* argv[] = {name, nullptr};
  const QGuiApplication application(argc, argv);
  auto ports = app::makeDesktopPorts();
  const auto problems = app::missingCapabilities(*ports.accessibility, *ports.windowCapture);
  ASSERT_EQ(problems.size(), 1u) << "windows can still be captured";
  EXPECT_NE(problems.front().find("AT-SPI"), std::string::npos) << problems.front();
  ports.accessibility->promptForTrust();
  EXPECT_FALSE(ports.accessibility->applicationElement(::getpid()));
}

}  // namespace
}  // namespace wrenfold

int main(int argc, char** argv) {
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/wrenfold-no-session-bus", 1);
  ::unsetenv("AT_SPI_BUS_ADDRESS");
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
