// gamewrap pack and gamewrap inspect.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/gamewrap/commands.h"
#include "tools/gamewrap/input_checks.h"
#include "tools/gamewrap/json_output.h"
#include "tools/gamewrap/progress.h"
#include "tools/gamewrap/publisher_keys.h"
#include "tools/gamewrap/stub_locator.h"
#include "tools/gamewrap/wrap.h"

namespace gamewrap {

namespace {

constexpr char kPackUsage[] =
    "usage: gamewrap pack --game GAME --build-id NNNNNNNN -o OUTPUT [--arch ARCH | --stub "
    "LAUNCHER]\n"
    "                     [--publisher-key PUB [--publisher-key NEXT_PUB]]\n"
    "\n"
    "Writes OUTPUT: the launcher stub followed by the payload marker, the payload\n"
    "header block carrying the build identifier, and the game executable GAME.\n"
    "OUTPUT is written into a new file of its own beside it, flushed to disk and\n"
    "renamed into place, so a failed run leaves no half-written file and never\n"
    "overwrites an input. An input that changes size while it is read, or a game\n"
    "whose bytes change while it is packed, fails the run.\n"
    "\n"
    "The game must be a Windows program (an .exe for x86 or x64, not a DLL), and\n"
    "the stub a launcher stub built by this project. Without --stub, the stub is\n"
    "the kit's own: stubs/launcher-ARCH.exe beside the folder holding gamewrap.\n"
    "Prints the game's and the stub's architecture, and shows progress for large\n"
    "games when standard error is a terminal.\n"
    "\n"
    "Options:\n"
    "  --game GAME         the game's executable\n"
    "  --build-id N        the build identifier field: exactly eight decimal digits\n"
    "                      (00000042 for 42; sign and verify take the same digits)\n"
    "  -o, --output OUT    the wrapped launcher to write\n"
    "  --arch ARCH         the kit's stub to take: x86_64 (default) or i686\n"
    "  --stub LAUNCHER     a launcher stub of your own choosing instead of the kit's\n"
    "                      (not an already wrapped one)\n"
    "  --publisher-key PUB the publisher's public key file (PEM, as keygen writes\n"
    "                      it): the launcher then requires FILE.psig, a publisher\n"
    "                      signature, beside each properties document. Give it\n"
    "                      twice for the current key and the next one\n"
    "  -h, --help          show this help and exit\n";

constexpr char kInspectUsage[] =
    "usage: gamewrap inspect [--json] FILE\n"
    "\n"
    "Prints a wrapped launcher's payload marker offset, build identifier and payload size,\n"
    "whether its header carries a valid payload record (the game's length and checksum)\n"
    "and whether the payload matches it, and whether the file carries a certificate\n"
    "table (a code signature). A publisher key block is shown when the header holds\n"
    "one: its key ids, and whether it requires a publisher signature.\n"
    "\n"
    "Options:\n"
    "  --json      print the same as one JSON object on standard output\n"
    "              (see docs/publishing.md); errors still go to standard error\n"
    "  -h, --help  show this help and exit\n";

const char* RecordText(const Inspection& inspection) {
  switch (inspection.recordStatus) {
    case payload::RecordStatus::Absent:
      return "absent";
    case payload::RecordStatus::Damaged:
      return "damaged (the launcher will refuse to run it)";
    case payload::RecordStatus::Intact:
      break;
  }
  return inspection.recordPastEnd
             ? "invalid: claims more than the file holds (the launcher will refuse to run it)"
             : "valid";
}

const char* PayloadCheckText(PayloadMatch match) {
  switch (match) {
    case PayloadMatch::Matches:
      return "matches";
    case PayloadMatch::Differs:
      return "DIFFERS (the launcher will refuse to run it)";
    case PayloadMatch::NotChecked:
      break;
  }
  return "not checked (no valid record)";
}

// The record's state and the payload check as --json names them.
const char* RecordName(const Inspection& inspection) {
  switch (inspection.recordStatus) {
    case payload::RecordStatus::Absent:
      return "absent";
    case payload::RecordStatus::Damaged:
      return "damaged";
    case payload::RecordStatus::Intact:
      break;
  }
  return inspection.recordPastEnd ? "pastEnd" : "valid";
}

const char* PayloadCheckName(PayloadMatch match) {
  switch (match) {
    case PayloadMatch::Matches:
      return "matches";
    case PayloadMatch::Differs:
      return "differs";
    case PayloadMatch::NotChecked:
      break;
  }
  return "notChecked";
}

std::vector<std::string> KeyIds(const payload::KeyBlock& block) {
  std::vector<std::string> ids;
  for (const payload::PublisherKeyEntry& entry : block.entries)
    ids.push_back(KeyIdHex(entry.keyId));
  return ids;
}

// The key block's lines, shown only when the header holds its tag: a header
// without one prints as before.
void PrintKeyBlock(const Inspection& inspection) {
  if (inspection.keyBlockStatus == payload::KeyBlockStatus::Absent) return;
  if (inspection.keyBlockStatus == payload::KeyBlockStatus::Damaged) {
    std::printf("publisher key block: damaged (the launcher will refuse to run it)\n");
    return;
  }
  std::printf("publisher key block: valid, %s\n", inspection.keyBlock.requiresPublisherSignature
                                                      ? "publisher signature required"
                                                      : "publisher signature not required");
  const char* const roles[] = {"current", "next"};
  for (std::size_t i = 0; i < inspection.keyBlock.entries.size() && i < 2; ++i) {
    std::printf("publisher key (%s): %s\n", roles[i],
                KeyIdHex(inspection.keyBlock.entries[i].keyId).c_str());
  }
}

void PrintInspection(const Inspection& inspection) {
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
  PrintKeyBlock(inspection);
}

// Adds the fields of a successful inspection to `object`.
void AddInspection(const Inspection& inspection, JsonObject& object) {
  object.AddNull("error")
      .Add("markerOffset", inspection.markerOffset)
      .Add("payloadOffset",
           inspection.markerOffset + static_cast<std::int64_t>(payload::kPayloadOffset))
      .Add("payloadSize", inspection.payloadSize)
      .Add("buildId", inspection.buildId)
      .Add("record", RecordName(inspection));
  if (inspection.recordStatus == payload::RecordStatus::Intact) {
    char checksum[20];
    std::snprintf(checksum, sizeof checksum, "%016llx",
                  static_cast<unsigned long long>(inspection.record.payloadChecksum));
    object.Add("recordedLength", inspection.record.payloadLength).Add("recordedChecksum", checksum);
  } else {
    object.AddNull("recordedLength").AddNull("recordedChecksum");
  }
  object.Add("payloadChecksum", PayloadCheckName(inspection.payloadMatch));
  if (inspection.hasCertificateTable) {
    object.Add("certificateTable",
               JsonObject()
                   .Add("offset", static_cast<std::int64_t>(inspection.certificateTable.offset))
                   .Add("size", static_cast<std::int64_t>(inspection.certificateTable.size)));
  } else {
    object.AddNull("certificateTable");
  }
  if (inspection.keyBlockStatus == payload::KeyBlockStatus::Intact) {
    object.Add("keyBlock", JsonObject()
                               .Add("status", "valid")
                               .Add("publisherSignatureRequired",
                                    inspection.keyBlock.requiresPublisherSignature)
                               .Add("keyIds", KeyIds(inspection.keyBlock)));
  } else if (inspection.keyBlockStatus == payload::KeyBlockStatus::Damaged) {
    object.Add("keyBlock", JsonObject()
                               .Add("status", "damaged")
                               .AddNull("publisherSignatureRequired")
                               .Add("keyIds", std::vector<std::string>()));
  }
}

}  // namespace

int RunPack(const Args& args) {
  PackRequest request;
  std::string archName;
  std::vector<std::string> publisherKeys;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (IsHelpOption(arg)) {
      std::fputs(kPackUsage, stdout);
      return kExitOk;
    }
    std::string* target = nullptr;
    if (arg == "--stub")
      target = &request.stubPath;
    else if (arg == "--game")
      target = &request.gamePath;
    else if (arg == "--build-id")
      target = &request.buildId;
    else if (arg == "-o" || arg == "--output")
      target = &request.outputPath;
    else if (arg == "--arch")
      target = &archName;
    else if (arg == "--publisher-key")
      target = &publisherKeys.emplace_back();
    else
      return UsageError("unexpected argument '" + arg + "'", kPackUsage);
    if (i + 1 >= args.size()) return UsageError("option " + arg + " needs a value", kPackUsage);
    *target = args[++i];
  }
  if (request.gamePath.empty() || request.buildId.empty() || request.outputPath.empty()) {
    return UsageError("pack needs --game, --build-id and -o", kPackUsage);
  }
  Architecture architecture = Architecture::X86_64;
  if (!archName.empty() && !ParseArchitectureName(archName, architecture)) {
    return UsageError("--arch takes x86_64 or i686, not '" + archName + "'", kPackUsage);
  }
  if (!archName.empty() && !request.stubPath.empty()) {
    return UsageError("--arch picks one of the kit's stubs; --stub names one: give only one",
                      kPackUsage);
  }
  if (publisherKeys.size() > payload::kKeyBlockMaxEntries) {
    return UsageError("--publisher-key is taken once or twice (the current key, then the next)",
                      kPackUsage);
  }
  if (!publisherKeys.empty()) {
    payload::KeyBlock block;
    block.requiresPublisherSignature = true;
    for (const std::string& path : publisherKeys) {
      payload::PublisherKeyEntry entry;
      std::string error;
      if (!ReadPublisherPublicKey(path, entry, error)) {
        std::fprintf(stderr, "gamewrap pack: %s\n", error.c_str());
        return kExitFailure;
      }
      if (block.Find(entry.keyId) != nullptr) {
        return UsageError("the two --publisher-key files hold the same key", kPackUsage);
      }
      block.entries.push_back(entry);
    }
    request.keyBlock = block;
  }
  if (request.stubPath.empty()) {
    const std::string toolPath = OwnExecutablePath();
    if (toolPath.empty()) {
      std::fputs(
          "gamewrap pack: cannot tell where gamewrap lies to find the kit's stub; "
          "name one with --stub\n",
          stderr);
      return kExitFailure;
    }
    request.stubPath = KitStubPath(toolPath, architecture);
  }

