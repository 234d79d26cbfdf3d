/* Game-side client of the launcher's game channel; see kova_client.h. */
#include "kova_client.h"

#include <string.h>
#include <windows.h>

/* The protocol the launcher speaks. */
static const char kLauncherWindowClass[] = "Korvelin_IPC";
static const char kQueryMessageName[] = "TamberLink_QueryData";
static const char kHandshakeMessageName[] = "TamberLink_IPC";
static const char kHandshakeReplyMessageName[] = "TamberLink_IPC_Response";
/* The shared block: a 32-bit little-endian length, then the text's bytes. */
#define KOVA_BLOCK_SIZE 65536u
#define KOVA_LENGTH_FIELD_SIZE 4u

/* What one handshake round needs, on the connecting thread's stack. */
typedef struct HandshakeState {
  DWORD processId;
  UINT handshakeMessage;
  UINT replyMessage;
  HWND replyWindow;
  WNDPROC originalProcedure;
  DWORD timeoutMilliseconds;
  HWND answeredBy; /* the launcher window named in the reply with our id */
  int windowsFound;
  int windowsTimedOut;
} HandshakeState;

/* The reply window is a plain system window, subclassed: no window class of
   our own, so nothing process-wide is registered. */
static LRESULT CALLBACK ReplyWindowProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  HandshakeState* state = (HandshakeState*)GetWindowLongPtrA(window, GWLP_USERDATA);
  if (message == state->replyMessage) {
    /* Only our own launcher answers with our process id. */
    if (wParam == (WPARAM)state->processId && state->answeredBy == NULL && lParam != 0) {
      state->answeredBy = (HWND)lParam;
    }
    return 0;
  }
  return CallWindowProcA(state->originalProcedure, window, message, wParam, lParam);
}

static int IsLauncherWindow(HWND window) {
  char className[sizeof kLauncherWindowClass + 1];
  const int length = GetClassNameA(window, className, (int)sizeof className);
  return length == (int)(sizeof kLauncherWindowClass - 1) &&
         memcmp(className, kLauncherWindowClass, sizeof kLauncherWindowClass - 1) == 0;
}

static BOOL CALLBACK HandshakeWithWindow(HWND window, LPARAM parameter) {
  HandshakeState* state = (HandshakeState*)parameter;
  DWORD_PTR ignored = 0;
  if (!IsLauncherWindow(window)) return TRUE;
  ++state->windowsFound;
  /* Without SMTO_BLOCK: the launcher answers with a message sent to our
     window while we wait, which this thread must handle. */
  if (!SendMessageTimeoutA(window, state->handshakeMessage, (WPARAM)state->processId,
                           (LPARAM)state->replyWindow, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                           state->timeoutMilliseconds, &ignored) &&
      IsWindow(window)) {
    ++state->windowsTimedOut;
  }
  return state->answeredBy == NULL;
}

static void ClearClient(KovaClient* client) {
  client->launcherWindow = NULL;
  client->blockMapping = NULL;
  client->blockView = NULL;
  client->queryMessage = 0;
}

/* Finds the launcher window that answers our process id; NULL when none does. */
static KovaClientResult FindOwnLauncher(DWORD timeoutMilliseconds, HWND* launcher) {
  HandshakeState state;
  memset(&state, 0, sizeof state);
  state.processId = GetCurrentProcessId();
  state.timeoutMilliseconds = timeoutMilliseconds;
  state.handshakeMessage = RegisterWindowMessageA(kHandshakeMessageName);
  state.replyMessage = RegisterWindowMessageA(kHandshakeReplyMessageName);
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

  EnumWindows(HandshakeWithWindow, (LPARAM)&state);
  /* The reply window served this round only; a launcher that answers late
     finds it gone. */
  DestroyWindow(state.replyWindow);

  *launcher = state.answeredBy;
  if (state.answeredBy != NULL) return KOVA_CLIENT_OK;
  if (state.windowsTimedOut > 0) return KOVA_CLIENT_TIMEOUT;
  return state.windowsFound > 0 ? KOVA_CLIENT_NO_REPLY : KOVA_CLIENT_NO_LAUNCHER;
}

