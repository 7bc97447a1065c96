// Time one accessibility read of a 500-element window holding more than 8000 characters:
// the walk's "enough text yet?" test kept as a running length, against re-joining every line
// after each child. Prints the ratio at the end.

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/context/accessibility_reader.h"
#include "core/platform/clock.h"
#include "fakes/fake_accessibility.h"

namespace {

using wrenfold::AccessibilityReader;
using wrenfold::AXAttribute;

// A window of 499 static texts of 17 characters in mixed scripts, about 9000 characters in
// all: the text runs past 8000 after some 445 elements.
struct Window {
  wrenfold::testing::FakeAccessibility ax;
  wrenfold::AccessibilityElement root = ax.addElement("AXWindow");
  wrenfold::FocusedTarget target;

  Window() {
    for (int i = 0; i < 499; ++i) {
      char line[64];
      std::snprintf(line, sizeof line, "第%03d行 text é👍%04d", i, i);
      ax.addChild(root, "AXStaticText", line);
    }
    const auto field = ax.addChild(root, "AXTextArea", "draft");
    ax.set(field, AXAttribute::window, root);
    target.focusedElement = field;
    target.inputFrame = wrenfold::Rect{0, 0, 100, 20};
  }
};

void readWith(benchmark::State& state, AccessibilityReader::LengthCheck check) {
  Window window;
  const wrenfold::SystemClock clock;
  AccessibilityReader::Options options;
  options.lengthCheck = check;
  options.walkBudget = std::chrono::hours(1);  // time the walk itself, never cut it short
  const AccessibilityReader reader(window.ax, clock, options);
  std::size_t length = 0;
  for (auto _ : state) {
    const auto snapshot = reader.read(window.target);
    length = snapshot ? snapshot->visibleText.size() : 0;
    benchmark::DoNotOptimize(length);
  }
  state.counters["visibleBytes"] = static_cast<double>(length);
}

void BM_ReadRunningLength(benchmark::State& state) {
  readWith(state, AccessibilityReader::LengthCheck::runningLength);
}
BENCHMARK(BM_ReadRunningLength)->Unit(benchmark::kMillisecond);

void BM_ReadRejoinEachChild(benchmark::State& state) {
  readWith(state, AccessibilityReader::LengthCheck::rejoin);
}
BENCHMARK(BM_ReadRejoinEachChild)->Unit(benchmark::kMillisecond);

// Prints the usual table and remembers each benchmark's time per iteration.
class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      times[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    }
  }
  struct Times {
    double real;
    double cpu;
  };
  std::map<std::string, Times> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const auto fast = reporter.times.find("BM_ReadRunningLength");
  const auto naive = reporter.times.find("BM_ReadRejoinEachChild");
  if (fast != reporter.times.end() && naive != reporter.times.end() && fast->second.real > 0 &&
      fast->second.cpu > 0) {
    std::printf("re-join / running length: %.1fx real time, %.1fx CPU time\n",
                naive->second.real / fast->second.real, naive->second.cpu / fast->second.cpu);
  }
  return 0;
}
