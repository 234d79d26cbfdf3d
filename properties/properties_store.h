#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The typed values of a properties document, one ordered map per type, keyed
// by exact byte-wise names. The first value stored under a name stays: a later
// one of the same type is dropped, and nothing is ever replaced or removed.
class PropertiesStore {
 public:
  using StringList = std::vector<std::string>;

  // Each returns true when the value was stored, false when the name was
  // already present in that map (the map is then unchanged).
  bool AddString(const std::string& name, std::string value);
  bool AddStringArray(const std::string& name, StringList value);
  bool AddBoolean(const std::string& name, bool value);
  bool AddInteger(const std::string& name, int32_t value);
  bool AddDouble(const std::string& name, double value);

  const std::map<std::string, std::string>& Strings() const { return strings_; }
  const std::map<std::string, StringList>& StringArrays() const { return stringArrays_; }
  const std::map<std::string, bool>& Booleans() const { return booleans_; }
  const std::map<std::string, int32_t>& Integers() const { return integers_; }
  const std::map<std::string, double>& Doubles() const { return doubles_; }

 private:
  std::map<std::string, std::string> strings_;
  std::map<std::string, StringList> stringArrays_;
  std::map<std::string, bool> booleans_;
  std::map<std::string, int32_t> integers_;
  std::map<std::string, double> doubles_;
};

// The process-wide partner properties store: filled once at start-up on the
// main thread, only read afterwards.
PropertiesStore& GetPartnerPropertiesStore();
