#include "core/ai/reply_stream.h"

#include <utility>

#include "core/ai/response_parser.h"
#include "core/text/text.h"

namespace wrenfold::llm_exchange {
namespace {

// The words the HTTP client uses for a connection that broke off.
constexpr std::string_view kStreamCut = "网络连接已中断。";

// An event stream never opens with JSON; a server that ignored the request to stream does.
bool looksLikeJson(std::string_view body) {
  const auto first = body.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && (body[first] == '{' || body[first] == '[');
}

// What one exchange has read of its stream so far. Lives as long as the exchange.
struct StreamState {
  StreamState(std::unique_ptr<StreamReader> r, int candidateCount, Exchange e,
              std::function<void(const std::vector<GeneratedCandidate>&)> listener)
      : reader(std::move(r)),
        candidates(candidateCount),
        exchange(std::move(e)),
        onCandidates(std::move(listener)) {}

  std::unique_ptr<StreamReader> reader;
  SseDecoder decoder;
  ReplyReader candidates;
  std::size_t shown = 0;
  Exchange exchange;
  std::function<void(const std::vector<GeneratedCandidate>&)> onCandidates;
  std::string reply;
  std::size_t bytesRead = 0;
  bool plain = false;  // the body is one JSON document, not a stream
  std::optional<Failure> failure;

  void feed(std::string_view piece) {
    if (bytesRead == 0 && looksLikeJson(piece)) {
      plain = true;
    }
    bytesRead += piece.size();
    if (plain || failure) {
      return;
    }
    const std::size_t before = reply.size();
    for (const SseEvent& event : decoder.feed(piece)) {
      read(event);
    }
    if (failure || reply.size() == before) {
      return;
    }
    candidates.append(std::string_view(reply).substr(before));
    auto complete = candidates.completed();
    if (complete.size() > shown) {
      shown = complete.size();
      if (onCandidates) {
        onCandidates(complete);
      }
    }
  }

  void read(const SseEvent& event) {
    if (failure) {
      return;
    }
    if (serviceError(event.data)) {
      // The service's error event says what its error reply would: the same words.
      failure = statusFailure(HttpResponse{200, {}, event.data}, exchange.apiKey, exchange.model);
      return;
    }
    if (auto read = reader->read(event, reply); !read) {
      failure = read.error();
    }
  }

  Result<LLMResponse> finish(const HttpResponse& response, ReplyExtractor extract, int candidateCount) {
    if (bytesRead < response.body.size()) {
      feed(std::string_view(response.body).substr(bytesRead));  // a client that did not hand pieces out
    }
    if (plain) {
      return readReply(response, extract, candidateCount);
    }
    if (!failure) {
      if (auto last = decoder.finish()) {
        const std::size_t before = reply.size();
        read(*last);
        candidates.append(std::string_view(reply).substr(before));
      }
    }
    if (failure) {
      return fail(*failure);
    }
    if (!reader->finished()) {
      return failPlatform(std::string(kStreamCut));
    }
    auto parsed = candidates.finish();
    if (!candidates.hasAnswer()) {
      // Nothing but reasoning (an unclosed <think> included): the service may say why.
      if (auto reason = reader->emptyReason()) {
        return fail(*reason);
      }
    }
    if (!parsed) {
      return fail(parsed.error());
    }
    return LLMResponse{std::move(*parsed), text::trim(reply)};
  }
};

}  // namespace

Result<json::Json> eventObject(const SseEvent& event) {
  auto document = json::parse(text::repairUtf8(event.data));
  if (document && !document->is_object()) {
    return fail(json::decodingFailure("事件数据不是对象"));
  }
  return document;
}

void sendStreaming(const ProviderSession& session, Result<HttpRequest> request,
                   std::unique_ptr<StreamReader> reader, ReplyExtractor extract, int candidateCount,
                   Exchange exchange, LLMProvider::Completion completion) {
  auto state = std::make_shared<StreamState>(std::move(reader), candidateCount,
                                             Exchange{exchange.apiKey, exchange.model}, session.onCandidates);
  const std::string secret = exchange.apiKey;
  fetch(
      session, std::move(request), std::move(exchange),
      [state, extract, candidateCount, secret,
       completion = std::move(completion)](Result<HttpResponse> response) {
        // An error event that came before the connection broke says more than the break.
        Result<LLMResponse> result = response ? state->finish(*response, extract, candidateCount)
                                              : fail(state->failure.value_or(response.error()));
        if (!result) {
          result = std::unexpected(withoutSecret(std::move(result.error()), secret));
        }
        completion(std::move(result));
      },
      [state](std::string_view piece) { state->feed(piece); });
}

}  // namespace wrenfold::llm_exchange
