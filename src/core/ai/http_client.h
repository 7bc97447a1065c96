#pragma once

// The one HTTP exchange every model provider uses: one attempt, no retries. The blocking
// transfer runs on a worker thread; the completion comes back through the main queue.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/platform/main_queue.h"
#include "core/support/failure.h"

namespace wrenfold {

// Lets the sender abandon an exchange it no longer wants (the user closed the panel, a newer
// request replaced it): the client stops the transfer, closing its connection, and never calls
// the completion. Shared by the sender and the client; any thread.
class HttpCancellation {
 public:
  void cancel();
  [[nodiscard]] bool isCancelled() const;
  // How the client hears of it at once: `wake` runs once, on the cancelling thread, or right
  // away when the exchange is already cancelled.
  void onCancel(std::function<void()> wake);

 private:
  mutable std::mutex mutex_;
  bool cancelled_ = false;
  std::function<void()> wake_;
};

struct HttpRequest {
  std::string method = "POST";
  std::string url;
  std::vector<std::pair<std::string, std::string>> headers;  // sent in this order
  std::string body;
  std::shared_ptr<HttpCancellation> cancellation;  // none: the exchange always runs to its end
  // When set, each piece of a 2xx reply's body is also handed here as it arrives, on the main
  // queue and before the completion, so a streamed reply can be read while it is written. The
  // completion still carries the whole body.
  std::function<void(std::string_view piece)> onBodyData;
};

struct HttpResponse {
  long status = 0;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;  // raw bytes, as received
};

struct HttpClientOptions {
  // The request fails when nothing arrives for this long, connecting included. It is measured
  // from the last byte received, so a streamed reply may take longer as a whole.
  std::chrono::milliseconds idleTimeout{60'000};
  // The whole exchange fails after this long, however steadily a server trickles bytes.
  std::chrono::milliseconds totalTimeout{180'000};
  // Replies larger than this fail with a clear message instead of filling memory.
  std::size_t maxResponseBytes = 16u * 1024u * 1024u;
  // Extra CA bundle to trust in addition to nothing else (tests only; production leaves it
  // empty and uses the system store). Verification is never switched off.
  std::optional<std::string> caBundlePath;
};

class HttpClient {
 public:
  using Completion = std::function<void(Result<HttpResponse>)>;
  virtual ~HttpClient() = default;
  // Sends `request` on a worker thread and calls `completion` on the main queue with the
  // response (any status) or a transport failure with a short Chinese description. The
  // description never contains the request's URL query or headers.
  virtual void send(HttpRequest request, Completion completion) = 0;
};

}  // namespace wrenfold
