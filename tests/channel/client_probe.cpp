// A game stand-in for the client tests: connects to its launcher through the
// client library and asks for one string property, first through the C calls,
// then through the C++ wrapper, and prints what it got:
//   <connect result> <query result> <size with NUL> <value>
//   <connect result> <query result> <value length>
// Usage: channel_client_probe NAME BUFFER_SIZE
// Or only connects, with the time-out given, and prints
//   <connect result> <milliseconds the connect took>
// Usage: channel_client_probe --connect TIMEOUT_MS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kova_client.h"
#include "kova_client.hpp"

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--connect") {
    KovaClient client;
    const ULONGLONG start = GetTickCount64();
    const KovaClientResult connected =
        KovaClientConnect(&client, static_cast<unsigned int>(std::strtoul(argv[2], nullptr, 10)));
    std::printf("%d %lu\n", connected, static_cast<unsigned long>(GetTickCount64() - start));
    KovaClientDisconnect(&client);
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: channel_client_probe NAME BUFFER_SIZE\n");
    return 2;
  }
  const char* name = argv[1];
  const size_t bufferSize = std::strtoul(argv[2], nullptr, 10);
  const unsigned int timeoutMilliseconds = 5000;

  KovaClient client;
  const KovaClientResult connected = KovaClientConnect(&client, timeoutMilliseconds);
  std::vector<char> buffer(bufferSize + 1, '\0');
  size_t sizeWithNul = 0;
  const KovaClientResult queried =
      KovaClientGetString(&client, name, buffer.data(), bufferSize, &sizeWithNul);
  std::printf("%d %d %lu %s\n", connected, queried, static_cast<unsigned long>(sizeWithNul),
              buffer.data());
  KovaClientDisconnect(&client);

  kova::Client wrapped;
  const KovaClientResult wrappedConnected = wrapped.Connect(timeoutMilliseconds);
  std::string value;
  const KovaClientResult wrappedQueried = wrapped.GetString(name, value);
  std::printf("%d %d %lu\n", wrappedConnected, wrappedQueried,
              static_cast<unsigned long>(value.size()));
  return 0;
}
