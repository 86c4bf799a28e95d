#include "platform/files.h"
#include "platform/fakes/memory_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace vessiko {
namespace {

std::string TempPath(const std::string& name) {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
#ifdef _WIN32
  return "vessiko_" + name + std::to_string(stamp);
#else
  return "/tmp/vessiko_" + name + std::to_string(stamp);
#endif
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  uint32_t error = 0;
  auto reader = SystemFiles().openForRead(path, &error);
  if (reader == nullptr) return {};
  uint64_t size = 0;
  EXPECT_TRUE(reader->size(&size, &error));
  std::vector<uint8_t> bytes(size);
  size_t got = 0;
  EXPECT_TRUE(reader->read(bytes.data(), bytes.size(), &got, &error));
  EXPECT_EQ(got, size);
  return bytes;
}

TEST(Files, ReplaceWritesEveryPieceInOrder) {
  const std::string path = TempPath("replace");
  const std::vector<uint8_t> a = {1, 2, 3};
  const std::vector<uint8_t> b(10000, 7);
  const std::span<const uint8_t> pieces[] = {a, b};
  uint32_t error = 0;
  ASSERT_TRUE(SystemFiles().replaceWith(path, pieces, &error));
  std::vector<uint8_t> expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  EXPECT_EQ(ReadAll(path), expected);
  // A second replacement takes the place of the first.
  const std::span<const uint8_t> one[] = {a};
  ASSERT_TRUE(SystemFiles().replaceWith(path, one, &error));
  EXPECT_EQ(ReadAll(path), a);
  EXPECT_TRUE(SystemFiles().remove(path));
  EXPECT_FALSE(SystemFiles().exists(path));
}

TEST(Files, AMoveReplacesItsTargetAndAWholeWriteEmptiesItFirst) {
  const std::string from = TempPath("from");
  const std::string to = TempPath("to");
  const std::vector<uint8_t> a = {1, 2, 3};
  const std::vector<uint8_t> b(10000, 7);
  const std::span<const uint8_t> small[] = {a};
  const std::span<const uint8_t> large[] = {b};
  uint32_t error = 0;
  ASSERT_TRUE(SystemFiles().writeWhole(to, small, &error));
  ASSERT_TRUE(SystemFiles().writeWhole(from, large, &error));
  ASSERT_TRUE(SystemFiles().moveReplacing(from, to, &error));
  EXPECT_EQ(ReadAll(to), b);
  EXPECT_FALSE(SystemFiles().exists(from));
  ASSERT_TRUE(SystemFiles().writeWhole(to, small, &error));
  EXPECT_EQ(ReadAll(to), a);
  // Nothing to move: the target stays.
  EXPECT_FALSE(SystemFiles().moveReplacing(from, to, &error));
  EXPECT_NE(error, 0u);
  EXPECT_EQ(ReadAll(to), a);
  EXPECT_TRUE(SystemFiles().remove(to));
}

TEST(Files, FailuresCarryTheSystemCode) {
  uint32_t error = 0;
  EXPECT_EQ(SystemFiles().openForRead(TempPath("missing"), &error), nullptr);
  EXPECT_NE(error, 0u);
  error = 0;
  const std::vector<uint8_t> a = {1};
  const std::span<const uint8_t> pieces[] = {a};
  EXPECT_FALSE(SystemFiles().replaceWith(TempPath("no/such/folder/") + "x", pieces, &error));
  EXPECT_NE(error, 0u);
  error = 0;
  EXPECT_FALSE(SystemFiles().writeWhole(TempPath("no/such/folder/") + "x", pieces, &error));
  EXPECT_NE(error, 0u);
}

}  // namespace
}  // namespace vessiko

namespace vessiko {
namespace {

TEST(MemoryFiles, FailedWriteKeepsTheOldFile) {
  MemoryFiles files;
  files.put("db", {1, 2, 3});
  files.failWriteAfter(2);
  const std::vector<uint8_t> bytes = {9, 9, 9};
  const std::span<const uint8_t> pieces[] = {bytes};
  uint32_t error = 0;
  EXPECT_FALSE(files.replaceWith("db", pieces, &error));
  EXPECT_EQ(error, MemoryFiles::kErrorDiskFull);
  EXPECT_EQ(files.get("db"), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(MemoryFiles, InjectedFailuresAndACrashChangeNothing) {
  MemoryFiles files;
  files.put("db", {1, 2, 3});
  files.failWrite("db.new", MemoryFiles::kErrorDiskFull);
  files.failMove("db", 5);
  const std::vector<uint8_t> bytes = {9};
  const std::span<const uint8_t> pieces[] = {bytes};
  uint32_t error = 0;
  EXPECT_FALSE(files.writeWhole("db.new", pieces, &error));
  EXPECT_EQ(error, MemoryFiles::kErrorDiskFull);
  EXPECT_FALSE(files.moveReplacing("db", "db.old", &error));
  EXPECT_EQ(error, 5u);
  EXPECT_EQ(files.paths(), std::vector<std::string>{"db"});

  files.clearFailures();
  files.crashAfter(1);
  EXPECT_TRUE(files.moveReplacing("db", "db.old", &error));
  EXPECT_FALSE(files.writeWhole("db.new", pieces, &error));
  EXPECT_EQ(error, MemoryFiles::kErrorNotReady);
  EXPECT_FALSE(files.remove("db.old"));
  EXPECT_EQ(files.paths(), std::vector<std::string>{"db.old"});
  EXPECT_EQ(files.get("db.old"), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(MemoryFiles, ShortReadFailsWithACode) {
  MemoryFiles files;
  files.put("db", std::vector<uint8_t>(100, 7));
  files.failReadAfter("db", 40);
  uint32_t error = 0;
  auto reader = files.openForRead("db", &error);
  ASSERT_NE(reader, nullptr);
  std::vector<uint8_t> buffer(100);
  size_t got = 0;
  EXPECT_FALSE(reader->read(buffer.data(), 100, &got, &error));
  EXPECT_EQ(got, 40u);
  EXPECT_EQ(error, MemoryFiles::kErrorReadFault);
}

}  // namespace
}  // namespace vessiko
