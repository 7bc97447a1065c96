#pragma once

// HttpClient on libcurl. One long-lived worker thread drives a curl multi handle: every
// request becomes a transfer on it, so connections (and TLS sessions) to a server are kept
// alive and reused, and a regeneration does not pay a second handshake. Concurrent requests
// run side by side instead of queueing behind each other.

#include <memory>

#include "core/ai/http_client.h"
#include "core/platform/main_queue.h"

namespace wrenfold {

class CurlHttpClient final : public HttpClient {
 public:
  // `mainQueue` must outlive the client; completions are posted to it.
  CurlHttpClient(MainQueue& mainQueue, HttpClientOptions options);
  // Aborts transfers still in flight and joins the worker; their completions are never called,
  // not even ones already posted to the main queue.
  ~CurlHttpClient() override;
  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  void send(HttpRequest request, Completion completion) override;

 private:
  class Worker;
  std::unique_ptr<Worker> worker_;
};

}  // namespace wrenfold
