// Arbitrary bytes as reader input: tokens or errors, never a crash, an
// out-of-bounds read or an endless loop. Reading goes on after errors too.
// Built once more against the reader without its fast path over runs of bytes
// (fuzz_xml_reader_byte_by_byte), so both ways of reading meet the same checks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_check.h"
#include "properties/xml_reader.h"

using fuzzcheck::Check;

namespace {

using Kind = Kova::XMLToken::Kind;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Kova::XMLParser reader;
  reader.SetSourceText(text);

  // Each failed call still consumes the offending byte, and the bytes pushed
  // back for self-closing tags never outnumber those read, so this many calls
  // get through any input even when every token fails.
  const size_t maxCalls = 2 * size + 4;
  Kova::XMLToken token;
  int32_t lastLine = reader.GetLineNumber();
  size_t calls = 0;
  for (; calls < maxCalls; ++calls) {
    const bool hadError = reader.HasError();
    const bool gotToken = reader.NextToken(token);
    Check(reader.GetLineNumber() >= lastLine);
    lastLine = reader.GetLineNumber();
    Check(!hadError || reader.HasError());  // an error stays until new text
    if (gotToken) {
      Check(token.kind == Kind::Start || token.kind == Kind::End || token.kind == Kind::Text ||
            token.kind == Kind::Instruction);
      Check(token.kind == Kind::Instruction || token.body.empty());
      Check(token.kind == Kind::Start || token.attributes.empty());
      Check(token.kind != Kind::Text || !token.value.empty());
    } else if (!reader.HasError()) {
      break;  // clean end of input
    } else {
      Check(!reader.GetErrorText().empty());
      // Reading goes on after an error. A failed call that read nothing of a
      // token is the end of the input (or a '>' where no token began).
      if (token.kind == Kind::None && token.value.empty()) break;
    }
  }
  Check(calls < maxCalls);
  return 0;
}
