// The development launcher's command line, and the command line it gives the
// program it starts.
#include "tools/devlauncher/devlauncher_options.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using devlauncher::ParseOptions;
using Words = std::vector<std::string>;

TEST(DevLauncherOptions, TakesTheDocumentTheFolderAndEverythingBehindTheSeparator) {
  const devlauncher::ParsedOptions parsed = ParseOptions(
      {"--dir", "C:\\Game", "--properties", "p.xml", "--", "game.exe", "--dir", "x", "--"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.options.properties, "p.xml");
  EXPECT_EQ(parsed.options.directory, "C:\\Game");
  EXPECT_EQ(parsed.options.program, "game.exe");
  EXPECT_EQ(parsed.options.arguments, (Words{"--dir", "x", "--"}));
}

TEST(DevLauncherOptions, FolderIsOptional) {
  const devlauncher::ParsedOptions parsed = ParseOptions({"--properties", "p.xml", "--", "g"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.options.directory, "");
  EXPECT_TRUE(parsed.options.arguments.empty());
}

struct BadUsageCase {
  const char* name;
  Words arguments;
  const char* error;
};

void PrintTo(const BadUsageCase& testCase, std::ostream* out) { *out << testCase.name; }

class DevLauncherBadUsage : public ::testing::TestWithParam<BadUsageCase> {};

TEST_P(DevLauncherBadUsage, IsRefusedWithItsOwnLine) {
  const devlauncher::ParsedOptions parsed = ParseOptions(GetParam().arguments);
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ(parsed.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DevLauncherBadUsage,
    ::testing::Values(
        BadUsageCase{"Nothing", {}, "--properties FILE is missing"},
        BadUsageCase{"NoProperties", {"--", "game.exe"}, "--properties FILE is missing"},
        BadUsageCase{"NoSeparator", {"--properties", "p.xml"}, "-- PROGRAM is missing"},
        BadUsageCase{"ProgramWithoutSeparator",
                     {"--properties", "p.xml", "game.exe"},
                     "unknown option 'game.exe' (the program goes behind --)"},
        BadUsageCase{
            "NothingBehindTheSeparator", {"--properties", "p.xml", "--"}, "no program behind --"},
        BadUsageCase{"EmptyProgram", {"--properties", "p.xml", "--", ""}, "no program behind --"},
        BadUsageCase{"PropertiesWithoutValue", {"--properties"}, "--properties needs a value"},
        BadUsageCase{"PropertiesValueIsTheSeparator",
                     {"--properties", "--", "game.exe"},
                     "--properties needs a value"},
        BadUsageCase{"EmptyFolder",
                     {"--properties", "p.xml", "--dir", "", "--", "g"},
                     "--dir needs a value"},
        BadUsageCase{"PropertiesTwice",
                     {"--properties", "a", "--properties", "b", "--", "g"},
                     "--properties given twice"},
        BadUsageCase{"UnknownOption",
                     {"--propertie", "a", "--", "g"},
                     "unknown option '--propertie' (the program goes behind --)"}),
    [](const auto& info) { return std::string(info.param.name); });

struct QuoteCase {
  const char* name;
  const char* argument;
  const char* quoted;
};

void PrintTo(const QuoteCase& testCase, std::ostream* out) { *out << testCase.name; }

class DevLauncherQuoting : public ::testing::TestWithParam<QuoteCase> {};

// What the C run-time's splitting gives back is the argument itself.
TEST_P(DevLauncherQuoting, KeepsTheArgumentWholeForTheRunTimesSplitting) {
  EXPECT_EQ(devlauncher::QuoteArgument(GetParam().argument), GetParam().quoted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DevLauncherQuoting,
    ::testing::Values(QuoteCase{"Bare", "-windowed", "-windowed"}, QuoteCase{"Empty", "", "\"\""},
                      QuoteCase{"Blank", "My Game.exe", "\"My Game.exe\""},
                      QuoteCase{"Tab", "a\tb", "\"a\tb\""},
                      QuoteCase{"BackslashesAloneStay", "C:\\a\\b", "C:\\a\\b"},
                      QuoteCase{"QuotationMark", "say \"hi\"", "\"say \\\"hi\\\"\""},
                      QuoteCase{"BackslashBeforeAMark", "a\\\"b", "\"a\\\\\\\"b\""},
                      QuoteCase{"TrailingBackslashesInQuotes", "C:\\My Dir\\",
                                "\"C:\\My Dir\\\\\""},
                      QuoteCase{"BackslashesInsideStayInQuotes", "a b\\c", "\"a b\\c\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DevLauncherCommandLine, QuotesTheProgramAndEachArgument) {
  EXPECT_EQ(devlauncher::CommandLine("C:\\My Games\\g.exe", {"-a", "two words", ""}),
            "\"C:\\My Games\\g.exe\" -a \"two words\" \"\"");
}

}  // namespace
