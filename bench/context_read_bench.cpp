// The context read of a real GTK window with 600 labels under a focused entry: the focused
// element plus the reader's walk (FocusedTargetResolver + AccessibilityReader on the AT-SPI
// back-end), cold (a new back-end, as at the first trigger) and repeated (the same back-end,
// nothing changed in the window), against a plain walk that asks libatspi for one attribute
// per round trip, measured in the same run. Prints medians and ratios.
//
// Run inside a desktop: scripts/desktop-session build/bench/context_read_bench

#include <atspi/atspi.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/context/accessibility_reader.h"
#include "core/platform/clock.h"
#include "core/target/focused_target_resolver.h"
#include "desktop/fixture_app.h"
#include "median_reporter.h"
#include "platform/linux/linux_accessibility.h"
#include "platform/linux/linux_workspace.h"

namespace {

using namespace std::chrono_literals;
using wrenfold::AccessibilityReader;
using wrenfold::FocusedTargetResolver;
using wrenfold::LinuxAccessibility;
using wrenfold::LinuxWorkspace;

constexpr int kRepetitions = 15;

struct Desktop {
  wrenfold::testing::FixtureApp* app = nullptr;
  std::size_t visibleBytes = 0;
};
Desktop desktop;

// One whole read: resolve the target, then read its context. The visible text's size tells
// that every variant saw the same window.
const wrenfold::SystemClock systemClock;

std::size_t readContext(LinuxAccessibility& accessibility, LinuxWorkspace& workspace,
                        const AccessibilityReader& reader) {
  const FocusedTargetResolver resolver(accessibility, workspace);
  const auto target = resolver.resolve();
  if (!target) {
    return 0;
  }
  const auto snapshot = reader.read(**target);
  return snapshot ? snapshot->visibleText.size() : 0;
}

std::size_t readContext(LinuxAccessibility& accessibility, LinuxWorkspace& workspace) {
  const AccessibilityReader reader(accessibility, systemClock);
  return readContext(accessibility, workspace, reader);
}

void BM_ColdRead(benchmark::State& state) {
  auto workspace = std::make_shared<LinuxWorkspace>();
  std::size_t bytes = 0;
  for (auto _ : state) {
    // Wrenfold connects to the bus at its start, when it checks what the session allows; the
    // first trigger finds the connection and its event listeners in place.
    state.PauseTiming();
    std::optional<LinuxAccessibility> accessibility(std::in_place, workspace);
    static_cast<void>(accessibility->isProcessTrusted());
    state.ResumeTiming();
    bytes = readContext(*accessibility, *workspace);
  }
  state.counters["visibleBytes"] = static_cast<double>(bytes);
}

void BM_RepeatedRead(benchmark::State& state) {
  static const auto workspace = std::make_shared<LinuxWorkspace>();
  // Both kept across reads, as the running application does.
  static LinuxAccessibility accessibility(workspace);
  static const AccessibilityReader reader(accessibility, systemClock);
  static_cast<void>(readContext(accessibility, *workspace, reader));
  std::size_t bytes = 0;
  for (auto _ : state) {
    // The application's event loop runs between triggers: the change events the last read
    // caused, if any, are dispatched before the next one, as they would be there.
    state.PauseTiming();
    while (g_main_context_iteration(nullptr, FALSE) != FALSE) {
    }
    state.ResumeTiming();
    bytes = readContext(accessibility, *workspace, reader);
  }
  state.counters["visibleBytes"] = static_cast<double>(bytes);
}

// The plain way: find the focused element by asking every element for its states, then walk
// the window asking each element for its role, text and children one call at a time, with the
// reader's limits (500 elements, depth 11, 8000 characters).
struct PlainWalk {
  std::size_t visited = 0;
  std::size_t characters = 0;
  std::string text;
};

AtspiAccessible* plainFocused(AtspiAccessible* object, int depth) {
  if (depth > 11) {
    return nullptr;
  }
  AtspiStateSet* states = atspi_accessible_get_state_set(object);
  const bool focused = states != nullptr && atspi_state_set_contains(states, ATSPI_STATE_FOCUSED) != FALSE;
  if (states != nullptr) {
    g_object_unref(states);
  }
  if (focused) {
    return static_cast<AtspiAccessible*>(g_object_ref(object));
  }
  const int count = atspi_accessible_get_child_count(object, nullptr);
  for (int i = 0; i < count; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(object, i, nullptr);
    if (child == nullptr) {
      continue;
    }
    AtspiAccessible* found = plainFocused(child, depth + 1);
    g_object_unref(child);
    if (found != nullptr) {
      return found;
    }
  }
  return nullptr;
}

void plainVisit(AtspiAccessible* object, int depth, PlainWalk& walk) {
  if (depth > 11 || walk.visited >= 500 || walk.characters > 8000) {
    return;
  }
  ++walk.visited;
  const AtspiRole role = atspi_accessible_get_role(object, nullptr);
  if (role == ATSPI_ROLE_LABEL || role == ATSPI_ROLE_ENTRY || role == ATSPI_ROLE_TEXT ||
      role == ATSPI_ROLE_PARAGRAPH || role == ATSPI_ROLE_HEADING) {
    gchar* value = nullptr;
    if (AtspiText* text = atspi_accessible_get_text_iface(object)) {
      value = atspi_text_get_text(text, 0, -1, nullptr);
      g_object_unref(text);
    }
    if (value == nullptr || *value == '\0') {
      g_free(value);
      value = atspi_accessible_get_name(object, nullptr);
    }
    if (value != nullptr) {
      walk.text += value;
      walk.text += '\n';
      walk.characters += static_cast<std::size_t>(g_utf8_strlen(value, -1));
      g_free(value);
    }
  }
  const int count = atspi_accessible_get_child_count(object, nullptr);
  for (int i = 0; i < count && walk.characters <= 8000; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(object, i, nullptr);
    if (child != nullptr) {
      plainVisit(child, depth + 1, walk);
      g_object_unref(child);
    }
  }
}

std::size_t plainRead(pid_t pid) {
  AtspiAccessible* desktopObject = atspi_get_desktop(0);
  std::size_t bytes = 0;
  const int apps = atspi_accessible_get_child_count(desktopObject, nullptr);
  for (int i = 0; i < apps && bytes == 0; ++i) {
    AtspiAccessible* app = atspi_accessible_get_child_at_index(desktopObject, i, nullptr);
    if (app == nullptr) {
      continue;
    }
    if (static_cast<pid_t>(atspi_accessible_get_process_id(app, nullptr)) == pid) {
      if (AtspiAccessible* focused = plainFocused(app, 0)) {
        // Up to the window, then its text.
        AtspiAccessible* window = static_cast<AtspiAccessible*>(g_object_ref(focused));
        while (true) {
          AtspiAccessible* parent = atspi_accessible_get_parent(window, nullptr);
          if (parent == nullptr || atspi_accessible_get_role(parent, nullptr) == ATSPI_ROLE_APPLICATION) {
            if (parent != nullptr) {
              g_object_unref(parent);
            }
            break;
          }
          g_object_unref(window);
          window = parent;
        }
        PlainWalk walk;
        plainVisit(window, 0, walk);
        bytes = walk.text.size();
        g_object_unref(window);
        g_object_unref(focused);
      }
    }
    g_object_unref(app);
  }
  g_object_unref(desktopObject);
  return bytes;
}

void BM_PlainAtspiWalk(benchmark::State& state) {
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = plainRead(desktop.app->pid());
  }
  state.counters["textBytes"] = static_cast<double>(bytes);
}

