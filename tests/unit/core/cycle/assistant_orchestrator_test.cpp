#include "core/cycle/assistant_orchestrator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <thread>

#include "core/ai/curl_http_client.h"

#include "fakes/fake_accessibility.h"
#include "fakes/fake_image_codec.h"
#include "fakes/fake_key_events.h"
#include "fakes/fake_pasteboard.h"
#include "fakes/fake_system_log.h"
#include "fakes/fake_window_capture.h"
#include "fakes/fake_workspace.h"
#include "fakes/manual_clock.h"
#include "fakes/manual_main_queue.h"
#include "fakes/manual_work_queue.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"

namespace wrenfold {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace wrenfold::testing;

constexpr std::int32_t kPid = 77;

// Holds each request until the test answers it, so tests choose the order replies arrive in.
class HeldHttpClient final : public HttpClient {
 public:
  explicit HeldHttpClient(MainQueue& queue) : queue_(queue) {}
  void send(HttpRequest request, Completion completion) override {
    requests.push_back(std::move(request));
    pending_.push_back(std::move(completion));
  }
  void answer(std::size_t index, std::string modelText) {
    const json::Json content = modelText;
    answerBody(index, R"({"choices":[{"message":{"role":"assistant","content":)" + content.dump() + "}}]}");
  }
  void answerBody(std::size_t index, std::string body) {
    queue_.post([completion = std::move(pending_.at(index)),
                 response = HttpResponse{200, {}, std::move(body)}] { completion(response); });
  }
  std::vector<HttpRequest> requests;

 private:
  MainQueue& queue_;
  std::deque<Completion> pending_;
};

class RecordingNotifier final : public UserNotifier {
 public:
  void notify(std::string title, std::string body) override { notices.push_back(title + ": " + body); }
  std::vector<std::string> notices;
};

class RecordingOverlay final : public OverlayWindow {
 public:
  OverlayViewModel& model() override { return model_; }
  void show(std::optional<Rect> anchor) override {
    calls.push_back(anchor ? "show(anchor)" : "show");
    anchors.push_back(anchor);
  }
  void ensureSize() override { calls.push_back("ensureSize"); }
  void focusPanel() override { calls.push_back("focus"); }
  void close() override { calls.push_back("close"); }
  std::vector<std::string> calls;
  std::vector<std::optional<Rect>> anchors;

 private:
  OverlayViewModel model_;
};

std::string envelope(std::initializer_list<const char*> texts) {
  json::Json list = json::Json::array();
  for (const char* t : texts) {
    list.push_back({{"text", t}, {"confidence", 0.8}});
  }
  return json::Json{{"candidates", list}}.dump();
}

class OrchestratorTest : public ::testing::Test {
 protected:
  OrchestratorTest() {
    app_ = ax_.addElement("AXApplication");
    window_ = ax_.addElement("AXWindow");
    ax_.set(window_, AXAttribute::title, std::string("Chat"));
    ax_.setFrame(window_, {0, 0}, {800, 600});
    ax_.addChild(window_, "AXStaticText", "Alice: are we still meeting tomorrow at ten?");
    field_ = ax_.addChild(window_, "AXTextArea", "draft");
    ax_.set(field_, AXAttribute::window, window_);
    ax_.set(field_, AXAttribute::selectedTextRange, TextRange{5, 0});
    ax_.setFrame(field_, {10, 500}, {600, 40});
    ax_.set(app_, AXAttribute::focusedUIElement, field_);
    ax_.set(app_, AXAttribute::focusedWindow, window_);
    ax_.setApplication(kPid, app_);
    workspace_.addApplication({kPid, "org.example.chat", "Chat"}, true);
    writeConfig("sk-test");
  }

  void writeConfig(const std::string& key, bool stream = false) {
    ModelConfig config = ModelConfig::defaultConfig();
    config.apiKey = key;
    config.streamReplies = stream;
    config.baseURL = "http://192.0.2.1:9";  // not local: a blank key is refused
    configStore_.setConfig(config);
  }

