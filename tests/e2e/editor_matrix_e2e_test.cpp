// Real programs nobody here wrote, one after the other in one private desktop: the GTK 3 and
// GTK 4 editors, the Qt 5 ones, the Qt 6 fixture, LibreOffice Writer, GTK 3, GTK 4 and Qt terminals, and
// four of them scaled by 2. For each, a double tap of Alt with the caret on a line in the middle of the
// window, then on the first: the request must hold the program's text, the panel must lie off the caret's
// line, and Return must bring the first candidate in, as witnesses outside Wrenfold see it (X11, the saved
// file, this process's accessibility client). A program that is not installed is a skip naming its package.
// MATRIX_ONLY=<part of row names> runs those rows.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "journey_test.h"

namespace wrenfold::e2e {
namespace {

const std::vector<std::string> kCandidates{"矩阵候选：周五下午三点可以。", "第二个候选"};
constexpr const char* kApiKey = "sk-matrix-loopback";

// title: a program that shows nothing on the bus; its shell names the window after all it has read.
enum class Witness { savedFile, report, accessibility, title };

struct Program {
  std::string name;
  std::string package;  // "" for the fixture built here
  std::string executable;
  std::vector<std::string> arguments;  // "@FILE" stands for the program's text file
  std::string windowName;              // a regular expression xdotool matches the title with
  Witness witness;
  int scale = 1;  // GDK_SCALE and QT_SCALE_FACTOR
};

std::vector<Program> programs() {
  std::vector<Program> rows{
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
      // Its window takes the shell's title (none unless the shell sets one); its terminal shows
      // no text on the bus (VTE 0.70 for GTK 4), so it is known by its window class.
      {"GNOME Console (GTK 4 terminal)",
       "gnome-console",
       "kgx",
       {"-e", "sh", "-c",
        "printf '\\033]2;matrix-kgx\\007'; echo '@TEXT'; while IFS= read -r l; do t=\"$t$l\"; "
        "printf '\\033]2;matrix-kgx：%s\\007' \"$t\"; done"},
       "matrix-kgx",
       Witness::title},
  };
  // One GTK 3, one GTK 4 and both Qt 5 programs again, scaled by 2.
  for (const std::size_t i : {0U, 1U, 2U, 3U}) {
    Program scaled = rows[i];
    scaled.name += " at scale 2";
    scaled.windowName += "-x2";
    scaled.scale = 2;
    rows.push_back(scaled);
  }
  return rows;
}

bool installed(const std::string& executable) {
  return executable.find('/') != std::string::npos || run({"which", executable}).status == 0;
}

// Whether the program has put the keyboard focus into a text element.
bool focusedText(pid_t pid) {
  const auto all = atspi::nodes(pid);
  return std::any_of(all.begin(), all.end(),
                     [](const atspi::Node& node) { return node.focused && node.hasText; });
}

// Lines after the program's own, so the caret can sit in the middle of the window.
constexpr int kMiddleLine = 9;
const std::string kMoreLines = [] {
  std::string lines;
  for (int line = 2; line <= 16; ++line) {
    lines += "第" + std::to_string(line) + "行：会议纪要，draft line " + std::to_string(line) + "。\n";
  }
  return lines;
}();

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
    const bool terminal = program.executable == "xfce4-terminal" || program.executable == "konsole" ||
                          program.executable == "kgx";
    testing::writeAll(file, terminal ? ownText + "\n" : ownText + "\n" + kMoreLines);
    std::vector<std::string> argv{program.executable};
    for (const auto& argument : program.arguments) {
      argv.push_back(argument == "@FILE" ? file.string()
                     : argument.find("@TEXT") != std::string::npos
                         ? std::string(argument).replace(argument.find("@TEXT"), 5, ownText)
                         : argument);
    }
    std::vector<std::string> environment{"XDG_DATA_HOME=" + (reports_ / "data").string(),
                                         "XDG_STATE_HOME=" + (reports_ / "state").string()};
    if (program.scale != 1) {
      environment.push_back("GDK_SCALE=" + std::to_string(program.scale));
      environment.push_back("QT_SCALE_FACTOR=" + std::to_string(program.scale));
    }
    std::unique_ptr<Process> process;
    std::unique_ptr<testing::FixtureApp> fixture;
    if (program.witness == Witness::report) {
      fixture = std::make_unique<testing::FixtureApp>(
          program.executable,
          std::vector<std::string>{"--mode", "textedit", "--text", ownText + "\n" + kMoreLines},
          reports_.path());
    } else {
      // Programs that restore their last session (GNOME Text Editor) keep it here, not in $HOME.
      process = std::make_unique<Process>(argv, environment);
    }
    // Slow starters (LibreOffice, KDE programs on a busy machine) get a minute.
    std::optional<std::string> found;
    ASSERT_TRUE(waitUntil([&] { return (found = windowNamed(program.windowName)).has_value(); }, 60s))
        << "no window: " << (process ? process->output() : "");
    const std::string window = *found;
    ASSERT_TRUE(xdotool({"windowactivate", "--sync", window}));
    const Exit pidOutput = run({"xdotool", "getwindowpid", window});
    const pid_t pid = static_cast<pid_t>(std::atoi(pidOutput.output.c_str()));
    // Under a compositing window manager GTK 4 draws its own frame and shadow and says how wide
    // they are; without that this run would not check what it is for.
    if (std::getenv("MATRIX_FRAME_EXTENTS") != nullptr && program.executable == "gnome-text-editor") {
      EXPECT_NE(run({"xprop", "-id", window, "_GTK_FRAME_EXTENTS"}).output.find(" = "), std::string::npos);
    }
    const bool blind = program.witness == Witness::title;
    ASSERT_TRUE(waitUntil([&] { return blind || atspi::holdsText(pid, ownText.substr(0, 9)); }, 60s))
        << "its text is not on the accessibility bus:\n"
        << atspi::dump(pid);

