// The game channel end to end: a wrapped launcher runs the test game, which
// asks it for properties through the client library and through raw protocol
// steps, while the launcher runs under a debugger that collects its lines.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_run.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/run_expectations.h"
#include "tests/e2e/harness/test_files.h"
#include "tests/e2e/test_game/game_files.h"
#include "tests/e2e/test_game/record_text.h"

namespace e2e {
namespace {

constexpr char kBuildId[] = "12345678";
constexpr std::size_t kMaxDebugLineLength = 511;
constexpr char kOk[] = "0";  // KOVA_CLIENT_OK, and an answered raw query
constexpr char kFailed[] = "-1";

// A value of `length` letters and digits that does not repeat every few bytes,
// so that a byte out of place shows.
std::string LongValue(std::size_t length) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string value(length, '\0');
  for (std::size_t at = 0; at < length; ++at) value[at] = kAlphabet[(at * 7 + at / 61) % 62];
  return value;
}

// The default properties plus values at the channel's size limits, and an
// integer and a double that share no name with a string.
std::string ChannelDocument() {
  std::string document = kDefaultPartnerDocument;
  std::string values;
  for (const std::size_t size : {60000u, 65532u, 65533u}) {
    values +=
        "  <String id=\"Value" + std::to_string(size) + "\">" + LongValue(size) + "</String>\r\n";
  }
  document.insert(document.rfind("</Properties>"), values);
  return document;
}

// The line as a debugger reads it from the format the launcher promises,
// before any cut: each %s ends at its text's first NUL.
std::string FullDebugLine(const std::string& name, const std::string& value) {
  std::vector<char> line(name.size() + value.size() + 64);
  const int length = std::snprintf(
      line.data(), line.size(), "Got string request: %s(%d) -> %s(%d)\r\n", name.c_str(),
      static_cast<int>(name.size()), value.c_str(), static_cast<int>(value.size()));
  return std::string(line.data(), length);
}

// A line that fits is written exactly; a longer one may be cut, but never
// beyond the 511 characters its buffer holds, and it still ends the line.
void ExpectDebugLine(const std::string& seen, const std::string& name, const std::string& value) {
  const std::string full = FullDebugLine(name, value);
  if (full.size() <= kMaxDebugLineLength) {
    EXPECT_EQ(seen, full);
    return;
  }
  ASSERT_GE(seen.size(), 2u);
  EXPECT_LE(seen.size(), kMaxDebugLineLength);
  EXPECT_EQ(seen.substr(seen.size() - 2), "\r\n");
  EXPECT_EQ(seen.substr(0, seen.size() - 2), full.substr(0, seen.size() - 2));
}

std::string Hex(const std::string& bytes) { return testgame::HexOfBytes(bytes); }

// A record field of the channel command on script line `line`.
std::string Step(const GameRun& run, std::size_t line, const std::string& field) {
  return run.Get(std::to_string(line) + "." + field);
}

// How many lines of the record in `directory` read exactly `line`; for games
// that share a directory, whose record blocks may interleave.
std::size_t CountRecordLines(const std::string& directory, const std::string& line) {
  std::string record;
  ReadWholeFile(directory + "\\" + testgame::kRecordFileName, record);
  std::size_t count = 0;
  std::string::size_type start = 0;
  while (start < record.size()) {
    std::string::size_type end = record.find('\n', start);
    if (end == std::string::npos) end = record.size();
    if (record.compare(start, end - start, line) == 0) ++count;
    start = end + 1;
  }
  return count;
}

// Writes a launcher wrapping the test game as `directory`\`name`, with the
// channel's partner properties signed for it beside it.
std::string WrapTestGame(const std::string& directory, const std::string& name = "launcher.exe") {
  const std::string path = directory + "\\" + name;
  EXPECT_TRUE(WriteSignedWrappedLauncher(path, TestGame(), ChannelDocument(), kBuildId)) << path;
  return path;
}

// One launcher run of the test game with `script`, and what it left.
struct ChannelRun {
  LauncherRun launcher;
  GameRun game;
};

ChannelRun RunScript(const FreshDirectory& directory, const std::vector<std::string>& script) {
  ChannelRun run;
  const std::string launcher = WrapTestGame(directory.path());
  EXPECT_TRUE(WriteGameScript(directory.path(), script));
  run.launcher = RunLauncher(launcher);
  const std::vector<GameRun> games = ReadGameRuns(directory.path());
  EXPECT_EQ(games.size(), 1u);
  if (!games.empty()) run.game = games[0];
  EXPECT_EQ(run.game.Get("error"), "");
  EXPECT_EQ(run.game.Get("exit"), "0");
  return run;
}

// ---------------------------------------------------------------------------
// Queries through the client library, all in one launcher run.

struct ClientQueryCase {
  const char* name;
  std::string request;
  std::string want;
};

void PrintTo(const ClientQueryCase& query, std::ostream* out) { *out << query.name; }

const std::vector<ClientQueryCase>& ClientQueryCases() {
  static const std::vector<ClientQueryCase> cases = {
      {"Stored", "Publisher", "Demo Studio"},
      {"UnknownNameIsEmpty", "NoSuchName", ""},
      {"EmptyName", "", ""},
      {"CaseDiffers", "publisher", ""},
      {"TrailingSpace", "Publisher ", ""},
      {"IntegerIsNoString", "TrialMinutes", ""},
      {"DoubleIsNoString", "Version", ""},
      {"Value60000Bytes", "Value60000", LongValue(60000)},
      {"Value65532Bytes", "Value65532", LongValue(65532)},
  };
  return cases;
}

// A table of cases served by one launcher run: the suite runs the launcher
// once with the script its cases make, and each case finds its own place in
// the table (and so in the script) by its name.
template <typename Case, const std::vector<Case>& (*Cases)()>
class OneRunPerTable : public ::testing::TestWithParam<Case> {
 protected:
  static void Run(const std::vector<std::string>& script) {
    directory_ = new FreshDirectory;
    run_ = new ChannelRun(RunScript(*directory_, script));
  }
  static void TearDownTestSuite() {
    delete run_;
    delete directory_;
  }

