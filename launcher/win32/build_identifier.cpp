#include "launcher/win32/build_identifier.h"

#include "common/launcher_state.h"
#include "launcher/win32/message_boxes.h"
#include "launcher/win32/payload_extraction.h"

namespace {

HeaderKeyBlock& LauncherKeyBlock() {
  static HeaderKeyBlock keyBlock;
  return keyBlock;
}

}  // namespace

bool ReadBuildIdentifier() {
  LauncherState& state = GetLauncherState();
  switch (ReadBuildIdentifierFromFile(state.modulePath, state.buildInfoText, state.buildIdentifier,
                                      &LauncherKeyBlock())) {
    case BuildIdStatus::Ok:
      return true;
    case BuildIdStatus::MarkerNotFound:
      ShowStartupFatalError("Unable to find the build information marker.");
      return false;
    case BuildIdStatus::CannotOpen:
      ShowStartupFatalError("Unable to open file");
      return false;
  }
  return false;
}

const HeaderKeyBlock& GetLauncherKeyBlock() { return LauncherKeyBlock(); }

bool CheckKeyBlockNotDamaged() {
  if (LauncherKeyBlock().status != payload::KeyBlockStatus::Damaged) return true;
  ShowGameFatalError(kCannotExtractMessage);
  return false;
}
