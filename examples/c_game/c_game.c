/* The C game: a console program that reads the launcher's DisplayName and
   SupportUrl properties, whatever their size, and prints them. Started any
   other way it prints why it has no launcher values and runs on.

   The lines to copy into a game are those between "copy from here" and
   "to here"; the game links the client (kova_client.c, or kova_client.dll's
   import library with KOVA_CLIENT_USE_DLL defined). */
#include <stdio.h>
#include <stdlib.h>

#include "kova_client.h"

/* copy from here */
/* The launcher's string property `name` in a buffer the caller frees, or
   NULL with the reason in *result. */
static char* ReadProperty(KovaClient* client, const char* name, KovaClientResult* result) {
  size_t size = 0;
  char* value = NULL;
  /* The size probe, then the value; a value that grew in between is asked for again. */
  *result = KovaClientGetString(client, name, NULL, 0, &size);
  while (*result == KOVA_CLIENT_VALUE_TOO_LARGE) {
    char* larger = (char*)realloc(value, size);
    if (larger == NULL) {
      *result = KOVA_CLIENT_SYSTEM_ERROR;
      break;
    }
    value = larger;
    *result = KovaClientGetString(client, name, value, size, &size);
  }
  if (*result != KOVA_CLIENT_OK) {
    free(value);
    return NULL;
  }
  return value;
}
/* to here */

int main(void) {
  static const char* const names[] = {"DisplayName", "SupportUrl"};
  KovaClient client;
  size_t index;
  /* copy from here */
  KovaClientResult result = KovaClientConnect(&client, 0); /* 0: the default time-out, 2 s */
  if (result != KOVA_CLIENT_OK) {
    printf("No launcher values: %s\n", KovaClientResultText(result));
    return 0; /* the game runs on with its own defaults */
  }
  /* to here */
  for (index = 0; index < sizeof names / sizeof names[0]; ++index) {
    char* value = ReadProperty(&client, names[index], &result);
    if (value != NULL) {
      printf("%s: %s\n", names[index], value);
      free(value);
    } else {
      printf("%s: %s\n", names[index], KovaClientResultText(result));
    }
  }
  /* copy from here */
  KovaClientDisconnect(&client);
  /* to here */
  return 0;
}
