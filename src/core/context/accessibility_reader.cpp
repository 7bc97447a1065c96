#include "core/context/accessibility_reader.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "core/records/assistant_error.h"
#include "core/target/ax_helper.h"
#include "core/text/text.h"

namespace wrenfold {
namespace {

constexpr std::array<std::string_view, 8> kTextRoles{"AXStaticText", "AXTerminal", "AXTextField",
                                                     "AXTextArea",   "AXTextView", "AXWebArea",
                                                     "AXHeading",    "AXParagraph"};
constexpr std::array<std::string_view, 3> kPrunedRoles{"AXMenuBar", "AXMenu", "AXToolbar"};
constexpr std::array<std::string_view, 4> kNoiseWords{"button", "menu", "close", "minimize"};
constexpr std::size_t kNoiseWordMaxLength = 20;

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& list, std::string_view value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

// Drops texts too short to matter and window-chrome words.
bool shouldKeep(std::string_view value) {
  const std::string trimmed = text::trim(value);
  const std::size_t length = text::graphemeCount(trimmed);
  if (length < 2) {
    return false;
  }
  return length > kNoiseWordMaxLength || !contains(kNoiseWords, text::lowercased(trimmed));
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string joined;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) {
      joined += '\n';
    }
    joined += lines[i];
  }
  return joined;
}

// Holds every read of the port to a deadline while it lives.
class ReadBound {
 public:
  ReadBound(Accessibility& ax, std::chrono::steady_clock::time_point until) : ax_(ax) {
    ax_.boundReads(until);
  }
  ~ReadBound() { ax_.boundReads(std::nullopt); }
  ReadBound(const ReadBound&) = delete;
  ReadBound& operator=(const ReadBound&) = delete;

 private:
  Accessibility& ax_;
};

}  // namespace

// State shared by one whole walk.
struct AccessibilityReader::Walk {
  std::chrono::steady_clock::time_point deadline;
  std::size_t visited = 0;
  std::vector<std::string> lines;
  const AccessibilityElement* focused = nullptr;
  bool metFocused = false;
  bool cutShort = false;  // stopped by the element or time limit, not by the text length
  // Characters of the lines joined with line feeds, kept as they are added. A line feed is
  // always a character of its own, except after a carriage return, with which it forms one.
  std::size_t joinedLength = 0;

  void append(std::string line) {
    if (!lines.empty() && !lines.back().ends_with('\r')) {
      joinedLength += 1;
    }
    joinedLength += text::graphemeCount(line);
    lines.push_back(std::move(line));
  }
};

Result<ContextSnapshot> AccessibilityReader::read(const FocusedTarget& target) const {
  if (!target.focusedElement) {
    return fail(AssistantError::contextUnavailable());
  }
  const auto& focused = *target.focusedElement;
  // A slow program is read for as long as the walk may take, all reads together, and the
  // cycle goes on with what came in by then.
  const auto deadline = clock_.now() + options_.walkBudget;
  const ReadBound bound(ax_, deadline);
  const AXHelper helper(ax_);
  auto selectedText = helper.copyString(focused, AXAttribute::selectedText);
  if (selectedText) {
    selectedText = text::graphemePrefix(*selectedText, kMaxFieldLength);
  }
  auto focusedText = helper.textValue(focused);
  if (focusedText) {
    focusedText = text::graphemePrefix(*focusedText, kMaxFieldLength);
  }
  auto root = focused;
  if (helper.copyString(focused, AXAttribute::role) != "AXWindow") {
    root = helper.elementAttribute(focused, AXAttribute::window).value_or(focused);
  }
  std::string visible =
      text::graphemePrefix(windowText(root, focused, focusedText, deadline), options_.maxTextLength);

  ContextSnapshot snapshot;
  snapshot.appName = target.appName;
  snapshot.appBundleID = target.appBundleID;
  snapshot.windowTitle = target.windowTitle;
  snapshot.focusedText = std::move(focusedText);
  snapshot.selectedText = std::move(selectedText);
  snapshot.source = ContextSource::accessibility;
  if (snapshot.selectedText && !snapshot.selectedText->empty()) {
    snapshot.source = ContextSource::selectedText;
    snapshot.confidence = 0.92;
  } else if (!text::isBlank(visible) && target.inputFrame) {
    snapshot.confidence = 0.76;
  } else if (!text::isBlank(visible)) {
    snapshot.confidence = 0.55;
    snapshot.warnings.push_back("读取到窗口文本，但无法确认与输入框的空间关系。");
  } else {
    snapshot.confidence = 0.2;
    snapshot.warnings.push_back("Accessibility 未读取到足够文本。");
  }
  snapshot.nearbyText = visible;
  snapshot.visibleText = std::move(visible);
  return snapshot;
}

