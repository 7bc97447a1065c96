#pragma once

#include "core/platform/pasteboard.h"

namespace wrenfold {

// The system clipboard through QClipboard. Snapshots keep every real format (MIME types, not
// X11 target atoms such as TARGETS or UTF8_STRING, which Qt recreates from them) within size
// caps, so a huge or slow owner cannot hold us for long or fill memory. Main thread only.
class QtPasteboard final : public Pasteboard {
 public:
  static constexpr std::size_t kMaxFormats = 32;
  static constexpr std::size_t kMaxBytesPerFormat = 32u * 1024u * 1024u;
  static constexpr std::size_t kMaxTotalBytes = 64u * 1024u * 1024u;

  [[nodiscard]] std::vector<PasteboardItem> items() override;
  [[nodiscard]] std::optional<std::string> string() override;
  [[nodiscard]] std::optional<std::vector<std::uint8_t>> data(std::string_view type) override;
  void clearContents() override;
  [[nodiscard]] bool setString(std::string_view text, ClipboardHistory history) override;
  [[nodiscard]] bool writeItems(const std::vector<PasteboardItem>& items) override;
  // X11 reports our own writes late or not at all, so the count cannot be trusted: callers
  // compare contents instead.
  [[nodiscard]] std::optional<std::int64_t> changeCount() override { return std::nullopt; }
};

}  // namespace wrenfold
