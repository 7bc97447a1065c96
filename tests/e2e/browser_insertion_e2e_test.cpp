// The whole cycle in real browsers: a double tap of Alt in a page's field, the loopback model
// service, Down and Return in the overlay, and the candidate in the field. The witness is the
// page's own script, which copies every field into the window title on each input event; the
// title is read from the X server, never through Wrenfold; the panel must lie off the caret's line
// (the first field is on the page's first line, the second in its middle). One browser start per
// desktop session: the fields of one page take turns.
#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "journey_test.h"

namespace wrenfold::e2e {
namespace {

using namespace std::chrono_literals;

// Browsers start slowly on a loaded machine.
constexpr auto kBrowserStart = 180s;
constexpr const char* kApiKey = "sk-e2e-loopback";
const std::vector<std::string> kCandidates{"收到，我会准时参加 😀", "好的，三点见👍，材料稍后发你。",
                                           "好的，周五前发给您。\n谢谢！Thanks"};

// The page: every input event writes all three fields into the title, "ta=...|in=...|ce=...|"
// (the browser appends its own name after the last bar); "B:" before it when opened as page#b.
constexpr const char* kPage = R"(<!doctype html>
<html><head><meta charset="utf-8"><title>loading</title>
<script>
function report() {
  document.title = (location.hash == '#b' ? 'B:' : '') + 'ta=' + document.getElementById('ta').value + '|in=' +
      document.getElementById('in').value + '|ce=' + document.getElementById('ce').textContent + '|';
}
window.addEventListener('load', function () {
  ['ta', 'in', 'ce'].forEach(function (id) { document.getElementById(id).addEventListener('input', report); });
  report();
  if (location.hash == '#autofocus') {
    var ta = document.getElementById('ta');
    ta.focus();
    ta.setSelectionRange(ta.value.length, ta.value.length);
  }
});
</script></head>
<body>
<textarea id="ta" aria-label="draft" rows="4" cols="50">周五的评审改到下午三点，</textarea>
<p style="margin-top: 40vh"><input id="in" aria-label="subject" size="40" value="会议主题："></p>
<div id="ce" contenteditable="true" aria-label="note" style="border: 1px solid #888; min-height: 3em">笔记：</div>
</body></html>
)";

struct Field {
  const char* key;   // its part of the title
  const char* role;  // as the browsers expose it over AT-SPI
  const char* name;
  const char* draft;
  std::size_t choice;   // the candidate chosen in it
  const char* arrives;  // and what it holds of it: the single-line field takes one line
};
const std::vector<Field> kFields{
    {"ta", "entry", "draft", "周五的评审改到下午三点，", 1, "好的，三点见👍，材料稍后发你。"},
    {"in", "entry", "subject", "会议主题：", 2, "好的，周五前发给您。 谢谢！Thanks"},
    {"ce", "section", "note", "笔记：", 1, "好的，三点见👍，材料稍后发你。"}};

struct Browser {
  const char* name;
  const char* program;
  const char* package;
  bool forceAccessibility;
};

class BrowserInsertion : public JourneyTest, public ::testing::WithParamInterface<Browser> {
 protected:
  void SetUp() override {
    JourneyTest::SetUp();
    if (!IsSkipped() && ::access(GetParam().program, X_OK) != 0) {
      GTEST_SKIP() << GetParam().program << " is not installed (Debian package " << GetParam().package
                   << "; see scripts/install-deps)";
    }
  }

  void TearDown() override {
    browser_.reset();
    JourneyTest::TearDown();
  }

  void startBrowser() {
    const auto page = reports_.path() / "fields.html";
    testing::writeAll(page, kPage);
    // Without an accessibility tree the test cannot find a field to click: the page focuses one.
    const std::string url = "file://" + page.string() + (GetParam().forceAccessibility ? "" : "#autofocus");
    if (std::string(GetParam().name).starts_with("firefox")) {
      const auto profile = reports_.path() / "firefox-profile";
      std::filesystem::create_directories(profile);
      testing::writeAll(profile / "user.js", kFirefoxTestPrefs);
      browser_ = std::make_unique<Process>(
          std::vector<std::string>{GetParam().program, "-profile", profile.string(), "-no-remote", url});
    } else {
      browser_ = testing::startChromium(reports_.path(), url, GetParam().forceAccessibility);
    }
    // The browser's window showing the page: its title starts with the page's own report.
    ASSERT_TRUE(waitUntil([&] { return (window_ = windowNamed("^ta=")).has_value(); }, kBrowserStart))
        << GetParam().name << " did not show the page: " << browser_->output();
  }

