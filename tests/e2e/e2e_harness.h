#pragma once

// The shared harness of the end-to-end journeys: the real `wrenfold` with a private data folder,
// a loopback model service speaking the OpenAI chat-completions protocol, other programs the
// journeys start (xdotool, xclip, the GTK fixture), and witnesses that do not go through
// Wrenfold: the accessibility bus (what the overlay shows), X windows, the clipboard, files.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/support/json.h"
#include "fixture_app.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"

namespace wrenfold::e2e {

// Firefox wants a profile of its own when run as root and for a clean start; these preferences
// keep it off the network and away from first-run pages.
inline constexpr const char* kFirefoxTestPrefs = R"(user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.aboutwelcome.enabled", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("startup.homepage_welcome_url", "");
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("datareporting.healthreport.uploadEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.update.enabled", false);
user_pref("extensions.update.enabled", false);
user_pref("browser.safebrowsing.malware.enabled", false);
user_pref("browser.safebrowsing.phishing.enabled", false);
user_pref("browser.sessionstore.resume_from_crash", false);
user_pref("network.proxy.type", 1);
user_pref("network.proxy.http", "127.0.0.1");
user_pref("network.proxy.http_port", 9);
user_pref("network.proxy.ssl", "127.0.0.1");
user_pref("network.proxy.ssl_port", 9);
)";

using namespace std::chrono_literals;

// Generous: the machine is shared, and a failing condition only costs this once.
inline constexpr std::chrono::milliseconds kTimeout = 30s;

// The fixtures' polling wait, with the journeys' timeout by default.
inline bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kTimeout) {
  return testing::waitUntil(condition, timeout);
}

using testing::activeWindow;
using testing::Exit;
using testing::Process;
using testing::run;
using testing::xdotool;

