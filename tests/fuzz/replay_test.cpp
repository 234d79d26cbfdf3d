// Feeds every file of one fuzz target's corpus to that target's entry
// function, built here with the ordinary compiler and without libFuzzer. The
// targets stop the process (std::abort) when a check fails, so a corpus file
// that now fails ends the test program and fails its ctest entry; the name of
// the file being replayed is printed by GoogleTest before it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/whole_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(KOVA_FUZZ_CORPUS_DIR)) {
    if (entry.is_regular_file()) files.push_back(entry.path().filename().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class CorpusReplay : public testing::TestWithParam<std::string> {};

TEST_P(CorpusReplay, RunsClean) {
  const std::string path = std::string(KOVA_FUZZ_CORPUS_DIR) + "/" + GetParam();
  std::string bytes;
  ASSERT_EQ(ReadWholeFile(path, bytes), WholeFileStatus::Ok) << path;
  EXPECT_EQ(
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
}

// An empty or missing corpus would make the replay pass without testing anything.
TEST(CorpusReplayCorpus, IsNotEmpty) { EXPECT_FALSE(CorpusFiles().empty()); }

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusReplay, testing::ValuesIn(CorpusFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           // Corpus files are named by their content's hash: letters and digits.
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
