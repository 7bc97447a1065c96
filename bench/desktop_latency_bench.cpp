// From the Alt double tap to the candidates, in real programs on a real desktop (run it under
// scripts/desktop-session): the real `wrenfold`, a loopback model service that answers after a
// fixed delay, and each program holding a line of text with the caret at its end.
//
// Per program and configuration variant, the medians over the runs, from the moment the second
// Alt release has been sent to the X server (XTest, flushed):
//   panel     the panel's X window is viewable (the X server's own view, polled every 1 ms)
//   request   the model service has read the whole request (its own clock)
//   first     the first candidate is showing in the panel's accessibility tree
//   all       every candidate is showing there
//   own text  the share of runs whose request held the program's own line (not only a screenshot)
//   MiB       Wrenfold's resident memory after the runs (VmRSS)
// "first" and "all" come from this process's own AT-SPI client, never from Wrenfold's claims:
// the accessibility events Wrenfold's panel sends as its candidate rows get their text (names,
// text and children changing), each checked against the candidates when it is dispatched here.
// The loop dispatches them every millisecond, so the figure is the arrival plus at most that.
//
// The baseline, measured in the same run: a plain key press sent the same way reaching a trivial
// X11 window of this process over a second connection. Every figure is also given as a ratio to it.
//
// Usage: desktop_latency_bench [--runs N] [--delay MS] [--only SUBSTRING] [--load N]
//                              [--variant NAME='{"json":"merged into config.json"}']...
// With --load, N processes spinning on the processor run beside everything (as a compile
// would), the baseline included.
// Without --variant, "default" runs the plain configuration and "streaming" the same with streamed
// replies (the service then writes the candidates one by one over the delay, the last at its end).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <atspi/atspi.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/support/json.h"
#include "core/trigger/double_tap_detector.h"
#include "e2e_harness.h"

