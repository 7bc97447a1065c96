#include "core/ai/curl_http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "core/ai/curl_transfer.h"

namespace wrenfold {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Longest sleep of an idle worker. New requests wake it at once, curl shortens the wait for its
// own timers and active transfers for their idle deadlines, so this only bounds a quiet loop.
constexpr std::chrono::milliseconds kMaxPollWait{30'000};

void initializeCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

class CurlHttpClient::Worker {
 public:
  Worker(MainQueue& mainQueue, HttpClientOptions options);
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  void submit(HttpRequest request, Completion completion);

 private:
  void run();
  [[nodiscard]] bool startPending();
  [[nodiscard]] bool start(CurlTransfer& transfer);
  void collectFinished();
  void dropCancelled();
  // Silence past the idle timeout, or the whole exchange past the total one.
  [[nodiscard]] SteadyClock::time_point deadlineOf(const CurlTransfer& transfer) const;
  void expireIdle();
  [[nodiscard]] int pollWaitMilliseconds() const;
  void finish(CURL* easy, Result<HttpResponse> result);
  void deliver(Completion completion, Result<HttpResponse> result,
               std::shared_ptr<HttpCancellation> cancellation = nullptr);

  // Wakes the worker from its poll when a request is cancelled; the multi handle is cleared
  // (under the lock) before it is cleaned up, since a cancellation may outlive the client.
  struct Waker {
    std::mutex mutex;
    CURLM* multi = nullptr;
    void wake() {
      std::lock_guard lock(mutex);
      if (multi != nullptr) {
        curl_multi_wakeup(multi);
      }
    }
  };

  MainQueue& mainQueue_;
  const HttpClientOptions options_;
  CURLM* multi_ = nullptr;
  CURLSH* share_ = nullptr;
  // Cleared first thing in destruction; completions already on the main queue check it.
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);

  std::mutex mutex_;
  std::vector<std::unique_ptr<CurlTransfer>> pending_;  // guarded by mutex_
  bool stopping_ = false;                               // guarded by mutex_

  std::unordered_map<CURL*, std::unique_ptr<CurlTransfer>> active_;  // worker thread only
  std::shared_ptr<Waker> waker_ = std::make_shared<Waker>();
  std::thread thread_;
};

CurlHttpClient::Worker::Worker(MainQueue& mainQueue, HttpClientOptions options)
    : mainQueue_(mainQueue), options_(std::move(options)) {
  initializeCurlOnce();
  multi_ = curl_multi_init();
  share_ = curl_share_init();
  if (share_ != nullptr) {
    // Only the worker thread touches the handles, so the share needs no lock callbacks.
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  }
  if (multi_ != nullptr) {
    waker_->multi = multi_;
    thread_ = std::thread([this] { run(); });
  }
}

CurlHttpClient::Worker::~Worker() {
  alive_->store(false);
  {
    std::lock_guard lock(waker_->mutex);
    waker_->multi = nullptr;
  }
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  if (thread_.joinable()) {
    curl_multi_wakeup(multi_);
    thread_.join();
  }
  // The worker is gone: abort what is still in flight without calling anyone back.
  for (auto& [easy, transfer] : active_) {
    curl_multi_remove_handle(multi_, easy);
  }
  active_.clear();
  pending_.clear();
  if (multi_ != nullptr) {
    curl_multi_cleanup(multi_);
  }
  if (share_ != nullptr) {
    curl_share_cleanup(share_);
  }
}

void CurlHttpClient::Worker::submit(HttpRequest request, Completion completion) {
  if (auto failure = validationFailure(request)) {
    deliver(std::move(completion), failPlatform(*failure), request.cancellation);
    return;
  }
  if (multi_ == nullptr) {
    deliver(std::move(completion), failPlatform(kHttpOutOfMemory));
    return;
  }
  if (request.cancellation) {
    request.cancellation->onCancel([waker = waker_] { waker->wake(); });
  }
  auto transfer = std::make_unique<CurlTransfer>();
  transfer->request = std::move(request);
  transfer->completion = std::move(completion);
  transfer->maxResponseBytes = options_.maxResponseBytes;
  if (transfer->request.onBodyData) {
    transfer->forwardBody = [this, receiver = transfer->request.onBodyData,
                             cancellation = transfer->request.cancellation](std::string_view piece) {
      mainQueue_.post([alive = alive_, receiver, cancellation, piece = std::string(piece)] {
        if (alive->load() && (cancellation == nullptr || !cancellation->isCancelled())) {
          receiver(piece);
        }
      });
    };
  }
  {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(transfer));
  }
  curl_multi_wakeup(multi_);
}

