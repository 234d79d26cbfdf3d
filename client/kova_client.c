/* Game-side client of the launcher's game channel; see kova_client.h. */
#include "kova_client.h"

/* The list of handshake rounds is guarded by a slim reader/writer lock, and
   the parent process is opened with PROCESS_QUERY_LIMITED_INFORMATION; both
   need Windows Vista's declarations; a build that asks for an older target
   gets them here. */
#if defined(_WIN32_WINNT) && _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif

#include <string.h>
#include <windows.h>
/* After <windows.h>, which it builds on. */
#include <tlhelp32.h>

/* The protocol the launcher speaks. */
#include "kova_protocol.h"

/* The public limit is the protocol's. */
#if KOVA_CLIENT_MAX_TEXT_SIZE != KOVA_PROTOCOL_MAX_TEXT_SIZE
#error "KOVA_CLIENT_MAX_TEXT_SIZE differs from the protocol's longest text"
#endif

/* Binders rely on the promised size, on 32-bit and 64-bit builds alike. */
typedef char KovaClientSizeIsPromised[sizeof(KovaClient) == KOVA_CLIENT_SIZE ? 1 : -1];

/* The handles a KovaClient holds in its 64-bit fields. */
static HWND LauncherWindowOf(const KovaClient* client) {
  return (HWND)(ULONG_PTR)client->launcherWindow;
}
static HANDLE BlockMappingOf(const KovaClient* client) {
  return (HANDLE)(ULONG_PTR)client->blockMapping;
}
static unsigned char* BlockViewOf(const KovaClient* client) {
  return (unsigned char*)(ULONG_PTR)client->blockView;
}

/* The query lock of process `processId` is the mutex of this name,
   "KovaClientQueryLock-" and the id in 8 upper-case hex digits, in the
   session's namespace: every copy of this library in the process (the source
   compiled into several modules, kova_client.dll beside them) finds the same
   one. */
#define KOVA_CLIENT_QUERY_LOCK_PREFIX "Local\\KovaClientQueryLock-"
#define KOVA_CLIENT_QUERY_LOCK_NAME_SIZE (sizeof KOVA_CLIENT_QUERY_LOCK_PREFIX + 8)

static void QueryLockName(DWORD processId, char name[KOVA_CLIENT_QUERY_LOCK_NAME_SIZE]) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  const size_t prefixLength = sizeof KOVA_CLIENT_QUERY_LOCK_PREFIX - 1;
  size_t digit;
  memcpy(name, KOVA_CLIENT_QUERY_LOCK_PREFIX, prefixLength);
  for (digit = 0; digit < 8; ++digit) {
    name[prefixLength + digit] = kHexDigits[(processId >> (28 - 4 * digit)) & 0xFu];
  }
  name[prefixLength + 8] = '\0';
}

/* What one handshake round needs, on the connecting thread's stack. */
typedef struct HandshakeState {
  DWORD processId;
  UINT handshakeMessage;
  UINT replyMessage;
  HWND replyWindow;
  WNDPROC originalProcedure;
  DWORD timeoutMilliseconds;
  DWORD startTick;
  DWORD askedOwner; /* the process whose windows this pass asks */
  int countWindows; /* this pass counts every launcher window it sees */
  HWND askedWindow; /* the window being sent the handshake, while it is */
  HWND answeredBy;  /* the launcher window that answered with our id */
  int windowsFound;
  int windowsTimedOut;
  struct HandshakeState* next; /* the next round in progress in this process */
} HandshakeState;

/* The handshake rounds in progress, each on its connecting thread's stack.
   The reply window's procedure finds its round here, by its window, and
   never through the window's own data, which any process can overwrite. */
static SRWLOCK roundsLock = SRWLOCK_INIT;
static HandshakeState* roundsInProgress = NULL;

static void StartRound(HandshakeState* state) {
  AcquireSRWLockExclusive(&roundsLock);
  state->next = roundsInProgress;
  roundsInProgress = state;
  ReleaseSRWLockExclusive(&roundsLock);
}