  // Runs queued work and main-thread tasks until nothing is left to do now.
  void settle() {
    for (int i = 0; i < 100 && (work_.pendingCount() > 0 || queue_.pendingCount() > 0); ++i) {
      work_.runAll();
      queue_.runPending();
    }
  }

  // A cycle triggered and its request answered with `texts`.
  void answeredCycle(std::initializer_list<const char*> texts) {
    orchestrator_->trigger("");
    settle();
    http_.answer(http_.requests.size() - 1, envelope(texts));
    settle();
  }

  // A whole cycle up to Return on the first candidate.
  void insertFirstCandidate(const char* candidate) {
    answeredCycle({candidate});
    model_.onInsert(*model_.selectedCandidate(), model_.selectedTemplateID());
    queue_.advance(std::chrono::seconds(10));
    settle();
  }

  std::string log() {
    logger_.flush();
    return readAll(data_ / "logs/app.log");
  }

  std::string events() {
    logger_.flush();
    return readAll(data_ / "events/local-events.jsonl");
  }

  TempDir data_;
  AppPaths paths_{data_.path()};
  AppLogger logger_{paths_, std::make_shared<testing::SilentSystemLog>()};
  FakeAccessibility ax_;
  FakeWorkspace workspace_;
  FakePasteboard pasteboard_;
  FakeWindowCapture capture_;
  FakeImageCodec codec_;
  FakeKeyEvents keys_;
  ManualClock clock_;
  ManualMainQueue queue_{clock_};
  ManualWorkQueue work_;
  HeldHttpClient http_{queue_};
  PromptTemplateEngine engine_{paths_};
  ModelConfigStore configStore_{paths_};
  StyleMemoryStore styleStore_{paths_, logger_};
  RecordingOverlay overlay_;
  RecordingNotifier notifier_;
  AccessibilityElement app_ = ax_.addElement();
  AccessibilityElement window_ = app_;
  AccessibilityElement field_ = app_;
  std::unique_ptr<AssistantOrchestrator> orchestrator_ = [this] {
    overlay_.model().setTemplates(engine_.templates());
    return std::make_unique<AssistantOrchestrator>(
        engine_, configStore_, styleStore_, overlay_,
        CyclePorts{ax_, workspace_, pasteboard_, capture_, codec_, keys_, queue_, work_, clock_, http_,
                   logger_, notifier_});
  }();
  OverlayViewModel& model_ = overlay_.model();
};

// Under Wayland a program's frames are within its window: anchoring to them would put the
// panel anywhere, so it goes unanchored.
TEST_F(OrchestratorTest, FramesKnownOnlyWithinTheWindowLeaveThePanelUnanchored) {
  ax_.framesOnScreen = false;
  orchestrator_->trigger("");
  settle();
  ASSERT_GE(overlay_.calls.size(), 2u);
  EXPECT_EQ(overlay_.calls[1], "show");
}

// Firefox opens its menu bar on the first Alt; loaded, it tells that the second closed it only
// after the cycle found the menu focused (KWrite's menu bar too). The panel first beside the menu
// moves to the field, and the field becomes the cycle's target.
TEST_F(OrchestratorTest, ACycleFoundOnAMenuTakesTheFieldOnceTheFocusIsBack) {
  const auto menu = ax_.addChild(window_, "AXMenuItem", "文件(F)");
  ax_.setFrame(menu, {0, 20}, {36, 24});
  ax_.set(app_, AXAttribute::focusedUIElement, menu);
  pasteboard_.copyTextExternally("明天的会改到10点，OK？");  // a menu has no text to read
  orchestrator_->trigger("");
  queue_.runPending();  // the target is found on the menu
  settle();             // and the context read while the menu still has the focus
  EXPECT_TRUE(http_.requests.empty()) << "nothing asked for the menu";
  queue_.advance(std::chrono::milliseconds(120));
  ax_.set(app_, AXAttribute::focusedUIElement, field_);
  queue_.advance(std::chrono::milliseconds(60));
  settle();
  ASSERT_FALSE(overlay_.anchors.empty());
  ASSERT_TRUE(overlay_.anchors.back());
  EXPECT_EQ(overlay_.anchors.back()->y, 500);
  EXPECT_THAT(log(), HasSubstr("panel beside the field or window 600x40+10+500, focused AXTextArea"));
  // The candidate goes to the field, written there, never to the menu.
  ASSERT_EQ(http_.requests.size(), 1u) << log();
  http_.answer(0, envelope({"好的，明天10点见。", "收到OK。"}));
  settle();
  ASSERT_EQ(model_.phase().kind(), OverlayPhase::Kind::ready) << model_.phase().message();
  model_.onInsert(*model_.selectedCandidate(), model_.selectedTemplateID());
  settle();
  EXPECT_EQ(std::get<std::string>(*ax_.get(field_, AXAttribute::value)), "draft好的，明天10点见。");
  EXPECT_THAT(log(),
              HasSubstr("insert into Chat (org.example.chat), field AXTextArea: accessibility written"));
}

TEST_F(OrchestratorTest, CycleFromAccessibilityTextToInsertion) {
  orchestrator_->trigger("");
  settle();
  ASSERT_EQ(http_.requests.size(), 1u);
  EXPECT_THAT(http_.requests[0].body, HasSubstr("are we still meeting tomorrow"));
  EXPECT_EQ(model_.phase(), OverlayPhase::generating());
  EXPECT_THAT(model_.contextSummary(), ::testing::StartsWith("Chat / accessibility / "));

  http_.answer(0, envelope({"Yes, see you at ten.", "Sure, ten works."}));
  settle();
  ASSERT_EQ(model_.phase().kind(), OverlayPhase::Kind::ready) << model_.phase().message();
  ASSERT_EQ(model_.candidates().size(), 2u);
  EXPECT_EQ(model_.selectedCandidateID(), model_.candidates()[0].id);
  EXPECT_EQ(orchestrator_->state().kind(), AssistantState::Kind::ready);
  EXPECT_EQ(overlay_.calls.front(), "show");
  EXPECT_EQ(overlay_.calls[1], "show(anchor)");
  EXPECT_EQ(overlay_.calls.back(), "focus");
  EXPECT_THAT(events(), HasSubstr(R"("templateID":"reply.quick")"));
  EXPECT_THAT(events(), HasSubstr(R"("source":"accessibility")"));

  ASSERT_TRUE(model_.moveCandidateSelection(1));
  model_.onInsert(*model_.selectedCandidate(), model_.selectedTemplateID());
  settle();
  EXPECT_EQ(overlay_.calls.back(), "close");
  EXPECT_EQ(std::get<std::string>(*ax_.get(field_, AXAttribute::value)), "draftSure, ten works.");
  EXPECT_THAT(events(), HasSubstr(R"("event":"insert.success")"));
  EXPECT_THAT(events(), HasSubstr(R"("mode":"inserted")"));
  EXPECT_THAT(readAll(data_ / "style/samples.jsonl"), HasSubstr("Sure, ten works."));
  EXPECT_THAT(log(), HasSubstr("INFO insert into Chat (org.example.chat), field AXTextArea: accessibility "
                               "written; result inserted"));
  EXPECT_THAT(log(), Not(HasSubstr("Sure, ten works.")));
  EXPECT_TRUE(notifier_.notices.empty());
}

// Each candidate shows as soon as the stream completes it, with more still coming; a selection
// made meanwhile stays on its candidate when the whole reply replaces the list.
TEST_F(OrchestratorTest, StreamedReplyShowsCandidatesOneByOneAndKeepsTheSelection) {
  writeConfig("sk-test", true);
  orchestrator_->trigger("");
  settle();
  ASSERT_EQ(http_.requests.size(), 1u);
  EXPECT_THAT(http_.requests[0].body, HasSubstr(R"("stream":true)"));
  std::string body;
  const auto send = [&](std::string_view piece) {
    const std::string event =
        "data: " + json::Json{{"choices", {{{"delta", {{"content", piece}}}}}}}.dump() + "\n\n";
    body += event;
    http_.requests[0].onBodyData(event);
    settle();
  };
  send(R"({"candidates":[{"text":"甲"},{"te)");
  EXPECT_EQ(model_.phase(), OverlayPhase::ready(model_.candidates(), true));
  ASSERT_EQ(model_.candidates().size(), 1u);
  EXPECT_EQ(model_.selectedCandidateID(), model_.candidates()[0].id);
  EXPECT_EQ(overlay_.calls.back(), "focus");
  send(R"(xt":"乙"},)");
  ASSERT_EQ(model_.candidates().size(), 2u);
  ASSERT_TRUE(model_.moveCandidateSelection(1));
  const Uuid chosen = model_.candidates()[1].id;
  send(R"({"text":"丙"}]})");
  ASSERT_EQ(model_.candidates().size(), 3u);
  EXPECT_TRUE(model_.phase().moreComing()) << "the reply is not finished";
  const auto shown = model_.candidates();
  http_.answerBody(0, body + "data: [DONE]\n\n");
  settle();
  EXPECT_EQ(model_.candidates(), shown);
  EXPECT_EQ(model_.phase(), OverlayPhase::ready(shown, false));
  EXPECT_EQ(model_.selectedCandidateID(), chosen);
}

