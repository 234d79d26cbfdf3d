#include "launcher/win32/startup.h"

#include "common/launcher_state.h"
#include "common/text_rules.h"
#include "common/win32/process_text.h"
#include "payload/payload_format.h"

void InitializeLauncherState(HINSTANCE instance) {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);

  LauncherState& state = GetLauncherState();
  state.payloadMarker = payload::PayloadMarker();
  state.buildInfoText = payload::BuildInfoText();
  state.modulePath = win32::GetModulePath(instance);
  state.appDirectory = text::DirectoryOfPath(state.modulePath) + "\\";
  // With the separator, a launcher in a drive's root ("C:") makes that root
  // current rather than the drive's last current directory.
  SetCurrentDirectoryA(state.appDirectory.c_str());
}
