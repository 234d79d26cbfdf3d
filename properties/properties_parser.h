#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/read_result.h"
#include "properties/properties_store.h"

namespace Kova {

class XMLParser;
struct XMLToken;

// Reads a properties document held in memory and adds each value to a store:
//
//   <Properties>
//     <String id="Name">text</String>
//     <StringArray id="List"><String>one</String><String>two</String></StringArray>
//     <Boolean id="Flag">yes</Boolean>
//     <Integer id="Count">0x10</Integer>
//     <Double id="Ratio">1.5</Double>
//   </Properties>
//
// Parsing stops at the first error; values added before it stay in the store.
// A parser serves one document: once failed, it keeps its first error text.
class PropertiesParser {
 public:
  // Fills the process-wide partner properties store.
  PropertiesParser();
  explicit PropertiesParser(PropertiesStore& store);
  ~PropertiesParser();

  PropertiesParser(const PropertiesParser&) = delete;
  PropertiesParser& operator=(const PropertiesParser&) = delete;

  // True when no error has been recorded by this parser.
  bool ParseText(const std::string& text);
  // Empty, or the first error followed by " on Line " and its line number.
  std::string GetErrorText() const { return errorText_; }
  // The same outcome as one value: ok, or the line of the first error and
  // GetErrorText().
  ReadResult GetResult() const;

  // Decimal, or hexadecimal after an 'x' or 'X' as second byte ("0x1F", "-x5");
  // an optional leading '-'. Wraps around in 32 bits. Sets 0 on failure.
  static bool IntegerFromText(const std::string& text, int32_t& value);
  // Decimal digits with at most one '.', an optional leading '-'; no exponent.
  // Computed digit by digit in double arithmetic. Sets 0.0 on failure.
  static bool DoubleFromText(const std::string& text, double& value);

 private:
  bool ParseDocument();
  bool ParsePropertiesSection();
  bool ParseValueText(std::string& text);
  bool ParseStringArray(PropertiesStore::StringList& list);
  bool ReadToken(XMLToken& token);
  void ReportError(const std::string& message);

  PropertiesStore& store_;
  std::unique_ptr<XMLParser> reader_;  // only while ParseText runs
  std::string errorText_;
  int32_t errorLine_ = 0;
  bool failed_ = false;
};

}  // namespace Kova
