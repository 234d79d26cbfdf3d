#include "tools/gamewrap/input_checks.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/unique_file.h"
#include "tests/support/pe_image.h"
#include "tests/support/temp_dir.h"
#include "tools/gamewrap/progress.h"

namespace {

using gamewrap::Architecture;
using gamewrap::ExecutableInfo;
using testsupport::PeImage;

enum class Role { Game, Stub };

struct InputCase {
  const char* name;
  Role role;
  std::function<std::string()> contents;
  const char* wantError;  // a piece of the message; nullptr: accepted
  Architecture wantArchitecture = Architecture::X86_64;
};

void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }

std::string WithImage(const std::function<void(PeImage&)>& change) {
  PeImage image;
  change(image);
  return testsupport::Build(image);
}

std::string WithNewHeaderOffset(std::uint32_t offset) {
  std::string bytes = testsupport::Game(testsupport::kMachineAmd64);
  testsupport::Put32(bytes, 0x3C, offset);
  return bytes;
}

// A PE32+ image of one section whose file ends with the section table.
std::string EndingWithItsSectionTable() {
  const std::string image = WithImage([](PeImage&) {});
  const std::size_t sectionTableEnd = 0x80 + 4 + 20 + 0xF0 + 40;
  return image.substr(0, sectionTableEnd);
}

class InputChecks : public ::testing::TestWithParam<InputCase> {};

TEST_P(InputChecks, AcceptOrSayWhy) {
  const InputCase& c = GetParam();
  testsupport::TempDir dir;
  const std::string path = dir.Write("input.exe", c.contents());
  ExecutableInfo info;
  std::string error;
  const bool accepted = c.role == Role::Game ? gamewrap::CheckGame(path, info, error)
                                             : gamewrap::CheckStub(path, info, error);
  if (c.wantError == nullptr) {
    ASSERT_TRUE(accepted) << error;
    EXPECT_EQ(info.architecture, c.wantArchitecture);
  } else {
    ASSERT_FALSE(accepted);
    EXPECT_NE(error.find(c.wantError), std::string::npos) << error;
    EXPECT_NE(error.find(std::string(c.role == Role::Game ? "game '" : "stub '") + path + "'"),
              std::string::npos)
        << error;
  }
}

const std::string kIdentity = KOVA_LAUNCHER_IDENTITY;

