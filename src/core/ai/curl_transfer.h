#pragma once

// One HTTP exchange on a curl easy handle: the request checked and set up on the handle, the
// reply gathered as it arrives, and the outcome described. No description ever includes the URL
// (Gemini carries the API key in its query) or a header.

#include <curl/curl.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/ai/http_client.h"

namespace wrenfold {

inline constexpr const char* kHttpTimedOut = "请求超时。";
inline constexpr const char* kHttpOutOfMemory = "内存不足，无法完成网络请求。";
inline constexpr const char* kHttpSendFailed = "无法发送网络请求。";

// One request in flight: what was asked, what has arrived so far, and when anything last moved.
struct CurlTransfer {
  HttpRequest request;
  HttpClient::Completion completion;
  CURL* easy = nullptr;
  curl_slist* headerList = nullptr;
  HttpResponse response;
  std::size_t maxResponseBytes = 0;
  bool tooLarge = false;
  bool badReply = false;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point lastActivity = started;
  curl_off_t lastDownloaded = 0;
  curl_off_t lastUploaded = 0;
  int statusLines = 0;
  bool replyStarted = false;  // a status line arrived
  // Hands a body piece to the request's onBodyData on the main queue (set only when it has one).
  std::function<void(std::string_view)> forwardBody;

  [[nodiscard]] bool isCancelled() const {
    return request.cancellation != nullptr && request.cancellation->isCancelled();
  }

  CurlTransfer() = default;
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;
  ~CurlTransfer() {
    curl_slist_free_all(headerList);
    if (easy != nullptr) {
      curl_easy_cleanup(easy);
    }
  }
};

// Why `request` may not be sent (not an absolute http or https address, a method or header
// that is not well formed); absent when it may. Checked before any I/O.
[[nodiscard]] std::optional<std::string> validationFailure(const HttpRequest& request);

// Sets the transfer's easy handle up for its request: address, TLS, limits, callbacks, body and
// headers.
void configureTransfer(CurlTransfer& transfer, const HttpClientOptions& options, CURLSH* share);

// The answer of a finished transfer: the response, or the failure described.
[[nodiscard]] Result<HttpResponse> transferOutcome(CurlTransfer& transfer, CURLcode code,
                                                   std::size_t maxResponseBytes);

}  // namespace wrenfold
