#include "core/ai/response_parser.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace wrenfold {
namespace {

using Seen = std::tuple<std::string, std::optional<std::string>, double>;  // text, title, confidence

// An unusable reply (invalidModelResponse) is seen as no candidates at all.
std::vector<Seen> parsed(const std::string& reply, int expectedCount) {
  std::vector<Seen> seen;
  const auto candidates = ResponseParser::parse(reply, expectedCount);
  if (!candidates) {
    EXPECT_TRUE(candidates.error().is(AssistantError::Kind::invalidModelResponse));
    return seen;
  }
  for (const auto& c : *candidates) {
    seen.emplace_back(c.text, c.title, c.confidence);
  }
  return seen;
}

Seen json(std::string text, double confidence = 0.8, std::optional<std::string> title = std::nullopt) {
  return {std::move(text), std::move(title), confidence};
}
Seen item(std::string text) {
  return {std::move(text), std::nullopt, 0.7};
}
Seen whole(std::string text) {
  return {std::move(text), std::nullopt, 0.6};
}

struct Row {
  const char* name;
  std::string reply;
  int expectedCount;
  std::vector<Seen> expected;
};

const std::string kEnvelope = R"({"candidates":[{"text":" A ","title":"t","confidence":0.9},{"text":"B"}]})";
const std::vector<Seen> kEnvelopeSeen = {json("A", 0.9, "t"), json("B")};
const std::string kFive = R"([{"text":"1"},{"text":"2"},{"text":"3"},{"text":"4"},{"text":"5"}])";

TEST(ResponseParser, JsonEnvelopeArrayAndFences) {
  const std::vector<Row> rows = {
      {"envelope", kEnvelope, 3, kEnvelopeSeen},
      {"fenced json", "```json\n" + kEnvelope + "\n```", 3, kEnvelopeSeen},
      {"fence without a language", "```\n" + kEnvelope + "```", 3, kEnvelopeSeen},
      {"upper-case JSON stays, the envelope after it is still read", "```JSON\n" + kEnvelope + "\n```", 3,
       kEnvelopeSeen},
      {"bare array", R"([{"text":"A"},{"text":"B"}])", 3, {json("A"), json("B")}},
      {"null title and confidence are absent",
       R"([{"text":"A","title":null,"confidence":null}])",
       3,
       {json("A")}},
      {"empty title kept, confidence unbounded",
       R"([{"text":"A","title":"","confidence":3}])",
       3,
       {json("A", 3.0, "")}},
      {"unknown keys ignored", R"({"candidates":[{"text":"A","x":[1]}],"y":2})", 3, {json("A")}},
      // An envelope without a usable text is an unusable reply, never raw JSON to insert.
      {"empty envelope", R"({"candidates":[]})", 3, {}},
      {"blank texts only", R"({"candidates":[{"text":" \n"}]})", 3, {}},
      {"payload without text", R"({"candidates":[{"title":"x"}]})", 3, {}},
      {"texts of the wrong type", R"({"candidates":[{"text":5},{"text":null}]})", 3, {}},
      {"bare array of blank texts", R"([{"text":" "},{"text":"\t"}])", 3, {}},
      {"empty bare array", "[]", 3, {}},
      // Envelopes that are almost right give the texts they hold.
      {"mistyped fields",
       R"({"candidates":[{"text":"A","confidence":"0.9"},{"text":"B","title":3,"confidence":"high"}]})",
       3,
       {json("A", 0.9), json("B")}},
      {"prose around", "好的，候选如下：\n" + kEnvelope + "\n希望有帮助。", 3, kEnvelopeSeen},
      {"cut-off end",
       R"({"candidates":[{"text":"A \"q\""},{"title":"\"text\": \"no\"","text":"B"},{"text":"C)",
       3,
       {json("A \"q\""), json("B", 0.8, "\"text\": \"no\"")}},
      {"a mistyped title in a bare array drops the title",
       R"([{"text":"A"},{"text":"B","title":5}])",
       3,
       {json("A"), json("B")}},
      // Small models write plain strings, or mix them with objects.
      {"envelope of strings",
       R"({"candidates":["好的，明天见！","收到，我 10 点到。"," "]})",
       3,
       {json("好的，明天见！"), json("收到，我 10 点到。")}},
      {"bare array of strings", R"(["A","B"])", 3, {json("A"), json("B")}},
      {"strings and objects mixed",
       R"({"note":{"x":[1]},"candidates":["甲",{"text":"乙（正式）","title":"t"},7]})",
       3,
       {json("甲"), json("乙（正式）", 0.8, "t")}},
      {"object of another shape", R"({"text":"A"})", 3, {item(R"({"text":"A"})")}},
      {"bracketed numbers are text, not JSON",
       "[1] 张三说：明天见。\n[2] 李四说：OK！",
       3,
       {item("[1] 张三说：明天见。\n[2] 李四说：OK！")}},
      {"a string-valued candidates key is not an envelope",
       R"({"candidates":"A"})",
       3,
       {item(R"({"candidates":"A"})")}},
      {"first three of five", kFive, 3, {json("1"), json("2"), json("3")}},
      {"expected count 0 means one", kFive, 0, {json("1")}},
      {"negative expected count means one", kFive, -4, {json("1")}},
      {"invalid UTF-8 inside JSON is repaired", "[{\"text\":\"A\xff\"}]", 1, {json("A\xEF\xBF\xBD")}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(parsed(row.reply, row.expectedCount), row.expected) << row.name;
  }
}

TEST(ResponseParser, ListSplittingAndWholeText) {
  const std::vector<Row> rows = {
      {"numbered", "1. A\n2. B\n3. C", 3, {item("A"), item("B"), item("C")}},
      {"preamble is an item",
       "以下是候选：\n1. A\n2. B\n3. C",
       3,
       {item("以下是候选："), item("A"), item("B")}},
      {"候选 markers, both colons", "候选1：A\n候选 2: B", 3, {item("A"), item("B")}},
      {"bullets, parenthesis, indentation", "- A\n  * B\n3) C", 3, {item("A"), item("B"), item("C")}},
      {"continuation line joins its item",
       "- first\n  continued\n- second",
       3,
       {item("first\n  continued"), item("second")}},
      {"prose paragraphs join with one line feed",
       "Para one.\n\n\nPara two.",
       3,
       {item("Para one.\nPara two.")}},
      {"a year is taken as a marker", "我们约在\n2024. 年底见面", 3, {item("我们约在"), item("年底见面")}},
      {"a minus sign is taken as a marker", "明天气温\n-5 度", 3, {item("明天气温"), item("5 度")}},
      {"full-width digits are digits", "１. 甲\n２. 乙", 3, {item("甲"), item("乙")}},
      {"CRLF, CR, LS and PS break lines",
       "1. A\r\n2. B\r3. C\xE2\x80\xA8"
       "4. D\xE2\x80\xA9"
       "5. E",
       5,
       {item("A"), item("B"), item("C"), item("D"), item("E")}},
      {"a marker mid-line is text", "A - B\nC 2. D", 3, {item("A - B\nC 2. D")}},
      {"invalid UTF-8 is repaired", "1. A\xC3\n2. B", 3, {item("A\xEF\xBF\xBD"), item("B")}},
      {"lone hyphen falls to whole text", " - ", 3, {whole("-")}},
      {"fenced lone marker falls to fence-stripped text", "```json\n1.\n```", 3, {whole("1.")}},
      {"empty reply", "", 3, {}},
      {"bare fence", "```", 3, {}},
      {"empty fence", "```json\n \n```", 3, {}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(parsed(row.reply, row.expectedCount), row.expected) << row.name;
  }
}

TEST(ResponseParser, LeadingReasoningBlock) {
  const std::vector<Row> rows = {
      {"block before JSON", "<think>\n1. maybe\n- or</think>\n\n" + kEnvelope, 3, kEnvelopeSeen},
      {"block before a fence", " <think>x</think>\n```json\n" + kEnvelope + "\n```", 3, kEnvelopeSeen},
      {"block before a list", "<think>hmm</think>1. A\n2. B", 3, {item("A"), item("B")}},
      {"every leading block is removed", "<think>a</think><think>b</think>A", 3, {item("A")}},
      // Reasoning is never a candidate: without an answer after it the reply is empty.
      {"a reply that is only reasoning", "<think>只是在想</think>\n", 3, {}},
      {"an unclosed block (cut off while thinking)", "<think>用户想要 1. 一个回复", 3, {}},
      {"a block later in the reply stays", "A\n<think>b</think>", 3, {item("A\n<think>b</think>")}},
      {"a block the chat template opened",
       "reasoning\n1. no\n</think>\n\n1. A\n2. B",
       3,
       {item("A"), item("B")}},
      {"the first lone end closes the reasoning", "a</think>b</think>c", 3, {item("b</think>c")}},
      {"tag-less reasoning before strings",
       "用户要回复同事。草稿：{\"candidates\":[\"草稿\"]}\n</"
       "think>\n```json\n[\"好的，收到！\",\"OK，马上看。\"]\n```",
       3,
       {json("好的，收到！"), json("OK，马上看。")}},
      {"an answer that opens with JSON keeps a later end", R"(["甲"] </think> ["乙"])", 3, {json("甲")}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(parsed(row.reply, row.expectedCount), row.expected) << row.name;
  }
}

TEST(ResponseParser, EveryCandidateGetsAFreshId) {
  std::set<std::string> ids;
  for (int round = 0; round < 2; ++round) {
    const auto candidates = ResponseParser::parse(kFive, 5).value();
    for (const auto& c : candidates) {
      ids.insert(c.id.string());
    }
  }
  ids.insert(Uuid().string());
  EXPECT_EQ(ids.size(), 11u);
}

// A left-to-right regex search for the closing fence retries a blank run from each of its
// positions; a long run must not stall the parse.
TEST(ResponseParser, LongBlankRunsBeforeTheClosingFence) {
  const std::string blank(20000, ' ');
  EXPECT_EQ(parsed("```\nA" + blank + "```", 1), std::vector<Seen>{item("A")});
  EXPECT_EQ(parsed("```\nA" + blank + "B\n```", 1), std::vector<Seen>{item("A" + blank + "B")});
}

// A reply read as it is written, in pieces of any size: each candidate is certain exactly once
// its element closes or the next item's line is complete, never earlier, never while a lone
// </think> could still make it reasoning, and always as the whole reply's parse has it, id
// included.
TEST(ResponseParser, CandidatesCompleteWhileTheReplyIsWritten) {
  struct Case {
    std::string reply;
    std::vector<std::string> completeAfter;  // the text that completes each candidate, after any </think>
    std::size_t total;                       // candidates at the end
  };
  const Case cases[] = {
      {R"({"candidates":[{"text":"a {b}","title":"t"},{"text":"c\"}"},"d"]})",
       {R"("title":"t"})", R"("c\"}"})", R"("d")"},
       3},
      {"```json\n[{\"text\":\"x\"},{\"text\":\"y\"}]\n```", {"\"x\"}", "\"y\"}"}, 2},
      {"<think>1. 不\n2. 不</think>\n以下是候选：\n1. 甲\n2. 乙\n3. 丙", {"1. 甲\n", "2. 乙\n"}, 3},
      // Tag-less reasoning that looks like a list and drafts JSON: nothing shows before its end.
      {"1. 用户在问时间\n2. 草稿 "
       "{\"candidates\":[\"不\"]}\n</think>\n{\"candidates\":[\"十点，OK！\",\"明早十点。\"]}",
       {"\"十点，OK！\"", "\"明早十点。\""},
       2},
      {"<think>想</think>好的，候选如下：\n{\n  \"candidates\": [\"甲\", \"乙\"]}", {"\"甲\"", "\"乙\""}, 2},
      // A list with no <think> at all may still turn out to be reasoning: it shows at the end.
      {"以下是候选：\n1. 好的\n2. 收到（OK）\n3. 没问题", {}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    ReplyReader reader(3);  // one byte at a time; other piece sizes are the fuzz target's part
    std::vector<GeneratedCandidate> shown;
    for (std::size_t at = 0; at < c.reply.size(); ++at) {
      reader.append(c.reply.substr(at, 1));
      const auto soFar = reader.completed();
      for (std::size_t seen = shown.size(); seen < soFar.size(); ++seen) {
        ASSERT_LT(seen, c.completeAfter.size());
        const auto where = c.reply.find(c.completeAfter[seen], c.reply.find("</think>") + 1);
        EXPECT_EQ(at + 1, where + c.completeAfter[seen].size()) << "candidate " << seen;
      }
      shown = soFar;
    }
    EXPECT_EQ(shown.size(), c.completeAfter.size());
    const auto final = reader.finish();
    ASSERT_TRUE(final);
    ASSERT_EQ(final->size(), c.total);
    for (std::size_t i = 0; i < final->size(); ++i) {
      EXPECT_EQ(Seen((*final)[i].text, (*final)[i].title, (*final)[i].confidence), parsed(c.reply, 3).at(i));
      EXPECT_TRUE(i >= shown.size() || (*final)[i].id == shown[i].id);
    }
  }
}

}  // namespace
}  // namespace wrenfold
