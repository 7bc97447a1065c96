#include "app/generate_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "core/support/json.h"
#include "fakes/fake_system_log.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"

namespace wrenfold::app {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using wrenfold::testing::CannedResponse;
using wrenfold::testing::TempDir;
using wrenfold::testing::TestHttpServer;

// A reply body in each service's own shape whose text is a JSON candidate envelope.
std::string replyFor(std::string_view provider, const std::string& modelText) {
  const json::Json text = modelText;
  if (provider == "anthropic") {
    return R"({"id":"msg_1","type":"message","role":"assistant","content":[{"type":"text","text":)" +
           text.dump() + R"(}],"stop_reason":"end_turn"})";
  }
  if (provider == "gemini") {
    return R"({"candidates":[{"content":{"parts":[{"text":)" + text.dump() + R"(}],"role":"model"}}]})";
  }
  return R"({"id":"c1","object":"chat.completion","choices":[{"index":0,"message":{"role":"assistant","content":)" +
         text.dump() + R"(},"finish_reason":"stop"}]})";
}

const std::string kEnvelope =
    R"({"candidates":[{"title":"简短","text":"好的，明天见。","confidence":0.9},{"text":"收到，明天上午十点见。","confidence":0.7}]})";

struct Outcome {
  int exitCode;
  std::string out;
  std::string err;
};

class GenerateCommand : public ::testing::Test {
 protected:
  void writeConfig(std::string_view provider, const std::string& baseURL, const std::string& apiKey,
                   bool stream = false) {
    json::Json config = {{"provider", provider}, {"baseURL", baseURL}, {"model", "test-model"},
                         {"apiKey", apiKey},     {"temperature", 0.3}, {"maxTokens", 256}};
    if (stream) {
      config["streamReplies"] = true;
    }
    wrenfold::testing::writeAll(data_ / "config.json", config.dump());
  }

  Outcome run(GenerateArguments arguments, const std::string& stdinText,
              std::chrono::milliseconds idleTimeout = std::chrono::milliseconds(5000)) {
    std::istringstream in(stdinText);
    std::ostringstream out;
    std::ostringstream err;
    GenerateEnvironment env{
        AppPaths(data_.path()), in, out, err, std::make_shared<wrenfold::testing::SilentSystemLog>(), {}};
    env.http.idleTimeout = idleTimeout;
    const int code = runGenerate(arguments, env);
    return {code, out.str(), err.str()};
  }

  std::string events() const { return wrenfold::testing::readAll(data_ / "events/local-events.jsonl"); }

  TempDir data_;
  TestHttpServer server_;
};

TEST_F(GenerateCommand, EachProviderPrintsNumberedCandidatesAndRecordsTheEvent) {
  std::size_t runs = 0;
  for (const std::string provider : {"openAICompatible", "anthropic", "gemini"}) {
    SCOPED_TRACE(provider);
    writeConfig(provider, server_.url(), "sk-test-secret");
    server_.enqueue(CannedResponse::json(200, replyFor(provider, kEnvelope)));

    const Outcome result = run({.instruction = "回复一下"}, "明天上午开会吗？\n");
    EXPECT_EQ(result.exitCode, kExitSuccess) << result.err;
    EXPECT_EQ(result.out, "1. 简短\n好的，明天见。\n\n2. 收到，明天上午十点见。\n");
    EXPECT_EQ(result.err, "");
    const std::string log = events();
    std::size_t lines = 0;
    for (std::size_t at = log.find("generate.success"); at != std::string::npos;
         at = log.find("generate.success", at + 1)) {
      ++lines;
    }
    EXPECT_EQ(lines, ++runs);
    EXPECT_THAT(events(), HasSubstr(R"("source":"manual")"));
    EXPECT_THAT(events(), HasSubstr(R"("confidence":"0.60")"));
    EXPECT_THAT(events(), HasSubstr(R"("app":"Manual")"));

    const auto requests = server_.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().method, "POST");
    EXPECT_THAT(requests.back().body, HasSubstr("明天上午开会吗？"));
    EXPECT_THAT(requests.back().body, HasSubstr("candidates 数量为 3。")) << "a quick reply asks for three";
  }
}

TEST_F(GenerateCommand, JsonLinesCarryIdTextTitleAndConfidenceInOrder) {
  writeConfig("openAICompatible", server_.url(), "sk-test");
  server_.enqueue(CannedResponse::json(200, replyFor("openai", kEnvelope)));
  const Outcome result = run({.json = true}, "context");
  ASSERT_EQ(result.exitCode, kExitSuccess) << result.err;
  std::istringstream lines(result.out);
  std::string first;
  std::string second;
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_THAT(
      first, ::testing::MatchesRegex(
                 R"re(\{"id":"[0-9A-F-]{36}","text":"好的，明天见。","title":"简短","confidence":0\.9\})re"));
  EXPECT_THAT(second, Not(HasSubstr("title")));
}