struct WindowFrame {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The first visible X window whose title matches the regular expression `pattern` (and that
// process `pid` owns, when given), as xdotool finds it.
[[nodiscard]] std::optional<std::string> windowNamed(const std::string& pattern,
                                                     std::optional<pid_t> pid = {});
// The visible X window of process `pid` whose title is exactly `title`.
[[nodiscard]] inline std::optional<std::string> visibleWindow(pid_t pid, const std::string& title) {
  return windowNamed("^" + title + "$", pid);
}
// The client area of an X window on the root, as xwininfo sees it.
[[nodiscard]] std::optional<WindowFrame> windowFrame(const std::string& window);
// The root window's work area (_NET_WORKAREA).
[[nodiscard]] std::optional<WindowFrame> workArea();
// The caret's line in program `pid`'s X window `window`, from its left edge to the caret, on screen:
// the caret's box in window coordinates from this process's own accessibility client (times the
// `scale` the program was started with), placed by the window's X11 geometry.
[[nodiscard]] std::optional<WindowFrame> caretLine(pid_t pid, const std::string& window, int scale = 1);
// What is wrong with the panel's X11 geometry, "" when nothing: in the work area, off `line`.
[[nodiscard]] std::string panelPlacementFault(const WindowFrame& line, const std::string& overlay);
// Whether the window manager stacks window `upper` above window `lower` (both as xdotool
// prints them), from the root window's _NET_CLIENT_LIST_STACKING.
[[nodiscard]] bool stackedAbove(const std::string& upper, const std::string& lower);

// The CLIPBOARD selection converted to `target`, read with xclip; absent when nobody owns it or
// the owner refuses the target.
[[nodiscard]] std::optional<std::string> clipboard(const std::string& target = "UTF8_STRING");

// The loopback model service: records every request and answers each with `candidates` as an
// OpenAI chat completion whose content is the {"candidates": [...]} envelope, `delay` after the
// request arrived.
class ModelService {
 public:
  // Answers after `delay`; a request asking for a stream gets the candidates one by one over it.
  // A request without a key gets a 401.
  explicit ModelService(std::vector<std::string> candidates, std::chrono::milliseconds delay = 0ms);

  // The address to configure as the OpenAI-compatible base URL.
  [[nodiscard]] std::string baseURL() const { return server_.url(); }
  [[nodiscard]] std::vector<testing::RecordedRequest> requests() const { return server_.requests(); }
  // The text of every message of request `index`, joined.
  [[nodiscard]] std::string promptOf(std::size_t index) const;
  // The delay of the answers to requests that come from now on.
  void setDelay(std::chrono::milliseconds delay);
  // When each request had been read in full, in order.
  [[nodiscard]] std::vector<std::chrono::steady_clock::time_point> arrivals() const;

 private:
  struct Arrivals;
  std::shared_ptr<Arrivals> arrivals_;
  testing::TestHttpServer server_;
};

// Accessibility views of another process, read over AT-SPI (libatspi in this process).
namespace atspi {

struct Node {
  std::string role;  // AT-SPI role name, e.g. "push button"
  std::string name;
  std::string text;  // the Text interface's whole content, when it has one
  bool hasText = false;
  bool showing = false;
  bool focused = false;
  // Focused text only: the box of the character at (or before) the caret in window coordinates,
  // when told; where the toolkit gives no height, the distance to the next line is its height.
  std::optional<WindowFrame> caret;
  bool caretOnScreen = false;  // the toolkit answered the same in screen coordinates (Qt 6)
  // Windows only: the window's own box in window coordinates.
  std::optional<WindowFrame> windowBox;
};
// Every node under the application of `pid`, depth first; empty when it is not on the bus.
[[nodiscard]] std::vector<Node> nodes(pid_t pid);
// One line per node ("role 'name' 'text' [showing] [focused]"), for failure messages.
[[nodiscard]] std::string dump(pid_t pid);
// Whether any element of `pid`, shown or not (GTK 4 marks none as showing), holds `fragment`.
[[nodiscard]] bool holdsText(pid_t pid, const std::string& fragment);
// True when a showing node's name or text contains `fragment`.
[[nodiscard]] bool shows(pid_t pid, const std::string& fragment);
// Waits until `shows(pid, fragment)`.
[[nodiscard]] bool waitForShown(pid_t pid, const std::string& fragment,
                                std::chrono::milliseconds timeout = kTimeout);
// Below, an empty `role` matches any role.
// The screen frame of the first node with this role and name.
[[nodiscard]] std::optional<WindowFrame> frameOf(pid_t pid, const std::string& role, const std::string& name);
// Clicks (its "Press" or "Toggle" action) the first node with this role and name, showing unless told.
[[nodiscard]] bool press(pid_t pid, const std::string& role, const std::string& name,
                         bool showingOnly = true);
// Puts the caret at the end of the first showing node with this role and name, nothing selected
// (where no keys can be sent: native Wayland programs).
[[nodiscard]] bool placeCaret(pid_t pid, const std::string& role, const std::string& name);
// Clicks the middle of the first node with this role and name with the pointer (xdotool).
[[nodiscard]] bool click(pid_t pid, const std::string& role, const std::string& name);

}  // namespace atspi

// The real `wrenfold` with its own data folder (XDG_DATA_HOME) and its AT-SPI tree exposed.
class Wrenfold {
 public:
  Wrenfold();

  // Writes config.json: the OpenAI-compatible provider at `baseURL`, with `apiKey`.
  void configure(const std::string& baseURL, const std::string& apiKey) const;
  // Starts the tray application and waits until it has launched (its log says so).
  void start();
  [[nodiscard]] Process& process() { return *process_; }
  // Ends it as the session would (SIGTERM); its exit status, absent when it was never started.
  [[nodiscard]] std::optional<int> stop();
  [[nodiscard]] pid_t pid() const { return process_ ? process_->pid() : -1; }
  // Runs `wrenfold ARGS...` with the same environment, to its end.
  [[nodiscard]] Exit command(const std::vector<std::string>& arguments) const;

  [[nodiscard]] std::filesystem::path dataFolder() const { return dataHome_.path() / "Wrenfold"; }
  // The records of a line-per-record file under the data folder (events/..., style/...).
  [[nodiscard]] std::vector<json::Json> records(const std::string& relativePath) const;
  // The "event" names of events/local-events.jsonl, in order.
  [[nodiscard]] std::vector<std::string> events() const;
  [[nodiscard]] std::optional<json::Json> config() const;

  // The overlay panel's window, once visible.
  [[nodiscard]] std::optional<std::string> overlayWindow() const { return visibleWindow(pid(), "Wrenfold"); }
  [[nodiscard]] std::optional<std::string> waitForOverlay() const;

 private:
  [[nodiscard]] std::vector<std::string> environment() const;

  testing::TempDir dataHome_;
  std::unique_ptr<Process> process_;
};

// The GTK fixture in `mode` holding `draft`, its window on screen and active, the caret at the
// end of the draft with nothing selected.
[[nodiscard]] std::unique_ptr<testing::FixtureApp> startTarget(const std::string& mode,
                                                               const std::string& draft,
                                                               const std::filesystem::path& reportDir);

}  // namespace wrenfold::e2e
