// The client library against real channels: in this process, and from a
// separate game process, where the handshake's process id tells launchers apart.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "channel/win32/game_channel.h"
#include "common/text_rules.h"
#include "common/win32/handles.h"
#include "common/win32/process_text.h"
#include "kova_client.h"
#include "kova_client.hpp"
#include "tests/support/win32/stand_in_launcher.h"

namespace {

std::string AnswerFromA(const std::string& name) { return "from A: " + name; }
std::string AnswerFromB(const std::string& name) { return "from B: " + name; }

// Runs the probe program suspended, lets `beforeStart` learn its process id,
// then lets it run and returns its output ("" when it did not end in time).
std::string RunProbe(const std::string& arguments, const std::function<void(DWORD)>& beforeStart) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return "";
  win32::UniqueHandle output(readEnd);
  win32::UniqueHandle probeOutput(writeEnd);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  const std::string probe =
      text::DirectoryOfPath(win32::GetModulePath(nullptr)) + "\\" KOVA_CLIENT_PROBE_FILE_NAME;
  std::vector<char> commandLine = win32::WritableCommandLine("\"" + probe + "\" " + arguments);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION created = {};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                      nullptr, nullptr, &startup, &created)) {
    return "";
  }
  win32::OwnedProcess process(created);
  probeOutput.reset();
  beforeStart(process.processId);
  ResumeThread(process.thread.get());

  std::string text;
  char chunk[512];
  DWORD got = 0;
  while (ReadFile(output.get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
    text.append(chunk, got);
  if (WaitForSingleObject(process.process.get(), 30000) != WAIT_OBJECT_0) {
    TerminateProcess(process.process.get(), 1);
    return "";
  }
  return text;
}

struct TwoLaunchersCase {
  const char* name;
  bool ownCreatedFirst;
};

void PrintTo(const TwoLaunchersCase& testCase, std::ostream* out) { *out << testCase.name; }

class ClientAmongTwoLaunchers : public ::testing::TestWithParam<TwoLaunchersCase> {};

TEST_P(ClientAmongTwoLaunchers, FindsTheOneThatKnowsItsProcessId) {
  std::unique_ptr<GameChannel> own;
  std::unique_ptr<GameChannel> other;
  if (GetParam().ownCreatedFirst) {
    own = std::make_unique<GameChannel>(AnswerFromA);
    other = std::make_unique<GameChannel>(AnswerFromB);
  } else {
    other = std::make_unique<GameChannel>(AnswerFromB);
    own = std::make_unique<GameChannel>(AnswerFromA);
  }
  const std::string output = RunProbe("Title 64", [&](DWORD processId) {
    own->SetGameProcessId(processId);
    other->SetGameProcessId(processId + 4);
  });
  EXPECT_EQ(output, "0 0 14 from A: Title\r\n0 0 13\r\n");
  EXPECT_TRUE(own->IsConnected());
  EXPECT_FALSE(other->IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Orders, ClientAmongTwoLaunchers,
                         ::testing::Values(TwoLaunchersCase{"OwnCreatedFirst", true},
                                           TwoLaunchersCase{"OwnCreatedLast", false}),
                         [](const auto& info) { return info.param.name; });

TEST(ClientProbe, SmallBufferReportsTheNeededSizeAndTheWrapperGetsItAll) {
  GameChannel own(AnswerFromA);
  const std::string output =
      RunProbe("Title 13", [&](DWORD processId) { own.SetGameProcessId(processId); });
  EXPECT_EQ(output, "0 7 14 \r\n0 0 13\r\n");
}

// The same process plays the game: the channel expects this process's id.
class ClientInProcess : public ::testing::Test {
 protected:
  ClientInProcess() : channel_(AnswerFromA) { channel_.SetGameProcessId(GetCurrentProcessId()); }
  ~ClientInProcess() override { KovaClientDisconnect(&client_); }

  GameChannel channel_;
  KovaClient client_ = {};
};

TEST_F(ClientInProcess, BufferSizeCountsTheTerminatingNul) {
  ASSERT_EQ(KovaClientConnect(&client_, 0), KOVA_CLIENT_OK);
  char buffer[32];
  std::memset(buffer, 'x', sizeof buffer);
  size_t sizeWithNul = 0;
  // "from A: Title" is 13 bytes: 14 with its NUL.
  EXPECT_EQ(KovaClientGetString(&client_, "Title", buffer, 13, &sizeWithNul),
            KOVA_CLIENT_VALUE_TOO_LARGE);
  EXPECT_EQ(sizeWithNul, 14u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(buffer[1], 'x');  // nothing but the empty string written
  EXPECT_EQ(KovaClientGetString(&client_, "Title", buffer, 14, &sizeWithNul), KOVA_CLIENT_OK);
  EXPECT_EQ(sizeWithNul, 14u);
  EXPECT_STREQ(buffer, "from A: Title");
}

// The size probe: no buffer and size 0 asks for the size needed. Every other
// combination of a missing buffer or size stays an argument error.
struct SizeProbeCase {
  const char* name;
  bool connected;
  bool withBuffer;
  size_t bufferSize;
  bool withSize;
  KovaClientResult want;
  size_t wantSize;
};

void PrintTo(const SizeProbeCase& testCase, std::ostream* out) { *out << testCase.name; }

class ClientSizeProbe : public ClientInProcess,
                        public ::testing::WithParamInterface<SizeProbeCase> {};

TEST_P(ClientSizeProbe, ReportsTheSizeNeededOrRefuses) {
  const SizeProbeCase& c = GetParam();
  if (c.connected) {
    ASSERT_EQ(KovaClientConnect(&client_, 0), KOVA_CLIENT_OK);
  }
  char buffer[4] = {'x', 'x', 'x', 'x'};
  size_t sizeWithNul = 99;
  EXPECT_EQ(KovaClientGetString(&client_, "Title", c.withBuffer ? buffer : nullptr, c.bufferSize,
                                c.withSize ? &sizeWithNul : nullptr),
            c.want);
  EXPECT_EQ(sizeWithNul, c.wantSize);
  EXPECT_EQ(std::string(buffer, sizeof buffer), "xxxx");
  // The connection serves the next query as before.
  char value[32];
  EXPECT_EQ(KovaClientGetString(&client_, "Title", value, sizeof value, nullptr),
            c.connected ? KOVA_CLIENT_OK : KOVA_CLIENT_NOT_CONNECTED);
}

// "from A: Title" is 13 bytes: 14 with its NUL.
INSTANTIATE_TEST_SUITE_P(Arguments, ClientSizeProbe,
                         ::testing::Values(SizeProbeCase{"NoBufferSizeZero", true, false, 0, true,
                                                         KOVA_CLIENT_VALUE_TOO_LARGE, 14},
                                           SizeProbeCase{"ProbeWithoutSizeOut", true, false, 0,
                                                         false, KOVA_CLIENT_INVALID_ARGUMENT, 99},
                                           SizeProbeCase{"NoBufferNonZeroSize", true, false, 8,
                                                         true, KOVA_CLIENT_INVALID_ARGUMENT, 99},
                                           SizeProbeCase{"BufferOfSizeZero", true, true, 0, true,
                                                         KOVA_CLIENT_INVALID_ARGUMENT, 99},
                                           SizeProbeCase{"ProbeNotConnected", false, false, 0, true,
                                                         KOVA_CLIENT_NOT_CONNECTED, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// A thread that has taken no message for over 5 s counts as hung, and the
// channel's reply to it would be dropped: the connect makes it count as
// responsive first. Whether a reply is dropped depends on how the threads
// meet, so eight threads each take their messages, idle for 6 s and connect,
// one after another.
TEST(ClientAfterIdling, ConnectAfterTheThreadTookNoMessageForSixSeconds) {
  constexpr int kThreads = 8;
  GameChannel channel(AnswerFromA);
  channel.SetGameProcessId(GetCurrentProcessId());
  std::vector<KovaClientResult> connects(kThreads, KOVA_CLIENT_SYSTEM_ERROR);
  std::vector<std::string> values(kThreads);
  std::vector<std::thread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([&, thread] {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      Sleep(6000 + 250 * thread);
      KovaClient client = {};
      connects[thread] = KovaClientConnect(&client, 0);
      char value[32] = {};
      KovaClientGetString(&client, "Title", value, sizeof value, nullptr);
      values[thread] = value;
      KovaClientDisconnect(&client);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int thread = 0; thread < kThreads; ++thread) {
    EXPECT_EQ(connects[thread], KOVA_CLIENT_OK) << "thread " << thread;
    EXPECT_EQ(values[thread], "from A: Title") << "thread " << thread;
  }
}

// The process's one query lock, as every copy of the client in it names it.
std::string QueryLockName() {
  char name[64];
  std::snprintf(name, sizeof name, "Local\\KovaClientQueryLock-%08lX",
                static_cast<unsigned long>(GetCurrentProcessId()));
  return name;
}

// Holds the query lock on a thread of its own until it is destroyed; or,
// when `endHolding`, ends that thread while it holds the lock (the lock is
// then abandoned).
class QueryLockHolder {
 public:
  explicit QueryLockHolder(bool endHolding) {
    win32::UniqueHandle taken(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    thread_ = std::thread([this, endHolding, &taken] {
      lock_.reset(CreateMutexA(nullptr, TRUE, QueryLockName().c_str()));
      SetEvent(taken.get());
      if (!endHolding) WaitForSingleObject(release_.get(), INFINITE);
    });
    WaitForSingleObject(taken.get(), 10000);
    if (endHolding) thread_.join();
  }
  QueryLockHolder(const QueryLockHolder&) = delete;
  QueryLockHolder& operator=(const QueryLockHolder&) = delete;
  ~QueryLockHolder() {
    SetEvent(release_.get());
    if (thread_.joinable()) thread_.join();
  }

 private:
  win32::UniqueHandle release_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  // Open until the holder is destroyed: a lock nobody holds open is gone.
  win32::UniqueHandle lock_;
  std::thread thread_;
};

// A query waits for its turn at most the connection's time-out; waiting
// gives TIMEOUT and disconnects, as a query the launcher did not answer does.
TEST_F(ClientInProcess, QueryLockHeldPastTheTimeOutGivesATimeout) {
  ASSERT_EQ(KovaClientConnect(&client_, 300), KOVA_CLIENT_OK);
  QueryLockHolder holder(false);
  char value[32];
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(KovaClientGetString(&client_, "Title", value, sizeof value, nullptr),
            KOVA_CLIENT_TIMEOUT);
  EXPECT_LT(GetTickCount64() - start, 2000u);
  EXPECT_FALSE(KovaClientIsConnected(&client_));
}

// A thread that ended while it held the lock does not stop the queries.
TEST_F(ClientInProcess, QueryLockLeftByAnEndedThreadIsTakenOver) {
  ASSERT_EQ(KovaClientConnect(&client_, 300), KOVA_CLIENT_OK);
  QueryLockHolder holder(true);
  char value[32];
  for (int query = 0; query < 2; ++query) {
    EXPECT_EQ(KovaClientGetString(&client_, "Title", value, sizeof value, nullptr), KOVA_CLIENT_OK);
    EXPECT_STREQ(value, "from A: Title");
  }
}

TEST_F(ClientInProcess, NameWithNulBytesAndTooLongNames) {
  ASSERT_EQ(KovaClientConnect(&client_, 0), KOVA_CLIENT_OK);
  char buffer[64];
  size_t sizeWithNul = 0;
  ASSERT_EQ(KovaClientGetStringN(&client_, "A\0B", 3, buffer, sizeof buffer, &sizeWithNul),
            KOVA_CLIENT_OK);
  EXPECT_EQ(std::string(buffer, sizeWithNul - 1), std::string("from A: A\0B", 11));
  const std::string longName(KOVA_CLIENT_MAX_TEXT_SIZE + 1, 'n');
  EXPECT_EQ(KovaClientGetString(&client_, longName.c_str(), buffer, sizeof buffer, &sizeWithNul),
            KOVA_CLIENT_NAME_TOO_LONG);
}

TEST_F(ClientInProcess, DisconnectedClientDoesNotQuery) {
  ASSERT_EQ(KovaClientConnect(&client_, 0), KOVA_CLIENT_OK);
  KovaClientDisconnect(&client_);
  char buffer[8];
  EXPECT_EQ(KovaClientGetString(&client_, "Title", buffer, sizeof buffer, nullptr),
            KOVA_CLIENT_NOT_CONNECTED);
  KovaClientDisconnect(&client_);  // twice is harmless
}

TEST(ClientWithoutItsLauncher, NoLauncherWindowAtAll) {
  KovaClient client;
  EXPECT_EQ(KovaClientConnect(&client, 500), KOVA_CLIENT_NO_LAUNCHER);
  EXPECT_FALSE(KovaClientIsConnected(&client));
}

TEST(ClientWithoutItsLauncher, OnlyAnotherGamesLauncher) {
  GameChannel other(AnswerFromB);
  other.SetGameProcessId(GetCurrentProcessId() + 4);
  KovaClient client;
  EXPECT_EQ(KovaClientConnect(&client, 500), KOVA_CLIENT_NO_REPLY);
}

testsupport::StandInBehaviour Hung() {
  testsupport::StandInBehaviour behaviour;
  behaviour.hung = true;
  return behaviour;
}

TEST(ClientWithoutItsLauncher, HungLauncherGivesATimeout) {
  testsupport::StandInLauncher hung(Hung());
  KovaClient client;
  EXPECT_EQ(KovaClientConnect(&client, 300), KOVA_CLIENT_TIMEOUT);
  EXPECT_FALSE(KovaClientIsConnected(&client));
}

// The connect's time-out bounds the whole connect, not each window: four hung
// launchers one after another would cost four time-outs.
TEST(ClientWithoutItsLauncher, SeveralHungLaunchersCostOneTimeOutInAll) {
  std::vector<std::unique_ptr<testsupport::StandInLauncher>> hung;
  for (int window = 0; window < 4; ++window) {
    hung.push_back(std::make_unique<testsupport::StandInLauncher>(Hung()));
  }
  KovaClient client;
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(KovaClientConnect(&client, 800), KOVA_CLIENT_TIMEOUT);
  EXPECT_LT(GetTickCount64() - start, 2000u);
}

// Two launchers of the game's parent that each hold the handshake for 800 ms
// and never reply. The whole connect has 1,000 ms: the second send is given
// the 200 ms that remain, and the connect times out. (Four hung windows cannot
// show this: the first send takes the whole time-out, and none is sent after
// it.) Given the whole time-out again, the second send would end after its
// window's 800 ms, at 1.6 s, as an unanswered handshake.
TEST(ClientWithoutItsLauncher, TheSecondSendGetsOnlyWhatRemainsOfTheTimeOut) {
  testsupport::StandInBehaviour silent;
  silent.handshake = testsupport::StandInBehaviour::Handshake::Silent;
  silent.handshakeDelayMs = 800;
  testsupport::StandInLauncher first(silent);
  testsupport::StandInLauncher second(silent);
  const std::string output = RunProbe("--connect 1000", [](DWORD) {});
  int result = -1;
  unsigned long elapsedMs = 0;
  ASSERT_EQ(std::sscanf(output.c_str(), "%d %lu", &result, &elapsedMs), 2) << output;
  EXPECT_EQ(result, KOVA_CLIENT_TIMEOUT);
  EXPECT_LT(elapsedMs, 1200u);
}

// ---------------------------------------------------------------------------
// Launchers that are slow, lie or squat, played by a stand-in in this process.

struct StandInCase {
  const char* name;
  testsupport::StandInBehaviour behaviour;
  unsigned int timeoutMs;
  KovaClientResult wantConnect;
  // Asked when the connect succeeds, with a buffer of `bufferSize` bytes.
  std::string query;
  size_t bufferSize;
  KovaClientResult wantQuery;
  std::string wantValue;
  bool connectedAfter;
};

void PrintTo(const StandInCase& testCase, std::ostream* out) { *out << testCase.name; }

testsupport::StandInBehaviour Behaviour(void (*change)(testsupport::StandInBehaviour&)) {
  testsupport::StandInBehaviour behaviour;
  change(behaviour);
  return behaviour;
}

const std::vector<StandInCase>& StandInCases() {
  using testsupport::StandInBehaviour;
  static const std::string longestName(KOVA_CLIENT_MAX_TEXT_SIZE, 'n');
  static const std::vector<StandInCase> cases = {
      {"HonestLauncher",
       {},
       2000,
       KOVA_CLIENT_OK,
       "Title",
       64,
       KOVA_CLIENT_OK,
       "stand-in: Title",
       true},
      // The reply's length word reaches past the block; the caller's buffer
      // would take it.
      {"ReplyLengthPastTheBlock",
       Behaviour([](StandInBehaviour& b) { b.replyLengthWord = 0x10000; }), 2000, KOVA_CLIENT_OK,
       "Title", 128 * 1024, KOVA_CLIENT_QUERY_FAILED, "", true},
      {"NameOfTheLongestSizeIsSent", Behaviour([](StandInBehaviour& b) { b.valuePrefix = ""; }),
       2000, KOVA_CLIENT_OK, longestName, KOVA_CLIENT_MAX_TEXT_SIZE + 1, KOVA_CLIENT_OK,
       longestName, true},
      // A reply that comes late could land over a later request: the
      // connection is given up.
      {"SlowLauncherTimesOutAndDisconnects",
       Behaviour([](StandInBehaviour& b) { b.queryDelayMs = 3000; }), 500, KOVA_CLIENT_OK, "Title",
       64, KOVA_CLIENT_TIMEOUT, "", false},
      {"SquatterBlockOfOnePage", Behaviour([](StandInBehaviour& b) { b.blockSize = 4096; }), 2000,
       KOVA_CLIENT_BLOCK_UNAVAILABLE, "", 0, KOVA_CLIENT_OK, "", false},
      {"ReplyWithAnotherProcessId", Behaviour([](StandInBehaviour& b) {
         b.handshake = StandInBehaviour::Handshake::OtherProcessId;
       }),
       2000, KOVA_CLIENT_NO_REPLY, "", 0, KOVA_CLIENT_OK, "", false},
      // Names a window other than the one asked, which has a block of its own.
      {"ReplyNamingAnotherWindow", Behaviour([](StandInBehaviour& b) {
         b.handshake = StandInBehaviour::Handshake::OtherWindow;
       }),
       2000, KOVA_CLIENT_NO_REPLY, "", 0, KOVA_CLIENT_OK, "", false},
      // Another process overwrites the user data of the client's reply window
      // before the reply arrives: with null, a small number, and an address
      // just past what the window held (the game's own memory, when it held a
      // pointer). The client reads nothing from it.
      {"ReplyWindowDataNull", Behaviour([](StandInBehaviour& b) {
         b.replyWindowData = [](LONG_PTR) -> LONG_PTR { return 0; };
       }),
       2000, KOVA_CLIENT_OK, "Title", 64, KOVA_CLIENT_OK, "stand-in: Title", true},
      {"ReplyWindowDataSixteen", Behaviour([](StandInBehaviour& b) {
         b.replyWindowData = [](LONG_PTR) -> LONG_PTR { return 0x10; };
       }),
       2000, KOVA_CLIENT_OK, "Title", 64, KOVA_CLIENT_OK, "stand-in: Title", true},
      {"ReplyWindowDataPastWhatItHeld", Behaviour([](StandInBehaviour& b) {
         b.replyWindowData = [](LONG_PTR held) -> LONG_PTR { return held + 0x80; };
       }),
       2000, KOVA_CLIENT_OK, "Title", 64, KOVA_CLIENT_OK, "stand-in: Title", true},
      // Only the client destroys its reply window.
      {"ReplyWindowSentClose", Behaviour([](StandInBehaviour& b) { b.closeReplyWindow = true; }),
       2000, KOVA_CLIENT_OK, "Title", 64, KOVA_CLIENT_OK, "stand-in: Title", true},
  };
  return cases;
}

class ClientAgainstStandIn : public ::testing::TestWithParam<StandInCase> {};

TEST_P(ClientAgainstStandIn, ConnectQueryAndStateAfter) {
  const StandInCase& c = GetParam();
  testsupport::StandInLauncher standIn(c.behaviour);
  KovaClient client = {};
  ASSERT_EQ(KovaClientConnect(&client, c.timeoutMs), c.wantConnect);
  if (c.wantConnect != KOVA_CLIENT_OK) {
    EXPECT_FALSE(KovaClientIsConnected(&client));
    return;
  }

  std::vector<char> buffer(c.bufferSize, 'x');
  size_t sizeWithNul = 99;
  const ULONGLONG start = GetTickCount64();
  const KovaClientResult result = KovaClientGetStringN(&client, c.query.data(), c.query.size(),
                                                       buffer.data(), buffer.size(), &sizeWithNul);
  // Every query ends within about its time-out, however slow the launcher.
  EXPECT_LT(GetTickCount64() - start, 2500u);
  EXPECT_EQ(result, c.wantQuery);
  if (result == KOVA_CLIENT_OK) {
    EXPECT_EQ(std::string(buffer.data(), sizeWithNul - 1), c.wantValue);
  } else {
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(sizeWithNul, 0u);
  }
  // The name arrived whole (compared without printing 64 KiB on a failure).
  const std::vector<std::string> requests = standIn.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].size(), c.query.size());
  EXPECT_TRUE(requests[0] == c.query);

  EXPECT_EQ(KovaClientIsConnected(&client) != 0, c.connectedAfter);
  if (!c.connectedAfter) {
    EXPECT_EQ(KovaClientGetString(&client, "Title", buffer.data(), buffer.size(), nullptr),
              KOVA_CLIENT_NOT_CONNECTED);
  }
  KovaClientDisconnect(&client);
}

INSTANTIATE_TEST_SUITE_P(Launchers, ClientAgainstStandIn, ::testing::ValuesIn(StandInCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Threads: each KovaClient of this process maps the same block.

TEST(ClientThreads, EveryAnswerIsForItsOwnQuery) {
  GameChannel channel(AnswerFromA);
  channel.SetGameProcessId(GetCurrentProcessId());
  constexpr int kThreads = 4;
  constexpr int kQueries = 200;
  std::atomic<int> connected{0};
  std::atomic<int> failed{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([&, thread] {
      // Half the threads use the C++ wrapper, with names long enough that
      // every value needs its second, larger buffer.
      const bool wrapped = thread % 2 == 1;
      const std::string padding(wrapped ? 300 : 0, 'p');
      KovaClient client = {};
      kova::Client wrapper;
      if ((wrapped ? wrapper.Connect() : KovaClientConnect(&client, 0)) != KOVA_CLIENT_OK) return;
      ++connected;
      char buffer[64];
      for (int query = 0; query < kQueries; ++query) {
        const std::string name =
            "thread " + std::to_string(thread) + " query " + std::to_string(query) + padding;
        std::string value;
        KovaClientResult result;
        if (wrapped) {
          result = wrapper.GetString(name, value);
        } else {
          size_t sizeWithNul = 0;
          result = KovaClientGetString(&client, name.c_str(), buffer, sizeof buffer, &sizeWithNul);
          if (result == KOVA_CLIENT_OK) value.assign(buffer, sizeWithNul - 1);
        }
        if (result != KOVA_CLIENT_OK) {
          ++failed;
        } else if (value != AnswerFromA(name)) {
          ++wrong;
        }
      }
      KovaClientDisconnect(&client);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(connected, kThreads);
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(wrong, 0);
}

// A value that grew between the wrapper's two asks still arrives whole.
TEST(ClientWrapper, ValueThatGrewBetweenItsTwoAsks) {
  testsupport::StandInBehaviour behaviour;
  behaviour.longerEachTime = 300;
  testsupport::StandInLauncher standIn(behaviour);
  kova::Client client;
  ASSERT_EQ(client.Connect(), KOVA_CLIENT_OK);
  std::string value;
  ASSERT_EQ(client.GetString("Title", value), KOVA_CLIENT_OK);
  EXPECT_EQ(value, "stand-in: Title" + std::string(600, '+'));
}

// What binders rely on: the library's own version, and a connection of the
// same 32 bytes on 32-bit and 64-bit builds.
TEST(ClientInterface, VersionAndConnectionSize) {
  EXPECT_EQ(KovaClientVersion(), static_cast<unsigned int>(KOVA_CLIENT_VERSION));
  EXPECT_EQ(KOVA_CLIENT_VERSION, KOVA_CLIENT_VERSION_MAJOR * 10000 +
                                     KOVA_CLIENT_VERSION_MINOR * 100 + KOVA_CLIENT_VERSION_PATCH);
  EXPECT_EQ(sizeof(KovaClient), static_cast<size_t>(KOVA_CLIENT_SIZE));
  EXPECT_EQ(alignof(KovaClient), 8u);
}

TEST(ClientResultText, EveryResultHasItsOwnText) {
  std::set<std::string> texts;
  for (int result = KOVA_CLIENT_OK; result <= KOVA_CLIENT_SYSTEM_ERROR; ++result) {
    texts.insert(KovaClientResultText(static_cast<KovaClientResult>(result)));
  }
  texts.insert(KovaClientResultText(static_cast<KovaClientResult>(99)));
  EXPECT_EQ(texts.size(), static_cast<size_t>(KOVA_CLIENT_SYSTEM_ERROR) + 2);
}

}  // namespace