// Only a confirmed insertion goes unmentioned; the user is told about every other outcome, and
// the log names each strategy tried, never the text.
TEST_F(OrchestratorTest, InsertionsNotSeenInTheFieldAreToldAndLeftOnTheClipboard) {
  ax_.rejectWrites(field_, AXAttribute::selectedText);
  ax_.rejectWrites(field_, AXAttribute::value);
  insertFirstCandidate("Sure, ten works.");
  EXPECT_THAT(events(), HasSubstr(R"("mode":"copied")"));
  EXPECT_THAT(log(), HasSubstr("accessibility refused; paste not seen; result copied"));
  EXPECT_EQ(pasteboard_.string(), "Sure, ten works.");
  ASSERT_EQ(notifier_.notices.size(), 1u);
  EXPECT_EQ(notifier_.notices[0], "Wrenfold: 没能自动填入“Chat”，候选内容已复制到剪贴板，请按 Ctrl+V 粘贴。");

  // A field that exposes no text: the paste goes out and cannot be confirmed.
  const auto page = ax_.addChild(window_, "AXWebArea");
  ax_.set(app_, AXAttribute::focusedUIElement, page);
  insertFirstCandidate("See you.");
  EXPECT_THAT(events(), HasSubstr(R"("mode":"pasted")"));
  EXPECT_THAT(
      log(),
      HasSubstr("insert into Chat (org.example.chat), field AXWebArea: paste unconfirmed; result pasted"));
  EXPECT_EQ(pasteboard_.string(), "Sure, ten works.") << "the clipboard as it was before the paste";
  ASSERT_EQ(notifier_.notices.size(), 2u);
  EXPECT_EQ(notifier_.notices[1], "Wrenfold: 已粘贴到“Chat”，但无法确认文字已经写入，请检查一下。");
  EXPECT_THAT(log(), Not(HasSubstr("See you.")));
}

