#pragma once

// File access shared by every store and the logger. Failures carry a Chinese description
// that names the file.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/support/failure.h"

namespace wrenfold::files {

// Replaces the whole file: writes a temporary file beside it, flushes it to disk, then renames
// it over the target, so a reader sees either the old or the new content, never a mix.
// `mode` sets the permissions of the new file; without it a file that existed keeps its
// permissions and a new one is 0600: the data folder holds keys and the user's texts.
[[nodiscard]] Result<void> writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                               std::optional<std::filesystem::perms> mode = std::nullopt);

// Appends `text` and one line feed. A missing file is created atomically with just that line
// (0600, as above).
[[nodiscard]] Result<void> appendLine(const std::filesystem::path& path, std::string_view text);

// Stored files (configuration, templates, style memory) are far smaller than this.
inline constexpr std::size_t kMaxStoredFileBytes = 8u << 20;

enum class FileKinds {
  regularOnly,  // a FIFO, device or folder fails at once instead of blocking or never ending
  anyReadable,  // whatever the user named (a pipe, /dev/stdin): read until its end or the cap
};

// Reads the whole file as bytes. A missing or unreadable file, or one over `maxBytes`
// (whole MiB), is a failure.
[[nodiscard]] Result<std::string> readFile(const std::filesystem::path& path,
                                           std::size_t maxBytes = kMaxStoredFileBytes,
                                           FileKinds kinds = FileKinds::regularOnly);

// Creates the directory and its missing parents; an existing directory is fine. `mode` applies
// to the directories this call creates.
[[nodiscard]] Result<void> createDirectories(const std::filesystem::path& path,
                                             std::optional<std::filesystem::perms> mode = std::nullopt);

}  // namespace wrenfold::files
