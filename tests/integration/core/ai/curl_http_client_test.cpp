#include "core/ai/curl_http_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <thread>

#include "core/platform/run_loop_main_queue.h"
#include "support/test_http_server.h"

namespace wrenfold {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using testing::CannedResponse;
using testing::TestHttpServer;

// Every failing request carries this in its query, the way Gemini carries the API key.
constexpr const char* kSecret = "AIzaSECRET-KEY-4711";

std::string withSecret(std::string url) {
  return url + "/v1/models/m:generateContent?key=" + kSecret;
}

HttpRequest post(std::string url, std::string body = "{}") {
  return {.method = "POST",
          .url = std::move(url),
          .headers = {{"Content-Type", "application/json"}},
          .body = std::move(body),
          .cancellation = nullptr,
          .onBodyData = {}};
}

class CurlHttpClientTest : public ::testing::Test {
 protected:
  Result<HttpResponse> exchange(HttpClient& client, HttpRequest request) {
    std::optional<Result<HttpResponse>> result;
    client.send(std::move(request), [&](Result<HttpResponse> r) { result = std::move(r); });
    EXPECT_TRUE(queue.runUntil([&] { return result.has_value(); }, 20s)) << "no completion";
    return result.value_or(failPlatform("no completion"));
  }

  Result<HttpResponse> exchange(HttpClientOptions options, HttpRequest request) {
    CurlHttpClient client(queue, std::move(options));
    return exchange(client, std::move(request));
  }

  static void expectFailure(const Result<HttpResponse>& result, const std::string& description) {
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().localizedDescription(), description);
    EXPECT_EQ(result.error().localizedDescription().find("SECRET"), std::string::npos);
    EXPECT_EQ(result.error().localizedDescription().find("generateContent"), std::string::npos);
  }

  RunLoopMainQueue queue;
};

TEST_F(CurlHttpClientTest, RequestArrivesExactlyAsGiven) {
  TestHttpServer server;
  server.enqueue(CannedResponse::json(200, "{}"));
  const std::string body = "{\"text\":\"你好\",\"raw\":\"\x01\xff\"}";
  HttpRequest request = post(server.url("/v1/chat/completions?alt=sse&key=a%20b"), body);
  request.headers = {{"Content-Type", "application/json"},
                     {"x-api-key", "k-1"},
                     {"anthropic-version", "2023-06-01"},
                     {"Authorization", "Bearer t"},
                     {"X-Empty", ""}};

  ASSERT_TRUE(exchange(HttpClientOptions{}, request).has_value());

  const auto recorded = server.requests();
  ASSERT_EQ(recorded.size(), 1u);
  const auto& got = recorded[0];
  EXPECT_EQ(got.method, "POST");
  EXPECT_EQ(got.path, "/v1/chat/completions");
  EXPECT_EQ(got.query, "alt=sse&key=a%20b");
  EXPECT_EQ(got.body, body);
  EXPECT_EQ(got.header("Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(got.header("X-Empty"), "");
  EXPECT_FALSE(got.header("Accept-Encoding"));
  std::vector<std::pair<std::string, std::string>> ours;
  for (const auto& header : got.headers) {
    if (std::ranges::find(request.headers, header) != request.headers.end()) {
      ours.push_back(header);
    }
  }
  EXPECT_EQ(ours, request.headers);  // none lost, none added twice, order kept
}

TEST_F(CurlHttpClientTest, LargeBodyIsSentWithoutWaitingForContinue) {
  TestHttpServer server;
  server.enqueue(CannedResponse::json(200, "{}"));
  const std::string body(3u << 20, 'j');  // a screenshot-sized request

  ASSERT_TRUE(exchange(HttpClientOptions{}, post(server.url("/big"), body)).has_value());
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].body, body);
  EXPECT_FALSE(server.requests()[0].header("Expect"));
}

TEST_F(CurlHttpClientTest, ReturnsStatusHeadersAndBodyBytesAsReceived) {
  struct Row {
    int status;
    std::string body;
  };
  const Row rows[] = {
      {200, R"({"choices":[]})"},
      {400, R"({"error":{"message":"bad"}})"},
      {500, "服务器内部错误"},
      {502, "\xff\xfe\x00\x80 not utf-8"s},
      {200, ""},
  };
  TestHttpServer server;
  CurlHttpClient client(queue, {});
  for (const auto& row : rows) {
    CannedResponse canned = CannedResponse::json(row.status, row.body);
    canned.headers.emplace_back("X-Request-Id", "req-7");
    server.enqueue(canned);
    const auto result = exchange(client, post(server.url("/r")));
    ASSERT_TRUE(result.has_value()) << row.status;
    EXPECT_EQ(result->status, row.status);
    EXPECT_EQ(result->body, row.body) << row.status;
    const auto id =
        std::ranges::find(result->headers, std::pair<std::string, std::string>("X-Request-Id", "req-7"));
    EXPECT_NE(id, result->headers.end());
  }
}

