// Time an event costs its caller: the logger hands the line to its worker, the naive way
// writes it on the spot.

#include <stdlib.h>

#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "core/support/app_logger.h"
#include "core/support/file_io.h"
#include "core/support/json.h"
#include "core/support/time.h"

namespace {

namespace fs = std::filesystem;
using wrenfold::AppLogger;
using wrenfold::AppPaths;

constexpr int kEvents = 10000;

class DataFolder {
 public:
  DataFolder() {
    std::string pattern = (fs::temp_directory_path() / "wrenfold-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) {
      root_ = pattern;
    }
  }
  ~DataFolder() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  DataFolder(const DataFolder&) = delete;
  DataFolder& operator=(const DataFolder&) = delete;
  [[nodiscard]] AppPaths paths() const { return AppPaths(root_ / "Wrenfold"); }

 private:
  fs::path root_;
};

class SilentSystemLog : public wrenfold::SystemLog {
 public:
  void write(wrenfold::LogLevel, std::string_view) override {}
};

const AppLogger::Fields kFields{{"app", "org.gnome.TextEditor"},
                                {"source", "accessibility"},
                                {"confidence", "0.82"},
                                {"templateID", "polish"}};

void BM_LoggerEvent(benchmark::State& state) {
  DataFolder folder;
  AppLogger logger(folder.paths(), std::make_shared<SilentSystemLog>());
  for (auto _ : state) {
    logger.event("generate.success", kFields);
  }
  logger.flush();  // after the timed loop: the disk work is the worker's, not the caller's
}
BENCHMARK(BM_LoggerEvent)->Iterations(kEvents)->Unit(benchmark::kMicrosecond);

// The naive way: directories, serialisation and the append all on the caller's thread.
void BM_SynchronousEvent(benchmark::State& state) {
  DataFolder folder;
  const AppPaths paths = folder.paths();
  for (auto _ : state) {
    AppLogger::Fields fields = kFields;
    fields["event"] = "generate.success";
    fields["createdAt"] = wrenfold::timefmt::iso8601Now();
    bool ok = paths.ensureDirectories().has_value();
    ok = ok && wrenfold::files::appendLine(paths.localEventsURL(),
                                           wrenfold::json::dumpCompact(wrenfold::json::Json(fields)))
                   .has_value();
    benchmark::DoNotOptimize(ok);
  }
}
BENCHMARK(BM_SynchronousEvent)->Iterations(kEvents)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
