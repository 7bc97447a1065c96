#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

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

  // Reads the clipboard on any thread, for readItems (the X11 selection on a connection of its
  // own); without one, readItems reads through Qt on the main thread. `onMainThread`: the
  // reader runs there, for a desktop that hands our clipboard on only while our window is
  // active (KWin under Wayland), which the panel is just for the turn it closes in.
  using Reader = std::function<std::optional<std::vector<PasteboardItem>>()>;
  explicit QtPasteboard(Reader reader = {}, bool onMainThread = false);
  ~QtPasteboard() override;
  QtPasteboard(const QtPasteboard&) = delete;
  QtPasteboard& operator=(const QtPasteboard&) = delete;

  [[nodiscard]] std::vector<PasteboardItem> items() override;
  void readItems(ItemsHandler done) override;
  [[nodiscard]] std::optional<std::int64_t> textFetches() override;
  [[nodiscard]] std::optional<std::string> string() override;
  [[nodiscard]] std::optional<std::vector<std::uint8_t>> data(std::string_view type) override;
  void clearContents() override;
  [[nodiscard]] bool setString(std::string_view text, ClipboardHistory history) override;
  [[nodiscard]] bool writeItems(const std::vector<PasteboardItem>& items) override;
  // X11 reports our own writes late or not at all, so the count cannot be trusted: callers
  // compare contents instead.
  [[nodiscard]] std::optional<std::int64_t> changeCount() override { return std::nullopt; }

  // Counts the fetches of our written text by other programs; our own reads do not count.
  struct Fetches {
    std::int64_t count = 0;
    bool ownRead = false;
  };

 private:
  Reader reader_;
  bool onMainThread_;
  std::shared_ptr<Fetches> fetches_ = std::make_shared<Fetches>();
  QObject receiver_;  // delivers the reader's answer on the main thread
  std::thread worker_;
};

}  // namespace wrenfold
