// Game channel round trips under Wine (or Windows): a querying child process
// against the launcher's GameChannel hosted in this process, beside the bare
// cross-process SendMessageA round trip to a window on a worker thread, with
// and without one OutputDebugStringA in its window procedure, all measured in
// the same run. Each figure is the median of several runs of one child each.
// A channel query costs the bare round trip, one debugger line, the request
// and reply copies, and the lookup; the target is at least 0.7 of the bare
// round trips per second.
// Usage: channel_bench [calls per run] [runs] [sizes in bytes...]
//        (default: 2000 5 8 1024 60000; a size is at most 65,532 bytes)
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "channel/channel_protocol.h"
#include "channel/win32/game_channel.h"
#include "common/win32/handles.h"
#include "common/win32/process_text.h"

namespace {

constexpr char kChildWord[] = "child";
constexpr char kBareWindowClass[] = "KovaBenchBareWindow";
// What the bare windows answer; any message will do, as long as it crosses
// processes without marshalling.
constexpr UINT kBareMessage = WM_APP + 1;
// A debugger line of the size a typical query writes.
constexpr char kTypicalDebugLine[] = "Got string request: DisplayName(11) -> Demo Game(9)\r\n";

// Names and values of each measured size; the name of a size is that many bytes.
std::string TextOfSize(std::size_t size, char first) {
  std::string text(size, '\0');
  for (std::size_t at = 0; at < size; ++at) text[at] = static_cast<char>(first + at % 23);
  return text;
}

// ---------------------------------------------------------------------------
// The querying side, run as a child process: sends `calls` queries (or bare
// messages, size 0) and prints the microseconds a round trip took on average.

int RunChild(HWND window, std::size_t size, long calls) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  if (size == 0) {
    QueryPerformanceCounter(&start);
    for (long call = 0; call < calls; ++call) SendMessageA(window, kBareMessage, 0, 1);
    QueryPerformanceCounter(&end);
  } else {
    const std::string blockName = channel::BlockNameForWindow(reinterpret_cast<uintptr_t>(window));
    win32::UniqueHandle mapping(
        OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, blockName.c_str()));
    if (!mapping) return 2;
    win32::UniqueMappedView view(
        MapViewOfFile(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, channel::kBlockSize));
    if (!view) return 2;
    auto* block = static_cast<unsigned char*>(view.get());
    const UINT query = RegisterWindowMessageA(channel::kQueryMessageName);
    const std::string name = TextOfSize(size, 'a');
    const uint32_t length = static_cast<uint32_t>(size);
    std::vector<char> reply(channel::kMaxTextSize);
    QueryPerformanceCounter(&start);
    for (long call = 0; call < calls; ++call) {
      // As a game does it: request in, send, reply out.
      std::memcpy(block, &length, sizeof(length));
      std::memcpy(block + channel::kLengthFieldSize, name.data(), name.size());
      if (SendMessageA(window, query, 0, 1) != channel::kQueryAnswered) return 3;
      uint32_t replyLength = 0;
      std::memcpy(&replyLength, block, sizeof(replyLength));
      if (replyLength != size) return 4;
      std::memcpy(reply.data(), block + channel::kLengthFieldSize, replyLength);
    }
    QueryPerformanceCounter(&end);
  }
  const double microseconds =
      1e6 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart / calls;
  std::printf("%.3f\n", microseconds);
  return 0;
}

// ---------------------------------------------------------------------------
// The answering side: bare windows on worker threads, and the channel.

