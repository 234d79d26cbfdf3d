#include "launcher/file_searcher.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>

#include "payload/payload_format.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::TempDir;

const std::string kText = payload::BuildInfoText();

// Reading 2^31 bytes one at a time takes tens of seconds, so the width of the
// searcher's offsets is held here instead: a 32-bit result wraps past 2 GiB.
static_assert(
    std::is_same<decltype(std::declval<FileSearcher&>().Find(std::string())), std::int64_t>::value,
    "offsets past 2 GiB need a 64-bit result");

struct Case {
  const char* name;
  std::string contents;
  std::int64_t want;
};

class FileSearcherFind : public ::testing::TestWithParam<Case> {};

TEST_P(FileSearcherFind, GivesOffsetOfFirstOccurrence) {
  TempDir dir;
  FileSearcher searcher;
  ASSERT_TRUE(searcher.Open(dir.Write("f.bin", GetParam().contents)));
  EXPECT_EQ(searcher.Find(kText), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Text, FileSearcherFind,
    ::testing::Values(Case{"AtOffsetZero", kText + "tail", 0}, Case{"FileIsJustTheText", kText, 0},
                      Case{"AfterFalseStarts", "DDYN00000BER" + kText, 12},
                      Case{"FirstOfTwo", "xx" + kText + "yy" + kText, 2},
                      Case{"AtVeryEnd", std::string(3000, 'D') + kText, 3000},
                      // The file is read in blocks: a text across two of them, one
                      // at the start of the second, a false start cut by the border.
                      Case{"AcrossReadBlocks",
                           std::string(FileSearcher::kReadBlockSize - 7, 'x') + kText,
                           FileSearcher::kReadBlockSize - 7},
                      Case{"AtSecondReadBlock",
                           std::string(FileSearcher::kReadBlockSize, 'x') + kText,
                           FileSearcher::kReadBlockSize},
                      Case{"FalseStartAcrossReadBlocks",
                           std::string(FileSearcher::kReadBlockSize - 3, 'x') + "DDYN" +
                               std::string(3 * FileSearcher::kReadBlockSize, 'y') + kText,
                           4 * FileSearcher::kReadBlockSize + 1},
                      Case{"FollowedByZeroByte", "ab" + kText + std::string(1, '\0'), 2},
                      Case{"Truncated", "ab" + kText.substr(0, 79), -1}, Case{"Empty", "", -1},
                      Case{"Absent", std::string(2000, 'x'), -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileSearcher, TakeAfterFindResumesBehindTheMatchedFirstCharacter) {
  TempDir dir;
  FileSearcher searcher;
  ASSERT_TRUE(searcher.Open(dir.Write("f.bin", "xyzDYN")));
  EXPECT_EQ(searcher.Find("DYN"), 3);
  EXPECT_EQ(searcher.Take(), 'Y');
  EXPECT_EQ(searcher.Take(), 'N');
  EXPECT_EQ(searcher.Take(), -1);
  EXPECT_TRUE(searcher.AtEnd());
  // A second search finds nothing further on.
  EXPECT_EQ(searcher.Find("DYN"), -1);
}

TEST(FileSearcher, PushBackComesFirstAndCountsBackwards) {
  TempDir dir;
  FileSearcher searcher;
  ASSERT_TRUE(searcher.Open(dir.Write("f.bin", "ab")));
  EXPECT_EQ(searcher.Take(), 'a');
  searcher.PushBack(0xE9);
  searcher.PushBack('z');
  EXPECT_EQ(searcher.Take(), 'z');
  EXPECT_EQ(searcher.Take(), 0xE9);  // bytes from 0x80 up come back unsigned
  EXPECT_EQ(searcher.Take(), 'b');
  EXPECT_EQ(searcher.Find("b"), -1);
}

TEST(FileSearcher, OpenStartsCountingAfresh) {
  TempDir dir;
  const std::string path = dir.Write("f.bin", "xyzDYN");
  FileSearcher searcher;
  ASSERT_TRUE(searcher.Open(path));
  searcher.Take();
  searcher.Take();
  // Reopening an open searcher closes it first.
  ASSERT_TRUE(searcher.Open(path));
  EXPECT_EQ(searcher.Find("DYN"), 3);
  // So does an explicit close: the count must not survive it.
  searcher.Close();
  ASSERT_TRUE(searcher.Open(path));
  searcher.Take();
  searcher.Close();
  ASSERT_TRUE(searcher.Open(path));
  EXPECT_EQ(searcher.Find("DYN"), 3);
}

// A stream whose reads fail (not at end of file) must end the search; retrying
// the failed read would never finish. The test binary's ctest timeout bounds a
// searcher that loops.
TEST(FileSearcher, ReadErrorEndsTheSearch) {
  TempDir dir;
  FileSearcher searcher;
  // Opening a directory for reading works on Linux; every read then fails.
  if (!searcher.Open(dir.path().string())) {
    GTEST_SKIP() << "this system does not open directories as streams";
  }
  EXPECT_EQ(searcher.Find("DYN"), -1);
  EXPECT_TRUE(searcher.AtEnd());
}

TEST(FileSearcher, WithoutFileEverythingIsAtEnd) {
  FileSearcher searcher;
  EXPECT_TRUE(searcher.AtEnd());
  EXPECT_EQ(searcher.Take(), -1);
  EXPECT_EQ(searcher.Find("a"), -1);
  TempDir dir;
  EXPECT_FALSE(searcher.Open(dir.File("missing")));
  EXPECT_TRUE(searcher.AtEnd());
}

}  // namespace
