#include "core/ai/model_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "core/ai/model_config_store.h"
#include "support/temp_dir.h"

namespace wrenfold {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(ModelProviderTest, RawValuesRoundTripAndOthersAreRefused) {
  for (const ModelProvider provider : ModelProvider::allCases()) {
    EXPECT_EQ(ModelProvider::fromRawValue(provider.id()), provider);
  }
  EXPECT_FALSE(ModelProvider::fromRawValue("openai"));
  EXPECT_FALSE(ModelProvider::fromRawValue("Anthropic"));
}

class ModelConfigStoreTest : public ::testing::Test {
 protected:
  ModelConfig loadFrom(std::string_view fileContent) {
    testing::writeAll(paths.configURL(), fileContent);
    return ModelConfigStore(paths).config();
  }

  TempDir dir;
  AppPaths paths{dir.path() / "Wrenfold"};
};

TEST_F(ModelConfigStoreTest, MissingFileGivesTheDefaultConfiguration) {
  const ModelConfig config = ModelConfigStore(paths).config();
  EXPECT_EQ(config, (ModelConfig{ModelProvider::openAICompatible, "https://api.openai.com", "gpt-4.1-mini",
                                 "model.openai-compatible.api-key", "", 0.45, 900}));
  EXPECT_FALSE(fs::exists(paths.appSupportURL())) << "nothing is written at start";
}

TEST_F(ModelConfigStoreTest, UnusableFilesAreReplacedByTheDefaultsAndLeftAlone) {
  const std::string_view files[] = {
      "",
      "{",
      "[]",
      "\"anthropic\"",
      R"({"provider":"openai"})",
      R"({"provider":"Anthropic"})",
      R"({"provider":3})",
      R"({"baseURL":["https://x"]})",
      R"({"apiKey":42})",
      R"({"temperature":"0.5"})",
      R"({"maxTokens":1.5})",
      R"({"maxTokens":"900"})",
      R"({"provider":"gemini","model":false})",
      R"({"apiKeyStorage":"vault"})",
      R"({"streamReplies":"yes"})",
  };
  for (const auto file : files) {
    EXPECT_EQ(loadFrom(file), ModelConfig::defaultConfig()) << file;
    EXPECT_EQ(testing::readAll(paths.configURL()), file);
    const auto problem = ModelConfigStore(paths).loadProblem();
    ASSERT_TRUE(problem) << file;
    EXPECT_EQ(problem->path, paths.configURL());
    EXPECT_FALSE(problem->reason.empty());
  }
}

TEST_F(ModelConfigStoreTest, AFileThatFailedToLoadIsKeptByteForByteBeforeTheFirstSave) {
  const std::string corrupt = "{\"apiKey\": \"sk-kept-\xFF\", \"maxTokens\": \"900\"}";
  testing::writeAll(paths.configURL(), corrupt);
  fs::permissions(paths.configURL(), fs::perms(0644));
  const auto now = [] { return *timefmt::parseIso8601("2026-12-05T04:48:40Z"); };
  ModelConfigStore store(paths, std::nullopt, now);
  ASSERT_TRUE(store.loadProblem());
  EXPECT_EQ(store.loadProblem()->message().find("sk-kept"), std::string::npos) << "never the content";

  ASSERT_TRUE(store.save());
  ASSERT_TRUE(store.save());
  const fs::path kept = paths.appSupportURL() / "config.json.invalid-20261205T044840Z";
  EXPECT_EQ(store.loadProblem()->keptAs, kept);
  EXPECT_EQ(testing::readAll(kept), corrupt);
  EXPECT_EQ(fs::status(kept).permissions(), fs::perms(0600));
  EXPECT_EQ(ModelConfigStore(paths).config(), ModelConfig::defaultConfig()) << "the save itself happened";
  std::size_t keptCopies = 0;
  for (const auto& entry : fs::directory_iterator(paths.appSupportURL())) {
    keptCopies += entry.path().filename().string().starts_with("config.json.invalid-") ? 1u : 0u;
  }
  EXPECT_EQ(keptCopies, 1u) << "kept once, not at every save";
}

TEST_F(ModelConfigStoreTest, MissingAndNullKeysTakeTheDefaultsOfTheProviderRead) {
  EXPECT_EQ(loadFrom(R"({"provider":"anthropic"})"),
            (ModelConfig{ModelProvider::anthropic, "https://api.anthropic.com", "claude-sonnet-4-5",
                         "model.anthropic.api-key", "", 0.45, 900}));
  EXPECT_EQ(loadFrom(R"({"provider":"gemini","model":null,"apiKey":"g-key","temperature":null})"),
            (ModelConfig{ModelProvider::gemini, "https://generativelanguage.googleapis.com",
                         "gemini-2.5-flash", "model.gemini.api-key", "g-key", 0.45, 900}));
  // Unlike the default configuration, a file without a provider derives its key reference.
  EXPECT_EQ(loadFrom(R"({"provider":null,"baseURL":null,"model":null,"apiKeyRef":null,"apiKey":null,)"
                     R"("temperature":null,"maxTokens":null})"),
            (ModelConfig{ModelProvider::openAICompatible, "https://api.openai.com", "gpt-4.1-mini",
                         "model.openAICompatible.api-key", "", 0.45, 900}));
  EXPECT_EQ(loadFrom(R"({"provider":"openRouter","baseURL":" http://h/ ","model":"m","apiKeyRef":"r",)"
                     R"("apiKey":"k","temperature":1,"maxTokens":1200.0,"extra":true})"),
            (ModelConfig{ModelProvider::openRouter, " http://h/ ", "m", "r", "k", 1.0, 1200}));
}

TEST_F(ModelConfigStoreTest, SaveWritesSortedPrettyJsonThatLoadsBack) {
  ModelConfigStore store(paths);
  int changes = 0;
  store.addListener([&] { ++changes; });
  ModelConfig edited{
      ModelProvider::gemini, "https://g.example/", "gemini-2.5-flash", "ref", "秘密-key", 0.7, 2048};
  edited.streamReplies = true;  // written only when on: files without it read as off
  store.setConfig(edited);
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(fs::exists(paths.configURL())) << "editing does not save";

  ASSERT_TRUE(store.save());
  EXPECT_EQ(testing::readAll(paths.configURL()),
            "{\n"
            "  \"apiKey\": \"秘密-key\",\n"
            "  \"apiKeyRef\": \"ref\",\n"
            "  \"baseURL\": \"https://g.example/\",\n"
            "  \"maxTokens\": 2048,\n"
            "  \"model\": \"gemini-2.5-flash\",\n"
            "  \"provider\": \"gemini\",\n"
            "  \"streamReplies\": true,\n"
            "  \"temperature\": 0.7\n"
            "}");
  EXPECT_EQ(ModelConfigStore(paths).config(), edited);
}

TEST_F(ModelConfigStoreTest, KeyKeptInTheKeyringIsNeverReadAsBlank) {
  // Read without a keyring: the marker holds, and asking for the key is a clear failure.
  testing::writeAll(paths.configURL(), R"({"apiKey":"sk-stale","apiKeyStorage":"keyring"})");
  ModelConfigStore reread(paths);
  EXPECT_EQ(reread.config().apiKeyStorage, APIKeyStorage::keyring);
  EXPECT_EQ(reread.config().apiKey, "");
  std::optional<Result<ModelConfig>> loaded;
  reread.loadConfig([&](Result<ModelConfig> config) { loaded = std::move(config); });
  ASSERT_TRUE(loaded && !*loaded);
  EXPECT_NE(loaded->error().localizedDescription().find("系统密钥环"), std::string::npos);
}

TEST_F(ModelConfigStoreTest, SavedFileIsPrivateToItsOwnerEvenWhenItExistedBefore) {
  ModelConfigStore store(paths);
  ASSERT_TRUE(store.save());
  EXPECT_EQ(fs::status(paths.configURL()).permissions(), fs::perms(0600));
  EXPECT_EQ(fs::status(paths.appSupportURL()).permissions(), fs::perms(0700));

  fs::permissions(paths.configURL(), fs::perms(0644));
  ASSERT_TRUE(store.save());
  EXPECT_EQ(fs::status(paths.configURL()).permissions(), fs::perms(0600));
}

TEST_F(ModelConfigStoreTest, SaveFailureIsReturnedAndLeavesTheConfigurationInMemory) {
  testing::writeAll(paths.appSupportURL(), "a file where the data folder belongs");
  ModelConfigStore store(paths);
  ModelConfig edited = ModelConfig::defaultConfig();
  edited.apiKey = "sk-unsaved";
  store.setConfig(edited);

  const auto saved = store.save();
  ASSERT_FALSE(saved);
  EXPECT_EQ(saved.error().localizedDescription().find("sk-unsaved"), std::string::npos);
  EXPECT_EQ(store.config(), edited);
}

}  // namespace
}  // namespace wrenfold
