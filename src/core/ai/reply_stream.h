#pragma once

// The streamed form of one model exchange: the service writes its reply as server-sent events,
// candidates are handed out as soon as each is complete, and the finished reply goes through
// the same parser as a whole one, so both forms end with the same candidates.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ai/llm_provider.h"
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

// Shows candidates as they complete and keeps their ids once the whole reply is parsed, so a
// selection made meanwhile stays on its candidate.
class CandidateStream {
 public:
  explicit CandidateStream(int expectedCount) : expectedCount_(expectedCount) {}
  // Reads the reply so far; true when another candidate completed.
  bool update(std::string_view replySoFar);
  [[nodiscard]] const std::vector<GeneratedCandidate>& shown() const { return shown_; }
  // The final candidates, each taking the id of the one shown at its place.
  [[nodiscard]] std::vector<GeneratedCandidate> settle(std::vector<GeneratedCandidate> final) const;

 private:
  int expectedCount_;
  std::vector<GeneratedCandidate> shown_;
};

// Like send(), with the request asking for a stream: `reader` reads the service's events, and
// `session.onCandidates` hears of each candidate as it completes. A reply that is one JSON
// body (a server that does not stream) is read with `extract`, as send() would. An error event
// fails like an error reply; a stream that ends before the service finished it fails as a lost
// connection.
void sendStreaming(const ProviderSession& session, Result<HttpRequest> request,
                   std::unique_ptr<StreamReader> reader, ReplyExtractor extract, int candidateCount,
                   Exchange exchange, LLMProvider::Completion completion);

}  // namespace wrenfold::llm_exchange
