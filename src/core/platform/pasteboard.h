#pragma once

// The pasteboard port: the system clipboard as items of typed byte payloads. Main thread only.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wrenfold {

// One clipboard item: (type, bytes) pairs in the order the owner offers them. Types are the
// back-end's identifiers (MIME types on the Linux desktop).
struct PasteboardItem {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> representations;
  bool operator==(const PasteboardItem&) const = default;
};

// The type a password manager (and Wrenfold's own paste) adds with the value "secret", so
// clipboard managers and readers leave the content alone.
inline constexpr std::string_view kPasswordManagerHintType = "x-kde-passwordManagerHint";

// Whether clipboard managers may keep a written text in their history.
enum class ClipboardHistory { keep, skip };

class Pasteboard {
 public:
  Pasteboard() = default;
  virtual ~Pasteboard() = default;
  Pasteboard(const Pasteboard&) = delete;
  Pasteboard& operator=(const Pasteboard&) = delete;

  // Every item with every type whose bytes could be read; types that fail are left out,
  // empty when the clipboard is empty or unreadable.
  [[nodiscard]] virtual std::vector<PasteboardItem> items() = 0;
  // The whole clipboard for a snapshot, read away from the main thread where the back-end can:
  // the offered types first, then the bytes of those within its size caps. `done` runs on the
  // main thread, later or at once: with the items (none for an empty clipboard), or with
  // nothing when the owner did not answer in time, which is not the same as empty.
  using ItemsHandler = std::function<void(std::optional<std::vector<PasteboardItem>>)>;
  virtual void readItems(ItemsHandler done) { done(items()); }
  // How many times other programs have fetched the text of our last setString; absent when the
  // back-end cannot tell. A paste whose text was fetched was delivered.
  [[nodiscard]] virtual std::optional<std::int64_t> textFetches() { return std::nullopt; }
  // The plain-text content; absent when there is none or it cannot be read.
  [[nodiscard]] virtual std::optional<std::string> string() = 0;
  // The bytes of one type of the content; absent when it is not offered or cannot be read.
  [[nodiscard]] virtual std::optional<std::vector<std::uint8_t>> data(std::string_view type) = 0;
  // Empties the clipboard. Failures are not reported (the next read shows the state).
  virtual void clearContents() = 0;
  // Puts `text` on the clipboard as its only, plain-text content; false when refused.
  [[nodiscard]] virtual bool setString(std::string_view text, ClipboardHistory history) = 0;
  // Replaces the contents with `items` in one write; false when refused.
  [[nodiscard]] virtual bool writeItems(const std::vector<PasteboardItem>& items) = 0;
  // A number that changes whenever the contents change, by anyone, this process included (a
  // write of ours has moved it by the time the call returns); absent when the back-end cannot
  // tell.
  [[nodiscard]] virtual std::optional<std::int64_t> changeCount() = 0;
};

}  // namespace wrenfold
