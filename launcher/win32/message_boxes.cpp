#include "launcher/win32/message_boxes.h"

#include <windows.h>

void ShowStartupFatalError(const char* text) {
  MessageBoxA(nullptr, text, "FATAL ERROR", MB_ICONERROR);
}

void ShowGameFatalError(const char* text) { MessageBoxA(nullptr, text, "Fatal Error", MB_OK); }
