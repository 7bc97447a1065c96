#include "core/support/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>

#include "core/support/posix.h"

namespace wrenfold::files {
namespace {

namespace fs = std::filesystem;

constexpr mode_t kPrivateFileMode = 0600;
constexpr mode_t kDefaultDirectoryMode = 0777;
constexpr mode_t kPrivateDirectoryMode = 0700;
constexpr int kTempNameAttempts = 32;

using posix::failWith;
using posix::UniqueFd;

std::unexpected<Failure> writeFailure(const fs::path& path, int code) {
  return failWith("无法写入文件", path, code);
}

mode_t toMode(fs::perms perms) {
  return static_cast<mode_t>(perms) & 07777;
}

// Returns 0 or the errno of the failed write.
int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

std::string randomSuffix() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string suffix(10, 'x');
  for (char& c : suffix) {
    c = kAlphabet[pick(generator)];
  }
  return suffix;
}

struct TempFile {
  fs::path path;
  int fd = -1;
};

// A new hidden file beside `target`, created exclusively so no other writer shares it.
Result<TempFile> createTempBeside(const fs::path& target, mode_t createMode) {
  const fs::path directory = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    std::string name = ".";
    name.append(target.filename().string()).append(".").append(randomSuffix()).append(".tmp");
    fs::path candidate = directory / name;
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
    if (fd >= 0) {
      return TempFile{std::move(candidate), fd};
    }
    if (errno != EEXIST) {
      return writeFailure(target, errno);
    }
  }
  return writeFailure(target, EEXIST);
}

// The permissions to give the new file: the requested ones, else the replaced file's, else
// the owner's alone.
mode_t finalMode(const fs::path& path, std::optional<fs::perms> mode) {
  if (mode) {
    return toMode(*mode);
  }
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    return existing.st_mode & 0777;
  }
  return kPrivateFileMode;
}

Result<void> fillAndReplace(const fs::path& path, const TempFile& temp, std::string_view bytes, mode_t mode) {
  UniqueFd fd(temp.fd);
  if (const int code = writeAll(fd.get(), bytes); code != 0) {
    return writeFailure(path, code);
  }
  if (::fchmod(fd.get(), mode) != 0) {
    return writeFailure(path, errno);
  }
  if (::fsync(fd.get()) != 0) {
    return writeFailure(path, errno);
  }
  if (const int code = fd.close(); code != 0) {
    return writeFailure(path, code);
  }
  if (::rename(temp.path.c_str(), path.c_str()) != 0) {
    return writeFailure(path, errno);
  }
  return {};
}

// Makes the rename itself durable; the new content is already in place, so a failure here
// is not worth reporting.
void syncDirectoryOf(const fs::path& path) {
  const fs::path directory = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  UniqueFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) {
    ::fsync(fd.get());
  }
}

}  // namespace

Result<void> writeFileAtomically(const fs::path& path, std::string_view bytes,
                                 std::optional<fs::perms> mode) {
  const mode_t wanted = finalMode(path, mode);
  // Until the final mode is set, only the owner may read the temporary file: it may hold a key.
  auto temp = createTempBeside(path, kPrivateFileMode);
  if (!temp) {
    return std::unexpected(std::move(temp.error()));
  }
  auto written = fillAndReplace(path, *temp, bytes, wanted);
  if (!written) {
    ::unlink(temp->path.c_str());
    return written;
  }
  syncDirectoryOf(path);
  return {};
}

Result<void> appendLine(const fs::path& path, std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() + 1);
  bytes.append(text);
  bytes.push_back('\n');

  struct stat existing {};
  if (::stat(path.c_str(), &existing) != 0 && errno == ENOENT) {
    return writeFileAtomically(path, bytes);
  }
  // Non-blocking: a FIFO in the file's place must fail, not hold the writer's queue forever.
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) {
    return failWith("无法打开文件", path, errno);
  }
  if (::fstat(fd.get(), &existing) != 0 || !S_ISREG(existing.st_mode)) {
    return failPlatform("无法打开文件 " + path.string() + "：不是普通文件");
  }
  const off_t end = ::lseek(fd.get(), 0, SEEK_END);
  if (end < 0) {
    return writeFailure(path, errno);
  }
  if (const int code = writeAll(fd.get(), bytes); code != 0) {
    // A torn line would corrupt the next record of a line-per-record file: cut it off again.
    (void)::ftruncate(fd.get(), end);
    return writeFailure(path, code);
  }
  if (const int code = fd.close(); code != 0) {
    return writeFailure(path, code);
  }
  return {};
}

Result<std::string> readFile(const fs::path& path, std::size_t maxBytes, FileKinds kinds) {
  // Non-blocking, so a FIFO nobody writes to fails the kind check instead of waiting in open().
  const int nonBlocking = kinds == FileKinds::regularOnly ? O_NONBLOCK : 0;
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | nonBlocking));
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
    return failWith("无法读取文件", path, errno);
  }
  if (kinds == FileKinds::regularOnly && !S_ISREG(info.st_mode)) {
    return failPlatform("无法读取文件 " + path.string() + "：不是普通文件");
  }
  const auto tooLarge = [&] {
    return failPlatform("无法读取文件 " + path.string() + "：文件超过 " + std::to_string(maxBytes >> 20) +
                        " MiB");
  };
  if (S_ISREG(info.st_mode) && static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
    return tooLarge();
  }
  std::string content;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      return failWith("无法读取文件", path, errno);
    }
    if (count == 0) {
      return content;
    }
    if (content.size() + static_cast<std::size_t>(count) > maxBytes) {
      return tooLarge();  // grown meanwhile, or a stream without end
    }
    content.append(buffer, static_cast<std::size_t>(count));
  }
}

Result<void> createDirectories(const fs::path& path, std::optional<fs::perms> mode) {
  const fs::path absolute = path.lexically_normal();
  fs::path current;
  for (const fs::path& part : absolute) {
    current /= part;
    if (part.empty() || part == current.root_path()) {
      continue;
    }
    struct stat info {};
    if (::stat(current.c_str(), &info) == 0) {
      if (!S_ISDIR(info.st_mode)) {
        return failWith("无法创建文件夹", path, ENOTDIR);
      }
      continue;
    }
    if (::mkdir(current.c_str(), mode ? kPrivateDirectoryMode : kDefaultDirectoryMode) != 0) {
      if (errno == EEXIST && ::stat(current.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        continue;  // created by someone else meanwhile
      }
      return failWith("无法创建文件夹", path, errno);
    }
    if (mode && ::chmod(current.c_str(), toMode(*mode)) != 0) {
      return failWith("无法创建文件夹", path, errno);
    }
  }
  return {};
}

}  // namespace wrenfold::files
