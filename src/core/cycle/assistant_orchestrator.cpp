#include "core/cycle/assistant_orchestrator.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "core/ai/llm_provider_factory.h"
#include "core/cycle/generation.h"
#include "core/records/assistant_error.h"
#include "core/text/text.h"

namespace wrenfold {
namespace {

constexpr std::string_view kManualContextLabel = "用户补充上下文：\n";
// How long a cycle found on a menu waits for the focus to come back to the field: the program
// takes the trigger's second Alt late on a busy machine.
constexpr int kMenuChecks = 10;
constexpr std::chrono::milliseconds kMenuCheckInterval{50};
constexpr std::string_view kManualContextAddedWarning = "已加入用户补充的上下文。";
constexpr std::string_view kNoticeTitle = "Wrenfold";

// What the user is told when the text is not known to be in the field; nothing when it is.
std::optional<std::string> insertionNotice(const std::string& appName, InsertResult result) {
  switch (result) {
    case InsertResult::inserted:
      return std::nullopt;
    case InsertResult::pasted:
      // The user's own clipboard is back by now: the candidate is no longer there to paste.
      return "已粘贴到“" + appName + "”，但无法确认文字已经写入，请检查一下。";
    case InsertResult::copied:
      break;
  }
  return "没能自动填入“" + appName + "”，候选内容已复制到剪贴板，请按 Ctrl+V 粘贴。";
}

// Where the panel was placed and by what, for a report of a panel in the way.
std::string anchorLogLine(const char* what, const std::optional<Rect>& rect) {
  if (!rect) {
    return "panel unanchored";
  }
  const auto number = [](double value) { return std::to_string(static_cast<long long>(value)); };
  return std::string("panel beside the ") + what + " " + number(rect->width) + "x" + number(rect->height) +
         "+" + number(rect->x) + "+" + number(rect->y);
}

bool isMenuRole(std::string_view role) {
  return role == "AXMenuBar" || role == "AXMenu" || role == "AXMenuItem";
}

// One log line per insertion: the program, each strategy tried in order, and the result. Never
// the text.
std::string insertionLogLine(const FocusedTarget& target, const InsertOutcome& outcome) {
  std::string line = "insert into " + target.appName + " (" + target.appBundleID + "), field " +
                     target.focusedRole.value_or("none") + ":";
  for (const auto& attempt : outcome.attempts) {
    line += " " + attempt.strategy + " " + attempt.outcome + ";";
  }
  return line + " result " + std::string(insertResultName(outcome.result));
}

}  // namespace

AssistantOrchestrator::AssistantOrchestrator(PromptTemplateEngine& templateEngine,
                                             ModelConfigStore& modelConfigStore,
                                             StyleMemoryStore& styleMemoryStore, OverlayWindow& overlay,
                                             CyclePorts ports)
    : templateEngine_(templateEngine),
      modelConfigStore_(modelConfigStore),
      styleMemoryStore_(styleMemoryStore),
      overlay_(overlay),
      ports_(ports),
      targetResolver_(ports.accessibility, ports.workspace, ports.inputMethod),
      contextHub_(
          AccessibilityReader(ports.accessibility, ports.clock, {.maxTextLength = 8000, .maxNodes = 500}),
          ClipboardContextReader(ports.pasteboard, ports.workspace),
          ScreenshotReader(ports.windowCapture, ports.imageCodec, ports.workQueue, ports.mainQueue,
                           ports.logger),
          ports.accessibility, &ports.logger, ports.inputMethod),
      textInserter_(ports.accessibility, ports.workspace, ports.pasteboard, ports.keyEvents, ports.mainQueue,
                    ports.inputMethod) {
  OverlayViewModel& model = overlay_.model();
  std::weak_ptr<bool> alive = alive_;
  model.onGenerate = [this, alive](const std::string& templateID, const std::string& instruction,
                                   const std::string& manualContext) {
    if (alive.expired()) {
      return;
    }
    later([templateID, instruction, manualContext](AssistantOrchestrator& self) {
      self.generate(templateID, instruction, manualContext);
    });
  };
  model.onInsert = [this, alive](const GeneratedCandidate& candidate, const std::string& templateID) {
    if (!alive.expired()) {
      insert(candidate, templateID);
    }
  };
  model.onClose = [this, alive] {
    if (!alive.expired()) {
      close();
    }
  };
}

AssistantOrchestrator::~AssistantOrchestrator() {
  // The view model outlives us: leave no callback that points here.
  OverlayViewModel& model = overlay_.model();
  model.onGenerate = nullptr;
  model.onInsert = nullptr;
  model.onClose = nullptr;
}

void AssistantOrchestrator::later(std::function<void(AssistantOrchestrator&)> action) {
  std::weak_ptr<bool> alive = alive_;
  ports_.mainQueue.post([this, alive, action = std::move(action)] {
    if (!alive.expired()) {
      action(*this);
    }
  });
}

void AssistantOrchestrator::setState(AssistantState state) {
  if (state_ == state) {
    return;
  }
  state_ = std::move(state);
  notifyChanged();
}

void AssistantOrchestrator::trigger(std::string instruction) {
  if (isOpening_) {
    return;
  }
  isOpening_ = true;
  const std::uint64_t cycle = ++cycle_;
  later([cycle, instruction = std::move(instruction)](AssistantOrchestrator& self) {
    self.openAndGenerate(cycle, instruction);
  });
}

void AssistantOrchestrator::close() {
  // The panel has the keyboard once it shows candidates: closed, it hands it back to the field
  // the cycle started from, as an insertion does, and asks for that before the panel goes, as an
  // insertion does too. Left to the window manager's choice when the panel goes, the focus went
  // to the program's window without reaching Qt 5 programs: they were left without their keys.
  const bool hadKeyboard = panelOpen_ && lastTarget_ && ownWindowInFront();
  if (hadKeyboard && !textInserter_.giveFocusBack(lastTarget_)) {
    ports_.logger.info("面板关闭后无法交还焦点：" + lastTarget_->appName);
  }
  overlay_.close();
  panelOpen_ = false;
  abandonRequest();
  ++cycle_;  // a context read still under way, or a cycle about to open, is dropped
  isOpening_ = false;
  const auto kind = state_.kind();
  if (kind == AssistantState::Kind::resolvingTarget || kind == AssistantState::Kind::readingContext ||
      kind == AssistantState::Kind::generating) {
    setState(AssistantState::idle());
    overlay_.model().setPhase(OverlayPhase::idle());
  }
}

void AssistantOrchestrator::abandonRequest() {
  ++latestRequest_;
  if (!inFlight_) {
    return;
  }
  InFlight abandoned = std::move(*inFlight_);
  inFlight_.reset();
  abandoned.cancellation->cancel();
  if (abandoned.done) {
    abandoned.done();
  }
}

void AssistantOrchestrator::openAndGenerate(std::uint64_t cycle, std::string instruction) {
  if (cycle != cycle_) {
    return;  // closed before it began
  }
  abandonRequest();  // a regeneration of the previous cycle still in flight no longer counts
  textInserter_.stopGivingFocusBack();  // the new panel is not to lose the keyboard to the old field
  // A trigger from Wrenfold's open panel keeps the field the cycle started from. From the
  // settings window, once the panel is closed, the program below is resolved afresh: the last
  // cycle's field may be minutes old, in a window long closed.
  auto kept = panelOpen_ && ownWindowInFront() ? lastTarget_ : nullptr;
  panelOpen_ = true;
  lastTarget_.reset();
  lastContext_.reset();
  lastContextImage_.reset();
  setState(AssistantState::resolvingTarget());

  OverlayViewModel& model = overlay_.model();
  model.setPhase(OverlayPhase::reading());
  model.setInstruction(instruction);
  model.setManualContext("");
  model.setContextSummary("");
  model.setContextDetails("");
  model.setContextScreenshot(std::nullopt);
  model.setContextScreenshotWarning(std::nullopt);
  model.setCandidates({});
  model.setSelectedCandidateID(std::nullopt);
  // Where the capture cannot see under other windows (X11 without a compositor), a panel shown
  // beside the field would blank the part of the window that matters most: the panel waits
  // until the window's pixels are taken.
  const bool showEarly = ports_.windowCapture.keepsCoveredPixels();
  if (showEarly) {
    overlay_.show(std::nullopt);
  }

  // The window is captured while its program is asked for the field: a busy program answers
  // late. A sensitive application's window is never captured, not even to be thrown away.
  std::shared_ptr<ScreenshotReader::Pending> capture;
  std::optional<RunningApplication> front;
  if (!kept) {
    front = targetResolver_.frontmostApplication();
    if (front && !isSensitiveApplicationID(front->bundleIdentifier.value_or(""))) {
      capture = contextHub_.beginCapture({front->processID, std::nullopt, std::nullopt, front->window});
    }
  }
  // Nothing the panel waits for asks the program, which may be busy: it shows once the pixels
  // are taken, where it last stood beside this window (else unanchored), and moves beside the
  // field once the program has told where it is. Not where nothing can be captured (Wayland):
  // there the compositor may give a new window the keyboard, which the field must still have
  // while it is found.
  if (!showEarly && capture && ports_.windowCapture.canCaptureWindows()) {
    capture->whenTaken([this, alive = std::weak_ptr<bool>(alive_), cycle,
                        instruction = std::move(instruction), front = std::move(front),
                        pending = std::weak_ptr(capture)]() mutable {
      if (alive.expired() || cycle != cycle_) {
        return;
      }
      showWhereLastBeside(front->window);
      resolveAndRead(cycle, std::move(instruction), nullptr, std::move(front), pending.lock(), true);
    });
    return;
  }
  resolveAndRead(cycle, std::move(instruction), std::move(kept), std::move(front), std::move(capture),
                 showEarly);
}

void AssistantOrchestrator::resolveAndRead(std::uint64_t cycle, std::string instruction,
                                           std::shared_ptr<const FocusedTarget> kept,
                                           std::optional<RunningApplication> front,
                                           std::shared_ptr<ScreenshotReader::Pending> capture, bool shown) {
  auto target = kept ? Result<std::shared_ptr<const FocusedTarget>>(std::move(kept))
                     : targetResolver_.resolve(std::move(front));
  if (!target) {
    isOpening_ = false;
    if (!shown) {
      overlay_.show(std::nullopt);
    }
    fail(target.error());
    return;
  }
  lastTarget_ = *target;
  if (shown) {
    showBeside(*lastTarget_);
  }
  setState(AssistantState::readingContext());

  std::weak_ptr<bool> alive = alive_;
  // Not shown yet, the panel shows as soon as the window's pixels are taken, not after the
  // text read, which waits on the program.
  auto captured = shown ? std::function<void()>() : [this, alive, cycle] {
    if (!alive.expired() && cycle == cycle_ && lastTarget_) {
      showBeside(*lastTarget_);
    }
  };
  contextHub_.readContext(
      lastTarget_,
      [this, alive, cycle, instruction = std::move(instruction)](Result<ContextReadResult> result) {
        if (!alive.expired()) {
          contextRead(cycle, instruction, std::move(result));
        }
      },
      std::move(captured), std::move(capture));
}

void AssistantOrchestrator::showWhereLastBeside(std::optional<std::uint64_t> window) {
  if (lastPlacement_ && window && lastPlacement_->window == window) {
    place(*lastPlacement_);
  } else {
    overlay_.show(std::nullopt);
  }
}

void AssistantOrchestrator::place(const Placement& placement) {
  if (placement.caret) {
    overlay_.showAtCaret(*placement.caret);
  } else {
    overlay_.show(placement.anchor);
  }
}

void AssistantOrchestrator::showBeside(const FocusedTarget& target) {
  // Beside the line being written where the program tells where the caret is, else the field;
  // where the program cannot tell where on screen either is, where the panel goes unanchored.
  const bool onScreen = target.framesOnScreen;
  Placement placement{target.window, onScreen ? target.caretFrame : std::nullopt,
                      !onScreen           ? std::nullopt
                      : target.inputFrame ? target.inputFrame
                                          : target.screenFrame};
  place(placement);
  ports_.logger.info((placement.caret ? anchorLogLine("caret", placement.caret)
                                      : anchorLogLine("field or window", placement.anchor)) +
                     ", focused " + target.focusedRole.value_or("none"));
  lastPlacement_ = std::move(placement);
}

void AssistantOrchestrator::contextRead(std::uint64_t cycle, std::string instruction,
                                        Result<ContextReadResult> result, int menuChecks) {
  if (cycle != cycle_) {
    return;
  }
  // A cycle that began on a menu placed the panel beside it, over the text: Firefox opens its
  // menu bar on the first Alt and, on a busy machine, says the second closed it only after the
  // target was found. The focus comes back to the field, if not by now then within moments: the
  // panel goes beside it, and the candidate and the keyboard go back to the field, not to the menu.
  if (lastTarget_ && isMenuRole(lastTarget_->focusedRole.value_or(""))) {
    if (auto again = targetResolver_.resolve(); again && (*again)->processID == lastTarget_->processID &&
                                                !isMenuRole((*again)->focusedRole.value_or(""))) {
      auto field = std::make_shared<FocusedTarget>(**again);
      // Remembered at the trigger, before the panel could take the keyboard.
      field->window = lastTarget_->window ? lastTarget_->window : field->window;
      field->inputContext = lastTarget_->inputContext ? lastTarget_->inputContext : field->inputContext;
      lastTarget_ = std::move(field);
      showBeside(*lastTarget_);
    } else if (menuChecks < kMenuChecks) {
      ports_.mainQueue.postAfter(
          kMenuCheckInterval,
          [this, alive = std::weak_ptr<bool>(alive_), cycle, instruction = std::move(instruction),
           result = std::make_shared<Result<ContextReadResult>>(std::move(result)), menuChecks]() mutable {
            if (!alive.expired()) {
              contextRead(cycle, std::move(instruction), std::move(*result), menuChecks + 1);
            }
          });
      return;
    }
  }
  if (!result) {
    isOpening_ = false;
    fail(result.error());
    return;
  }
  lastContext_ = result->snapshot;
  if (result->screenshotData) {
    lastContextImage_ =
        LLMImage{std::string(result->screenshotData->begin(), result->screenshotData->end()), "image/jpeg"};
  }

  OverlayViewModel& model = overlay_.model();
  model.setContextSummary(generation::summaryLine(result->snapshot));
  model.setContextDetails(generation::contextDetails(result->snapshot));
  model.setContextScreenshot(std::move(result->screenshot));
  model.setContextScreenshotWarning(std::move(result->screenshotWarning));
  overlay_.ensureSize();

  model.setSelectedTemplateID(templateEngine_.match(instruction).id);
  // The user may have typed extra context or picked a template while the read was pending.
  generate(model.selectedTemplateID(), instruction, model.manualContext(),
           [this, cycle, alive = std::weak_ptr<bool>(alive_)] {
             if (!alive.expired() && cycle == cycle_) {
               isOpening_ = false;
             }
           });
}

std::optional<ContextSnapshot> AssistantOrchestrator::contextForGeneration(
    const std::string& manualContext) const {
  const std::string extra = text::trim(manualContext);
  if (!lastContext_) {
    generation::ManualOrigin origin;
    if (lastTarget_) {
      origin = {lastTarget_->appName, lastTarget_->appBundleID, lastTarget_->windowTitle};
    }
    return generation::makeManualContext(extra, origin);
  }
  if (extra.empty()) {
    return lastContext_;
  }
  // The pasted context goes first in the text that carries the window, so the prompt's length
  // cut never drops it, and that window text is sent once: a nearby text that merely repeats it
  // would otherwise follow as a second copy. The details show it with the window text.
  ContextSnapshot merged = *lastContext_;
  const std::string addition = std::string(kManualContextLabel) + extra;
  const auto prepend = [&addition](const std::string& text) {
    const std::string trimmed = text::trim(text);
    return trimmed.empty() ? addition : addition + "\n\n" + trimmed;
  };
  const std::string visible = text::trim(merged.visibleText);
  if (merged.nearbyText && !text::isBlank(*merged.nearbyText) && text::trim(*merged.nearbyText) != visible) {
    merged.nearbyText = prepend(*merged.nearbyText);
  } else {
    merged.nearbyText.reset();
    merged.visibleText = prepend(visible);
  }
  merged.warnings.emplace_back(kManualContextAddedWarning);
  return merged;
}

void AssistantOrchestrator::generate(std::string templateID, std::string instruction,
                                     std::string manualContext, std::function<void()> done) {
  // This attempt is the newest from here on, also when it fails before anything is sent: an
  // older reply arriving later must not replace its outcome.
  abandonRequest();
  const std::uint64_t request = latestRequest_;
  auto context = contextForGeneration(manualContext);
  if (!context) {
    fail(AssistantError::contextUnavailable());
    if (done) {
      done();
    }
    return;
  }
  setState(AssistantState::generating());
  OverlayViewModel& model = overlay_.model();
  model.setPhase(OverlayPhase::generating());
  model.setContextSummary(generation::summaryLine(*context));
  model.setContextDetails(generation::contextDetails(*context));

  // Only the saved configuration is used, its key read from the keyring when it lives there
  // (at once otherwise).
  modelConfigStore_.loadConfig([this, alive = std::weak_ptr<bool>(alive_), request,
                                context = std::move(*context), templateID = std::move(templateID),
                                instruction = std::move(instruction),
                                done = std::move(done)](Result<ModelConfig> config) mutable {
    if (!alive.expired()) {
      sendRequest(request, std::move(context), templateID, instruction, std::move(config), std::move(done));
    }
  });
}

void AssistantOrchestrator::sendRequest(std::uint64_t request, ContextSnapshot context,
                                        const std::string& templateID, const std::string& instruction,
                                        Result<ModelConfig> config, std::function<void()> done) {
  auto finish = [&done] {
    if (done) {
      done();
    }
  };
  // A newer request (a regeneration or a new cycle) or closing the panel made this one stale
  // while the key was being read.
  if (request != latestRequest_) {
    finish();
    return;
  }
  if (!config) {
    fail(config.error());
    finish();
    return;
  }
  auto planned = generation::plan(context, templateID, instruction, templateEngine_.templates(), *config,
                                  styleMemoryStore_.memory(), lastContextImage_, promptBuilder_);
  if (!planned) {
    fail(planned.error());
    finish();
    return;
  }

  auto cancellation = std::make_shared<HttpCancellation>();
  inFlight_ = InFlight{cancellation, std::move(done)};
  ProviderSession session{ports_.http, ports_.mainQueue, parameterMemory_, cancellation};
  std::weak_ptr<bool> alive = alive_;
  session.onCandidates = [this, alive, request](const std::vector<GeneratedCandidate>& soFar) {
    if (!alive.expired() && request == latestRequest_ && inFlight_) {
      showCandidates(soFar, true);
    }
  };
  auto provider = LLMProviderFactory::make(*config, planned->apiKey, std::move(session));
  provider->complete(std::move(planned->request), [this, alive, request, context = std::move(context),
                                                   usedTemplateID = planned->promptTemplate.id](
                                                      Result<LLMResponse> response) {
    // A newer request (a regeneration or a new cycle) or closing the panel made this one stale;
    // its `done` has run then.
    if (alive.expired() || request != latestRequest_ || !inFlight_) {
      return;
    }
    std::function<void()> requestDone = std::move(inFlight_->done);
    inFlight_.reset();
    if (!response) {
      fail(response.error());
    } else {
      setState(AssistantState::ready(response->candidates));
      showCandidates(response->candidates, false);
      ports_.logger.event("generate.success", generation::successEventFields(context, usedTemplateID));
    }
    if (requestDone) {
      requestDone();
    }
  });
}

void AssistantOrchestrator::showCandidates(const std::vector<GeneratedCandidate>& candidates,
                                           bool moreComing) {
  OverlayViewModel& m = overlay_.model();
  const bool firstShown = m.phase().kind() != OverlayPhase::Kind::ready;
  // A selection the user made while the reply was streaming stays (streamed ids are kept).
  const auto& selected = m.selectedCandidateID();
  const bool keepSelection = !firstShown && selected && std::ranges::any_of(candidates, [&](const auto& c) {
    return c.id == *selected;
  });
  m.setCandidates(candidates);
  if (!keepSelection) {
    m.setSelectedCandidateID(candidates.empty() ? std::nullopt : std::optional<Uuid>(candidates.front().id));
  }
  m.setPhase(OverlayPhase::ready(candidates, moreComing));
  overlay_.ensureSize();
  if (firstShown) {
    overlay_.focusPanel();
  }
}

void AssistantOrchestrator::insert(const GeneratedCandidate& candidate, const std::string& templateID) {
  if (!lastTarget_) {
    return;
  }
  if (inFlight_) {
    // Chosen while the rest was still streaming: the reply is no longer wanted. Its connection
    // is closed now, nothing of it shows later, and the next trigger starts a cycle at once.
    abandonRequest();
    ++cycle_;
    isOpening_ = false;
    const auto shown = overlay_.model().candidates();
    setState(AssistantState::ready(shown));
    overlay_.model().setPhase(OverlayPhase::ready(shown, false));
  }
  panelOpen_ = false;
  std::weak_ptr<bool> alive = alive_;
  textInserter_.insert(
      candidate.text, lastTarget_,
      [this, alive, target = lastTarget_, text = candidate.text, templateID](InsertOutcome outcome) {
        if (!alive.expired()) {
          inserted(*target, text, templateID, outcome);
        }
      });
  // Closed only now: under Wayland the compositor passes our clipboard on to other programs only
  // while one of our windows has the keyboard, so the candidate goes on it before the panel goes.
  overlay_.close();
}

void AssistantOrchestrator::inserted(const FocusedTarget& target, const std::string& text,
                                     const std::string& templateID, const InsertOutcome& outcome) {
  styleMemoryStore_.record(text, templateID, target.appName);
  ports_.logger.event("insert.success",
                      {{"app", target.appName}, {"mode", std::string(insertResultName(outcome.result))}});
  ports_.logger.info(insertionLogLine(target, outcome));
  if (auto notice = insertionNotice(target.appName, outcome.result)) {
    ports_.notifier.notify(std::string(kNoticeTitle), std::move(*notice));
  }
}

bool AssistantOrchestrator::ownWindowInFront() {
  const auto front = ports_.workspace.frontmostApplication();
  return front && front->processID == ports_.workspace.ownProcessID();
}

void AssistantOrchestrator::fail(const Failure& failure) {
  const std::string message = failure.localizedDescription();
  setState(AssistantState::failed(message));
  overlay_.model().setPhase(OverlayPhase::error(message));
  overlay_.ensureSize();
  overlay_.focusPanel();
  ports_.logger.error(message);
}

}  // namespace wrenfold
