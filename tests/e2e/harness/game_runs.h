// Steering the test game and reading what it recorded.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace e2e {

// One start of the test game: the keys of its record block (see
// tests/e2e/test_game/game_files.h).
struct GameRun {
  std::map<std::string, std::string> values;

  std::string Get(const std::string& key) const;
  unsigned long Attributes() const;
  unsigned long long Size() const;
};

// Writes the game's script into `directory`, one command a line.
bool WriteGameScript(const std::string& directory, const std::vector<std::string>& commands);

// Every start of the test game recorded in `directory`, in order.
std::vector<GameRun> ReadGameRuns(const std::string& directory);

}  // namespace e2e
