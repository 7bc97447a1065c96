#pragma once

// Where the user is writing inside a text element, on screen: what the overlay is placed
// beside, so it never covers the line being answered. Main thread only.

#include <atspi/atspi.h>

#include <optional>

#include "core/platform/geometry.h"
#include "platform/linux/atspi_calls.h"

namespace wrenfold {

// The bounds of the first selection, else of the character at the caret (at the end of the text,
// the right edge of the character before it), in screen pixels. Absent without the Text
// interface, or when the toolkit does not tell (KTextEditor answers no height).
[[nodiscard]] std::optional<Rect> caretBounds(AtspiCalls& calls, AtspiAccessible* object);

}  // namespace wrenfold
