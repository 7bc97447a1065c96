#include "core/ai/curl_http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "core/text/text.h"

namespace wrenfold {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Descriptions of transport failures. None of them may ever include the URL (Gemini carries the
// API key in its query) or a header.
constexpr const char* kTimedOut = "请求超时。";
constexpr const char* kHostNotFound = "找不到服务器。";
constexpr const char* kProxyNotFound = "找不到代理服务器。";
constexpr const char* kCannotConnect = "无法连接到服务器。";
constexpr const char* kUntrustedCertificate = "服务器证书不受信任。";
constexpr const char* kUnreadableCaBundle = "无法读取受信任的证书文件。";
constexpr const char* kTlsFailed = "无法与服务器建立安全连接。";
constexpr const char* kConnectionLost = "网络连接已中断。";
constexpr const char* kBadReply = "服务器的响应无效。";
constexpr const char* kBadUrl = "网址无效。";
constexpr const char* kBadRequest = "请求无效：方法或请求头不合规范。";
constexpr const char* kOutOfMemory = "内存不足，无法完成网络请求。";
constexpr const char* kHeaderTooLarge = "服务器的响应头过大。";
constexpr const char* kSendFailed = "无法发送网络请求。";

// The only schemes a model service may use; anything else (file:, ftp:, ...) is refused.
constexpr const char* kAllowedProtocols = "http,https";
// Sent unless the request names its own; some gateways refuse requests without one.
constexpr const char* kUserAgent = "Wrenfold";
// Longest sleep of an idle worker. New requests wake it at once, curl shortens the wait for its
// own timers and active transfers for their idle deadlines, so this only bounds a quiet loop.
constexpr std::chrono::milliseconds kMaxPollWait{30'000};
// Status lines one exchange may carry: interim replies (100 Continue, 103 Early Hints), a
// proxy's CONNECT reply and the final one. An endless run of interim replies is not HTTP.
constexpr int kMaxStatusLines = 8;

std::string sizeText(std::size_t bytes) {
  constexpr std::size_t kKiB = 1024;
  constexpr std::size_t kMiB = 1024 * kKiB;
  if (bytes >= kMiB && bytes % kMiB == 0) {
    return std::to_string(bytes / kMiB) + " MiB";
  }
  if (bytes >= kKiB && bytes % kKiB == 0) {
    return std::to_string(bytes / kKiB) + " KiB";
  }
  return std::to_string(bytes) + " 字节";
}

std::string tooLargeDescription(std::size_t cap) {
  return "服务器返回的数据过大（超过 " + sizeText(cap) + "）。";
}

std::string describe(CURLcode code) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return kTimedOut;
    case CURLE_COULDNT_RESOLVE_HOST:
      return kHostNotFound;
    case CURLE_COULDNT_RESOLVE_PROXY:
      return kProxyNotFound;
    case CURLE_COULDNT_CONNECT:
      return kCannotConnect;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return kUntrustedCertificate;
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
      return kUnreadableCaBundle;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED:
      return kTlsFailed;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
    case CURLE_QUIC_CONNECT_ERROR:
      return kConnectionLost;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
      return kBadReply;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return kBadUrl;
    case CURLE_OUT_OF_MEMORY:
      return kOutOfMemory;
    default:
      // The code is what someone debugging needs; curl's own error text may quote the host.
      return "网络请求失败（错误 " + std::to_string(static_cast<int>(code)) + "）。";
  }
}

bool isTokenChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u <= 0x20 || u >= 0x7f) {
    return false;
  }
  return std::string_view("\"(),/:;<=>?@[\\]{}").find(c) == std::string_view::npos;
}

bool isToken(std::string_view s) {
  return !s.empty() && std::ranges::all_of(s, isTokenChar);
}

bool isSafeHeaderValue(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) == s.npos;
}

bool hasValidHeaders(const HttpRequest& request) {
  return std::ranges::all_of(request.headers, [](const auto& header) {
    return isToken(header.first) && isSafeHeaderValue(header.second);
  });
}

// Only absolute http and https addresses are sent; everything else is refused before any I/O.
bool hasUsableUrl(const std::string& url) {
  CURLU* parsed = curl_url();
  if (parsed == nullptr) {
    return false;
  }
  bool usable = false;
  char* scheme = nullptr;
  if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK) {
    const std::string_view s(scheme);
    usable = s == "http" || s == "https";
  }
  curl_free(scheme);
  curl_url_cleanup(parsed);
  return usable;
}

