#include "launcher/win32/partner_loading.h"

#include "common/launcher_state.h"
#include "launcher/win32/message_boxes.h"
#include "properties/partner_properties.h"

namespace {

void ShowPartnerMessage(const std::string& text) { ShowStartupFatalError(text.c_str()); }

}  // namespace

bool LoadPartnerProperties() {
  LauncherState& state = GetLauncherState();
  PartnerProductStrings product;
  const bool loaded =
      LoadPartnerPropertiesInto(state.appDirectory, state.buildIdentifier,
                                GetPartnerPropertiesStore(), product, ShowPartnerMessage);
  state.prodName = product.prodName;
  state.offering = product.offering;
  state.displayName = product.displayName;
  state.registryKey = product.registryKey;
  return loaded;
}

std::string GetRequiredPartnerString(const std::string& name) {
  return FindRequiredString(GetPartnerPropertiesStore(), name, ShowPartnerMessage);
}
