// The launcher's channel hosted in this process: the tests play the game's
// part with their own window and the shared block opened by name.
#include "channel/win32/game_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "channel/channel_protocol.h"
#include "channel/win32/debug_line_writer.h"
#include "common/win32/handles.h"
#include "properties/partner_properties.h"
#include "properties/properties_parser.h"
#include "tests/support/win32/handshake_reply_window.h"

namespace {

struct ChannelMessages {
  UINT query = RegisterWindowMessageA(channel::kQueryMessageName);
  UINT handshake = RegisterWindowMessageA(channel::kHandshakeMessageName);
  UINT reply = RegisterWindowMessageA(channel::kHandshakeReplyMessageName);
};

const ChannelMessages& Messages() {
  static const ChannelMessages messages;
  return messages;
}

std::string AnswerFromTable(const std::string& name) {
  if (name == "Title") return "Ashes of the North Gate";
  if (name == "Short") return "ab";
  return "";
}

// The game's view of the shared block of a channel window.
class GameSideBlock {
 public:
  explicit GameSideBlock(HWND launcherWindow) {
    const std::string name =
        channel::BlockNameForWindow(reinterpret_cast<uintptr_t>(launcherWindow));
    mapping_.reset(OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name.c_str()));
    if (mapping_) {
      view_.reset(
          MapViewOfFile(mapping_.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, channel::kBlockSize));
    }
  }

  bool valid() const { return view_.valid(); }
  unsigned char* bytes() const { return static_cast<unsigned char*>(view_.get()); }
  std::vector<unsigned char> Snapshot() const {
    return std::vector<unsigned char>(bytes(), bytes() + channel::kBlockSize);
  }

  void PutRequest(const std::string& name) {
    const uint32_t length = static_cast<uint32_t>(name.size());
    std::memcpy(bytes(), &length, 4);
    std::memcpy(bytes() + 4, name.data(), name.size());
  }
  std::string Reply() const {
    uint32_t length = 0;
    std::memcpy(&length, bytes(), 4);
    return std::string(reinterpret_cast<const char*>(bytes()) + 4, length);
  }

 private:
  win32::UniqueHandle mapping_;
  win32::UniqueMappedView view_;
};

int32_t SendQuery(HWND launcherWindow, LPARAM lParam = 1) {
  return static_cast<int32_t>(SendMessageA(launcherWindow, Messages().query, 0, lParam));
}

void SendHandshake(HWND launcherWindow, DWORD processId, HWND gameWindow) {
  SendMessageA(launcherWindow, Messages().handshake, processId,
               reinterpret_cast<LPARAM>(gameWindow));
}

class GameChannelTest : public ::testing::Test {
 protected:
  GameChannelTest() : channel_(AnswerFromTable), block_(channel_.MessageWindow()) {}

  // The game's windows must be its own: this process plays the game.
  const DWORD kGameId = GetCurrentProcessId();
  GameChannel channel_;
  GameSideBlock block_;
  testsupport::HandshakeReplyWindow game_;
};

TEST_F(GameChannelTest, QueryBeforeAnyHandshakeIsAnswered) {
  ASSERT_TRUE(block_.valid());
  block_.PutRequest("Title");
  EXPECT_EQ(SendQuery(channel_.MessageWindow()), channel::kQueryAnswered);
  EXPECT_EQ(block_.Reply(), "Ashes of the North Gate");
  EXPECT_FALSE(channel_.IsConnected());
}

TEST_F(GameChannelTest, QueryWithZeroLParamGetsDefaultProcessingAndLeavesTheBlock) {
  ASSERT_TRUE(block_.valid());
  block_.PutRequest("Title");
  const std::vector<unsigned char> before = block_.Snapshot();
  EXPECT_EQ(SendQuery(channel_.MessageWindow(), 0), 0);
  EXPECT_EQ(block_.Snapshot(), before);
}

TEST_F(GameChannelTest, HandshakeWithAnotherProcessIdGetsNoReply) {
  channel_.SetGameProcessId(kGameId);
  SendHandshake(channel_.MessageWindow(), kGameId + 1, game_.window());
  EXPECT_TRUE(game_.replies().empty());
  EXPECT_FALSE(channel_.IsConnected());
}