void timeOncePerRepetition(benchmark::internal::Benchmark* b) {
  wrenfold::bench::oncePerRepetition(b, kRepetitions);
}

BENCHMARK(BM_ColdRead)->Apply(timeOncePerRepetition);
BENCHMARK(BM_RepeatedRead)->Apply(timeOncePerRepetition);
BENCHMARK(BM_PlainAtspiWalk)->Apply(timeOncePerRepetition);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  if (std::getenv("DISPLAY") == nullptr || std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr) {
    std::fprintf(stderr, "no desktop: run under scripts/desktop-session\n");
    return 77;
  }
  atspi_init();
  std::string reportsTemplate =
      (std::filesystem::temp_directory_path() / "context-read-bench.XXXXXX").string();
  if (mkdtemp(reportsTemplate.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::filesystem::path reports = reportsTemplate;
  const auto removeReports = std::shared_ptr<void>(nullptr, [&reports](void*) {
    std::error_code ignored;
    std::filesystem::remove_all(reports, ignored);
  });
  wrenfold::testing::FixtureApp app(WRENFOLD_GTK_FIXTURE, {"--mode", "labels"}, reports);
  desktop.app = &app;
  {
    const auto workspace = std::make_shared<LinuxWorkspace>();
    LinuxAccessibility accessibility(workspace);
    if (!wrenfold::testing::waitUntil([&] { return readContext(accessibility, *workspace) > 0; }, 20s)) {
      std::fprintf(stderr, "the fixture window never became readable\n");
      return 1;
    }
  }
  wrenfold::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto median = [&](const char* name) { return reporter.median(name); };
  const double cold = median("BM_ColdRead");
  const double repeated = median("BM_RepeatedRead");
  const double plain = median("BM_PlainAtspiWalk");
  std::printf(
      "\nmedian ms: cold read %.2f (target <= 30), repeated read %.2f (target <= 2), plain walk %.2f\n", cold,
      repeated, plain);
  if (cold > 0 && repeated > 0) {
    std::printf("plain walk / cold read: %.2fx; plain walk / repeated read: %.2fx; cold / repeated: %.2fx\n",
                plain / cold, plain / repeated, cold / repeated);
  }
  return 0;
}
