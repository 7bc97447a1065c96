#pragma once

// The streamed form of one model exchange: the service writes its reply as server-sent events,
// each piece of reply text is read once by a ReplyReader, candidates are handed out as soon as
// each is certain, and the reader's end is the whole reply's parse, so both forms end with the
// same candidates (those shown keep their ids).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ai/llm_provider.h"
#include "core/ai/response_parser.h"
#include "core/ai/sse_decoder.h"

namespace wrenfold::llm_exchange {

// Reads one service's events into the reply text. One per exchange.
class StreamReader {
 public:
  StreamReader() = default;
  virtual ~StreamReader() = default;
  StreamReader(const StreamReader&) = delete;
  StreamReader& operator=(const StreamReader&) = delete;

  // Appends what `event` adds to `reply`; fails when the event cannot be read. Error events
  // never reach it.
  [[nodiscard]] virtual Result<void> read(const SseEvent& event, std::string& reply) = 0;
  // Whether the service said that the reply is complete.
  [[nodiscard]] virtual bool finished() const = 0;
  // Why a finished reply holds no text, when the service said (a refusal, the token limit).
  [[nodiscard]] virtual std::optional<Failure> emptyReason() const { return std::nullopt; }
};

// The JSON object an event carries.
[[nodiscard]] Result<json::Json> eventObject(const SseEvent& event);

// Like send(), with the request asking for a stream: `reader` reads the service's events, and
// `session.onCandidates` hears of each candidate as it completes. A reply that is one JSON
// body (a server that does not stream) is read with `extract`, as send() would. An error event
// fails like an error reply; a stream that ends before the service finished it fails as a lost
// connection.
void sendStreaming(const ProviderSession& session, Result<HttpRequest> request,
                   std::unique_ptr<StreamReader> reader, ReplyExtractor extract, int candidateCount,
                   Exchange exchange, LLMProvider::Completion completion);

}  // namespace wrenfold::llm_exchange
