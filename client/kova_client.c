/* Game-side client of the launcher's game channel; see kova_client.h. */
#include "kova_client.h"

/* The query lock is a slim reader/writer lock, which needs Windows Vista's
   declarations; a build that asks for an older target gets them here. */
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

/* Every KovaClient of this process that talks to one launcher shares its one
   block: from writing a request to copying its reply, a query holds this lock,
   so no other thread's request lands between. Static initialisation: nothing
   to set up or tear down. */
static SRWLOCK queryLock = SRWLOCK_INIT;

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
} HandshakeState;

/* The reply window is a plain system window, subclassed: no window class of
   our own, so nothing process-wide is registered. */
static LRESULT CALLBACK ReplyWindowProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  HandshakeState* state = (HandshakeState*)GetWindowLongPtrA(window, GWLP_USERDATA);
  if (message == state->replyMessage) {
    /* Only the window being asked, answering with our process id, is our
       launcher: any process can send this message, naming any window. */
    if (wParam == (WPARAM)state->processId && state->askedWindow != NULL &&
        lParam == (LPARAM)state->askedWindow && state->answeredBy == NULL) {
      state->answeredBy = state->askedWindow;
    }
    return 0;
  }
  return CallWindowProcA(state->originalProcedure, window, message, wParam, lParam);
}

static int IsLauncherWindow(HWND window) {
  static const char kLauncherWindowClass[] = KOVA_PROTOCOL_WINDOW_CLASS;
  char className[sizeof kLauncherWindowClass + 1];
  const int length = GetClassNameA(window, className, (int)sizeof className);
  return length == (int)(sizeof kLauncherWindowClass - 1) &&
         memcmp(className, kLauncherWindowClass, sizeof kLauncherWindowClass - 1) == 0;
}

/* The process that created this one: the launcher, when it started the game.
   0 when it cannot be told. */
static DWORD ParentProcessId(void) {
  const DWORD self = GetCurrentProcessId();
  DWORD parent = 0;
  PROCESSENTRY32 entry;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  memset(&entry, 0, sizeof entry);
  entry.dwSize = sizeof entry;
  if (Process32First(snapshot, &entry)) {
    do {
      if (entry.th32ProcessID == self) {
        parent = entry.th32ParentProcessID;
        break;
      }
    } while (Process32Next(snapshot, &entry));
  }
  CloseHandle(snapshot);
  return parent;
}

static BOOL CALLBACK HandshakeWithWindow(HWND window, LPARAM parameter) {
  HandshakeState* state = (HandshakeState*)parameter;
  DWORD_PTR ignored = 0;
  DWORD owner = 0;
  DWORD elapsed;
  if (!IsLauncherWindow(window)) return TRUE;
  if (state->countWindows) ++state->windowsFound;
  /* Only the process that started us, or this process itself, can be our
     launcher; a window of any other process is not even asked. */
  GetWindowThreadProcessId(window, &owner);
  if (owner != state->askedOwner) return TRUE;
  /* The whole connect shares one time-out: each send gets what remains. */
  elapsed = GetTickCount() - state->startTick;
  if (elapsed >= state->timeoutMilliseconds) {
    ++state->windowsTimedOut;
    return FALSE;
  }
  state->askedWindow = window;
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
  memset(&state, 0, sizeof state);
  state.processId = GetCurrentProcessId();
  state.timeoutMilliseconds = timeoutMilliseconds;
  state.handshakeMessage = RegisterWindowMessageA(KOVA_PROTOCOL_HANDSHAKE_MESSAGE);
  state.replyMessage = RegisterWindowMessageA(KOVA_PROTOCOL_HANDSHAKE_REPLY_MESSAGE);
  if (state.handshakeMessage == 0 || state.replyMessage == 0) return KOVA_CLIENT_SYSTEM_ERROR;

  state.replyWindow = CreateWindowExA(0, "STATIC", NULL, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                      GetModuleHandleA(NULL), NULL);
  if (state.replyWindow == NULL) return KOVA_CLIENT_SYSTEM_ERROR;
  SetWindowLongPtrA(state.replyWindow, GWLP_USERDATA, (LONG_PTR)&state);
  state.originalProcedure =
      (WNDPROC)SetWindowLongPtrA(state.replyWindow, GWLP_WNDPROC, (LONG_PTR)ReplyWindowProcedure);
  if (state.originalProcedure == NULL) {
    DestroyWindow(state.replyWindow);
    return KOVA_CLIENT_SYSTEM_ERROR;
  }

  /* The parent's windows first: its window is the one that matters. Then
     this process's own (a game may host a channel itself, and no process can
     defend against itself). */
  state.startTick = GetTickCount();
  state.askedOwner = ParentProcessId();
  state.countWindows = 1;
  if (state.askedOwner != 0 && state.askedOwner != state.processId) {
    EnumWindows(HandshakeWithWindow, (LPARAM)&state);
    state.countWindows = 0;
  }
  if (state.answeredBy == NULL && GetTickCount() - state.startTick < timeoutMilliseconds) {
    state.askedOwner = state.processId;
    EnumWindows(HandshakeWithWindow, (LPARAM)&state);
  }
  /* The reply window served this round only; a launcher that answers late
     finds it gone. */
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

KovaClientResult KOVA_CLIENT_CALL KovaClientGetStringN(KovaClient* client, const char* name,
                                                       size_t nameLength, char* buffer,
                                                       size_t bufferSize, size_t* sizeWithNul) {
  /* No buffer and no size: the caller asks only for the size needed. */
  const int sizeProbe = buffer == NULL && bufferSize == 0;
  unsigned char* block;
  KovaClientResult result;

  if (client == NULL || name == NULL) return KOVA_CLIENT_INVALID_ARGUMENT;
  if (sizeProbe ? sizeWithNul == NULL : buffer == NULL || bufferSize == 0) {
    return KOVA_CLIENT_INVALID_ARGUMENT;
  }
  if (!sizeProbe) buffer[0] = '\0';
  if (sizeWithNul != NULL) *sizeWithNul = 0;
  if (!KovaClientIsConnected(client)) return KOVA_CLIENT_NOT_CONNECTED;
  if (nameLength > KOVA_CLIENT_MAX_TEXT_SIZE) return KOVA_CLIENT_NAME_TOO_LONG;

  block = BlockViewOf(client);
  AcquireSRWLockExclusive(&queryLock);
  KovaProtocolWriteLengthWord(block, (uint32_t)nameLength);
  memcpy(block + KOVA_PROTOCOL_TEXT_OFFSET, name, nameLength);
  result = ExchangeUnderLock(client, block, buffer, bufferSize, sizeWithNul);
  ReleaseSRWLockExclusive(&queryLock);
  return result;
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
