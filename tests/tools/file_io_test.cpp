#include "tools/gamewrap/file_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <set>

#include "common/unique_file.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;

std::set<std::string> FilesIn(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(AtomicOutput, WritesANewFileBesideAndReplacesOnlyOnCommit) {
  TempDir dir;
  const std::string path = dir.Write("out.bin", "old");
  gamewrap::AtomicOutput first(path), second(path);
  std::string error;
  ASSERT_TRUE(first.Open(error)) << error;
  ASSERT_TRUE(second.Open(error)) << error;
  // Fresh names, each in the output's folder, so that neither can be an
  // existing file and the rename stays on one file system.
  EXPECT_NE(first.temporaryPath(), second.temporaryPath());
  for (const std::string& temporary : {first.temporaryPath(), second.temporaryPath()}) {
    EXPECT_EQ(fs::path(temporary).parent_path(), dir.path());
    EXPECT_EQ(temporary.rfind(path + ".", 0), 0u) << temporary;
    EXPECT_TRUE(fs::exists(temporary));
  }

  ASSERT_TRUE(first.Write("new", 3, error)) << error;
  EXPECT_EQ(ReadFile(path), "old");
  ASSERT_TRUE(first.Commit(error)) << error;
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_FALSE(fs::exists(first.temporaryPath()));
  EXPECT_EQ(FilesIn(dir).size(), 2u);  // out.bin and the second, still open
}

TEST(AtomicOutput, UncommittedOutputLeavesNothing) {
  TempDir dir;
  const std::string path = dir.Write("out.bin", "old");
  {
    gamewrap::AtomicOutput output(path);
    std::string error;
    ASSERT_TRUE(output.Open(error)) << error;
    ASSERT_TRUE(output.Write("new", 3, error)) << error;
  }
  EXPECT_EQ(ReadFile(path), "old");
  EXPECT_EQ(FilesIn(dir), std::set<std::string>{"out.bin"});
}

TEST(AtomicOutput, MissingFolderFailsWithMessage) {
  TempDir dir;
  gamewrap::AtomicOutput output(dir.File("absent/out.bin"));
  std::string error;
  EXPECT_FALSE(output.Open(error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}

struct CopyCase {
  const char* name;
  std::int64_t measured;  // the input holds 100 bytes
  const char* message;    // nullptr: the copy succeeds
};

void PrintTo(const CopyCase& c, std::ostream* out) { *out << c.name; }

class CopyExactly : public ::testing::TestWithParam<CopyCase> {};

// The copy takes the size measured at the start; an input that then holds more
// or fewer bytes has changed under the tool (or is its own output) and fails.
TEST_P(CopyExactly, TheMeasuredSizeOrFails) {
  const CopyCase& c = GetParam();
  TempDir dir;
  std::string input;
  for (int i = 0; i < 100; ++i) input += static_cast<char>(i);
  UniqueFile from(std::fopen(dir.Write("in.bin", input).c_str(), "rb"));
  ASSERT_TRUE(from);
  const std::string path = dir.File("out.bin");
  gamewrap::AtomicOutput output(path);
  std::string error;
  ASSERT_TRUE(output.Open(error)) << error;
  const bool copied = gamewrap::CopyExactly(from.get(), c.measured, "in.bin", output, error);
  if (c.message == nullptr) {
    ASSERT_TRUE(copied) << error;
    ASSERT_TRUE(output.Commit(error)) << error;
    EXPECT_EQ(ReadFile(path), input);
  } else {
    EXPECT_FALSE(copied);
    EXPECT_EQ(error, c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Input, CopyExactly,
    ::testing::Values(CopyCase{"Unchanged", 100, nullptr},
                      CopyCase{"Grew", 99, "'in.bin' grew while it was being read"},
                      CopyCase{"Shrank", 101, "'in.bin' shrank while it was being read"},
                      CopyCase{"EmptyGrew", 0, "'in.bin' grew while it was being read"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