static void EndRound(const HandshakeState* state) {
  HandshakeState** link;
  AcquireSRWLockExclusive(&roundsLock);
  for (link = &roundsInProgress; *link != NULL; link = &(*link)->next) {
    if (*link == state) {
      *link = state->next;
      break;
    }
  }
  ReleaseSRWLockExclusive(&roundsLock);
}

/* The round whose reply window `window` is; NULL when none is in progress. A
   round runs on the thread that owns its window, and only that thread calls
   the window's procedure, so the round stays in place while it is used. */
static HandshakeState* RoundOfWindow(HWND window) {
  HandshakeState* state;
  AcquireSRWLockShared(&roundsLock);
  for (state = roundsInProgress; state != NULL && state->replyWindow != window;
       state = state->next) {
  }
  ReleaseSRWLockShared(&roundsLock);
  return state;
}

/* The reply window is a plain system window, subclassed: no window class of
   our own, so nothing process-wide is registered. */
static LRESULT CALLBACK ReplyWindowProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  HandshakeState* state = RoundOfWindow(window);
  if (state == NULL) return DefWindowProcA(window, message, wParam, lParam);
  if (message == state->replyMessage) {
    /* Only the window being asked, answering with our process id, is our
       launcher: any process can send this message, naming any window. */
    if (wParam == (WPARAM)state->processId && state->askedWindow != NULL &&
        lParam == (LPARAM)state->askedWindow && state->answeredBy == NULL) {
      state->answeredBy = state->askedWindow;
    }
    return 0;
  }
  /* Only the connect destroys the window; any process can send WM_CLOSE. */
  if (message == WM_CLOSE) return 0;
  return CallWindowProcA(state->originalProcedure, window, message, wParam, lParam);
}

static int IsLauncherWindow(HWND window) {
  static const char kLauncherWindowClass[] = KOVA_PROTOCOL_WINDOW_CLASS;
  char className[sizeof kLauncherWindowClass + 1];
  const int length = GetClassNameA(window, className, (int)sizeof className);
  return length == (int)(sizeof kLauncherWindowClass - 1) &&
         memcmp(className, kLauncherWindowClass, sizeof kLauncherWindowClass - 1) == 0;
}

/* A FILETIME as one number of 100 ns units; 0 when `known` is false. */
static ULONGLONG TimeValue(BOOL known, const FILETIME* time) {
  return known ? (ULONGLONG)time->dwHighDateTime << 32 | time->dwLowDateTime : 0;
}

/* Whether a parent created at `parentCreated` can be the process that created
   this one, created at `ownCreated` (100 ns units; 0: unreadable). A parent
   exists before its child, so one created at or after this process is a
   later process that was given the id of the one that started us, after it
   ended. An unreadable time is not trusted. */
static int ParentCreatedFirst(ULONGLONG parentCreated, ULONGLONG ownCreated) {
  return parentCreated != 0 && ownCreated != 0 && parentCreated < ownCreated;
}

static ULONGLONG CreationTimeOf(HANDLE process) {
  FILETIME created, exited, kernel, user;
  return TimeValue(GetProcessTimes(process, &created, &exited, &kernel, &user), &created);
}

/* How far up its ancestors the client looks for its launcher: its parent,
   the parent's parent, and so on. A game started by a bootstrap the launcher
   started is the launcher's grandchild. */
#define KOVA_CLIENT_MAX_ANCESTORS 4

/* How many of `count` ancestors, nearest first, created at created[0..], the
   client trusts: each must have been created before its child (the one before
   it in the list; this process, created at `ownCreated`, for the first). The
   chain ends at the first that was not: that process got the id of an
   ancestor that had ended, and its own parent is nothing of ours. */
static size_t TrustedAncestorCount(ULONGLONG ownCreated, const ULONGLONG* created, size_t count) {
  ULONGLONG child = ownCreated;
  size_t level;
  for (level = 0; level < count; ++level) {
    if (!ParentCreatedFirst(created[level], child)) break;
    child = created[level];
  }
  return level;
}

