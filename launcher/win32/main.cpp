// The launcher's entry: runs each step in order and turns the outcome into the
// process exit code. Every failing step has shown its own message box.
#include <windows.h>

#include "launcher/win32/build_identifier.h"
#include "launcher/win32/dll_search.h"
#include "launcher/win32/exit_codes.h"
#include "launcher/win32/game_process.h"
#include "launcher/win32/partner_loading.h"
#include "launcher/win32/payload_extraction.h"
#include "launcher/win32/startup.h"
#include "launcher/win32/temp_files.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything loads a DLL on demand.
  RestrictDllSearchToSystemFolder();
  InitializeLauncherState(instance);

  if (!ReadBuildIdentifier()) return kExitNormal;
  // A damaged key block is refused as a damaged game is.
  if (!CheckKeyBlockNotDamaged()) return kExitCannotWriteTempFile;
  if (!LoadPartnerProperties()) return kExitNormal;

  ExtractionResult extraction = ExtractPayload();
  if (!extraction.Succeeded()) return extraction.exitCode;

  RunGame(extraction.tempFilePath, "");
  extraction.tempFileHold.reset();
  DeleteFileWithRetries(extraction.tempFilePath);
  return kExitNormal;
}
