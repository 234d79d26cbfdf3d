// gamewrap keygen: a new publisher key pair, BASE.key and BASE.pub.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "signature/p256.h"
#include "signature/publisher_check.h"
#include "signature/publisher_key_files.h"
#include "tools/gamewrap/commands.h"
#include "tools/gamewrap/file_io.h"
#include "tools/gamewrap/publisher_keys.h"

namespace gamewrap {

namespace {

constexpr char kKeygenUsage[] =
    "usage: gamewrap keygen --out BASE [--force]\n"
    "\n"
    "Makes a publisher key pair, ECDSA over P-256 with SHA-256:\n"
    "  BASE.key  the private key, PEM PKCS#8, readable by its owner only (keep it\n"
    "            secret: whoever holds it signs for every launcher packed with\n"
    "            its public key)\n"
    "  BASE.pub  the public key, PEM SubjectPublicKeyInfo, for gamewrap pack\n"
    "            --publisher-key and gamewrap verify --publisher-key\n"
    "The files are the ones openssl genpkey and openssl pkey -pubout write. Neither\n"
    "is written when either exists, unless --force is given.\n"
    "\n"
    "Options:\n"
    "  --out BASE  the two files' path without .key and .pub\n"
    "  --force     replace existing files\n"
    "  -h, --help  show this help and exit\n";

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::symlink_status(path, ec).type() !=
             std::filesystem::file_type::not_found &&
         !ec;
}

bool WriteKeyFile(const std::string& path, const std::string& text, bool ownerOnly, bool replace,
                  std::string& error) {
  AtomicOutput output(path, ownerOnly);
  return output.Open(error) && output.Write(text.data(), text.size(), error) &&
         output.Commit(error, replace);
}

}  // namespace

int RunKeygen(const Args& args) {
  std::string base;
  bool force = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (IsHelpOption(arg)) {
      std::fputs(kKeygenUsage, stdout);
      return kExitOk;
    }
    if (arg == "--force") {
      force = true;
    } else if (arg == "--out") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        return UsageError("option --out needs a value", kKeygenUsage);
      }
      base = args[++i];
    } else {
      return UsageError("unexpected argument '" + arg + "'", kKeygenUsage);
    }
  }
  if (base.empty()) return UsageError("keygen needs --out BASE", kKeygenUsage);

  const std::string keyPath = base + ".key";
  const std::string pubPath = base + ".pub";
  if (!force) {
    for (const std::string& path : {keyPath, pubPath}) {
      if (Exists(path)) {
        std::fprintf(stderr,
                     "gamewrap keygen: '%s' exists; nothing written (give --force to replace "
                     "the key pair)\n",
                     path.c_str());
        return kExitFailure;
      }
    }
  }
  signature::P256PrivateKey key;
  payload::PublisherKeyEntry entry;
  if (!signature::GenerateP256(key) || !signature::PublisherKeyEntryOf(key.publicPoint, entry)) {
    std::fputs("gamewrap keygen: cannot make a key pair\n", stderr);
    return kExitFailure;
  }
  std::string error;
  // The private key first: a public key without its private key is of no use.
  if (!WriteKeyFile(keyPath, signature::FormatPublisherPrivateKey(key), true, force, error) ||
      !WriteKeyFile(pubPath, signature::FormatPublisherPublicKey(key.publicPoint), false, force,
                    error)) {
    std::fprintf(stderr, "gamewrap keygen: %s\n", error.c_str());
    return kExitFailure;
  }
  std::printf("%s: private key (keep it secret)\n%s: public key, key id %s\n", keyPath.c_str(),
              pubPath.c_str(), KeyIdHex(entry.keyId).c_str());
  return kExitOk;
}

}  // namespace gamewrap
