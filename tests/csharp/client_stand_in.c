/*
 * A stand-in for kova_client with the same exported functions, for running
 * the C# binding on Linux: no launcher, values from a fixed table. It keeps
 * the library's contract for sizes, buffers and results, and records what each
 * query was given, which the test reads back through the KovaStandIn*
 * functions.
 */
#include <string.h>

#include "kova_client.h"

/* A connection holds this in its first field; a query through any other
   storage gives NOT_CONNECTED. */
#define STAND_IN_CONNECTED 0x4B6F76615374616EULL

#define STAND_IN_MAX_CALLS 16

typedef struct StandInValue {
  const char* name;
  const char* value;
  size_t size; /* without the NUL */
} StandInValue;

static const char kLong[] =
    "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"
    "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"
    "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"
    "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

static const StandInValue kValues[] = {
    {"Name", "Kova Quest", 10},
    {"Empty", "", 0},
    {"Long", kLong, sizeof kLong - 1},
    /* "Grüße, 世界" in UTF-8, under a name that is not ASCII either. */
    {"Gr\xC3\xBC\xC3\x9F\x65", "Gr\xC3\xBC\xC3\x9F\x65, \xE4\xB8\x96\xE7\x95\x8C", 15},
    {"WithNul", "a\0b", 3},
    {"NotUtf8", "\xFF\x41", 2},
};

/* "Grows": the probe sees the short value, the next query the long one. */
static const char kGrownShort[] = "short";
static const char kGrownLong[] = "a longer value than the probe saw";

static unsigned g_timeout;
static int g_calls;
static size_t g_bufferSizes[STAND_IN_MAX_CALLS];
static int g_nullBuffers[STAND_IN_MAX_CALLS];
static char g_lastName[256];
static size_t g_lastNameLength;
static int g_lastNameTerminated;

unsigned int KOVA_CLIENT_CALL KovaClientVersion(void) { return KOVA_CLIENT_VERSION; }

KovaClientResult KOVA_CLIENT_CALL KovaClientConnect(KovaClient* client,
                                                    unsigned int timeoutMilliseconds) {
  if (client == NULL) return KOVA_CLIENT_INVALID_ARGUMENT;
  memset(client, 0, sizeof *client);
  g_timeout = timeoutMilliseconds;
  /* A time-out of 9000 + N: the connect fails with result N. */
  if (timeoutMilliseconds > 9000 && timeoutMilliseconds <= 9000 + KOVA_CLIENT_SYSTEM_ERROR) {
    return (KovaClientResult)(timeoutMilliseconds - 9000);
  }
  client->launcherWindow = STAND_IN_CONNECTED;
  client->timeoutMilliseconds = timeoutMilliseconds;
  return KOVA_CLIENT_OK;
}

int KOVA_CLIENT_CALL KovaClientIsConnected(const KovaClient* client) {
  return client != NULL && client->launcherWindow == STAND_IN_CONNECTED;
}

void KOVA_CLIENT_CALL KovaClientDisconnect(KovaClient* client) {
  if (client != NULL) memset(client, 0, sizeof *client);
}

const char* KOVA_CLIENT_CALL KovaClientResultText(KovaClientResult result) {
  static const char* const kTexts[] = {
      "stand-in 0", "stand-in 1", "stand-in 2", "stand-in 3", "stand-in 4",  "stand-in 5",
      "stand-in 6", "stand-in 7", "stand-in 8", "stand-in 9", "stand-in 10",
  };
  const unsigned index = (unsigned)result;
  return index < sizeof kTexts / sizeof kTexts[0] ? kTexts[index] : "stand-in unknown";
}

static int NameIs(const char* name, size_t length, const char* wanted, size_t wantedLength) {
  return length == wantedLength && memcmp(name, wanted, length) == 0;
}

/* The failure named "Fail<N>" gives result N, at the probe already. */
static int FailureNamed(const char* name, size_t length, KovaClientResult* result) {
  if (length < 5 || length > 6 || memcmp(name, "Fail", 4) != 0) return 0;
  unsigned number = 0;
  for (size_t at = 4; at < length; ++at) {
    if (name[at] < '0' || name[at] > '9') return 0;
    number = number * 10 + (unsigned)(name[at] - '0');
  }
  *result = (KovaClientResult)number;
  return 1;
}

static KovaClientResult Failed(KovaClientResult result, char* buffer, size_t* sizeWithNul) {
  if (buffer != NULL) buffer[0] = '\0';
  if (sizeWithNul != NULL) *sizeWithNul = 0;
  return result;
}