/* The ancestors the client asks, nearest first, each held open: while a handle
   is open its id cannot be given to another process. */
typedef struct Ancestors {
  HANDLE handles[KOVA_CLIENT_MAX_ANCESTORS];
  DWORD ids[KOVA_CLIENT_MAX_ANCESTORS];
  size_t count;
} Ancestors;

/* The id of the process that created process `child`, as `snapshot` lists it;
   0 when it is not listed. */
static DWORD ParentInSnapshot(HANDLE snapshot, DWORD child) {
  PROCESSENTRY32 entry;
  memset(&entry, 0, sizeof entry);
  entry.dwSize = sizeof entry;
  if (!Process32First(snapshot, &entry)) return 0;
  do {
    if (entry.th32ProcessID == child) return entry.th32ParentProcessID;
  } while (Process32Next(snapshot, &entry));
  return 0;
}

/* Opens this process's ancestors, nearest first, up to
   KOVA_CLIENT_MAX_ANCESTORS, as long as each is still the process that
   created its child (see TrustedAncestorCount). */
static void OpenTrustedAncestors(Ancestors* ancestors) {
  const DWORD self = GetCurrentProcessId();
  ULONGLONG created[KOVA_CLIENT_MAX_ANCESTORS];
  DWORD child = self;
  size_t opened = 0;
  size_t level;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  memset(ancestors, 0, sizeof *ancestors);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  while (opened < KOVA_CLIENT_MAX_ANCESTORS) {
    const DWORD id = ParentInSnapshot(snapshot, child);
    HANDLE ancestor;
    if (id == 0 || id == self) break;
    ancestor = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (ancestor == NULL) break;
    ancestors->handles[opened] = ancestor;
    ancestors->ids[opened] = id;
    created[opened] = CreationTimeOf(ancestor);
    ++opened;
    child = id;
  }
  CloseHandle(snapshot);
  ancestors->count = TrustedAncestorCount(CreationTimeOf(GetCurrentProcess()), created, opened);
  for (level = ancestors->count; level < opened; ++level) CloseHandle(ancestors->handles[level]);
}

static void CloseAncestors(Ancestors* ancestors) {
  size_t level;
  for (level = 0; level < ancestors->count; ++level) CloseHandle(ancestors->handles[level]);
  ancestors->count = 0;
}

static BOOL CALLBACK HandshakeWithWindow(HWND window, LPARAM parameter) {
  HandshakeState* state = (HandshakeState*)parameter;
  DWORD_PTR ignored = 0;
  DWORD owner = 0;
  DWORD elapsed;
  MSG message;
  if (!IsLauncherWindow(window)) return TRUE;
  if (state->countWindows) ++state->windowsFound;
  /* Only a process that started us (or started an ancestor of ours), or this
     process itself, can be our launcher; a window of any other process is
     not even asked. */
  GetWindowThreadProcessId(window, &owner);
  if (owner != state->askedOwner) return TRUE;
  /* The whole connect shares one time-out: each send gets what remains. */
  elapsed = GetTickCount() - state->startTick;
  if (elapsed >= state->timeoutMilliseconds) {
    ++state->windowsTimedOut;
    return FALSE;
  }
  state->askedWindow = window;
  /* A thread that has taken no message for some seconds (a game loading on
     it before it connects) counts as hung, and the launcher's reply, sent
     with SMTO_ABORTIFHUNG, would be dropped at once. Looking at the queue
     makes the thread count as responsive again; PM_NOREMOVE, for the reply
     window only: no message of the game is taken, and sent messages are
     handled as they are while the send waits. */
  PeekMessageA(&message, state->replyWindow, 0, 0, PM_NOREMOVE);
  /* Without SMTO_BLOCK: the launcher answers with a message sent to our
     window while we wait, which this thread must handle. */
  if (!SendMessageTimeoutA(window, state->handshakeMessage, (WPARAM)state->processId,
                           (LPARAM)state->replyWindow, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                           state->timeoutMilliseconds - elapsed, &ignored) &&
      IsWindow(window)) {
    ++state->windowsTimedOut;
  }
  state->askedWindow = NULL;
  return state->answeredBy == NULL;
}

