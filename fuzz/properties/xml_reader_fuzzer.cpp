// Arbitrary bytes as reader input: tokens or errors, never a crash, an
// out-of-bounds read or an endless loop. Reading goes on after errors too.
// A second reader goes byte by byte, without the fast path over runs of
// bytes, and must agree on every call.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "properties/xml_parser.h"
#include "tests/properties/xml_parser_test_access.h"

namespace {

using Kind = Kova::XMLToken::Kind;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool SameToken(const Kova::XMLToken& a, const Kova::XMLToken& b) {
  return a.kind == b.kind && a.path == b.path && a.value == b.value && a.body == b.body &&
         a.attributes == b.attributes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Kova::XMLParser reader;
  Kova::XMLParser reference;
  Kova::XMLParserTestAccess::ReadByteByByte(reference);
  reader.SetSourceText(text);
  reference.SetSourceText(text);

  // Each failed call still consumes the offending byte, and the bytes pushed
  // back for self-closing tags never outnumber those read, so this many calls
  // get through any input even when every token fails.
  const size_t maxCalls = 2 * size + 4;
  using Kova::XMLParserTestAccess;
  Kova::XMLToken token;
  Kova::XMLToken referenceToken;
  int32_t lastLine = reader.GetLineNumber();
  size_t calls = 0;
  for (; calls < maxCalls; ++calls) {
    const bool hadError = reader.HasError();
    const bool gotToken = reader.NextToken(token);
    Check(reference.NextToken(referenceToken) == gotToken);
    Check(SameToken(token, referenceToken));
    Check(reader.HasError() == reference.HasError());
    Check(reader.GetErrorText() == reference.GetErrorText());
    Check(reader.GetLineNumber() == reference.GetLineNumber());

    Check(reader.GetLineNumber() >= lastLine);
    lastLine = reader.GetLineNumber();
    Check(!hadError || reader.HasError());  // an error stays until new text
    if (gotToken) {
      Check(token.kind == Kind::Start || token.kind == Kind::End ||
            token.kind == Kind::Text || token.kind == Kind::Instruction);
      Check(token.kind == Kind::Instruction || token.body.empty());
      Check(token.kind == Kind::Start || token.attributes.empty());
      Check(token.kind != Kind::Text || !token.value.empty());
    } else if (!reader.HasError()) {
      Check(XMLParserTestAccess::InputExhausted(reader));
      break;  // clean end of input
    } else {
      Check(!reader.GetErrorText().empty());
      // Reading goes on after an error until the input is used up.
      if (XMLParserTestAccess::InputExhausted(reader)) break;
    }
  }
  Check(calls < maxCalls);
  return 0;
}
