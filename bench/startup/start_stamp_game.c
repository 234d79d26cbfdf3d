/* A game that does nothing but note when it started: its first instruction
   writes the system time (100 ns units since 1601, which under Wine is the
   host's clock) into start-stamp.txt in its current directory, and it ends.
   bench/run compares the stamp with the time taken just before `wine`. */
#include <stdio.h>
#include <windows.h>

int main(void) {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const unsigned long long ticks =
      ((unsigned long long)now.dwHighDateTime << 32) | now.dwLowDateTime;
  FILE* stamp = fopen("start-stamp.txt", "w");
  if (stamp == NULL) return 1;
  fprintf(stamp, "%llu\n", ticks);
  return fclose(stamp) == 0 ? 0 : 1;
}
