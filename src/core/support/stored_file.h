#pragma once

// A data file a store loads once and later rewrites whole. When the file is there but cannot
// be read or decoded, the store runs on defaults; the file itself must not be lost: the first
// write keeps it beside itself before replacing it, and the problem is told to the user.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/support/failure.h"
#include "core/support/time.h"

namespace wrenfold {

// A file that exists but could not be read or decoded.
struct FileProblem {
  std::filesystem::path path;
  std::string reason;                           // what is wrong; never the file's content
  std::optional<std::filesystem::path> keptAs;  // where it was set aside, once it was

  // "<path> 无法读取：<reason>。", then where the original was kept, once it was.
  [[nodiscard]] std::string message() const;
  bool operator==(const FileProblem&) const = default;
};

namespace files {

// Renames `path` to "<name>.invalid-<UTC time>" in the same folder (never over an existing
// file; "-2", "-3"... are added when needed) and makes it 0600: the bytes stay exactly as they
// were. Returns the new path.
[[nodiscard]] Result<std::filesystem::path> setAside(const std::filesystem::path& path,
                                                     timefmt::SystemTime now);

}  // namespace files

class StoredFile {
 public:
  using Decode = std::function<Result<void>(std::string_view bytes)>;

  explicit StoredFile(std::filesystem::path path) : path_(std::move(path)) {}

  // Reads the file and hands its bytes to `decode`. False when the file is missing (no
  // problem) or when reading or decoding failed (then problem() says why).
  bool load(const Decode& decode);

  // Call before every whole-file write: a file that failed to load is set aside first (once).
  // A failure means the file is still in place and must not be written over.
  [[nodiscard]] Result<void> prepareToWrite(timefmt::SystemTime now);

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  [[nodiscard]] const std::optional<FileProblem>& problem() const { return problem_; }

 private:
  std::filesystem::path path_;
  std::optional<FileProblem> problem_;
};

}  // namespace wrenfold
