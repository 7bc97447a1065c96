#pragma once

// Where the user is writing inside a text element, on screen: what the overlay is placed
// beside, so it never covers the line being answered. Main thread only.

#include <atspi/atspi.h>

#include <optional>

#include "core/platform/geometry.h"
#include "platform/linux/atspi_calls.h"

namespace wrenfold {

// The bounds of the first selection, else of the caret's row up to the caret: the character at
// the caret (at the end of the text, the right edge of the character before it) widened to the
// start of its line on that row, in `coords` (screen, or within the window for toolkits that
// know no more). Where the toolkit tells only where the character starts (KTextEditor answers no
// height), the line's height is the distance to a neighbouring line; where it tells every
// paragraph's boxes from the paragraph's own top (Qt's plain text editors), the line is counted
// down from the first, as in a view not scrolled. Absent without the Text interface, or when the
// toolkit does not tell.
[[nodiscard]] std::optional<Rect> caretBounds(AtspiCalls& calls, AtspiAccessible* object,
                                              AtspiCoordType coords = ATSPI_COORD_TYPE_SCREEN);

}  // namespace wrenfold
