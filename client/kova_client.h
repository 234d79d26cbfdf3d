/*
 * Game-side client of the launcher's game channel.
 *
 * A game started by the launcher asks it for string properties by name:
 *
 *   KovaClient client;
 *   char value[256];
 *   size_t size;
 *   if (KovaClientConnect(&client, 0) == KOVA_CLIENT_OK) {
 *     if (KovaClientGetString(&client, "Name", value, sizeof value, &size) == KOVA_CLIENT_OK)
 *       ...use value (size - 1 bytes, NUL-terminated)...
 *     KovaClientDisconnect(&client);
 *   }
 *
 * Plain C (C99 or later, or C++), Windows only. Two ways to use it:
 * - drop this header and kova_client.c into any build, with the protocol's
 *   headers kova_protocol.h and kova_little_endian.h beside them (the source
 *   includes them; this header does not), and link with user32 and kernel32;
 * - or load kova_client.dll: define KOVA_CLIENT_USE_DLL before including this
 *   header and link with its import library, or look its functions up by name
 *   (every function below is exported under its own name, undecorated, on
 *   32-bit and 64-bit Windows alike).
 *
 * Text: names and values are bytes. A value is the properties document's bytes
 * as they stand (a UTF-8 document gives UTF-8); no code page is applied either
 * way, and either may hold NUL bytes (see KovaClientGetStringN).
 *
 * Threads: one KovaClient may be used by one thread at a time; separate
 * KovaClient objects may be used by separate threads at once. They share the
 * launcher's one block, so the queries of a process take turns, across every
 * copy of this library in it (this source compiled into several modules,
 * kova_client.dll beside them): each holds the process's query lock from
 * writing its request to copying its reply. The lock is the mutex
 * "Local\KovaClientQueryLock-" followed by the process id in 8 upper-case
 * hex digits, which each query opens (nothing to set up). Every wait is
 * bounded by a connection's time-out: a hung or vanished launcher gives
 * KOVA_CLIENT_TIMEOUT (or another failure), never a hung game. Each function
 * below says which threads may call it.
 *
 * Memory: nothing is allocated for the caller to free; values are copied into
 * buffers the caller provides. Every size below says whether it counts the
 * terminating NUL.
 *
 * Compatibility: functions, results and their numbers are only ever added,
 * never renumbered or removed; a new result is added at the end.
 */
#ifndef KOVA_CLIENT_H
#define KOVA_CLIENT_H

#include <stddef.h>
#include <stdint.h>

/* The version of this header. KovaClientVersion() gives the library's own,
   which differs from it when a game loads a newer or older DLL than the header
   it was compiled with. */
#define KOVA_CLIENT_VERSION_MAJOR 1
#define KOVA_CLIENT_VERSION_MINOR 2
#define KOVA_CLIENT_VERSION_PATCH 0
/* MAJOR * 10000 + MINOR * 100 + PATCH. */
#define KOVA_CLIENT_VERSION 10200

/* Put on every function: its linkage. Empty when the source is compiled into
   the game; dllexport while building kova_client.dll (KOVA_CLIENT_BUILD_DLL);
   dllimport for a game that links the DLL (KOVA_CLIENT_USE_DLL). A build may
   define it itself. */
#ifndef KOVA_CLIENT_API
#if defined(KOVA_CLIENT_BUILD_DLL)
#define KOVA_CLIENT_API __declspec(dllexport)
#elif defined(KOVA_CLIENT_USE_DLL)
#define KOVA_CLIENT_API __declspec(dllimport)
#else
#define KOVA_CLIENT_API
#endif
#endif

/* Put on every function: its calling convention, __cdecl whatever the
   compiler's default (a foreign-function layer declares the same). */
#ifndef KOVA_CLIENT_CALL
#if defined(_WIN32)
#define KOVA_CLIENT_CALL __cdecl
#else
#define KOVA_CLIENT_CALL
#endif
#endif

/* Time-out used for each wait when KovaClientConnect is given 0. */
#define KOVA_CLIENT_DEFAULT_TIMEOUT_MS 2000u

/* Longest property name, and longest value, the channel carries, in bytes
   without a terminating NUL; kova_client.c checks that it is the protocol's
   KOVA_PROTOCOL_MAX_TEXT_SIZE. */
#define KOVA_CLIENT_MAX_TEXT_SIZE 65532u

