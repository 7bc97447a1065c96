// ResponseParser::parse on the replies it meets: a compliant three-candidate JSON reply, a
// 200-line numbered list, and list replies of 1 MiB and 2 MiB. The list path splits lines,
// matches the marker on each line alone and appends to the current item, so its cost grows
// with the reply: the 2 MiB over 1 MiB ratio printed at the end should be about 2 (a join or a
// regex search that restarted from the beginning would push it towards 4).
// Streamed: the same 1 MiB replies (a JSON envelope of many candidates and a list) handed to a
// ReplyReader in 4 KiB pieces, against the whole text parsed at once. Each piece is read once,
// so the streamed over whole ratio printed at the end stays near 1 (at most 3); reading the
// reply so far again for every piece would make it grow with the number of pieces.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/ai/response_parser.h"

namespace {

using namespace wrenfold;

constexpr std::size_t kMiB = 1024 * 1024;

std::string jsonReply() {
  return R"({"candidates":[)"
         R"({"text":"好的，我明天上午十点前把修改后的方案发给你。","title":"简洁确认","confidence":0.86},)"
         R"({"text":"收到！我会在明天上午十点前整理好修改版方案，并同步给团队。","title":"正式","confidence":0.78},)"
         R"({"text":"没问题，明早十点前发你新版本～","title":"轻松","confidence":0.7}]})";
}

// Numbered items, every third one with a continuation line, until `bytes` is reached.
std::string listReply(std::size_t bytes) {
  std::string reply = "以下是几个可以直接使用的回复：\n\n";
  for (int n = 1; reply.size() < bytes; ++n) {
    reply += std::to_string(n) + ". 好的，我会在明天上午十点前把修改后的方案发给你，mixed with English.\n";
    if (n % 3 == 0) {
      reply += "   补充说明：如有问题请随时联系我。\n";
    }
  }
  return reply;
}

std::string numberedList(int lines) {
  std::string reply;
  for (int n = 1; n <= lines; ++n) {
    reply += std::to_string(n) + ". 第 " + std::to_string(n) + " 个候选回复，语气自然。\n";
  }
  return reply;
}

void parseLoop(benchmark::State& state, const std::string& reply) {
  for (auto _ : state) {
    auto candidates = ResponseParser::parse(reply, 3);
    benchmark::DoNotOptimize(candidates);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(reply.size()));
}

void BM_JsonReply(benchmark::State& state) {
  parseLoop(state, jsonReply());
}
BENCHMARK(BM_JsonReply)->Unit(benchmark::kMicrosecond);

void BM_NumberedList200(benchmark::State& state) {
  parseLoop(state, numberedList(200));
}
BENCHMARK(BM_NumberedList200)->Unit(benchmark::kMicrosecond);

void BM_ListReply(benchmark::State& state) {
  parseLoop(state, listReply(static_cast<std::size_t>(state.range(0)) * kMiB));
}
BENCHMARK(BM_ListReply)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Candidates of a JSON envelope, with Chinese and Latin text, until `bytes` is reached.
std::string jsonEnvelope(std::size_t bytes) {
  std::string reply = R"({"candidates":[)";
  for (int n = 1; reply.size() < bytes; ++n) {
    reply += R"({"text":"好的，我会在明天上午十点前把第 )" + std::to_string(n) +
             R"( 版方案发给你（PDF），OK？","title":"确认","confidence":0.8},)";
  }
  return reply + R"({"text":"最后一个"}]})";
}

constexpr std::size_t kPiece = 4096;

void BM_WholeMiB(benchmark::State& state, std::string reply) {
  parseLoop(state, reply);
}

void BM_StreamedMiB(benchmark::State& state, std::string reply) {
  for (auto _ : state) {
    ReplyReader reader(3);
    for (std::size_t at = 0; at < reply.size(); at += kPiece) {
      reader.append(std::string_view(reply).substr(at, kPiece));
      auto shown = reader.completed();
      benchmark::DoNotOptimize(shown);
    }
    auto candidates = reader.finish();
    benchmark::DoNotOptimize(candidates);
  }
}
BENCHMARK_CAPTURE(BM_WholeMiB, json, jsonEnvelope(kMiB))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StreamedMiB, json, jsonEnvelope(kMiB))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WholeMiB, list, listReply(kMiB))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StreamedMiB, list, listReply(kMiB))->Unit(benchmark::kMillisecond);

// Prints what the console reporter prints, and keeps each run's time per call for the ratio:
// wall-clock and CPU, since on a busy machine the CPU time is the steadier of the two.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration) {
        const auto calls = static_cast<double>(run.iterations);
        perCall_[run.benchmark_name()] = {run.real_accumulated_time / calls,
                                          run.cpu_accumulated_time / calls};
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void printStreamedRatios() const {
    for (const char* shape : {"json", "list"}) {
      const auto whole = perCall_.find(std::string("BM_WholeMiB/") + shape);
      const auto streamed = perCall_.find(std::string("BM_StreamedMiB/") + shape);
      if (whole == perCall_.end() || streamed == perCall_.end() || whole->second.cpu <= 0) {
        continue;
      }
      std::printf(
          "1 MiB %s reply: whole %.2f ms, in 4 KiB pieces %.2f ms (CPU); streamed / whole %.2f "
          "(at most 3)\n",
          shape, whole->second.cpu * 1e3, streamed->second.cpu * 1e3,
          streamed->second.cpu / whole->second.cpu);
    }
  }

  void printRatio() const {
    const auto one = perCall_.find("BM_ListReply/1");
    const auto two = perCall_.find("BM_ListReply/2");
    if (one == perCall_.end() || two == perCall_.end() || one->second.wall <= 0 || one->second.cpu <= 0) {
      return;
    }
    const Seconds& a = one->second;
    const Seconds& b = two->second;
    std::printf("list reply per call: 1 MiB %.2f ms (CPU %.2f ms), 2 MiB %.2f ms (CPU %.2f ms)\n",
                a.wall * 1e3, a.cpu * 1e3, b.wall * 1e3, b.cpu * 1e3);
    std::printf("2 MiB / 1 MiB: %.2f wall-clock, %.2f CPU (linear: about 2)\n", b.wall / a.wall,
                b.cpu / a.cpu);
  }

 private:
  struct Seconds {
    double wall = 0;
    double cpu = 0;
  };
  std::map<std::string, Seconds> perCall_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio();
  reporter.printStreamedRatios();
  benchmark::Shutdown();
  return 0;
}