TEST_F(GameChannelTest, HandshakeWithoutAGameWindowGetsNoReply) {
  channel_.SetGameProcessId(kGameId);
  SendHandshake(channel_.MessageWindow(), kGameId, nullptr);
  EXPECT_FALSE(channel_.IsConnected());
}

// No process has id 0: a handshake carrying it before the game's id is set
// neither connects the channel nor locks the game out.
TEST_F(GameChannelTest, HandshakeWithIdZeroBeforeTheGamesIdIsSetIsIgnored) {
  SendHandshake(channel_.MessageWindow(), 0, game_.window());
  EXPECT_TRUE(game_.replies().empty());
  EXPECT_FALSE(channel_.IsConnected());

  channel_.SetGameProcessId(kGameId);
  SendHandshake(channel_.MessageWindow(), kGameId, game_.window());
  ASSERT_EQ(game_.replies().size(), 1u);
  EXPECT_EQ(game_.replies()[0].processId, kGameId);
  EXPECT_TRUE(channel_.IsConnected());
}

TEST_F(GameChannelTest, SecondHandshakeIsAnsweredAgainWithTheSameReply) {
  channel_.SetGameProcessId(kGameId);
  SendHandshake(channel_.MessageWindow(), kGameId, game_.window());
  SendHandshake(channel_.MessageWindow(), kGameId, game_.window());
  EXPECT_TRUE(channel_.IsConnected());
  ASSERT_EQ(game_.replies().size(), 2u);
  for (const auto& reply : game_.replies()) {
    EXPECT_EQ(reply.processId, kGameId);
    EXPECT_EQ(reply.launcherWindow, reinterpret_cast<LPARAM>(channel_.MessageWindow()));
  }
}

TEST_F(GameChannelTest, SetGameProcessIdAfterAHandshakeChangesNothing) {
  channel_.SetGameProcessId(kGameId);
  SendHandshake(channel_.MessageWindow(), kGameId, game_.window());
  channel_.SetGameProcessId(kGameId + 7);
  SendHandshake(channel_.MessageWindow(), kGameId + 7, game_.window());
  SendHandshake(channel_.MessageWindow(), kGameId, game_.window());
  ASSERT_EQ(game_.replies().size(), 2u);
  EXPECT_EQ(game_.replies()[1].processId, kGameId);
}

TEST_F(GameChannelTest, BlockIsNamedAfterTheWindowHandle) {
  char expected[32];
  std::snprintf(expected, sizeof expected, "HWND%08X",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(channel_.MessageWindow())));
  EXPECT_EQ(channel::BlockNameForWindow(reinterpret_cast<uintptr_t>(channel_.MessageWindow())),
            expected);
  EXPECT_TRUE(channel_.HasSharedBlock());
  EXPECT_TRUE(block_.valid());
}

TEST_F(GameChannelTest, ReplyGoesOverTheRequestThroughTheWindow) {
  ASSERT_TRUE(block_.valid());
  block_.PutRequest("Short");
  std::memcpy(block_.bytes() + 9, "tail", 4);
  ASSERT_EQ(SendQuery(channel_.MessageWindow()), channel::kQueryAnswered);
  EXPECT_EQ(block_.Reply(), "ab");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(block_.bytes()) + 4, 9), "aborttail");
}

// Any process on the desktop can overwrite the window's user data; the
// channel goes on answering for itself, never from what was written there.
struct UserDataCase {
  const char* name;
  LONG_PTR (*value)(LONG_PTR channelPointer);
};

class OverwrittenUserDataTest : public GameChannelTest,
                                public ::testing::WithParamInterface<UserDataCase> {};

