#pragma once

// Reads the X11 CLIPBOARD selection on a connection of its own, so any thread may run it: the
// offered targets first, then the bytes of those worth keeping, each checked against the size
// caps before it is transferred. Every answer has a deadline, so a stalled owner costs a bounded
// wait and is told apart from an empty clipboard.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/platform/pasteboard.h"

namespace wrenfold {

struct ClipboardCaps {
  std::size_t maxFormats = 32;
  std::size_t maxBytesPerFormat = 32u * 1024u * 1024u;
  std::size_t maxTotalBytes = 64u * 1024u * 1024u;
  std::chrono::milliseconds answerTimeout{1000};  // for each reply or chunk from the owner
  std::chrono::milliseconds totalTimeout{5000};
};

// Of the targets an owner offers, those a snapshot fetches, in fetch order: MIME types (and the
// password manager's hint), not X11 plumbing such as TARGETS or UTF8_STRING, which the toolkit
// recreates from them; of the images only PNG (or the first one when PNG is missing), read last;
// at most `maxFormats`.
[[nodiscard]] std::vector<std::string> clipboardTypesToFetch(const std::vector<std::string>& offered,
                                                             std::size_t maxFormats);

// Whether a format of `size` bytes fits when `taken` bytes are already kept.
[[nodiscard]] bool fitsClipboardCaps(const ClipboardCaps& caps, std::size_t size, std::size_t taken);

// The clipboard as one item (no item when it is empty); nothing when there is no display or the
// owner did not answer in time with anything. A format whose transfer stalls or outgrows the
// caps is left out.
[[nodiscard]] std::optional<std::vector<PasteboardItem>> readX11Clipboard(const ClipboardCaps& caps = {});

}  // namespace wrenfold
