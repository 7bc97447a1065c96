#include "fakes/fake_pasteboard.h"

#include <utility>

namespace wrenfold::testing {

std::vector<PasteboardItem> FakePasteboard::items() {
  return items_;
}

std::optional<std::string> FakePasteboard::string() {
  const auto bytes = data(kPlainTextType);
  return bytes ? std::optional<std::string>(std::string(bytes->begin(), bytes->end())) : std::nullopt;
}

std::optional<std::vector<std::uint8_t>> FakePasteboard::data(std::string_view type) {
  for (const auto& item : items_) {
    for (const auto& [offered, bytes] : item.representations) {
      if (offered == type) {
        return bytes;
      }
    }
  }
  return std::nullopt;
}

void FakePasteboard::clearContents() {
  items_.clear();
  ++changeCount_;
}

bool FakePasteboard::setString(std::string_view text, ClipboardHistory history) {
  items_ = {textItem(text)};
  lastHistory_ = history;
  ++changeCount_;
  return true;
}

bool FakePasteboard::writeItems(const std::vector<PasteboardItem>& items) {
  items_ = items;
  ++changeCount_;
  return true;
}

std::optional<std::int64_t> FakePasteboard::changeCount() {
  return changeCountKnown_ ? std::optional(changeCount_) : std::nullopt;
}

void FakePasteboard::copyExternally(std::vector<PasteboardItem> items) {
  items_ = std::move(items);
  ++changeCount_;
}

void FakePasteboard::copyTextExternally(std::string_view text) {
  copyExternally({textItem(text)});
}

PasteboardItem FakePasteboard::textItem(std::string_view text) {
  return PasteboardItem{{{std::string(kPlainTextType), std::vector<std::uint8_t>(text.begin(), text.end())}}};
}

}  // namespace wrenfold::testing