INSTANTIATE_TEST_SUITE_P(
    Inputs, InputChecks,
    ::testing::Values(
        InputCase{"GameX64", Role::Game,
                  [] { return testsupport::Game(testsupport::kMachineAmd64); }, nullptr,
                  Architecture::X86_64},
        InputCase{"GameI386", Role::Game,
                  [] { return testsupport::Game(testsupport::kMachineI386); }, nullptr,
                  Architecture::I686},
        InputCase{"GameWithoutResources", Role::Game, [] { return WithImage([](PeImage&) {}); },
                  nullptr},
        InputCase{"TextFileAsGame", Role::Game, [] { return std::string("Just a readme.\n"); },
                  "is not a Windows program for x86 or x64: it has no MZ header"},
        InputCase{"EmptyGame", Role::Game, [] { return std::string(); }, "has no MZ header"},
        InputCase{"TruncatedMz", Role::Game, [] { return std::string("MZ\x90\0\3\0", 6); },
                  "ends inside its MZ header"},
        InputCase{"NewHeaderOffsetPastEnd", Role::Game,
                  [] { return WithNewHeaderOffset(0x7FFFFFF0); },
                  "e_lfanew (0x7FFFFFF0) that points outside the file"},
        InputCase{"NewHeaderOffsetWrapsAround", Role::Game,
                  [] { return WithNewHeaderOffset(0xFFFFFFFC); }, "points outside the file"},
        // Too near the end for the signature and file header (24 bytes).
        InputCase{"NewHeaderOffsetEightBytesBeforeEnd", Role::Game,
                  [] {
                    const std::size_t size = testsupport::Game(testsupport::kMachineAmd64).size();
                    return WithNewHeaderOffset(static_cast<std::uint32_t>(size - 8));
                  },
                  "that points outside the file"},
        InputCase{"NoPeSignature", Role::Game, [] { return WithNewHeaderOffset(0x40); },
                  "has no PE signature where its e_lfanew (0x40) points"},
        InputCase{
            "Arm64Game", Role::Game,
            [] { return WithImage([](PeImage& i) { i.machine = testsupport::kMachineArm64; }); },
            "is built for ARM64 (machine 0xAA64), not for i386 or AMD64"},
        InputCase{"UnknownMachine", Role::Game,
                  [] { return WithImage([](PeImage& i) { i.machine = 0x1234; }); },
                  "an unknown machine (machine 0x1234)"},
        InputCase{
            "DllAsGame", Role::Game,
            [] { return WithImage([](PeImage& i) { i.characteristics |= testsupport::kDll; }); },
            "is a DLL, not a program"},
        InputCase{"NotAnExecutableImage", Role::Game,
                  [] { return WithImage([](PeImage& i) { i.characteristics = 0; }); },
                  "not marked as an executable image"},
        InputCase{"OptionalHeaderOfOtherMachine", Role::Game,
                  [] {
                    return WithImage([](PeImage& i) {
                      i.machine = testsupport::kMachineI386;
                      i.optionalMagic = 0x020B;
                    });
                  },
                  "optional header that does not match its machine"},
        InputCase{"SectionTableEndingAtFileEnd", Role::Game, EndingWithItsSectionTable, nullptr,
                  Architecture::X86_64},
        InputCase{"SectionTablePastEnd", Role::Game,
                  [] { return WithImage([](PeImage& i) { i.extraSectionCount = 400; }); },
                  "ends inside its section table"},
        InputCase{"ResourcesPastEnd", Role::Game,
                  [] {
                    return WithImage([](PeImage& i) {
                      i.resources = "r";
                      i.resourceSizeSlack = 0x10000;
                    });
                  },
                  "ends inside its resource section"},
        InputCase{"LauncherAsGame", Role::Game,
                  [] { return testsupport::LauncherStub(testsupport::kMachineAmd64); },
                  "is a launcher stub, not a game (were --stub and --game swapped?)"},

        InputCase{"StubX64", Role::Stub,
                  [] { return testsupport::LauncherStub(testsupport::kMachineAmd64); }, nullptr,
                  Architecture::X86_64},
        InputCase{"StubI386", Role::Stub,
                  [] { return testsupport::LauncherStub(testsupport::kMachineI386); }, nullptr,
                  Architecture::I686},
        InputCase{"IdentityAcrossReadPieces", Role::Stub,
                  [] {
                    return WithImage([](PeImage& i) {
                      i.resources = std::string((1 << 20) - 10, 'r') + kIdentity + "tail";
                    });
                  },
                  nullptr},
        // Its first byte is the last of the first 1 MiB read.
        InputCase{"IdentityOneByteBeforeSecondReadPiece", Role::Stub,
                  [] {
                    return WithImage([](PeImage& i) {
                      i.resources = std::string((1 << 20) - 1, 'r') + kIdentity + "tail";
                    });
                  },
                  nullptr},
        // All but its last byte in the first 1 MiB read: found only when the
        // next read keeps every one of those bytes. The section is 2 MiB, two
        // whole reads.
        InputCase{"IdentityAllButLastByteInFirstReadPiece", Role::Stub,
                  [] {
                    return WithImage([](PeImage& i) {
                      i.resources =
                          std::string((1 << 20) - (kIdentity.size() - 1), 'r') + kIdentity;
                      i.resources.resize(2 << 20, 'r');
                    });
                  },
                  nullptr},
        InputCase{"TextFileAsStub", Role::Stub, [] { return std::string("#!/bin/sh\n"); },
                  "is not a launcher stub: it has no MZ header"},
        InputCase{"GameAsStub", Role::Stub,
                  [] { return testsupport::Game(testsupport::kMachineAmd64); },
                  "is a Windows program but not a launcher stub built by this project"},
        InputCase{"IdentityOutsideResources", Role::Stub,
                  [] {
                    return WithImage([](PeImage& i) {
                      i.code = kIdentity;
                      i.resources = std::string(64, 'r');
                    });
                  },
                  "lacks the launcher's identification"},
        InputCase{"IdentityCutShort", Role::Stub,
                  [] {
                    return WithImage([](PeImage& i) {
                      i.resources = "rr" + kIdentity.substr(0, kIdentity.size() - 1);
                    });
                  },
                  "lacks the launcher's identification"},
        InputCase{"DllAsStub", Role::Stub,
                  [] {
                    return WithImage([](PeImage& i) {
                      i.characteristics |= testsupport::kDll;
                      i.resources = kIdentity;
                    });
                  },
                  "is not a launcher stub: it is a DLL"}),
    [](const ::testing::TestParamInfo<InputCase>& info) { return info.param.name; });

