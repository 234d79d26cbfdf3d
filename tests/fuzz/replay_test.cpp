// Feeds every file of each fuzz target's corpus to that target's entry
// function, built here with the ordinary compiler and without libFuzzer. One
// program holds every target: each target's source is compiled with its entry
// function renamed (KovaFuzzEntry_<name>), and replay_targets.inc, written by
// CMake, names the targets and their corpora. Each target's cases form the
// suites <name>/..., which its own ctest entry selects with --gtest_filter.
// The targets stop the process (std::abort) when a check fails, so a corpus
// file that now fails ends the test program and fails its ctest entry; the
// name of the file being replayed is printed by GoogleTest before it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "common/whole_file.h"

using FuzzEntry = int (*)(const std::uint8_t* data, std::size_t size);

#define KOVA_REPLAY_TARGET(name, corpus) \
  extern "C" int KovaFuzzEntry_##name(const std::uint8_t* data, std::size_t size);
#include "replay_targets.inc"
#undef KOVA_REPLAY_TARGET

namespace {

struct CorpusFile {
  FuzzEntry entry;
  std::string directory;
  std::string name;
};

// A missing folder gives no names (and fails IsNotEmpty) rather than ending
// the program before any target's cases run.
std::vector<std::string> CorpusFileNames(const std::string& directory) {
  std::vector<std::string> files;
  std::error_code error;
  for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file(error)) files.push_back(it->path().filename().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<CorpusFile> CorpusFiles(FuzzEntry entry, const std::string& directory) {
  std::vector<CorpusFile> files;
  for (std::string& name : CorpusFileNames(directory)) {
    files.push_back({entry, directory, std::move(name)});
  }
  return files;
}

std::string CorpusFileTestName(const testing::TestParamInfo<CorpusFile>& info) {
  // Corpus files are named by their content's hash: letters and digits.
  std::string name = info.param.name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

class CorpusReplay : public testing::TestWithParam<CorpusFile> {};

TEST_P(CorpusReplay, RunsClean) {
  const CorpusFile& file = GetParam();
  const std::string path = file.directory + "/" + file.name;
  std::string bytes;
  ASSERT_EQ(ReadWholeFile(path, bytes), WholeFileStatus::Ok) << path;
  EXPECT_EQ(file.entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
}

// An empty or missing corpus would make the replay pass without testing anything.
class CorpusReplayCorpus : public testing::TestWithParam<std::string> {};

TEST_P(CorpusReplayCorpus, IsNotEmpty) { EXPECT_FALSE(CorpusFileNames(GetParam()).empty()); }

std::string CorpusTestName(const testing::TestParamInfo<std::string>&) { return "Corpus"; }

#define KOVA_REPLAY_TARGET(name, corpus)                                                        \
  INSTANTIATE_TEST_SUITE_P(                                                                     \
      name, CorpusReplay,                                                                       \
      testing::ValuesIn(CorpusFiles(&KovaFuzzEntry_##name, KOVA_FUZZ_CORPUS_ROOT "/" #corpus)), \
      CorpusFileTestName);                                                                      \
  INSTANTIATE_TEST_SUITE_P(name, CorpusReplayCorpus,                                            \
                           testing::Values(std::string(KOVA_FUZZ_CORPUS_ROOT "/" #corpus)),     \
                           CorpusTestName);
#include "replay_targets.inc"
#undef KOVA_REPLAY_TARGET

}  // namespace