static KovaClientResult Answer(const char* value, size_t size, char* buffer, size_t bufferSize,
                               size_t* sizeWithNul) {
  if (bufferSize < size + 1) {
    if (buffer != NULL) buffer[0] = '\0';
    if (sizeWithNul != NULL) *sizeWithNul = size + 1;
    return KOVA_CLIENT_VALUE_TOO_LARGE;
  }
  memcpy(buffer, value, size);
  buffer[size] = '\0';
  if (sizeWithNul != NULL) *sizeWithNul = size + 1;
  return KOVA_CLIENT_OK;
}

KovaClientResult KOVA_CLIENT_CALL KovaClientGetStringN(KovaClient* client, const char* name,
                                                       size_t nameLength, char* buffer,
                                                       size_t bufferSize, size_t* sizeWithNul) {
  const int probe = buffer == NULL && bufferSize == 0;
  if (client == NULL || name == NULL || (buffer == NULL && !probe) ||
      (buffer != NULL && bufferSize == 0) || (probe && sizeWithNul == NULL)) {
    return KOVA_CLIENT_INVALID_ARGUMENT;
  }
  if (g_calls < STAND_IN_MAX_CALLS) {
    g_bufferSizes[g_calls] = bufferSize;
    g_nullBuffers[g_calls] = buffer == NULL;
  }
  ++g_calls;
  g_lastNameLength = nameLength;
  memcpy(g_lastName, name, nameLength < sizeof g_lastName ? nameLength : sizeof g_lastName);
  g_lastNameTerminated = nameLength < sizeof g_lastName && name[nameLength] == '\0';

  if (client->launcherWindow != STAND_IN_CONNECTED) {
    return Failed(KOVA_CLIENT_NOT_CONNECTED, buffer, sizeWithNul);
  }
  KovaClientResult failure;
  if (FailureNamed(name, nameLength, &failure)) return Failed(failure, buffer, sizeWithNul);
  if (NameIs(name, nameLength, "FailAfterProbe", 14)) {
    if (probe) return Answer(kGrownShort, sizeof kGrownShort - 1, buffer, bufferSize, sizeWithNul);
    return Failed(KOVA_CLIENT_QUERY_FAILED, buffer, sizeWithNul);
  }
  if (NameIs(name, nameLength, "Grows", 5)) {
    if (probe) return Answer(kGrownShort, sizeof kGrownShort - 1, buffer, bufferSize, sizeWithNul);
    return Answer(kGrownLong, sizeof kGrownLong - 1, buffer, bufferSize, sizeWithNul);
  }
  /* Longer than any buffer, however often it is asked for. */
  if (NameIs(name, nameLength, "EverGrowing", 11)) {
    if (buffer != NULL) buffer[0] = '\0';
    *sizeWithNul = (probe ? 8 : bufferSize) + 1;
    return KOVA_CLIENT_VALUE_TOO_LARGE;
  }
  for (size_t i = 0; i < sizeof kValues / sizeof kValues[0]; ++i) {
    if (NameIs(name, nameLength, kValues[i].name, strlen(kValues[i].name))) {
      return Answer(kValues[i].value, kValues[i].size, buffer, bufferSize, sizeWithNul);
    }
  }
  return Answer("", 0, buffer, bufferSize, sizeWithNul); /* an unknown name */
}

KovaClientResult KOVA_CLIENT_CALL KovaClientGetString(KovaClient* client, const char* name,
                                                      char* buffer, size_t bufferSize,
                                                      size_t* sizeWithNul) {
  if (name == NULL) return KOVA_CLIENT_INVALID_ARGUMENT;
  return KovaClientGetStringN(client, name, strlen(name), buffer, bufferSize, sizeWithNul);
}

/* What the test reads back. */
void KovaStandInReset(void) {
  g_calls = 0;
  g_lastNameLength = 0;
  g_lastNameTerminated = 0;
}

unsigned KovaStandInTimeout(void) { return g_timeout; }

int KovaStandInCalls(void) { return g_calls; }

/* The buffer size of query `call`, or -1 for a null buffer. */
long long KovaStandInBufferSize(int call) {
  if (call < 0 || call >= STAND_IN_MAX_CALLS || call >= g_calls) return -2;
  return g_nullBuffers[call] ? -1 : (long long)g_bufferSizes[call];
}

/* The last query's name: its length, and whether a NUL followed it. */
size_t KovaStandInLastName(char* out, size_t size, int* terminated) {
  memcpy(out, g_lastName, g_lastNameLength < size ? g_lastNameLength : size);
  *terminated = g_lastNameTerminated;
  return g_lastNameLength;
}
