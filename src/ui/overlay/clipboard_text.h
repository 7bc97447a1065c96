#pragma once

#include <string>

namespace wrenfold {

// Replaces the clipboard's content with `text` as plain text (the user's own copy: clipboard
// managers may keep it).
void copyPlainText(const std::string& text);

}  // namespace wrenfold
