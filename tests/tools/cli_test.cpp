// The tool's command line, run as a user would run it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/run_gamewrap.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::Gamewrap;
using testsupport::ToolRun;
using testsupport::TempDir;

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

TEST(GamewrapCli, PackThenInspect) {
  TempDir dir;
  dir.Write("launcher.exe", "MZ" + std::string(1000, 's'));
  dir.Write("game.exe", "MZ" + std::string(2000, 'g'));
  const std::string out = dir.File("wrapped.exe");
  const std::string pack = "pack --stub " + dir.File("launcher.exe") + " --game " +
                           dir.File("game.exe") + " --build-id 00000042 -o " + out;
  ASSERT_EQ(Gamewrap(pack).exitCode, 0);
  ToolRun inspect = Gamewrap("inspect " + out);
  EXPECT_EQ(inspect.exitCode, 0);
  EXPECT_EQ(inspect.out,
            "marker offset: 1002\nbuild identifier: 00000042\npayload size: 2002\n"
            "payload record: valid\nrecorded length: 2002\nrecorded checksum: 6f93d8d6c3aa6e9e\n"
            "payload checksum: matches\ncertificate table: none\n");

  // Packing the wrapped file again as a stub is refused and writes nothing.
  const std::string again = "pack --stub " + out + " --game " + dir.File("game.exe") +
                            " --build-id 00000042 -o " + dir.File("twice.exe");
  ToolRun refused = Gamewrap(again);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("already wrapped"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.File("twice.exe")));

  ToolRun notWrapped = Gamewrap("inspect " + dir.File("game.exe"));
  EXPECT_EQ(notWrapped.exitCode, 1);
  EXPECT_NE(notWrapped.err.find("not a wrapped launcher"), std::string::npos);
}

}  // namespace
