#include "properties/partner_properties.h"

#include "properties/properties_store.h"

std::string GetPartnerString(const std::string& name, const std::string& defaultValue) {
  const auto& strings = GetPartnerPropertiesStore().Strings();
  const auto found = strings.find(name);
  return found != strings.end() ? found->second : defaultValue;
}