class BareWindowThread {
 public:
  explicit BareWindowThread(bool writesDebugLine) : writesDebugLine_(writesDebugLine) {
    ready_.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    thread_.reset(CreateThread(nullptr, 0, Main, this, 0, &threadId_));
    if (thread_) WaitForSingleObject(ready_.get(), INFINITE);
  }
  ~BareWindowThread() {
    if (!thread_) return;
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_.get(), INFINITE);
  }
  BareWindowThread(const BareWindowThread&) = delete;
  BareWindowThread& operator=(const BareWindowThread&) = delete;

  HWND window() const { return window_; }

 private:
  static DWORD WINAPI Main(void* parameter) {
    auto* self = static_cast<BareWindowThread*>(parameter);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kBareWindowClass;
    RegisterClassA(&windowClass);  // the second thread finds it registered
    win32::UniqueWindow window(CreateWindowExA(0, kBareWindowClass, nullptr, 0, 0, 0, 0, 0, nullptr,
                                               nullptr, GetModuleHandleA(nullptr), nullptr));
    SetWindowLongPtrA(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window.get();
    SetEvent(self->ready_.get());
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<BareWindowThread*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == kBareMessage) {
      if (self->writesDebugLine_) OutputDebugStringA(kTypicalDebugLine);
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  bool writesDebugLine_;
  win32::UniqueHandle ready_;
  win32::UniqueHandle thread_;
  DWORD threadId_ = 0;
  HWND window_ = nullptr;
};

// Runs one child against `window`; its microseconds per round trip, or a
// negative number when it failed.
double TimeChild(const std::string& self, HWND window, std::size_t size, long calls) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return -1;
  win32::UniqueHandle reader(readEnd);
  win32::UniqueHandle writer(writeEnd);
  SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

  char arguments[128];
  std::snprintf(arguments, sizeof(arguments), " %s %llx %lu %ld", kChildWord,
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)),
                static_cast<unsigned long>(size), calls);
  std::vector<char> commandLine = win32::WritableCommandLine("\"" + self + "\"" + arguments);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer.get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION created = {};
  if (!CreateProcessA(self.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &created)) {
    return -1;
  }
  win32::OwnedProcess child(created);
  writer.reset();  // the child holds the only write end now

  std::string output;
  char chunk[256];
  DWORD got = 0;
  while (ReadFile(reader.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0)
    output.append(chunk, got);
  WaitForSingleObject(child.process.get(), INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(child.process.get(), &exitCode);
  return exitCode == 0 ? std::atof(output.c_str()) : -1.0;
}

struct Variant {
  const char* label;
  HWND window;
  std::size_t size;  // 0: a bare message
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], kChildWord) == 0) {
    const HWND window =
        reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(argv[2], nullptr, 16)));
    return RunChild(window, std::strtoul(argv[3], nullptr, 10), std::strtol(argv[4], nullptr, 10));
  }
  const long calls = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 2000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  std::vector<std::size_t> sizes;
  for (int at = 3; at < argc; ++at) sizes.push_back(std::strtoul(argv[at], nullptr, 10));
  if (sizes.empty()) sizes = {8, 1024, 60000};
  const bool sizesFit = std::all_of(sizes.begin(), sizes.end(), [](std::size_t size) {
    return size > 0 && size <= channel::kMaxTextSize;
  });
  if (calls <= 0 || runs <= 0 || !sizesFit) {
    std::fprintf(stderr, "usage: channel_bench [calls per run] [runs] [sizes in bytes...]\n");
    return 2;
  }

  std::map<std::string, std::string> values;
  for (std::size_t size : sizes) values[TextOfSize(size, 'a')] = TextOfSize(size, 'A');
  GameChannel channel([&values](const std::string& name) {
    const auto found = values.find(name);
    return found == values.end() ? std::string() : found->second;
  });
  BareWindowThread bare(false);
  BareWindowThread bareWithDebugLine(true);
  if (channel.MessageWindow() == nullptr || !channel.HasSharedBlock() || bare.window() == nullptr ||
      bareWithDebugLine.window() == nullptr) {
    std::fprintf(stderr, "channel_bench: could not set up the windows\n");
    return 1;
  }

  std::vector<Variant> variants = {
      {"bare SendMessageA", bare.window(), 0},
      {"bare + OutputDebugStringA", bareWithDebugLine.window(), 0},
  };
  std::vector<std::string> labels;
  labels.reserve(sizes.size());  // the variants point into it
  for (std::size_t size : sizes) {
    labels.push_back("channel query, " + std::to_string(size) + " B");
    variants.push_back({labels.back().c_str(), channel.MessageWindow(), size});
  }
  const std::string self = win32::GetModulePath(nullptr);
  // Runs interleave the variants, so that a busy moment of the machine
  // spreads over all of them instead of spoiling one.
  std::vector<std::vector<double>> samples(variants.size());
  for (int run = 0; run < runs; ++run) {
    for (std::size_t at = 0; at < variants.size(); ++at) {
      const double microseconds = TimeChild(self, variants[at].window, variants[at].size, calls);
      if (microseconds < 0) {
        std::fprintf(stderr, "channel_bench: the child for \"%s\" failed\n", variants[at].label);
        return 1;
      }
      samples[at].push_back(microseconds);
    }
  }

  std::printf("%ld round trips per run, median of %d runs, one child process per run\n", calls,
              runs);
  std::printf("%-28s %12s %14s %10s %12s\n", "variant", "us/round", "round trips/s", "vs bare",
              "vs bare+ODS");
  const double bareMicroseconds = bench::Median(samples[0]);
  const double withDebugLineMicroseconds = bench::Median(samples[1]);
  bool floorMet = true;
  for (std::size_t at = 0; at < variants.size(); ++at) {
    const double microseconds = bench::Median(samples[at]);
    const double ratio = bareMicroseconds / microseconds;
    if (variants[at].window == channel.MessageWindow() && ratio < 0.7) floorMet = false;
    std::printf("%-28s %12.1f %14.0f %10.2f %12.2f\n", variants[at].label, microseconds,
                1e6 / microseconds, ratio, withDebugLineMicroseconds / microseconds);
  }
  std::printf("floor (each channel query at least 0.7 of bare): %s\n", floorMet ? "met" : "MISSED");
  return 0;
}