void CurlHttpClient::Worker::run() {
  while (startPending()) {
    int running = 0;
    curl_multi_perform(multi_, &running);
    collectFinished();
    dropCancelled();
    expireIdle();
    curl_multi_poll(multi_, nullptr, 0, pollWaitMilliseconds(), nullptr);
  }
}

bool CurlHttpClient::Worker::startPending() {
  std::vector<std::unique_ptr<CurlTransfer>> incoming;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) {
      return false;
    }
    incoming.swap(pending_);
  }
  for (auto& transfer : incoming) {
    if (transfer->isCancelled()) {
      continue;  // abandoned before it was sent: no connection, no answer
    }
    if (start(*transfer)) {
      CURL* easy = transfer->easy;
      active_.emplace(easy, std::move(transfer));
    } else {
      deliver(std::move(transfer->completion), failPlatform(kHttpSendFailed), transfer->request.cancellation);
    }
  }
  return true;
}

bool CurlHttpClient::Worker::start(CurlTransfer& transfer) {
  transfer.easy = curl_easy_init();
  if (transfer.easy == nullptr) {
    return false;
  }
  configureTransfer(transfer, options_, share_);
  transfer.started = SteadyClock::now();
  transfer.lastActivity = transfer.started;
  return curl_multi_add_handle(multi_, transfer.easy) == CURLM_OK;
}

void CurlHttpClient::Worker::collectFinished() {
  int remaining = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &remaining)) {
    if (message->msg != CURLMSG_DONE) {
      continue;
    }
    CURL* easy = message->easy_handle;
    const CURLcode code = message->data.result;
    const auto it = active_.find(easy);
    if (it != active_.end()) {
      finish(easy, transferOutcome(*it->second, code, options_.maxResponseBytes));
    }
  }
}

void CurlHttpClient::Worker::dropCancelled() {
  for (auto it = active_.begin(); it != active_.end();) {
    if (it->second->isCancelled()) {
      // Removing an unfinished transfer closes its connection, so the server sees it end.
      curl_multi_remove_handle(multi_, it->first);
      it = active_.erase(it);
    } else {
      ++it;
    }
  }
}

SteadyClock::time_point CurlHttpClient::Worker::deadlineOf(const CurlTransfer& transfer) const {
  return std::min(transfer.lastActivity + options_.idleTimeout, transfer.started + options_.totalTimeout);
}

void CurlHttpClient::Worker::expireIdle() {
  const auto now = SteadyClock::now();
  std::vector<CURL*> expired;
  for (const auto& [easy, transfer] : active_) {
    if (now >= deadlineOf(*transfer)) {
      expired.push_back(easy);
    }
  }
  for (CURL* easy : expired) {
    finish(easy, failPlatform(kHttpTimedOut));
  }
}

int CurlHttpClient::Worker::pollWaitMilliseconds() const {
  auto wait = kMaxPollWait;
  const auto now = SteadyClock::now();
  for (const auto& [easy, transfer] : active_) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadlineOf(*transfer) - now);
    wait = std::clamp(left, std::chrono::milliseconds{0}, wait);
  }
  return static_cast<int>(wait.count());
}

void CurlHttpClient::Worker::finish(CURL* easy, Result<HttpResponse> result) {
  const auto it = active_.find(easy);
  if (it == active_.end()) {
    return;
  }
  curl_multi_remove_handle(multi_, easy);
  deliver(std::move(it->second->completion), std::move(result), it->second->request.cancellation);
  active_.erase(it);
}

void CurlHttpClient::Worker::deliver(Completion completion, Result<HttpResponse> result,
                                     std::shared_ptr<HttpCancellation> cancellation) {
  mainQueue_.post([alive = alive_, completion = std::move(completion), result = std::move(result),
                   cancellation = std::move(cancellation)]() mutable {
    // A cancellation that came while the answer was on its way still holds.
    if (alive->load() && completion && (cancellation == nullptr || !cancellation->isCancelled())) {
      completion(std::move(result));
    }
  });
}

CurlHttpClient::CurlHttpClient(MainQueue& mainQueue, HttpClientOptions options)
    : worker_(std::make_unique<Worker>(mainQueue, std::move(options))) {}

CurlHttpClient::~CurlHttpClient() = default;

void CurlHttpClient::send(HttpRequest request, Completion completion) {
  worker_->submit(std::move(request), std::move(completion));
}

}  // namespace wrenfold
