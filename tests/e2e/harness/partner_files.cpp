#include "tests/e2e/harness/partner_files.h"

#include <windows.h>

#include "common/text_rules.h"
#include "common/whole_file.h"
#include "payload/payload_format.h"
#include "properties/partner_properties.h"
#include "signature/signing_key.h"
#include "tests/e2e/harness/test_files.h"

namespace e2e {

const char kDefaultPartnerDocument[] =
    "<?xml version=\"1.0\"?>\r\n"
    "<Properties>\r\n"
    "  <String id=\"ProdName\">DemoGame</String>\r\n"
    "  <String id=\"Offering\">Trial</String>\r\n"
    "  <String id=\"DisplayName\">Demo Game</String>\r\n"
    "  <String id=\"RegistryKey\">Software\\DemoStudio\\DemoGame</String>\r\n"
    "  <String id=\"Publisher\">Demo Studio</String>\r\n"
    "  <Integer id=\"TrialMinutes\">60</Integer>\r\n"
    "  <Double id=\"Version\">1.25</Double>\r\n"
    "</Properties>\r\n";

bool SignWithDevelopmentKey(const std::string& document, std::int32_t buildId,
                            std::string& signatureText) {
  std::string keyText;
  SigningKey key;
  if (ReadWholeFile(KOVA_DEV_KEY_PATH, keyText) != WholeFileStatus::Ok ||
      !ParseSigningKey(keyText, key).ok) {
    return false;
  }
  signatureText = MakeSignatureText(key, buildId, document);
  return true;
}

bool WriteSignedPartnerProperties(const std::string& directory, const std::string& document,
                                  std::int32_t buildId) {
  std::string signatureText;
  if (!SignWithDevelopmentKey(document, buildId, signatureText)) return false;
  std::string withSeparator = directory;
  if (withSeparator.empty() || (withSeparator.back() != '\\' && withSeparator.back() != '/')) {
    withSeparator += '\\';
  }
  const std::string propertiesDirectory = withSeparator + "properties";
  CreateDirectoryA(propertiesDirectory.c_str(), nullptr);  // may exist already
  const std::string documentPath = PartnerDocumentPath(withSeparator);
  return WriteWholeFile(documentPath, document) &&
         WriteWholeFile(documentPath + ".sig", signatureText);
}

bool WriteSignedWrappedLauncher(const std::string& path, const std::string& game,
                                const std::string& document, const std::string& buildIdField) {
  return WriteWrappedLauncher(path, payload::MakeAppendedData(buildIdField, game)) &&
         WriteSignedPartnerProperties(text::DirectoryOfPath(path), document,
                                      payload::BuildIdFromField(buildIdField));
}

}  // namespace e2e
