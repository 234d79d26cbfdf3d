// The development launcher under Wine: the demo game and a bootstrapped game
// run through it and get their values; its output, exit code and end; and
// its refusals of bad usage. This test program runs it as a console program
// whose standard output and error it reads.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "common/win32/handles.h"
#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/test_files.h"
#include "tests/e2e/test_game/game_files.h"
#include "tests/e2e/test_game/record_text.h"

namespace e2e {
namespace {

constexpr DWORD kRunTimeoutMs = 60000;
constexpr char kNotice[] =
    "devlauncher: a development tool, not the launcher: it answers from %s without checking any "
    "signature, and extracts nothing. Not for players.\r\n";

struct DevLauncherRun {
  bool started = false;
  bool timedOut = false;
  DWORD exitCode = 0;
  std::vector<std::string> out;  // each line with its line break
  std::vector<std::string> err;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type at = 0;
  while (at < text.size()) {
    const std::string::size_type end = text.find('\n', at);
    const std::string::size_type next = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(at, next - at));
    at = next;
  }
  return lines;
}

// Appends what `pipe` holds now to `text`, without waiting. Reading to the
// pipe's end could wait for good: Wine may keep a write end open after every
// process of the run has ended.
void ReadWhatIsThere(HANDLE pipe, std::string& text) {
  DWORD available = 0;
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    std::string chunk(available, '\0');
    DWORD got = 0;
    if (!ReadFile(pipe, &chunk[0], available, &got, nullptr) || got == 0) return;
    text.append(chunk, 0, got);
  }
}

// Runs the built devlauncher with `arguments` (a command line behind its
// quoted path), in `directory`, killed at the time limit.
DevLauncherRun RunDevLauncher(const std::string& arguments, const std::string& directory) {
  DevLauncherRun run;
  SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
  if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) return run;
  win32::UniqueHandle outReadOwner(outRead), outWriteOwner(outWrite);
  if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) return run;
  win32::UniqueHandle errReadOwner(errRead), errWriteOwner(errWrite);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

  const std::string program = BuiltProgramPath(KOVA_DEVLAUNCHER_FILE_NAME);
  std::string commandLine = "\"" + program + "\" " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  PROCESS_INFORMATION created = {};
  if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                      nullptr, directory.c_str(), &startup, &created)) {
    return run;
  }
  const win32::OwnedProcess devlauncher(created);
  run.started = true;
  outWriteOwner.reset();
  errWriteOwner.reset();
  std::string out;
  std::string err;
  const ULONGLONG deadline = GetTickCount64() + kRunTimeoutMs;
  bool ended = false;
  while (!ended && GetTickCount64() < deadline) {
    ended = WaitForSingleObject(devlauncher.process.get(), 20) == WAIT_OBJECT_0;
    ReadWhatIsThere(outRead, out);
    ReadWhatIsThere(errRead, err);
  }
  if (!ended) {
    run.timedOut = true;
    TerminateProcess(devlauncher.process.get(), 1);
    WaitForSingleObject(devlauncher.process.get(), 5000);
  }
  GetExitCodeProcess(devlauncher.process.get(), &run.exitCode);
  run.out = Lines(out);
  run.err = Lines(err);
  return run;
}

std::string Notice(const std::string& properties) {
  std::vector<char> text(sizeof(kNotice) + properties.size());
  std::snprintf(text.data(), text.size(), kNotice, properties.c_str());
  return text.data();
}

std::string DebugLine(const std::string& name, const std::string& value) {
  return "Got string request: " + name + "(" + std::to_string(name.size()) + ") -> " + value + "(" +
         std::to_string(value.size()) + ")\r\n";
}

// The demo game, started from its build folder in a folder of the test's: it
// gets the document's values (unsigned: no .sig beside it), and each query's
// line comes out behind the notice.
TEST(DevLauncher, RunsTheDemoGameWithTheDocumentsValues) {
  FreshDirectory dir;
  const std::string properties = dir.File("partner.xml");
  ASSERT_TRUE(WriteWholeFile(properties, kDefaultPartnerDocument));
  const FreshDirectory gameHome;
  const DevLauncherRun run =
      RunDevLauncher("--properties \"" + properties + "\" --dir \"" + gameHome.path() + "\" -- \"" +
                         BuiltProgramPath(KOVA_DEMO_GAME_FILE_NAME) + "\"",
                     dir.path());
  ASSERT_TRUE(run.started);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.err.empty());
  const std::vector<std::string> expected = {
      Notice(properties),
      DebugLine("ProdName", "DemoGame"),
      DebugLine("Offering", "Trial"),
      DebugLine("DisplayName", "Demo Game"),
      DebugLine("RegistryKey", "Software\\DemoStudio\\DemoGame"),
      DebugLine("Publisher", "Demo Studio"),
      DebugLine("SupportUrl", ""),
      DebugLine("Tagline", ""),
      DebugLine("MaxPlayers", ""),
      DebugLine("NoSuchKey", "")};
  EXPECT_EQ(run.out, expected);
  std::string report;
  ASSERT_EQ(ReadWholeFile(gameHome.File("demo-game-report.txt"), report), WholeFileStatus::Ok);
  EXPECT_NE(report.find("Connected to the launcher."), std::string::npos) << report;
  EXPECT_NE(report.find("Publisher    -> \"Demo Studio\""), std::string::npos) << report;
}

