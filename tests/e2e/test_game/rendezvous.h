// A meeting point of several processes (games, tests, benchmarks), by name:
// each arrival counts itself, and all go on once `count` have arrived.
#pragma once

#include <windows.h>

#include <string>

#include "common/win32/handles.h"

namespace testgame {

enum class RendezvousResult { Met, TimedOut, NoObjects };

inline RendezvousResult MeetAt(const std::string& name, long count, DWORD timeoutMs) {
  win32::UniqueHandle allHere(CreateEventA(nullptr, TRUE, FALSE, (name + "-all-here").c_str()));
  win32::UniqueHandle arrivals(
      CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, (name + "-arrivals").c_str()));
  if (!allHere || !arrivals) return RendezvousResult::NoObjects;
  LONG before = 0;
  ReleaseSemaphore(arrivals.get(), 1, &before);
  if (before + 1 >= count) SetEvent(allHere.get());
  return WaitForSingleObject(allHere.get(), timeoutMs) == WAIT_OBJECT_0
             ? RendezvousResult::Met
             : RendezvousResult::TimedOut;
}

}  // namespace testgame
