// The launcher's side of the game channel (channel/kova_protocol.h): a worker
// thread with a hidden window of the protocol's class, through which the
// running game makes its handshake and asks for string properties by name, and
// the named shared block that carries each request and its reply.
#pragma once

#include <windows.h>

#include <atomic>

#include "channel/channel_protocol.h"
#include "common/win32/handles.h"

class GameChannel {
 public:
  // Answers from the partner properties. Returns once the worker's window
  // exists and the shared block is set up, or once the worker has ended without
  // a window (the game then runs without a channel).
  GameChannel();
  // Answers from `lookup` instead.
  explicit GameChannel(channel::StringLookup lookup);
  // Stops answering handshakes, has the worker thread end and waits for it,
  // then releases the shared block.
  ~GameChannel();

  GameChannel(const GameChannel&) = delete;
  GameChannel& operator=(const GameChannel&) = delete;

  // The process id a handshake must carry. No effect once a handshake was
  // accepted. Until it is set, no handshake is answered: no process has id 0.
  void SetGameProcessId(DWORD processId);

  // The window the game talks to; null when the worker could not create it.
  HWND MessageWindow() const { return messageWindow_; }
  bool HasSharedBlock() const { return blockView_.valid(); }
  bool IsConnected() const { return connected_; }

 private:
  static DWORD WINAPI WorkerMain(void* parameter);
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  void StartWorker();
  void StopWorker();
  void RunWorker();
  void CreateSharedBlock();
  LRESULT AnswerStringQuery();
  void AnswerHandshake(WPARAM processId, HWND gameWindow);

  channel::StringLookup lookup_;
  win32::UniqueHandle workerThread_;
  DWORD workerThreadId_ = 0;
  HWND messageWindow_ = nullptr;  // owned and destroyed by the worker thread
  win32::UniqueHandle startEvent_;
  win32::UniqueHandle blockMapping_;
  win32::UniqueMappedView blockView_;
  // The mapped block as the worker sees it: published once mapping is done,
  // since a query could reach the window while the owner is still mapping.
  std::atomic<unsigned char*> answerBlock_{nullptr};
  // Written by the worker, read by the owner: atomic, so neither needs a lock.
  std::atomic<bool> connected_{false};
  std::atomic<DWORD> gameProcessId_{0};
  // Set by the owner when destruction begins: from then on handshakes go
  // unanswered, so a flood of them cannot keep the worker from its quit message.
  std::atomic<bool> stopping_{false};
  UINT queryMessage_ = 0;
  UINT handshakeMessage_ = 0;
  UINT handshakeReplyMessage_ = 0;
};