// A bootstrap in the current folder (no --dir) starts the real game, which
// gets its values, starts a copy of itself that outlives it by 2 s, and ends
// with 7. The devlauncher ends only after that copy, with the bootstrap's
// exit code (the real game's).
TEST(DevLauncher, RunsABootstrappedGameAndWaitsForEveryProcessOfIt) {
  FreshDirectory dir;
  std::string bootstrap;
  ASSERT_EQ(ReadWholeFile(BuiltProgramPath(KOVA_BOOTSTRAP_GAME_FILE_NAME), bootstrap),
            WholeFileStatus::Ok);
  ASSERT_TRUE(WriteWholeFile(dir.File("My Bootstrap.exe"), bootstrap));
  ASSERT_FALSE(TestGame().empty());
  ASSERT_TRUE(WriteWholeFile(dir.File(testgame::kBootstrappedGameFileName), TestGame()));
  ASSERT_TRUE(WriteWholeFile(dir.File("dev.xml"), kDefaultPartnerDocument));
  ASSERT_TRUE(WriteGameScript(
      dir.path(), {"connect", "query Publisher", "query Version", "start self 2000", "exit 7"}));

  const DevLauncherRun run =
      RunDevLauncher("--properties dev.xml -- \"My Bootstrap.exe\"", dir.path());
  ASSERT_TRUE(run.started);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 7u);
  EXPECT_EQ(run.out,
            (std::vector<std::string>{Notice("dev.xml"), DebugLine("Publisher", "Demo Studio"),
                                      DebugLine("Version", "")}));
  EXPECT_TRUE(run.err.empty());

  const std::vector<GameRun> games = ReadGameRuns(dir.path());
  ASSERT_EQ(games.size(), 2u);  // the real game and its copy
  EXPECT_EQ(games[0].Get("1.result"), "0");
  EXPECT_EQ(games[0].Get("2.value"), testgame::HexOfBytes("Demo Studio"));
  EXPECT_EQ(games[0].Get("exit"), "7");
  EXPECT_EQ(games[1].Get("exit"), "0");
  // The copy had ended when the devlauncher did.
  const DWORD copyId = std::stoul(games[0].Get("4.started"));
  ASSERT_NE(copyId, 0u);
  const win32::UniqueHandle copy(OpenProcess(SYNCHRONIZE, FALSE, copyId));
  EXPECT_TRUE(!copy || WaitForSingleObject(copy.get(), 0) == WAIT_OBJECT_0);
}

struct RefusalCase {
  const char* name;
  const char* arguments;
  DWORD exitCode;
  const char* error;  // the start of the one error line
};

void PrintTo(const RefusalCase& testCase, std::ostream* out) { *out << testCase.name; }

class DevLauncherRefusal : public ::testing::TestWithParam<RefusalCase> {};

// One line on standard error and a non-zero exit; nothing is started.
TEST_P(DevLauncherRefusal, SaysWhyInOneLineAndEndsWithItsCode) {
  FreshDirectory dir;
  ASSERT_TRUE(WriteWholeFile(dir.File("p.xml"), kDefaultPartnerDocument));
  const DevLauncherRun run = RunDevLauncher(GetParam().arguments, dir.path());
  ASSERT_TRUE(run.started);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, GetParam().exitCode);
  ASSERT_EQ(run.err.size(), 1u);
  EXPECT_EQ(run.err[0].rfind(GetParam().error, 0), 0u) << run.err[0];
  EXPECT_EQ(run.err[0].substr(run.err[0].size() - 2), "\r\n");
  EXPECT_EQ(ReadGameRuns(dir.path()).size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DevLauncherRefusal,
    ::testing::Values(
        RefusalCase{"NoArguments", "", 2,
                    "devlauncher: error: --properties FILE is missing; usage: devlauncher.exe"},
        RefusalCase{"NoProgram", "--properties p.xml", 2,
                    "devlauncher: error: -- PROGRAM is missing; usage:"},
        RefusalCase{"MissingDocument", "--properties none.xml -- game.exe", 3,
                    "devlauncher: error: cannot read the properties document none.xml"},
        RefusalCase{"MissingProgram", "--properties p.xml -- no-such-game.exe", 4,
                    "devlauncher: error: cannot start no-such-game.exe"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
