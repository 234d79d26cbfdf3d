// Running the extracted game as a child process and waiting for its end.
#pragma once

#include <string>

// Starts `path` with its first thread suspended, in the launcher's directory,
// then lets it run and polls every 100 ms until it has ended. The command line
// is `path` as given, followed by a blank and `parameters` when those are not
// empty. A game that cannot be started gets its message box. The game's exit
// code is not used.
void RunGame(const std::string& path, const std::string& parameters);
