// What a reader of a text format reports: whether it read the text whole, and
// if it did not, its message and the line on which it stopped. The readers
// (the XML reader, the properties parser, the signing key reader) each keep
// their own messages; this is the one shape in which they hand them on.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

struct ReadResult {
  bool ok = true;
  // The line on which reading stopped, counted from 1; 0 when it did not stop.
  std::int32_t line = 0;
  // The reader's own error text, as its users see it (it names the line in
  // the reader's own way); empty when ok.
  std::string message;

  explicit operator bool() const { return ok; }

  static ReadResult Failed(std::int32_t line, std::string message) {
    return ReadResult{false, line, std::move(message)};
  }
};
