#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace wrenfold::testing {

// A fresh directory under the system temporary folder, removed with everything in it when the
// object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  [[nodiscard]] std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Whole file as bytes; empty when missing.
[[nodiscard]] std::string readAll(const std::filesystem::path& path);
// Writes bytes, creating parent folders.
void writeAll(const std::filesystem::path& path, std::string_view bytes);
// A file under tests/data.
[[nodiscard]] std::string testData(std::string_view relativePath);

}  // namespace wrenfold::testing
