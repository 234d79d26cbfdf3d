// What the planted test DLL writes when a process loads it.
#pragma once

namespace planted {

// Beside the DLL; one line for each process that loaded a copy:
// "<DLL file name> loaded by <full path of the process's program>".
constexpr char kRecordFileName[] = "planted-dll-record.txt";
constexpr char kLoadedBy[] = " loaded by ";

}  // namespace planted