  // The field's value as the page reports it in the title.
  [[nodiscard]] std::string reported(const Field& field,
                                     const std::optional<std::string>& window = {}) const {
    const std::string title = run({"xdotool", "getwindowname", window.value_or(*window_)}).output;
    const std::string key = std::string(field.key) + "=";
    const auto start = title.find(key);
    const auto end = title.find('|', start);
    return start == std::string::npos || end == std::string::npos
               ? std::string()
               : title.substr(start + key.size(), end - start - key.size());
  }

  // Puts the caret at the end of `field`, as a user clicking into it and pressing Ctrl+End.
  void focus(const Field& field) {
    ASSERT_TRUE(xdotool({"windowactivate", "--sync", *window_}));
    ASSERT_TRUE(waitUntil([&] { return atspi::click(browser_->pid(), field.role, field.name); }))
        << atspi::dump(browser_->pid());
    ASSERT_TRUE(xdotool({"key", "ctrl+End"}));
  }

  // One cycle from the double tap to Return on candidate `choice`, the panel off the caret line;
  // `meanwhile` is what the user does while the model answers.
  void chooseCandidate(std::size_t choice, const std::function<void()>& meanwhile = {}) {
    // The page tells its caret a moment after the keys moved it (the first field, just loaded).
    std::optional<WindowFrame> line;
    if (GetParam().forceAccessibility) {
      static_cast<void>(
          waitUntil([&] { return (line = caretLine(browser_->pid(), *window_)).has_value(); }, 5s));
    }
    EXPECT_EQ(line.has_value(), GetParam().forceAccessibility) << atspi::dump(browser_->pid());
    doubleTapAlt();
    if (meanwhile) {
      meanwhile();
    }
    const std::string& chosen = kCandidates[choice];
    ASSERT_TRUE(atspi::waitForShown(wrenfold_.pid(), chosen.substr(0, chosen.find('\n'))))
        << atspi::dump(wrenfold_.pid());
    const auto overlay = wrenfold_.waitForOverlay();
    ASSERT_TRUE(overlay);
    // Measured again as the page stands with the panel up: on a busy machine Firefox shows and
    // hides its menu bar for the Alt taps late, and the page moves by its height meanwhile.
    std::optional<WindowFrame> now;
    if (line && waitUntil([&] { return (now = caretLine(browser_->pid(), *window_)).has_value(); }, 2s)) {
      line = now;
    }
    EXPECT_EQ(line ? panelPlacementFault(*line, *overlay) : "", "")
        << testing::readAll(wrenfold_.dataFolder() / "logs" / "app.log");
    std::vector<std::string> keys(choice, "Down");
    keys.emplace_back("Return");
    ASSERT_TRUE(pressInOverlay(keys));
  }

  [[nodiscard]] std::vector<std::string> insertModes() const {
    std::vector<std::string> modes;
    for (const auto& record : wrenfold_.records("events/local-events.jsonl")) {
      if (record.value("event", "") == "insert.success") {
        modes.push_back(record.value("mode", ""));
      }
    }
    return modes;
  }