std::string AccessibilityReader::windowText(const AccessibilityElement& root,
                                            const AccessibilityElement& focused,
                                            const std::optional<std::string>& focusedText,
                                            std::chrono::steady_clock::time_point deadline) const {
  // Taken before the walk: a change reported while it runs makes what it read stale.
  const auto stamp = ax_.changeStamp(root);
  if (stamp && kept_ && kept_->stamp == *stamp && kept_->root == root && kept_->focused == focused &&
      kept_->focusedText == focusedText) {
    return kept_->text;
  }
  std::string text = collectVisibleText(root, focused, focusedText);
  // Past the read's bound (and so past the walk's own) the back-end answers only what it knows
  // without asking: what a slow program gave by then is partial, and not kept.
  if (stamp && clock_.now() < deadline) {
    kept_ = KeptWalk{root, focused, focusedText, *stamp, text};
  } else {
    kept_.reset();
  }
  return text;
}

std::string AccessibilityReader::collectVisibleText(const AccessibilityElement& root,
                                                    const std::optional<AccessibilityElement>& focused,
                                                    const std::optional<std::string>& focusedText) const {
  Walk state;
  state.deadline = clock_.now() + options_.walkBudget;
  state.focused = focused ? &*focused : nullptr;
  walk(root, 0, state);
  if (state.cutShort && !state.metFocused && focusedText && shouldKeep(*focusedText)) {
    state.lines.insert(state.lines.begin(), *focusedText);
  }

  std::vector<std::string> kept;
  for (const auto& line : state.lines) {
    std::string trimmed = text::trim(line);
    if (trimmed.empty() || (!kept.empty() && kept.back() == trimmed)) {
      continue;
    }
    kept.push_back(std::move(trimmed));
  }
  return joinLines(kept);
}

void AccessibilityReader::walk(const AccessibilityElement& element, int depth, Walk& state) const {
  if (depth > kMaxDepth) {
    return;
  }
  if (state.visited >= options_.maxNodes || clock_.now() >= state.deadline) {
    state.cutShort = true;
    return;
  }
  ++state.visited;
  if (state.focused != nullptr && !state.metFocused && element == *state.focused) {
    state.metFocused = true;
  }
  const AXHelper helper(ax_);
  if (const auto role = helper.copyString(element, AXAttribute::role)) {
    if (contains(kTextRoles, *role)) {
      if (auto value = helper.textValue(element); value && shouldKeep(*value)) {
        state.append(std::move(*value));
      }
    }
    if (contains(kPrunedRoles, *role)) {
      return;
    }
  }
  for (const auto& child : helper.elementArrayAttribute(element, AXAttribute::children)) {
    walk(child, depth + 1, state);
    if (longEnough(state)) {
      break;
    }
  }
}

bool AccessibilityReader::longEnough(const Walk& state) const {
  if (options_.lengthCheck == LengthCheck::rejoin) {
    return text::graphemeCount(joinLines(state.lines)) > options_.maxTextLength;
  }
  return state.joinedLength > options_.maxTextLength;
}

}  // namespace wrenfold
