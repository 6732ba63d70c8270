#include "stream/FileStream.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace lumen {
namespace {

TEST(FileStream, CreateWritesAndReadReadsBack) {
  testing::TempDir dir;
  const auto file = dir.path() / "data.bin";
  {
    FileStream out(file, FileMode::Create);
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6};
    out.WriteBuffer(bytes, sizeof bytes);
  }
  {
    FileStream out(file, FileMode::Create);  // replaces the old contents
    const uint8_t bytes[] = {7, 8, 9};
    out.WriteBuffer(bytes, sizeof bytes);
  }
  FileStream in(file, FileMode::ReadShared);
  EXPECT_EQ(in.Size(), 3);
  EXPECT_EQ(in.Seek(-1, SeekOrigin::End), 2);
  uint8_t last = 0;
  in.ReadBuffer(&last, 1);
  EXPECT_EQ(last, 9);
  EXPECT_EQ(in.Read(&last, 1), 0u);
}

TEST(FileStream, FailuresNameTheFullPath) {
  testing::TempDir dir;
  const auto missing = dir.path() / "no" / "such.swf";
  for (FileMode mode : {FileMode::ReadExclusive, FileMode::ReadShared, FileMode::Create}) {
    const std::string verb = mode == FileMode::Create ? "create" : "open";
    try {
      FileStream stream(missing, mode);
      ADD_FAILURE() << "no error";
    } catch (const StreamError& error) {
      const std::string head = "Cannot " + verb + " file \"" + DisplayPath(missing) + "\". ";
      EXPECT_EQ(std::string(error.what()).substr(0, head.size()), head);
    }
  }
  EXPECT_FALSE(std::filesystem::exists(missing.parent_path()));
}

TEST(FileStream, ReadOnlyStreamsWriteNothing) {
  testing::TempDir dir;
  const auto file = dir.Write("x", std::vector<uint8_t>{1});
  FileStream in(file, FileMode::ReadShared);
  const uint8_t byte = 2;
  EXPECT_THROW(in.WriteBuffer(&byte, 1), StreamError);
}

#ifdef _WIN32
TEST(FileStream, SharedReadersCoexistButAnExclusiveOneDoesNot) {
  testing::TempDir dir;
  const auto file = dir.Write("x", std::vector<uint8_t>{1});
  FileStream first(file, FileMode::ReadShared);
  EXPECT_NO_THROW(FileStream(file, FileMode::ReadShared));
  EXPECT_THROW(FileStream(file, FileMode::ReadExclusive), StreamError);
}
#endif

}  // namespace
}  // namespace lumen
