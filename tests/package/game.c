/* A game built against the installed kit: asks the launcher that started it
   for one property and writes what it got to package-game.txt in its current
   directory ("version=", then "DisplayName=" or "error="). */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "kova_client.h"

static int Finish(FILE* report, const char* line, KovaClientResult result) {
  fprintf(report, "%s%s\n", line, KovaClientResultText(result));
  fclose(report);
  return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  KovaClient client = {0};
  KovaClientResult result;
  size_t size = 0;
  char* value;
  FILE* report = fopen("package-game.txt", "wb");
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  if (report == NULL) return 2;
  fprintf(report, "version=%u\n", KovaClientVersion());

  result = KovaClientConnect(&client, 0);
  if (result != KOVA_CLIENT_OK) return Finish(report, "error=connect: ", result);
  /* The size probe first, then the value. */
  result = KovaClientGetString(&client, "DisplayName", NULL, 0, &size);
  if (result != KOVA_CLIENT_VALUE_TOO_LARGE) return Finish(report, "error=probe: ", result);
  value = (char*)malloc(size);
  if (value == NULL) return Finish(report, "error=memory: ", KOVA_CLIENT_SYSTEM_ERROR);
  result = KovaClientGetString(&client, "DisplayName", value, size, &size);
  if (result != KOVA_CLIENT_OK) {
    free(value);
    return Finish(report, "error=query: ", result);
  }
  fprintf(report, "DisplayName=%s\n", value);
  free(value);
  KovaClientDisconnect(&client);
  fclose(report);
  return 0;
}
