// The launcher's side of the game channel (channel/kova_protocol.h): a worker
// thread with a hidden window of the protocol's class, through which the
// running game makes its handshake and asks for string properties by name, and
// the named shared block that carries each request and its reply.
#pragma once

#include <windows.h>

#include <memory>

#include "channel/channel_protocol.h"
#include "channel/win32/debug_line_writer.h"
#include "common/win32/handles.h"

class GameChannel {
 public:
  // Answers from the partner properties. Returns once the worker's window
  // exists and the shared block is set up, or once the worker has ended without
  // a window (the game then runs without a channel).
  GameChannel();
  // Answers from `lookup` instead, writing the debugger lines with `writeLine`
  // (OutputDebugStringA when null).
  explicit GameChannel(channel::StringLookup lookup,
                       DebugLineWriter::WriteFunction writeLine = nullptr);
  // Stops answering handshakes, has the worker thread end and waits for it for
  // a bounded time, then releases the shared block. A worker that has not
  // ended by then is left to the process's exit, and with it the window and
  // the block, which it might still use.
  ~GameChannel();

  GameChannel(const GameChannel&) = delete;
  GameChannel& operator=(const GameChannel&) = delete;

  // The process id a handshake must carry. No effect once a handshake was
  // accepted. Until it is set, no handshake is answered: no process has id 0.
  void SetGameProcessId(DWORD processId);
  // The job that holds the game's processes: a handshake may also name a
  // window of another process in it, carrying the game's id or that
  // process's own (a program the game started connects as itself). The
  // channel keeps its own handle to the job. Only the first call counts;
  // without one, only the game's own windows are answered.
  void SetGameJob(HANDLE job);

  DWORD GameProcessId() const;

  // The window the game talks to; null when the worker could not create it.
  HWND MessageWindow() const;
  bool HasSharedBlock() const;
  bool IsConnected() const;

  // What the worker thread uses (defined with the channel's code).
  struct Worker;

 private:
  static DWORD WINAPI WorkerMain(void* parameter);

  void StartWorker();
  bool StopWorker();

  // Everything the worker thread uses, shared with it: a worker left behind at
  // destruction keeps it alive.
  std::shared_ptr<Worker> worker_;
  win32::UniqueHandle workerThread_;
  DWORD workerThreadId_ = 0;
  win32::UniqueHandle startEvent_;
};