TEST_P(OverwrittenUserDataTest, QueriesAndHandshakesAreStillAnswered) {
  ASSERT_TRUE(block_.valid());
  const HWND window = channel_.MessageWindow();
  const LONG_PTR written = GetParam().value(GetWindowLongPtrA(window, GWLP_USERDATA));
  SetWindowLongPtrA(window, GWLP_USERDATA, written);
  ASSERT_EQ(GetWindowLongPtrA(window, GWLP_USERDATA), written);

  block_.PutRequest("Title");
  EXPECT_EQ(SendQuery(window), channel::kQueryAnswered);
  EXPECT_EQ(block_.Reply(), "Ashes of the North Gate");
  channel_.SetGameProcessId(kGameId);
  SendHandshake(window, kGameId, game_.window());
  EXPECT_EQ(game_.replies().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Channel, OverwrittenUserDataTest,
    ::testing::Values(UserDataCase{"Null", [](LONG_PTR) -> LONG_PTR { return 0; }},
                      UserDataCase{"NotAPointer", [](LONG_PTR) -> LONG_PTR { return 0x10; }},
                      UserDataCase{"InsideTheChannel",
                                   [](LONG_PTR channel) -> LONG_PTR {
                                     return channel + static_cast<LONG_PTR>(sizeof(void*));
                                   }}),
    [](const ::testing::TestParamInfo<UserDataCase>& info) {
      return std::string(info.param.name);
    });

TEST(GameChannelLifetime, DestructionEndsAWorkerThatNeverSawAMessage) {
  auto channel = std::make_unique<GameChannel>(AnswerFromTable);
  const HWND window = channel->MessageWindow();
  ASSERT_TRUE(IsWindow(window));
  const std::string blockName = channel::BlockNameForWindow(reinterpret_cast<uintptr_t>(window));
  channel.reset();
  EXPECT_FALSE(IsWindow(window));
  win32::UniqueHandle stillThere(OpenFileMappingA(FILE_MAP_READ, FALSE, blockName.c_str()));
  EXPECT_FALSE(stillThere.valid());
}

// Another thread floods the window with queries while the channel goes: the
// block must stay mapped until the worker has taken its last query. Each
// lookup takes a while, so that the channel mostly goes while a query is
// between reading its request and writing its reply. A reply written into a
// block no longer mapped would crash the launcher, or, where the system
// swallows the fault in the window procedure, leave the request in place of
// the reply of an "answered" query.
TEST(GameChannelLifetime, QueriesFloodedWhileTheChannelGoesNeverCrashOrMislead) {
  constexpr int kRounds = 300;
  constexpr ULONGLONG kFloodStartMs = 5000;
  const auto slowLookup = [](const std::string& name) {
    Sleep(1);
    return AnswerFromTable(name);
  };
  int floodedRounds = 0;
  unsigned long misleading = 0;
  for (int round = 0; round < kRounds; ++round) {
    auto channel = std::make_unique<GameChannel>(slowLookup);
    const HWND window = channel->MessageWindow();
    GameSideBlock block(window);
    ASSERT_TRUE(block.valid());
    std::atomic<bool> stop{false};
    std::atomic<unsigned> answered{0};
    std::thread flooder([&] {
      while (!stop) {
        block.PutRequest("Title");
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(window, Messages().query, 0, 1, SMTO_NORMAL, 5000, &result) &&
            static_cast<int32_t>(result) == channel::kQueryAnswered) {
          ++answered;
          if (block.Reply() != "Ashes of the North Gate") ++misleading;
        }
      }
    });
    const ULONGLONG deadline = GetTickCount64() + kFloodStartMs;
    while (answered == 0 && GetTickCount64() < deadline) Sleep(0);
    if (answered != 0) ++floodedRounds;
    channel.reset();
    stop = true;
    flooder.join();
  }
  EXPECT_EQ(floodedRounds, kRounds);
  EXPECT_EQ(misleading, 0u);
}