// A trigger while Wrenfold's own panel is active: never Wrenfold itself.
TEST_F(OrchestratorTest, ATriggerFromOurOwnWindowTargetsTheProgramTheUserWasIn) {
  constexpr std::int32_t kOwnPid = 900;
  workspace_.setOwnProcessID(kOwnPid);
  const auto own = ax_.addElement("AXApplication");
  ax_.setApplication(kOwnPid, own);
  ax_.set(own, AXAttribute::focusedUIElement,
          ax_.addChild(ax_.addElement("AXWindow"), "AXTextField", "Wrenfold's own instruction"));
  workspace_.addApplication({kOwnPid, "wrenfold", "Wrenfold"}, true);

  // No cycle before: the program whose window is next below.
  orchestrator_->trigger("");
  settle();
  ASSERT_EQ(http_.requests.size(), 1u);
  EXPECT_THAT(http_.requests[0].body, HasSubstr("are we still meeting tomorrow"));
  http_.answer(0, envelope({"a"}));
  settle();

  // Another program came up meanwhile; the trigger from the panel keeps the cycle's field.
  const auto mail = ax_.addElement("AXApplication");
  ax_.setApplication(88, mail);
  ax_.set(mail, AXAttribute::focusedUIElement,
          ax_.addChild(ax_.addElement("AXWindow"), "AXTextField", "mail draft"));
  workspace_.addApplication({88, "org.example.mail", "Mail"});
  workspace_.setFrontmost(RunningApplication{kOwnPid, "wrenfold", "Wrenfold"});
  orchestrator_->trigger("");
  settle();
  ASSERT_EQ(http_.requests.size(), 2u);
  EXPECT_THAT(http_.requests[1].body, HasSubstr("are we still meeting tomorrow"));
  EXPECT_THAT(http_.requests[1].body, Not(HasSubstr("mail draft")));
  EXPECT_THAT(http_.requests[1].body, Not(HasSubstr("Wrenfold's own")));

  // The panel closed, which hands the keyboard back to the cycle's program; then a trigger from
  // the settings window: the program below now, not the old field.
  orchestrator_->close();
  EXPECT_EQ(workspace_.frontmostApplication()->processID, kPid);
  workspace_.setFrontmost(RunningApplication{kOwnPid, "wrenfold", "Wrenfold"});
  orchestrator_->trigger("");
  settle();
  ASSERT_EQ(http_.requests.size(), 3u);
  EXPECT_THAT(http_.requests[2].body, HasSubstr("mail draft"));
}