static void ClearClient(KovaClient* client) {
  client->launcherWindow = 0;
  client->blockMapping = 0;
  client->blockView = 0;
  client->queryMessage = 0;
}

/* Finds the launcher window that answers our process id; NULL when none does. */
static KovaClientResult FindOwnLauncher(DWORD timeoutMilliseconds, HWND* launcher) {
  HandshakeState state;
  Ancestors ancestors;
  size_t level;
  memset(&state, 0, sizeof state);
  state.processId = GetCurrentProcessId();
  state.timeoutMilliseconds = timeoutMilliseconds;
  state.handshakeMessage = RegisterWindowMessageA(KOVA_PROTOCOL_HANDSHAKE_MESSAGE);
  state.replyMessage = RegisterWindowMessageA(KOVA_PROTOCOL_HANDSHAKE_REPLY_MESSAGE);
  if (state.handshakeMessage == 0 || state.replyMessage == 0) return KOVA_CLIENT_SYSTEM_ERROR;

  state.replyWindow = CreateWindowExA(0, "STATIC", NULL, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                      GetModuleHandleA(NULL), NULL);
  if (state.replyWindow == NULL) return KOVA_CLIENT_SYSTEM_ERROR;
  StartRound(&state);
  state.originalProcedure =
      (WNDPROC)SetWindowLongPtrA(state.replyWindow, GWLP_WNDPROC, (LONG_PTR)ReplyWindowProcedure);
  if (state.originalProcedure == NULL) {
    EndRound(&state);
    DestroyWindow(state.replyWindow);
    return KOVA_CLIENT_SYSTEM_ERROR;
  }

  /* The ancestors' windows first, nearest first: the launcher is the parent,
     or the parent's parent behind a bootstrap. Then this process's own (a
     game may host a channel itself, and no process can defend against
     itself). */
  state.startTick = GetTickCount();
  OpenTrustedAncestors(&ancestors);
  state.countWindows = 1;
  for (level = 0; level < ancestors.count && state.answeredBy == NULL &&
                  GetTickCount() - state.startTick < timeoutMilliseconds;
       ++level) {
    state.askedOwner = ancestors.ids[level];
    EnumWindows(HandshakeWithWindow, (LPARAM)&state);
    state.countWindows = 0;
  }
  if (state.answeredBy == NULL && GetTickCount() - state.startTick < timeoutMilliseconds) {
    state.askedOwner = state.processId;
    EnumWindows(HandshakeWithWindow, (LPARAM)&state);
  }
  CloseAncestors(&ancestors);
  /* The reply window served this round only; a launcher that answers late
     finds it gone. */
  SetWindowLongPtrA(state.replyWindow, GWLP_WNDPROC, (LONG_PTR)state.originalProcedure);
  EndRound(&state);
  DestroyWindow(state.replyWindow);

  *launcher = state.answeredBy;
  if (state.answeredBy != NULL) return KOVA_CLIENT_OK;
  if (state.windowsTimedOut > 0) return KOVA_CLIENT_TIMEOUT;
  return state.windowsFound > 0 ? KOVA_CLIENT_NO_REPLY : KOVA_CLIENT_NO_LAUNCHER;
}

unsigned int KOVA_CLIENT_CALL KovaClientVersion(void) { return KOVA_CLIENT_VERSION; }

