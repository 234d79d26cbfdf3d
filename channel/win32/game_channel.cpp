#include "channel/win32/game_channel.h"

#include <cstdint>
#include <string>
#include <utility>

#include "properties/partner_properties.h"

namespace {

// How long the worker waits for a game's window to take the handshake reply.
// A game's client handles it at once, while its own send waits; a window
// that does not within 2 s is not the game's, and must not hold the worker
// (and with it every query, and the launcher's end) any longer.
constexpr UINT kHandshakeReplyTimeoutMs = 2000;
// How long the owner waits for the worker to end before it posts the quit
// message again when the worker's queue was full.
constexpr DWORD kQuitRetryMs = 10;

// The channel whose worker runs on this thread; set once the window's user
// data holds it. The window procedure answers for this channel only: any
// process on the desktop can overwrite the window's user data.
thread_local GameChannel* workerChannel = nullptr;

}  // namespace

GameChannel::GameChannel()
    : GameChannel([](const std::string& name) { return GetPartnerString(name, ""); }) {}

// The members are declared, and so the names registered, in this order:
// query, handshake, handshake reply.
GameChannel::GameChannel(channel::StringLookup lookup)
    : lookup_(std::move(lookup)),
      queryMessage_(RegisterWindowMessageA(channel::kQueryMessageName)),
      handshakeMessage_(RegisterWindowMessageA(channel::kHandshakeMessageName)),
      handshakeReplyMessage_(RegisterWindowMessageA(channel::kHandshakeReplyMessageName)) {
  StartWorker();
  CreateSharedBlock();
}

GameChannel::~GameChannel() {
  stopping_ = true;
  if (workerThread_) StopWorker();
  // No query can be in progress now: the worker has ended.
  answerBlock_ = nullptr;
  blockView_.reset();
  blockMapping_.reset();
}

void GameChannel::SetGameProcessId(DWORD processId) {
  if (!connected_) gameProcessId_ = processId;
}

void GameChannel::StartWorker() {
  startEvent_.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  if (!startEvent_) return;
  workerThread_.reset(CreateThread(nullptr, 0, WorkerMain, this, 0, &workerThreadId_));
  if (workerThread_) {
    // The worker signals only once its window exists; if it ends without one,
    // its end releases the wait instead.
    const HANDLE startOrEnd[] = {startEvent_.get(), workerThread_.get()};
    WaitForMultipleObjects(2, startOrEnd, FALSE, INFINITE);
  }
  startEvent_.reset();
}

void GameChannel::CreateSharedBlock() {
  if (messageWindow_ == nullptr) return;
  const std::string name = channel::BlockNameForWindow(reinterpret_cast<uintptr_t>(messageWindow_));
  blockMapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         static_cast<DWORD>(channel::kBlockSize), name.c_str()));
  // A block of that name made by someone else first may be smaller than ours or
  // readable by them: run without a block rather than answer into it.
  if (blockMapping_ && GetLastError() == ERROR_ALREADY_EXISTS) blockMapping_.reset();
  if (!blockMapping_) return;
  blockView_.reset(
      MapViewOfFile(blockMapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, channel::kBlockSize));
  answerBlock_ = static_cast<unsigned char*>(blockView_.get());
}

// Every message the worker handles ends within the handshake reply's bound,
// so once the quit message is in its queue the worker ends.
void GameChannel::StopWorker() {
  // A full queue refuses the message: post it again until it is taken, or
  // until the worker has ended without it. (Untested: Wine's queues have no limit to fill.)
  while (!PostThreadMessageA(workerThreadId_, WM_QUIT, 0, 0) &&
         WaitForSingleObject(workerThread_.get(), kQuitRetryMs) == WAIT_TIMEOUT) {
  }
  // The worker destroys its window itself as its loop ends.
  WaitForSingleObject(workerThread_.get(), INFINITE);
  workerThread_.reset();
}

DWORD WINAPI GameChannel::WorkerMain(void* parameter) {
  static_cast<GameChannel*>(parameter)->RunWorker();
  return 0;
}

void GameChannel::RunWorker() {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = channel::kWindowClassName;
  // Fails when an earlier channel of this process registered it; the class is the same.
  RegisterClassA(&windowClass);

  win32::UniqueWindow window(CreateWindowExA(0, channel::kWindowClassName, nullptr, 0, 0, 0, 0, 0,
                                             nullptr, nullptr, instance, nullptr));
  messageWindow_ = window.get();
  if (!window) return;
  SetWindowLongPtrA(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  workerChannel = this;
  SetEvent(startEvent_.get());

  MSG message;
  for (;;) {
    const BOOL result = GetMessageA(&message, nullptr, 0, 0);
    if (result == 0) break;  // the quit message
    if (result > 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  // Someone may have closed the window already; a gone window is not destroyed again.
  if (!IsWindow(window.get())) (void)window.release();
}

// Messages that arrive before the user data holds the channel get default
// processing. Afterwards the user data is not read again: whatever another
// process wrote there, the worker answers for its own channel.
LRESULT CALLBACK GameChannel::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  GameChannel* self = workerChannel;
  if (self != nullptr && message != 0) {
    if (message == self->queryMessage_ && lParam != 0) return self->AnswerStringQuery();
    if (message == self->handshakeMessage_) {
      self->AnswerHandshake(wParam, reinterpret_cast<HWND>(lParam));
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT GameChannel::AnswerStringQuery() {
  return channel::AnswerStringQuery(answerBlock_.load(), lookup_, [](const std::string& line) {
    OutputDebugStringA(line.c_str());
  });
}

// The reply is sent with SMTO_BLOCK: while it waits, the worker takes no other
// sent message, so a flood of handshakes cannot nest waits on its stack.
void GameChannel::AnswerHandshake(WPARAM processId, HWND gameWindow) {
  const DWORD gameProcessId = gameProcessId_.load();
  if (stopping_ || gameProcessId == 0 || processId != gameProcessId || !IsWindow(gameWindow)) {
    return;
  }
  connected_ = true;
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(gameWindow, handshakeReplyMessage_, processId,
                      reinterpret_cast<LPARAM>(messageWindow_), SMTO_BLOCK | SMTO_ABORTIFHUNG,
                      kHandshakeReplyTimeoutMs, &ignored);
}
