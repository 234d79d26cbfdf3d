// The tool's command line, run as a user would run it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;

struct ToolRun {
  int exitCode;
  std::string out;
  std::string err;
};

ToolRun Gamewrap(const TempDir& dir, const std::string& arguments) {
  const std::string out = dir.File("stdout.txt"), err = dir.File("stderr.txt");
  const std::string command =
      std::string(GAMEWRAP_PATH) + " " + arguments + " >" + out + " 2>" + err;
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

TEST(GamewrapCli, HelpAndUsageErrors) {
  TempDir dir;
  ToolRun help = Gamewrap(dir, "--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage: gamewrap"), std::string::npos);
  EXPECT_EQ(Gamewrap(dir, "pack --help").exitCode, 0);
  EXPECT_EQ(Gamewrap(dir, "").exitCode, 2);
  ToolRun unknown = Gamewrap(dir, "frobnicate");
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_NE(unknown.err.find("unknown command 'frobnicate'"), std::string::npos);
  EXPECT_EQ(Gamewrap(dir, "pack --stub a --game b").exitCode, 2);
  EXPECT_EQ(Gamewrap(dir, "pack --stub").exitCode, 2);
  EXPECT_EQ(Gamewrap(dir, "inspect").exitCode, 2);
}

TEST(GamewrapCli, PackThenInspect) {
  TempDir dir;
  dir.Write("launcher.exe", "MZ" + std::string(1000, 's'));
  dir.Write("game.exe", "MZ" + std::string(2000, 'g'));
  const std::string out = dir.File("wrapped.exe");
  const std::string pack = "pack --stub " + dir.File("launcher.exe") + " --game " +
                           dir.File("game.exe") + " --build-id 00000042 -o " + out;
  ASSERT_EQ(Gamewrap(dir, pack).exitCode, 0);
  ToolRun inspect = Gamewrap(dir, "inspect " + out);
  EXPECT_EQ(inspect.exitCode, 0);
  EXPECT_EQ(inspect.out,
            "marker offset: 1002\nbuild identifier: 00000042\npayload size: 2002\n");

  // Packing the wrapped file again as a stub is refused and writes nothing.
  const std::string again = "pack --stub " + out + " --game " + dir.File("game.exe") +
                            " --build-id 00000042 -o " + dir.File("twice.exe");
  ToolRun refused = Gamewrap(dir, again);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("already wrapped"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.File("twice.exe")));

  ToolRun notWrapped = Gamewrap(dir, "inspect " + dir.File("game.exe"));
  EXPECT_EQ(notWrapped.exitCode, 1);
  EXPECT_NE(notWrapped.err.find("not a wrapped launcher"), std::string::npos);
}

}  // namespace
