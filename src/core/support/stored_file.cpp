#include "core/support/stored_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "core/support/file_io.h"

namespace wrenfold {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxNameAttempts = 100;

std::string compactUtc(timefmt::SystemTime now) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y%m%dT%H%M%SZ", &utc);
  return buffer;
}

// Renames without replacing an existing file; false with errno set on failure.
bool renameNoReplace(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return false;
  }
  // A file system without the flag: check, then rename (the data folder has one writer).
  struct stat existing {};
  if (::lstat(to.c_str(), &existing) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

std::string FileProblem::message() const {
  std::string text = path.string() + " 无法读取：" + reason + "。";
  if (keptAs) {
    text += "原文件已另存为 " + keptAs->string() + "。";
  }
  return text;
}

Result<fs::path> files::setAside(const fs::path& path, timefmt::SystemTime now) {
  const std::string base = path.filename().string() + ".invalid-" + compactUtc(now);
  for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
    const fs::path target = path.parent_path() / (attempt == 1 ? base : base + "-" + std::to_string(attempt));
    if (renameNoReplace(path, target)) {
      // It may hold a key; only its owner may read it. The rename is what matters.
      ::chmod(target.c_str(), 0600);
      return target;
    }
    if (errno != EEXIST) {
      return failPlatform("无法另存文件 " + path.string() + "：" + std::strerror(errno));
    }
  }
  return failPlatform("无法另存文件 " + path.string() + "：" + std::strerror(EEXIST));
}

bool StoredFile::load(const Decode& decode) {
  problem_.reset();
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path_, ec))) {
    return false;
  }
  const auto bytes = files::readFile(path_);
  const auto decoded = bytes ? decode(*bytes) : Result<void>(fail(bytes.error()));
  if (!decoded) {
    problem_ = FileProblem{path_, decoded.error().localizedDescription(), std::nullopt};
    return false;
  }
  return true;
}

Result<void> StoredFile::prepareToWrite(timefmt::SystemTime now) {
  if (!problem_ || problem_->keptAs) {
    return {};
  }
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path_, ec))) {
    return {};  // gone meanwhile: nothing left to keep
  }
  auto kept = files::setAside(path_, now);
  if (!kept) {
    return fail(kept.error());
  }
  problem_->keptAs = std::move(*kept);
  return {};
}

}  // namespace wrenfold
