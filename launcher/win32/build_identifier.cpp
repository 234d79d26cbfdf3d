#include "launcher/win32/build_identifier.h"

#include "common/launcher_state.h"
#include "launcher/payload_reader.h"
#include "launcher/win32/message_boxes.h"

bool ReadBuildIdentifier() {
  LauncherState& state = GetLauncherState();
  switch (
      ReadBuildIdentifierFromFile(state.modulePath, state.buildInfoText, state.buildIdentifier)) {
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
