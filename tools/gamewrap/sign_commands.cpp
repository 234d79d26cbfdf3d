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
#include "properties/document_encoding.h"
#include "properties/partner_properties.h"
#include "properties/properties_store.h"
#include "signature/file_signature.h"
#include "signature/publisher_check.h"
#include "signature/publisher_signature.h"
#include "signature/signing_key.h"
#include "tools/gamewrap/commands.h"
#include "tools/gamewrap/file_io.h"
#include "tools/gamewrap/json_output.h"
#include "tools/gamewrap/publisher_keys.h"
#include "tools/gamewrap/wrap.h"

namespace gamewrap {

namespace {

constexpr char kSignUsage[] =
    "usage: gamewrap sign --key KEY --build-id N FILE\n"
    "       gamewrap sign --key KEY [--publisher-key PKEY] --build-id N FILE...\n"
    "\n"
    "Writes FILE.sig: the signature of FILE for launchers whose payload header\n"
    "carries build identifier N, as 24 upper-case hexadecimal digits. White space\n"
    "(tab, line feed, vertical tab, form feed, carriage return, space) in FILE is\n"
    "not signed; every other byte is. FILE.sig is replaced atomically. Warns of\n"
    "string values longer than the game channel carries (65532 bytes), and of a\n"
    "FILE that declares an encoding other than UTF-8 or holds bytes that are not.\n"
    "With --publisher-key, also writes FILE.psig: the publisher signature that\n"
    "launchers packed with that publisher's key require. Several FILEs are signed\n"
    "in one run; nothing is written unless every FILE can be read and signed.\n"
    "\n"
    "Options:\n"
    "  --key KEY        the private key file: lines modulus=HEX and\n"
    "                   private_exponent=HEX (see docs/signing.md); its modulus\n"
    "                   must be the launcher's built-in one\n"
    "  --publisher-key PKEY\n"
    "                   the publisher's private key (PEM PKCS#8, ECDSA P-256, as\n"
    "                   gamewrap keygen or openssl genpkey writes it)\n"
    "                   KEY and PKEY may also be - (read from standard input) or\n"
    "                   env:NAME (read from the environment variable NAME)\n"
    "  --build-id N     the build identifier: one to eight decimal digits, 0 to\n"
    "                   99999999 (42 and 00000042 are the same)\n"
    "  -h, --help       show this help and exit\n";

constexpr char kVerifyUsage[] =
    "usage: gamewrap verify [--json] --build-id N FILE\n"
    "       gamewrap verify [--json] --build-id N --publisher-key PUB FILE\n"
    "       gamewrap verify [--json] [--build-id N] --launcher LAUNCHER FILE\n"
    "\n"
    "Checks FILE against FILE.sig exactly as the launcher with build identifier N\n"
    "does, and says why the check fails. Exit code 0 when the signature is valid.\n"
    "Warns of string values longer than the game channel carries (65532 bytes),\n"
    "and of a FILE that declares an encoding other than UTF-8 or holds bytes that\n"
    "are not.\n"
    "With --publisher-key or --launcher, then also checks FILE.psig, the publisher\n"
    "signature, as a launcher carrying that key (or LAUNCHER itself) does.\n"
    "\n"
    "Options:\n"
    "  --build-id N     the build identifier: one to eight decimal digits, 0 to\n"
    "                   99999999 (42 and 00000042 are the same)\n"
    "  --publisher-key PUB\n"
    "                   the publisher's public key file (PEM, as keygen writes it)\n"
    "  --launcher LAUNCHER\n"
    "                   a wrapped launcher: its build identifier and publisher key\n"
    "                   block are the ones checked against\n"
    "  --json           print the result as one JSON object on standard output\n"
    "                   (see docs/publishing.md); standard error is unchanged\n"
    "  -h, --help       show this help and exit\n";

// The development key file is a few lines; anything far longer is not one.
constexpr std::size_t kMaxSigningKeySize = 64 * 1024;

struct SignArgs {
  std::string keyPath;
  std::string publisherKey;  // sign: the private key; verify: the public key file
  std::string launcherPath;  // verify only
  std::string buildId;
  std::vector<std::string> files;  // sign: one or more; verify: one
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
    } else if (arg == "--publisher-key") {
      target = &parsed.publisherKey;
    } else if (!withKey && arg == "--launcher") {
      target = &parsed.launcherPath;
    } else if (arg == "--build-id") {
      target = &parsed.buildId;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option '" + arg + "'";
      return false;
    } else if (parsed.files.empty() || withKey) {
      parsed.files.push_back(arg);
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
  for (std::size_t i = 0; i < parsed.files.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (SameFile(parsed.files[i], parsed.files[j])) {
        error = "'" + parsed.files[i] + "' is given twice";
        return false;
      }
    }
  }
  if (!withKey && !parsed.publisherKey.empty() && !parsed.launcherPath.empty()) {
    error = "--publisher-key names the key, --launcher takes it from a launcher: give only one";
    return false;
  }
  const bool buildIdGiven = !parsed.buildId.empty() || (!withKey && !parsed.launcherPath.empty());
  if ((withKey && parsed.keyPath.empty()) || !buildIdGiven || parsed.files.empty()) {
    error = withKey ? "sign needs --key, --build-id and FILE" : "verify needs --build-id and FILE";
    return false;
  }
  if (withKey && parsed.keyPath == "-" && parsed.publisherKey == "-") {
    error = "only one key can come from standard input";
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

// The publisher signature check of a document whose FILE.sig passed, as a
// launcher with `block` runs it (`launcherPath` empty: the block of the one
// public key given, which requires the signature).
void CheckPublisherSignature(VerifyPrinter& out, const std::string& launcherPath,
                             payload::KeyBlockStatus blockStatus, const payload::KeyBlock& block,
                             std::int32_t buildId, const std::string& documentPath,
                             const std::string& contents) {
  const std::string publisherPath = documentPath + signature::kPublisherSignatureSuffix;
  if (blockStatus == payload::KeyBlockStatus::Damaged) {
    out.Publisher(PublisherResult::DamagedKeyBlock, "",
                  launcherPath +
                      ": its publisher key block is damaged (the launcher will refuse "
                      "to run it)");
    return;
  }
  if (blockStatus == payload::KeyBlockStatus::Absent || !block.requiresPublisherSignature) {
    out.Note(launcherPath +
             (blockStatus == payload::KeyBlockStatus::Absent
                  ? ": carries no publisher key block"
                  : ": its publisher key block requires no publisher signature") +
             "; the launcher checks only " + SignaturePathOf(documentPath));
    out.Publisher(PublisherResult::NotRequired, "");
    return;
  }
  std::string bytes;
  std::string error;
  // One byte more than a reader takes, so that a longer file is refused.
  if (!ReadFileStart(publisherPath, signature::kPublisherSignatureFileMaxSize + 1, bytes, error)) {
    out.Publisher(PublisherResult::NoFile, "", "no publisher signature file: " + error);
    return;
  }
  const auto file = signature::ParsePublisherSignatureFile(bytes);
  const std::string keyId = file ? KeyIdHex(file->keyId) : std::string();
  switch (signature::VerifyPublisherSignature(block, buildId, contents, bytes)) {
    case signature::PublisherCheck::Verified:
      out.Publisher(PublisherResult::Valid, keyId);
      return;
    case signature::PublisherCheck::BadFile:
      out.Publisher(PublisherResult::Malformed, keyId,
                    publisherPath +
                        ": not one line \"kova-psig-1 <key id> <signature>\" in "
                        "lower-case hexadecimal digits");
      return;
    case signature::PublisherCheck::UnknownKey:
      out.Publisher(
          PublisherResult::UnknownKey, keyId,
          publisherPath + ": signed with key " + keyId + ", which the launcher does not hold");
      return;
    case signature::PublisherCheck::NotVerified:
      break;
  }
  out.Publisher(PublisherResult::Mismatch, keyId,
                publisherPath +
                    ": publisher signature does not match: the file was changed "
                    "(white space included) or signed for another build identifier "
                    "than " +
                    std::to_string(buildId));
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
  const bool publisher = !parsed.publisherKey.empty();

  std::string keyText;
  if (!ReadKeyText(parsed.keyPath, kMaxSigningKeySize, keyText, error)) {
    std::fprintf(stderr, "gamewrap sign: cannot read the key: %s\n", error.c_str());
    return kExitFailure;
  }
  const std::string keyName = KeySourceName(parsed.keyPath);
  SigningKey key;
  const ReadResult keyRead = ParseSigningKey(keyText, key);
  if (!keyRead.ok) {
    std::fprintf(stderr, "gamewrap sign: %s: %s\n", keyName.c_str(), keyRead.message.c_str());
    return kExitFailure;
  }
  if (key.modulus != BigInt(std::string_view(kSignatureModulusText))) {
    std::fprintf(stderr,
                 "gamewrap sign: %s: its modulus is not the launcher's built-in "
                 "modulus %s; the stock launcher would not accept signatures made with it. "
                 "Nothing written.\n",
                 keyName.c_str(), kSignatureModulusText);
    return kExitFailure;
  }
  signature::P256PrivateKey publisherKey;
  if (publisher && !ReadPublisherPrivateKey(parsed.publisherKey, publisherKey, error)) {
    std::fprintf(stderr, "gamewrap sign: cannot read the publisher key: %s\n", error.c_str());
    return kExitFailure;
  }
  payload::KeyId publisherKeyId{};
  if (publisher && !signature::PublisherKeyIdOf(publisherKey.publicPoint, publisherKeyId)) {
    std::fprintf(stderr, "gamewrap sign: cannot compute the publisher key's id\n");
    return kExitFailure;
  }

  // Every document is read and signed before anything is written.
  struct Signed {
    std::string path;
    std::string contents;
    std::string signature;
    std::string publisherSignature;
  };
  std::vector<Signed> documents;
  for (const std::string& path : parsed.files) {
    Signed document{path, {}, {}, {}};
    if (!ReadWholeFile(path, document.contents, error)) {
      std::fprintf(stderr, "gamewrap sign: %s\n", error.c_str());
      return kExitFailure;
    }
    document.signature = MakeSignatureText(key, buildId, document.contents);
    // A wrong private exponent gives a signature that the launcher rejects:
    // check before writing anything.
    if (!SignatureTextVerifies(document.signature, buildId, document.contents)) {
      std::fprintf(stderr,
                   "gamewrap sign: %s: its private exponent does not belong to its "
                   "modulus (the signature made with it does not verify). Nothing written.\n",
                   keyName.c_str());
      return kExitFailure;
    }
    if (publisher && !signature::MakePublisherSignatureFile(
                         publisherKey, buildId, document.contents, document.publisherSignature)) {
      std::fprintf(stderr,
                   "gamewrap sign: the publisher key %s: cannot sign with it (its public key "
                   "does not belong to its private key, or the signing failed). Nothing "
                   "written.\n",
                   KeySourceName(parsed.publisherKey).c_str());
      return kExitFailure;
    }
    documents.push_back(std::move(document));
  }

  for (const Signed& document : documents) {
    const std::string signaturePath = SignaturePathOf(document.path);
    if (!WriteFileAtomically(signaturePath, document.signature, error)) {
      std::fprintf(stderr, "gamewrap sign: %s\n", error.c_str());
      return kExitFailure;
    }
    std::printf("%s: signed for build identifier %d\n", signaturePath.c_str(),
                static_cast<int>(buildId));
    if (publisher) {
      const std::string publisherPath = document.path + signature::kPublisherSignatureSuffix;
      if (!WriteFileAtomically(publisherPath, document.publisherSignature, error)) {
        std::fprintf(stderr, "gamewrap sign: %s\n", error.c_str());
        return kExitFailure;
      }
      std::printf("%s: publisher-signed with key %s for build identifier %d\n",
                  publisherPath.c_str(), KeyIdHex(publisherKeyId).c_str(),
                  static_cast<int>(buildId));
    }
    if (const std::string encoding = DocumentEncodingWarning(document.contents);
        !encoding.empty()) {
      std::fprintf(stderr, "gamewrap sign: warning: %s: %s\n", document.path.c_str(),
                   encoding.c_str());
    }
    PropertiesStore store;
    ParsePartnerDocument(document.contents, store);
    for (const std::string& warning : ValuesTheChannelCannotCarry(store)) {
      std::fprintf(stderr, "gamewrap sign: warning: %s\n", warning.c_str());
    }
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
  const std::string& filePath = parsed.files[0];
  std::int32_t buildId = 0;
  if (!parsed.buildId.empty() && !ParseBuildId(parsed.buildId, buildId, error)) {
    return UsageError(error, kVerifyUsage);
  }
  const bool publisher = !parsed.publisherKey.empty() || !parsed.launcherPath.empty();

  // The keys the publisher check takes: the one public key given, or the
  // launcher's key block (and its build identifier).
  payload::KeyBlockStatus blockStatus = payload::KeyBlockStatus::Intact;
  payload::KeyBlock block;
  std::string launcherError;
  if (!parsed.publisherKey.empty()) {
    block.entries.resize(1);
    if (!ReadPublisherPublicKey(parsed.publisherKey, block.entries[0], error)) {
      std::fprintf(stderr, "gamewrap verify: %s\n", error.c_str());
      return kExitFailure;
    }
  } else if (!parsed.launcherPath.empty()) {
    Inspection inspection;
    if (InspectWrapped(parsed.launcherPath, inspection, launcherError)) {
      const std::int32_t launcherBuildId = payload::BuildIdFromField(inspection.buildId);
      if (!parsed.buildId.empty() && launcherBuildId != buildId) {
        return UsageError("--build-id " + parsed.buildId + " is not the build identifier of '" +
                              parsed.launcherPath + "' (" + std::to_string(launcherBuildId) + ")",
                          kVerifyUsage);
      }
      buildId = launcherBuildId;
      blockStatus = inspection.keyBlockStatus;
      block = inspection.keyBlock;
    }
  }

  // The verdict is the launcher's own read and check; the rest only explains it.
  const std::string signaturePath = SignaturePathOf(filePath);
  const std::string publisherPath = filePath + signature::kPublisherSignatureSuffix;
  VerifyPrinter out(parsed.json, filePath, signaturePath, buildId);
  if (publisher) out.ExpectPublisher(publisherPath);
  if (!launcherError.empty()) {
    out.Result(VerifyResult::CannotReadLauncher, launcherError);
    return out.Finish();
  }
  std::string contents;
  const PartnerDocumentStatus status = ReadAndVerifyPartnerDocument(filePath, buildId, contents);
  if (status == PartnerDocumentStatus::CannotOpen || status == PartnerDocumentStatus::CannotRead) {
    // The plain read names the system's reason; what is left is the size rule.
    std::string reason;
    if (ReadWholeFile(filePath, contents, reason)) reason = NotWholeMessage(filePath);
    out.Result(VerifyResult::CannotRead, reason);
    return out.Finish();
  }
  const bool valid = status == PartnerDocumentStatus::Ok;
  std::string signatureFile;
  const bool haveSignatureFile = ReadWholeFile(signaturePath, signatureFile, error);
  if (valid) {
    out.Result(VerifyResult::Valid);
    if (const std::string encoding = DocumentEncodingWarning(contents); !encoding.empty()) {
      out.Warning(filePath + ": " + encoding);
    }
    // The launcher does not show a parse error: it goes on with the values
    // read before it, and then misses the rest.
    PropertiesStore store;
    const ReadResult parse = ParsePartnerDocument(contents, store);
    if (!parse.ok) {
      out.Warning(filePath + ": the document does not parse: " + parse.message +
                  "; the launcher keeps only the values before that error");
    }
    for (const std::string& warning : ValuesTheChannelCannotCarry(store)) out.Warning(warning);
    const std::string oddity = haveSignatureFile ? DescribeMalformedText(signatureFile) : "";
    if (!oddity.empty()) out.Note(signaturePath + ": " + oddity);
    if (publisher) {
      CheckPublisherSignature(out, parsed.launcherPath, blockStatus, block, buildId, filePath,
                              contents);
    }
    return out.Finish();
  }
  if (!haveSignatureFile) {
    out.Result(VerifyResult::NoSignatureFile, filePath + ": no signature file: " + error);
    return out.Finish();
  }
  const std::string malformed = DescribeMalformedText(signatureFile);
  if (!malformed.empty()) {
    out.Result(VerifyResult::MalformedSignature,
               signaturePath + ": malformed signature text: " + malformed);
    return out.Finish();
  }
  out.Result(VerifyResult::Mismatch,
             filePath +
                 ": signature does not match: the file was changed (other than in white space) or "
                 "signed for another build identifier than " +
                 std::to_string(buildId));
  return out.Finish();
}

}  // namespace gamewrap