TEST(InputChecks, MissingFileIsNamed) {
  ExecutableInfo info;
  std::string error;
  EXPECT_FALSE(gamewrap::CheckGame("no-such-game.exe", info, error));
  EXPECT_NE(error.find("cannot open game 'no-such-game.exe'"), std::string::npos) << error;
}

#if defined(KOVA_REAL_LAUNCHER) && defined(KOVA_REAL_GAME)
// The programs this build made: the launcher is a stub and no game, the test
// game a game and no stub, both for the build's own architecture.
TEST(InputChecks, ProgramsOfThisBuild) {
  const Architecture own = sizeof(void*) == 8 ? Architecture::X86_64 : Architecture::I686;
  ExecutableInfo info;
  std::string error;
  ASSERT_TRUE(gamewrap::CheckStub(KOVA_REAL_LAUNCHER, info, error)) << error;
  EXPECT_EQ(info.architecture, own);
  EXPECT_FALSE(gamewrap::CheckGame(KOVA_REAL_LAUNCHER, info, error));
  ASSERT_TRUE(gamewrap::CheckGame(KOVA_REAL_GAME, info, error)) << error;
  EXPECT_EQ(info.architecture, own);
  EXPECT_FALSE(gamewrap::CheckStub(KOVA_REAL_GAME, info, error));
  EXPECT_NE(error.find("swapped"), std::string::npos) << error;
}
#endif

TEST(ArchitectureReport, LineAndWarningForEachPairing) {
  const auto info = [](Architecture a) {
    ExecutableInfo i;
    i.architecture = a;
    return i;
  };
  const ExecutableInfo x64 = info(Architecture::X86_64), x86 = info(Architecture::I686);
  EXPECT_EQ(gamewrap::ArchitectureLine(x64, x86), "game: x86_64, stub: i686");
  EXPECT_EQ(gamewrap::ArchitectureLine(x86, x64), "game: i686, stub: x86_64");
  EXPECT_NE(gamewrap::ArchitectureWarning(x64, x86).find("cannot run on 32-bit Windows"),
            std::string::npos);
  EXPECT_EQ(gamewrap::ArchitectureWarning(x86, x64), "");
  EXPECT_EQ(gamewrap::ArchitectureWarning(x64, x64), "");
  EXPECT_EQ(gamewrap::ArchitectureWarning(x86, x86), "");
}

TEST(ArchitectureReport, NamesRoundTrip) {
  Architecture a = Architecture::X86_64;
  ASSERT_TRUE(gamewrap::ParseArchitectureName("i686", a));
  EXPECT_STREQ(gamewrap::ArchitectureName(a), "i686");
  ASSERT_TRUE(gamewrap::ParseArchitectureName("x86_64", a));
  EXPECT_STREQ(gamewrap::ArchitectureName(a), "x86_64");
  EXPECT_FALSE(gamewrap::ParseArchitectureName("x64", a));
  EXPECT_FALSE(gamewrap::ParseArchitectureName("", a));
}

// What a progress line writes, for a copy of `total` bytes reported at `steps`.
std::string ProgressText(bool enabled, std::int64_t total, const std::vector<std::int64_t>& steps) {
  testsupport::TempDir dir;
  const std::string path = dir.File("progress.txt");
  {
    UniqueFile out(std::fopen(path.c_str(), "wb"));
    gamewrap::ProgressLine line(out.get(), "copying", enabled);
    for (std::int64_t done : steps) line.Update(done, total);
  }
  return testsupport::ReadFile(path);
}

TEST(ProgressLine, ShownForLargeCopiesOnATerminalOnly) {
  const std::int64_t large = gamewrap::kProgressMinimumBytes;
  const std::int64_t quarter = large / 4;
  EXPECT_EQ(ProgressText(true, large, {quarter, quarter + 1, 2 * quarter, large}),
            "\rcopying  25%\rcopying  50%\rcopying 100%\n");
  EXPECT_EQ(ProgressText(false, large, {quarter, large}), "");
  EXPECT_EQ(ProgressText(true, large - 1, {quarter, large - 1}), "");
}

}  // namespace