// Without a compositor the capture holds only what the screen shows: the panel beside the field
// would come out as a blank patch in the very place the user is writing. The panel shows once
// the pixels are taken and before the program, which may be busy, is asked anything: where it
// last stood beside this window, else unanchored; then it moves beside the field.
TEST_F(OrchestratorTest, ThePanelCoversTheWindowOnlyOnceItIsCapturedWhereCoveredPixelsAreLost) {
  capture_.addWindow({42, kPid, true, 0, {0, 0, 800, 600}, "Chat", 1});
  capture_.addWindow({43, kPid, true, 0, {0, 0, 800, 600}, "Chat", 1});
  std::optional<std::size_t> queuedAtFirstRead;
  std::optional<std::vector<std::string>> shownAtFirstRead;
  ax_.onRead([&] {
    if (!queuedAtFirstRead) {
      queuedAtFirstRead = work_.pendingCount();
      shownAtFirstRead = overlay_.calls;
    }
  });
  const Rect field{10, 500, 600, 40};
  struct Row {
    const char* name;
    std::uint64_t window;
    bool lost;
    bool captures;
    std::vector<std::string> shownBeforeAsking;
    std::optional<Rect> firstAnchor;
  };
  const Row rows[] = {
      {"compositor: at once, then beside the field", 42, false, true, {"show"}, std::nullopt},
      {"no compositor, another window: once taken, unanchored", 43, true, true, {"show"}, std::nullopt},
      {"no compositor, the same window again: where it last stood", 43, true, true, {"show(anchor)"}, field},
      // Where a new window may take the keyboard, the field is found first.
      {"a session that captures nothing: once the field is found", 43, true, false, {}, field},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    workspace_.setFrontmost(RunningApplication{kPid, "org.example.chat", "Chat", row.window});
    capture_.setAvailable(row.captures);
    if (row.lost) {
      capture_.loseCoveredPixels();
    }
    overlay_.calls.clear();
    overlay_.anchors.clear();
    queuedAtFirstRead.reset();
    shownAtFirstRead.reset();
    const std::size_t capturedBefore = capture_.captures().size();
    orchestrator_->trigger("");
    queue_.runPending();  // the cycle starts; the capture waits on the worker
    EXPECT_EQ(overlay_.calls.empty(), row.lost) << "shown before the capture ran";
    if (row.lost && row.captures) {
      EXPECT_FALSE(queuedAtFirstRead) << "the program asked before the panel showed";
    } else {
      EXPECT_EQ(queuedAtFirstRead, 1u) << "the capture begun before the program was asked";
    }
    work_.runOne();  // the pixels
    queue_.runPending();
    ASSERT_EQ(capture_.captures().size(), capturedBefore + 1);
    EXPECT_EQ(capture_.captures().back().windowID, row.window);
    EXPECT_EQ(shownAtFirstRead, row.shownBeforeAsking);
    ASSERT_FALSE(overlay_.anchors.empty());
    EXPECT_EQ(overlay_.anchors.front(), row.firstAnchor);
    EXPECT_EQ(overlay_.anchors.back(), field) << "beside the field in the end";
    settle();
    http_.answer(http_.requests.size() - 1, envelope({"好的，周五下午三点见。"}));
    settle();
  }
}

