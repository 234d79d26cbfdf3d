// The launcher's two kinds of fatal-error message boxes. Both have no owner
// window and block the calling thread until they are dismissed.
#pragma once

#include <windows.h>

// One fatal-error message box: what a step reports, before it is shown.
struct FatalError {
  const char* caption;
  const char* text;
  UINT style;
};

// Caption "FATAL ERROR" with the error icon: failures of the start-up checks
// (build identifier, partner properties).
FatalError StartupFatalError(const char* text);

// Caption "Fatal Error", an OK button and no icon: failures of the extraction
// and of the game's start.
FatalError GameFatalError(const char* text);

// Shows `error` in a message box with no owner window.
void ShowFatalError(const FatalError& error);

void ShowStartupFatalError(const char* text);
void ShowGameFatalError(const char* text);
