// A game that uses the client only as kova_client.dll, the way an engine's
// foreign-function layer does: it loads the DLL by name at run time (from the
// folder it was started in), looks up every function by its exported name,
// and holds its KovaClient as 32 opaque bytes. It includes no client header
// and links no import library: the declarations below are what a binder
// writes from the documentation.
//
// It asks for the property "Publisher" and writes one record in the test
// game's format (tests/e2e/test_game/game_files.h):
//   library=<the loaded DLL's file; empty when none was loaded>
//   missing=<exports not found, each followed by a blank>
//   version=<KovaClientVersion(), asked before connecting>
//   connect=<result>  connected=<KovaClientIsConnected>
//   probe=<result>  probe-size=<size>  of the size probe (no buffer, size 0)
//   query=<result>  size=<size with NUL>  value=<hex>
//                   asked again with a buffer of exactly the probe's size
//   query-n=<result>  value-n=<hex>  the same name through KovaClientGetStringN
//                   with a longer text whose length names only the name
//   probe-text=<KovaClientResultText of the probe's result>
//   guard-intact=0|1  no call wrote past the connection's 32 bytes
//   connected-after-disconnect=<KovaClientIsConnected after KovaClientDisconnect>
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/test_game/game_files.h"
#include "tests/e2e/test_game/record_text.h"

namespace {

// The client's functions as a binder declares them: __cdecl, results as int,
// the connection as a pointer to its bytes.
using ConnectFunction = int(__cdecl*)(void* client, unsigned int timeoutMilliseconds);
using GetStringFunction = int(__cdecl*)(void* client, const char* name, char* buffer,
                                        std::size_t bufferSize, std::size_t* sizeWithNul);
using GetStringNFunction = int(__cdecl*)(void* client, const char* name, std::size_t nameLength,
                                         char* buffer, std::size_t bufferSize,
                                         std::size_t* sizeWithNul);
using IsConnectedFunction = int(__cdecl*)(const void* client);
using DisconnectFunction = void(__cdecl*)(void* client);
using ResultTextFunction = const char*(__cdecl*)(int result);
using VersionFunction = unsigned int(__cdecl*)();

// The connection's 32 bytes, zero-filled, and a guard behind them.
struct alignas(8) ClientStorage {
  std::uint64_t client[4] = {};
  std::uint64_t guard[2] = {kGuard, kGuard};

  static constexpr std::uint64_t kGuard = 0xA5A5A5A5A5A5A5A5u;
  bool GuardIntact() const { return guard[0] == kGuard && guard[1] == kGuard; }
};

class Exports {
 public:
  explicit Exports(HMODULE dll) : dll_(dll) {}

  // The export `name` as a `Function`; null, and `name` noted, when missing.
  template <typename Function>
  Function Find(const char* name) {
    const FARPROC address = GetProcAddress(dll_, name);
    if (address == nullptr) missing_ += std::string(name) + " ";
    // Through void(*)(), the one function type every other converts from.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
  }
  const std::string& missing() const { return missing_; }

 private:
  HMODULE dll_;
  std::string missing_;
};

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  return length < MAX_PATH ? std::string(path, length) : std::string();
}

std::string Field(const char* name, const std::string& value) {
  return std::string(name) + "=" + value + "\n";
}

std::string Number(long long value) { return std::to_string(value); }

void AppendRecord(const std::string& text) {
  std::FILE* record = std::fopen(testgame::kRecordFileName, "ab");
  if (record == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), record);
  std::fclose(record);
}

std::string UseTheDll(HMODULE dll, const std::string& name) {
  Exports exports(dll);
  const auto connect = exports.Find<ConnectFunction>("KovaClientConnect");
  const auto getString = exports.Find<GetStringFunction>("KovaClientGetString");
  const auto getStringN = exports.Find<GetStringNFunction>("KovaClientGetStringN");
  const auto isConnected = exports.Find<IsConnectedFunction>("KovaClientIsConnected");
  const auto disconnect = exports.Find<DisconnectFunction>("KovaClientDisconnect");
  const auto resultText = exports.Find<ResultTextFunction>("KovaClientResultText");
  const auto version = exports.Find<VersionFunction>("KovaClientVersion");
  std::string record = Field("missing", exports.missing());
  if (!exports.missing().empty()) return record;

  record += Field("version", Number(version()));
  ClientStorage storage;
  record += Field("connect", Number(connect(storage.client, 0)));
  record += Field("connected", Number(isConnected(storage.client)));

  std::size_t probeSize = 0;
  const int probe = getString(storage.client, name.c_str(), nullptr, 0, &probeSize);
  record += Field("probe", Number(probe)) + Field("probe-size", Number(probeSize));

  std::vector<char> buffer(probeSize > 0 ? probeSize : 1);
  std::size_t sizeWithNul = 0;
  const int query = getString(storage.client, name.c_str(), buffer.data(), probeSize, &sizeWithNul);
  record +=
      Field("query", Number(query)) + Field("size", Number(sizeWithNul)) +
      Field("value", testgame::HexOfBytes(query == 0 ? std::string(buffer.data(), sizeWithNul - 1)
                                                     : std::string()));

  const std::string longer = name + "-and-more";
  std::vector<char> large(65536);
  const int queryN = getStringN(storage.client, longer.data(), name.size(), large.data(),
                                large.size(), &sizeWithNul);
  record +=
      Field("query-n", Number(queryN)) +
      Field("value-n", testgame::HexOfBytes(queryN == 0 ? std::string(large.data(), sizeWithNul - 1)
                                                        : std::string()));
  record += Field("probe-text", resultText(probe));
  disconnect(storage.client);
  record += Field("guard-intact", storage.GuardIntact() ? "1" : "0");
  record += Field("connected-after-disconnect", Number(isConnected(storage.client)));
  return record;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string name = "Publisher";
  const HMODULE dll = LoadLibraryA("kova_client.dll");
  std::string record = "run\n" + Field("library", dll != nullptr ? ModulePath(dll) : "");
  if (dll != nullptr) {
    record += UseTheDll(dll, name);
    FreeLibrary(dll);
  }
  AppendRecord(record + "exit=0\n");
  return 0;
}
