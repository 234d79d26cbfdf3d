#include "properties/partner_properties.h"

#include <cstdio>
#include <utility>

#include "common/unique_file.h"
#include "common/whole_file.h"
#include "properties/properties_parser.h"
#include "signature/file_signature.h"

namespace {

#ifdef _WIN32
constexpr char kPartnerDocumentBelowDirectory[] = "properties\\partner.xml";
#else
constexpr char kPartnerDocumentBelowDirectory[] = "properties/partner.xml";
#endif

// Reads the whole file in one read of its measured size (ReadWholeStream).
PartnerDocumentStatus ReadPartnerDocument(const std::string& path, std::string& bytes,
                                          const PartnerDocumentOpener& open) {
  UniqueFile file = open ? open(path) : UniqueFile(std::fopen(path.c_str(), "rb"));
  if (!file) return PartnerDocumentStatus::CannotOpen;
  return ReadWholeStream(file.get(), bytes) == WholeFileStatus::Ok
             ? PartnerDocumentStatus::Ok
             : PartnerDocumentStatus::CannotRead;
}

struct RequiredProductString {
  const char* key;
  std::string PartnerProductStrings::*field;
};

constexpr RequiredProductString kRequiredProductStrings[] = {
    {"ProdName", &PartnerProductStrings::prodName},
    {"Offering", &PartnerProductStrings::offering},
    {"DisplayName", &PartnerProductStrings::displayName},
    {"RegistryKey", &PartnerProductStrings::registryKey},
};

}  // namespace

std::string PartnerDocumentPath(const std::string& directory) {
  return directory + kPartnerDocumentBelowDirectory;
}

PartnerDocumentStatus ReadAndVerifyPartnerDocument(const std::string& path,
                                                   std::int32_t buildIdentifier, std::string& bytes,
                                                   const PartnerDocumentOpener& open) {
  bytes.clear();
  std::string read;
  const PartnerDocumentStatus status = ReadPartnerDocument(path, read, open);
  if (status != PartnerDocumentStatus::Ok) return status;
  if (!VerifyFileSignature(path, read, buildIdentifier)) {
    return PartnerDocumentStatus::SignatureMismatch;
  }
  bytes = std::move(read);
  return PartnerDocumentStatus::Ok;
}

ReadResult ParsePartnerDocument(const std::string& bytes, PropertiesStore& store) {
  Kova::PropertiesParser parser(store);
  parser.ParseText(bytes);
  return parser.GetResult();
}

PartnerLoadResult LoadPartnerPropertiesInto(const std::string& directory,
                                            std::int32_t buildIdentifier, PropertiesStore& store,
                                            const PartnerMessageSink& showMessage,
                                            const PartnerDocumentOpener& open,
                                            const PartnerDocumentCheck& furtherCheck) {
  PartnerLoadResult result;
  std::string bytes;
  const std::string path = PartnerDocumentPath(directory);
  switch (ReadAndVerifyPartnerDocument(path, buildIdentifier, bytes, open)) {
    case PartnerDocumentStatus::Ok:
      if (furtherCheck && !furtherCheck(path, bytes)) {
        showMessage(kPartnerInvalidSignatureMessage);
        return result;
      }
      break;
    case PartnerDocumentStatus::CannotOpen:
      showMessage(kPartnerCannotOpenMessage);
      return result;
    case PartnerDocumentStatus::CannotRead:
    case PartnerDocumentStatus::SignatureMismatch:
      showMessage(kPartnerInvalidSignatureMessage);
      return result;
  }
  result.loaded = true;

  // A document that does not parse keeps the values read before the error;
  // the required keys it then lacks are reported one by one below.
  result.parse = ParsePartnerDocument(bytes, store);

  for (const RequiredProductString& required : kRequiredProductStrings) {
    result.product.*required.field = FindRequiredString(store, required.key, showMessage);
  }
  return result;
}

std::string MissingPartnerStringMessage(const std::string& name) {
  return "Unable to find properties string '" + name + "'";
}

const std::string* FindStoredString(const PropertiesStore& store, const std::string& name) {
  const auto& strings = store.Strings();
  const auto found = strings.find(name);
  return found != strings.end() ? &found->second : nullptr;
}

std::string FindRequiredString(const PropertiesStore& store, const std::string& name,
                               const PartnerMessageSink& showMessage) {
  if (const std::string* value = FindStoredString(store, name)) return *value;
  showMessage(MissingPartnerStringMessage(name));
  return std::string();
}

std::string GetPartnerString(const std::string& name, const std::string& defaultValue) {
  const std::string* value = FindStoredString(GetPartnerPropertiesStore(), name);
  return value != nullptr ? *value : defaultValue;
}
