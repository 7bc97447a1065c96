// Two sequential requests to a loopback HTTPS server through one client, the way a generation
// and its regeneration go out. The second should reuse the first one's connection and skip the
// TLS handshake; the naive way (a new connection per request) is measured for comparison.

#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>
#include <stdexcept>

#include "core/ai/curl_http_client.h"
#include "core/platform/run_loop_main_queue.h"
#include "support/test_http_server.h"

namespace {

using namespace std::chrono_literals;
using wrenfold::CurlHttpClient;
using wrenfold::HttpClientOptions;
using wrenfold::HttpRequest;
using wrenfold::RunLoopMainQueue;
using wrenfold::testing::CannedResponse;
using wrenfold::testing::TestHttpServer;

using Seconds = std::chrono::duration<double>;

struct Loopback {
  TestHttpServer server{{.tls = true}};
  RunLoopMainQueue queue;
  HttpClientOptions options;

  Loopback() {
    server.setHandler([](const auto&) { return CannedResponse::json(200, R"({"choices":[]})"); });
    options.caBundlePath = server.caBundlePath();
  }

  // Wall time of one exchange, completion included.
  Seconds timedRequest(CurlHttpClient& client) {
    const auto start = std::chrono::steady_clock::now();
    bool done = false;
    HttpRequest request{.method = "POST",
                        .url = server.url("/v1/chat/completions"),
                        .headers = {{"Content-Type", "application/json"}},
                        .body = R"({"model":"m","messages":[]})",
                        .cancellation = nullptr,
                        .onBodyData = {}};
    client.send(std::move(request), [&](auto result) {
      if (!result || result->status != 200) {
        throw std::runtime_error("loopback request failed");
      }
      done = true;
    });
    if (!queue.runUntil([&] { return done; }, 10s)) {
      throw std::runtime_error("loopback request timed out");
    }
    return std::chrono::steady_clock::now() - start;
  }
};

void BM_TwoSequentialRequestsOneClient(benchmark::State& state) {
  Loopback loopback;
  Seconds first{0};
  Seconds second{0};
  for (auto _ : state) {
    CurlHttpClient client(loopback.queue, loopback.options);  // a fresh client: no warm connection
    first += loopback.timedRequest(client);
    second += loopback.timedRequest(client);
  }
  const auto requests = 2.0 * static_cast<double>(state.iterations());
  state.counters["handshakes_per_request"] = static_cast<double>(loopback.server.tlsHandshakes()) / requests;
  state.counters["second_to_first"] = second / first;
}
BENCHMARK(BM_TwoSequentialRequestsOneClient)->Unit(benchmark::kMillisecond);

void BM_NaiveNewConnectionPerRequest(benchmark::State& state) {
  Loopback loopback;
  Seconds first{0};
  Seconds second{0};
  for (auto _ : state) {
    CurlHttpClient client(loopback.queue, loopback.options);
    first += loopback.timedRequest(client);
    CurlHttpClient another(loopback.queue, loopback.options);
    second += loopback.timedRequest(another);
  }
  const auto requests = 2.0 * static_cast<double>(state.iterations());
  state.counters["handshakes_per_request"] = static_cast<double>(loopback.server.tlsHandshakes()) / requests;
  state.counters["second_to_first"] = second / first;
}
BENCHMARK(BM_NaiveNewConnectionPerRequest)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