KovaClientResult KOVA_CLIENT_CALL KovaClientConnect(KovaClient* client,
                                                    unsigned int timeoutMilliseconds) {
  char blockName[KOVA_PROTOCOL_BLOCK_NAME_SIZE];
  HWND launcher = NULL;
  HANDLE mapping;
  void* view;
  KovaClientResult result;

  if (client == NULL) return KOVA_CLIENT_INVALID_ARGUMENT;
  ClearClient(client);
  client->timeoutMilliseconds =
      timeoutMilliseconds != 0 ? timeoutMilliseconds : KOVA_CLIENT_DEFAULT_TIMEOUT_MS;
  client->queryMessage = RegisterWindowMessageA(KOVA_PROTOCOL_QUERY_MESSAGE);
  if (client->queryMessage == 0) return KOVA_CLIENT_SYSTEM_ERROR;

  result = FindOwnLauncher(client->timeoutMilliseconds, &launcher);
  if (result != KOVA_CLIENT_OK) {
    client->queryMessage = 0;
    return result;
  }

  KovaProtocolBlockName((uint32_t)(ULONG_PTR)launcher, blockName);

  mapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, blockName);
  if (mapping == NULL) {
    client->queryMessage = 0;
    return KOVA_CLIENT_BLOCK_UNAVAILABLE;
  }
  /* Fails when the block is smaller than the protocol's size. */
  view = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, KOVA_PROTOCOL_BLOCK_SIZE);
  if (view == NULL) {
    CloseHandle(mapping);
    client->queryMessage = 0;
    return KOVA_CLIENT_BLOCK_UNAVAILABLE;
  }
  client->launcherWindow = (uint64_t)(ULONG_PTR)launcher;
  client->blockMapping = (uint64_t)(ULONG_PTR)mapping;
  client->blockView = (uint64_t)(ULONG_PTR)view;
  return KOVA_CLIENT_OK;
}

int KOVA_CLIENT_CALL KovaClientIsConnected(const KovaClient* client) {
  return client != NULL && client->blockView != 0;
}

void KOVA_CLIENT_CALL KovaClientDisconnect(KovaClient* client) {
  if (client == NULL) return;
  if (client->blockView != 0) UnmapViewOfFile(BlockViewOf(client));
  if (client->blockMapping != 0) CloseHandle(BlockMappingOf(client));
  ClearClient(client);
}

KovaClientResult KOVA_CLIENT_CALL KovaClientGetString(KovaClient* client, const char* name,
                                                      char* buffer, size_t bufferSize,
                                                      size_t* sizeWithNul) {
  if (name == NULL) return KOVA_CLIENT_INVALID_ARGUMENT;
  return KovaClientGetStringN(client, name, strlen(name), buffer, bufferSize, sizeWithNul);
}

/* Sends the request already in the block and copies the reply out; the
   caller holds the query lock. */
static KovaClientResult ExchangeUnderLock(KovaClient* client, unsigned char* block, char* buffer,
                                          size_t bufferSize, size_t* sizeWithNul) {
  DWORD_PTR queryResult = 0;
  size_t valueLength;

  /* lParam must be non-zero for the launcher to answer. SMTO_BLOCK: this
     thread handles no sent message while it waits, so no window procedure of
     the game can start another query on it while it holds the lock. */
  if (!SendMessageTimeoutA(LauncherWindowOf(client), client->queryMessage, 0, 1,
                           SMTO_BLOCK | SMTO_ABORTIFHUNG, client->timeoutMilliseconds,
                           &queryResult)) {
    const int launcherExists = IsWindow(LauncherWindowOf(client));
    /* A late reply would land in the block over a later request: give up the
       connection. */
    KovaClientDisconnect(client);
    return launcherExists ? KOVA_CLIENT_TIMEOUT : KOVA_CLIENT_QUERY_FAILED;
  }
  if ((DWORD)queryResult != (DWORD)KOVA_PROTOCOL_QUERY_ANSWERED) return KOVA_CLIENT_QUERY_FAILED;

  valueLength = KovaProtocolReadLengthWord(block);
  if (valueLength > KOVA_CLIENT_MAX_TEXT_SIZE) return KOVA_CLIENT_QUERY_FAILED;
  if (sizeWithNul != NULL) *sizeWithNul = valueLength + 1;
  /* A size probe (no buffer, size 0) ends here too. */
  if (valueLength + 1 > bufferSize) return KOVA_CLIENT_VALUE_TOO_LARGE;
  memcpy(buffer, block + KOVA_PROTOCOL_TEXT_OFFSET, valueLength);
  buffer[valueLength] = '\0';
  return KOVA_CLIENT_OK;
}