// A game window whose thread takes 300 ms over each handshake reply and
// counts the replies that were already waiting for it when it finished one.
class SlowGameWindow {
 public:
  SlowGameWindow() : ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this] { Run(); });
    WaitForSingleObject(ready_.get(), 10000);
  }
  SlowGameWindow(const SlowGameWindow&) = delete;
  SlowGameWindow& operator=(const SlowGameWindow&) = delete;
  ~SlowGameWindow() {
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    thread_.join();
  }

  HWND window() const { return window_; }
  int replies() const { return replies_; }
  int repliesWaiting() const { return repliesWaiting_; }

 private:
  void Run() {
    static const ATOM windowClass = [] {
      WNDCLASSA description = {};
      description.lpfnWndProc = Procedure;
      description.hInstance = GetModuleHandleA(nullptr);
      description.lpszClassName = "KovaTestSlowGameWindow";
      return RegisterClassA(&description);
    }();
    win32::UniqueWindow window(CreateWindowExA(0, MAKEINTATOM(windowClass), nullptr, 0, 0, 0, 0, 0,
                                               HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr),
                                               nullptr));
    SetWindowLongPtrA(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = window.get();
    threadId_ = GetCurrentThreadId();
    SetEvent(ready_.get());
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<SlowGameWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == Messages().reply) {
      Sleep(300);
      if (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) ++self->repliesWaiting_;
      ++self->replies_;
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  win32::UniqueHandle ready_;
  std::thread thread_;
  DWORD threadId_ = 0;
  HWND window_ = nullptr;
  std::atomic<int> replies_{0};
  std::atomic<int> repliesWaiting_{0};
};

// The test floods the worker with handshakes carrying the game's id, sent
// without waiting, all naming a game window that is slow to take the reply.
// While a reply waits, the worker takes no other sent message, so the
// flood cannot nest one reply's wait inside another's on the worker's stack:
// no reply ever waits for the game's window while it takes another. The
// channel, destroyed amid the flood, ends within the reply in progress.
TEST(GameChannelLifetime, FloodedHandshakesAreRepliedToOneAtATime) {
  // The slow window is this process's: only the game's windows get replies.
  const DWORD kGameId = GetCurrentProcessId();
  constexpr int kHandshakes = 20;
  SlowGameWindow game;
  ASSERT_NE(game.window(), nullptr);
  auto channel = std::make_unique<GameChannel>(AnswerFromTable);
  channel->SetGameProcessId(kGameId);
  for (int handshake = 0; handshake < kHandshakes; ++handshake) {
    ASSERT_TRUE(SendNotifyMessageA(channel->MessageWindow(), Messages().handshake, kGameId,
                                   reinterpret_cast<LPARAM>(game.window())));
  }
  const ULONGLONG deadline = GetTickCount64() + 10000;
  while (game.replies() < 3 && GetTickCount64() < deadline) Sleep(10);
  EXPECT_GE(game.replies(), 3);

  const ULONGLONG start = GetTickCount64();
  channel.reset();
  EXPECT_LT(GetTickCount64() - start, 1500u);
  EXPECT_EQ(game.repliesWaiting(), 0);
}

// Someone creates the block's name before the channel can: the test registers
// the channel's window class itself, with a procedure that squats the name
// while the window is created and then hands every message to the channel's
// own procedure.
WNDPROC channelProcedure = nullptr;
win32::UniqueHandle squattedBlock;

LRESULT CALLBACK SquattingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const std::string name = channel::BlockNameForWindow(reinterpret_cast<uintptr_t>(window));
    squattedBlock.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                           static_cast<DWORD>(channel::kBlockSize), name.c_str()));
  }
  return CallWindowProcA(channelProcedure, window, message, wParam, lParam);
}

TEST(GameChannelSquatted, RunsWithoutABlockAndFailsQueries) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  {
    GameChannel first(AnswerFromTable);  // registers the class with the channel's procedure
    channelProcedure =
        reinterpret_cast<WNDPROC>(GetClassLongPtrA(first.MessageWindow(), GCLP_WNDPROC));
  }
  ASSERT_NE(channelProcedure, nullptr);
  ASSERT_TRUE(UnregisterClassA(channel::kWindowClassName, instance));
  WNDCLASSA squatting = {};
  squatting.lpfnWndProc = SquattingProcedure;
  squatting.hInstance = instance;
  squatting.lpszClassName = channel::kWindowClassName;
  ASSERT_NE(RegisterClassA(&squatting), 0);

  {
    GameChannel channel(AnswerFromTable);
    ASSERT_TRUE(squattedBlock.valid());
    EXPECT_FALSE(channel.HasSharedBlock());
    GameSideBlock block(channel.MessageWindow());  // the squatter's block
    ASSERT_TRUE(block.valid());
    block.PutRequest("Title");
    const std::vector<unsigned char> before = block.Snapshot();
    EXPECT_EQ(SendQuery(channel.MessageWindow()), channel::kQueryFailed);
    EXPECT_EQ(block.Snapshot(), before);
  }
  squattedBlock.reset();
  // Later channels of this process register the class again with their own procedure.
  UnregisterClassA(channel::kWindowClassName, instance);
}

