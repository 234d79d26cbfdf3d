#pragma once

#include "properties/xml_parser.h"

namespace Kova {

// What tests and fuzzers need beyond the reader's interface.
class XMLParserTestAccess {
 public:
  // Switches a reader to plain byte-by-byte reading: the reference that the
  // fast path over runs of bytes must match exactly.
  static void ReadByteByByte(XMLParser& reader) { reader.readsRuns_ = false; }

  // True when no byte is left to read.
  static bool InputExhausted(const XMLParser& reader) {
    return reader.pushedBack_.empty() && reader.position_ == reader.source_.size();
  }
};

}  // namespace Kova