/* Writes the request into the block and exchanges it under the process's
   query lock: opens the lock, waits for it at most the connection's time-out,
   and releases and closes it after the reply is copied. */
static KovaClientResult QueryUnderProcessLock(KovaClient* client, const char* name,
                                              size_t nameLength, char* buffer, size_t bufferSize,
                                              size_t* sizeWithNul) {
  unsigned char* block = BlockViewOf(client);
  char lockName[KOVA_CLIENT_QUERY_LOCK_NAME_SIZE];
  HANDLE lock;
  KovaClientResult result;

  QueryLockName(GetCurrentProcessId(), lockName);
  lock = CreateMutexA(NULL, FALSE, lockName);
  if (lock == NULL) return KOVA_CLIENT_SYSTEM_ERROR;
  switch (WaitForSingleObject(lock, client->timeoutMilliseconds)) {
    case WAIT_OBJECT_0:
    /* A thread ended while it held the lock: the lock is ours now. */
    case WAIT_ABANDONED:
      KovaProtocolWriteLengthWord(block, (uint32_t)nameLength);
      memcpy(block + KOVA_PROTOCOL_TEXT_OFFSET, name, nameLength);
      result = ExchangeUnderLock(client, block, buffer, bufferSize, sizeWithNul);
      ReleaseMutex(lock);
      break;
    case WAIT_TIMEOUT:
      /* As after a query that timed out: the caller connects again. */
      KovaClientDisconnect(client);
      result = KOVA_CLIENT_TIMEOUT;
      break;
    default:
      result = KOVA_CLIENT_SYSTEM_ERROR;
      break;
  }
  CloseHandle(lock);
  return result;
}

KovaClientResult KOVA_CLIENT_CALL KovaClientGetStringN(KovaClient* client, const char* name,
                                                       size_t nameLength, char* buffer,
                                                       size_t bufferSize, size_t* sizeWithNul) {
  /* No buffer and no size: the caller asks only for the size needed. */
  const int sizeProbe = buffer == NULL && bufferSize == 0;

  if (client == NULL || name == NULL) return KOVA_CLIENT_INVALID_ARGUMENT;
  if (sizeProbe ? sizeWithNul == NULL : buffer == NULL || bufferSize == 0) {
    return KOVA_CLIENT_INVALID_ARGUMENT;
  }
  if (!sizeProbe) buffer[0] = '\0';
  if (sizeWithNul != NULL) *sizeWithNul = 0;
  if (!KovaClientIsConnected(client)) return KOVA_CLIENT_NOT_CONNECTED;
  if (nameLength > KOVA_CLIENT_MAX_TEXT_SIZE) return KOVA_CLIENT_NAME_TOO_LONG;
  return QueryUnderProcessLock(client, name, nameLength, buffer, bufferSize, sizeWithNul);
}

const char* KOVA_CLIENT_CALL KovaClientResultText(KovaClientResult result) {
  switch (result) {
    case KOVA_CLIENT_OK:
      return "success";
    case KOVA_CLIENT_INVALID_ARGUMENT:
      return "invalid argument";
    case KOVA_CLIENT_NO_LAUNCHER:
      return "no launcher found";
    case KOVA_CLIENT_NO_REPLY:
      return "no launcher answered this process";
    case KOVA_CLIENT_TIMEOUT:
      return "the launcher did not answer in time";
    case KOVA_CLIENT_BLOCK_UNAVAILABLE:
      return "the launcher's shared block is unavailable";
    case KOVA_CLIENT_QUERY_FAILED:
      return "the query failed";
    case KOVA_CLIENT_VALUE_TOO_LARGE:
      return "the value does not fit the buffer";
    case KOVA_CLIENT_NAME_TOO_LONG:
      return "the name is too long";
    case KOVA_CLIENT_NOT_CONNECTED:
      return "not connected";
    case KOVA_CLIENT_SYSTEM_ERROR:
      return "a system call failed";
  }
  return "unknown result";
}