namespace wrenfold::bench {
namespace {

using namespace std::chrono_literals;
using e2e::Exit;
using e2e::Process;
using e2e::run;
using e2e::waitUntil;
using e2e::xdotool;
using Clock = std::chrono::steady_clock;

const std::vector<std::string> kCandidates{
    "基准候选一：周五下午三点可以。", "基准候选二：收到，我会准时参加。", "基准候选三：没问题，谢谢提醒。"};
constexpr const char* kDraft = "明天的发布会改到几点？请在今晚前确认，";

struct Program {
  std::string name;
  std::string executable;
  std::vector<std::string> arguments;  // "@FILE" stands for the program's text file
  std::string windowName;              // a regular expression xdotool matches the title with
};

std::vector<Program> programs(const std::filesystem::path& dir) {
  std::vector<std::string> chromium{"--user-data-dir=" + (dir / "chromium-profile").string(),
                                    "--no-first-run",
                                    "--no-default-browser-check",
                                    "--password-store=basic",
                                    "--disable-gpu",
                                    "--disable-background-networking",
                                    "--disable-component-update",
                                    "--disable-sync",
                                    "--host-resolver-rules=MAP * ~NOTFOUND",
                                    "--proxy-server=127.0.0.1:9",
                                    "--force-renderer-accessibility",
                                    "@PAGE"};
  if (::geteuid() == 0) {
    chromium.insert(chromium.begin(), "--no-sandbox");
  }
  return {
      {"mousepad (GTK 3)", "mousepad", {"@FILE"}, "bench-mousepad"},
      {"gedit (GTK 3)", "gedit", {"--standalone", "@FILE"}, "bench-gedit"},
      {"GNOME Text Editor (GTK 4)", "gnome-text-editor", {"--standalone", "@FILE"}, "bench-gte"},
      {"KWrite (Qt 5)", "kwrite", {"@FILE"}, "bench-kwrite"},
      {"LibreOffice Writer", "lowriter", {"--norestore", "--nologo", "@FILE"}, "bench-writer"},
      {"Firefox ESR",
       "firefox-esr",
       {"-profile", (dir / "firefox-profile").string(), "-no-remote", "@PAGE"},
       "bench-firefox"},
      {"Chromium", testing::kChromium, chromium, "bench-chromium"},
  };
}

// The browsers: a page titled after the program whose textarea takes the focus itself, a
// profile that stays off the network.
std::string page(const std::string& title) {
  return "<!doctype html><html><head><meta charset=\"utf-8\"><title>" + title +
         "</title></head><body><textarea id=\"ta\" aria-label=\"draft\" rows=\"4\" cols=\"50\" autofocus>" +
         kDraft + "</textarea></body></html>";
}

struct Variant {
  std::string name;
  json::Json overrides = json::Json::object();
};

struct Options {
  int runs = 7;
  std::chrono::milliseconds delay{300};
  std::string only;
  int load = 0;  // busy processes beside the programs
  std::vector<Variant> variants;
};

double milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

double median(std::vector<double> values) {
  if (values.empty()) {
    return 0.0;
  }
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

// The X server as this process sees it: one connection that sends keys, one that owns the
// baseline's window and polls the panel's state.
class X11Probe {
 public:
  X11Probe() : sender_(XOpenDisplay(nullptr)), receiver_(XOpenDisplay(nullptr)) {
    if (sender_ == nullptr || receiver_ == nullptr) {
      throw std::runtime_error("cannot open the X display");
    }
  }
  ~X11Probe() {
    XCloseDisplay(sender_);
    XCloseDisplay(receiver_);
  }
  X11Probe(const X11Probe&) = delete;
  X11Probe& operator=(const X11Probe&) = delete;

  // Sends a press and release of `keysym`; returns when the server has them.
  Clock::time_point tap(KeySym keysym) {
    const KeyCode code = XKeysymToKeycode(sender_, keysym);
    XTestFakeKeyEvent(sender_, code, True, CurrentTime);
    XFlush(sender_);
    std::this_thread::sleep_for(12ms);  // as xdotool types
    XTestFakeKeyEvent(sender_, code, False, CurrentTime);
    XFlush(sender_);
    return Clock::now();
  }

  // Median time from a key press leaving this process to its arrival at a window of this process.
  double baseline(int runs) {
    const Window window =
        XCreateSimpleWindow(receiver_, DefaultRootWindow(receiver_), 0, 0, 200, 100, 0, 0, 0);
    XStoreName(receiver_, window, "bench-baseline");
    XSelectInput(receiver_, window, KeyPressMask);
    XMapWindow(receiver_, window);
    XFlush(receiver_);
    if (!waitUntil(
            [] {
              return xdotool({"search", "--sync", "--name", "^bench-baseline$", "windowactivate", "--sync"});
            },
            10s)) {
      throw std::runtime_error("the baseline window never became active");
    }
    std::vector<double> times;
    for (int i = 0; i < runs + 1; ++i) {
      const KeyCode code = XKeysymToKeycode(sender_, XK_a);
      // Nothing of an earlier press may count for this one.
      XSync(receiver_, False);
      while (XPending(receiver_) > 0) {
        XEvent stale;
        XNextEvent(receiver_, &stale);
      }
      XTestFakeKeyEvent(sender_, code, True, CurrentTime);
      XFlush(sender_);
      const auto sent = Clock::now();
      bool arrived = false;
      while (!arrived && Clock::now() - sent < 5s) {
        pollfd descriptor{ConnectionNumber(receiver_), POLLIN, 0};
        if (XPending(receiver_) == 0) {
          static_cast<void>(::poll(&descriptor, 1, 100));
        }
        while (XPending(receiver_) > 0) {
          XEvent event;
          XNextEvent(receiver_, &event);
          arrived = arrived || (event.type == KeyPress && event.xkey.keycode == code);
        }
      }
      const auto took = Clock::now() - sent;
      XTestFakeKeyEvent(sender_, code, False, CurrentTime);
      XFlush(sender_);
      if (i > 0) {  // the first one also pays for the connections' warm-up
        times.push_back(milliseconds(took));
      }
      std::this_thread::sleep_for(20ms);
    }
    XDestroyWindow(receiver_, window);
    XFlush(receiver_);
    return median(times);
  }

  [[nodiscard]] bool viewable(Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(receiver_, window, &attributes) != 0 && attributes.map_state == IsViewable;
  }

 private:
  Display* sender_;
  Display* receiver_;
};

struct Sample {
  double panel = 0;
  double request = 0;
  double first = 0;
  double all = 0;
  bool ownText = false;
  bool confirmed = false;  // the insertion read back from the program ("inserted")
};

// Watches the accessibility events of one process for the candidates' text.
class CandidateWatch {
 public:
  CandidateWatch() : listener_(atspi_event_listener_new(&CandidateWatch::onEvent, this, nullptr)) {
    static_cast<void>(e2e::atspi::nodes(getpid()));  // connects this process to the bus
    for (const char* type : kEvents) {
      static_cast<void>(atspi_event_listener_register(listener_, type, nullptr));
    }
  }
  ~CandidateWatch() {
    for (const char* type : kEvents) {
      static_cast<void>(atspi_event_listener_deregister(listener_, type, nullptr));
    }
    g_object_unref(listener_);
  }
  CandidateWatch(const CandidateWatch&) = delete;
  CandidateWatch& operator=(const CandidateWatch&) = delete;

  // Starts watching `pid` afresh, once what was queued before has been dropped.
  void arm(pid_t pid) {
    armed_ = false;
    testing::pumpEvents();
    pid_ = pid;
    seen_.clear();
    first_.reset();
    all_.reset();
    armed_ = true;
  }
  void disarm() { armed_ = false; }
  [[nodiscard]] const std::optional<Clock::time_point>& first() const { return first_; }
  [[nodiscard]] const std::optional<Clock::time_point>& all() const { return all_; }

 private:
  static constexpr std::array<const char*, 4> kEvents{"object:property-change:accessible-name",
                                                      "object:children-changed", "object:text-changed",
                                                      "object:state-changed:showing"};

  static void onEvent(AtspiEvent* event, void* self) {
    if (event != nullptr) {
      static_cast<CandidateWatch*>(self)->handle(*event);
      g_boxed_free(atspi_event_get_type(), event);
    }
  }

  void handle(const AtspiEvent& event) {
    const auto at = Clock::now();
    if (!armed_ || event.source == nullptr || std::string_view(event.type).ends_with(":remove")) {
      return;
    }
    AtspiAccessible* child = G_VALUE_HOLDS(&event.any_data, ATSPI_TYPE_ACCESSIBLE)
                                 ? static_cast<AtspiAccessible*>(g_value_get_object(&event.any_data))
                                 : nullptr;
    for (AtspiAccessible* node : {event.source, child}) {
      if (node == nullptr || static_cast<pid_t>(atspi_accessible_get_process_id(node, nullptr)) != pid_) {
        continue;
      }
      std::string words = owned(atspi_accessible_get_name(node, nullptr));
      if (AtspiText* text = atspi_accessible_get_text_iface(node)) {
        words += owned(atspi_text_get_text(text, 0, -1, nullptr));
        g_object_unref(text);
      }
      for (std::size_t i = 0; i < kCandidates.size(); ++i) {
        if (words.find(kCandidates[i]) != std::string::npos) {
          seen_.insert(i);
        }
      }
    }
    if (!seen_.empty() && !first_) {
      first_ = at;
    }
    if (seen_.size() == kCandidates.size() && !all_) {
      all_ = at;
    }
  }

  static std::string owned(gchar* text) {
    std::string copy = text != nullptr ? text : "";
    g_free(text);
    return copy;
  }

  AtspiEventListener* listener_;
  bool armed_ = false;
  pid_t pid_ = -1;
  std::set<std::size_t> seen_;
  std::optional<Clock::time_point> first_;
  std::optional<Clock::time_point> all_;
};

class LatencyBench {
 public:
  explicit LatencyBench(Options options) : options_(std::move(options)) {}

  int runAll() {
    std::vector<std::unique_ptr<Process>> busy;
    for (int i = 0; i < options_.load; ++i) {
      busy.push_back(std::make_unique<Process>(std::vector<std::string>{"sh", "-c", "while :; do :; done"}));
    }
    if (!busy.empty()) {
      std::this_thread::sleep_for(5s);  // for the load average to show them
      std::printf("busy processes beside the programs: %d\n", options_.load);
    }
    // The machine's load, as the figures depend on it.
    std::printf("load average: %s", testing::readAll("/proc/loadavg").c_str());
    const double baseline = probe_.baseline(options_.runs);
    std::printf("baseline: key press to a trivial X11 window %.3f ms (median of %d)\n\n", baseline,
                options_.runs);
    std::printf("%-28s %-12s %9s %9s %9s %9s %9s %9s %7s   ratios to the baseline\n", "program", "variant",
                "panel", "request", "first", "all", "own text", "confirmed", "MiB");
    for (const auto& program : programs(dir_.path())) {
      if (!options_.only.empty() && program.name.find(options_.only) == std::string::npos) {
        continue;
      }
      if (run({"which", program.executable}).status != 0) {
        std::printf("%-28s not installed, skipped\n", program.name.c_str());
        continue;
      }
      auto process = start(program);
      if (!process) {
        std::printf("%-28s did not show its window, skipped\n", program.name.c_str());
        continue;
      }
      for (const auto& variant : options_.variants) {
        const auto samples = measure(program, variant);
        if (samples.empty()) {
          std::printf("%-28s %-12s no complete run\n", program.name.c_str(), variant.name.c_str());
          continue;
        }
        auto column = [&](double Sample::*field) {
          std::vector<double> values;
          for (const auto& sample : samples) {
            values.push_back(sample.*field);
          }
          return median(values);
        };
        const Sample m{column(&Sample::panel), column(&Sample::request), column(&Sample::first),
                       column(&Sample::all)};
        const auto own = std::ranges::count_if(samples, [](const Sample& sample) { return sample.ownText; });
        const auto confirmed =
            std::ranges::count_if(samples, [](const Sample& sample) { return sample.confirmed; });
        std::printf(
            "%-28s %-12s %9.1f %9.1f %9.1f %9.1f %7td/%zu %7td/%zu %7.0f   %.0fx %.0fx %.0fx %.0fx  (%zu "
            "runs)\n",
            program.name.c_str(), variant.name.c_str(), m.panel, m.request, m.first, m.all, own,
            samples.size(), confirmed, samples.size(), residentMiB_, m.panel / baseline, m.request / baseline,
            m.first / baseline, m.all / baseline, samples.size());
        std::fflush(stdout);
      }
    }
    return 0;
  }

 private:
  std::unique_ptr<Process> start(const Program& program) {
    const auto file = dir_.path() / (program.windowName + ".txt");
    testing::writeAll(file, std::string(kDraft) + "\n");
    const auto pageFile = dir_.path() / (program.windowName + ".html");
    testing::writeAll(pageFile, page(program.windowName));
    std::filesystem::create_directories(dir_.path() / "firefox-profile");
    testing::writeAll(dir_.path() / "firefox-profile" / "user.js", e2e::kFirefoxTestPrefs);
    std::vector<std::string> argv{program.executable};
    for (const auto& argument : program.arguments) {
      argv.push_back(argument == "@FILE"   ? file.string()
                     : argument == "@PAGE" ? "file://" + pageFile.string()
                                           : argument);
    }
    // A group of its own: LibreOffice's window and Chromium's pages belong to its children.
    auto process = std::make_unique<Process>(
        argv,
        std::vector<std::string>{"XDG_DATA_HOME=" + (dir_.path() / "data").string(),
                                 "XDG_STATE_HOME=" + (dir_.path() / "state").string()},
        true);
    const bool shown = waitUntil(
        [&] {
          const Exit found = run({"xdotool", "search", "--onlyvisible", "--name", program.windowName});
          if (found.status != 0 || found.output.empty()) {
            return false;
          }
          window_ = found.output.substr(0, found.output.find('\n'));
          return true;
        },
        180s);
    if (!shown) {
      return nullptr;
    }
    // Slow starters build their accessibility tree after the window shows.
    std::this_thread::sleep_for(3s);
    static_cast<void>(xdotool({"windowactivate", "--sync", window_}));
    static_cast<void>(xdotool({"key", "ctrl+End"}));
    return process;
  }

  void startWrenfold(const Variant& variant, const e2e::ModelService& model) {
    wrenfold_ = std::make_unique<e2e::Wrenfold>();
    wrenfold_->configure(model.baseURL(), "sk-bench-loopback");
    const auto path = wrenfold_->dataFolder() / "config.json";
    auto config = json::parse(testing::readAll(path));
    if (!config) {
      throw std::runtime_error("config.json does not decode");
    }
    config->merge_patch(variant.overrides);
    testing::writeAll(path, json::dumpPretty(*config));
    wrenfold_->start();
  }

  // One trigger; nullopt when a stage never came.
  std::optional<Sample> cycle(e2e::ModelService& model, std::optional<Window>& panel) {
    static_cast<void>(xdotool({"windowactivate", "--sync", window_}));
    std::this_thread::sleep_for(DoubleTapDetector::kTriggerDebounce + 100ms);
    const std::size_t requestsBefore = model.arrivals().size();
    probe_.tap(XK_Alt_L);
    std::this_thread::sleep_for(40ms);
    const auto sent = probe_.tap(XK_Alt_L);

    Sample sample;
    const auto deadline = sent + 15s;
    // The panel: its window is known after the first cycle; the first cycle finds it by name.
    while (Clock::now() < deadline) {
      if (panel ? probe_.viewable(*panel) : (panel = overlayWindow()).has_value()) {
        sample.panel = milliseconds(Clock::now() - sent);
        break;
      }
      std::this_thread::sleep_for(1ms);
    }
    if (!waitUntil([&] { return model.arrivals().size() > requestsBefore; }, 15s)) {
      return std::nullopt;
    }
    const auto arrived = model.arrivals()[requestsBefore];
    sample.request = milliseconds(arrived - sent);
    sample.ownText = model.promptOf(requestsBefore).find(kDraft) != std::string::npos;
    // Queued events from before the answer (the rows of the last cycle being cleared) are dropped.
    watch_.arm(wrenfold_->pid());
    while (Clock::now() < deadline && !watch_.all()) {
      testing::pumpEvents();
      std::this_thread::sleep_for(1ms);
    }
    watch_.disarm();
    if (watch_.first()) {
      sample.first = milliseconds(*watch_.first() - sent);
    }
    if (watch_.all()) {
      sample.all = milliseconds(*watch_.all() - sent);
    }
    // The first candidate chosen, as a user would: confirmed when Wrenfold read it back from the
    // program. Then wait until the panel is gone, so the next cycle starts from the program.
    const std::size_t insertsBefore = insertModes().size();
    const std::string panelID = panel ? std::to_string(*panel) : "";
    if (waitUntil([&] { return e2e::activeWindow() == panelID; }, 3s) && xdotool({"key", "Return"}) &&
        waitUntil([&] { return insertModes().size() > insertsBefore; }, 10s)) {
      const std::string mode = insertModes()[insertsBefore];
      sample.confirmed = mode == "inserted";
      if (!sample.confirmed) {
        // Wrenfold's log says what each way of inserting gave.
        const auto log = testing::readAll(wrenfold_->dataFolder() / "logs" / "app.log");
        const auto line = log.rfind("insert into");
        std::fprintf(stderr, "insertion %s, not confirmed: %s\n", mode.c_str(),
                     line == std::string::npos ? "" : log.substr(line, log.find('\n', line) - line).c_str());
      }
    } else {
      std::fprintf(stderr, "no insertion\n");
      static_cast<void>(xdotool({"key", "Escape"}));
    }
    static_cast<void>(waitUntil([&] { return !panel || !probe_.viewable(*panel); }, 5s));
    if (sample.panel == 0 || sample.all == 0) {
      return std::nullopt;
    }
    return sample;
  }

  // The modes of the insertions so far: "inserted", "pasted" or "copied".
  [[nodiscard]] std::vector<std::string> insertModes() const {
    std::vector<std::string> modes;
    for (const auto& record : wrenfold_->records("events/local-events.jsonl")) {
      if (record.value("event", "") == "insert.success") {
        modes.push_back(record.value("mode", ""));
      }
    }
    return modes;
  }

  std::optional<Window> overlayWindow() const {
    const auto found = wrenfold_->overlayWindow();
    if (!found) {
      return std::nullopt;
    }
    return static_cast<Window>(std::stoul(*found));
  }

  std::vector<Sample> measure(const Program& program, const Variant& variant) {
    e2e::ModelService model(kCandidates, options_.delay);
    startWrenfold(variant, model);
    std::optional<Window> panel;
    std::vector<Sample> samples;
    // The first cycle warms up: the panel's window is created, libraries and the program's tree
    // are read for the first time.
    for (int i = 0; i < options_.runs + 1; ++i) {
      const auto sample = cycle(model, panel);
      if (sample && i > 0) {
        samples.push_back(*sample);
      } else if (!sample) {
        std::fprintf(stderr, "%s: run %d incomplete\n", program.name.c_str(), i);
      }
    }
    residentMiB_ = residentMiB(wrenfold_->pid());
    static_cast<void>(wrenfold_->stop());
    wrenfold_.reset();
    return samples;
  }

  // What the process holds in memory (VmRSS), in MiB; 0 when it cannot be read.
  static double residentMiB(pid_t pid) {
    const std::string status = testing::readAll("/proc/" + std::to_string(pid) + "/status");
    const auto at = status.find("VmRSS:");
    return at == std::string::npos ? 0 : std::strtod(status.c_str() + at + 6, nullptr) / 1024;
  }

  Options options_;
  double residentMiB_ = 0;
  testing::TempDir dir_;
  X11Probe probe_;
  CandidateWatch watch_;
  std::unique_ptr<e2e::Wrenfold> wrenfold_;
  std::string window_;
};

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const std::string value = i + 1 < argc ? argv[i + 1] : "";
    if (argument == "--runs") {
      options.runs = std::max(1, std::atoi(value.c_str()));
      ++i;
    } else if (argument == "--delay") {
      options.delay = std::chrono::milliseconds(std::atoi(value.c_str()));
      ++i;
    } else if (argument == "--load") {
      options.load = std::clamp(std::atoi(value.c_str()), 0, 64);
      ++i;
    } else if (argument == "--only") {
      options.only = value;
      ++i;
    } else if (argument == "--variant") {
      const auto equals = value.find('=');
      auto overrides = json::parse(equals == std::string::npos ? "{}" : value.substr(equals + 1));
      if (!overrides || !overrides->is_object()) {
        throw std::runtime_error("--variant wants NAME='{...}' with a JSON object: " + value);
      }
      options.variants.push_back({value.substr(0, equals), *overrides});
      ++i;
    } else {
      throw std::runtime_error("unknown argument " + argument);
    }
  }
  if (options.variants.empty()) {
    options.variants.push_back({"default"});
    options.variants.push_back({"streaming", json::Json{{"streamReplies", true}}});
  }
  return options;
}

}  // namespace
}  // namespace wrenfold::bench

int main(int argc, char** argv) {
  if (std::getenv("DISPLAY") == nullptr) {
    std::cerr << "no desktop: run under scripts/desktop-session\n";
    return 77;
  }
  try {
    wrenfold::bench::LatencyBench bench(wrenfold::bench::parse(argc, argv));
    return bench.runAll();
  } catch (const std::exception& error) {
    std::cerr << "desktop_latency_bench: " << error.what() << "\n";
    return 1;
  }
}