  std::unique_ptr<Process> browser_;
  std::optional<std::string> window_;
};

TEST_P(BrowserInsertion, TheChosenCandidateArrivesInEveryKindOfField) {
  if (!GetParam().forceAccessibility) {
    GTEST_SKIP() << "this browser shows no page to accessibility";
  }
  ModelService model(kCandidates);
  start(model, kApiKey);
  startBrowser();
  ASSERT_TRUE(window_);

  for (std::size_t i = 0; i < kFields.size(); ++i) {
    const Field& field = kFields[i];
    SCOPED_TRACE(field.key);
    focus(field);
    chooseCandidate(field.choice);
    const std::string expected = std::string(field.draft) + field.arrives;
    EXPECT_TRUE(waitUntil([&] { return reported(field) == expected; }))
        << "the page reports '" << reported(field) << "'";
    EXPECT_NE(model.promptOf(i).find(field.draft), std::string::npos)
        << "the request lacks the field's text: " << model.promptOf(i);
    ASSERT_TRUE(waitUntil([&] { return insertModes().size() == i + 1; }));
    EXPECT_EQ(insertModes().back(), "inserted")
        << testing::readAll(wrenfold_.dataFolder() / "logs" / "app.log");
  }

  const auto log = testing::readAll(wrenfold_.dataFolder() / "logs" / "app.log");
  EXPECT_NE(log.find("paste"), std::string::npos) << "no insertion in the log:\n" << log;
  EXPECT_EQ(log.find(kCandidates[1]), std::string::npos) << "the candidate reached the log";

  // Window B of the same browser shows the page too (asked for a new window, as a link opened
  // in one). The cycle starts in A's note (its caret still there); the user goes into B while
  // the model answers, then chooses in the panel: the candidate goes into A alone.
  const auto folder = reports_.path();
  const bool firefox = std::string(GetParam().name).starts_with("firefox");
  ASSERT_EQ(run({GetParam().program, firefox ? "-profile" : "--no-sandbox",
                 firefox ? (folder / "firefox-profile").string()
                         : "--user-data-dir=" + (folder / "chromium-profile").string(),
                 "--new-window", "file://" + (folder / "fields.html").string() + "#b"})
                .status,
            0);
  model.setDelay(2s);  // time to go into B before the candidates come
  std::optional<std::string> windowB;
  ASSERT_TRUE(waitUntil([&] { return (windowB = windowNamed("^B:ta=")).has_value(); }, kBrowserStart));
  const std::string untouched = run({"xdotool", "getwindowname", *windowB}).output;
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", *window_}));
  chooseCandidate(1, [&] {
    ASSERT_TRUE(waitUntil([&] { return model.requests().size() == kFields.size() + 1; }));
    // As its taskbar entry does: Firefox fills this screen with each window, one over the other.
    ASSERT_TRUE(xdotool({"windowactivate", "--sync", *windowB}));
  });
  const Field& note = kFields[2];
  EXPECT_TRUE(waitUntil([&] {
    return reported(note) == std::string(note.draft) + note.arrives + kCandidates[1];
  })) << "A's note holds '"
      << reported(note) << "'";
  ASSERT_TRUE(waitUntil([&] { return insertModes().size() == kFields.size() + 1; }));
  EXPECT_EQ(insertModes().back(), "inserted")
      << testing::readAll(wrenfold_.dataFolder() / "logs" / "app.log");
  EXPECT_EQ(run({"xdotool", "getwindowname", *windowB}).output, untouched);
}

// A Chromium started without its accessibility tree: the paste still goes in, but nothing can
// confirm it, so the event says "pasted", the user's clipboard comes back once the browser has
// taken the candidate, and the desktop's notification service tells the user to check.
TEST_P(BrowserInsertion, APasteThatCannotBeReadBackIsToldAndGivesTheClipboardBack) {
  if (GetParam().forceAccessibility) {
    GTEST_SKIP() << "this browser shows its page to accessibility";
  }
  constexpr const char* kDaemon = "/usr/lib/notification-daemon/notification-daemon";
  if (::access(kDaemon, X_OK) != 0) {
    GTEST_SKIP() << kDaemon << " is not installed (Debian package notification-daemon)";
  }
  // A real notification service, and a witness of what it is asked to show.
  Process daemon({kDaemon});
  ASSERT_TRUE(waitUntil([] {
    return run({"gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner",
                "org.freedesktop.Notifications"})
               .output.find("true") != std::string::npos;
  })) << "the notification service did not start: "
      << daemon.output();
  Process monitor({"dbus-monitor", "--session", "interface='org.freedesktop.Notifications',member='Notify'"});
  ModelService model(kCandidates);
  start(model, kApiKey);
  startBrowser();
  ASSERT_TRUE(window_);

  // The page itself puts the caret at the end of its first field.
  const Field& field = kFields[0];
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", *window_}));
  chooseCandidate(1);
  const std::string expected = std::string(field.draft) + kCandidates[1];
  EXPECT_TRUE(waitUntil([&] { return reported(field) == expected; }))
      << "the page reports '" << reported(field) << "'\n"
      << testing::readAll(wrenfold_.dataFolder() / "logs" / "app.log");
  ASSERT_TRUE(waitUntil([&] { return insertModes().size() == 1; }));
  EXPECT_EQ(insertModes().back(), "pasted");
  EXPECT_TRUE(waitUntil([&] { return clipboard() != kCandidates[1]; }))
      << "the candidate left on the clipboard";
  EXPECT_TRUE(waitUntil([&] { return monitor.output().find("但无法确认文字已经写入") != std::string::npos; }))
      << monitor.output();
}

INSTANTIATE_TEST_SUITE_P(Browsers, BrowserInsertion,
                         ::testing::Values(Browser{"firefox", "/usr/bin/firefox-esr", "firefox-esr", true},
                                           Browser{"chromium", testing::kChromium, "chromium", true},
                                           Browser{"chromium_untreed", testing::kChromium, "chromium",
                                                   false}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace wrenfold::e2e
