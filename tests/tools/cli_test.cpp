// The tool's command line, run as a user would run it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "client/kova_client.h"
#include "payload/payload_format.h"
#include "tests/support/pe_image.h"
#include "tests/support/run_gamewrap.h"
#include "tests/support/temp_dir.h"
#include "tools/gamewrap/progress.h"

namespace {

using testsupport::Gamewrap;
using testsupport::TempDir;
using testsupport::ToolRun;

struct TerminalRun {
  int exitCode;
  std::string output;  // standard output and error, as the terminal showed them
};

// Runs `argv` with a pseudo-terminal as its standard output and error.
TerminalRun RunOnTerminal(const std::vector<std::string>& argv) {
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child < 0) return {-1, "forkpty failed"};
  if (child == 0) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  std::string output;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got <= 0) break;  // EIO once the child has gone
    output.append(buffer, static_cast<std::size_t>(got));
  }
  close(terminal);
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(GamewrapCli, HelpAndUsageErrors) {
  ToolRun help = Gamewrap("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage: gamewrap"), std::string::npos);
  EXPECT_EQ(Gamewrap("pack --help").exitCode, 0);
  EXPECT_EQ(Gamewrap("").exitCode, 2);
  ToolRun unknown = Gamewrap("frobnicate");
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_NE(unknown.err.find("unknown command 'frobnicate'"), std::string::npos);
  EXPECT_EQ(Gamewrap("pack --stub a --game b").exitCode, 2);
  EXPECT_EQ(Gamewrap("pack --stub").exitCode, 2);
  EXPECT_EQ(Gamewrap("inspect").exitCode, 2);
}

// The tool and the client carry the product's one version: a release that
// moves one and not the other fails here.
TEST(GamewrapCli, VersionIsTheClientHeaders) {
  const ToolRun version = Gamewrap("--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "gamewrap " + std::to_string(KOVA_CLIENT_VERSION_MAJOR) + "." +
                             std::to_string(KOVA_CLIENT_VERSION_MINOR) + "." +
                             std::to_string(KOVA_CLIENT_VERSION_PATCH) + "\n");
}

// The pack command line of two inputs in `dir`, with `extra` options.
std::string PackArguments(const TempDir& dir, const std::string& stub, const std::string& game,
                          const std::string& output, const std::string& extra = "") {
  return "pack --stub " + dir.File(stub) + " --game " + dir.File(game) +
         " --build-id 00000042 -o " + dir.File(output) + extra;
}

TEST(GamewrapCli, PackThenInspect) {
  TempDir dir;
  const std::string stub = testsupport::LauncherStub(testsupport::kMachineAmd64);
  const std::string game = testsupport::Game(testsupport::kMachineAmd64);
  dir.Write("launcher.exe", stub);
  dir.Write("game.exe", game);
  ToolRun pack = Gamewrap(PackArguments(dir, "launcher.exe", "game.exe", "wrapped.exe"));
  ASSERT_EQ(pack.exitCode, 0) << pack.err;
  EXPECT_EQ(pack.out, "stub: " + dir.File("launcher.exe") + "\ngame: x86_64, stub: x86_64\n");
  EXPECT_EQ(pack.err, "");  // not a terminal: no progress line, and no warning
  ToolRun inspect = Gamewrap("inspect " + dir.File("wrapped.exe"));
  EXPECT_EQ(inspect.exitCode, 0);
  const std::string layout =
      "marker offset: " + std::to_string(stub.size()) +
      "\nbuild identifier: 00000042\npayload size: " + std::to_string(game.size()) +
      "\npayload record: valid\n" + "recorded length: " + std::to_string(game.size()) + "\n";
  EXPECT_EQ(inspect.out.compare(0, layout.size(), layout), 0) << inspect.out;
  EXPECT_NE(inspect.out.find("\npayload checksum: matches\ncertificate table: none\n"),
            std::string::npos)
      << inspect.out;

  // Packing the wrapped file again as a stub is refused and writes nothing.
  ToolRun refused = Gamewrap(PackArguments(dir, "wrapped.exe", "game.exe", "twice.exe"));
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("already wrapped"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.File("twice.exe")));

  ToolRun notWrapped = Gamewrap("inspect " + dir.File("game.exe"));
  EXPECT_EQ(notWrapped.exitCode, 1);
  EXPECT_NE(notWrapped.err.find("not a wrapped launcher"), std::string::npos);
}

