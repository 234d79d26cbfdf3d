// The files through which the end-to-end tests steer the test game and learn
// what it saw. Both lie in the game's current directory.
#pragma once

namespace testgame {

// Commands, one a line, run in order after the game has made its record:
//   debug <text>    write <text> and a line break to the debugger output
//   sleep <ms>      wait
//   exit <code>     end with that exit code (without one the game ends with 0)
//   box <style> <text>  show a message box with caption "Game" and that
//                   style (decimal), and wait until it is answered
constexpr char kScriptFileName[] = "game-script.txt";

// One block per start of the game, each line "key=value":
//   run                     starts the block
//   module=<path>           the game's own file
//   commandline=<text>      its command line, exactly as the system gave it
//   cwd=<path>              its current directory
//   attributes=<decimal>    the attributes of its own file
//   size=<decimal>          the size of its own file
//   error=<text>            a script line it did not understand
//   exit=<decimal>          the exit code it is about to end with
constexpr char kRecordFileName[] = "game-record.txt";

}  // namespace testgame
