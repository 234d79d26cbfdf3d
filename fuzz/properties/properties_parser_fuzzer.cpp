// Arbitrary bytes as a properties document, parsed into a fresh store: never
// a crash or hang, and the result agrees with the error text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_check.h"
#include "properties/properties_parser.h"
#include "properties/properties_store.h"

using fuzzcheck::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string document(reinterpret_cast<const char*>(data), size);
  PropertiesStore store;
  Kova::PropertiesParser parser(store);
  const bool parsed = parser.ParseText(document);
  const std::string error = parser.GetErrorText();
  Check(parsed == error.empty());
  if (!parsed) Check(error.find(" on Line ") != std::string::npos);

  // A failed parser stays failed and keeps its first error.
  if (!parsed) {
    Check(!parser.ParseText(document));
    Check(parser.GetErrorText() == error);
  }

  // Every list entry and string came out of the document's text tokens, so
  // none can be longer than the document.
  for (const auto& [name, value] : store.Strings()) {
    Check(name.size() <= size && value.size() <= size);
  }
  for (const auto& [name, list] : store.StringArrays()) {
    Check(name.size() <= size && list.size() <= size);
  }
  return 0;
}
