#pragma once

// Which request parameters a chat-completions server refused for a model, remembered while
// Wrenfold runs so that later requests are right the first time. Main thread only.

#include <map>
#include <string>

namespace wrenfold {

struct ChatParameters {
  // Reasoning and GPT-5-family models take "max_completion_tokens" instead of "max_tokens".
  bool maxCompletionTokens = false;
  // ... and only their default temperature.
  bool omitTemperature = false;

  bool operator==(const ChatParameters&) const = default;
};

class ChatParameterMemory {
 public:
  [[nodiscard]] ChatParameters recall(const std::string& endpoint, const std::string& model) const {
    const auto it = known_.find(endpoint + '\n' + model);
    return it == known_.end() ? ChatParameters{} : it->second;
  }
  void remember(const std::string& endpoint, const std::string& model, ChatParameters parameters) {
    known_[endpoint + '\n' + model] = parameters;
  }

 private:
  std::map<std::string, ChatParameters> known_;
};

}  // namespace wrenfold
