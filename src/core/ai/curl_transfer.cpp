#include "core/ai/curl_transfer.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "core/text/text.h"

namespace wrenfold {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Descriptions of transport failures.
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
// Status lines one exchange may carry: interim replies (100 Continue, 103 Early Hints), a
// proxy's CONNECT reply and the final one. An endless run of interim replies is not HTTP.
constexpr int kMaxStatusLines = 8;
constexpr const char* kHeaderTooLarge = "服务器的响应头过大。";

// The only schemes a model service may use; anything else (file:, ftp:, ...) is refused.
constexpr const char* kAllowedProtocols = "http,https";
// Sent unless the request names its own; some gateways refuse requests without one.
constexpr const char* kUserAgent = "Wrenfold";

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
      return kHttpTimedOut;
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
      return kHttpOutOfMemory;
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

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<CurlTransfer*>(user);
  const std::size_t bytes = size * count;
  transfer->lastActivity = SteadyClock::now();
  if (transfer->response.body.size() + bytes > transfer->maxResponseBytes) {
    transfer->tooLarge = true;
    return 0;  // makes curl stop with CURLE_WRITE_ERROR
  }
  transfer->response.body.append(data, bytes);
  if (transfer->forwardBody) {
    long status = 0;
    curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200 && status <= 299) {
      transfer->forwardBody(std::string_view(data, bytes));
    }
  }
  return bytes;
}

std::size_t onHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<CurlTransfer*>(user);
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
  auto* transfer = static_cast<CurlTransfer*>(user);
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
std::string describeFailure(const CurlTransfer& transfer, CURLcode code) {
  if (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_URL_MALFORMAT) {
    return kBadReply;
  }
  if (code == CURLE_OUT_OF_MEMORY && transfer.replyStarted) {
    return kHeaderTooLarge;
  }
  return describe(code);
}

void configureBody(CurlTransfer& transfer) {
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

void configureHeaders(CurlTransfer& transfer) {
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

}  // namespace

std::optional<std::string> validationFailure(const HttpRequest& request) {
  if (!hasUsableUrl(request.url)) {
    return kBadUrl;
  }
  if (!isToken(request.method) || !hasValidHeaders(request)) {
    return kBadRequest;
  }
  return std::nullopt;
}

void configureTransfer(CurlTransfer& transfer, const HttpClientOptions& options, CURLSH* share) {
  CURL* easy = transfer.easy;
  const long connectMs = static_cast<long>(options.idleTimeout.count());
  curl_easy_setopt(easy, CURLOPT_URL, transfer.request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
  curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (options.caBundlePath) {
    curl_easy_setopt(easy, CURLOPT_CAINFO, options.caBundlePath->c_str());
    curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
  }
  if (share != nullptr) {
    curl_easy_setopt(easy, CURLOPT_SHARE, share);
  }
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxResponseBytes));
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

Result<HttpResponse> transferOutcome(CurlTransfer& transfer, CURLcode code, std::size_t maxResponseBytes) {
  if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
    return failPlatform(tooLargeDescription(maxResponseBytes));
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

}  // namespace wrenfold
