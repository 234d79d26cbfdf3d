// The launcher's two kinds of fatal-error message boxes. Both have no owner
// window and block the calling thread until they are dismissed.
#pragma once

// Caption "FATAL ERROR" with the error icon: failures of the start-up checks
// (build identifier, partner properties).
void ShowStartupFatalError(const char* text);

// Caption "Fatal Error", an OK button and no icon: failures of the extraction
// and of the game's start.
void ShowGameFatalError(const char* text);
