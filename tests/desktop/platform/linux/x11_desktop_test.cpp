// The X11 back-end (workspace and synthetic keys) against real windows in a private desktop
// (scripts/desktop-session). The fixture's own report and xclip are the independent witnesses.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/context/clipboard_context_reader.h"
#include "fixture_app.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/x11_clipboard_reader.h"
#include "platform/linux/x11_connection.h"
#include "platform/linux/x11_tray_colors.h"
#include "platform/linux/x11_window_capture.h"
#include "platform/linux/xtest_key_events.h"
#include "platform/qt/qt_pasteboard.h"
#include "support/temp_dir.h"

// After Qt and GoogleTest, whose names the X11 macros (Bool, Status, None) would clash with.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <unistd.h>

namespace wrenfold {
namespace {

using namespace std::chrono_literals;
using testing::FixtureApp;
using testing::waitUntil;

constexpr auto kStartTimeout = 15s;

using testing::run;
using testing::xdotool;

bool setClipboard(const std::filesystem::path& folder, const std::string& text) {
  testing::writeAll(folder / "clip.txt", text);
  return run({"xclip", "-selection", "clipboard", "-in", (folder / "clip.txt").string()}).status == 0;
}

// The visible top-level window of a process, as xdotool finds it: an independent witness.
std::string windowOf(const FixtureApp& app) {
  std::string found = run({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(app.pid())}).output;
  found = found.substr(0, found.find_last_not_of('\n') + 1);
  return found.substr(found.rfind('\n') + 1);
}

// Qt's clipboard needs a GUI application in this process; one for the whole run.
void ensureQtApplication() {
  static int argc = 1;
  static std::array<char*, 2> argv{const_cast<char*>("x11_desktop_test"), nullptr};
  static QGuiApplication* application =
      QCoreApplication::instance() == nullptr ? new QGuiApplication(argc, argv.data()) : nullptr;
  static_cast<void>(application);
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

  // A window whose _NET_WM_PID lies is named by the process the X server knows (XRes).
  const auto liar = X11Connection::open();
  ASSERT_TRUE(liar);
  const Window owner = XCreateSimpleWindow(liar->display(), liar->root(), 0, 0, 1, 1, 0, 0, 0);
  const long initPid = 1;
  XChangeProperty(liar->display(), owner, liar->atom("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&initPid), 1);
  XSetSelectionOwner(liar->display(), liar->atom("CLIPBOARD"), owner, CurrentTime);
  XSync(liar->display(), False);
  const auto clipboardOwner = workspace_->clipboardOwner();
  ASSERT_TRUE(clipboardOwner);
  EXPECT_EQ(clipboardOwner->processID, static_cast<std::int32_t>(::getpid()));
}

TEST_F(X11DesktopTest, TheTrayIconColourIsThePanelsAsTheTrayManagerPublishesIt) {
  EXPECT_FALSE(systemTrayForeground().has_value()) << "no tray manager in this session yet";
  // A tray manager as panels are: it owns the tray selection and publishes its colours.
  const auto x = X11Connection::open();
  ASSERT_TRUE(x);
  Display* display = x->display();
  const Window manager = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  const std::array<long, 12> colors{0xeeee, 0xdddd, 0xcccc, 0xffff, 0, 0, 0xffff, 0xffff, 0, 0, 0xffff, 0};
  XChangeProperty(display, manager, XInternAtom(display, "_NET_SYSTEM_TRAY_COLORS", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(colors.data()), 12);
  XSetSelectionOwner(display, XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False), manager, CurrentTime);
  XSync(display, False);
  EXPECT_EQ(systemTrayForeground(), (RgbColor{0xee, 0xdd, 0xcc}));
  XDestroyWindow(display, manager);
  XSync(display, False);
}

// The clipboard fallback reads the real X clipboard through Qt and asks XRes who owns it.
TEST_F(X11DesktopTest, ACopiedPasswordIsNeverReadAsClipboardContext) {
  ensureQtApplication();
  QtPasteboard pasteboard;
  const ClipboardContextReader reader(pasteboard, *workspace_);
  const FocusedTarget target;
  // A password manager by its executable: the same owner program under KeePassXC's name.
  const auto keepass = dir_.path() / "keepassxc";
  std::filesystem::copy_file(WRENFOLD_QT_FIXTURE, keepass);
  struct Row {
    const char* name;
    std::string program;
    std::vector<std::string> arguments;
    bool read;
  };
  const std::vector<Row> rows = {
      {"marked secret", WRENFOLD_QT_FIXTURE, {"--text", "hunter2-a", "--hint", "secret"}, false},
      {"owned by a password manager", keepass.string(), {"--text", "hunter2-b"}, false},
      {"an ordinary copy", WRENFOLD_QT_FIXTURE, {"--text", "hunter2-c"}, true},
  };
  for (const auto& row : rows) {
    auto arguments = row.arguments;
    arguments.insert(arguments.begin(), {"--mode", "clipboard"});
    const FixtureApp owner(row.program, arguments, dir_.path());
    ASSERT_EQ(owner.waitForReport("ready", kStartTimeout), "ready") << row.name;
    // xclip, another client, sees the text: the clipboard really holds it.
    ASSERT_TRUE(waitUntil(
        [&] {
          return run({"xclip", "-selection", "clipboard", "-out"}).output == row.arguments[1];
        },
        kStartTimeout))
        << row.name;
    const auto fallback = reader.readFallback(target);
    EXPECT_EQ(fallback.snapshot.has_value(), row.read) << row.name;
    EXPECT_EQ(fallback.skipped.has_value(), !row.read) << row.name;
    if (fallback.snapshot) {
      EXPECT_EQ(fallback.snapshot->visibleText, row.arguments[1]) << row.name;
    }
  }
}

// Snapshots read the selection on a connection of their own: an image large enough to come in
// increments and a file list come back byte for byte, a format over the caps is never fetched,
// and an owner that never answers is told from an empty clipboard in bounded time. A fetch of our
// written text by another program (xclip) is counted; our own reads are not.
TEST_F(X11DesktopTest, ClipboardSnapshotsKeepImagesAndFileListsAndGiveUpOnAStalledOwner) {
  ensureQtApplication();
  QtPasteboard pasteboard;
  const std::string text = "好的，明天10:00开会（会议室B）。";
  ASSERT_TRUE(pasteboard.setString(text, ClipboardHistory::skip));
  EXPECT_EQ(pasteboard.string(), text);
  EXPECT_EQ(pasteboard.textFetches(), 0) << "our own read";
  auto fetched = std::async(std::launch::async, [] {
    return run({"xclip", "-selection", "clipboard", "-out"});
  });
  ASSERT_TRUE(waitUntil([&] { return fetched.wait_for(0s) == std::future_status::ready; }, kStartTimeout));
  EXPECT_EQ(fetched.get().output, text);
  EXPECT_GE(pasteboard.textFetches(), 1);

  std::string picture(600 * 1024, '\0');
  for (std::size_t i = 0; i < picture.size(); ++i) {
    picture[i] = static_cast<char>((i * 7919u) >> 5);
  }
  const std::vector<std::pair<std::string, std::string>> rows{
      {"image/png", picture}, {"text/uri-list", "file:///home/用户/报告（终稿）v2.png\r\n"}};
  for (const auto& [type, content] : rows) {
    SCOPED_TRACE(type);
    testing::writeAll(dir_.path() / "owned", content);
    ASSERT_EQ(
        run({"xclip", "-selection", "clipboard", "-t", type, "-in", (dir_.path() / "owned").string()}).status,
        0);
    ASSERT_TRUE(waitUntil(
        [&] {
          return run({"xclip", "-selection", "clipboard", "-out", "-t", "TARGETS"}).output.find(type) !=
                 std::string::npos;
        },
        kStartTimeout));
    const auto items = readX11Clipboard();
    ASSERT_TRUE(items && items->size() == 1);
    ASSERT_EQ(items->front().representations.size(), 1u);
    EXPECT_EQ(items->front().representations[0].first, type);
    EXPECT_EQ(items->front().representations[0].second,
              std::vector<std::uint8_t>(content.begin(), content.end()));
    EXPECT_FALSE(readX11Clipboard({.maxBytesPerFormat = content.size() - 1})) << "nothing within the caps";
  }

  const auto owner = X11Connection::open();
  const Window window = XCreateSimpleWindow(owner->display(), owner->root(), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(owner->display(), owner->atom("CLIPBOARD"), window, CurrentTime);
  XSync(owner->display(), False);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(readX11Clipboard({.answerTimeout = 300ms, .totalTimeout = 1s}))
      << "a stalled owner is not empty";
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  XDestroyWindow(owner->display(), window);
  XSync(owner->display(), False);
}

TEST_F(X11DesktopTest, CtrlVPastesIntoTheFocusedFieldAndWaitsWhileAModifierIsHeld) {
  XTestKeyEvents keys;
  const auto app = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "entry", "--text", "草稿"});
  ASSERT_TRUE(waitForFront(*app));
  ASSERT_EQ(app->waitForReport("草稿", kStartTimeout), "草稿");
  ASSERT_TRUE(xdotool({"key", "End"}));  // nothing selected: the paste appends
  ASSERT_TRUE(setClipboard(dir_.path(), "粘贴🙂"));

  ASSERT_TRUE(xdotool({"keydown", "shift"}));
  EXPECT_EQ(keys.post(KeyChord::paste()), KeyPostResult::retry);
  ASSERT_TRUE(xdotool({"keyup", "shift"}));
  EXPECT_EQ(app->report(), "草稿") << "nothing typed while shift was down";

  EXPECT_EQ(keys.post(KeyChord::paste()), KeyPostResult::posted);
  EXPECT_EQ(app->waitForReport("草稿粘贴🙂", 5s), "草稿粘贴🙂");
}

TEST_F(X11DesktopTest, ActivatingAProcessWhoseWindowIsBehindAnotherBringsItToTheFront) {
  const auto back = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "entry"});
  ASSERT_TRUE(waitForFront(*back));
  const auto front = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "textview"});
  ASSERT_TRUE(waitForFront(*front));
  const auto backWindow = windowOf(*back);
  const auto frontWindow = windowOf(*front);
  ASSERT_FALSE(backWindow.empty() || frontWindow.empty());
  // One exactly over the other.
  ASSERT_TRUE(xdotool({"windowmove", backWindow, "100", "100", "windowmove", frontWindow, "100", "100"}));
  ASSERT_EQ(testing::activeWindow(), frontWindow);

  ASSERT_TRUE(workspace_->activate(back->pid()));
  EXPECT_TRUE(waitUntil([&] { return testing::activeWindow() == backWindow; }, 5s))
      << "_NET_ACTIVE_WINDOW as xdotool reads it";
  EXPECT_TRUE(waitForFront(*back));
  // Raised as well as focused: the first window a user sees is the one activated.
  X11WindowCapture capture;
  const auto windows = capture.shareableWindows();
  ASSERT_TRUE(windows && !windows->empty());
  EXPECT_EQ(std::to_string(windows->front().windowID), backWindow);
}