// A password manager's window is refused, and never captured, not even to be thrown away.
TEST_F(OrchestratorTest, ASensitiveApplicationsWindowIsNeverCaptured) {
  capture_.addWindow({1, kPid, true, 0, {0, 0, 800, 600}, "Chat", 1});
  workspace_.addApplication({kPid + 1, "org.keepassxc.KeePassXC", "KeePassXC", 5}, true);
  capture_.addWindow({5, kPid + 1, true, 0, {0, 0, 800, 600}, "数据库 - KeePassXC", 1});
  orchestrator_->trigger("");
  settle();
  EXPECT_TRUE(capture_.captures().empty());
  EXPECT_THAT(model_.phase().message(), HasSubstr("敏感应用"));
}

TEST_F(OrchestratorTest, FailuresShowTheirMessageAndKeepTheCycleForRegeneration) {
  writeConfig("   ");
  orchestrator_->trigger("");
  settle();
  EXPECT_EQ(model_.phase(), OverlayPhase::error("请先在设置中配置模型 API Key。"));
  EXPECT_EQ(orchestrator_->state(), AssistantState::failed("请先在设置中配置模型 API Key。"));
  EXPECT_EQ(overlay_.calls.back(), "focus");
  EXPECT_THAT(log(), HasSubstr("ERROR 请先在设置中配置模型 API Key。"));

  // The key is set afterwards: a regeneration works from the context already read.
  writeConfig("sk-now");
  model_.regenerate();
  settle();
  ASSERT_EQ(http_.requests.size(), 1u);
  EXPECT_THAT(http_.requests[0].body, HasSubstr("are we still meeting tomorrow"));
}

// Without a target an insertion does nothing; typed context still gives candidates.
TEST_F(OrchestratorTest, UnreadableTargetThenTypedContextGivesAManualSnapshot) {
  ax_.setTrusted(false);
  orchestrator_->trigger("");
  settle();
  EXPECT_EQ(model_.phase(), OverlayPhase::error("需要在系统设置中开启 Accessibility 权限。"));
  const auto calls = overlay_.calls;
  model_.onInsert(GeneratedCandidate{Uuid::random(), "x", std::nullopt, 1}, "reply.quick");
  EXPECT_EQ(overlay_.calls, calls) << "an insertion without a target";

  model_.setManualContext("  Bob: lunch on Friday?  ");
  model_.regenerate();
  settle();
  ASSERT_EQ(http_.requests.size(), 1u);
  EXPECT_THAT(http_.requests[0].body, HasSubstr("Bob: lunch on Friday?"));
  http_.answer(0, envelope({"Friday works."}));
  settle();
  EXPECT_THAT(events(), HasSubstr(R"("source":"manual")"));
  EXPECT_THAT(events(), HasSubstr(R"("app":"Manual")"));
  EXPECT_THAT(events(), HasSubstr(R"("confidence":"0.60")"));
}

