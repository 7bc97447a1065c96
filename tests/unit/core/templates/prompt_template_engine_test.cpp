#include "core/templates/prompt_template_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/templates/built_in_templates.h"
#include "support/temp_dir.h"

namespace wrenfold {
namespace {

using testing::TempDir;

PromptTemplate userTemplate(std::string id, std::vector<std::string> phrases = {}, std::string title = "") {
  PromptTemplate t = BuiltInTemplates::all().back();
  t.id = std::move(id);
  t.title = title.empty() ? "user:" + t.id : std::move(title);
  t.matchPhrases = std::move(phrases);
  return t;
}

std::string fileOf(const std::vector<PromptTemplate>& templates) {
  json::OrderedJson array = json::OrderedJson::array();
  for (const auto& t : templates) {
    array.push_back(t.toJson());
  }
  return json::dumpCompact(array);
}

std::vector<std::string> idsOf(const std::vector<PromptTemplate>& templates) {
  std::vector<std::string> ids;
  for (const auto& t : templates) {
    ids.push_back(t.id);
  }
  return ids;
}

class PromptTemplateEngineTest : public ::testing::Test {
 protected:
  PromptTemplateEngine engineWith(std::optional<std::string> fileContent) {
    if (fileContent) {
      testing::writeAll(paths_.userTemplatesURL(), *fileContent);
    }
    return PromptTemplateEngine(paths_);
  }
  PromptTemplateEngine engineWith(const std::vector<PromptTemplate>& userTemplates) {
    return engineWith(fileOf(userTemplates));
  }

