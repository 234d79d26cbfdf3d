// The client library against real channels: in this process, and from a
// separate game process, where the handshake's process id tells launchers apart.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "channel/win32/game_channel.h"
#include "common/text_rules.h"
#include "common/win32/handles.h"
#include "common/win32/process_text.h"
#include "kova_client.h"

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

// A launcher window whose thread has stopped handling messages.
class HungLauncherWindow {
 public:
  HungLauncherWindow()
      : created_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        thread_(CreateThread(nullptr, 0, Run, this, 0, nullptr)) {
    WaitForSingleObject(created_.get(), 10000);
  }
  ~HungLauncherWindow() {
    SetEvent(release_.get());
    WaitForSingleObject(thread_.get(), INFINITE);
  }

 private:
  static DWORD WINAPI Run(void* parameter) {
    auto* self = static_cast<HungLauncherWindow*>(parameter);
    WNDCLASSA description = {};
    description.lpfnWndProc = DefWindowProcA;
    description.hInstance = GetModuleHandleA(nullptr);
    description.lpszClassName = channel::kWindowClassName;
    RegisterClassA(&description);  // or already registered by a channel
    win32::UniqueWindow window(CreateWindowExA(0, channel::kWindowClassName, nullptr, 0, 0, 0, 0, 0,
                                               nullptr, nullptr, GetModuleHandleA(nullptr),
                                               nullptr));
    SetEvent(self->created_.get());
    WaitForSingleObject(self->release_.get(), INFINITE);  // handles no messages
    return 0;
  }

  win32::UniqueHandle created_;
  win32::UniqueHandle release_;
  win32::UniqueHandle thread_;
};

TEST(ClientWithoutItsLauncher, HungLauncherGivesATimeout) {
  HungLauncherWindow hung;
  KovaClient client;
  EXPECT_EQ(KovaClientConnect(&client, 300), KOVA_CLIENT_TIMEOUT);
  EXPECT_FALSE(KovaClientIsConnected(&client));
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
