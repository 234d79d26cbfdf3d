// A stand-in for a launcher's channel, for tests of the game's side: a window
// of the launcher's class on a thread of its own, in the test process, that
// answers handshakes and queries the way a case asks for: honestly, slowly,
// lying, with a block of the wrong size, or not at all. In a game's test it is
// a launcher of the game's own process; in a launcher's test it is another
// process's window, a fake launcher.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "channel/channel_protocol.h"
#include "common/win32/handles.h"

namespace testsupport {

struct StandInBehaviour {
  enum class Handshake {
    Answer,          // replies with the id it was sent and its own window
    OtherProcessId,  // replies with another process id
    OtherWindow,     // replies naming another window, which has a block of its own
    Silent,          // takes the handshake and never replies
  };
  Handshake handshake = Handshake::Answer;
  // Each handshake is held this long before it is answered (or not).
  DWORD handshakeDelayMs = 0;
  // Its thread handles no message at all, as a hung launcher's.
  bool hung = false;
  // The size of the block it creates under the name of the window it names.
  DWORD blockSize = static_cast<DWORD>(channel::kBlockSize);
  // Each query sleeps this long before it is answered.
  DWORD queryDelayMs = 0;
  // Each query is answered with this text and the name asked for.
  std::string valuePrefix = "stand-in: ";
  // Each query is answered with this length word and no bytes, when non-zero.
  uint32_t replyLengthWord = 0;
  // The k-th answer (from 1) carries k times this many '+' behind the text.
  std::size_t longerEachTime = 0;
  // When set, it overwrites the user data of the window a handshake names for
  // its reply, with what this gives for the data the window held, before it
  // replies: as any process can.
  LONG_PTR (*replyWindowData)(LONG_PTR held) = nullptr;
  // Sends WM_CLOSE to the window a handshake names for its reply, before it
  // replies.
  bool closeReplyWindow = false;
};

class StandInLauncher {
 public:
  explicit StandInLauncher(StandInBehaviour behaviour = {})
      : behaviour_(std::move(behaviour)),
        created_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    // Started once every member is initialised: the thread writes some of them.
    thread_.reset(CreateThread(nullptr, 0, Run, this, 0, &threadId_));
    if (thread_) {
      const HANDLE createdOrEnded[] = {created_.get(), thread_.get()};
      WaitForMultipleObjects(2, createdOrEnded, FALSE, 10000);
    }
  }
  StandInLauncher(const StandInLauncher&) = delete;
  StandInLauncher& operator=(const StandInLauncher&) = delete;
  ~StandInLauncher() {
    if (!thread_) return;
    SetEvent(release_.get());
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_.get(), INFINITE);
  }

  HWND window() const { return window_; }
  // The names it was asked for, in order.
  std::vector<std::string> requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  // Registered under a module other than the test program's, so that this
  // class and the one a real channel of the test program registers, under the
  // same name, do not stand in each other's way.
  static HINSTANCE Instance() { return GetModuleHandleA("kernel32.dll"); }

  static DWORD WINAPI Run(void* parameter) {
    static_cast<StandInLauncher*>(parameter)->RunThread();
    return 0;
  }

  void RunThread() {
    WNDCLASSA description = {};
    description.lpfnWndProc = Procedure;
    description.hInstance = Instance();
    description.lpszClassName = channel::kWindowClassName;
    RegisterClassA(&description);  // or already registered by another stand-in
    // Top-most: ahead of every ordinary window of the class when windows are
    // listed, as a fake launcher would place itself.
    win32::UniqueWindow window(CreateWindowExA(WS_EX_TOPMOST, channel::kWindowClassName, nullptr, 0,
                                               0, 0, 0, 0, nullptr, nullptr, Instance(), nullptr));
    win32::UniqueWindow otherWindow;
    if (behaviour_.handshake == StandInBehaviour::Handshake::OtherWindow) {
      otherWindow.reset(CreateWindowExA(0, "STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        Instance(), nullptr));
    }
    namedWindow_ = otherWindow ? otherWindow.get() : window.get();
    win32::UniqueHandle mapping(CreateFileMappingA(
        INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, behaviour_.blockSize,
        channel::BlockNameForWindow(reinterpret_cast<uintptr_t>(namedWindow_)).c_str()));
    win32::UniqueMappedView view(
        mapping ? MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, behaviour_.blockSize)
                : nullptr);
    // Queries are answered only through a block of the protocol's size.
    if (behaviour_.blockSize == channel::kBlockSize)
      block_ = static_cast<unsigned char*>(view.get());
    SetWindowLongPtrA(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = window.get();
    SetEvent(created_.get());

    if (behaviour_.hung) {
      WaitForSingleObject(release_.get(), INFINITE);
      return;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    static const UINT query = RegisterWindowMessageA(channel::kQueryMessageName);
    static const UINT handshake = RegisterWindowMessageA(channel::kHandshakeMessageName);
    static const UINT reply = RegisterWindowMessageA(channel::kHandshakeReplyMessageName);
    auto* self = reinterpret_cast<StandInLauncher*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == handshake) {
      Sleep(self->behaviour_.handshakeDelayMs);
      if (self->behaviour_.handshake == StandInBehaviour::Handshake::Silent) return 0;
      const bool otherId =
          self->behaviour_.handshake == StandInBehaviour::Handshake::OtherProcessId;
      if (self->behaviour_.replyWindowData != nullptr) {
        const auto replyWindow = reinterpret_cast<HWND>(lParam);
        SetWindowLongPtrA(
            replyWindow, GWLP_USERDATA,
            self->behaviour_.replyWindowData(GetWindowLongPtrA(replyWindow, GWLP_USERDATA)));
      }
      if (self->behaviour_.closeReplyWindow) {
        SendMessageA(reinterpret_cast<HWND>(lParam), WM_CLOSE, 0, 0);
      }
      SendMessageA(reinterpret_cast<HWND>(lParam), reply, otherId ? wParam + 4 : wParam,
                   reinterpret_cast<LPARAM>(self->namedWindow_));
    } else if (self != nullptr && message == query && self->block_ != nullptr) {
      return self->Answer();
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  LRESULT Answer() {
    std::string name;
    if (!channel::ReadRequest(block_, name)) return channel::kQueryFailed;
    std::size_t answers;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(name);
      answers = requests_.size();
    }
    Sleep(behaviour_.queryDelayMs);
    if (behaviour_.replyLengthWord != 0) {
      for (int at = 0; at < 4; ++at) {
        block_[at] = static_cast<unsigned char>(behaviour_.replyLengthWord >> (8 * at));
      }
      return channel::kQueryAnswered;
    }
    const std::string value =
        behaviour_.valuePrefix + name + std::string(answers * behaviour_.longerEachTime, '+');
    return channel::WriteReply(block_, value) ? channel::kQueryAnswered : channel::kQueryFailed;
  }

  const StandInBehaviour behaviour_;
  win32::UniqueHandle created_;
  win32::UniqueHandle release_;
  DWORD threadId_ = 0;
  win32::UniqueHandle thread_;
  HWND window_ = nullptr;       // owned by the stand-in's thread
  HWND namedWindow_ = nullptr;  // the window its handshake replies name
  unsigned char* block_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
};

}  // namespace testsupport