// The keyboard's second layout is Dvorak, where the "v" key sits where QWERTY has ".": the
// chord must use the key of the layout in force, or the field receives Ctrl+K.
TEST_F(X11DesktopTest, CtrlVUsesTheKeyOfVInTheActiveLayoutGroup) {
  ASSERT_TRUE(run({"setxkbmap", "-layout", "us,us", "-variant", ",dvorak"}).status == 0);
  const auto connection = X11Connection::open();
  ASSERT_TRUE(connection);
  Display* display = connection->display();
  const auto restoreLayout = std::shared_ptr<void>(nullptr, [display](void*) {
    XkbLockGroup(display, XkbUseCoreKbd, 0);
    XSync(display, False);
    static_cast<void>(run({"setxkbmap", "-layout", "us"}));
  });
  const KeyCode qwertyV = XKeysymToKeycode(display, XK_v);
  ASSERT_TRUE(XkbLockGroup(display, XkbUseCoreKbd, 1));
  XSync(display, False);
  ASSERT_EQ(XkbKeycodeToKeysym(display, qwertyV, 1, 0), static_cast<KeySym>(XK_k))
      << "the layout is in force";
  const KeyCode dvorakV = keycodeInActiveGroup(display, XK_v);
  EXPECT_NE(dvorakV, qwertyV);
  EXPECT_EQ(XkbKeycodeToKeysym(display, dvorakV, 1, 0), static_cast<KeySym>(XK_v));

  // Qt binds Ctrl+K to "delete to the end of the line": with the caret at the start, the
  // wrong key would empty the field instead of pasting.
  const auto app = launch(WRENFOLD_QT_FIXTURE, {"--mode", "lineedit", "--text", "draft"});
  ASSERT_TRUE(waitForFront(*app));
  ASSERT_EQ(app->waitForReport("draft", kStartTimeout), "draft");
  ASSERT_TRUE(xdotool({"key", "Home"}));
  ASSERT_TRUE(setClipboard(dir_.path(), "粘贴 "));
  XTestKeyEvents keys;
  ASSERT_EQ(keys.post(KeyChord::paste()), KeyPostResult::posted);
  EXPECT_EQ(app->waitForReport("粘贴 draft", 5s), "粘贴 draft");
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
  // Described alone as in the list; a window the window manager does not list is none.
  EXPECT_EQ(capture.shareableWindow(window->windowID).value_or(std::nullopt), window);
  const auto unlisted = capture.shareableWindow(0x7fffff0);
  ASSERT_TRUE(unlisted);
  EXPECT_FALSE(unlisted->has_value());

  // The red area fills the lower part of the window; give the first frame time to be drawn.
  std::optional<Image> image;
  ASSERT_TRUE(waitUntil(
      [&] {
        auto captured = capture.captureWindow(*window, {480, 360}, {});
        image = captured ? std::optional(*captured) : std::nullopt;
        return image && pixelAt(*image, 240, 300) == std::array{255, 0, 0, 255};
      },
      5s));
  EXPECT_EQ(image->width, 480);
  EXPECT_EQ(image->height, 360);

  const auto half = capture.captureWindow(*window, {240, 180}, {});
  ASSERT_TRUE(half);
  EXPECT_EQ(half->width, 240);
  EXPECT_EQ(pixelAt(*half, 120, 150), (std::array{255, 0, 0, 255}));

  // What covers the window once the pixels are handed over is not in the image: a black window
  // mapped over the red area then (by another client, as our panel would be) is not, though the
  // next capture sees it (white: without a compositor a covered part is never another window's).
  Display* other = XOpenDisplay(nullptr);
  ASSERT_NE(other, nullptr);
  XSetWindowAttributes unmanaged{};
  unmanaged.override_redirect = True;
  unmanaged.background_pixel = BlackPixel(other, DefaultScreen(other));
  const Window cover =
      XCreateWindow(other, DefaultRootWindow(other), static_cast<int>(window->frame.x) + 200,
                    static_cast<int>(window->frame.y) + 260, 80, 80, 0, CopyFromParent, InputOutput,
                    CopyFromParent, CWOverrideRedirect | CWBackPixel, &unmanaged);
  int grabs = 0;
  const auto covered = capture.captureWindow(*window, {480, 360}, [&] {
    ++grabs;
    XMapRaised(other, cover);
    XSync(other, False);
  });
  ASSERT_TRUE(covered);
  EXPECT_EQ(grabs, 1);
  EXPECT_EQ(pixelAt(*covered, 240, 300), (std::array{255, 0, 0, 255}));
  const auto after = capture.captureWindow(*window, {480, 360}, {});
  ASSERT_TRUE(after);
  EXPECT_EQ(pixelAt(*after, 240, 300), (std::array{255, 255, 255, 255})) << "the cover was there";
  XDestroyWindow(other, cover);
  XCloseDisplay(other);

  ShareableWindow gone = *window;
  gone.windowID = 0x7fffff0;  // no such window: a failure value, not a crash
  const auto failed = capture.captureWindow(gone, {10, 10}, {});
  ASSERT_FALSE(failed);
  EXPECT_FALSE(failed.error().localizedDescription().empty());
}

