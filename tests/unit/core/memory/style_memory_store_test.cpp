#include "core/memory/style_memory_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/support/json.h"
#include "core/support/time.h"
#include "core/text/regex.h"
#include "fakes/fake_system_log.h"
#include "support/temp_dir.h"

namespace wrenfold {
namespace {

using testing::readAll;
using testing::RecordingSystemLog;
using testing::testData;
using testing::writeAll;

timefmt::SystemTime at(std::string_view iso) {
  return *timefmt::parseIso8601(iso);
}

class StyleMemoryStoreTest : public ::testing::Test {
 protected:
  StyleMemoryStoreTest()
      : paths_(dir_.path() / "Wrenfold"), logger_(paths_, systemLog_, [this] { return now_; }) {}

  std::unique_ptr<StyleMemoryStore> makeStore() {
    return std::make_unique<StyleMemoryStore>(paths_, logger_, [this] { return now_; });
  }
  std::size_t loggedSampleFailures() {
    logger_.flush();  // the logger also reports its own file failures: count only ours
    constexpr std::string_view prefix = "ERROR style sample write failed: ";
    return static_cast<std::size_t>(std::ranges::count_if(systemLog_->lines(), [&](const std::string& line) {
      return line.starts_with(prefix) && line.size() > prefix.size();  // with the error's description
    }));
  }
  json::Json savedFile() const { return *json::parse(readAll(paths_.styleMemoryURL())); }

