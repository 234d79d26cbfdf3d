#include "properties/properties_store.h"

#include <utility>

bool PropertiesStore::AddString(const std::string& name, std::string value) {
  return strings_.try_emplace(name, std::move(value)).second;
}

bool PropertiesStore::AddStringArray(const std::string& name, StringList value) {
  return stringArrays_.try_emplace(name, std::move(value)).second;
}

bool PropertiesStore::AddBoolean(const std::string& name, bool value) {
  return booleans_.try_emplace(name, value).second;
}

bool PropertiesStore::AddInteger(const std::string& name, int32_t value) {
  return integers_.try_emplace(name, value).second;
}

bool PropertiesStore::AddDouble(const std::string& name, double value) {
  return doubles_.try_emplace(name, value).second;
}

PropertiesStore& GetPartnerPropertiesStore() {
  static PropertiesStore store;
  return store;
}