// An X server that cannot share memory with us (another machine; here one started without the
// extension) sends the pixels over the socket: the same image.
TEST_F(X11DesktopTest, WithoutSharedMemoryThePixelsComeOverTheSocket) {
  testing::Process server(
      {"Xvfb", "-displayfd", "1", "-extension", "MIT-SHM", "-screen", "0", "320x240x24", "-nolisten", "tcp"});
  // Its display number, on a line of its own among what it writes to standard error.
  std::string name;
  ASSERT_TRUE(waitUntil(
      [&] {
        std::istringstream lines(server.output());
        for (std::string line; std::getline(lines, line) && name.empty();) {
          if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
            name = ":" + line;
          }
        }
        return !name.empty();
      },
      kStartTimeout));
  Display* client = XOpenDisplay(name.c_str());
  ASSERT_NE(client, nullptr);
  int opcode = 0;
  int event = 0;
  int error = 0;
  EXPECT_FALSE(XQueryExtension(client, "MIT-SHM", &opcode, &event, &error));
  XSetWindowAttributes attributes{};
  attributes.background_pixel = 0xFF0000;
  const Window red = XCreateWindow(client, DefaultRootWindow(client), 20, 10, 100, 80, 0, CopyFromParent,
                                   InputOutput, CopyFromParent, CWBackPixel, &attributes);
  XMapWindow(client, red);
  XSync(client, False);

  const std::string display = std::getenv("DISPLAY");
  setenv("DISPLAY", name.c_str(), 1);
  std::optional<Result<Image>> image;
  {
    X11WindowCapture capture;
    ShareableWindow window;
    window.windowID = red;
    window.frame = Rect{20, 10, 100, 80};
    image = capture.captureWindow(window, {100, 80}, {});
  }
  setenv("DISPLAY", display.c_str(), 1);
  XCloseDisplay(client);
  ASSERT_TRUE(*image) << image->error().localizedDescription();
  EXPECT_EQ((*image)->width, 100);
  EXPECT_EQ(pixelAt(**image, 50, 40), (std::array{255, 0, 0, 255}));
}

