#include "channel/win32/game_channel.h"

#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "channel/win32/debug_line_writer.h"
#include "properties/partner_properties.h"

namespace {

// How long the worker waits for a game's window to take the handshake reply.
// A game's client handles it at once, while its own send waits; a window
// that does not within 2 s is not the game's, and must not hold the worker
// (and with it every query, and the launcher's end) any longer.
constexpr UINT kHandshakeReplyTimeoutMs = 2000;
// How long the owner waits for the worker to end after asking it to. Each
// message the channel handles itself ends within the handshake reply's bound;
// default processing of what other processes send is the system's, so the
// wait is bounded anyway.
constexpr DWORD kWorkerEndMs = 2 * kHandshakeReplyTimeoutMs + 1000;
// How long the owner waits between posts of the quit message when the
// worker's queue was full.
constexpr DWORD kQuitRetryMs = 10;

}  // namespace

struct GameChannel::Worker {
  Worker(channel::StringLookup lookupValue, DebugLineWriter::WriteFunction writeLine)
      : lookup(std::move(lookupValue)),
        lines(writeLine != nullptr ? writeLine : OutputDebugStringA),
        queryMessage(RegisterWindowMessageA(channel::kQueryMessageName)),
        handshakeMessage(RegisterWindowMessageA(channel::kHandshakeMessageName)),
        handshakeReplyMessage(RegisterWindowMessageA(channel::kHandshakeReplyMessageName)) {}

  void Run();
  void CreateSharedBlock();
  LRESULT AnswerStringQuery();
  void AnswerHandshake(WPARAM processId, HWND gameWindow);
  bool BelongsToTheGame(WPARAM processId, HWND window) const;
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  const channel::StringLookup lookup;
  DebugLineWriter lines;
  // Registered ids of the three message names. The system gives every process
  // that registers a name the same id, whatever the order, so the game's ids match.
  const UINT queryMessage;
  const UINT handshakeMessage;
  const UINT handshakeReplyMessage;
  HWND messageWindow = nullptr;  // owned and destroyed by the worker thread
  HANDLE startEvent = nullptr;   // the owner's; set only while it waits for the start
  win32::UniqueHandle blockMapping;
  win32::UniqueMappedView blockView;
  // The mapped block as the worker sees it: published once mapping is done,
  // since a query could reach the window while the owner is still mapping.
  std::atomic<unsigned char*> answerBlock{nullptr};
  // Written by the worker, read by the owner: atomic, so neither needs a lock.
  std::atomic<bool> connected{false};
  std::atomic<DWORD> gameProcessId{0};
  // The channel's own handle to the game's job, published once.
  win32::UniqueHandle gameJobOwner;
  std::atomic<HANDLE> gameJob{nullptr};
  // Set by the owner when destruction begins, before it posts the quit
  // message: from then on handshakes go unanswered, so a flood of them cannot
  // keep the worker from its quit, and only from then on does a quit end the
  // message loop. Anyone can post WM_QUIT to the window or the thread.
  std::atomic<bool> stopping{false};
  // Set by the owner when it stopped waiting for the worker: whatever the
  // worker takes afterwards goes unanswered.
  std::atomic<bool> abandoned{false};
};

namespace {

// The worker whose thread this is; set once its window exists. The window
// procedure answers for this worker only: any process on the desktop can
// overwrite the window's user data.
thread_local GameChannel::Worker* threadsWorker = nullptr;

}  // namespace

GameChannel::GameChannel()
    : GameChannel([](const std::string& name) { return GetPartnerString(name, ""); }) {}

GameChannel::GameChannel(channel::StringLookup lookup, DebugLineWriter::WriteFunction writeLine)
    : worker_(std::make_shared<Worker>(std::move(lookup), writeLine)) {
  StartWorker();
  worker_->CreateSharedBlock();
}

GameChannel::~GameChannel() {
  worker_->stopping = true;
  const bool ended = !workerThread_ || StopWorker();
  if (!ended) worker_->abandoned = true;
  // The lines of the queries answered go out before the launcher goes on, as
  // far as their writer gets on.
  worker_->lines.Finish();
  // A worker that has ended let go of its share: the block goes now. One left
  // behind keeps it, since it might still answer into it.
  worker_.reset();
}

HWND GameChannel::MessageWindow() const { return worker_->messageWindow; }
bool GameChannel::HasSharedBlock() const { return worker_->blockView.valid(); }
bool GameChannel::IsConnected() const { return worker_->connected; }
DWORD GameChannel::GameProcessId() const { return worker_->gameProcessId; }

void GameChannel::SetGameProcessId(DWORD processId) {
  if (!worker_->connected) worker_->gameProcessId = processId;
}

void GameChannel::SetGameJob(HANDLE job) {
  if (job == nullptr || worker_->gameJobOwner) return;
  HANDLE own = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), job, GetCurrentProcess(), &own, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return;
  }
  worker_->gameJobOwner.reset(own);
  worker_->gameJob = own;
}

void GameChannel::StartWorker() {
  startEvent_.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  if (!startEvent_) return;
  worker_->startEvent = startEvent_.get();
  auto* threadsShare = new (std::nothrow) std::shared_ptr<Worker>(worker_);
  if (threadsShare == nullptr) return;
  workerThread_.reset(CreateThread(nullptr, 0, WorkerMain, threadsShare, 0, &workerThreadId_));
  if (workerThread_) {
    // The worker signals only once its window exists; if it ends without one,
    // its end releases the wait instead.
    const HANDLE startOrEnd[] = {startEvent_.get(), workerThread_.get()};
    WaitForMultipleObjects(2, startOrEnd, FALSE, INFINITE);
  } else {
    delete threadsShare;
  }
  worker_->startEvent = nullptr;
  startEvent_.reset();
}

