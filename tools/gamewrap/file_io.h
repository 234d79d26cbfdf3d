// File helpers of the publisher's tool: whole-file reads and writes that never
// leave a half-written output behind.
#pragma once

#include <string>

namespace gamewrap {

// Reads the whole file; false with a message in `error` when it cannot.
bool ReadWholeFile(const std::string& path, std::string& contents, std::string& error);

// Writes `contents` to a temporary name beside `path`, then renames it into
// place, so that a failure leaves the old file (or no file) untouched.
bool WriteFileAtomically(const std::string& path, const std::string& contents, std::string& error);

// True when both paths name the same existing file (or the same path).
bool SameFile(const std::string& a, const std::string& b);

}  // namespace gamewrap