  testing::TempDir dir_;
  AppPaths paths_;
  std::shared_ptr<RecordingSystemLog> systemLog_ = std::make_shared<RecordingSystemLog>();
  timefmt::SystemTime now_ = at("2026-12-05T04:48:40Z");
  AppLogger logger_;
};

TEST_F(StyleMemoryStoreTest, UnusableFileGivesTheEmptyMemoryAndIsLeftAsItIs) {
  const json::Json valid = *json::parse(testData("memory/style-memory.json"));
  const auto variant = [&](const json::Json::json_pointer& where, std::optional<json::Json> value) {
    json::Json changed = valid;
    if (value) {
      changed[where] = *value;
    } else {
      changed[where.parent_pointer()].erase(where.back());
    }
    return std::optional(changed.dump());
  };
  const std::vector<std::pair<const char*, std::optional<std::string>>> files = {
      {"missing file", std::nullopt},
      {"malformed", "{\"userWrittenPreference\": "},
      {"not an object", "[]"},
      {"no preference", variant("/userWrittenPreference"_json_pointer, std::nullopt)},
      {"no bullets", variant("/summaryBullets"_json_pointer, std::nullopt)},
      {"no samples", variant("/recentSamples"_json_pointer, std::nullopt)},
      {"no date", variant("/updatedAt"_json_pointer, std::nullopt)},
      {"sample without text", variant("/recentSamples/0/text"_json_pointer, std::nullopt)},
      {"null preference", variant("/userWrittenPreference"_json_pointer, nullptr)},
      {"bad uuid", variant("/recentSamples/0/id"_json_pointer, "not-a-uuid")},
      {"bad date", variant("/updatedAt"_json_pointer, "05.12.2026")},
  };
  for (const auto& [name, bytes] : files) {
    std::filesystem::remove_all(paths_.appSupportURL());
    if (bytes) {
      writeAll(paths_.styleMemoryURL(), *bytes);
    }
    auto store = makeStore();
    EXPECT_EQ(store->memory(), StyleMemory::empty(now_)) << name;
    EXPECT_EQ(std::filesystem::exists(paths_.appSupportURL()), bytes.has_value()) << name;
    EXPECT_EQ(readAll(paths_.styleMemoryURL()), bytes.value_or("")) << name;
    EXPECT_EQ(store->loadProblem().has_value(), bytes.has_value()) << name;
    // The next insertion writes the file, but keeps the unreadable one beside it first.
    store->record("新样本", "reply.quick", "Mail");
    if (bytes) {
      ASSERT_TRUE(store->loadProblem()->keptAs) << name;
      EXPECT_EQ(readAll(*store->loadProblem()->keptAs), *bytes) << name;
    }
  }
}

TEST_F(StyleMemoryStoreTest, ReadsTheFileAndWritesItBackPrettySortedWithUpperCaseIds) {
  writeAll(paths_.styleMemoryURL(), testData("memory/style-memory.json"));
  const auto store = makeStore();
  ASSERT_EQ(store->memory().recentSamples.size(), 1u);
  EXPECT_EQ(store->memory().recentSamples[0].createdAt, at("2026-12-05T04:48:36Z"));

  now_ = at("2026-12-06T08:00:00Z");
  ASSERT_TRUE(store->updatePreference(" 简短 "));

  EXPECT_EQ(readAll(paths_.styleMemoryURL()), testData("memory/style-memory-saved.json"));
  EXPECT_EQ(makeStore()->memory(), store->memory());
}

TEST_F(StyleMemoryStoreTest, TwentyFiveRecordingsKeepTheNewestTwentyAndLogAll) {
  const auto store = makeStore();
  int notifications = 0;
  store->addListener([&] { ++notifications; });
  for (int i = 0; i < 25; ++i) {
    now_ = at("2026-12-05T04:48:40Z") + std::chrono::seconds(i);
    store->record("text " + std::to_string(i), "polish", "Mail");
  }

  std::vector<std::string> kept;
  std::ranges::transform(store->memory().recentSamples, std::back_inserter(kept), &StyleSample::text);
  std::vector<std::string> expected;
  for (int i = 5; i < 25; ++i) {
    expected.push_back("text " + std::to_string(i));
  }
  EXPECT_EQ(kept, expected);
  EXPECT_EQ(store->memory().updatedAt, now_);
  EXPECT_EQ(notifications, 25);
  EXPECT_EQ(savedFile()["recentSamples"].size(), 20u);

  std::istringstream log(readAll(paths_.samplesURL()));
  std::vector<json::Json> lines;
  for (std::string line; std::getline(log, line);) {
    lines.push_back(*json::parse(line));
  }
  ASSERT_EQ(lines.size(), 25u);
  EXPECT_EQ(lines[24]["text"], "text 24");
  EXPECT_EQ(lines[24]["createdAt"], "2026-12-05T04:49:04Z");
  EXPECT_EQ(lines[24]["id"], store->memory().recentSamples.back().id.string());
  const auto upperUuid =
      text::Regex::literal("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
  EXPECT_TRUE(upperUuid.matches(lines[0]["id"].get<std::string>()));
  EXPECT_EQ(loggedSampleFailures(), 0u);
}

TEST_F(StyleMemoryStoreTest, UnwritableStyleFolderKeepsChangesInMemory) {
  // A plain file where the style folder belongs: nothing under it can be made, even by root.
  writeAll(paths_.styleDirectoryURL(), "not a folder");
  const auto store = makeStore();

  store->record("你好", "quick-reply", "Mail");
  ASSERT_EQ(store->memory().recentSamples.size(), 1u);
  EXPECT_EQ(store->memory().recentSamples[0].text, "你好");
  EXPECT_EQ(loggedSampleFailures(), 1u);

  EXPECT_FALSE(store->updatePreference("正式"));
  EXPECT_EQ(store->memory().userWrittenPreference, "正式");
  EXPECT_FALSE(store->clear());
  EXPECT_EQ(store->memory(), StyleMemory::empty(now_));
}

TEST_F(StyleMemoryStoreTest, ClearWritesTheEmptyMemoryAndDeletesTheSampleLog) {
  const auto store = makeStore();  // the empty memory is first needed here, at 04:48:40
  now_ = at("2026-12-05T05:00:00Z");
  store->record("a", "polish", "Mail");
  ASSERT_TRUE(store->updatePreference("简短"));
  ASSERT_TRUE(std::filesystem::exists(paths_.samplesURL()));

  ASSERT_TRUE(store->clear());
  EXPECT_EQ(store->memory(), StyleMemory::empty(at("2026-12-05T04:48:40Z")));
  EXPECT_EQ(savedFile(), json::parse(R"({"recentSamples": [], "summaryBullets": [],
      "updatedAt": "2026-12-05T04:48:40Z", "userWrittenPreference": ""})")
                             .value());
  EXPECT_FALSE(std::filesystem::exists(paths_.samplesURL()));
  EXPECT_TRUE(store->clear());  // no sample log to delete is fine
}

TEST_F(StyleMemoryStoreTest, FailedClearLeavesTheSampleLogAlone) {
  const auto store = makeStore();
  store->record("a", "polish", "Mail");
  std::filesystem::remove(paths_.styleMemoryURL());
  std::filesystem::create_directory(paths_.styleMemoryURL());  // nothing can replace a folder

  EXPECT_FALSE(store->clear());
  EXPECT_TRUE(store->memory().recentSamples.empty());
  EXPECT_THAT(readAll(paths_.samplesURL()), ::testing::HasSubstr("\"text\":\"a\""));
}

}  // namespace
}  // namespace wrenfold
