#pragma once

// Runs one assistance cycle end to end: resolve the focused field, show the overlay beside
// it, read the context, pick a template, ask the model, show the candidates, and insert the
// one the user chooses. The only place where a failure becomes a user message. Main thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/ai/chat_parameter_memory.h"
#include "core/ai/http_client.h"
#include "core/ai/llm_provider.h"
#include "core/ai/model_config_store.h"
#include "core/ai/prompt_builder.h"
#include "core/context/context_hub.h"
#include "core/cycle/assistant_state.h"
#include "core/memory/style_memory_store.h"
#include "core/overlay/overlay_window.h"
#include "core/platform/accessibility.h"
#include "core/platform/clock.h"
#include "core/platform/image_codec.h"
#include "core/platform/input_method.h"
#include "core/platform/key_events.h"
#include "core/platform/main_queue.h"
#include "core/platform/pasteboard.h"
#include "core/platform/user_notifier.h"
#include "core/platform/window_capture.h"
#include "core/platform/work_queue.h"
#include "core/platform/workspace.h"
#include "core/support/app_logger.h"
#include "core/support/observable.h"
#include "core/target/focused_target_resolver.h"
#include "core/target/text_inserter.h"
#include "core/templates/prompt_template_engine.h"

namespace wrenfold {

// The desktop the cycle runs on. Every port outlives the orchestrator.
struct CyclePorts {
  Accessibility& accessibility;
  Workspace& workspace;
  Pasteboard& pasteboard;
  WindowCapture& windowCapture;
  ImageCodec& imageCodec;
  KeyEvents& keyEvents;
  MainQueue& mainQueue;
  WorkQueue& workQueue;
  const Clock& clock;
  HttpClient& http;
  AppLogger& logger;
  UserNotifier& notifier;
  InputMethod* inputMethod = nullptr;  // null: no input-method route
};

class AssistantOrchestrator : public Observable {
 public:
  AssistantOrchestrator(PromptTemplateEngine& templateEngine, ModelConfigStore& modelConfigStore,
                        StyleMemoryStore& styleMemoryStore, OverlayWindow& overlay, CyclePorts ports);
  ~AssistantOrchestrator();
  AssistantOrchestrator(const AssistantOrchestrator&) = delete;
  AssistantOrchestrator& operator=(const AssistantOrchestrator&) = delete;

  [[nodiscard]] const AssistantState& state() const { return state_; }

  // Starts a cycle; ignored while one is opening (until its first generation has finished, or
  // the user closed the panel or inserted a candidate still streaming).
  void trigger(std::string instruction);

  // The user closed the panel: the cycle ends. A context read or model request still under way
  // is abandoned (the request is cancelled in the HTTP client), so nothing shows up later and
  // the next trigger starts a new cycle at once.
  void close();

  // One model request on the current cycle's context; also the regeneration path. `done`
  // runs when it has finished, whatever the outcome.
  void generate(std::string templateID, std::string instruction, std::string manualContext,
                std::function<void()> done = {});

 private:
  void openAndGenerate(std::uint64_t cycle, std::string instruction);
  // Makes the request in flight (if any) stale and cancels it; its `done` runs now.
  void abandonRequest();
  // `menuChecks`: how often a target found on a menu has been asked again already.
  void contextRead(std::uint64_t cycle, std::string instruction, Result<ContextReadResult> result,
                   int menuChecks = 0);
  // Shows the panel beside `target`'s caret, else its field or window, else unanchored.
  void showBeside(const FocusedTarget& target);
  // The second half of opening a cycle: the target (`kept`, else resolved from `front`), then its
  // context, with `capture` where one was begun. `shown`: the panel is on screen already.
  void resolveAndRead(std::uint64_t cycle, std::string instruction, std::shared_ptr<const FocusedTarget> kept,
                      std::optional<RunningApplication> front,
                      std::shared_ptr<ScreenshotReader::Pending> capture, bool shown);
  // Where the panel last stood beside a field or caret of `window`; unanchored for another window.
  void showWhereLastBeside(std::optional<std::uint64_t> window);
  struct Placement {
    std::optional<std::uint64_t> window;  // the field's window
    std::optional<Rect> caret;            // beside the caret, where known
    std::optional<Rect> anchor;           // else beside this field or window; else unanchored
  };
  void place(const Placement& placement);
  // Plans and sends request number `request` with the saved configuration, unless a newer
  // request was made while the key was being read.
  void sendRequest(std::uint64_t request, ContextSnapshot context, const std::string& templateID,
                   const std::string& instruction, Result<ModelConfig> config, std::function<void()> done);
  void insert(const GeneratedCandidate& candidate, const std::string& templateID);
  void inserted(const FocusedTarget& target, const std::string& text, const std::string& templateID,
                const InsertOutcome& outcome);
  // True while one of Wrenfold's own windows (the overlay, the settings) is the active one.
  [[nodiscard]] bool ownWindowInFront();
  void fail(const Failure& failure);
  // Shows `candidates` in the overlay, the first selected unless the selection is among them;
  // `moreComing` while the reply is still streaming.
  void showCandidates(const std::vector<GeneratedCandidate>& candidates, bool moreComing);
  void setState(AssistantState state);
  [[nodiscard]] std::optional<ContextSnapshot> contextForGeneration(const std::string& manualContext) const;
  // Runs `action` on the main queue later, unless the orchestrator is gone by then.
  void later(std::function<void(AssistantOrchestrator&)> action);

  PromptTemplateEngine& templateEngine_;
  ModelConfigStore& modelConfigStore_;
  StyleMemoryStore& styleMemoryStore_;
  OverlayWindow& overlay_;
  CyclePorts ports_;
  FocusedTargetResolver targetResolver_;
  ContextHub contextHub_;
  PromptBuilder promptBuilder_;
  TextInserter textInserter_;

  AssistantState state_;
  std::shared_ptr<const FocusedTarget> lastTarget_;
  std::optional<Placement> lastPlacement_;  // where the panel last went beside a field
  bool panelOpen_ = false;                  // shown by a cycle and not closed since
  std::optional<ContextSnapshot> lastContext_;
  std::optional<LLMImage> lastContextImage_;
  bool isOpening_ = false;
  // Which cycle and which request is current: a reply or context read for an older one is
  // dropped so it cannot overwrite what the user asked for since.
  std::uint64_t cycle_ = 0;
  std::uint64_t latestRequest_ = 0;
  // Parameters chat servers refused, kept for the life of the orchestrator (of Wrenfold).
  std::shared_ptr<ChatParameterMemory> parameterMemory_ = std::make_shared<ChatParameterMemory>();
  // The request in flight for latestRequest_, if any, and what runs when it ends.
  struct InFlight {
    std::shared_ptr<HttpCancellation> cancellation;
    std::function<void()> done;
  };
  std::optional<InFlight> inFlight_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace wrenfold