// --- inspect --json ----------------------------------------------------------

// What the certificate table of a code-signed launcher adds to it: the table
// appended at the end, and the stub's security directory entry naming it.
// `machine` is that of the stub at the file's start.
std::string CodeSigned(std::string file, std::uint16_t machine, const std::string& table) {
  const std::size_t optionalHeader = 0x80 + 4 + 20;
  const std::size_t countAt = optionalHeader + (machine == testsupport::kMachineI386 ? 92 : 108);
  testsupport::Put32(file, countAt, 16);
  testsupport::Put32(file, countAt + 4 + 4 * 8, static_cast<std::uint32_t>(file.size()));
  testsupport::Put32(file, countAt + 4 + 4 * 8 + 4, static_cast<std::uint32_t>(table.size()));
  return file + table;
}

// The values of a run's JSON output, as Python's JSON reader reads them.
std::string JsonOf(const ToolRun& run) {
  const ToolRun fields = testsupport::JsonFields(run.out);
  EXPECT_EQ(fields.exitCode, 0) << fields.err;
  return fields.out;
}

// inspect --json reports what inspect prints, as one JSON object, for a
// launcher as packed, code signed, and with its game changed afterwards.
TEST(GamewrapJson, InspectOfAPackedLauncher) {
  TempDir dir;
  const std::string stub = testsupport::LauncherStub(testsupport::kMachineAmd64);
  const std::string game = testsupport::Game(testsupport::kMachineAmd64);
  dir.Write("launcher.exe", stub);
  dir.Write("game.exe", game);
  ASSERT_EQ(Gamewrap(PackArguments(dir, "launcher.exe", "game.exe", "wrapped.exe")).exitCode, 0);
  const std::string wrapped = testsupport::ReadFile(dir.File("wrapped.exe"));
  char checksum[20];
  std::snprintf(checksum, sizeof checksum, "%016llx",
                static_cast<unsigned long long>(payload::RecordFor(game).payloadChecksum));
  const std::string head =
      "error=null\nmarkerOffset=" + std::to_string(stub.size()) +
      "\npayloadOffset=" + std::to_string(stub.size() + payload::kPayloadOffset) + "\npayloadSize=";
  const std::string record =
      "\nbuildId=\"00000042\"\nrecord=\"valid\"\nrecordedLength=" + std::to_string(game.size()) +
      "\nrecordedChecksum=\"" + checksum + "\"\npayloadChecksum=";

  const ToolRun packed = Gamewrap("inspect --json " + dir.File("wrapped.exe"));
  EXPECT_EQ(packed.exitCode, 0) << packed.err;
  EXPECT_EQ(packed.err, "");
  EXPECT_EQ(JsonOf(packed), "file=\"" + dir.File("wrapped.exe") + "\"\n" + head +
                                std::to_string(game.size()) + record +
                                "\"matches\"\ncertificateTable=null\n");

  const std::string table(904, 'c');
  dir.Write("signed.exe", CodeSigned(wrapped, testsupport::kMachineAmd64, table));
  const ToolRun codeSigned = Gamewrap("inspect --json " + dir.File("signed.exe"));
  EXPECT_EQ(codeSigned.exitCode, 0) << codeSigned.err;
  EXPECT_EQ(JsonOf(codeSigned),
            "file=\"" + dir.File("signed.exe") + "\"\n" + head +
                std::to_string(game.size() + table.size()) + record +
                "\"matches\"\ncertificateTable.offset=" + std::to_string(wrapped.size()) +
                "\ncertificateTable.size=904\n");

  std::string changed = wrapped;
  changed[changed.size() - 1] ^= 1;
  dir.Write("changed.exe", changed);
  const ToolRun differs = Gamewrap("inspect --json " + dir.File("changed.exe"));
  EXPECT_EQ(differs.exitCode, 0) << differs.err;
  EXPECT_EQ(JsonOf(differs), "file=\"" + dir.File("changed.exe") + "\"\n" + head +
                                 std::to_string(game.size()) + record +
                                 "\"differs\"\ncertificateTable=null\n");
}

