// gamewrap sign and gamewrap verify: making and checking the detached
// signature files of the launcher's properties documents.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "channel/channel_protocol.h"
#include "common/read_result.h"
#include "common/text_rules.h"
#include "payload/payload_format.h"
#include "properties/partner_properties.h"
#include "properties/properties_store.h"
#include "signature/file_signature.h"
#include "signature/signing_key.h"
#include "tools/gamewrap/commands.h"
#include "tools/gamewrap/file_io.h"
#include "tools/gamewrap/json_output.h"

namespace gamewrap {

namespace {

constexpr char kSignUsage[] =
    "usage: gamewrap sign --key KEY --build-id N FILE\n"
    "\n"
    "Writes FILE.sig: the signature of FILE for launchers whose payload header\n"
    "carries build identifier N, as 24 upper-case hexadecimal digits. White space\n"
    "(tab, line feed, vertical tab, form feed, carriage return, space) in FILE is\n"
    "not signed; every other byte is. FILE.sig is replaced atomically. Warns of\n"
    "string values longer than the game channel carries (65532 bytes).\n"
    "\n"
    "Options:\n"
    "  --key KEY        the private key file: lines modulus=HEX and\n"
    "                   private_exponent=HEX (see docs/signing.md); its modulus\n"
    "                   must be the launcher's built-in one\n"
    "  --build-id N     the build identifier: one to eight decimal digits, 0 to\n"
    "                   99999999 (42 and 00000042 are the same)\n"
    "  -h, --help       show this help and exit\n";

constexpr char kVerifyUsage[] =
    "usage: gamewrap verify [--json] --build-id N FILE\n"
    "\n"
    "Checks FILE against FILE.sig exactly as the launcher with build identifier N\n"
    "does, and says why the check fails. Exit code 0 when the signature is valid.\n"
    "Warns of string values longer than the game channel carries (65532 bytes).\n"
    "\n"
    "Options:\n"
    "  --build-id N     the build identifier: one to eight decimal digits, 0 to\n"
    "                   99999999 (42 and 00000042 are the same)\n"
    "  --json           print the result as one JSON object on standard output\n"
    "                   (see docs/publishing.md); standard error is unchanged\n"
    "  -h, --help       show this help and exit\n";

struct SignArgs {
  std::string keyPath;
  std::string buildId;
  std::string filePath;
  bool help = false;
  bool json = false;
};

// Reads the options of sign (withKey) or verify. False with a message.
bool ParseArgs(const Args& args, bool withKey, SignArgs& parsed, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (IsHelpOption(arg)) {
      parsed.help = true;
      return true;
    }
    std::string* target = nullptr;
    if (!withKey && arg == "--json") {
      parsed.json = true;
      continue;
    }
    if (withKey && arg == "--key") {
      target = &parsed.keyPath;
    } else if (arg == "--build-id") {
      target = &parsed.buildId;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option '" + arg + "'";
      return false;
    } else if (parsed.filePath.empty()) {
      parsed.filePath = arg;
      continue;
    } else {
      error = "unexpected argument '" + arg + "': only one FILE is taken";
      return false;
    }
    if (i + 1 >= args.size()) {
      error = "option " + arg + " needs a value";
      return false;
    }
    *target = args[++i];
    if (target->empty()) {
      error = "option " + arg + " needs a non-empty value";
      return false;
    }
  }
  if ((withKey && parsed.keyPath.empty()) || parsed.buildId.empty() || parsed.filePath.empty()) {
    error = withKey ? "sign needs --key, --build-id and FILE" : "verify needs --build-id and FILE";
    return false;
  }
  return true;
}

// A build identifier argument: one to eight decimal digits, the rule that
// pack's header field and the launcher share.
bool ParseBuildId(const std::string& text, std::int32_t& buildId, std::string& error) {
  if (payload::ParseBuildIdArgument(text, buildId)) return true;
  error = "build identifier '" + text +
          "' is not one to eight decimal digits (0 to 99999999; 42 and 00000042 are the same)";
  return false;
}

std::string SignaturePathOf(const std::string& filePath) { return filePath + kSignatureFileSuffix; }

// Why a signature text that failed the check is not well formed; empty when
// it is the usual 24 hexadecimal digits.
std::string DescribeMalformedText(std::string_view fileStart) {
  const std::string_view text = SignatureTextOf(fileStart);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!text::IsHexDigit(c)) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(c));
      return "byte " + std::string(byte) + " at position " + std::to_string(i + 1) +
             " is not a hexadecimal digit (the launcher reads it as a 0 digit)";
    }
  }
  if (text.size() < kSignatureTextMaxLength) {
    const bool cutAtNul = text.size() < fileStart.size();
    return "only " + std::to_string(text.size()) + " hexadecimal digits before " +
           (cutAtNul ? "a NUL byte" : "the end of the file") + ", expected " +
           std::to_string(kSignatureTextMaxLength);
  }
  return std::string();
}

// A warning naming each string value that the game channel cannot carry: the
// launcher refuses to answer a query for it, and the game cannot tell that
// from a broken launcher. `store` holds the document as the launcher reads it.
std::vector<std::string> ValuesTheChannelCannotCarry(const PropertiesStore& store) {
  std::vector<std::string> warnings;
  for (const auto& [name, value] : store.Strings()) {
    if (value.size() <= channel::kMaxTextSize) continue;
    warnings.push_back("the value of '" + name + "' is " + std::to_string(value.size()) +
                       " bytes; the game channel carries at most " +
                       std::to_string(channel::kMaxTextSize));
  }
  return warnings;
}

}  // namespace