std::optional<std::string> validationFailure(const HttpRequest& request) {
  if (!hasUsableUrl(request.url)) {
    return kBadUrl;
  }
  if (!isToken(request.method) || !hasValidHeaders(request)) {
    return kBadRequest;
  }
  return std::nullopt;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

bool hasHeader(const HttpRequest& request, std::string_view name) {
  return std::ranges::any_of(request.headers,
                             [name](const auto& header) { return equalsIgnoringCase(header.first, name); });
}

std::string_view trimmedHeaderPart(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == s.npos) {
    return {};
  }
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

void initializeCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One request in flight: what was asked, what has arrived so far, and when anything last moved.
struct Transfer {
  HttpRequest request;
  HttpClient::Completion completion;
  CURL* easy = nullptr;
  curl_slist* headerList = nullptr;
  HttpResponse response;
  std::size_t maxResponseBytes = 0;
  bool tooLarge = false;
  bool badReply = false;
  SteadyClock::time_point started = SteadyClock::now();
  SteadyClock::time_point lastActivity = started;
  curl_off_t lastDownloaded = 0;
  curl_off_t lastUploaded = 0;
  int statusLines = 0;
  bool replyStarted = false;  // a status line arrived

  [[nodiscard]] bool isCancelled() const {
    return request.cancellation != nullptr && request.cancellation->isCancelled();
  }

  Transfer() = default;
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  ~Transfer() {
    curl_slist_free_all(headerList);
    if (easy != nullptr) {
      curl_easy_cleanup(easy);
    }
  }
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  transfer->lastActivity = SteadyClock::now();
  if (transfer->response.body.size() + bytes > transfer->maxResponseBytes) {
    transfer->tooLarge = true;
    return 0;  // makes curl stop with CURLE_WRITE_ERROR
  }
  transfer->response.body.append(data, bytes);
  return bytes;
}

std::size_t onHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  transfer->lastActivity = SteadyClock::now();
  const std::string_view line(data, bytes);
  auto& headers = transfer->response.headers;
  if (line.starts_with("HTTP/")) {
    if (++transfer->statusLines > kMaxStatusLines) {
      transfer->badReply = true;
      return 0;  // makes curl stop with CURLE_WRITE_ERROR
    }
    transfer->replyStarted = true;
    headers.clear();  // a new response begins (after 100 Continue or a proxy's CONNECT reply)
    return bytes;
  }
  const bool continuation = line.starts_with(' ') || line.starts_with('\t');  // an obsolete folded line
  const auto colon = line.find(':');
  if (continuation && !headers.empty()) {
    headers.back().second += " " + text::repairUtf8(trimmedHeaderPart(line));
  } else if (colon != line.npos) {
    headers.emplace_back(text::repairUtf8(trimmedHeaderPart(line.substr(0, colon))),
                         text::repairUtf8(trimmedHeaderPart(line.substr(colon + 1))));
  }
  return bytes;
}

int onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
  auto* transfer = static_cast<Transfer*>(user);
  if (transfer->isCancelled()) {
    return 1;  // stops the transfer at once; the worker drops it without an answer
  }
  if (downloaded != transfer->lastDownloaded || uploaded != transfer->lastUploaded) {
    transfer->lastDownloaded = downloaded;
    transfer->lastUploaded = uploaded;
    transfer->lastActivity = SteadyClock::now();
  }
  return 0;
}