TEST_F(CurlHttpClientTest, HttpsTrustsOnlyTheGivenAuthorityForTheServersName) {
  TestHttpServer server({.tls = true});
  server.enqueue(CannedResponse::json(200, "ok"));
  HttpClientOptions trusting;
  trusting.caBundlePath = server.caBundlePath();

  const auto trusted = exchange(trusting, post(server.url("/v1")));
  ASSERT_TRUE(trusted.has_value());
  EXPECT_EQ(trusted->body, "ok");

  expectFailure(exchange(HttpClientOptions{}, post(withSecret(server.url()))), "服务器证书不受信任。");
  EXPECT_EQ(server.requests().size(), 1u);  // the untrusted attempt never got to send

  TestHttpServer otherName({.tls = true, .certificateNames = "DNS:api.example.test"});
  trusting.caBundlePath = otherName.caBundlePath();
  expectFailure(exchange(trusting, post(withSecret(otherName.url()))), "服务器证书不受信任。");
}

TEST_F(CurlHttpClientTest, SilenceLongerThanTheIdleTimeoutFails) {
  HttpClientOptions shortIdle;
  shortIdle.idleTimeout = 300ms;
  {
    TestHttpServer silent({.mode = TestHttpServer::Mode::silent});
    expectFailure(exchange(shortIdle, post(withSecret(silent.url()))), "请求超时。");
  }
  {
    TestHttpServer silentTls({.tls = true, .mode = TestHttpServer::Mode::silent});
    shortIdle.caBundlePath = silentTls.caBundlePath();
    expectFailure(exchange(shortIdle, post(withSecret(silentTls.url()))), "请求超时。");
  }
  {
    TestHttpServer stalling;  // reads the request, then waits before answering
    CannedResponse late = CannedResponse::json(200, "{}");
    late.delay = 3s;
    stalling.enqueue(late);
    shortIdle.caBundlePath.reset();
    expectFailure(exchange(shortIdle, post(withSecret(stalling.url()))), "请求超时。");
  }
}

TEST_F(CurlHttpClientTest, TrickleNeverIdleStillEndsAtTheTotalTimeout) {
  TestHttpServer server;
  CannedResponse trickle;
  trickle.raw = "HTTP/1.1 200 OK\r\nX-Slow: " + std::string(4000, 'a') + "\r\n\r\n";
  trickle.rawByteInterval = 50ms;
  server.enqueue(trickle);
  HttpClientOptions options;
  options.idleTimeout = 2s;
  options.totalTimeout = 500ms;
  expectFailure(exchange(options, post(withSecret(server.url()))), "请求超时。");
}

TEST_F(CurlHttpClientTest, ConnectionDroppedMidBodyIsATransportFailure) {
  for (const bool tls : {false, true}) {
    TestHttpServer server({.tls = tls});
    CannedResponse cut = CannedResponse::json(200, std::string(4000, 'x'));
    cut.closeAfterBodyBytes = 100;
    server.enqueue(cut);
    HttpClientOptions options;
    if (tls) {
      options.caBundlePath = server.caBundlePath();
    }
    expectFailure(exchange(options, post(withSecret(server.url()))), "网络连接已中断。");
  }
}

TEST_F(CurlHttpClientTest, BodyOverTheCapFailsClearly) {
  // Pre-encoded chunks: no Content-Length, so the cap must hold while the bytes stream in.
  const std::string chunked =
      "400\r\n" + std::string(1024, 'a') + "\r\n400\r\n" + std::string(1024, 'b') + "\r\n0\r\n\r\n";
  CannedResponse streamed;
  streamed.headers = {{"Transfer-Encoding", "chunked"}};
  streamed.body = chunked;
  struct Row {
    CannedResponse response;
    bool fits;
  };
  const Row rows[] = {
      {CannedResponse::json(200, std::string(1024, 'x')), true},
      {CannedResponse::json(200, std::string(1025, 'x')), false},
      {CannedResponse::json(500, std::string(4096, 'x')), false},
      {streamed, false},
  };
  TestHttpServer server;
  HttpClientOptions capped;
  capped.maxResponseBytes = 1024;
  for (const auto& row : rows) {
    server.enqueue(row.response);
    const auto result = exchange(capped, post(withSecret(server.url())));
    if (row.fits) {
      ASSERT_TRUE(result.has_value());
      EXPECT_EQ(result->body.size(), 1024u);
    } else {
      expectFailure(result, "服务器返回的数据过大（超过 1 KiB）。");
    }
  }
}

TEST_F(CurlHttpClientTest, DefaultCapIsSixteenMebibytes) {
  TestHttpServer server;
  server.enqueue(CannedResponse::json(200, std::string((16u << 20) + 1, 'x')));
  expectFailure(exchange(HttpClientOptions{}, post(withSecret(server.url()))),
                "服务器返回的数据过大（超过 16 MiB）。");
}

TEST_F(CurlHttpClientTest, UnreachableServersFailWithShortDescriptions) {
  std::string refusedUrl;
  {
    TestHttpServer gone;
    refusedUrl = withSecret(gone.url());
  }  // stopped: nothing listens on its port any more
  expectFailure(exchange(HttpClientOptions{}, post(refusedUrl)), "无法连接到服务器。");
  expectFailure(exchange(HttpClientOptions{}, post(withSecret("https://wrenfold-test.invalid"))),
                "找不到服务器。");
}

