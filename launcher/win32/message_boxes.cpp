#include "launcher/win32/message_boxes.h"

FatalError StartupFatalError(const char* text) { return {"FATAL ERROR", text, MB_ICONERROR}; }

FatalError GameFatalError(const char* text) { return {"Fatal Error", text, MB_OK}; }

void ShowFatalError(const FatalError& error) {
  MessageBoxA(nullptr, error.text, error.caption, error.style);
}

void ShowStartupFatalError(const char* text) { ShowFatalError(StartupFatalError(text)); }

void ShowGameFatalError(const char* text) { ShowFatalError(GameFatalError(text)); }
