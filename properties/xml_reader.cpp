#include "properties/xml_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

#include "common/text_rules.h"

namespace Kova {

namespace {

using Kind = XMLToken::Kind;

// Built with KOVA_XML_READER_BYTE_BY_BYTE, the reader leaves out its fast path
// over runs of bytes: the plain rules then read every byte, and the same tests
// run against that build show that the fast path changes nothing.
#ifdef KOVA_XML_READER_BYTE_BY_BYTE
constexpr bool kReadsRuns = false;
#else
constexpr bool kReadsRuns = true;
#endif

// Byte classes for reading runs of bytes in one go. A run holds only bytes
// that the byte-by-byte rules would append to the same string, one after the
// other, with nothing else happening in between.
struct RunTables {
  bool plain[256];            // outside quotes: not whitespace, control, '"', '<', '>'
  bool plainAttribute[256];   // the same without '=' (which starts a value)
  bool quoted[256];           // inside quotes: anything but '"'
  bool quotedAttribute[256];  // the same without '='
  bool whitespace[256];
};

constexpr RunTables MakeRunTables() {
  RunTables tables{};
  for (int byte = 0; byte < 256; ++byte) {
    const bool space = text::IsWhiteSpace(static_cast<unsigned char>(byte));
    const bool plain = !space && byte >= 0x20 && byte != '"' && byte != '<' && byte != '>';
    tables.plain[byte] = plain;
    tables.plainAttribute[byte] = plain && byte != '=';
    tables.quoted[byte] = byte != '"';
    tables.quotedAttribute[byte] = byte != '"' && byte != '=';
    tables.whitespace[byte] = space;
  }
  return tables;
}

constexpr RunTables kRuns = MakeRunTables();

bool EndsWith(const std::string& text, char last) { return !text.empty() && text.back() == last; }

char EntityByte(const char* name, size_t length) {
  const std::string_view entity(name, length);
  if (entity == "lt") return '<';
  if (entity == "amp") return '&';
  if (entity == "gt") return '>';
  if (entity == "quot") return '"';
  if (entity == "apos") return '\'';
  if (entity == "nbsp") return ' ';  // a plain space, as documents expect
  if (entity == "cr") return '\n';   // a line feed, as documents expect
  return '&';
}

}  // namespace

bool XMLToken::AddAttribute(std::string key, std::string value) {
  return attributes.insert_or_assign(std::move(key), std::move(value)).second;
}

std::string XMLParser::DecodeEntities(const std::string& text) {
  std::string decoded(text);
  DecodeEntitiesInPlace(decoded);
  return decoded;
}

// Decoding only ever shrinks the text, so it can write over what it has read.
void XMLParser::DecodeEntitiesInPlace(std::string& text) {
  size_t read = text.find('&');
  if (read == std::string::npos) return;
  size_t write = read;
  while (read < text.size()) {
    if (text[read] != '&') {
      text[write++] = text[read++];
      continue;
    }
    const size_t semicolon = text.find(';', read + 1);
    if (semicolon == std::string::npos) {
      // No ';' follows this '&', so none follows any later one either: the
      // rest stays as it is (and decoding stays linear).
      text.erase(write, read - write);
      return;
    }
    text[write++] = EntityByte(text.data() + read + 1, semicolon - read - 1);
    read = semicolon + 1;
  }
  text.resize(write);
}

void XMLParser::SetSourceText(std::string text) {
  source_ = std::move(text);
  position_ = 0;
  pushedBack_.clear();
  openPath_.clear();
  lineNumber_ = 1;
  hasError_ = false;
  errorText_.clear();
}

void XMLParser::BeginToken(XMLToken& token) {
  token.kind = Kind::None;
  token.path = openPath_;
  token.value.clear();
  token.body.clear();
  token.attributes.clear();
  state_.pendingSpace = false;
  state_.inQuotes = false;
  state_.quoteClosed = false;
  state_.inAttributes = false;
  state_.inValue = false;
  state_.attributeKey.clear();
  state_.attributeValue.clear();
}

bool XMLParser::NextToken(XMLToken& token) {
  BeginToken(token);
  for (;;) {
    unsigned char byte;
    if (!ReadByte(byte)) {
      if (token.kind == Kind::None) return false;
      Fail("Unexpected End of File");
      return false;
    }
    if (byte == '\n') CountLineFeeds(1);
    switch (HandleByte(token, byte)) {
      case Step::Continue:
        if (kReadsRuns && pushedBack_.empty()) TakeRun(token, byte);
        break;
      case Step::Failed:
        return false;
      case Step::Finished:
        DecodeEntitiesInPlace(token.value);
        if (token.kind != Kind::Comment) return true;
        BeginToken(token);  // comments are dropped: read the next token
        break;
    }
  }
}

void XMLParser::CountLineFeeds(size_t count) {
  const int64_t line = static_cast<int64_t>(lineNumber_) + static_cast<int64_t>(count);
  lineNumber_ = static_cast<int32_t>(std::min<int64_t>(line, std::numeric_limits<int32_t>::max()));
}

// Appends the bytes at the read position that belong to `run` to `target`.
void XMLParser::AppendRun(std::string& target, const bool (&run)[256], bool mayHoldLineFeeds) {
  const char* const begin = source_.data() + position_;
  const char* const end = source_.data() + source_.size();
  const char* cursor = begin;
  while (cursor != end && run[static_cast<unsigned char>(*cursor)]) ++cursor;
  if (cursor == begin) return;
  if (mayHoldLineFeeds) CountLineFeeds(static_cast<size_t>(std::count(begin, cursor, '\n')));
  target.append(begin, cursor);
  position_ += static_cast<size_t>(cursor - begin);
}

// Appends the bytes up to the next '>' to `target`.
void XMLParser::AppendUpToClose(std::string& target) {
  const char* const begin = source_.data() + position_;
  const size_t remaining = source_.size() - position_;
  const void* close = std::memchr(begin, '>', remaining);
  const size_t length =
      close ? static_cast<size_t>(static_cast<const char*>(close) - begin) : remaining;
  CountLineFeeds(static_cast<size_t>(std::count(begin, begin + length, '\n')));
  target.append(begin, length);
  position_ += length;
}

// A fast path over the source text, taken after `lastByte` was handled and
// before any pushed-back byte: reads on in one go as long as the byte-by-byte
// rules would only append bytes to one string (or skip whitespace).
void XMLParser::TakeRun(XMLToken& token, unsigned char lastByte) {
  switch (token.kind) {
    case Kind::Comment:
      AppendUpToClose(token.body);
      return;
    case Kind::Instruction:
      if (!token.body.empty()) AppendUpToClose(token.body);
      return;
    default:
      break;
  }
  if (!state_.inQuotes && kRuns.whitespace[lastByte]) {
    // Further whitespace changes nothing but the line number.
    const size_t start = position_;
    while (position_ < source_.size() &&
           kRuns.whitespace[static_cast<unsigned char>(source_[position_])]) {
      ++position_;
    }
    CountLineFeeds(
        static_cast<size_t>(std::count(source_.data() + start, source_.data() + position_, '\n')));
    return;
  }
  // The first byte of a text changes the kind; a pending space is stored (or
  // dropped) by the next byte's own rules; '/' or '?' directly after '<'
  // change the kind.
  if (token.kind == Kind::None || state_.pendingSpace ||
      (token.kind == Kind::Start && token.value.empty())) {
    return;
  }

  std::string* target = &token.value;
  bool inAttributes = false;
  if (token.kind == Kind::Start && state_.inAttributes) {
    inAttributes = true;
    target = state_.inValue ? &state_.attributeValue : &state_.attributeKey;
  }
  if (state_.inQuotes) {
    AppendRun(*target, inAttributes ? kRuns.quotedAttribute : kRuns.quoted, true);
  } else {
    AppendRun(*target, inAttributes ? kRuns.plainAttribute : kRuns.plain, false);
  }
}

XMLParser::Step XMLParser::HandleByte(XMLToken& token, unsigned char byte) {
  if (token.kind == Kind::Comment) {
    std::string& body = token.body;
    body.push_back(static_cast<char>(byte));
    const size_t size = body.size();
    if (byte == '>' && size >= 3 && body[size - 2] == '-' && body[size - 3] == '-') {
      body.resize(size - 3);
      return Step::Finished;
    }
    return Step::Continue;
  }

  if (token.kind == Kind::Instruction) {
    // The target name runs up to the first whitespace; the body holds the rest.
    std::string& target =
        (!token.body.empty() || text::IsWhiteSpace(byte)) ? token.body : token.value;
    target.push_back(static_cast<char>(byte));
    const size_t size = target.size();
    if (byte == '>' && size >= 2 && target[size - 2] == '?') {
      target.resize(size - 2);
      return Step::Finished;
    }
    return Step::Continue;
  }

  if (byte == '"') {
    state_.inQuotes = !state_.inQuotes;
    if (!state_.inQuotes) state_.quoteClosed = true;
    if (token.kind == Kind::Start || token.kind == Kind::End) return Step::Continue;
    return StoreByte(token, byte);  // quotes in text are kept
  }

  if (state_.inQuotes) return StoreByte(token, byte);

  if (byte == '<') {
    switch (token.kind) {
      case Kind::Text:
        pushedBack_.push_back('<');  // the text ends before the tag
        return Step::Finished;
      case Kind::None:
        token.kind = Kind::Start;
        return Step::Continue;
      default:
        return Fail("Unexpected '<'");
    }
  }

  if (byte == '>') return CloseTag(token);

  if (token.kind == Kind::Start && token.value.empty()) {
    if (byte == '/') {
      token.kind = Kind::End;
      return Step::Continue;
    }
    if (byte == '?') {
      token.kind = Kind::Instruction;
      return Step::Continue;
    }
  }

  if (text::IsWhiteSpace(byte)) {
    if (!token.value.empty()) state_.pendingSpace = true;
    if (token.kind == Kind::Start && token.value == "!--") token.kind = Kind::Comment;
    return Step::Continue;
  }
  if (byte < 0x20) return Fail("Illegal Character");

  return StoreByte(token, byte);
}

XMLParser::Step XMLParser::StoreByte(XMLToken& token, unsigned char byte) {
  const char character = static_cast<char>(byte);
  if (token.kind == Kind::None) token.kind = Kind::Text;

  if (token.kind != Kind::Start) {  // Text or End
    if (state_.pendingSpace) {
      token.value.push_back(' ');
      state_.pendingSpace = false;
    }
    token.value.push_back(character);
    return Step::Continue;
  }

  if (state_.pendingSpace) {
    if (!state_.inAttributes) {
      // Whitespace after the tag name: attributes follow.
      state_.inAttributes = true;
      state_.inValue = false;
    } else if (state_.inValue && state_.attributeValue.empty() && !state_.quoteClosed) {
      // Whitespace after '='.
    } else if (!state_.inValue && byte == '=') {
      // Whitespace before '='.
    } else {
      // Whitespace ended an attribute.
      RecordAttribute(token);
      state_.inValue = false;
    }
    state_.pendingSpace = false;
  }

  if (!state_.inAttributes) {
    token.value.push_back(character);
  } else if (byte == '=') {
    state_.inValue = true;
    state_.quoteClosed = false;
  } else if (state_.inValue) {
    state_.attributeValue.push_back(character);
  } else {
    state_.attributeKey.push_back(character);
  }
  return Step::Continue;
}

std::string XMLParser::RecordAttribute(XMLToken& token) {
  DecodeEntitiesInPlace(state_.attributeKey);
  DecodeEntitiesInPlace(state_.attributeValue);
  std::string key = state_.attributeKey;
  token.AddAttribute(std::move(state_.attributeKey), std::move(state_.attributeValue));
  state_.attributeKey.clear();
  state_.attributeValue.clear();
  return key;
}

XMLParser::Step XMLParser::CloseTag(XMLToken& token) {
  switch (token.kind) {
    case Kind::Start: {
      bool closesItself = false;
      if (state_.attributeKey == "/") {
        closesItself = true;  // a '/' after whitespace: "<a />"
      } else if (!state_.attributeKey.empty()) {
        const std::string key = RecordAttribute(token);
        std::string& stored = token.attributes[key];
        if (EndsWith(stored, '/')) {  // "<a b=1/>"
          stored.pop_back();
          DecodeEntitiesInPlace(stored);
          closesItself = true;
        }
      } else if (EndsWith(token.value, '/')) {  // "<a/>"
        token.value.pop_back();
        closesItself = true;
      }
      if (closesItself) {
        // The next token is the matching end tag.
        PushBack("</" + token.value + ">");
        state_.attributeKey.clear();
      }
      if (!openPath_.empty()) openPath_.push_back('/');
      openPath_ += token.value;
      return Step::Finished;
    }

    case Kind::End: {
      const size_t slash = openPath_.rfind('/');
      if (slash == std::string::npos && openPath_.empty()) return Fail("Unexpected End");
      const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
      if (openPath_.compare(nameStart, std::string::npos, token.value) != 0) {
        return Fail("End '" + token.value + "' Doesn't Match Start '" +
                    openPath_.substr(nameStart) + "'");
      }
      openPath_.resize(slash == std::string::npos ? 0 : slash);
      return Step::Finished;
    }

    default:
      return Fail("Unexpected '>'");
  }
}

XMLParser::Step XMLParser::Fail(std::string message) {
  hasError_ = true;
  errorText_ = std::move(message);
  return Step::Failed;
}

}  // namespace Kova
