#include "tests/e2e/harness/game_runs.h"

#include <cstdlib>

#include "tests/e2e/harness/test_files.h"
#include "tests/e2e/test_game/game_files.h"

namespace e2e {

std::string GameRun::Get(const std::string& key) const {
  const auto found = values.find(key);
  return found == values.end() ? std::string() : found->second;
}

unsigned long GameRun::Attributes() const {
  return std::strtoul(Get("attributes").c_str(), nullptr, 10);
}

unsigned long long GameRun::Size() const { return std::strtoull(Get("size").c_str(), nullptr, 10); }

bool WriteGameScript(const std::string& directory, const std::vector<std::string>& commands) {
  std::string script;
  for (const std::string& command : commands) script += command + "\r\n";
  return WriteWholeFile(directory + "\\" + testgame::kScriptFileName, script);
}

std::vector<GameRun> ReadGameRuns(const std::string& directory) {
  std::vector<GameRun> runs;
  std::string record;
  if (ReadWholeFile(directory + "\\" + testgame::kRecordFileName, record) != WholeFileStatus::Ok)
    return runs;
  std::string::size_type start = 0;
  while (start < record.size()) {
    std::string::size_type end = record.find('\n', start);
    if (end == std::string::npos) end = record.size();
    const std::string line = record.substr(start, end - start);
    start = end + 1;
    if (line == "run") {
      runs.emplace_back();
      continue;
    }
    const std::string::size_type equals = line.find('=');
    if (equals == std::string::npos || runs.empty()) continue;
    runs.back().values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return runs;
}

}  // namespace e2e
