// gamewrap pack and gamewrap inspect.
#include <cstdio>
#include <string>

#include "tools/gamewrap/commands.h"
#include "tools/gamewrap/wrap.h"

namespace gamewrap {

namespace {

constexpr char kPackUsage[] =
    "usage: gamewrap pack --stub LAUNCHER --game GAME --build-id NNNNNNNN -o OUTPUT\n"
    "\n"
    "Writes OUTPUT: the launcher LAUNCHER followed by the payload marker, the payload\n"
    "header block carrying the build identifier, and the game executable GAME.\n"
    "OUTPUT is written into a new file of its own beside it, flushed to disk and\n"
    "renamed into place, so a failed run leaves no half-written file and never\n"
    "overwrites an input. An input that changes size while it is read fails the run.\n"
    "\n"
    "Options:\n"
    "  --stub LAUNCHER     the built launcher (not an already wrapped one)\n"
    "  --game GAME         the game's executable\n"
    "  --build-id N        the build identifier field: exactly eight decimal digits\n"
    "                      (00000042 for 42; sign and verify take the same digits)\n"
    "  -o, --output OUT    the wrapped launcher to write\n"
    "  -h, --help          show this help and exit\n";

constexpr char kInspectUsage[] =
    "usage: gamewrap inspect FILE\n"
    "\n"
    "Prints a wrapped launcher's payload marker offset, build identifier and payload size,\n"
    "whether its header carries a valid payload record (the game's length and checksum)\n"
    "and whether the payload matches it, and whether the file carries a certificate\n"
    "table (a code signature).\n";

const char* RecordText(const Inspection& inspection) {
  switch (inspection.recordStatus) {
    case payload::RecordStatus::Absent: return "absent";
    case payload::RecordStatus::Damaged: return "damaged (ignored)";
    case payload::RecordStatus::Intact: break;
  }
  return inspection.recordPastEnd ? "invalid: runs past the end of the file (ignored)" : "valid";
}

const char* PayloadCheckText(PayloadMatch match) {
  switch (match) {
    case PayloadMatch::Matches: return "matches";
    case PayloadMatch::Differs: return "DIFFERS (the launcher will refuse to run it)";
    case PayloadMatch::NotChecked: break;
  }
  return "not checked (no valid record)";
}

}  // namespace

int RunPack(const Args& args) {
  PackRequest request;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (IsHelpOption(arg)) {
      std::fputs(kPackUsage, stdout);
      return kExitOk;
    }
    std::string* target = nullptr;
    if (arg == "--stub") target = &request.stubPath;
    else if (arg == "--game") target = &request.gamePath;
    else if (arg == "--build-id") target = &request.buildId;
    else if (arg == "-o" || arg == "--output") target = &request.outputPath;
    else return UsageError("unexpected argument '" + arg + "'", kPackUsage);
    if (i + 1 >= args.size()) return UsageError("option " + arg + " needs a value", kPackUsage);
    *target = args[++i];
  }
  if (request.stubPath.empty() || request.gamePath.empty() || request.buildId.empty() ||
      request.outputPath.empty()) {
    return UsageError("pack needs --stub, --game, --build-id and -o", kPackUsage);
  }
  std::string error;
  if (!PackGame(request, error)) {
    std::fprintf(stderr, "gamewrap pack: %s\n", error.c_str());
    return kExitFailure;
  }
  return kExitOk;
}

int RunInspect(const Args& args) {
  if (args.size() == 1 && IsHelpOption(args[0])) {
    std::fputs(kInspectUsage, stdout);
    return kExitOk;
  }
  if (args.size() != 1) return UsageError("inspect takes exactly one FILE", kInspectUsage);
  Inspection inspection;
  std::string error;
  if (!InspectWrapped(args[0], inspection, error)) {
    std::fprintf(stderr, "gamewrap inspect: %s\n", error.c_str());
    return kExitFailure;
  }
  std::printf("marker offset: %lld\nbuild identifier: %s\npayload size: %lld\n",
              static_cast<long long>(inspection.markerOffset), inspection.buildId.c_str(),
              static_cast<long long>(inspection.payloadSize));
  std::printf("payload record: %s\n", RecordText(inspection));
  if (inspection.recordStatus == payload::RecordStatus::Intact) {
    std::printf("recorded length: %llu\nrecorded checksum: %016llx\n",
                static_cast<unsigned long long>(inspection.record.payloadLength),
                static_cast<unsigned long long>(inspection.record.payloadChecksum));
  }
  std::printf("payload checksum: %s\n", PayloadCheckText(inspection.payloadMatch));
  if (inspection.hasCertificateTable) {
    std::printf("certificate table: present (offset %lu, %lu bytes)\n",
                static_cast<unsigned long>(inspection.certificateTable.offset),
                static_cast<unsigned long>(inspection.certificateTable.size));
  } else {
    std::printf("certificate table: none\n");
  }
  return kExitOk;
}

}  // namespace gamewrap