// The address was checked before sending, so after that curl's "unsupported protocol" can only
// mean a reply that is not HTTP (a garbage status line), and running out of memory in the
// middle of a reply is curl refusing a header line longer than it accepts (100 KiB).
std::string describeFailure(const Transfer& transfer, CURLcode code) {
  if (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_URL_MALFORMAT) {
    return kBadReply;
  }
  if (code == CURLE_OUT_OF_MEMORY && transfer.replyStarted) {
    return kHeaderTooLarge;
  }
  return describe(code);
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
  [[nodiscard]] bool start(Transfer& transfer);
  void configure(Transfer& transfer);
  void configureBody(Transfer& transfer);
  void configureHeaders(Transfer& transfer);
  void collectFinished();
  void dropCancelled();
  // Silence past the idle timeout, or the whole exchange past the total one.
  [[nodiscard]] SteadyClock::time_point deadlineOf(const Transfer& transfer) const;
  void expireIdle();
  [[nodiscard]] int pollWaitMilliseconds() const;
  [[nodiscard]] Result<HttpResponse> outcome(Transfer& transfer, CURLcode code) const;
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
  std::vector<std::unique_ptr<Transfer>> pending_;  // guarded by mutex_
  bool stopping_ = false;                           // guarded by mutex_

  std::unordered_map<CURL*, std::unique_ptr<Transfer>> active_;  // worker thread only
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
    deliver(std::move(completion), failPlatform(kOutOfMemory));
    return;
  }
  if (request.cancellation) {
    request.cancellation->onCancel([waker = waker_] { waker->wake(); });
  }
  auto transfer = std::make_unique<Transfer>();
  transfer->request = std::move(request);
  transfer->completion = std::move(completion);
  transfer->maxResponseBytes = options_.maxResponseBytes;
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
  std::vector<std::unique_ptr<Transfer>> incoming;
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
      deliver(std::move(transfer->completion), failPlatform(kSendFailed), transfer->request.cancellation);
    }
  }
  return true;
}

bool CurlHttpClient::Worker::start(Transfer& transfer) {
  transfer.easy = curl_easy_init();
  if (transfer.easy == nullptr) {
    return false;
  }
  configure(transfer);
  transfer.started = SteadyClock::now();
  transfer.lastActivity = transfer.started;
  return curl_multi_add_handle(multi_, transfer.easy) == CURLM_OK;
}

void CurlHttpClient::Worker::configure(Transfer& transfer) {
  CURL* easy = transfer.easy;
  const long connectMs = static_cast<long>(options_.idleTimeout.count());
  curl_easy_setopt(easy, CURLOPT_URL, transfer.request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
  curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (options_.caBundlePath) {
    curl_easy_setopt(easy, CURLOPT_CAINFO, options_.caBundlePath->c_str());
    curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
  }
  if (share_ != nullptr) {
    curl_easy_setopt(easy, CURLOPT_SHARE, share_);
  }
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options_.maxResponseBytes));
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeaderLine);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  configureBody(transfer);
  configureHeaders(transfer);
}

void CurlHttpClient::Worker::configureBody(Transfer& transfer) {
  CURL* easy = transfer.easy;
  const HttpRequest& request = transfer.request;
  if (request.method == "GET" && request.body.empty()) {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    return;
  }
  if (request.method == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    return;
  }
  // Every other method carries the body (possibly empty, then with Content-Length: 0).
  curl_easy_setopt(easy, CURLOPT_POST, 1L);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
  if (request.method != "POST") {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
}

void CurlHttpClient::Worker::configureHeaders(Transfer& transfer) {
  const HttpRequest& request = transfer.request;
  std::vector<std::string> lines;
  for (const auto& [name, value] : request.headers) {
    // curl drops "Name:" entirely; "Name;" is its way of sending a header with an empty value.
    lines.push_back(value.empty() ? name + ";" : name + ": " + value);
  }
  // No form-encoded default type, and no 100-continue round trip for large screenshots.
  if (!hasHeader(request, "Content-Type")) {
    lines.emplace_back("Content-Type:");
  }
  if (!hasHeader(request, "Expect")) {
    lines.emplace_back("Expect:");
  }
  if (!hasHeader(request, "User-Agent")) {
    lines.push_back(std::string("User-Agent: ") + kUserAgent);
  }
  for (const auto& line : lines) {
    if (curl_slist* grown = curl_slist_append(transfer.headerList, line.c_str())) {
      transfer.headerList = grown;
    }
  }
  curl_easy_setopt(transfer.easy, CURLOPT_HTTPHEADER, transfer.headerList);
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
      finish(easy, outcome(*it->second, code));
    }
  }
}

Result<HttpResponse> CurlHttpClient::Worker::outcome(Transfer& transfer, CURLcode code) const {
  if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
    return failPlatform(tooLargeDescription(options_.maxResponseBytes));
  }
  if (transfer.badReply) {
    return failPlatform(kBadReply);
  }
  if (code != CURLE_OK) {
    return failPlatform(describeFailure(transfer, code));
  }
  long status = 0;
  curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
  transfer.response.status = status;
  return std::move(transfer.response);
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

SteadyClock::time_point CurlHttpClient::Worker::deadlineOf(const Transfer& transfer) const {
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
    finish(easy, failPlatform(kTimedOut));
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