    // The caret on a line in the middle of the window, then on the first line (the terminal's
    // stays at its prompt); the candidate goes in at the last.
    for (const int line : {kMiddleLine, 1}) {
      SCOPED_TRACE("caret on line " + std::to_string(line));
      if (!terminal) {
        ASSERT_TRUE(xdotool({"windowactivate", "--sync", window}));
        ASSERT_TRUE(xdotool({"key", "ctrl+Home"}));
        for (int down = 1; down < line; ++down) {
          ASSERT_TRUE(xdotool({"key", "Down"}));
        }
      }
      // The program has put the keyboard focus into its text (LibreOffice takes a while).
      ASSERT_TRUE(waitUntil([&] { return blind || focusedText(pid); }, 60s))
          << atspi::dump(pid) << testing::readAll(wrenfold_.dataFolder() / "logs" / "app.log");
      // Measured before the panel takes the focus from the program's text.
      std::optional<WindowFrame> caret;
      ASSERT_TRUE(waitUntil([&] {
        return blind || (caret = caretLine(pid, window, program.scale)).has_value();
      })) << "the caret's box cannot be measured:\n"
          << atspi::dump(pid);
      const std::size_t request = model.requests().size();
      // Once in KWrite the second Alt is held until the candidates show: a panel taking the
      // keyboard meanwhile would take the key's release from KWrite, whose menu bar would then
      // keep the keyboard, and the candidate would only be copied.
      const bool holdAlt = line == 1 && program.executable == "kwrite" && program.scale == 1;
      if (holdAlt) {
        doubleTapAltHoldingTheSecond();
      } else {
        doubleTapAlt();
      }
      ASSERT_TRUE(waitUntil([&] { return model.requests().size() > request; }, 60s)) << "no model request";
      EXPECT_NE(blind ? 0 : model.promptOf(request).find(ownText), std::string::npos)
          << "the request lacks the program's own text:\n"
          << model.promptOf(request) << testing::readAll(wrenfold_.dataFolder() / "logs" / "app.log");
      ASSERT_TRUE(atspi::waitForShown(wrenfold_.pid(), kCandidates[0]));
      const auto overlay = wrenfold_.waitForOverlay();
      ASSERT_TRUE(overlay);
      if (holdAlt) {
        std::this_thread::sleep_for(150ms);  // well inside the 2 s a held key may keep the panel waiting
        EXPECT_EQ(activeWindow(), window) << "the panel took the keyboard with Alt down";
        releaseAlt();
      }
      if (caret) {
        EXPECT_EQ(panelPlacementFault(*caret, *overlay), "");
        if (const auto panel = windowFrame(*overlay)) {  // for the README's table
          std::printf("%s, line %d: caret line y %d+%d, panel %dx%d+%d+%d\n", program.name.c_str(), line,
                      caret->y, caret->height, panel->width, panel->height, panel->x, panel->y);
        }
      }
      if (line != 1) {
        ASSERT_TRUE(pressInOverlay({"Escape"}));
        ASSERT_TRUE(waitUntil([&] { return !wrenfold_.overlayWindow(); })) << "the overlay stayed open";
        ASSERT_TRUE(waitUntil([&] { return activeWindow() == window; }))
            << "Escape did not give the program its window back: " << activeWindow().value_or("none");
      }
    }
    ASSERT_TRUE(pressInOverlay({"Return"}));
    ASSERT_TRUE(waitUntil([&] { return !wrenfold_.overlayWindow(); })) << "the overlay stayed open";
    ASSERT_TRUE(waitUntil([&] { return activeWindow() == window; })) << "focus did not return";

    switch (program.witness) {
      case Witness::savedFile:
        // Saved once the candidate is in: a paste lands a moment after the panel closes.
        EXPECT_TRUE(waitUntil([&] { return atspi::holdsText(pid, kCandidates[0]); }))
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
        EXPECT_TRUE(waitUntil([&] { return atspi::holdsText(pid, kCandidates[0]); })) << atspi::dump(pid);
        EXPECT_FALSE(terminal && atspi::holdsText(pid, "^V")) << "Ctrl+V reached the shell:\n"
                                                              << atspi::dump(pid);
        break;
      case Witness::title:  // Return ends the pasted line (pressed again while the paste is on its way)
        EXPECT_TRUE(waitUntil([&] {
          return xdotool({"key", "Return"}) &&
                 run({"xdotool", "getwindowname", window}).output == "matrix-kgx：" + kCandidates[0] + "\n";
        })) << run({"xdotool", "getwindowname", window}).output
            << testing::readAll(wrenfold_.dataFolder() / "logs" / "app.log");
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
