// A game's message-only window that keeps every handshake reply a launcher's
// channel sends it, for the tests and the test game that play the game's side.
#pragma once

#include <windows.h>

#include <vector>

#include "channel/channel_protocol.h"
#include "common/win32/handles.h"

namespace testsupport {

class HandshakeReplyWindow {
 public:
  struct Reply {
    WPARAM processId;
    LPARAM launcherWindow;
  };

  HandshakeReplyWindow()
      : replyMessage_(RegisterWindowMessageA(channel::kHandshakeReplyMessageName)) {
    static const ATOM windowClass = [] {
      WNDCLASSA description = {};
      description.lpfnWndProc = Procedure;
      description.hInstance = GetModuleHandleA(nullptr);
      description.lpszClassName = "KovaTestHandshakeReplyWindow";
      return RegisterClassA(&description);
    }();
    window_.reset(CreateWindowExA(0, MAKEINTATOM(windowClass), nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, GetModuleHandleA(nullptr), nullptr));
    SetWindowLongPtrA(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  HandshakeReplyWindow(const HandshakeReplyWindow&) = delete;
  HandshakeReplyWindow& operator=(const HandshakeReplyWindow&) = delete;

  HWND window() const { return window_.get(); }
  const std::vector<Reply>& replies() const { return replies_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<HandshakeReplyWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == self->replyMessage_) {
      self->replies_.push_back({wParam, lParam});
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  UINT replyMessage_;
  win32::UniqueWindow window_;
  std::vector<Reply> replies_;
};

}  // namespace testsupport
