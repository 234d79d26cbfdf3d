// Debugger-output lines written on a thread of their own. Writing a line can
// wait without a limit on objects any process of the session can make (a
// debug-output monitor's mutex), so the thread that answers the game only
// hands its lines over and never waits for them to be written.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

#include "common/win32/handles.h"

class DebugLineWriter {
 public:
  // How a line reaches the debugger: OutputDebugStringA unless a test says otherwise.
  using WriteFunction = void(WINAPI*)(const char* line);

  // Lines held at most, in bytes; a line that would go beyond is dropped. Only
  // a writer that does not get on (a monitor that keeps its mutex) fills it.
  static constexpr std::size_t kMaxHeldBytes = 8u << 20;

  explicit DebugLineWriter(WriteFunction write = OutputDebugStringA);
  // Finish() with the default bounds.
  ~DebugLineWriter();

  DebugLineWriter(const DebugLineWriter&) = delete;
  DebugLineWriter& operator=(const DebugLineWriter&) = delete;

  // Queues `line` behind the lines before it. Never waits for a write. False
  // when the line was dropped: the queue is full, or the thread has been told
  // to finish.
  bool Write(std::string line);

  // Has the thread write the lines it holds and end. Waits as long as lines
  // keep being written, but no longer than `stallMs` without one written and
  // `limitMs` in all. True when the thread has ended; otherwise it is left to
  // the process's exit, with what it holds and uses kept alive until then.
  bool Finish(DWORD stallMs = kStallMs, DWORD limitMs = kLimitMs);

  static constexpr DWORD kStallMs = 1000;
  static constexpr DWORD kLimitMs = 10000;

 private:
  struct Queue;
  static DWORD WINAPI ThreadMain(void* parameter);

  std::shared_ptr<Queue> queue_;
  // Written before any other thread sees the writer; only read afterwards.
  bool started_ = false;
  // The owner's alone: Write() never touches it.
  win32::UniqueHandle thread_;
};
