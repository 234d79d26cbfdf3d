#include "properties/xml_parser.h"

#include <limits>
#include <string_view>
#include <utility>

namespace Kova {

namespace {

using Kind = XMLToken::Kind;

bool IsWhitespace(unsigned char byte) {
  return byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
}

bool EndsWith(const std::string& text, char last) {
  return !text.empty() && text.back() == last;
}

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

bool XMLToken::AddAttribute(const std::string& key, const std::string& value) {
  return attributes.insert_or_assign(key, value).second;
}

std::string XMLParser::DecodeEntities(const std::string& text) {
  const size_t ampersand = text.find('&');
  if (ampersand == std::string::npos) return text;

  std::string decoded(text, 0, ampersand);
  decoded.reserve(text.size());
  size_t position = ampersand;
  while (position < text.size()) {
    const size_t next = text.find('&', position);
    if (next == std::string::npos) {
      decoded.append(text, position, std::string::npos);
      break;
    }
    decoded.append(text, position, next - position);
    const size_t semicolon = text.find(';', next + 1);
    if (semicolon == std::string::npos) {
      // No ';' follows this '&', so none follows any later one either: the
      // rest is copied as it stands (and scanning stays linear).
      decoded.append(text, next, std::string::npos);
      break;
    }
    decoded.push_back(EntityByte(text.data() + next + 1, semicolon - next - 1));
    position = semicolon + 1;
  }
  return decoded;
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
    if (byte == '\n' && lineNumber_ < std::numeric_limits<int32_t>::max()) {
      ++lineNumber_;
    }
    switch (HandleByte(token, byte)) {
      case Step::Continue:
        break;
      case Step::Failed:
        return false;
      case Step::Finished:
        token.value = DecodeEntities(token.value);
        if (token.kind != Kind::Comment) return true;
        BeginToken(token);  // comments are dropped: read the next token
        break;
    }
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
        (!token.body.empty() || IsWhitespace(byte)) ? token.body : token.value;
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

  if (IsWhitespace(byte)) {
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
  std::string key = DecodeEntities(state_.attributeKey);
  token.AddAttribute(key, DecodeEntities(state_.attributeValue));
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
          stored = DecodeEntities(stored);
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
