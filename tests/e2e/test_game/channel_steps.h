// The test game's side of the game channel: the script commands that talk to
// the launcher that started it, through the client library and through raw
// protocol steps (see game_files.h).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "kova_client.h"

namespace testgame {

struct QueryTally;

// Appends `text` to the record file as one piece.
void AppendRecord(const std::string& text);

// The process that started this one; 0 when it cannot be told.
DWORD ParentProcessId();

// The launcher window owned by `processId`; null when it has none.
HWND ChannelWindowOf(DWORD processId);

// Sends the handshake with this process's id to every launcher window on the
// desktop; returns how many replies carried that id.
std::size_t HandshakeWithEveryLauncher();

class ChannelSteps {
 public:
  explicit ChannelSteps(DWORD parentId) : parentId_(parentId) {}
  ~ChannelSteps() { KovaClientDisconnect(&client_); }
  ChannelSteps(const ChannelSteps&) = delete;
  ChannelSteps& operator=(const ChannelSteps&) = delete;

  // Runs the channel command `command` of script line `line`, given the rest
  // of the line; false when `command` is not a channel command.
  bool Run(int line, const std::string& command, const std::string& arguments);

 private:
  std::string Connect();
  std::string Query(const std::string& name);
  std::string RawHandshake(const std::string& arguments);
  std::string RawQuery(const std::string& arguments);
  std::string Rendezvous(const std::string& arguments);
  std::string LauncherThreads();
  std::string QueryLoop(const std::string& arguments);
  std::string Load(const std::string& arguments);
  void Tally(const std::string& name, const std::string& want, std::vector<char>& buffer,
             QueryTally& tally);

  DWORD parentId_;
  KovaClient client_ = {};
};

}  // namespace testgame