#ifdef __cplusplus
extern "C" {
#endif

/* The result of every call: KOVA_CLIENT_OK (0) or one failure. */
typedef enum KovaClientResult {
  KOVA_CLIENT_OK = 0,
  /* A null pointer, or a buffer size of 0 with a buffer (a null buffer of
     size 0 is the size probe of KovaClientGetString). */
  KOVA_CLIENT_INVALID_ARGUMENT = 1,
  /* No launcher window exists: the game was not started by the launcher. */
  KOVA_CLIENT_NO_LAUNCHER = 2,
  /* Launcher windows exist, but none answered this process's handshake. */
  KOVA_CLIENT_NO_REPLY = 3,
  /* A launcher did not answer within the time-out (hung or busy), and no
     other launcher answered. */
  KOVA_CLIENT_TIMEOUT = 4,
  /* The launcher answered the handshake, but its shared block cannot be
     opened, or is smaller than the protocol's 65,536 bytes. */
  KOVA_CLIENT_BLOCK_UNAVAILABLE = 5,
  /* The launcher reported a failed query (as it does for every query when it
     runs without a block), gave a reply longer than the block, or is gone. */
  KOVA_CLIENT_QUERY_FAILED = 6,
  /* The value does not fit the caller's buffer; the size needed (terminating
     NUL included) is reported. */
  KOVA_CLIENT_VALUE_TOO_LARGE = 7,
  /* The name is longer than KOVA_CLIENT_MAX_TEXT_SIZE bytes. */
  KOVA_CLIENT_NAME_TOO_LONG = 8,
  /* The KovaClient is not connected (never connected, failed, or disconnected). */
  KOVA_CLIENT_NOT_CONNECTED = 9,
  /* A system call failed (window or message registration, or the query lock
     cannot be opened). */
  KOVA_CLIENT_SYSTEM_ERROR = 10
} KovaClientResult;

/* Size in bytes of a KovaClient, the same for 32-bit and 64-bit programs. */
#define KOVA_CLIENT_SIZE 32

/* One connection to the launcher. Storage belongs to the caller; the fields
   are private to the library. A zero-filled KovaClient is "not connected".
   For binders: a KovaClient is KOVA_CLIENT_SIZE (32) bytes, aligned to 8, on
   32-bit and 64-bit Windows alike (handles and pointers are held in 64-bit
   fields). A foreign-function layer need not mirror the fields: it holds 32
   zero-filled bytes, 8-aligned (in C#, a struct of four ulong fields), and
   passes their address wherever a KovaClient* is asked for. */
typedef struct KovaClient {
  uint64_t launcherWindow; /* the launcher window that answered (HWND) */
  uint64_t blockMapping;   /* the shared block's mapping (HANDLE) */
  uint64_t blockView;      /* the shared block mapped into this process */
  uint32_t queryMessage;
  uint32_t timeoutMilliseconds;
} KovaClient;

/* KOVA_CLIENT_VERSION of the library itself (not of the header the caller
   was compiled with). Needs no connection; any thread, at any time. */
KOVA_CLIENT_API unsigned int KOVA_CLIENT_CALL KovaClientVersion(void);

/* Finds the launcher that started this process and opens its shared block.
   Sends the handshake with this process's id to the launcher windows of the
   process that created this one (the launcher), then to those of this process
   itself, and keeps the window that answers with that id and names itself;
   windows of any other process are not asked, so another launcher, or a fake
   one, cannot capture the game. The creating process is asked only when it
   was created before this one: a process that was given the id of a launcher
   that has ended is a later one, and is not asked (nor is a parent whose
   creation time cannot be read). The whole connect waits at most
   `timeoutMilliseconds` (0: KOVA_CLIENT_DEFAULT_TIMEOUT_MS), however many
   windows it asks; each of a query's two waits at most as long (see
   KovaClientGetString).
   A block name taken by another process first (the launcher then runs without
   a block) gives BLOCK_UNAVAILABLE only when that block is smaller than the
   protocol's; otherwise the connect succeeds and every query gives
   QUERY_FAILED.
   Results: OK, INVALID_ARGUMENT, NO_LAUNCHER, NO_REPLY, TIMEOUT,
   BLOCK_UNAVAILABLE, SYSTEM_ERROR. On failure `client` is left not connected.
   `client` need not be initialised: it is overwritten, so disconnect a
   connection it holds before connecting it again.
   Threads: any thread that may take window messages: the connect handles its
   incoming sent messages while it waits, and looks at its message queue
   before each handshake (PeekMessage with PM_NOREMOVE, for the connect's own window: no
   message of the game is taken). A thread that has taken no message for 5
   seconds (a game loading before it connects) counts as hung, and the
   launcher's reply to a hung thread is dropped; that look makes it count as
   responsive again. Any ordinary thread qualifies, one without a message
   queue yet included. Not while another thread uses the same `client`. */
KOVA_CLIENT_API KovaClientResult KOVA_CLIENT_CALL
KovaClientConnect(KovaClient* client, unsigned int timeoutMilliseconds);

/* Asks for the string property `name` (NUL-terminated; matched exactly, case
   included). An unknown name gives the empty value: the launcher does not tell
   it apart. Values are the properties document's bytes as they stand (a UTF-8
   document gives UTF-8); no code page is applied.
   On OK: `buffer` holds the value's bytes followed by a NUL, and
   `*sizeWithNul` (when not null) the number of bytes written, NUL included
   (the value may itself contain NUL bytes; its length is *sizeWithNul - 1).
   On VALUE_TOO_LARGE: `*sizeWithNul` holds the buffer size needed, NUL
   included, and `buffer` holds an empty string.
   On INVALID_ARGUMENT nothing is written. On every other failure `buffer`
   holds an empty string and `*sizeWithNul` 0.
   `bufferSize` counts the NUL; it must be at least 1, except for the size
   probe: `buffer` null and `bufferSize` 0 (and `sizeWithNul` not null) asks
   the launcher as any call does and gives VALUE_TOO_LARGE with the size needed
   in `*sizeWithNul`, as a buffer too small would; nothing else is written. The
   value may change before the next call, so a caller that probes and then asks
   again loops while it gets VALUE_TOO_LARGE.
   Waits at most the connection's time-out for its turn (a query in progress
   on another thread, through any copy of the library in the process), then
   at most as long for the launcher's answer; while it waits, the thread
   handles no sent messages. On TIMEOUT (either wait), and on QUERY_FAILED
   because the launcher is gone, `client` is disconnected (a late reply could
   otherwise land over a later request); after any other failure it stays
   connected. SYSTEM_ERROR: the query lock cannot be opened (another process
   made an object of its name that this process cannot open as a mutex).
   Results: OK, INVALID_ARGUMENT, NOT_CONNECTED, NAME_TOO_LONG, TIMEOUT,
   QUERY_FAILED, VALUE_TOO_LARGE, SYSTEM_ERROR.
   Threads: any thread, not while another thread uses the same `client`;
   other connections' queries may run on other threads at the same time. */
KOVA_CLIENT_API KovaClientResult KOVA_CLIENT_CALL KovaClientGetString(
    KovaClient* client, const char* name, char* buffer, size_t bufferSize, size_t* sizeWithNul);

/* As KovaClientGetString (size probe and threads included), for a name of
   `nameLength` bytes that may hold NUL bytes (nameLength does not count a
   terminator). */
KOVA_CLIENT_API KovaClientResult KOVA_CLIENT_CALL
KovaClientGetStringN(KovaClient* client, const char* name, size_t nameLength, char* buffer,
                     size_t bufferSize, size_t* sizeWithNul);

/* Non-zero when `client` is connected. Threads: any thread, not while another
   thread connects, queries or disconnects the same `client`. */
KOVA_CLIENT_API int KOVA_CLIENT_CALL KovaClientIsConnected(const KovaClient* client);

/* Closes the shared block and forgets the launcher; `client` is then not
   connected. Safe on a zero-filled or already disconnected KovaClient.
   Threads: any thread, not while another thread uses the same `client`. */
KOVA_CLIENT_API void KOVA_CLIENT_CALL KovaClientDisconnect(KovaClient* client);

/* A short English text for `result`, such as "no launcher found"; never null,
   static, not to be freed. Needs no connection; any thread, at any time. */
KOVA_CLIENT_API const char* KOVA_CLIENT_CALL KovaClientResultText(KovaClientResult result);

#ifdef __cplusplus
}
#endif

#endif /* KOVA_CLIENT_H */
