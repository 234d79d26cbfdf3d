// The partner properties: the launcher's signed configuration document,
// loaded once at start-up into the process-wide store, and the lookups
// through which the rest of the launcher reads it.
//
// This is the portable core: it takes the directory, build identifier, store
// and a sink for the texts to show as arguments, so it runs the same for the
// launcher's Win32 step, the publisher's tool and the native tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/read_result.h"
#include "common/unique_file.h"
#include "properties/properties_store.h"

// Texts shown to the user when loading fails.
inline constexpr char kPartnerCannotOpenMessage[] = "Unable to open 'properties\\partner.xml'";
inline constexpr char kPartnerInvalidSignatureMessage[] = "Invalid partner properties signature!";

// Receives each text the loader would show, in order.
using PartnerMessageSink = std::function<void(const std::string& text)>;

// The document's path below `directory`, which ends in a path separator:
// `directory` + "properties\partner.xml" on Windows, with '/' elsewhere so that
// native builds find a real subdirectory.
std::string PartnerDocumentPath(const std::string& directory);

enum class PartnerDocumentStatus {
  Ok,
  CannotOpen,         // the document cannot be opened
  CannotRead,         // it cannot be read whole (ReadWholeStream: 2 GiB or more, short read)
  SignatureMismatch,  // its signature file is missing or does not prove the bytes
};

// Opens the document at a path for binary reading. Empty: the C library's
// own open. Tests hand in streams whose reads come up short.
using PartnerDocumentOpener = std::function<UniqueFile(const std::string& path)>;

// Reads the document at `path` whole, in binary, into `bytes` (replaced; left
// empty unless the read succeeded) and checks it against `path` + ".sig"
// under `buildIdentifier`. The one check the launcher and the publisher's tool
// both make.
PartnerDocumentStatus ReadAndVerifyPartnerDocument(const std::string& path,
                                                   std::int32_t buildIdentifier, std::string& bytes,
                                                   const PartnerDocumentOpener& open = {});

// The four product strings every partner document must hold, in the order
// they are looked up: ProdName, Offering, DisplayName, RegistryKey.
struct PartnerProductStrings {
  std::string prodName;
  std::string offering;
  std::string displayName;
  std::string registryKey;
};

// Parses a verified document into `store` as the launcher does: the first
// value of a name wins, and the values read before a parse error stay.
ReadResult ParsePartnerDocument(const std::string& bytes, PropertiesStore& store);

// What one load found.
struct PartnerLoadResult {
  // The document was read and its signature matched.
  bool loaded = false;
  // The parser's result: kept, never shown (the launcher goes on with the
  // values read before a parse error). Ok when nothing was parsed.
  ReadResult parse;
  PartnerProductStrings product;
};

// A further check of a document whose signature file has proved it, given
// the document's path and the bytes as read (the ones then parsed). The
// launcher's publisher signature check; the loader itself knows no keys.
using PartnerDocumentCheck = std::function<bool(const std::string& path, const std::string& bytes)>;

// Loads the partner document below `directory` into `store`:
// - missing document: shows kPartnerCannotOpenMessage, not loaded;
// - any other read or signature fault, or a false from `furtherCheck` (when
//   given, asked only after the signature file has proved the bytes): shows
//   kPartnerInvalidSignatureMessage, not loaded; the store is left untouched;
// - otherwise parses it into `store` (a parse error is kept in the result, not
//   shown), reads the four product strings with FindRequiredString: loaded.
// A read that delivers fewer bytes than the document's measured size is a
// read fault.
PartnerLoadResult LoadPartnerPropertiesInto(const std::string& directory,
                                            std::int32_t buildIdentifier, PropertiesStore& store,
                                            const PartnerMessageSink& showMessage,
                                            const PartnerDocumentOpener& open = {},
                                            const PartnerDocumentCheck& furtherCheck = {});

// "Unable to find properties string '<name>'".
std::string MissingPartnerStringMessage(const std::string& name);

// The string value stored under exactly `name` (byte for byte, case and length
// included), or null when `store` holds no string of that name.
const std::string* FindStoredString(const PropertiesStore& store, const std::string& name);

// The string stored under `name`; when there is none, shows
// MissingPartnerStringMessage(name) and gives the empty string. An empty
// stored value counts as present.
std::string FindRequiredString(const PropertiesStore& store, const std::string& name,
                               const PartnerMessageSink& showMessage);

// The string value stored under exactly `name` (byte for byte, case and
// length included) in the partner properties store, or `defaultValue` when it
// holds no string of that name. Shows nothing.
std::string GetPartnerString(const std::string& name, const std::string& defaultValue);
