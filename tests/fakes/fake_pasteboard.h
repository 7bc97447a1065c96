#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/platform/pasteboard.h"

namespace wrenfold::testing {

// A clipboard of several items with several types each. Plain text is the type
// kPlainTextType; every change, ours or the test's, moves the change count.
class FakePasteboard final : public Pasteboard {
 public:
  static constexpr std::string_view kPlainTextType = "text/plain;charset=utf-8";

  [[nodiscard]] std::vector<PasteboardItem> items() override { return items_; }
  void readItems(ItemsHandler done) override { done(stalled_ ? std::nullopt : std::optional(items_)); }
  [[nodiscard]] std::optional<std::int64_t> textFetches() override { return fetches_; }
  [[nodiscard]] std::optional<std::string> string() override {
    const auto bytes = data(kPlainTextType);
    return bytes ? std::optional<std::string>(std::string(bytes->begin(), bytes->end())) : std::nullopt;
  }
  [[nodiscard]] std::optional<std::vector<std::uint8_t>> data(std::string_view type) override {
    for (const auto& item : items_) {
      for (const auto& [offered, bytes] : item.representations) {
        if (offered == type) {
          return bytes;
        }
      }
    }
    return std::nullopt;
  }
  void clearContents() override { copyExternally({}); }
  [[nodiscard]] bool setString(std::string_view text, ClipboardHistory history) override {
    lastHistory_ = history;
    return writeItems({textItem(text)});
  }
  [[nodiscard]] bool writeItems(const std::vector<PasteboardItem>& items) override {
    copyExternally(items);
    return true;
  }
  [[nodiscard]] std::optional<std::int64_t> changeCount() override {
    return changeCountKnown_ ? std::optional(changeCount_) : std::nullopt;
  }

  // --- test interface
  // Another application puts these items on the clipboard.
  void copyExternally(std::vector<PasteboardItem> items) {
    items_ = std::move(items);
    ++changeCount_;
  }
  void copyTextExternally(std::string_view text) { copyExternally({textItem(text)}); }
  [[nodiscard]] const std::vector<PasteboardItem>& contents() const { return items_; }
  void hideChangeCount() { changeCountKnown_ = false; }
  // The owner does not answer a snapshot's read.
  void stallOwner() { stalled_ = true; }
  // Fetches of the text are seen from now on; `fetchText` is another program taking it.
  void countFetches() { fetches_ = 0; }
  std::optional<std::string> fetchText() {
    fetches_ = fetches_.value_or(0) + 1;
    return string();
  }
  // The history flag of the last setString.
  [[nodiscard]] std::optional<ClipboardHistory> lastHistory() const { return lastHistory_; }

  // One item holding `text` as plain text.
  [[nodiscard]] static PasteboardItem textItem(std::string_view text) {
    return PasteboardItem{
        {{std::string(kPlainTextType), std::vector<std::uint8_t>(text.begin(), text.end())}}};
  }

 private:
  std::vector<PasteboardItem> items_;
  std::int64_t changeCount_ = 0;
  bool changeCountKnown_ = true;
  bool stalled_ = false;
  std::optional<std::int64_t> fetches_;
  std::optional<ClipboardHistory> lastHistory_;
};

}  // namespace wrenfold::testing
