#include "launcher/win32/partner_loading.h"

#include <utility>

#include "common/launcher_state.h"
#include "launcher/win32/message_boxes.h"
#include "properties/partner_properties.h"

namespace {

void ShowPartnerMessage(const std::string& text) { ShowStartupFatalError(text.c_str()); }

// Written on the main thread by the one load, before any other thread exists.
ReadResult& PartnerParseResult() {
  static ReadResult result;
  return result;
}

}  // namespace

bool LoadPartnerProperties() {
  LauncherState& state = GetLauncherState();
  PartnerLoadResult load = LoadPartnerPropertiesInto(
      state.appDirectory, state.buildIdentifier, GetPartnerPropertiesStore(), ShowPartnerMessage);
  state.prodName = std::move(load.product.prodName);
  state.offering = std::move(load.product.offering);
  state.displayName = std::move(load.product.displayName);
  state.registryKey = std::move(load.product.registryKey);
  PartnerParseResult() = std::move(load.parse);
  return load.loaded;
}

const ReadResult& GetPartnerParseResult() { return PartnerParseResult(); }

std::string GetRequiredPartnerString(const std::string& name) {
  return FindRequiredString(GetPartnerPropertiesStore(), name, ShowPartnerMessage);
}