// Pasted context beside a long window: the window goes once, cut as usual, and the pasted text in
// full, on every regeneration while it is there.
TEST_F(OrchestratorTest, PastedContextIsAddedToTheReadContextOnEveryRegenerationAndShown) {
  ax_.addChild(window_, "AXStaticText", "WINDOW-START " + std::string(6000, 'w'));
  answeredCycle({"a"});
  model_.setManualContext("MY-PASTED-CONTEXT");
  model_.regenerate();
  settle();
  ASSERT_EQ(http_.requests.size(), 2u);
  const std::string& body = http_.requests[1].body;
  EXPECT_THAT(body, HasSubstr("用户补充上下文：\\nMY-PASTED-CONTEXT"));
  ASSERT_NE(body.find("WINDOW-START"), std::string::npos);
  EXPECT_EQ(body.find("WINDOW-START"), body.rfind("WINDOW-START"));  // sent once
  EXPECT_THAT(model_.contextDetails(), HasSubstr("- 已加入用户补充的上下文。"));
  EXPECT_THAT(model_.contextDetails(), HasSubstr("MY-PASTED-CONTEXT"));
  model_.setManualContext(" \n ");
  http_.answer(1, envelope({"b"}));
  settle();
  model_.regenerate();
  settle();
  EXPECT_THAT(http_.requests[2].body, Not(HasSubstr("用户补充上下文")));
}

TEST_F(OrchestratorTest, SecondTriggerWhileOpeningIsIgnored) {
  orchestrator_->trigger("");
  orchestrator_->trigger("");
  settle();
  orchestrator_->trigger("");
  settle();
  EXPECT_EQ(http_.requests.size(), 1u);
  http_.answer(0, envelope({"a"}));
  settle();
  orchestrator_->trigger("");  // the first cycle has finished: this one runs
  settle();
  EXPECT_EQ(http_.requests.size(), 2u);
}

TEST_F(OrchestratorTest, ANewerAttemptThatFailsBeforeSendingIsNotReplacedByAnOlderReply) {
  answeredCycle({"first"});
  model_.regenerate();  // request 1, still waiting for its reply
  settle();
  model_.setPhase(OverlayPhase::error("x"));  // as if the user retried from an error
  writeConfig(" ");
  model_.regenerate();  // fails before anything is sent
  settle();
  ASSERT_EQ(http_.requests.size(), 2u);
  EXPECT_TRUE(http_.requests[1].cancellation->isCancelled());
  http_.answer(1, envelope({"stale"}));
  settle();
  EXPECT_EQ(model_.phase(), OverlayPhase::error("请先在设置中配置模型 API Key。"));
}