// The events of a streamed chat-completions reply, each `pause` after the one before.
CannedResponse streamedReply(std::chrono::milliseconds pause) {
  return CannedResponse::events(wrenfold::testing::testData("model-replies/openai-stream.sse"), pause);
}

// Printed as each completes, in the final order and numbering: a reply that stalls after the
// first candidate has printed that one before it times out.
TEST_F(GenerateCommand, StreamedRepliesPrintEachCandidateAsItCompletes) {
  writeConfig("openAICompatible", server_.url(), "sk-test", true);
  server_.enqueue(streamedReply(std::chrono::milliseconds(20)));
  const Outcome whole = run({.instruction = "回复一下"}, "context");
  ASSERT_EQ(whole.exitCode, kExitSuccess) << whole.err;
  EXPECT_EQ(whole.out, "1. 问候\n早上好\n\n2. 明天见\n\n3. 好的，十点见\n");
  // Reasoning the chat template opened (only its </think> shows), list-shaped, is never printed.
  server_.enqueue(
      CannedResponse::events(wrenfold::testing::testData("model-replies/vllm-stream-lone-think.sse"),
                             std::chrono::milliseconds(20)));
  EXPECT_EQ(run({.instruction = "回复一下"}, "context").out,
            "1. 抱歉，周四下午 3 点可以吗？\n\n2. Sorry，改到周四 3 点行吗？\n");

  CannedResponse stalled = streamedReply(std::chrono::milliseconds(20));
  stalled.stream.at(2).first = std::chrono::seconds(5);
  server_.enqueue(stalled);
  const Outcome cut =
      run({.instruction = "回复一下", .json = true}, "context", std::chrono::milliseconds(500));
  EXPECT_EQ(cut.exitCode, kExitGenerationFailed);
  EXPECT_EQ(cut.err, "请求超时。\n");
  EXPECT_THAT(cut.out, HasSubstr(R"("text":"早上好","title":"问候","confidence":0.8})"
                                 "\n"));
  EXPECT_EQ(std::ranges::count(cut.out, '\n'), 1);
}

TEST_F(GenerateCommand, TemplateOptionChoosesTheTemplateAndInstructionMatchesOtherwise) {
  writeConfig("openAICompatible", server_.url(), "sk-test");
  server_.enqueue(CannedResponse::json(200, replyFor("openai", kEnvelope)));
  ASSERT_EQ(run({.templateID = "translate.en"}, "你好").exitCode, kExitSuccess);
  EXPECT_THAT(events(), HasSubstr(R"("templateID":"translate.en")"));

  server_.enqueue(CannedResponse::json(200, replyFor("openai", kEnvelope)));
  ASSERT_EQ(run({.instruction = "帮我润色"}, "你好").exitCode, kExitSuccess);
  EXPECT_THAT(events(), HasSubstr(R"("templateID":"rewrite.polish")"));
}