int RunSign(const Args& args) {
  SignArgs parsed;
  std::string error;
  if (!ParseArgs(args, /*withKey=*/true, parsed, error)) return UsageError(error, kSignUsage);
  if (parsed.help) {
    std::fputs(kSignUsage, stdout);
    return kExitOk;
  }
  std::int32_t buildId = 0;
  if (!ParseBuildId(parsed.buildId, buildId, error)) return UsageError(error, kSignUsage);

  std::string keyText;
  if (!ReadWholeFile(parsed.keyPath, keyText, error)) {
    std::fprintf(stderr, "gamewrap sign: cannot read the key: %s\n", error.c_str());
    return kExitFailure;
  }
  SigningKey key;
  const ReadResult keyRead = ParseSigningKey(keyText, key);
  if (!keyRead.ok) {
    std::fprintf(stderr, "gamewrap sign: key file '%s': %s\n", parsed.keyPath.c_str(),
                 keyRead.message.c_str());
    return kExitFailure;
  }
  if (key.modulus != BigInt(std::string_view(kSignatureModulusText))) {
    std::fprintf(stderr,
                 "gamewrap sign: key file '%s': its modulus is not the launcher's built-in "
                 "modulus %s; the stock launcher would not accept signatures made with it. "
                 "Nothing written.\n",
                 parsed.keyPath.c_str(), kSignatureModulusText);
    return kExitFailure;
  }

  std::string contents;
  if (!ReadWholeFile(parsed.filePath, contents, error)) {
    std::fprintf(stderr, "gamewrap sign: %s\n", error.c_str());
    return kExitFailure;
  }
  const std::string signature = MakeSignatureText(key, buildId, contents);
  // A wrong private exponent gives a signature that the launcher rejects:
  // check before writing anything.
  if (!SignatureTextVerifies(signature, buildId, contents)) {
    std::fprintf(stderr,
                 "gamewrap sign: key file '%s': its private exponent does not belong to its "
                 "modulus (the signature made with it does not verify). Nothing written.\n",
                 parsed.keyPath.c_str());
    return kExitFailure;
  }
  const std::string signaturePath = SignaturePathOf(parsed.filePath);
  if (!WriteFileAtomically(signaturePath, signature, error)) {
    std::fprintf(stderr, "gamewrap sign: %s\n", error.c_str());
    return kExitFailure;
  }
  std::printf("%s: signed for build identifier %d\n", signaturePath.c_str(),
              static_cast<int>(buildId));
  PropertiesStore store;
  ParsePartnerDocument(contents, store);
  for (const std::string& warning : ValuesTheChannelCannotCarry(store)) {
    std::fprintf(stderr, "gamewrap sign: warning: %s\n", warning.c_str());
  }
  return kExitOk;
}

int RunVerify(const Args& args) {
  SignArgs parsed;
  std::string error;
  if (!ParseArgs(args, /*withKey=*/false, parsed, error)) return UsageError(error, kVerifyUsage);
  if (parsed.help) {
    std::fputs(kVerifyUsage, stdout);
    return kExitOk;
  }
  std::int32_t buildId = 0;
  if (!ParseBuildId(parsed.buildId, buildId, error)) return UsageError(error, kVerifyUsage);

  // The verdict is the launcher's own read and check; the rest only explains it.
  const std::string signaturePath = SignaturePathOf(parsed.filePath);
  VerifyPrinter out(parsed.json, parsed.filePath, signaturePath, buildId);
  std::string contents;
  const PartnerDocumentStatus status =
      ReadAndVerifyPartnerDocument(parsed.filePath, buildId, contents);
  if (status == PartnerDocumentStatus::CannotOpen || status == PartnerDocumentStatus::CannotRead) {
    // The plain read names the system's reason; what is left is the size rule.
    std::string reason;
    if (ReadWholeFile(parsed.filePath, contents, reason)) reason = NotWholeMessage(parsed.filePath);
    out.Result(VerifyResult::CannotRead, reason);
    return out.Finish();
  }
  const bool valid = status == PartnerDocumentStatus::Ok;
  std::string signatureFile;
  const bool haveSignatureFile = ReadWholeFile(signaturePath, signatureFile, error);
  if (valid) {
    out.Result(VerifyResult::Valid);
    // The launcher does not show a parse error: it goes on with the values
    // read before it, and then misses the rest.
    PropertiesStore store;
    const ReadResult parse = ParsePartnerDocument(contents, store);
    if (!parse.ok) {
      out.Warning(parsed.filePath + ": the document does not parse: " + parse.message +
                  "; the launcher keeps only the values before that error");
    }
    for (const std::string& warning : ValuesTheChannelCannotCarry(store)) out.Warning(warning);
    const std::string oddity = haveSignatureFile ? DescribeMalformedText(signatureFile) : "";
    if (!oddity.empty()) out.Note(signaturePath + ": " + oddity);
    return out.Finish();
  }
  if (!haveSignatureFile) {
    out.Result(VerifyResult::NoSignatureFile, parsed.filePath + ": no signature file: " + error);
    return out.Finish();
  }
  const std::string malformed = DescribeMalformedText(signatureFile);
  if (!malformed.empty()) {
    out.Result(VerifyResult::MalformedSignature,
               signaturePath + ": malformed signature text: " + malformed);
    return out.Finish();
  }
  out.Result(VerifyResult::Mismatch,
             parsed.filePath +
                 ": signature does not match: the file was changed (other than in white space) or "
                 "signed for another build identifier than " +
                 std::to_string(buildId));
  return out.Finish();
}

}  // namespace gamewrap
