#include "core/support/file_io.h"

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

// The mode a file had just before its mode was last changed: the temporary file that receives
// a key must never have been readable by others, not even before its final mode is set.
namespace {
mode_t modeBeforeLastFchmod = 0;
}  // namespace

extern "C" int fchmod(int fd, mode_t mode) noexcept {
  struct stat info {};
  modeBeforeLastFchmod = ::fstat(fd, &info) == 0 ? info.st_mode & 07777 : 07777;
  return static_cast<int>(::syscall(SYS_fchmod, fd, mode));
}

namespace wrenfold {
namespace {

namespace fs = std::filesystem;
using testing::readAll;
using testing::TempDir;
using testing::writeAll;

std::size_t entryCount(const fs::path& directory) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
}

TEST(WriteFileAtomically, ReplacesContentAndLeavesOnlyTheTarget) {
  TempDir dir;
  const fs::path file = dir / "config.json";
  ASSERT_TRUE(files::writeFileAtomically(file, "a much longer first version"));
  ASSERT_TRUE(files::writeFileAtomically(file, "second"));
  EXPECT_EQ(readAll(file), "second");
  EXPECT_EQ(entryCount(dir.path()), 1u);
}

TEST(WriteFileAtomically, SetsTheModeOfTheNewFile) {
  struct Row {
    const char* name;
    std::optional<mode_t> existing;
    std::optional<fs::perms> requested;
    mode_t expected;
  };
  const Row rows[] = {
      {"new file, key mode", std::nullopt, fs::perms(0600), 0600},
      {"new file, default: the owner's alone", std::nullopt, std::nullopt, 0600},
      {"existing mode kept", 0640, std::nullopt, 0640},
      {"requested mode wins over existing", 0644, fs::perms(0600), 0600},
  };
  for (const Row& row : rows) {
    TempDir dir;
    const fs::path file = dir / "f";
    if (row.existing) {
      writeAll(file, "old");
      ASSERT_EQ(::chmod(file.c_str(), *row.existing), 0);
    }
    modeBeforeLastFchmod = 07777;
    ASSERT_TRUE(files::writeFileAtomically(file, "new", row.requested)) << row.name;
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(row.expected)) << row.name;
    EXPECT_EQ(modeBeforeLastFchmod & 077, 0u) << row.name << ": the temporary file was open to others";
  }
}

TEST(WriteFileAtomically, FailureIsAValueNamingThePathAndLeavesNoTempFile) {
  TempDir dir;
  writeAll(dir / "plain-file", "x");
  fs::create_directories(dir / "target-is-a-folder" / "child");

  const fs::path underAFile = dir / "plain-file" / "config.json";
  auto result = files::writeFileAtomically(underAFile, "data");
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().localizedDescription(),
            "无法写入文件 " + underAFile.string() + "：Not a directory");

  // The rename is the last step: the temporary file written before it must go away.
  ASSERT_FALSE(files::writeFileAtomically(dir / "target-is-a-folder", "data"));
  EXPECT_EQ(entryCount(dir.path()), 2u);
}

TEST(WriteFileAtomically, ReadOnlyFolderIsAFailureValue) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "root ignores folder permissions";
  }
  TempDir dir;
  fs::create_directories(dir / "ro");
  fs::permissions(dir / "ro", fs::perms(0500));
  auto result = files::writeFileAtomically(dir / "ro" / "f", "data");
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().localizedDescription(),
            "无法写入文件 " + (dir / "ro" / "f").string() + "：Permission denied");
}

TEST(AppendLine, CreatesOrExtendsTheFile) {
  struct Row {
    std::optional<std::string> before;
    std::string expected;
  };
  const Row rows[] = {
      {std::nullopt, "line two\n"}, {"", "line two\n"}, {"line one\n", "line one\nline two\n"}};
  for (const Row& row : rows) {
    TempDir dir;
    const fs::path file = dir / "samples.jsonl";
    if (row.before) {
      writeAll(file, *row.before);
    }
    ASSERT_TRUE(files::appendLine(file, "line two"));
    EXPECT_EQ(readAll(file), row.expected);
  }
}

TEST(AppendLine, OpenFailureIsReturned) {
  TempDir dir;
  fs::create_directories(dir / "folder");
  auto result = files::appendLine(dir / "folder", "x");
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().localizedDescription(),
            "无法打开文件 " + (dir / "folder").string() + "：Is a directory");

  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);  // nobody reads it: must not wait
  EXPECT_FALSE(files::appendLine(dir / "fifo", "x"));
  EXPECT_EQ(files::appendLine("/dev/null", "x").error().localizedDescription(),
            "无法打开文件 /dev/null：不是普通文件");
}

TEST(ReadFile, ReadsBytesAndReportsMissingFiles) {
  TempDir dir;
  writeAll(dir / "f", std::string("a\0b", 3));
  EXPECT_EQ(files::readFile(dir / "f").value(), std::string("a\0b", 3));
  EXPECT_EQ(files::readFile(dir / "missing").error().localizedDescription(),
            "无法读取文件 " + (dir / "missing").string() + "：No such file or directory");
}

// A stored file that is a FIFO nobody writes to, a device or a folder fails at once; a file
// over the cap fails instead of filling memory. A stream the user names is read up to the cap.
TEST(ReadFile, OnlyRegularFilesOfBoundedSizeAreRead) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir / "folder");
  writeAll(dir / "big", std::string((1u << 20) + 1, 'x'));
  for (const fs::path& path : {dir / "fifo", dir / "folder", fs::path("/dev/zero")}) {
    EXPECT_EQ(files::readFile(path).error().localizedDescription(),
              "无法读取文件 " + path.string() + "：不是普通文件");
  }
  const std::string overCap = "无法读取文件 " + (dir / "big").string() + "：文件超过 1 MiB";
  EXPECT_EQ(files::readFile(dir / "big", 1u << 20).error().localizedDescription(), overCap);
  EXPECT_EQ(files::readFile(dir / "big", 2u << 20).value().size(), (1u << 20) + 1);
  EXPECT_EQ(
      files::readFile("/dev/zero", 1u << 20, files::FileKinds::anyReadable).error().localizedDescription(),
      "无法读取文件 /dev/zero：文件超过 1 MiB");
}

TEST(CreateDirectories, CreatesParentsWithTheModeAndRefusesAFileInTheWay) {
  TempDir dir;
  ASSERT_TRUE(files::createDirectories(dir / "a" / "b", fs::perms(0700)));
  EXPECT_EQ(fs::status(dir / "a").permissions(), fs::perms(0700));
  EXPECT_EQ(fs::status(dir / "a" / "b").permissions(), fs::perms(0700));
  ASSERT_TRUE(files::createDirectories(dir / "a" / "b"));  // existing is fine

  writeAll(dir / "file", "x");
  auto result = files::createDirectories(dir / "file" / "c");
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().localizedDescription(),
            "无法创建文件夹 " + (dir / "file" / "c").string() + "：Not a directory");
}

}  // namespace
}  // namespace wrenfold
