// Reading a file whole into memory, for the small files that are read that
// way: properties documents, signature and key files, stubs in the tool.
#pragma once

#include <string>

enum class WholeFileStatus { Ok, CannotOpen, CannotRead };

// Reads every byte of the file at `path` into `contents` (replaced).
WholeFileStatus ReadWholeFile(const std::string& path, std::string& contents);
