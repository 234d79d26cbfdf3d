#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Kova {

// One token read by XMLParser::NextToken. The caller owns the record; every
// NextToken replaces its contents.
struct XMLToken {
  enum class Kind : uint8_t {
    None = 0,         // nothing read yet; still None at the end means a clean end
    Start = 1,        // a start tag, or the first token of a self-closing tag
    End = 2,          // an end tag, or the second token of a self-closing tag
    Text = 3,         // character data between tags
    Instruction = 4,  // "<?target body?>"
    Comment = 5,      // used while reading, never returned
  };

  Kind kind = Kind::None;
  // The open-element path when the token began: the parent's path for a start
  // tag, the path still holding the closing element for an end tag.
  std::string path;
  // Tag name, instruction target or text; entity-decoded.
  std::string value;
  // For an instruction: everything after the target, from its first
  // whitespace byte on, without "?>"; not decoded.
  std::string body;
  // Start tag attributes, keys and values entity-decoded.
  std::map<std::string, std::string> attributes;

  // Stores the pair, replacing an earlier value of the key. True when the key
  // was new.
  bool AddAttribute(std::string key, std::string value);
};

// A small pull reader for the XML-like text of properties documents. It is
// deliberately not a conforming XML parser: documents in the field were
// written against exactly these rules (single quotes are ordinary bytes, '='
// is never stored, text whitespace is collapsed, "&cr;" is a line feed, ...).
//
// Reading stops at the first syntax error of a token; a later NextToken goes
// on with the byte after the offending one, while the error stays reported
// until the next SetSourceText.
class XMLParser {
 public:
  XMLParser() = default;

  // Starts over with a copy of the text: empty path, line 1, no error.
  void SetSourceText(std::string text);

  // True when a Start, End, Text or Instruction token is in the record; false
  // at a clean end of input or at an error (HasError tells them apart).
  bool NextToken(XMLToken& token);

  bool HasError() const { return hasError_; }
  std::string GetErrorText() const { return errorText_; }
  int32_t GetLineNumber() const { return lineNumber_; }

  // Replaces the references "&lt;", "&amp;", "&gt;", "&quot;", "&apos;",
  // "&nbsp;" (a space) and "&cr;" (a line feed); any other "&name;" becomes a
  // single '&'. An '&' without a later ';' is copied.
  static std::string DecodeEntities(const std::string& text);

 private:
  enum class Step { Continue, Finished, Failed };

  // Per-token working state, cleared at the start of each token.
  struct TokenState {
    bool pendingSpace = false;
    bool inQuotes = false;
    bool quoteClosed = false;
    bool inAttributes = false;
    bool inValue = false;
    std::string attributeKey;
    std::string attributeValue;
  };

  void BeginToken(XMLToken& token);
  Step HandleByte(XMLToken& token, unsigned char byte);
  Step StoreByte(XMLToken& token, unsigned char byte);
  Step CloseTag(XMLToken& token);
  std::string RecordAttribute(XMLToken& token);
  static void DecodeEntitiesInPlace(std::string& text);

  void CountLineFeeds(size_t count);
  void TakeRun(XMLToken& token, unsigned char lastByte);
  void AppendRun(std::string& target, const bool (&run)[256], bool mayHoldLineFeeds);
  void AppendUpToClose(std::string& target);
  Step Fail(std::string message);

  // The pending characters: the unread rest of the source plus the bytes
  // pushed back in front of it (read first, last pushed on top).
  bool ReadByte(unsigned char& byte) {
    if (!pushedBack_.empty()) {
      byte = static_cast<unsigned char>(pushedBack_.back());
      pushedBack_.pop_back();
      return true;
    }
    if (position_ < source_.size()) {
      byte = static_cast<unsigned char>(source_[position_++]);
      return true;
    }
    return false;
  }
  // Makes the bytes of `text` the next ones read, in their order.
  void PushBack(const std::string& text) {
    pushedBack_.insert(pushedBack_.end(), text.rbegin(), text.rend());
  }

  std::string source_;
  size_t position_ = 0;
  std::vector<char> pushedBack_;

  int32_t lineNumber_ = 0;
  bool hasError_ = false;
  std::string errorText_;
  std::string openPath_;
  TokenState state_;
};

}  // namespace Kova
