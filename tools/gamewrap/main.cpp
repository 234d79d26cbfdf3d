// gamewrap: the publisher's tool that wraps a game behind the launcher and signs
// the launcher's properties documents.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/gamewrap/commands.h"

namespace {

constexpr char kUsage[] =
    "usage: gamewrap <command> [options]\n"
    "\n"
    "Commands:\n"
    "  pack     wrap a game behind the launcher\n"
    "           gamewrap pack --game GAME --build-id NNNNNNNN -o OUTPUT [--arch ARCH | --stub "
    "LAUNCHER]\n"
    "  inspect  show a wrapped launcher's marker offset, build identifier and payload size\n"
    "           gamewrap inspect [--json] FILE\n"
    "  sign     sign a properties document for a build identifier (writes FILE.sig)\n"
    "           gamewrap sign --key KEY --build-id N FILE\n"
    "           gamewrap sign --key KEY --publisher-key PKEY --build-id N FILE...\n"
    "  verify   check a properties document against FILE.sig as the launcher does\n"
    "           gamewrap verify [--json] --build-id N FILE\n"
    "           gamewrap verify [--json] [--build-id N] --launcher LAUNCHER FILE\n"
    "  keygen   make a publisher key pair (BASE.key, BASE.pub)\n"
    "           gamewrap keygen --out BASE [--force]\n"
    "\n"
    "Run 'gamewrap <command> --help' for a command's options.\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace gamewrap;
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const std::string command = argv[1];
  const Args args(argv + 2, argv + argc);
  if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (command == "--version") {
    std::puts("gamewrap " KOVA_VERSION);
    return kExitOk;
  }
  if (command == "pack") return RunPack(args);
  if (command == "inspect") return RunInspect(args);
  if (command == "sign") return RunSign(args);
  if (command == "verify") return RunVerify(args);
  if (command == "keygen") return RunKeygen(args);
  std::fprintf(stderr, "gamewrap: unknown command '%s'\n\n%s", command.c_str(), kUsage);
  return kExitUsage;
}
