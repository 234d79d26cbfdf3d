#include "common/launcher_state.h"

LauncherState& GetLauncherState() {
  static LauncherState state;
  return state;
}
