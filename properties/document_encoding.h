// Whether a properties document is UTF-8, the encoding games and the C#
// binding take its values in. The launcher itself reads bytes and ignores any
// declaration; this is what the publisher's tool warns of.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The value of the encoding attribute of the XML declaration that starts
// `document` (after a UTF-8 byte order mark and white space, if any), as
// written between its quotes (or up to the next white space when it has
// none). Nothing when the document has no declaration or its declaration names
// no encoding.
std::optional<std::string> DeclaredEncoding(std::string_view document);

// "utf-8" in any letter case.
bool IsUtf8EncodingName(std::string_view name);

// What makes `document` other than UTF-8, phrased to follow "FILE: ": a
// declared encoding other than UTF-8 (named as written, bytes that are not
// printable ASCII as \xHH), the offset (from 0) and value of its first byte
// that is not UTF-8, or both, and what a game then gets. Empty when the
// document is UTF-8: no declaration, or one naming UTF-8, and only valid UTF-8
// bytes (a byte order mark included).
std::string DocumentEncodingWarning(std::string_view document);