  TempDir dir_;
  AppPaths paths_{dir_.path() / "Wrenfold"};
};

TEST_F(PromptTemplateEngineTest, UnusableFilesGiveExactlyTheBuiltIns) {
  json::Json valid = json::Json::parse(userTemplate("a").toJson().dump());
  json::Json lacksUserPrompt = valid;
  lacksUserPrompt.erase("userPrompt");
  json::Json countAsText = valid;
  countAsText["candidateCount"] = "1";
  const std::vector<std::pair<const char*, std::optional<std::string>>> rows = {
      {"missing", std::nullopt},
      {"empty array", "[]\n"},
      {"empty file", ""},
      {"malformed", "[{"},
      {"object at top level", valid.dump()},
      {"mistyped element", json::Json::array({countAsText}).dump()},
      {"one bad element among good ones", json::Json::array({valid, lacksUserPrompt}).dump()},
  };
  for (const auto& [name, content] : rows) {
    std::filesystem::remove(paths_.userTemplatesURL());
    const PromptTemplateEngine engine = engineWith(content);
    EXPECT_EQ(engine.templates(), BuiltInTemplates::all()) << name;
    // A file that is there but unusable is named, with why; a missing or empty list is fine.
    const bool broken = content && *content != "[]\n";
    EXPECT_EQ(engine.userTemplatesProblem().has_value(), broken) << name;
    if (broken) {
      EXPECT_EQ(engine.userTemplatesProblem()->path, paths_.userTemplatesURL()) << name;
    }
  }
}

TEST_F(PromptTemplateEngineTest, UserTemplatesOverrideInPlaceAndAppendInFileOrder) {
  const auto engine =
      engineWith({userTemplate("a"), userTemplate("rewrite.shorter"), userTemplate("Reply.Quick"),
                  userTemplate("b"), userTemplate("reply.quick")});
  std::vector<std::string> expected = idsOf(BuiltInTemplates::all());
  expected.insert(expected.end(), {"a", "Reply.Quick", "b"});
  EXPECT_EQ(idsOf(engine.templates()), expected);
  EXPECT_EQ(engine.templates()[0].title, "user:reply.quick");
  EXPECT_EQ(engine.templates()[2].title, "user:rewrite.shorter");
  EXPECT_EQ(engine.templates()[1], BuiltInTemplates::all()[1]);
}

TEST_F(PromptTemplateEngineTest, LastOfEqualUserIDsWinsAtTheFirstPosition) {
  const auto engine =
      engineWith({userTemplate("dup", {}, "first"), userTemplate("x"), userTemplate("dup", {}, "second")});
  ASSERT_EQ(engine.templates().size(), 10u);
  EXPECT_EQ(engine.templates()[8].id, "dup");
  EXPECT_EQ(engine.templates()[8].title, "second");
  EXPECT_EQ(engine.templates()[9].id, "x");
}

TEST_F(PromptTemplateEngineTest, InvalidUtf8InTheFileIsRepairedNotFatal) {
  std::string content = fileOf({userTemplate("bad.bytes", {}, "TITLE")});
  content.replace(content.find("TITLE"), 5, "a\xff");
  const auto engine = engineWith(content);
  ASSERT_EQ(engine.templates().size(), 9u);
  EXPECT_EQ(engine.templates().back().title, "a\uFFFD");
}

struct MatchRow {
  const char* instruction;
  const char* expectedID;
};

TEST_F(PromptTemplateEngineTest, MatchesTheBuiltIns) {
  const auto engine = engineWith(std::nullopt);
  const std::vector<MatchRow> rows = {
      {"帮我回复一下", "reply.quick"},                 // 回复 2 + 帮我回 3
      {"请翻译成英文", "translate.en"},                // 英文 2 + 翻译成英文 5
      {"Translate Chinese", "translate.zh"},           // lower-cased before matching
      {"rewrite shorter", "rewrite.polish"},           // 7 each: the earlier template keeps the tie
      {"  ReWrite \n", "rewrite.polish"},              // trimmed and lower-cased
      {"请翻译成中文 summarize", "summarize.points"},  // 9 characters beat 5 + 2, though fewer bytes
      {"写一首诗", "custom.instruction"},              // no hit
      {"", "reply.quick"},
      {" \t\n\u3000", "reply.quick"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(engine.match(row.instruction).id, row.expectedID) << row.instruction;
  }
}

TEST_F(PromptTemplateEngineTest, MatchScoresUserPhrases) {
  const auto engine = engineWith({
      userTemplate("emoji", {"👍🏽"}),  // one character, two code points, eight bytes
      userTemplate("ok", {"ok"}),
      userTemplate("tie", {"professional"}),  // ties with the built-in, which comes first
      userTemplate("longer", {"very professional"}),
      userTemplate("mixed.case", {"PoLish Me"}),
      userTemplate("accented", {"écrire"}),
      userTemplate("poem", {"诗"}),
      userTemplate("empty", {""}),
  });
  const std::vector<MatchRow> rows = {
      {"👍🏽 ok", "ok"},
      {"👍🏽", "emoji"},
      {"be professional", "rewrite.professional"},
      {"very professional", "longer"},
      {"polish me please", "mixed.case"},  // 9 beats the built-in's "polish" 6
      {"ÉCRIRE une lettre", "accented"},
      {"写一首诗", "poem"},
      {"xyz", "custom.instruction"},  // an empty phrase occurs nowhere
  };
  for (const auto& row : rows) {
    EXPECT_EQ(engine.match(row.instruction).id, row.expectedID) << row.instruction;
  }
}

TEST_F(PromptTemplateEngineTest, OverriddenDefaultAndFallbackStayInTheirRoles) {
  const auto engine = engineWith({userTemplate("custom.instruction", {"诗"}), userTemplate("reply.quick")});
  EXPECT_EQ(engine.match("写一首诗").title, "user:custom.instruction");
  EXPECT_EQ(engine.match("nothing here").title, "user:custom.instruction");
  EXPECT_EQ(engine.match("  ").title, "user:reply.quick");
  EXPECT_EQ(engine.defaultTemplate().title, "user:reply.quick");
  EXPECT_EQ(engine.templateWithID("translate.en").id, "translate.en");
  EXPECT_EQ(engine.templateWithID("no.such.id").title, "user:reply.quick");
}

}  // namespace
}  // namespace wrenfold
