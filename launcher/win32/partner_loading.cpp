#include "launcher/win32/partner_loading.h"

#include <utility>

#include "common/launcher_state.h"
#include "launcher/partner_publisher_check.h"
#include "launcher/win32/build_identifier.h"
#include "launcher/win32/message_boxes.h"
#include "properties/partner_properties.h"

namespace {

void ShowPartnerMessage(const std::string& text) { ShowStartupFatalError(text.c_str()); }

// Written on the main thread by the one load, before any other thread exists.
ReadResult& PartnerParseResult() {
  static ReadResult result;
  return result;
}

// The publisher signature check when the launcher's key block asks for one;
// none otherwise, and then nothing of the publisher signature (bcrypt.dll
// included) is touched.
PartnerDocumentCheck PublisherCheck(std::int32_t buildIdentifier) {
  const HeaderKeyBlock& keys = GetLauncherKeyBlock();
  if (keys.status == payload::KeyBlockStatus::Absent) return {};
  // The start refuses a damaged block before this step; should it get here,
  // nothing passes.
  if (keys.status == payload::KeyBlockStatus::Damaged) {
    return [](const std::string&, const std::string&) { return false; };
  }
  if (!keys.block.requiresPublisherSignature) return {};
  return [&keys, buildIdentifier](const std::string& path, const std::string& bytes) {
    return CheckPublisherSignature(path, bytes, buildIdentifier, keys.block);
  };
}

}  // namespace

bool LoadPartnerProperties() {
  LauncherState& state = GetLauncherState();
  PartnerLoadResult load = LoadPartnerPropertiesInto(
      state.appDirectory, state.buildIdentifier, GetPartnerPropertiesStore(), ShowPartnerMessage,
      {}, PublisherCheck(state.buildIdentifier));
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
