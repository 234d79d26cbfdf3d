#include "tests/e2e/test_game/channel_steps.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "channel/channel_protocol.h"
#include "common/win32/handles.h"
#include "tests/e2e/test_game/game_files.h"
#include "tests/e2e/test_game/load_table.h"
#include "tests/e2e/test_game/record_text.h"
#include "tests/e2e/test_game/rendezvous.h"
#include "tests/support/win32/handshake_reply_window.h"

namespace testgame {

namespace {

constexpr DWORD kSendTimeoutMs = 5000;
constexpr DWORD kRendezvousTimeoutMs = 10000;
constexpr DWORD kRecordOpenTimeoutMs = 5000;

std::string Field(const std::string& name, const std::string& value) {
  return name + "=" + value + "\n";
}

std::string Flag(const std::string& name, bool value) { return Field(name, value ? "1" : "0"); }

std::vector<std::string> Words(const std::string& arguments) {
  std::vector<std::string> words;
  std::istringstream in(arguments);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

struct LauncherWindowSearch {
  DWORD owner = 0;  // 0: any owner
  std::vector<HWND> found;
};

BOOL CALLBACK CollectLauncherWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<LauncherWindowSearch*>(parameter);
  char className[sizeof(channel::kWindowClassName) + 1] = {};
  GetClassNameA(window, className, sizeof(className));
  if (std::strcmp(className, channel::kWindowClassName) != 0) return TRUE;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (search->owner == 0 || search->owner == owner) search->found.push_back(window);
  return TRUE;
}

std::vector<HWND> LauncherWindows(DWORD owner) {
  LauncherWindowSearch search;
  search.owner = owner;
  EnumWindows(CollectLauncherWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

uint32_t ReadLengthWord(const unsigned char* block) {
  return static_cast<uint32_t>(block[0]) | static_cast<uint32_t>(block[1]) << 8 |
         static_cast<uint32_t>(block[2]) << 16 | static_cast<uint32_t>(block[3]) << 24;
}

void WriteLengthWord(unsigned char* block, uint32_t length) {
  for (int at = 0; at < 4; ++at) block[at] = static_cast<unsigned char>(length >> (8 * at));
}

unsigned long long CreationTime(HANDLE thread) {
  FILETIME created = {}, exited = {}, kernel = {}, user = {};
  if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) return ~0ull;
  return static_cast<unsigned long long>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

}  // namespace

void AppendRecord(const std::string& text) {
  // Exclusive, so that another game writing to the same record waits its turn.
  const ULONGLONG deadline = GetTickCount64() + kRecordOpenTimeoutMs;
  win32::UniqueFileHandle record;
  for (;;) {
    record.reset(CreateFileA(kRecordFileName, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (record || GetLastError() != ERROR_SHARING_VIOLATION || GetTickCount64() > deadline) break;
    Sleep(1);
  }
  if (!record) return;
  DWORD written = 0;
  WriteFile(record.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

DWORD ParentProcessId() {
  win32::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
  }
  return 0;
}

HWND ChannelWindowOf(DWORD processId) {
  if (processId == 0) return nullptr;
  const std::vector<HWND> windows = LauncherWindows(processId);
  return windows.empty() ? nullptr : windows.front();
}

std::size_t HandshakeWithEveryLauncher() {
  const DWORD processId = GetCurrentProcessId();
  const UINT handshake = RegisterWindowMessageA(channel::kHandshakeMessageName);
  testsupport::HandshakeReplyWindow replyWindow;
  for (HWND launcher : LauncherWindows(0)) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(launcher, handshake, processId,
                        reinterpret_cast<LPARAM>(replyWindow.window()), SMTO_NORMAL, kSendTimeoutMs,
                        &ignored);
  }
  return static_cast<std::size_t>(
      std::count_if(replyWindow.replies().begin(), replyWindow.replies().end(),
                    [&](const auto& reply) { return reply.processId == processId; }));
}

bool ChannelSteps::Run(int line, const std::string& command, const std::string& arguments) {
  std::string fields;
  if (command == "connect") {
    fields = Connect();
  } else if (command == "query") {
    fields = Query(arguments);
  } else if (command == "raw-handshake") {
    fields = RawHandshake(arguments);
  } else if (command == "raw-query") {
    fields = RawQuery(arguments);
  } else if (command == "rendezvous") {
    fields = Rendezvous(arguments);
  } else if (command == "query-loop") {
    fields = QueryLoop(arguments);
  } else if (command == "load") {
    fields = Load(arguments);
  } else if (command == "launcher-threads") {
    fields = LauncherThreads();
  } else {
    return false;
  }
  std::string record;
  std::istringstream lines(fields);
  for (std::string field; std::getline(lines, field);) {
    record += std::to_string(line) + "." + field + "\n";
  }
  AppendRecord(record);
  return true;
}

std::string ChannelSteps::Connect() {
  KovaClientDisconnect(&client_);
  const ULONGLONG start = GetTickCount64();
  const KovaClientResult result = KovaClientConnect(&client_, 0);
  const ULONGLONG milliseconds = GetTickCount64() - start;
  // The library keeps the window that answered; a game has no need to look,
  // but this one checks that it belongs to the launcher that started it.
  DWORD owner = 0;
  if (result == KOVA_CLIENT_OK) {
    GetWindowThreadProcessId(
        reinterpret_cast<HWND>(static_cast<std::uintptr_t>(client_.launcherWindow)), &owner);
  }
  return Field("result", std::to_string(result)) +
         Flag("served-by-parent", owner != 0 && owner == parentId_) +
         Field("milliseconds", std::to_string(milliseconds));
}

std::string ChannelSteps::Query(const std::string& name) {
  // Room for the longest value the channel carries and its NUL.
  std::vector<char> buffer(channel::kMaxTextSize + 1);
  size_t sizeWithNul = 0;
  const KovaClientResult result = KovaClientGetStringN(&client_, name.data(), name.size(),
                                                       buffer.data(), buffer.size(), &sizeWithNul);
  const std::string value =
      result == KOVA_CLIENT_OK ? std::string(buffer.data(), sizeWithNul - 1) : std::string();
  return Field("result", std::to_string(result)) + Field("value", HexOfBytes(value));
}

std::string ChannelSteps::RawHandshake(const std::string& arguments) {
  const std::vector<std::string> words = Words(arguments);
  DWORD processId = GetCurrentProcessId();
  if (!words.empty() && words[0] == "other") processId += 4;  // ids come in steps of 4

  const UINT handshake = RegisterWindowMessageA(channel::kHandshakeMessageName);
  const HWND channelWindow = ChannelWindowOf(parentId_);
  const std::vector<HWND> launchers = LauncherWindows(0);
  testsupport::HandshakeReplyWindow replyWindow;
  std::string result = "none";
  for (HWND launcher : launchers) {
    DWORD_PTR sendResult = 0;
    const bool sent = SendMessageTimeoutA(launcher, handshake, processId,
                                          reinterpret_cast<LPARAM>(replyWindow.window()),
                                          SMTO_NORMAL, kSendTimeoutMs, &sendResult) != 0;
    if (launcher == channelWindow) result = sent ? std::to_string(sendResult) : "timeout";
  }
  const auto& replies = replyWindow.replies();
  std::string fields = Field("sent-pid", std::to_string(processId)) +
                       Field("windows", std::to_string(launchers.size())) +
                       Field("replies", std::to_string(replies.size())) + Field("result", result);
  if (!replies.empty()) {
    fields += Field("reply-pid", std::to_string(replies[0].processId));
    fields += Flag("reply-from-channel-window",
                   channelWindow != nullptr &&
                       replies[0].launcherWindow == reinterpret_cast<LPARAM>(channelWindow));
  }
  return fields;
}

std::string ChannelSteps::RawQuery(const std::string& arguments) {
  const std::vector<std::string> words = Words(arguments);
  std::string name;
  if (words.size() < 2 || (words.size() > 2 && !BytesOfHex(words[2], name)) ||
      name.size() > channel::kMaxTextSize) {
    return Field("result", "bad-arguments");
  }
  const LPARAM lParam = static_cast<LPARAM>(std::strtoll(words[0].c_str(), nullptr, 0));
  const uint32_t lengthWord =
      words[1] == "auto" ? static_cast<uint32_t>(name.size())
                         : static_cast<uint32_t>(std::strtoul(words[1].c_str(), nullptr, 0));

  const HWND channelWindow = ChannelWindowOf(parentId_);
  if (channelWindow == nullptr) return Field("result", "no-window");
  const std::string blockName =
      channel::BlockNameForWindow(reinterpret_cast<uintptr_t>(channelWindow));
  win32::UniqueHandle mapping(
      OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, blockName.c_str()));
  if (!mapping) return Field("result", "no-block");
  win32::UniqueMappedView view(
      MapViewOfFile(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, channel::kBlockSize));
  if (!view) return Field("result", "no-block");
  auto* block = static_cast<unsigned char*>(view.get());

  std::memset(block, kBlockFill, channel::kBlockSize);
  WriteLengthWord(block, lengthWord);
  std::memcpy(block + channel::kLengthFieldSize, name.data(), name.size());
  const std::vector<unsigned char> before(block, block + channel::kBlockSize);

  const UINT query = RegisterWindowMessageA(channel::kQueryMessageName);
  DWORD_PTR sendResult = 0;
  if (!SendMessageTimeoutA(channelWindow, query, 0, lParam, SMTO_NORMAL, kSendTimeoutMs,
                           &sendResult)) {
    return Field("result", "timeout");
  }
  const std::vector<unsigned char> after(block, block + channel::kBlockSize);
  std::string fields =
      Field("result", std::to_string(static_cast<long long>(static_cast<LRESULT>(sendResult)))) +
      Flag("unchanged", after == before);

  const uint32_t replyLength = ReadLengthWord(after.data());
  if (replyLength <= channel::kMaxTextSize) {
    const char* text = reinterpret_cast<const char*>(after.data()) + channel::kLengthFieldSize;
    fields += Field("reply", HexOfBytes(std::string(text, replyLength)));
    if (name.size() > replyLength) {
      fields +=
          Field("behind", HexOfBytes(std::string(text + replyLength, name.size() - replyLength)));
    }
    bool intact = true;
    const std::size_t end =
        channel::kLengthFieldSize + std::max<std::size_t>(replyLength, name.size());
    for (std::size_t at = end; at < after.size(); ++at) intact = intact && after[at] == kBlockFill;
    fields += Flag("intact", intact);
  }
  return fields;
}

std::string ChannelSteps::Rendezvous(const std::string& arguments) {
  const std::vector<std::string> words = Words(arguments);
  if (words.size() != 2) return Field("rendezvous", "bad-arguments");
  const long count = std::strtol(words[1].c_str(), nullptr, 10);
  switch (MeetAt(words[0], count, kRendezvousTimeoutMs)) {
    case RendezvousResult::Met:
      return Field("rendezvous", "ok");
    case RendezvousResult::TimedOut:
      return Field("rendezvous", "timeout");
    case RendezvousResult::NoObjects:
      break;
  }
  return Field("rendezvous", "no-objects");
}

// Counts how the replies to one query came out: right, refused (any result
// other than success), or wrong (success with another value).
struct QueryTally {
  unsigned long queries = 0;
  unsigned long right = 0;
  unsigned long failed = 0;
  unsigned long wrong = 0;

  std::string Fields() const {
    return Field("queries", std::to_string(queries)) + Field("right", std::to_string(right)) +
           Field("failed", std::to_string(failed)) + Field("wrong", std::to_string(wrong));
  }
};

void ChannelSteps::Tally(const std::string& name, const std::string& want,
                         std::vector<char>& buffer, QueryTally& tally) {
  size_t sizeWithNul = 0;
  const KovaClientResult result = KovaClientGetStringN(&client_, name.data(), name.size(),
                                                       buffer.data(), buffer.size(), &sizeWithNul);
  ++tally.queries;
  if (result != KOVA_CLIENT_OK) {
    ++tally.failed;
  } else if (sizeWithNul - 1 == want.size() &&
             std::memcmp(buffer.data(), want.data(), want.size()) == 0) {
    ++tally.right;
  } else {
    ++tally.wrong;
  }
}

std::string ChannelSteps::QueryLoop(const std::string& arguments) {
  const std::vector<std::string> words = Words(arguments);
  std::string name, want;
  if (words.size() != 4 || !BytesOfHex(words[2], name) || !BytesOfHex(words[3], want)) {
    return Field("queries", "bad-arguments");
  }
  const unsigned long count = std::strtoul(words[0].c_str(), nullptr, 10);
  const unsigned long ms = std::strtoul(words[1].c_str(), nullptr, 10);
  std::vector<char> buffer(channel::kMaxTextSize + 1);
  const ULONGLONG deadline = GetTickCount64() + ms;
  QueryTally tally;
  while ((count == 0 || tally.queries < count) && (ms == 0 || GetTickCount64() < deadline)) {
    Tally(name, want, buffer, tally);
  }
  return tally.Fields();
}

std::string ChannelSteps::Load(const std::string& arguments) {
  const unsigned long count = std::strtoul(arguments.c_str(), nullptr, 10);
  const std::size_t entries = LoadTextSizes().size();
  std::vector<std::string> names, values;
  for (std::size_t index = 0; index < entries; ++index) {
    names.push_back(LoadName(index));
    values.push_back(LoadValue(index));
  }
  std::vector<char> buffer(channel::kMaxTextSize + 1);
  QueryTally tally;
  for (unsigned long query = 0; query < count; ++query) {
    Tally(names[query % entries], values[query % entries], buffer, tally);
  }
  return tally.Fields();
}

std::string ChannelSteps::LauncherThreads() {
  const HWND channelWindow = ChannelWindowOf(parentId_);
  const DWORD windowThread =
      channelWindow != nullptr ? GetWindowThreadProcessId(channelWindow, nullptr) : 0;
  win32::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return Field("threads", "none");

  int threads = 0;
  DWORD mainThread = 0;
  int mainPriority = THREAD_PRIORITY_ERROR_RETURN;
  int windowThreadPriority = THREAD_PRIORITY_ERROR_RETURN;
  unsigned long long earliest = ~0ull;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID != parentId_) continue;
    ++threads;
    win32::UniqueHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
    if (!thread) continue;
    const int priority = GetThreadPriority(thread.get());
    if (entry.th32ThreadID == windowThread) windowThreadPriority = priority;
    // The process's first thread, the launcher's main thread, is its oldest.
    const unsigned long long created = CreationTime(thread.get());
    if (mainThread == 0 || created < earliest) {
      earliest = created;
      mainThread = entry.th32ThreadID;
      mainPriority = priority;
    }
  }
  return Field("threads", std::to_string(threads)) +
         Flag("main-is-window-thread", mainThread == windowThread) +
         Field("main-priority", std::to_string(mainPriority)) +
         Field("window-thread-priority", std::to_string(windowThreadPriority));
}

}  // namespace testgame
