// The demo game, the C++ sample: a small game built on the client library.
// Started by the launcher, it connects to it, asks for a few string
// properties of the partner properties, and writes what it asked and got into
// demo-game-report.txt in its current directory (the launcher's directory).
// The lines a game copies are the kova::Client, Connect and GetString calls
// in WinMain; values are the document's bytes (UTF-8 for the sample's).
#include <windows.h>

#include <cstdio>
#include <string>

#include "kova_client.hpp"

namespace {

// The four product strings every partner document carries, a few more strings,
// an integer (not a string value: it comes back empty) and an unknown name.
constexpr const char* kAskedNames[] = {"ProdName",    "Offering",   "DisplayName",
                                       "RegistryKey", "Publisher",  "SupportUrl",
                                       "Tagline",     "MaxPlayers", "NoSuchKey"};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::FILE* report = std::fopen("demo-game-report.txt", "w");
  if (report == nullptr) return 1;
  std::fprintf(report, "The demo game ran (command line: %s).\n", GetCommandLineA());

  kova::Client launcher;
  const KovaClientResult connected = launcher.Connect();
  if (connected != KOVA_CLIENT_OK) {
    std::fprintf(report, "No connection to the launcher: %s\n", KovaClientResultText(connected));
    std::fclose(report);
    return 2;
  }
  std::fprintf(report, "Connected to the launcher. Asked and got:\n");
  for (const char* name : kAskedNames) {
    std::string value;
    const KovaClientResult result = launcher.GetString(name, value);
    if (result == KOVA_CLIENT_OK) {
      std::fprintf(report, "  %-12s -> \"%s\"\n", name, value.c_str());
    } else {
      std::fprintf(report, "  %-12s -> failed: %s\n", name, KovaClientResultText(result));
    }
  }
  std::fclose(report);
  return 0;
}
