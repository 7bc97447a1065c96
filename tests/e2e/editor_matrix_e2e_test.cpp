// Real programs nobody here wrote, one after the other in one private desktop: the GTK 3 and
// GTK 4 editors, the Qt 5 ones, the Qt 6 fixture, LibreOffice Writer, a VTE and a Qt terminal. For
// each: a double tap of Alt at the end of its text, the model request must hold that text, the
// panel must leave the caret's line visible, and Return must bring the first candidate into the
// program, as a witness outside Wrenfold sees it (the program's own saved file, or its text
// read over the accessibility bus by this process). A program that is not installed is a skip
// that names its Debian package. MATRIX_ONLY=<part of a row's name> runs that row alone.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "journey_test.h"

namespace wrenfold::e2e {
namespace {

const std::vector<std::string> kCandidates{"矩阵候选：周五下午三点可以。", "第二个候选"};
constexpr const char* kApiKey = "sk-matrix-loopback";

enum class Witness { savedFile, report, accessibility };

struct Program {
  std::string name;
  std::string package;  // "" for the fixture built here
  std::string executable;
  std::vector<std::string> arguments;  // "@FILE" stands for the program's text file
  std::string windowName;              // a regular expression xdotool matches the title with
  Witness witness;
};

std::vector<Program> programs() {
  return {
      {"mousepad (GTK 3)", "mousepad", "mousepad", {"@FILE"}, "mousepad-draft", Witness::savedFile},
      {"GNOME Text Editor (GTK 4)",
       "gnome-text-editor",
       "gnome-text-editor",
       {"--standalone", "@FILE"},
       "gte-draft",
       Witness::savedFile},
      {"KWrite (Qt 5)", "kwrite", "kwrite", {"@FILE"}, "kwrite-draft", Witness::savedFile},
      {"FeatherPad (Qt 5)", "featherpad", "featherpad", {"@FILE"}, "featherpad-draft", Witness::savedFile},
      {"Qt 6 fixture",
       "",
       WRENFOLD_QT_FIXTURE,
       {"--mode", "textedit"},
       "Wrenfold fixture: qt textedit",
       Witness::report},
      {"LibreOffice Writer",
       "libreoffice-writer",
       "lowriter",
       {"--norestore", "--nologo", "@FILE"},
       "writer-draft",
       Witness::accessibility},
      {"xfce4-terminal (VTE)",
       "xfce4-terminal",
       "xfce4-terminal",
       {"--disable-server", "--title", "matrix-terminal", "-x", "sh", "-c", "echo '@TEXT'; exec sh"},
       "matrix-terminal",
       Witness::accessibility},
      {"Konsole (Qt 5 terminal)",
       "konsole",
       "konsole",
       {"--separate", "-p", "tabtitle=matrix-konsole", "-e", "sh", "-c", "echo '@TEXT'; exec sh"},
       "matrix-konsole",
       Witness::accessibility},
  };
}

bool installed(const std::string& executable) {
  return executable.find('/') != std::string::npos || run({"which", executable}).status == 0;
}

struct FocusedText {
  bool found = false;                // a focused element with text exists
  std::optional<WindowFrame> caret;  // its caret's character, when the toolkit tells
};

// The focused element with text under the application of `pid`, seen by this process's own
// accessibility client.
FocusedText focusedText(pid_t pid) {
  FocusedText result;
  for (const atspi::Node& node : atspi::nodes(pid)) {
    if (node.focused && node.hasText) {
      result.found = true;
      result.caret = result.caret ? result.caret : node.caret;
    }
  }
  return result;
}

// Whether any element of `pid`, shown or not (GTK 4 marks none as showing), holds `fragment`.
bool holdsText(pid_t pid, const std::string& fragment) {
  const auto all = atspi::nodes(pid);
  return std::any_of(all.begin(), all.end(),
                     [&](const atspi::Node& node) { return node.text.find(fragment) != std::string::npos; });
}

bool overlaps(const WindowFrame& a, const WindowFrame& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

class EditorMatrix : public JourneyTest {
 protected:
  // One program from start to the candidate in it; failures name the program.
  void exercise(const Program& program, ModelService& model, std::vector<std::string>& skipped) {
    SCOPED_TRACE(program.name);
    if (!installed(program.executable)) {
      skipped.push_back(program.name + " (Debian package " + program.package + ")");
      return;
    }
    const std::string ownText = "MATRIX-" + std::to_string(skipped.size() + model.requests().size()) +
                                " 明天的发布会改到几点？请在今晚前确认。";
    const auto file = reports_ / (program.windowName + ".txt");
    testing::writeAll(file, ownText + "\n");
    std::vector<std::string> argv{program.executable};
    for (const auto& argument : program.arguments) {
      argv.push_back(argument == "@FILE" ? file.string()
                     : argument.find("@TEXT") != std::string::npos
                         ? std::string(argument).replace(argument.find("@TEXT"), 5, ownText)
                         : argument);
    }
    std::unique_ptr<Process> process;
    std::unique_ptr<testing::FixtureApp> fixture;
    if (program.witness == Witness::report) {
      fixture = std::make_unique<testing::FixtureApp>(
          program.executable, std::vector<std::string>{"--mode", "textedit", "--text", ownText},
          reports_.path());
    } else {
      // Programs that restore their last session (GNOME Text Editor) keep it here, not in $HOME.
      process = std::make_unique<Process>(
          argv, std::vector<std::string>{"XDG_DATA_HOME=" + (reports_ / "data").string(),
                                         "XDG_STATE_HOME=" + (reports_ / "state").string()});
    }
    // Slow starters (LibreOffice, KDE programs on a busy machine) get a minute.
    std::optional<std::string> found;
    ASSERT_TRUE(waitUntil([&] { return (found = windowNamed(program.windowName)).has_value(); }, 60s))
        << "no window: " << (process ? process->output() : "");
    const std::string window = *found;
    ASSERT_TRUE(xdotool({"windowactivate", "--sync", window}));
    const Exit pidOutput = run({"xdotool", "getwindowpid", window});
    const pid_t pid = static_cast<pid_t>(std::atoi(pidOutput.output.c_str()));
    // The caret at the end of the program's own text (the terminal's is at its prompt).
    if (program.name.find("terminal") == std::string::npos) {
      ASSERT_TRUE(xdotool({"key", "ctrl+End"}));
    }
    ASSERT_TRUE(waitUntil([&] { return holdsText(pid, ownText.substr(0, 9)); }, 60s))
        << "its text is not on the accessibility bus:\n"
        << atspi::dump(pid);

    // The program has put the keyboard focus into its text (LibreOffice takes a while).
    ASSERT_TRUE(waitUntil([&] { return focusedText(pid).found; }, 60s)) << atspi::dump(pid);

    const std::size_t request = model.requests().size();
    doubleTapAlt();
    ASSERT_TRUE(waitUntil([&] { return model.requests().size() > request; }, 60s)) << "no model request";
    EXPECT_NE(model.promptOf(request).find(ownText), std::string::npos)
        << "the request lacks the program's own text:\n"
        << model.promptOf(request) << testing::readAll(wrenfold_.dataFolder() / "logs" / "app.log");
    ASSERT_TRUE(atspi::waitForShown(wrenfold_.pid(), kCandidates[0]));
    const auto overlay = wrenfold_.waitForOverlay();
    ASSERT_TRUE(overlay);
    if (const auto caret = focusedText(pid).caret) {
      // The caret and the text before it on its line stay visible.
      const auto panel = windowFrame(*overlay);
      ASSERT_TRUE(panel);
      const WindowFrame lineBefore{0, caret->y, caret->x + caret->width, caret->height};
      EXPECT_FALSE(overlaps(*panel, lineBefore)) << "the panel covers the caret line at y " << caret->y;
    }
    ASSERT_TRUE(pressInOverlay({"Return"}));
    ASSERT_TRUE(waitUntil([&] { return !wrenfold_.overlayWindow(); })) << "the overlay stayed open";
    ASSERT_TRUE(waitUntil([&] { return activeWindow() == window; })) << "focus did not return";

    switch (program.witness) {
      case Witness::savedFile:
        // Saved once the candidate is in: a paste lands a moment after the panel closes.
        EXPECT_TRUE(waitUntil([&] { return holdsText(pid, kCandidates[0]); }))
            << testing::readAll(wrenfold_.dataFolder() / "logs" / "app.log");
        ASSERT_TRUE(xdotool({"key", "ctrl+s"}));
        EXPECT_TRUE(waitUntil([&] {
          return testing::readAll(file).find(kCandidates[0]) != std::string::npos;
        })) << "saved: "
            << testing::readAll(file)
            << "\nwindow title: " << run({"xdotool", "getwindowname", window}).output
            << "where the candidate is:\n"
            << atspi::dump(pid) << testing::readAll(wrenfold_.dataFolder() / "logs" / "app.log");
        break;
      case Witness::report:
        EXPECT_TRUE(waitUntil([&] {
          return fixture->report().value_or("").find(kCandidates[0]) != std::string::npos;
        })) << fixture->report().value_or("");
        break;
      case Witness::accessibility:
        EXPECT_TRUE(waitUntil([&] { return holdsText(pid, kCandidates[0]); })) << atspi::dump(pid);
        break;
    }
    // LibreOffice's window belongs to a child of the process started here.
    if (process && pid > 0 && pid != process->pid()) {
      ::kill(pid, SIGTERM);
    }
  }
};

TEST_F(EditorMatrix, EveryProgramGivesItsTextAndTakesTheCandidate) {
  ModelService model(kCandidates);
  start(model, kApiKey);
  std::vector<std::string> skipped;
  for (const auto& program : programs()) {
    if (const char* only = std::getenv("MATRIX_ONLY");
        only != nullptr && program.name.find(only) == std::string::npos) {
      continue;
    }
    exercise(program, model, skipped);
  }
  if (!skipped.empty()) {
    std::string names;
    for (const auto& name : skipped) {
      names += "\n  " + name;
    }
    GTEST_SKIP() << "not installed (scripts/install-deps):" << names;
  }
}

}  // namespace
}  // namespace wrenfold::e2e
