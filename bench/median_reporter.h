#pragma once

// For benchmarks whose every repetition is one whole operation on a real desktop: the usual
// table, plus each benchmark's median wall time kept for the ratios printed at the end.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace wrenfold::bench {

class MedianReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (run.aggregate_name == "median") {
        medians_[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
  }
  // Milliseconds; 0 for a benchmark that did not run.
  [[nodiscard]] double median(const std::string& name) const {
    const auto found = medians_.find(name);
    return found == medians_.end() ? 0.0 : found->second;
  }

 private:
  std::map<std::string, double> medians_;
};

// One operation per repetition, timed on the wall clock in milliseconds.
inline benchmark::internal::Benchmark* oncePerRepetition(benchmark::internal::Benchmark* bench,
                                                         int repetitions) {
  return bench->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(repetitions);
}

}  // namespace wrenfold::bench