// A file that cannot be inspected: exit code 1, the message on standard error
// as without --json, and a JSON object naming the file and the error.
TEST(GamewrapJson, InspectFailureIsAnObjectToo) {
  TempDir dir;
  dir.Write("game.exe", testsupport::Game(testsupport::kMachineAmd64));
  for (const char* name : {"game.exe", "missing.exe"}) {
    const ToolRun text = Gamewrap("inspect " + dir.File(name));
    const ToolRun json = Gamewrap("inspect --json " + dir.File(name));
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(json.err, text.err);
    const std::string prefix = "gamewrap inspect: ";
    ASSERT_EQ(json.err.rfind(prefix, 0), 0u) << json.err;
    EXPECT_EQ(JsonOf(json),
              "file=\"" + dir.File(name) + "\"\nerror=\"" +
                  json.err.substr(prefix.size(), json.err.size() - prefix.size() - 1) + "\"\n");
  }
  EXPECT_NE(Gamewrap("inspect --json " + dir.File("game.exe")).err.find("not a wrapped launcher"),
            std::string::npos);
  EXPECT_EQ(Gamewrap("inspect --json").exitCode, 2);
  EXPECT_EQ(Gamewrap("inspect " + dir.File("game.exe") + " --json").out,
            Gamewrap("inspect --json " + dir.File("game.exe")).out);
}