  ExecutableInfo game, stub;
  std::string error;
  if (!CheckGame(request.gamePath, game, error) || !CheckStub(request.stubPath, stub, error)) {
    std::fprintf(stderr, "gamewrap pack: %s\n", error.c_str());
    return kExitFailure;
  }
  std::printf("stub: %s\n%s\n", request.stubPath.c_str(), ArchitectureLine(game, stub).c_str());
  std::fflush(stdout);
  const std::string warning = ArchitectureWarning(game, stub);
  if (!warning.empty()) std::fprintf(stderr, "gamewrap pack: warning: %s\n", warning.c_str());

  ProgressLine progress(stderr, "gamewrap pack: copying the game", StandardErrorIsTerminal());
  request.progress = [&progress](std::int64_t copied, std::int64_t total) {
    progress.Update(copied, total);
  };
  const bool packed = PackGame(request, error);
  progress.Finish();
  if (!packed) {
    std::fprintf(stderr, "gamewrap pack: %s\n", error.c_str());
    return kExitFailure;
  }
  if (request.keyBlock) {
    const std::vector<std::string> ids = KeyIds(*request.keyBlock);
    std::printf("publisher key block: key %s%s%s, publisher signature required\n", ids[0].c_str(),
                ids.size() > 1 ? ", next key " : "", ids.size() > 1 ? ids[1].c_str() : "");
  }
  return kExitOk;
}

int RunInspect(const Args& args) {
  if (args.size() == 1 && IsHelpOption(args[0])) {
    std::fputs(kInspectUsage, stdout);
    return kExitOk;
  }
  Args files;
  bool json = false;
  for (const std::string& arg : args) {
    if (arg == "--json") {
      json = true;
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 1) return UsageError("inspect takes exactly one FILE", kInspectUsage);
  const std::string& path = files[0];
  Inspection inspection;
  std::string error;
  const bool inspected = InspectWrapped(path, inspection, error);
  if (!inspected) std::fprintf(stderr, "gamewrap inspect: %s\n", error.c_str());
  if (json) {
    JsonObject object;
    object.Add("file", path);
    if (inspected) {
      AddInspection(inspection, object);
    } else {
      object.Add("error", error);
    }
    std::printf("%s\n", object.Text().c_str());
  } else if (inspected) {
    PrintInspection(inspection);
  }
  return inspected ? kExitOk : kExitFailure;
}

}  // namespace gamewrap