KovaClientResult KovaClientConnect(KovaClient* client, unsigned int timeoutMilliseconds) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  char blockName[13];
  HWND launcher = NULL;
  HANDLE mapping;
  void* view;
  DWORD handleValue;
  KovaClientResult result;
  int digit;

  if (client == NULL) return KOVA_CLIENT_INVALID_ARGUMENT;
  ClearClient(client);
  client->timeoutMilliseconds =
      timeoutMilliseconds != 0 ? timeoutMilliseconds : KOVA_CLIENT_DEFAULT_TIMEOUT_MS;
  client->queryMessage = RegisterWindowMessageA(kQueryMessageName);
  if (client->queryMessage == 0) return KOVA_CLIENT_SYSTEM_ERROR;

  result = FindOwnLauncher(client->timeoutMilliseconds, &launcher);
  if (result != KOVA_CLIENT_OK) {
    client->queryMessage = 0;
    return result;
  }

  /* "HWND" and the eight upper-case hexadecimal digits of the window handle's
     low 32 bits. */
  handleValue = (DWORD)(ULONG_PTR)launcher;
  memcpy(blockName, "HWND", 4);
  for (digit = 0; digit < 8; ++digit) {
    blockName[4 + digit] = kHexDigits[(handleValue >> (28 - 4 * digit)) & 0xF];
  }
  blockName[12] = '\0';

  mapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, blockName);
  if (mapping == NULL) {
    client->queryMessage = 0;
    return KOVA_CLIENT_BLOCK_UNAVAILABLE;
  }
  /* Fails when the block is smaller than the protocol's size. */
  view = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, KOVA_BLOCK_SIZE);
  if (view == NULL) {
    CloseHandle(mapping);
    client->queryMessage = 0;
    return KOVA_CLIENT_BLOCK_UNAVAILABLE;
  }
  client->launcherWindow = launcher;
  client->blockMapping = mapping;
  client->blockView = view;
  return KOVA_CLIENT_OK;
}

int KovaClientIsConnected(const KovaClient* client) {
  return client != NULL && client->blockView != NULL;
}

void KovaClientDisconnect(KovaClient* client) {
  if (client == NULL) return;
  if (client->blockView != NULL) UnmapViewOfFile(client->blockView);
  if (client->blockMapping != NULL) CloseHandle((HANDLE)client->blockMapping);
  ClearClient(client);
}

KovaClientResult KovaClientGetString(KovaClient* client, const char* name, char* buffer,
                                     size_t bufferSize, size_t* sizeWithNul) {
  if (name == NULL) return KOVA_CLIENT_INVALID_ARGUMENT;
  return KovaClientGetStringN(client, name, strlen(name), buffer, bufferSize, sizeWithNul);
}

KovaClientResult KovaClientGetStringN(KovaClient* client, const char* name, size_t nameLength,
                                      char* buffer, size_t bufferSize, size_t* sizeWithNul) {
  unsigned char* block;
  const volatile unsigned char* lengthWord;
  DWORD_PTR queryResult = 0;
  size_t valueLength;

  if (client == NULL || name == NULL || buffer == NULL || bufferSize == 0) {
    return KOVA_CLIENT_INVALID_ARGUMENT;
  }
  buffer[0] = '\0';
  if (sizeWithNul != NULL) *sizeWithNul = 0;
  if (!KovaClientIsConnected(client)) return KOVA_CLIENT_NOT_CONNECTED;
  if (nameLength > KOVA_CLIENT_MAX_TEXT_SIZE) return KOVA_CLIENT_NAME_TOO_LONG;

  block = (unsigned char*)client->blockView;
  block[0] = (unsigned char)nameLength;
  block[1] = (unsigned char)(nameLength >> 8);
  block[2] = (unsigned char)(nameLength >> 16);
  block[3] = (unsigned char)(nameLength >> 24);
  memcpy(block + KOVA_LENGTH_FIELD_SIZE, name, nameLength);

  /* lParam must be non-zero for the launcher to answer. */
  if (!SendMessageTimeoutA((HWND)client->launcherWindow, client->queryMessage, 0, 1,
                           SMTO_NORMAL | SMTO_ABORTIFHUNG, client->timeoutMilliseconds,
                           &queryResult)) {
    const int launcherExists = IsWindow((HWND)client->launcherWindow);
    /* A late reply would land in the block over a later request: give up the
       connection. */
    KovaClientDisconnect(client);
    return launcherExists ? KOVA_CLIENT_TIMEOUT : KOVA_CLIENT_QUERY_FAILED;
  }
  if ((DWORD)queryResult != 0) return KOVA_CLIENT_QUERY_FAILED;

  /* Read the reply's length once: the bound checked is the bound used. */
  lengthWord = block;
  valueLength = (size_t)lengthWord[0] | (size_t)lengthWord[1] << 8 | (size_t)lengthWord[2] << 16 |
                (size_t)lengthWord[3] << 24;
  if (valueLength > KOVA_CLIENT_MAX_TEXT_SIZE) return KOVA_CLIENT_QUERY_FAILED;
  if (sizeWithNul != NULL) *sizeWithNul = valueLength + 1;
  if (valueLength + 1 > bufferSize) return KOVA_CLIENT_VALUE_TOO_LARGE;
  memcpy(buffer, block + KOVA_LENGTH_FIELD_SIZE, valueLength);
  buffer[valueLength] = '\0';
  return KOVA_CLIENT_OK;
}

const char* KovaClientResultText(KovaClientResult result) {
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
