// The files through which the end-to-end tests steer the test game and learn
// what it saw. Both lie in the game's current directory.
#pragma once

namespace testgame {

// Commands, one a line, run in order after the game has made its record:
//   debug <text>    write <text> and a line break to the debugger output
//   sleep <ms>      wait
//   pump            take and dispatch every message waiting, as a game's
//                   message loop does (the thread then has a message queue)
//   exit <code>     end with that exit code (without one the game ends with 0)
//   box <style> <text>  show a message box with caption "Game" and that
//                   style (decimal), and wait until it is answered
//   crash           write through a null pointer (an access violation)
//   load-library <name>  load the DLL <name> (LoadLibraryA, as given)
//   start self|<file> <ms>  start the game's own file, or <file> (a copy of
//                   the test game under another name), as a copy that makes
//                   its record, lives <ms> and ends with 0 without reading the
//                   script; records "<line>.started=<process id>" (0: none)
// Talking to the launcher that started the game (its "channel window": the
// launcher window owned by the game's parent process):
//   connect         connect through the client library
//   query <name>    ask for <name> (the rest of the line, trailing blanks
//                   included) through the client library
//   raw-handshake own|other
//                   send the handshake, with the game's own process id or
//                   another one, to every launcher window on the desktop,
//                   naming a window of the game for the reply
//   raw-query <lParam> <length word|auto> [<name in hex>]
//                   fill the shared block of the channel window with
//                   kBlockFill, write the length word (auto: the name's
//                   length) and the name, send the query message with that
//                   lParam, and read the block
//   rendezvous <name> <count>
//                   wait (at most 10 s) until <count> games have reached the
//                   rendezvous of that name
//   launcher-threads
//                   look at the threads of the launcher process
//   query-loop <count> <ms> <name in hex> <value in hex>
//                   ask for the name through the client library again and
//                   again, until <count> queries are made or <ms> have passed
//                   (0: no limit of that kind), and tally the replies against
//                   the value
//   load <count>    make <count> queries through the client library, going
//                   round the entries of load_table.h, and tally the replies
constexpr char kScriptFileName[] = "game-script.txt";

// The file the bootstrap stand-in (tests/e2e/bootstrap_game) starts, beside
// its own: a copy of the test game.
constexpr char kBootstrappedGameFileName[] = "bootstrapped-game.exe";

// When a file of this name lies in the game's current directory, the game's
// first step, before it looks for its parent or reads its script, is a
// handshake with its own process id to every launcher window on the desktop.
constexpr char kHandshakeFirstFileName[] = "game-handshake-first";

// One block per start of the game, each line "key=value":
//   run                     starts the block
//   module=<path>           the game's own file
//   commandline=<text>      its command line, exactly as the system gave it
//   cwd=<path>              its current directory
//   attributes=<decimal>    the attributes of its own file
//   size=<decimal>          the size of its own file
//   channel-window-at-start=0|1  the channel window existed when the game's
//                           first instruction ran
//   first-handshake-replies=<decimal>  replies carrying the game's process id
//                           to the handshake of its first step (only when
//                           kHandshakeFirstFileName is there)
//   error=<text>            a script line it did not understand
//   exit=<decimal>          the exit code it is about to end with
// load-library records "<line>.library=<path>": the file of the DLL loaded,
// empty when none was.
// Each channel command records "<line>.<field>=<value>", <line> being its
// 1-based line number in the script; bytes are in hexadecimal
// (record_text.h):
//   connect:    result (KovaClientResult), served-by-parent (0|1), milliseconds (the
//               connect took)
//   query:      result (KovaClientResult), value (hex)
//   raw-handshake: sent-pid, windows (launcher windows found), replies (replies
//               received), result (what the channel window's send returned),
//               reply-pid, reply-from-channel-window (0|1)
//   raw-query:  result (what the send returned, signed decimal, or "timeout"),
//               unchanged (0|1: the whole block is as it was before the send),
//               reply (hex; the bytes the length word now names, when at most
//               65,532), behind (hex; the request's bytes behind the reply),
//               intact (0|1: every byte behind both request and reply still
//               holds kBlockFill)
//   rendezvous: rendezvous (ok|timeout)
//   launcher-threads: threads (how many), main-is-window-thread (0|1),
//               main-priority, window-thread-priority
//   query-loop, load: queries, right, failed (not answered with success),
//               wrong (answered with success and another value)
// Every record is appended whole, under an exclusive open, so that games
// sharing a directory never split each other's lines.
constexpr char kRecordFileName[] = "game-record.txt";

// What raw-query fills the shared block with before it writes the request.
constexpr unsigned char kBlockFill = 0xA5;

}  // namespace testgame