// Inputs that cannot work are refused before anything is written, with the
// input and the reason named.
TEST(GamewrapCli, RefusesInputsThatCannotWork) {
  TempDir dir;
  dir.Write("launcher.exe", testsupport::LauncherStub(testsupport::kMachineAmd64));
  dir.Write("game.exe", testsupport::Game(testsupport::kMachineAmd64));
  dir.Write("notes.txt", "release notes\n");
  const struct {
    std::string stub, game, wantError;
  } cases[] = {
      {"launcher.exe", "notes.txt",
       "game '" + dir.File("notes.txt") + "' is not a Windows program"},
      {"notes.txt", "game.exe", "stub '" + dir.File("notes.txt") + "' is not a launcher stub"},
      {"game.exe", "launcher.exe", "swapped"},
  };
  for (const auto& c : cases) {
    ToolRun run = Gamewrap(PackArguments(dir, c.stub, c.game, "out.exe"));
    EXPECT_EQ(run.exitCode, 1) << c.stub << " " << c.game;
    EXPECT_NE(run.err.find(c.wantError), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.exe")));
  }
  EXPECT_EQ(
      Gamewrap(PackArguments(dir, "launcher.exe", "game.exe", "o.exe", " --arch arm64")).exitCode,
      2);
  EXPECT_EQ(
      Gamewrap(PackArguments(dir, "launcher.exe", "game.exe", "o.exe", " --arch i686")).exitCode,
      2);
}

TEST(GamewrapCli, WarnsOfA64BitGameBehindThe32BitStub) {
  TempDir dir;
  dir.Write("stub32.exe", testsupport::LauncherStub(testsupport::kMachineI386));
  dir.Write("stub64.exe", testsupport::LauncherStub(testsupport::kMachineAmd64));
  dir.Write("game32.exe", testsupport::Game(testsupport::kMachineI386));
  dir.Write("game64.exe", testsupport::Game(testsupport::kMachineAmd64));

  ToolRun risky = Gamewrap(PackArguments(dir, "stub32.exe", "game64.exe", "a.exe"));
  EXPECT_EQ(risky.exitCode, 0) << risky.err;
  EXPECT_NE(risky.out.find("game: x86_64, stub: i686"), std::string::npos) << risky.out;
  EXPECT_NE(risky.err.find("warning: a 64-bit game behind the 32-bit stub"), std::string::npos)
      << risky.err;

  ToolRun fine = Gamewrap(PackArguments(dir, "stub64.exe", "game32.exe", "b.exe"));
  EXPECT_EQ(fine.exitCode, 0) << fine.err;
  EXPECT_NE(fine.out.find("game: i686, stub: x86_64"), std::string::npos) << fine.out;
  EXPECT_EQ(fine.err, "");
}

// A game large enough for a progress line.
std::string LargeGame() {
  testsupport::PeImage image;
  image.code = std::string(static_cast<std::size_t>(gamewrap::kProgressMinimumBytes), '\x90');
  return testsupport::Build(image);
}

TEST(GamewrapCli, ProgressOnlyOnATerminal) {
  TempDir dir;
  dir.Write("launcher.exe", testsupport::LauncherStub(testsupport::kMachineAmd64));
  dir.Write("game.exe", LargeGame());

  ToolRun redirected = Gamewrap(PackArguments(dir, "launcher.exe", "game.exe", "a.exe"));
  EXPECT_EQ(redirected.exitCode, 0) << redirected.err;
  EXPECT_EQ(redirected.err, "");

  const TerminalRun onTerminal =
      RunOnTerminal({GAMEWRAP_PATH, "pack", "--stub", dir.File("launcher.exe"), "--game",
                     dir.File("game.exe"), "--build-id", "00000042", "-o", dir.File("b.exe")});
  EXPECT_EQ(onTerminal.exitCode, 0) << onTerminal.output;
  EXPECT_NE(onTerminal.output.find("copying the game 100%"), std::string::npos)
      << onTerminal.output;
}

// The installed kit: gamewrap in <kit>/bin takes <kit>/stubs/launcher-<arch>.exe
// when no stub is named.
TEST(GamewrapCli, InstalledToolFindsTheKitStub) {
  TempDir kit;
  const std::string install = std::string("\"") + KOVA_CMAKE_COMMAND + "\" --install \"" +
                              KOVA_BUILD_DIR + "\" --component tool --prefix " +
                              kit.path().string() + " >/dev/null";
  ASSERT_EQ(std::system(install.c_str()), 0);
  const std::string tool = kit.File("bin/gamewrap");
  ASSERT_TRUE(std::filesystem::exists(tool));
  std::filesystem::create_directory(kit.File("stubs"));
  const std::string stub = testsupport::LauncherStub(testsupport::kMachineAmd64);
  kit.Write("stubs/launcher-x86_64.exe", stub);
  kit.Write("game.exe", testsupport::Game(testsupport::kMachineAmd64));

  const std::string pack = "pack --game " + kit.File("game.exe") + " --build-id 00000007 -o ";
  ToolRun packed = testsupport::RunTool(tool, pack + kit.File("wrapped.exe"));
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  EXPECT_NE(packed.out.find("stub: " + kit.File("stubs/launcher-x86_64.exe")), std::string::npos)
      << packed.out;
  EXPECT_EQ(testsupport::ReadFile(kit.File("wrapped.exe")).compare(0, stub.size(), stub), 0);

  // No 32-bit stub in this kit: the message names where it was looked for.
  ToolRun missing = testsupport::RunTool(tool, pack + kit.File("w32.exe") + " --arch i686");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("stubs/launcher-i686.exe"), std::string::npos) << missing.err;
}

}  // namespace