// Closing the panel, or inserting a candidate while the rest is still streaming, ends the
// request at once: the server sees the connection go, nothing shows up later (no error, no
// panel taking the keyboard back), and the next trigger starts a cycle at once.
TEST_F(OrchestratorTest, ClosingOrInsertingDuringAStreamEndsItAndANewTriggerStartsAtOnce) {
  const auto event = [](std::string_view content) {
    return "data: " + json::Json{{"choices", {{{"delta", {{"content", content}}}}}}}.dump() + "\n\n";
  };
  for (const bool insert : {false, true}) {
    SCOPED_TRACE(insert ? "insert" : "close");
    TestHttpServer server;
    server.setHandler([&](const RecordedRequest& request) {
      if (request.body.find("slow") == std::string::npos) {
        return CannedResponse::json(
            200,
            R"({"choices":[{"message":{"role":"assistant","content":"{\"candidates\":[\"fresh\"]}"}}]})");
      }
      CannedResponse response = CannedResponse::events(
          {event(R"({"candidates":["早上好，Alice！十点见。",)"), event(R"("OK")")}, {});
      response.stream[1].first = std::chrono::minutes(5);  // the rest is slow to come
      return response;
    });
    CurlHttpClient curl(queue_, HttpClientOptions{});
    AssistantOrchestrator orchestrator(engine_, configStore_, styleStore_, overlay_,
                                       CyclePorts{ax_, workspace_, pasteboard_, capture_, codec_, keys_,
                                                  queue_, work_, clock_, curl, logger_, notifier_});
    ModelConfig config = configStore_.config();
    config.baseURL = server.url("/v1");
    config.streamReplies = true;
    configStore_.setConfig(config);
    const auto runUntil = [this](const std::function<bool()>& done) {
      for (int i = 0; i < 2000 && !done(); ++i) {
        settle();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      return done();
    };

    orchestrator.trigger("slow");
    const auto shows = [&](std::string_view text) {
      return !model_.candidates().empty() && model_.candidates()[0].text == text;
    };
    ASSERT_TRUE(runUntil([&] { return shows("早上好，Alice！十点见。"); })) << model_.phase().message();
    ASSERT_TRUE(model_.phase().moreComing());
    overlay_.calls.clear();
    if (insert) {
      model_.onInsert(model_.candidates()[0], model_.selectedTemplateID());
    } else {
      model_.onClose();  // the close button or Escape
    }
    ASSERT_TRUE(server.waitForPeerCloses(1, std::chrono::seconds(20)));  // the server sees it go
    queue_.advance(std::chrono::seconds(10));
    int rounds = 0;
    runUntil([&] { return ++rounds > 40; });  // a while, for anything that would still come
    EXPECT_EQ(overlay_.calls, std::vector<std::string>{"close"}) << "nothing shows up later";
    EXPECT_EQ(orchestrator.state(),
              insert ? AssistantState::ready(model_.candidates()) : AssistantState::idle());
    EXPECT_FALSE(model_.phase().moreComing());
    if (insert) {
      EXPECT_EQ(std::get<std::string>(*ax_.get(field_, AXAttribute::value)), "draft早上好，Alice！十点见。");
    }

    overlay_.calls.clear();
    orchestrator.trigger("");  // not ignored: the ended cycle no longer holds the trigger
    ASSERT_TRUE(runUntil([&] { return shows("fresh"); })) << model_.phase().message();
    EXPECT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(overlay_.calls.front(), "show");
  }
}

TEST_F(OrchestratorTest, AnOlderReplyArrivingLateDoesNotReplaceTheNewerOne) {
  answeredCycle({"first"});
  model_.selectTemplate(engine_.templateWithID("rewrite.polish"));  // request 1
  settle();
  model_.setPhase(OverlayPhase::error("x"));                      // as if the user retried from an error
  model_.selectTemplate(engine_.templateWithID("translate.en"));  // request 2
  settle();
  ASSERT_EQ(http_.requests.size(), 3u);
  http_.answer(2, envelope({"newest"}));
  settle();
  http_.answer(1, envelope({"stale"}));
  settle();
  ASSERT_EQ(model_.candidates().size(), 1u);
  EXPECT_EQ(model_.candidates()[0].text, "newest");
  EXPECT_THAT(events(), Not(HasSubstr("rewrite.polish")));
}

TEST_F(OrchestratorTest, UnknownTemplateFallsBackAndTheEventNamesTheOneUsed) {
  answeredCycle({"a"});
  orchestrator_->generate("no.such.template", "", "");
  settle();
  http_.answer(1, envelope({"b"}));
  settle();
  EXPECT_THAT(events(), Not(HasSubstr("no.such.template")));
}

TEST_F(OrchestratorTest, CallbacksDoNothingOnceTheOrchestratorIsGone) {
  orchestrator_->trigger("");
  settle();
  orchestrator_.reset();
  http_.answer(0, envelope({"late"}));
  settle();
  EXPECT_FALSE(static_cast<bool>(model_.onGenerate));
  EXPECT_TRUE(model_.candidates().empty());
}

}  // namespace
}  // namespace wrenfold