// Without a compositor the covered part is left white (the screen there shows the other
// window, which may hold anything); once one runs, the swatch's own pixels.
TEST_F(X11DesktopTest, ACoveredWindowIsCapturedWithItsOwnPixelsOrNoneOfAnotherWindows) {
  X11WindowCapture capture;
  const auto find = [&](unsigned long id) -> std::optional<ShareableWindow> {
    for (const auto& window : capture.shareableWindows().value_or(std::vector<ShareableWindow>{})) {
      if (window.windowID == id) {
        return window;
      }
    }
    return std::nullopt;
  };
  const auto at = [&](const ShareableWindow& window, int x, int y) {
    const auto image = capture.captureWindow(window, {480, 360}, {});
    return image ? pixelAt(*image, x, y) : std::array{-1, -1, -1, -1};
  };
  constexpr std::array kRed{255, 0, 0, 255};
  constexpr std::array kWhite{255, 255, 255, 255};

  // A red swatch whose lower right another window covers.
  const auto swatch = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "swatch"});
  ASSERT_TRUE(waitForFront(*swatch));
  const auto cover = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "labels"});
  ASSERT_TRUE(waitForFront(*cover));
  const auto swatchWindow = windowOf(*swatch);
  const auto coverWindow = windowOf(*cover);
  ASSERT_TRUE(xdotool({"windowmove", swatchWindow, "40", "40", "windowmove", coverWindow, "300", "220"}));
  std::optional<ShareableWindow> red;
  std::optional<ShareableWindow> covering;
  ASSERT_TRUE(waitUntil(
      [&] {
        red = find(std::stoul(swatchWindow));
        covering = find(std::stoul(coverWindow));
        return red && covering && red->frame.x < covering->frame.x && red->frame.y < covering->frame.y;
      },
      5s));
  // A point of the swatch under the other window.
  const int coveredX = static_cast<int>(covering->frame.x - red->frame.x) + 100;
  const int coveredY = static_cast<int>(covering->frame.y - red->frame.y) + 120;
  ASSERT_LT(coveredX, 480);
  ASSERT_LT(coveredY, 360);

  ASSERT_TRUE(waitUntil([&] { return at(*red, 20, 300) == kRed; }, 5s)) << "the open part";
  EXPECT_NE(at(*covering, 100, 120), kWhite) << "the covering window is not white there";
  EXPECT_EQ(at(*red, coveredX, coveredY), kWhite);

  const testing::Process compositor({"xcompmgr"});
  ASSERT_TRUE(compositor.started());
  const auto connection = X11Connection::open();
  ASSERT_TRUE(connection);
  ASSERT_TRUE(waitUntil(
      [&] { return XGetSelectionOwner(connection->display(), connection->atom("_NET_WM_CM_S0")) != 0; }, 5s));
  EXPECT_TRUE(waitUntil([&] { return at(*red, coveredX, coveredY) == kRed; }, 5s))
      << "the covered part, from the compositor";
  EXPECT_EQ(at(*red, 20, 300), kRed);
}

}  // namespace
}  // namespace wrenfold
