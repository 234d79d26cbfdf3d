// DLLs beside the launcher. Its folder may be one that other programs write to
// (a download folder): a DLL dropped there under the name of one that a system
// library loads on demand must not be loaded into the launcher. The game, a
// process of its own started from that folder, still loads the DLLs it ships
// there.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "payload/payload_format.h"
#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_run.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/run_expectations.h"
#include "tests/e2e/harness/test_files.h"
#include "tests/e2e/planted_dll/planted_dll.h"

namespace e2e {
namespace {

constexpr std::int32_t kBuildId = 12345678;

// User32 loads it by name when a process makes its first window or message
// box (the channel's window, a fatal-error box); the launcher does not import
// it. Windows searches the program's folder for it before the system folder.
constexpr char kOnDemandSystemModule[] = "uxtheme";
const std::string kOnDemandSystemDll = std::string(kOnDemandSystemModule) + ".dll";

// A DLL a game ships beside itself.
constexpr char kGameOwnDll[] = "game_part.dll";

// Wine takes its own build of a system DLL before a copy in the program's
// folder, where Windows takes the folder's copy. While this object lives, the
// processes started in the prefix take the folder's copy of `module` first, as
// Windows would; where there is none, Wine's own. Wine reads this registry
// value (not the environment of a process that another Windows process
// starts) when each process starts; Windows ignores it.
class FolderCopyFirst {
 public:
  explicit FolderCopyFirst(const std::string& module) : module_(module) {
    char old[64] = {};
    DWORD size = sizeof(old);
    hadValue_ = RegGetValueA(HKEY_CURRENT_USER, kKey, module_.c_str(), RRF_RT_REG_SZ, nullptr, old,
                             &size) == ERROR_SUCCESS;
    if (hadValue_) old_ = old;
    Set("native,builtin");
  }
  FolderCopyFirst(const FolderCopyFirst&) = delete;
  FolderCopyFirst& operator=(const FolderCopyFirst&) = delete;
  ~FolderCopyFirst() {
    if (hadValue_) {
      Set(old_);
    } else {
      RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, module_.c_str());
    }
  }

 private:
  static constexpr char kKey[] = "Software\\Wine\\DllOverrides";

  void Set(const std::string& order) const {
    RegSetKeyValueA(HKEY_CURRENT_USER, kKey, module_.c_str(), REG_SZ, order.c_str(),
                    static_cast<DWORD>(order.size() + 1));
  }

  std::string module_;
  bool hadValue_ = false;
  std::string old_;
};

// The programs whose processes loaded the copy of the test DLL named `dll`
// in `directory` (planted_dll.h).
std::set<std::string> ProgramsThatLoaded(const std::string& directory, const std::string& dll) {
  std::set<std::string> programs;
  std::string record;
  if (ReadWholeFile(directory + "\\" + planted::kRecordFileName, record) != WholeFileStatus::Ok)
    return programs;
  const std::string prefix = dll + planted::kLoadedBy;
  std::string::size_type start = 0;
  while (start < record.size()) {
    std::string::size_type end = record.find('\n', start);
    if (end == std::string::npos) end = record.size();
    const std::string line = record.substr(start, end - start);
    start = end + 1;
    if (line.compare(0, prefix.size(), prefix) == 0) programs.insert(line.substr(prefix.size()));
  }
  return programs;
}

class PlantedDll : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(TestGame().empty()) << TestGamePath();
    ASSERT_TRUE(WriteWrappedLauncher(
        launcher_, payload::MakeAppendedData(std::to_string(kBuildId), TestGame())));
  }

  void WriteProperties() const {
    ASSERT_TRUE(WriteSignedPartnerProperties(root_.path(), kDefaultPartnerDocument, kBuildId));
  }

  // A copy of the test DLL beside the launcher, named `dll`.
  void Plant(const std::string& dll) const {
    const std::string built = BuiltProgramPath(KOVA_PLANTED_DLL_FILE_NAME);
    ASSERT_TRUE(CopyFileA(built.c_str(), root_.File(dll).c_str(), TRUE)) << built;
  }

  // The one run of the game: its record, with no script line it did not
  // understand.
  GameRun OnlyGameRun() const {
    const std::vector<GameRun> runs = ReadGameRuns(root_.path());
    EXPECT_EQ(runs.size(), 1u);
    if (runs.empty()) return {};
    EXPECT_EQ(runs[0].Get("error"), "");
    return runs[0];
  }

  FreshDirectory root_;
  const std::string launcher_ = root_.File("launcher.exe");
};

// The game loads the planted copy by name as well: it shows that the copy is
// there for any process that searches the folder, and that the launcher
// alone leaves it.
TEST_F(PlantedDll, SystemDllBesideTheLauncherIsNotLoadedIntoItsRun) {
  WriteProperties();
  Plant(kOnDemandSystemDll);
  ASSERT_TRUE(WriteGameScript(root_.path(), {"load-library " + kOnDemandSystemDll}));

  LauncherRun run;
  {
    const FolderCopyFirst folderCopyFirst(kOnDemandSystemModule);
    run = RunLauncher(launcher_);
  }

  ExpectCleanEnd(run);
  const GameRun game = OnlyGameRun();
  EXPECT_EQ(game.Get("1.library"), root_.File(kOnDemandSystemDll));
  EXPECT_EQ(ProgramsThatLoaded(root_.path(), kOnDemandSystemDll),
            std::set<std::string>{game.Get("module")});
}

// A failing step shows its box before any game or channel exists.
TEST_F(PlantedDll, SystemDllBesideTheLauncherIsNotLoadedForAFatalErrorBox) {
  Plant(kOnDemandSystemDll);  // and no partner properties

  LauncherRun run;
  {
    const FolderCopyFirst folderCopyFirst(kOnDemandSystemModule);
    run = RunLauncher(launcher_);
  }

  ASSERT_TRUE(run.started);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].caption, "FATAL ERROR");
  EXPECT_TRUE(ReadGameRuns(root_.path()).empty());
  EXPECT_EQ(ProgramsThatLoaded(root_.path(), kOnDemandSystemDll), std::set<std::string>{});
}

TEST_F(PlantedDll, GameStillLoadsItsOwnDllFromItsFolder) {
  WriteProperties();
  Plant(kGameOwnDll);
  ASSERT_TRUE(WriteGameScript(root_.path(), {std::string("load-library ") + kGameOwnDll}));

  const LauncherRun run = RunLauncher(launcher_);

  ExpectCleanEnd(run);
  const GameRun game = OnlyGameRun();
  EXPECT_EQ(game.Get("1.library"), root_.File(kGameOwnDll));
  EXPECT_EQ(ProgramsThatLoaded(root_.path(), kGameOwnDll),
            std::set<std::string>{game.Get("module")});
}

}  // namespace
}  // namespace e2e