// Replies that are not HTTP say so, not that the address or the memory was at fault.
TEST_F(CurlHttpClientTest, MalformedRepliesAreBadReplies) {
  const std::pair<std::string, std::string> rows[] = {
      {"SSH-2.0-OpenSSH_9.2\r\n\r\n", "服务器的响应无效。"},
      {"HTTP/1.1 200 OK\r\nX-Big: " + std::string(300 * 1024, 'a') + "\r\n\r\n", "服务器的响应头过大。"},
      // endless interim replies: refused after a few, not read until some limit of curl's
      {[] {
         std::string endless;
         for (int i = 0; i < 20'000; ++i) {
           endless += "HTTP/1.1 100 Continue\r\n\r\n";
         }
         return endless;
       }(),
       "服务器的响应无效。"},
  };
  for (const auto& [raw, description] : rows) {
    TestHttpServer server;
    CannedResponse response;
    response.raw = raw;
    server.enqueue(response);
    expectFailure(exchange(HttpClientOptions{}, post(server.url("/x"))), description);
  }
}

TEST_F(CurlHttpClientTest, MalformedRequestsAreRefusedBeforeAnyIo) {
  TestHttpServer server;
  const std::string secretQuery = std::string("?key=") + kSecret;
  const HttpRequest rows[] = {
      post("ftp://127.0.0.1:" + std::to_string(server.port()) + "/generateContent" + secretQuery),
      post("file:///etc/passwd" + secretQuery),
      post("not a url generateContent" + secretQuery),
      post(""),
  };
  for (const auto& request : rows) {
    expectFailure(exchange(HttpClientOptions{}, request), "网址无效。");
  }
  HttpRequest injected = post(server.url("/x"));
  injected.headers.emplace_back("X-Note", "a\r\nX-Injected: yes");
  HttpRequest badMethod = post(server.url("/x"));
  badMethod.method = "PO ST";
  for (const auto& request : {injected, badMethod}) {
    expectFailure(exchange(HttpClientOptions{}, request), "请求无效：方法或请求头不合规范。");
  }
  EXPECT_EQ(server.acceptedConnections(), 0u);
}

TEST_F(CurlHttpClientTest, SequentialRequestsReuseOneConnection) {
  for (const bool tls : {false, true}) {
    TestHttpServer server({.tls = tls});
    server.setHandler([](const auto&) { return CannedResponse::json(200, "{}"); });
    HttpClientOptions options;
    if (tls) {
      options.caBundlePath = server.caBundlePath();
    }
    CurlHttpClient client(queue, options);
    ASSERT_TRUE(exchange(client, post(server.url("/a"))).has_value());
    ASSERT_TRUE(exchange(client, post(server.url("/b"))).has_value());
    EXPECT_EQ(server.acceptedConnections(), 1u) << "tls=" << tls;
    EXPECT_EQ(server.tlsHandshakes(), tls ? 1u : 0u);
  }
}

TEST_F(CurlHttpClientTest, ConcurrentRequestsDoNotWaitForEachOther) {
  TestHttpServer server;
  server.setHandler([](const testing::RecordedRequest& request) {
    CannedResponse response = CannedResponse::json(200, request.path);
    response.delay = request.path == "/slow" ? 5s : 0ms;
    return response;
  });
  std::vector<std::string> finished;
  CurlHttpClient client(queue, {});
  client.send(post(server.url("/slow")),
              [&](auto result) { finished.push_back(result ? result->body : "failed"); });
  ASSERT_TRUE(server.waitForRequests(1, 5s));
  client.send(post(server.url("/fast")),
              [&](auto result) { finished.push_back(result ? result->body : "failed"); });
  ASSERT_TRUE(queue.runUntil([&] { return !finished.empty(); }, 4s));
  EXPECT_EQ(finished, std::vector<std::string>{"/fast"});
}

TEST_F(CurlHttpClientTest, NoCompletionAfterTheClientIsGone) {
  TestHttpServer server;
  CannedResponse slow = CannedResponse::json(200, "{}");
  slow.delay = 10s;
  server.enqueue(slow);
  server.enqueue(CannedResponse::json(200, "{}"));
  int calls = 0;
  {
    CurlHttpClient client(queue, {});
    client.send(post(server.url("/in-flight")), [&](auto) { ++calls; });
    ASSERT_TRUE(server.waitForRequests(1, 5s));
  }  // aborts the in-flight transfer instead of waiting for the server
  {
    CurlHttpClient client(queue, {});
    client.send(post(server.url("/posted")), [&](auto) { ++calls; });
    ASSERT_TRUE(server.waitForRequests(2, 5s));
    for (int i = 0; i < 500 && queue.pending() == 0; ++i) {
      std::this_thread::sleep_for(10ms);  // wait for the post without running it
    }
    ASSERT_EQ(queue.pending(), 1u);
  }  // its completion is already queued, but must not run
  (void)queue.runUntil([] { return false; }, 100ms);
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace wrenfold