void GameChannel::Worker::CreateSharedBlock() {
  if (messageWindow == nullptr) return;
  const std::string name = channel::BlockNameForWindow(reinterpret_cast<uintptr_t>(messageWindow));
  blockMapping.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        static_cast<DWORD>(channel::kBlockSize), name.c_str()));
  // A block of that name made by someone else first may be smaller than ours or
  // readable by them: run without a block rather than answer into it.
  if (blockMapping && GetLastError() == ERROR_ALREADY_EXISTS) blockMapping.reset();
  if (!blockMapping) return;
  blockView.reset(
      MapViewOfFile(blockMapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, channel::kBlockSize));
  answerBlock = static_cast<unsigned char*>(blockView.get());
}

// The quit is posted only after `stopping` is set, so the worker's loop takes
// it. True when the worker ended within its bound.
bool GameChannel::StopWorker() {
  const ULONGLONG deadline = GetTickCount64() + kWorkerEndMs;
  // A full queue refuses the message: post it again until it is taken, until
  // the worker has ended without it, or until the bound is reached.
  // (Untested: Wine's queues have no limit to fill.)
  while (!PostThreadMessageA(workerThreadId_, WM_QUIT, 0, 0) &&
         WaitForSingleObject(workerThread_.get(), kQuitRetryMs) == WAIT_TIMEOUT &&
         GetTickCount64() < deadline) {
  }
  const ULONGLONG now = GetTickCount64();
  const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
  // The worker destroys its window itself as its loop ends.
  const bool ended = WaitForSingleObject(workerThread_.get(), left) == WAIT_OBJECT_0;
  workerThread_.reset();
  return ended;
}

DWORD WINAPI GameChannel::WorkerMain(void* parameter) {
  const std::unique_ptr<std::shared_ptr<Worker>> share(
      static_cast<std::shared_ptr<Worker>*>(parameter));
  (*share)->Run();
  return 0;
}

void GameChannel::Worker::Run() {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = channel::kWindowClassName;
  // Fails when an earlier channel of this process registered it; the class is the same.
  RegisterClassA(&windowClass);

  win32::UniqueWindow window(CreateWindowExA(0, channel::kWindowClassName, nullptr, 0, 0, 0, 0, 0,
                                             nullptr, nullptr, instance, nullptr));
  messageWindow = window.get();
  if (!window) return;
  SetWindowLongPtrA(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  threadsWorker = this;
  SetEvent(startEvent);

  MSG message;
  for (;;) {
    const BOOL result = GetMessageA(&message, nullptr, 0, 0);
    // Only the quit the owner asked for ends the loop.
    if (result == 0 && stopping) break;
    if (result > 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  threadsWorker = nullptr;
  // Only this thread can destroy the window; a gone window is not destroyed again.
  if (!IsWindow(window.get())) (void)window.release();
}

// Messages that arrive before the worker is known get default processing.
// The user data is never read: whatever another process wrote there, the
// worker answers for its own channel. WM_CLOSE is not passed on, since its
// default processing destroys the window and anyone can send it; the window
// goes only when the worker ends.
LRESULT CALLBACK GameChannel::Worker::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                                      LPARAM lParam) {
  if (message == WM_CLOSE) return 0;
  Worker* self = threadsWorker;
  if (self != nullptr && message != 0) {
    if (message == self->queryMessage && lParam != 0) {
      return self->abandoned ? channel::kQueryFailed : self->AnswerStringQuery();
    }
    if (message == self->handshakeMessage) {
      self->AnswerHandshake(wParam, reinterpret_cast<HWND>(lParam));
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// The debugger line is handed to its writer's thread: writing it can wait on
// objects another process holds.
LRESULT GameChannel::Worker::AnswerStringQuery() {
  return channel::AnswerStringQuery(answerBlock.load(), lookup,
                                    [this](const std::string& line) { lines.Write(line); });
}

// Only a window of the game, or of another process of its job, takes a reply:
// any process that learns the game's id could otherwise name windows that
// never take it, each holding the worker for the reply's bound. The id
// carried is the game's own, or that of the window's process: a program the
// game started (the real game behind a bootstrap) connects with its own id.
// An id of any process outside the job is refused, since its window would
// have to be in the job too.
bool GameChannel::Worker::BelongsToTheGame(WPARAM processId, HWND window) const {
  DWORD owner = 0;
  if (GetWindowThreadProcessId(window, &owner) == 0 || owner == 0) return false;
  const DWORD gameId = gameProcessId.load();
  if (processId != gameId && processId != owner) return false;
  if (owner == gameId) return true;
  const HANDLE job = gameJob.load();
  if (job == nullptr) return false;
  // Wine's job test asks for the full query right; Windows takes either.
  win32::UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, owner));
  if (!process) process.reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, owner));
  BOOL inJob = FALSE;
  return process && IsProcessInJob(process.get(), job, &inJob) && inJob;
}

// The reply is sent with SMTO_BLOCK: while it waits, the worker takes no other
// sent message, so a flood of handshakes cannot nest waits on its stack.
void GameChannel::Worker::AnswerHandshake(WPARAM processId, HWND gameWindow) {
  if (stopping || abandoned || gameProcessId.load() == 0 || processId == 0 ||
      !IsWindow(gameWindow) || !BelongsToTheGame(processId, gameWindow)) {
    return;
  }
  connected = true;
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(gameWindow, handshakeReplyMessage, processId,
                      reinterpret_cast<LPARAM>(messageWindow), SMTO_BLOCK | SMTO_ABORTIFHUNG,
                      kHandshakeReplyTimeoutMs, &ignored);
}
