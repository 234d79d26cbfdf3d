// The --json output of gamewrap inspect and gamewrap verify: a small JSON
// writer, and the printer that verify's results go through in either mode.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gamewrap {

// `bytes` as a JSON string, quotes included. Valid UTF-8 is kept as it is;
// quote and backslash are escaped, control characters (below 0x20, and 0x7F)
// become \u00XX. A byte that is not part of valid UTF-8 (a file name in
// another encoding) becomes \uDCXX, XX its value: the lone surrogate that
// Python's "surrogateescape" error handler maps back to the same byte.
std::string JsonString(std::string_view bytes);

// One JSON object, its members in the order they are added.
class JsonObject {
 public:
  JsonObject& Add(std::string_view name, std::string_view text);
  JsonObject& Add(std::string_view name, const char* text) {
    return Add(name, std::string_view(text));
  }
  JsonObject& Add(std::string_view name, std::int64_t number);
  JsonObject& Add(std::string_view name, std::uint64_t number);
  JsonObject& Add(std::string_view name, bool value);
  JsonObject& Add(std::string_view name, const JsonObject& object);
  JsonObject& Add(std::string_view name, const std::vector<std::string>& texts);
  JsonObject& AddNull(std::string_view name);

  // The object's text, on one line.
  std::string Text() const { return "{" + members_ + "}"; }

 private:
  JsonObject& AddRaw(std::string_view name, const std::string& value);
  std::string members_;
};

// What gamewrap verify concluded.
enum class VerifyResult {
  Valid,
  CannotRead,          // the document cannot be read whole
  NoSignatureFile,     // FILE.sig cannot be read
  MalformedSignature,  // FILE.sig does not hold 24 hexadecimal digits
  Mismatch,            // the signature is not that of FILE for the build identifier
  // The publisher signature (FILE.psig), checked after FILE.sig passed:
  NoPublisherSignatureFile,
  MalformedPublisherSignature,  // not one line "kova-psig-1 <key id> <r||s>"
  UnknownPublisherKey,          // names a key the launcher does not hold
  PublisherMismatch,            // does not verify
  DamagedKeyBlock,              // the launcher's key block fails its own checks
  CannotReadLauncher,           // --launcher names no readable wrapped launcher
};

// What became of the publisher signature check.
enum class PublisherResult {
  NotChecked,   // FILE.sig failed first (or the launcher could not be read)
  NotRequired,  // the launcher carries no key block, or one that requires none
  Valid,
  NoFile,
  Malformed,
  UnknownKey,
  Mismatch,
  DamagedKeyBlock,
};

// Prints verify's results. As text: the verdict on stdout when valid, else
// "gamewrap verify: REASON" on stderr; warnings and notes on stderr, each as
// it comes. With --json, stderr is the same and stdout holds only one JSON
// object, printed by Finish, that also carries the warnings and notes.
class VerifyPrinter {
 public:
  VerifyPrinter(bool json, std::string file, std::string signatureFile, std::int32_t buildId);

  // The verdict; `reason` (for a failure) is the message shown.
  void Result(VerifyResult result, const std::string& reason = std::string());
  void Warning(const std::string& text);  // "gamewrap verify: warning: TEXT"
  void Note(const std::string& text);     // "gamewrap verify: note: TEXT"
  // Asks for the publisher signature check: the JSON object then carries its
  // members, "notChecked" until Publisher() is called.
  void ExpectPublisher(std::string publisherSignatureFile);
  // The publisher check's outcome; `keyId` (16 hex digits, or empty) is the
  // key the .psig file names; a failure's `reason` is shown as Result's is.
  void Publisher(PublisherResult result, const std::string& keyId,
                 const std::string& reason = std::string());
  // Prints the JSON object (with --json) and returns the exit code.
  int Finish();

 private:
  bool json_;
  std::string file_;
  std::string signatureFile_;
  std::int32_t buildId_;
  VerifyResult result_ = VerifyResult::CannotRead;
  std::string reason_;
  std::vector<std::string> warnings_;
  std::vector<std::string> notes_;
  bool publisherExpected_ = false;
  std::string publisherSignatureFile_;
  PublisherResult publisherResult_ = PublisherResult::NotChecked;
  std::string publisherKeyId_;
};

}  // namespace gamewrap