// The channel made without a lookup answers from the real partner properties:
// only string properties are string values.
TEST(GameChannelPartnerProperties, OnlyStringPropertiesComeBack) {
  Kova::PropertiesParser parser;
  ASSERT_TRUE(
      parser.ParseText("<Properties>\n"
                       "  <String id=\"Title\">Ashes</String>\n"
                       "  <Integer id=\"Count\">12</Integer>\n"
                       "  <Double id=\"Ratio\">1.5</Double>\n"
                       "</Properties>\n"))
      << parser.GetErrorText();
  EXPECT_EQ(GetPartnerString("Count", "default"), "default");
  EXPECT_EQ(GetPartnerString("Ratio", "default"), "default");

  GameChannel channel;
  GameSideBlock block(channel.MessageWindow());
  ASSERT_TRUE(block.valid());
  for (const char* name : {"Count", "Ratio"}) {
    block.PutRequest(name);
    ASSERT_EQ(SendQuery(channel.MessageWindow()), channel::kQueryAnswered);
    EXPECT_EQ(block.Reply(), "") << name;
  }
  block.PutRequest("Title");
  ASSERT_EQ(SendQuery(channel.MessageWindow()), channel::kQueryAnswered);
  EXPECT_EQ(block.Reply(), "Ashes");
}

// ---------------------------------------------------------------------------
// Debugger lines written off the worker, and a worker that does not end.

// This thread plays the game in later tests, and a thread that has not
// looked at its messages for 5 s counts as hung: a reply sent with
// SMTO_ABORTIFHUNG, as the launcher sends its handshake reply, would then
// fail at once. Tests that keep it waiting that long look once when done.
void LookAtMessages() {
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
}

// A stand-in for the debugger output that can be held, as a debug-output
// monitor holding its mutex holds every writer.
struct HeldOutput {
  win32::UniqueHandle release{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  std::mutex lock;
  std::vector<std::string> lines;
};
HeldOutput* heldOutput = nullptr;

void WINAPI WriteToHeldOutput(const char* line) {
  WaitForSingleObject(heldOutput->release.get(), INFINITE);
  const std::lock_guard<std::mutex> held(heldOutput->lock);
  heldOutput->lines.emplace_back(line);
}

class HeldOutputTest : public ::testing::Test {
 protected:
  HeldOutputTest() { heldOutput = output_; }
  // Threads a test leaves behind write what they hold once let go, then end:
  // into this test's output, while it is still the one in use.
  ~HeldOutputTest() override {
    SetEvent(output_->release.get());
    const ULONGLONG deadline = GetTickCount64() + 5000;
    std::size_t before = Lines().size();
    do {
      Sleep(200);
    } while (Lines().size() != std::exchange(before, Lines().size()) &&
             GetTickCount64() < deadline);
    LookAtMessages();
  }
  std::vector<std::string> Lines() {
    const std::lock_guard<std::mutex> held(output_->lock);
    return output_->lines;
  }
  // Never freed: a writer thread left behind may still use it until the
  // process ends.
  HeldOutput* const output_ = new HeldOutput;
};

TEST_F(HeldOutputTest, WriterKeepsTheOrderAndFinishesWhatItHolds) {
  DebugLineWriter writer(WriteToHeldOutput);
  for (int line = 0; line < 100; ++line) EXPECT_TRUE(writer.Write(std::to_string(line)));
  SetEvent(output_->release.get());
  EXPECT_TRUE(writer.Finish());
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 100u);
  for (int line = 0; line < 100; ++line) EXPECT_EQ(lines[line], std::to_string(line));
  EXPECT_FALSE(writer.Write("after the end"));
}

TEST_F(HeldOutputTest, HeldWriterNeitherStopsWritesNorItsOwnersEnd) {
  DebugLineWriter writer(WriteToHeldOutput);
  const ULONGLONG start = GetTickCount64();
  for (int line = 0; line < 1000; ++line) writer.Write("line");
  EXPECT_LT(GetTickCount64() - start, 1000u) << "a write waited for the held output";
  EXPECT_FALSE(writer.Finish(200, 5000));
  EXPECT_LT(GetTickCount64() - start, 3000u);
}

