#include "channel/win32/debug_line_writer.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <utility>

namespace {

constexpr DWORD kFinishPollMs = 20;

}  // namespace

// Shared by the owner and the thread; whichever lets go last frees it, so a
// thread left behind never writes from freed memory.
struct DebugLineWriter::Queue {
  explicit Queue(WriteFunction writeLine) : write(writeLine) {}

  const WriteFunction write;
  std::mutex lock;
  std::condition_variable wake;
  std::deque<std::string> lines;  // under lock
  std::size_t heldBytes = 0;      // under lock
  bool finishing = false;         // under lock
  std::atomic<unsigned long> written{0};
};

DebugLineWriter::DebugLineWriter(WriteFunction write) : queue_(std::make_shared<Queue>(write)) {
  auto* threadsQueue = new (std::nothrow) std::shared_ptr<Queue>(queue_);
  if (threadsQueue == nullptr) return;
  thread_.reset(CreateThread(nullptr, 0, ThreadMain, threadsQueue, 0, nullptr));
  if (thread_) {
    started_ = true;
  } else {
    delete threadsQueue;
  }
}

DebugLineWriter::~DebugLineWriter() { Finish(); }

bool DebugLineWriter::Write(std::string line) {
  if (!started_) return false;
  {
    const std::lock_guard<std::mutex> held(queue_->lock);
    if (queue_->finishing || queue_->heldBytes + line.size() > kMaxHeldBytes) return false;
    try {
      queue_->lines.push_back(std::move(line));
    } catch (const std::bad_alloc&) {
      return false;
    }
    queue_->heldBytes += queue_->lines.back().size();
  }
  queue_->wake.notify_one();
  return true;
}

bool DebugLineWriter::Finish(DWORD stallMs, DWORD limitMs) {
  if (!thread_) return true;
  {
    const std::lock_guard<std::mutex> held(queue_->lock);
    queue_->finishing = true;
  }
  queue_->wake.notify_one();
  const ULONGLONG start = GetTickCount64();
  ULONGLONG lastProgress = start;
  unsigned long writtenBefore = queue_->written;
  for (;;) {
    if (WaitForSingleObject(thread_.get(), kFinishPollMs) != WAIT_TIMEOUT) break;
    const ULONGLONG now = GetTickCount64();
    const unsigned long written = queue_->written;
    if (written != writtenBefore) {
      writtenBefore = written;
      lastProgress = now;
    }
    if (now - lastProgress >= stallMs || now - start >= limitMs) {
      // Stuck in a write: its thread keeps its share of the queue.
      thread_.reset();
      return false;
    }
  }
  thread_.reset();
  return true;
}

DWORD WINAPI DebugLineWriter::ThreadMain(void* parameter) {
  const std::unique_ptr<std::shared_ptr<Queue>> owned(
      static_cast<std::shared_ptr<Queue>*>(parameter));
  Queue& queue = **owned;
  for (;;) {
    std::string line;
    {
      std::unique_lock<std::mutex> held(queue.lock);
      queue.wake.wait(held, [&] { return queue.finishing || !queue.lines.empty(); });
      if (queue.lines.empty()) return 0;  // finishing, and all written
      line = std::move(queue.lines.front());
      queue.lines.pop_front();
      queue.heldBytes -= line.size();
    }
    queue.write(line.c_str());
    ++queue.written;
  }
}