TEST_F(GenerateCommand, FailuresGiveTheOverlayMessageAndExitCode) {
  struct Row {
    const char* name;
    std::string apiKey;
    std::string input;
    std::optional<CannedResponse> reply;
    int exitCode;
    std::string message;
    const char* address = nullptr;  // else the loopback server, which needs no key
  };
  const Row rows[] = {
      {"blank context", "sk", " \n\t ", std::nullopt, kExitGenerationFailed, "没有读取到可用上下文。\n"},
      {"blank key", "  \n", "text", std::nullopt, kExitGenerationFailed, "请先在设置中配置模型 API Key。\n",
       "https://llm.example.test/v1"},
      {"server error", "sk", "text", CannedResponse::json(500, R"({"error":{"message":"boom"}})"),
       kExitGenerationFailed, "模型请求失败：boom\n"},
      {"empty reply", "sk", "text", CannedResponse::json(200, replyFor("openai", "   ")),
       kExitGenerationFailed, "模型返回格式不可用。\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    writeConfig("openAICompatible", row.address != nullptr ? row.address : server_.url(), row.apiKey);
    if (row.reply) {
      server_.enqueue(*row.reply);
    }
    const Outcome result = run({}, row.input);
    EXPECT_EQ(result.exitCode, row.exitCode);
    EXPECT_EQ(result.err, row.message);
    EXPECT_EQ(result.out, "");
  }
  EXPECT_THAT(events(), Not(HasSubstr("generate.success")));
}

TEST_F(GenerateCommand, AnUnreadableConfigIsNamedWithoutItsContentAndNothingIsSent) {
  const std::string key = "sk-kept-secret-42";
  const std::pair<std::string, std::string> rows[] = {
      {R"({"apiKey":"sk-kept-secret-42","maxTokens":"900"})", "\"maxTokens\""},
      {R"({"apiKey":"sk-kept-secret-42","provider":"mistral"})", "\"provider\""},
      {"{\"apiKey\":\"sk-kept-secret-42\xFF\"}", "JSON 解析失败"},
  };
  for (const auto& [config, reason] : rows) {
    SCOPED_TRACE(reason);
    wrenfold::testing::writeAll(data_ / "config.json", config);
    const Outcome result = run({}, "text");
    EXPECT_EQ(result.exitCode, kExitGenerationFailed);
    EXPECT_THAT(result.err, HasSubstr((data_ / "config.json").string() + " 无法读取："));
    EXPECT_THAT(result.err, HasSubstr(reason));
    EXPECT_THAT(result.err, Not(HasSubstr(key)));
    EXPECT_THAT(result.err, Not(HasSubstr("API Key")));
    EXPECT_EQ(wrenfold::testing::readAll(data_ / "config.json"), config);
  }
  EXPECT_TRUE(server_.requests().empty());
}

TEST_F(GenerateCommand, AnUndecodableTemplateFileIsNamedWhenItsTemplateIsAskedFor) {
  writeConfig("openAICompatible", server_.url(), "sk");
  wrenfold::testing::writeAll(data_ / "templates/user-templates.json", R"([{"id":"user.t1"}])");
  const Outcome result = run({.templateID = "user.t1"}, "text");
  EXPECT_EQ(result.exitCode, kExitUsage);
  EXPECT_THAT(result.err, HasSubstr("user-templates.json 无法读取："));
  EXPECT_THAT(result.err, HasSubstr("未知模板：user.t1"));
}

TEST_F(GenerateCommand, UsageErrorsExitTwo) {
  writeConfig("openAICompatible", server_.url(), "sk");
  const Outcome unknown = run({.templateID = "no.such"}, "text");
  EXPECT_EQ(unknown.exitCode, kExitUsage);
  EXPECT_THAT(unknown.err, HasSubstr("no.such"));
  EXPECT_THAT(unknown.err, HasSubstr("reply.quick"));

  const Outcome missing = run({.file = (data_ / "absent.txt").string()}, "");
  EXPECT_EQ(missing.exitCode, kExitUsage);
  EXPECT_THAT(missing.err, HasSubstr("absent.txt"));

  // Input past 1 MiB is a mistake, not context: refused before it fills memory.
  const Outcome endless = run({.file = "/dev/zero"}, "");
  EXPECT_EQ(endless.exitCode, kExitUsage);
  EXPECT_EQ(endless.err, "无法读取文件 /dev/zero：文件超过 1 MiB\n");
  const Outcome piped = run({}, std::string((1u << 20) + 1, 'x'));
  EXPECT_EQ(piped.exitCode, kExitUsage);
  EXPECT_EQ(piped.err, "标准输入超过 1 MiB，无法作为上下文。\n");
  EXPECT_TRUE(server_.requests().empty());
}

// Stored files that are FIFOs would block open() forever; they fail at once, named.
TEST_F(GenerateCommand, StoredFilesThatAreNotRegularFilesFailWithoutWaiting) {
  writeConfig("openAICompatible", server_.url(), "sk");
  fs::create_directories(data_ / "templates");
  ASSERT_EQ(::mkfifo((data_ / "templates/user-templates.json").c_str(), 0600), 0);
  server_.enqueue(CannedResponse::json(200, replyFor("openai", kEnvelope)));
  const Outcome templatesFifo = run({}, "text");
  EXPECT_EQ(templatesFifo.exitCode, kExitSuccess);
  EXPECT_THAT(templatesFifo.err, HasSubstr("user-templates.json 无法读取："));
  EXPECT_THAT(templatesFifo.err, HasSubstr("不是普通文件"));

  fs::remove(data_ / "config.json");
  ASSERT_EQ(::mkfifo((data_ / "config.json").c_str(), 0600), 0);
  const Outcome configFifo = run({}, "text");
  EXPECT_EQ(configFifo.exitCode, kExitGenerationFailed);
  EXPECT_THAT(configFifo.err, HasSubstr("config.json 无法读取："));
  EXPECT_THAT(configFifo.err, HasSubstr("不是普通文件"));
  EXPECT_EQ(server_.requests().size(), 1u);
}

TEST_F(GenerateCommand, InvalidUtf8InputIsRepairedBeforeItIsSent) {
  writeConfig("openAICompatible", server_.url(), "sk");
  server_.enqueue(CannedResponse::json(200, replyFor("openai", kEnvelope)));
  wrenfold::testing::writeAll(data_ / "in.txt", "caf\xC3 ok");
  const Outcome result = run({.file = (data_ / "in.txt").string()}, "");
  ASSERT_EQ(result.exitCode, kExitSuccess) << result.err;
  ASSERT_EQ(server_.requests().size(), 1u);
  EXPECT_THAT(server_.requests()[0].body, HasSubstr("caf\xEF\xBF\xBD ok"));
}

}  // namespace
}  // namespace wrenfold::app