TEST_F(HeldOutputTest, QueriesAreAnsweredWhileTheDebuggerOutputIsHeld) {
  const ULONGLONG start = GetTickCount64();
  {
    GameChannel channel(AnswerFromTable, WriteToHeldOutput);
    GameSideBlock block(channel.MessageWindow());
    ASSERT_TRUE(block.valid());
    for (int query = 0; query < 20; ++query) {
      block.PutRequest("Title");
      DWORD_PTR result = 1;
      ASSERT_TRUE(SendMessageTimeoutA(channel.MessageWindow(), Messages().query, 0, 1, SMTO_NORMAL,
                                      2000, &result));
      EXPECT_EQ(static_cast<int32_t>(result), channel::kQueryAnswered);
      EXPECT_EQ(block.Reply(), "Ashes of the North Gate");
    }
  }
  // The channel's end waited for the held lines no longer than its bound.
  EXPECT_LT(GetTickCount64() - start, 2u * DebugLineWriter::kStallMs + 2000u);
  EXPECT_TRUE(Lines().empty());
}

TEST_F(HeldOutputTest, LinesOfAnsweredQueriesGoOutBeforeTheChannelIsGone) {
  SetEvent(output_->release.get());
  {
    GameChannel channel(AnswerFromTable, WriteToHeldOutput);
    GameSideBlock block(channel.MessageWindow());
    ASSERT_TRUE(block.valid());
    for (const char* name : {"Title", "Short", "Missing"}) {
      block.PutRequest(name);
      ASSERT_EQ(SendQuery(channel.MessageWindow()), channel::kQueryAnswered);
    }
  }
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "Got string request: Title(5) -> Ashes of the North Gate(23)\r\n",
                         "Got string request: Short(5) -> ab(2)\r\n",
                         "Got string request: Missing(7) -> (0)\r\n"}));
}

// A worker held inside a query when the channel goes: the destructor returns
// within its bound, and leaves the window and the block, which the worker
// still uses, until the worker has ended.
TEST(GameChannelLifetime, WorkerThatDoesNotEndIsLeftWithItsWindowAndBlock) {
  const auto held =
      std::make_shared<win32::UniqueHandle>(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const auto entered =
      std::make_shared<win32::UniqueHandle>(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  auto channel = std::make_unique<GameChannel>([held, entered](const std::string& name) {
    SetEvent(entered->get());
    WaitForSingleObject(held->get(), INFINITE);
    return AnswerFromTable(name);
  });
  const HWND window = channel->MessageWindow();
  const std::string blockName = channel::BlockNameForWindow(reinterpret_cast<uintptr_t>(window));
  auto block = std::make_unique<GameSideBlock>(window);
  ASSERT_TRUE(block->valid());
  block->PutRequest("Title");
  DWORD_PTR result = 1;
  std::thread game([window, &result] {
    SendMessageTimeoutA(window, Messages().query, 0, 1, SMTO_NORMAL, 30000, &result);
  });
  ASSERT_EQ(WaitForSingleObject(entered->get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));

  const ULONGLONG start = GetTickCount64();
  channel.reset();
  EXPECT_LT(GetTickCount64() - start, 10000u);
  EXPECT_TRUE(IsWindow(window));

  // The query the worker was in finishes into the block it still has.
  SetEvent(held->get());
  game.join();
  EXPECT_EQ(static_cast<int32_t>(result), channel::kQueryAnswered);
  EXPECT_EQ(block->Reply(), "Ashes of the North Gate");
  block.reset();
  const ULONGLONG deadline = GetTickCount64() + 5000;
  while (IsWindow(window) && GetTickCount64() < deadline) Sleep(10);
  EXPECT_FALSE(IsWindow(window));
  Sleep(100);  // the worker's last reference goes as its thread ends
  win32::UniqueHandle gone(OpenFileMappingA(FILE_MAP_READ, FALSE, blockName.c_str()));
  EXPECT_FALSE(gone.valid());
  LookAtMessages();
}

}  // namespace
