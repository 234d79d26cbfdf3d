#include "properties/properties_parser.h"

#include <utility>

#include "common/text_rules.h"
#include "properties/xml_reader.h"

namespace Kova {

namespace {

using Kind = XMLToken::Kind;

std::string IdOf(const XMLToken& startToken) {
  const auto id = startToken.attributes.find("id");
  return id == startToken.attributes.end() ? std::string() : id->second;
}

// "1", "YES", "ON", "TRUE" and "0", "NO", "OFF", "FALSE", already upper-cased.
bool BooleanFromWord(const std::string& word, bool& value) {
  if (word == "1" || word == "YES" || word == "ON" || word == "TRUE") {
    value = true;
    return true;
  }
  if (word == "0" || word == "NO" || word == "OFF" || word == "FALSE") {
    value = false;
    return true;
  }
  return false;
}

}  // namespace

PropertiesParser::PropertiesParser() : PropertiesParser(GetPartnerPropertiesStore()) {}

PropertiesParser::PropertiesParser(PropertiesStore& store) : store_(store) {}

PropertiesParser::~PropertiesParser() = default;

bool PropertiesParser::ParseText(const std::string& text) {
  reader_ = std::make_unique<XMLParser>();
  reader_->SetSourceText(text);
  ParseDocument();
  if (reader_->HasError()) ReportError(reader_->GetErrorText());
  reader_.reset();
  return !failed_;
}

bool PropertiesParser::ReadToken(XMLToken& token) { return reader_->NextToken(token); }

bool PropertiesParser::ParseDocument() {
  XMLToken token;
  while (ReadToken(token)) {
    if (token.kind == Kind::Start) {
      if (token.value != "Properties") {
        ReportError("Invalid Section '" + token.value + "'");
        return false;
      }
      if (!ParsePropertiesSection()) return false;
    } else if (token.kind == Kind::Text) {
      ReportError("Element Not Expected '" + token.value + "'");
      return false;
    }
  }
  return false;
}

bool PropertiesParser::ParsePropertiesSection() {
  XMLToken token;
  while (ReadToken(token)) {
    if (token.kind == Kind::End) return true;
    if (token.kind == Kind::Text) {
      ReportError("Element Not Expected '" + token.value + "'");
      return false;
    }
    if (token.kind != Kind::Start) continue;

    const std::string& element = token.value;
    if (element == "StringArray") {
      PropertiesStore::StringList list;
      if (!ParseStringArray(list)) return false;
      store_.AddStringArray(IdOf(token), std::move(list));
      continue;
    }
    if (element != "String" && element != "Boolean" && element != "Integer" &&
        element != "Double") {
      ReportError("Invalid Section '" + element + "'");
      return false;
    }

    std::string text;
    if (!ParseValueText(text)) return false;
    const std::string id = IdOf(token);
    if (element == "String") {
      store_.AddString(id, std::move(text));
    } else if (element == "Boolean") {
      const std::string word = text::UpperCase(text);
      bool value;
      if (!BooleanFromWord(word, value)) {
        ReportError("Invalid Boolean Value: '" + word + "'");
        return false;
      }
      store_.AddBoolean(id, value);
    } else if (element == "Integer") {
      int32_t value;
      if (!IntegerFromText(text, value)) {
        ReportError("Invalid Integer Value: '" + text + "'");
        return false;
      }
      store_.AddInteger(id, value);
    } else {
      double value;
      if (!DoubleFromText(text, value)) {
        ReportError("Invalid Double Value: '" + text + "'");
        return false;
      }
      store_.AddDouble(id, value);
    }
  }
  return false;
}

bool PropertiesParser::ParseValueText(std::string& text) {
  text.clear();
  XMLToken token;
  while (ReadToken(token)) {
    switch (token.kind) {
      case Kind::Text:
        // When comments split the content, the last piece counts.
        text.swap(token.value);
        break;
      case Kind::Start:
        ReportError("Unexpected Section: '" + token.value + "'");
        return false;
      case Kind::End:
        return true;
      default:
        break;
    }
  }
  return false;
}

bool PropertiesParser::ParseStringArray(PropertiesStore::StringList& list) {
  list.clear();
  XMLToken token;
  while (ReadToken(token)) {
    if (token.kind == Kind::End) return true;
    if (token.kind == Kind::Text) {
      ReportError("Element Not Expected '" + token.value + "'");
      return false;
    }
    if (token.kind != Kind::Start) continue;
    if (token.value != "String") {
      ReportError("Invalid Section '" + token.value + "'");
      return false;
    }
    std::string text;
    if (!ParseValueText(text)) return false;
    list.push_back(std::move(text));
  }
  return false;
}

void PropertiesParser::ReportError(const std::string& message) {
  if (failed_) return;  // the first error wins
  failed_ = true;
  errorText_ = message;
  const int32_t line = reader_ ? reader_->GetLineNumber() : 0;
  if (line >= 1) {
    errorText_ += " on Line " + std::to_string(line);
    errorLine_ = line;
  }
}

ReadResult PropertiesParser::GetResult() const {
  return failed_ ? ReadResult::Failed(errorLine_, errorText_) : ReadResult{};
}

bool PropertiesParser::IntegerFromText(const std::string& text, int32_t& value) {
  value = 0;
  if (text.empty()) return false;
  const bool negative = text[0] == '-';
  // Unsigned arithmetic: overflow wraps around in 32 bits, as documents expect.
  uint32_t magnitude = 0;
  uint32_t base = 10;
  for (size_t i = negative ? 1 : 0; i < text.size(); ++i) {
    const char byte = text[i];
    const int digit =
        base == 16 ? text::HexDigitValue(byte) : (text::IsDecimalDigit(byte) ? byte - '0' : -1);
    if (digit >= 0) {
      magnitude = magnitude * base + static_cast<uint32_t>(digit);
    } else if ((byte == 'x' || byte == 'X') && i == 1 && magnitude == 0) {
      base = 16;
    } else {
      return false;
    }
  }
  if (negative) magnitude = 0u - magnitude;
  value = static_cast<int32_t>(magnitude);
  return true;
}

bool PropertiesParser::DoubleFromText(const std::string& text, double& value) {
  value = 0.0;
  if (text.empty()) return false;
  const bool negative = text[0] == '-';
  double number = 0.0;
  size_t i = negative ? 1 : 0;
  for (; i < text.size() && text[i] != '.'; ++i) {
    const char byte = text[i];
    if (!text::IsDecimalDigit(byte)) return false;
    number = number * 10.0 + (byte - '0');
  }
  if (i < text.size()) {  // skip the '.'
    double factor = 0.1;
    for (++i; i < text.size(); ++i) {
      const char byte = text[i];
      if (!text::IsDecimalDigit(byte)) return false;
      number = number + (byte - '0') * factor;
      factor = factor / 10.0;
    }
  }
  value = negative ? -number : number;
  return true;
}

}  // namespace Kova
