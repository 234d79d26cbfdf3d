// A game that holds two copies of the client, as a game does that loads
// kova_client.dll for one part (an engine's scripting layer) while another
// part compiled the client's source in: this program links the source (the
// kova_client library) and loads the DLL by name from the folder it was
// started in. Two threads, one per copy, each with its own connection, ask
// for names of their own at the same time; the launcher's properties hold
// "<name>" -> "value of <name>" for each (see client_game_e2e_test.cpp).
//
// Thread "static" asks for "static-<k>", thread "dll" for "dll-<k>", 500
// times each, k going round 0 to 19. It writes one record in the test game's format
// (tests/e2e/test_game/game_files.h):
//   library=<the loaded DLL's file; empty when none was loaded>
//   <thread>.connect=<result>
//   <thread>.right=<count>  <thread>.wrong=<count: OK with another value>
//   <thread>.failed=<count: any other result>
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "kova_client.h"
#include "tests/e2e/test_game/game_files.h"

namespace {

constexpr unsigned long kQueriesPerThread = 500;
constexpr unsigned long kNamesPerThread = 20;

using ConnectFunction = int(__cdecl*)(void* client, unsigned int timeoutMilliseconds);
using GetStringFunction = int(__cdecl*)(void* client, const char* name, char* buffer,
                                        std::size_t bufferSize, std::size_t* sizeWithNul);
using DisconnectFunction = void(__cdecl*)(void* client);

// One copy of the client's three calls, with the connection as its bytes.
struct ClientCopy {
  ConnectFunction connect = nullptr;
  GetStringFunction getString = nullptr;
  DisconnectFunction disconnect = nullptr;
};

int __cdecl StaticConnect(void* client, unsigned int timeoutMilliseconds) {
  return KovaClientConnect(static_cast<KovaClient*>(client), timeoutMilliseconds);
}
int __cdecl StaticGetString(void* client, const char* name, char* buffer, std::size_t bufferSize,
                            std::size_t* sizeWithNul) {
  return KovaClientGetString(static_cast<KovaClient*>(client), name, buffer, bufferSize,
                             sizeWithNul);
}
void __cdecl StaticDisconnect(void* client) {
  KovaClientDisconnect(static_cast<KovaClient*>(client));
}

template <typename Function>
Function Export(HMODULE dll, const char* name) {
  // Through void(*)(), the one function type every other converts from.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(dll, name)));
}

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  return length < MAX_PATH ? std::string(path, length) : std::string();
}

// Runs one thread's queries and returns its record lines.
std::string AskAll(const ClientCopy& copy, const std::string& tag) {
  alignas(8) unsigned char client[KOVA_CLIENT_SIZE] = {};
  const int connected = copy.connect(client, 0);
  unsigned long right = 0, wrong = 0, failed = 0;
  char buffer[256];
  for (unsigned long query = 0; connected == KOVA_CLIENT_OK && query < kQueriesPerThread; ++query) {
    const std::string name = tag + "-" + std::to_string(query % kNamesPerThread);
    std::size_t sizeWithNul = 0;
    if (copy.getString(client, name.c_str(), buffer, sizeof buffer, &sizeWithNul) !=
        KOVA_CLIENT_OK) {
      ++failed;
    } else if (std::string(buffer, sizeWithNul - 1) == "value of " + name) {
      ++right;
    } else {
      ++wrong;
    }
  }
  copy.disconnect(client);
  return tag + ".connect=" + std::to_string(connected) + "\n" + tag +
         ".right=" + std::to_string(right) + "\n" + tag + ".wrong=" + std::to_string(wrong) + "\n" +
         tag + ".failed=" + std::to_string(failed) + "\n";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const HMODULE dll = LoadLibraryA("kova_client.dll");
  std::string record = "run\nlibrary=" + (dll != nullptr ? ModulePath(dll) : "") + "\n";

  ClientCopy compiledIn;
  compiledIn.connect = StaticConnect;
  compiledIn.getString = StaticGetString;
  compiledIn.disconnect = StaticDisconnect;
  ClientCopy loaded;
  if (dll != nullptr) {
    loaded.connect = Export<ConnectFunction>(dll, "KovaClientConnect");
    loaded.getString = Export<GetStringFunction>(dll, "KovaClientGetString");
    loaded.disconnect = Export<DisconnectFunction>(dll, "KovaClientDisconnect");
  }
  if (loaded.connect != nullptr && loaded.getString != nullptr && loaded.disconnect != nullptr) {
    std::string staticLines, dllLines;
    std::thread other([&] { dllLines = AskAll(loaded, "dll"); });
    staticLines = AskAll(compiledIn, "static");
    other.join();
    record += staticLines + dllLines;
  }
  if (dll != nullptr) FreeLibrary(dll);

  std::FILE* file = std::fopen(testgame::kRecordFileName, "ab");
  if (file != nullptr) {
    record += "exit=0\n";
    std::fwrite(record.data(), 1, record.size(), file);
    std::fclose(file);
  }
  return 0;
}