  static std::size_t CaseIndex() {
    const std::vector<Case>& cases = Cases();
    const std::string name = ::testing::TestWithParam<Case>::GetParam().name;
    const auto found = std::find_if(cases.begin(), cases.end(),
                                    [&name](const Case& query) { return query.name == name; });
    return static_cast<std::size_t>(found - cases.begin());
  }

  static inline FreshDirectory* directory_ = nullptr;
  static inline ChannelRun* run_ = nullptr;
};

class ClientQueryTest : public OneRunPerTable<ClientQueryCase, ClientQueryCases> {
 protected:
  // Script line 1 connects; line 2 + i asks for case i.
  static void SetUpTestSuite() {
    std::vector<std::string> script = {"connect"};
    for (const ClientQueryCase& query : ClientQueryCases())
      script.push_back("query " + query.request);
    Run(script);
  }
};

TEST_P(ClientQueryTest, ValueAndDebuggerLine) {
  ExpectCleanEnd(run_->launcher);
  ASSERT_EQ(Step(run_->game, 1, "result"), kOk);
  EXPECT_EQ(Step(run_->game, 1, "served-by-parent"), "1");

  const std::size_t index = CaseIndex();
  const std::size_t line = 2 + index;
  EXPECT_EQ(Step(run_->game, line, "result"), kOk);
  EXPECT_EQ(Step(run_->game, line, "value"), Hex(GetParam().want));
  // One line per query, in order, and no other.
  ASSERT_EQ(run_->launcher.debugLines.size(), ClientQueryCases().size());
  ExpectDebugLine(run_->launcher.debugLines[index], GetParam().request, GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Channel, ClientQueryTest, ::testing::ValuesIn(ClientQueryCases()),
                         [](const ::testing::TestParamInfo<ClientQueryCase>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// Raw queries, written straight into the block, with no handshake ever made;
// all in one launcher run, in this order.

struct RawQueryCase {
  const char* name;
  const char* lParam;
  const char* lengthWord;  // "auto": the request's length
  std::string request;
  std::string wantResult;
  // The value found, which an answered query returns, with the request's
  // bytes it leaves behind it.
  std::string value;
  std::string wantBehind;
  bool writesDebugLine;
};

void PrintTo(const RawQueryCase& query, std::ostream* out) { *out << query.name; }

const std::vector<RawQueryCase>& RawQueryCases() {
  static const std::vector<RawQueryCase> cases = {
      {"AnsweredBeforeAnyHandshake", "1", "auto", "Publisher", kOk, "Demo Studio", "", true},
      {"ShorterReplyLeavesTheRequestsTail", "1", "auto", "DisplayName", kOk, "Demo Game", "me",
       true},
      {"NameWithNulIsLookedUpWhole", "1", "auto", std::string("Publisher\0x", 11), kOk, "",
       std::string("Publisher\0x", 11), true},
      {"EmptyName", "1", "auto", "", kOk, "", "", true},
      {"LParamZeroGetsDefaultProcessing", "0", "auto", "Publisher", kOk, "", "", false},
      {"LengthWord65533", "1", "65533", "Publisher", kFailed, "", "", false},
      {"LengthWord70000", "1", "70000", "Publisher", kFailed, "", "", false},
      {"LengthWordAllOnes", "1", "0xFFFFFFFF", "Publisher", kFailed, "", "", false},
      {"AnsweredAfterHostileRequests", "1", "auto", "Publisher", kOk, "Demo Studio", "", true},
      {"ReplyFillsTheWholeBlock", "1", "auto", "Value65532", kOk, LongValue(65532), "", true},
      // The value does not fit the block: refused, the block untouched.
      {"ValueLongerThanTheBlock", "1", "auto", "Value65533", kFailed, LongValue(65533), "", true},
      {"AnsweredAfterARefusedValue", "1", "auto", "Offering", kOk, "Trial", "ing", true},
  };
  return cases;
}

class RawQueryTest : public OneRunPerTable<RawQueryCase, RawQueryCases> {
 protected:
  // Script line 1 + i sends case i.
  static void SetUpTestSuite() {
    std::vector<std::string> script;
    for (const RawQueryCase& query : RawQueryCases()) {
      script.push_back(std::string("raw-query ") + query.lParam + " " + query.lengthWord + " " +
                       Hex(query.request));
    }
    Run(script);
  }

  // Which of the launcher's debugger lines belongs to case `index`.
  static std::size_t DebugLineIndex(std::size_t index) {
    const auto& cases = RawQueryCases();
    return static_cast<std::size_t>(
        std::count_if(cases.begin(), cases.begin() + index,
                      [](const RawQueryCase& query) { return query.writesDebugLine; }));
  }
};

TEST_P(RawQueryTest, ResultBlockAndDebuggerLine) {
  ExpectCleanEnd(run_->launcher);
  const RawQueryCase& query = GetParam();
  const std::size_t index = CaseIndex();
  const std::size_t line = 1 + index;
  ASSERT_EQ(Step(run_->game, line, "result"), query.wantResult);

  const bool answered = query.wantResult == kOk && std::string(query.lParam) != "0";
  if (answered) {
    EXPECT_EQ(Step(run_->game, line, "reply"), Hex(query.value));
    EXPECT_EQ(Step(run_->game, line, "behind"), Hex(query.wantBehind));
    EXPECT_EQ(Step(run_->game, line, "intact"), "1");
  } else {
    EXPECT_EQ(Step(run_->game, line, "unchanged"), "1");
  }

  const std::size_t lines = DebugLineIndex(RawQueryCases().size());
  ASSERT_EQ(run_->launcher.debugLines.size(), lines);
  if (query.writesDebugLine) {
    ExpectDebugLine(run_->launcher.debugLines[DebugLineIndex(index)], query.request, query.value);
  }
}

INSTANTIATE_TEST_SUITE_P(Channel, RawQueryTest, ::testing::ValuesIn(RawQueryCases()),
                         [](const ::testing::TestParamInfo<RawQueryCase>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// Handshakes, the launcher's threads, and more than one launcher.

class ChannelEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(TestGame().empty()) << TestGamePath(); }

  FreshDirectory root_;
};

TEST_F(ChannelEndToEnd, HandshakeIsAnsweredOnlyForTheGamesOwnProcessIdAndEveryTime) {
  const ChannelRun run =
      RunScript(root_, {"raw-handshake other", "raw-query 1 auto " + Hex("Publisher"),
                        "raw-handshake own", "raw-handshake own", "connect", "query Offering"});
  ExpectCleanEnd(run.launcher);
  const GameRun& game = run.game;

  EXPECT_EQ(Step(game, 1, "windows"), "1");
  EXPECT_EQ(Step(game, 1, "replies"), "0");
  EXPECT_EQ(Step(game, 1, "result"), "0");  // default processing
  // A refused handshake does not stop queries.
  EXPECT_EQ(Step(game, 2, "reply"), Hex("Demo Studio"));

  for (const std::size_t line : {3u, 4u}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Step(game, line, "replies"), "1");
    EXPECT_EQ(Step(game, line, "result"), "0");
    EXPECT_EQ(Step(game, line, "reply-pid"), Step(game, line, "sent-pid"));
    EXPECT_EQ(Step(game, line, "reply-from-channel-window"), "1");
  }
  EXPECT_EQ(Step(game, 5, "result"), kOk);
  EXPECT_EQ(Step(game, 6, "value"), Hex("Trial"));
  EXPECT_EQ(run.launcher.debugLines,
            (std::vector<std::string>{FullDebugLine("Publisher", "Demo Studio"),
                                      FullDebugLine("Offering", "Trial")}));
}

// The game's first instruction finds the channel window, and a query sent at
// once is answered; the window lives on a thread of its own while the main
// thread keeps the priority the launcher lowered it to.
TEST_F(ChannelEndToEnd, ChannelIsReadyBeforeTheGameRunsAndLivesOnTheWorkerThread) {
  const ChannelRun run = RunScript(root_, {"connect", "query ProdName", "launcher-threads"});
  ExpectCleanEnd(run.launcher);
  const GameRun& game = run.game;

  EXPECT_EQ(game.Get("channel-window-at-start"), "1");
  EXPECT_EQ(Step(game, 1, "result"), kOk);
  EXPECT_EQ(Step(game, 2, "value"), Hex("DemoGame"));
  EXPECT_GE(std::stoi("0" + Step(game, 3, "threads")), 2);
  EXPECT_EQ(Step(game, 3, "main-is-window-thread"), "0");
  EXPECT_EQ(Step(game, 3, "main-priority"), std::to_string(THREAD_PRIORITY_BELOW_NORMAL));
  EXPECT_NE(Step(game, 3, "window-thread-priority"), std::to_string(THREAD_PRIORITY_ERROR_RETURN));
}

// The game's handshake at its very first step is answered: the channel knew
// the game's process id before the game could run.
TEST_F(ChannelEndToEnd, HandshakeAtTheGamesFirstStepIsAnswered) {
  ASSERT_TRUE(WriteWholeFile(root_.File(testgame::kHandshakeFirstFileName), ""));
  const ChannelRun run = RunScript(root_, {"sleep 10"});
  ExpectCleanEnd(run.launcher);
  EXPECT_EQ(run.game.Get("first-handshake-replies"), "1");
}

TEST_F(ChannelEndToEnd, GameThatNeverAsksLetsTheLauncherEndNormally) {
  const ChannelRun run = RunScript(root_, {"sleep 50"});
  ExpectCleanEnd(run.launcher);
  EXPECT_TRUE(run.launcher.debugLines.empty());
  EXPECT_EQ(EntryNames(run.launcher.filesLeft),
            (std::vector<std::string>{testgame::kRecordFileName, testgame::kScriptFileName,
                                      "launcher.exe", "properties"}));
}

// Both games run at once, each beside both launchers' windows; each is
// answered by its own launcher only. The games share the directory, its
// script and its record, so the record is read line by line.
TEST_F(ChannelEndToEnd, TwoLaunchersInOneFolderEachServeOnlyTheirOwnGame) {
  const std::string first = WrapTestGame(root_.path(), "first.exe");
  const std::string second = WrapTestGame(root_.path(), "second.exe");
  const std::string meeting = "kova-channel-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(GetTickCount());
  ASSERT_TRUE(WriteGameScript(root_.path(),
                              {"rendezvous " + meeting + "-start 2", "raw-handshake own", "connect",
                               "query Publisher", "rendezvous " + meeting + "-end 2"}));

  LauncherRun firstRun;
  std::thread other([&] { firstRun = RunLauncher(first); });
  const LauncherRun secondRun = RunLauncher(second);
  other.join();

  const LauncherRun* runs[] = {&firstRun, &secondRun};
  for (const LauncherRun* run : runs) {
    ExpectCleanEnd(*run);
    EXPECT_EQ(run->debugLines,
              (std::vector<std::string>{FullDebugLine("Publisher", "Demo Studio")}));
  }
  const std::string& directory = root_.path();
  EXPECT_EQ(CountRecordLines(directory, "run"), 2u);
  EXPECT_EQ(CountRecordLines(directory, "1.rendezvous=ok"), 2u);
  EXPECT_EQ(CountRecordLines(directory, "2.windows=2"), 2u);
  EXPECT_EQ(CountRecordLines(directory, "2.replies=1"), 2u);
  EXPECT_EQ(CountRecordLines(directory, "2.reply-from-channel-window=1"), 2u);
  EXPECT_EQ(CountRecordLines(directory, "3.served-by-parent=1"), 2u);
  EXPECT_EQ(CountRecordLines(directory, "4.value=" + Hex("Demo Studio")), 2u);
  EXPECT_EQ(CountRecordLines(directory, "5.rendezvous=ok"), 2u);
  EXPECT_EQ(CountRecordLines(directory, "exit=0"), 2u);
}

}  // namespace
}  // namespace e2e
