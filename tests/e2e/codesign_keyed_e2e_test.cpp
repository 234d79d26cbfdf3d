// A wrapped launcher packed with a publisher key and then code-signed: the
// signature's certificate table behind the game changes nothing of the key
// block or the game (the fixture checked natively that the code signature
// covers the block).
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "properties/partner_properties.h"
#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_run.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/publisher_files.h"
#include "tests/e2e/harness/test_files.h"
#include "tools/gamewrap/wrap.h"

namespace e2e {
namespace {

const std::string kSignedKeyedLauncher = KOVA_CODESIGN_DIR "/signed-keyed.exe";
constexpr std::int32_t kFixtureBuildId = 12345678;

std::string TempFileIn(const std::string& directory) {
  for (const FileEntry& entry : ListDirectory(directory)) {
    if (IsLauncherTempFileName(entry.name)) return directory + "\\" + entry.name;
  }
  return "";
}

class SignedKeyedLauncher : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string signedBytes;
    ASSERT_EQ(ReadWholeFile(kSignedKeyedLauncher, signedBytes), WholeFileStatus::Ok)
        << kSignedKeyedLauncher;
    ASSERT_TRUE(WriteWholeFile(Launcher(), signedBytes));
    ASSERT_TRUE(
        WriteSignedPartnerProperties(root_.path(), kDefaultPartnerDocument, kFixtureBuildId));
  }

  std::string Launcher() const { return root_.File("launcher.exe"); }
  std::string PsigPath() const { return PartnerDocumentPath(root_.path() + "\\") + ".psig"; }

  FreshDirectory root_;
};

// With the current key's signature the game runs, and its file is the packed
// game byte for byte: read while the game runs, from the temporary file.
TEST_F(SignedKeyedLauncher, RunsTheGameItWasPackedWithByteForByte) {
  std::string psig;
  ASSERT_TRUE(MakePublisherSignatureText(CurrentPublisherKey(), kFixtureBuildId,
                                         kDefaultPartnerDocument, psig));
  ASSERT_TRUE(WriteWholeFile(PsigPath(), psig));
  ASSERT_TRUE(WriteGameScript(root_.path(), {"sleep 4000"}));

  LauncherRun run;
  std::thread watcher([&] { run = RunLauncher(Launcher()); });
  std::string extracted;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (extracted.empty() && std::chrono::steady_clock::now() < deadline) {
    if (!ReadGameRuns(root_.path()).empty()) {
      const std::string temp = TempFileIn(root_.path());
      if (!temp.empty() && ReadWholeFile(temp, extracted) != WholeFileStatus::Ok) extracted.clear();
    }
    if (extracted.empty()) Sleep(50);
  }
  watcher.join();

  ASSERT_TRUE(run.started);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.boxes.empty()) << run.boxes[0].text;
  EXPECT_TRUE(extracted == TestGame())
      << extracted.size() << " bytes extracted, " << TestGame().size() << " packed";
  EXPECT_EQ(TempFileIn(root_.path()), "") << "the temporary file is deleted at the end";
}

// The block survived the code signature: it still asks for the signature.
TEST_F(SignedKeyedLauncher, RefusesAFolderWithoutThePublisherSignature) {
  const LauncherRun run = RunLauncher(Launcher());
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, "Invalid partner properties signature!");
  EXPECT_EQ(run.boxes[0].caption, "FATAL ERROR");
  EXPECT_TRUE(ReadGameRuns(root_.path()).empty());
}

}  // namespace
}  // namespace e2e
