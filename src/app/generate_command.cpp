#include "app/generate_command.h"

#include <array>
#include <chrono>
#include <iostream>
#include <optional>
#include <sstream>

#include "core/ai/curl_http_client.h"
#include "core/ai/llm_provider_factory.h"
#include "core/ai/model_config_store.h"
#include "core/ai/prompt_builder.h"
#include "core/cycle/generation.h"
#include "core/memory/style_memory_store.h"
#include "core/platform/run_loop_main_queue.h"
#include "core/platform/thread_work_queue.h"
#include "core/records/assistant_error.h"
#include "core/support/app_logger.h"
#include "core/support/file_io.h"
#include "core/support/json.h"
#include "core/templates/prompt_template_engine.h"
#include "core/text/text.h"

namespace wrenfold::app {
namespace {

// Generous: the HTTP client fails by itself after 60 s without data or 180 s in all.
constexpr std::chrono::hours kLongestExchange{1};
// Far more text than the prompt ever carries; beyond it the input is a mistake (/dev/zero, a
// disk image), not context.
constexpr std::size_t kMaxContextInputBytes = 1u << 20;

std::optional<std::string> readStandardInput(GenerateEnvironment& env) {
  std::string text;
  std::array<char, 64 * 1024> block{};
  while (env.input.read(block.data(), block.size()) || env.input.gcount() > 0) {
    const auto count = static_cast<std::size_t>(env.input.gcount());
    if (text.size() + count > kMaxContextInputBytes) {
      env.errors << "标准输入超过 1 MiB，无法作为上下文。\n";
      return std::nullopt;
    }
    text.append(block.data(), count);
  }
  return text;
}

std::optional<std::string> readContextText(const GenerateArguments& arguments, GenerateEnvironment& env) {
  if (!arguments.file) {
    return readStandardInput(env);
  }
  auto bytes = files::readFile(*arguments.file, kMaxContextInputBytes, files::FileKinds::anyReadable);
  if (!bytes) {
    env.errors << bytes.error().localizedDescription() << "\n";
    return std::nullopt;
  }
  return std::move(*bytes);
}

std::string knownTemplateIDs(const std::vector<PromptTemplate>& templates) {
  std::string ids;
  for (const PromptTemplate& t : templates) {
    ids += (ids.empty() ? "" : ", ") + t.id;
  }
  return ids;
}

// Prints the candidates from the `from`-th on, numbered by their place in the whole list.
void printCandidates(const std::vector<GeneratedCandidate>& candidates, std::size_t from, bool asJson,
                     std::ostream& out) {
  for (std::size_t number = from; number < candidates.size(); ++number) {
    const GeneratedCandidate& candidate = candidates[number];
    if (asJson) {
      out << json::dumpCompact(candidate.toJson()) << "\n";
      continue;
    }
    if (number > 0) {
      out << "\n";
    }
    out << number + 1 << ". ";
    if (candidate.title && !text::isBlank(*candidate.title)) {
      out << *candidate.title << "\n";
    }
    out << candidate.text << "\n";
  }
}

// The overlay's message on standard error and in the log.
int reportFailure(const Failure& failure, GenerateEnvironment& env, AppLogger& logger) {
  const std::string message = failure.localizedDescription();
  env.errors << message << "\n";
  logger.error(message);
  return kExitGenerationFailed;
}

}  // namespace

int runGenerate(const GenerateArguments& arguments, GenerateEnvironment& env) {
  AppLogger logger(env.paths, env.systemLog);
  PromptTemplateEngine engine(env.paths);
  if (const auto& problem = engine.userTemplatesProblem()) {
    // The built-ins still work; the user must know why their own templates are missing.
    env.errors << "用户模板未载入，只使用内置模板：" << problem->message() << "\n";
  }

  std::string templateID;
  if (arguments.templateID) {
    const auto& templates = engine.templates();
    const bool known =
        std::ranges::any_of(templates, [&](const auto& t) { return t.id == *arguments.templateID; });
    if (!known) {
      env.errors << "未知模板：" << *arguments.templateID << "。可用的模板：" << knownTemplateIDs(templates)
                 << "\n";
      return kExitUsage;
    }
    templateID = *arguments.templateID;
  } else {
    templateID = engine.match(arguments.instruction).id;
  }

  auto text = readContextText(arguments, env);
  if (!text) {
    return kExitUsage;
  }
  auto context = generation::makeManualContext(text::repairUtf8(*text));
  if (!context) {
    const std::string message = AssistantError::contextUnavailable().errorDescription();
    env.errors << message << "\n";
    logger.error(message);
    return kExitGenerationFailed;
  }

  RunLoopMainQueue mainQueue;
  ThreadWorkQueue workQueue;  // after the queue its results go to: stops first
  // Ends a keyring call still held by an unlock prompt before the worker is joined.
  const std::unique_ptr<SecretStore, void (*)(SecretStore*)> abandonOnReturn(env.secrets,
                                                                             [](SecretStore* secrets) {
                                                                               if (secrets != nullptr) {
                                                                                 secrets->abandonCalls();
                                                                               }
                                                                             });
  ModelConfigStore configStore(env.paths, env.secrets != nullptr ? std::optional<KeyringPorts>(KeyringPorts{
                                                                       *env.secrets, workQueue, mainQueue})
                                                                 : std::nullopt);
  if (const auto& problem = configStore.loadProblem()) {
    // Generating with the defaults would only end in "no key": say which file is broken.
    const std::string message = "无法使用模型配置：" + problem->message();
    env.errors << message << "\n";
    logger.error(message);
    return kExitGenerationFailed;
  }
  // The key may live in the keyring: the store reads it on the worker.
  std::optional<Result<ModelConfig>> config;
  configStore.loadConfig([&config](Result<ModelConfig> loaded) { config = std::move(loaded); });
  if (!mainQueue.runUntil([&] { return config.has_value(); }, kLongestExchange)) {
    config = fail(Failure::platform("读取系统密钥环超时。"));
  }
  if (!*config) {
    return reportFailure(config->error(), env, logger);
  }
  StyleMemoryStore styleStore(env.paths, logger);
  PromptBuilder builder;
  auto planned = generation::plan(*context, templateID, arguments.instruction, engine.templates(), **config,
                                  styleStore.memory(), std::nullopt, builder);
  if (!planned) {
    return reportFailure(planned.error(), env, logger);
  }

  CurlHttpClient http(mainQueue, env.http);
  ProviderSession session{http, mainQueue};
  // A streamed reply prints each candidate as soon as it is certain: the reader hands out only
  // what the whole reply's parse keeps at that place, so the rest follow at the end and the
  // output is exactly the final candidates.
  std::size_t printed = 0;
  session.onCandidates = [&](const std::vector<GeneratedCandidate>& soFar) {
    printCandidates(soFar, printed, arguments.json, env.output);
    env.output.flush();
    printed = soFar.size();
  };
  auto provider = LLMProviderFactory::make(**config, planned->apiKey, std::move(session));
  std::optional<Result<LLMResponse>> outcome;
  provider->complete(planned->request, [&](Result<LLMResponse> result) { outcome = std::move(result); });
  if (!mainQueue.runUntil([&] { return outcome.has_value(); }, kLongestExchange)) {
    outcome = fail(AssistantError::network("请求超时。"));
  }

  if (!*outcome) {
    return reportFailure(outcome->error(), env, logger);
  }
  printCandidates((*outcome)->candidates, printed, arguments.json, env.output);
  logger.event("generate.success", generation::successEventFields(*context, planned->promptTemplate.id));
  return kExitSuccess;
}

}  // namespace wrenfold::app
