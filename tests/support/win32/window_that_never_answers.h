// A window of the test process that never takes a sent message, for tests
// of what a launcher does when a handshake names such a window.
#pragma once

#include <windows.h>

#include <cstddef>
#include <thread>

#include "common/win32/handles.h"
#include "tests/support/win32/handshake_reply_window.h"

namespace testsupport {

// A window of this process on a thread of its own that never takes a sent
// message: a handshake reply sent to it is never answered. The thread just
// waits; when it looks alive, it waits on its message queue too (for posted
// messages only), so the system never counts it hung.
class WindowThatNeverAnswers {
  static constexpr DWORD kCreateTimeoutMs = 10000;

 public:
  explicit WindowThatNeverAnswers(bool looksAlive) : looksAlive_(looksAlive) {
    release_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    win32::UniqueHandle created(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    thread_ = std::thread([this, &created] {
      testsupport::HandshakeReplyWindow window;
      window_ = window.window();
      SetEvent(created.get());
      const HANDLE release = release_.get();
      if (looksAlive_) {
        MsgWaitForMultipleObjects(1, &release, FALSE, INFINITE, QS_POSTMESSAGE);
      } else {
        WaitForSingleObject(release, INFINITE);
      }
      replies_ = window.replies().size();
    });
    WaitForSingleObject(created.get(), kCreateTimeoutMs);
  }
  ~WindowThatNeverAnswers() { Release(); }
  WindowThatNeverAnswers(const WindowThatNeverAnswers&) = delete;
  WindowThatNeverAnswers& operator=(const WindowThatNeverAnswers&) = delete;

  HWND window() const { return window_; }
  // Lets the thread end, and with it the window; how many replies it took.
  std::size_t Release() {
    if (thread_.joinable()) {
      SetEvent(release_.get());
      thread_.join();
    }
    return replies_;
  }

 private:
  bool looksAlive_;
  win32::UniqueHandle release_;
  std::thread thread_;
  HWND window_ = nullptr;
  std::size_t replies_ = 0;
};

}  // namespace testsupport
