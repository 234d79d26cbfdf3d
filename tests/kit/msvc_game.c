/* A game linked the way MSVC's toolchain links one: compiled for the
   *-pc-windows-msvc target and linked by an MSVC-style linker against
   kova_client.lib, with no C run-time library. It asks the launcher that
   started it for one property and writes what it got to msvc-game.txt in its
   current directory ("version=", then "DisplayName=" or "error=").

   No Windows SDK is at hand, so the four KERNEL32 functions it calls are
   declared here; everything else comes from kova_client.h alone. */
#include "kova_client.h"

#define KOVA_GENERIC_WRITE 0x40000000ul
#define KOVA_CREATE_ALWAYS 2ul
#define KOVA_FILE_ATTRIBUTE_NORMAL 0x80ul

typedef void* KovaHandle;
__declspec(dllimport) KovaHandle
    __stdcall CreateFileA(const char* name, unsigned long access, unsigned long share,
                          void* security, unsigned long disposition, unsigned long flags,
                          KovaHandle pattern);
__declspec(dllimport) int __stdcall WriteFile(KovaHandle file, const void* bytes,
                                              unsigned long size, unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) int __stdcall CloseHandle(KovaHandle handle);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);

static void Write(KovaHandle file, const char* text, size_t size) {
  unsigned long written = 0;
  WriteFile(file, text, (unsigned long)size, &written, 0);
}

static void WriteText(KovaHandle file, const char* text) {
  size_t size = 0;
  while (text[size] != '\0') ++size;
  Write(file, text, size);
}

static void WriteNumber(KovaHandle file, unsigned int number) {
  char digits[10];
  size_t count = 0;
  do {
    digits[sizeof digits - 1 - count++] = (char)('0' + number % 10);
    number /= 10;
  } while (number != 0);
  Write(file, digits + sizeof digits - count, count);
}

static unsigned int Fail(KovaHandle file, const char* step, KovaClientResult result) {
  WriteText(file, "error=");
  WriteText(file, step);
  WriteText(file, KovaClientResultText(result));
  WriteText(file, "\n");
  return 1;
}

static unsigned int Run(KovaHandle file) {
  KovaClient client;
  char value[256];
  size_t size = 0;
  KovaClientResult result;
  WriteText(file, "version=");
  WriteNumber(file, KovaClientVersion());
  WriteText(file, "\n");

  result = KovaClientConnect(&client, 0);
  if (result != KOVA_CLIENT_OK) return Fail(file, "connect: ", result);
  result = KovaClientGetString(&client, "DisplayName", value, sizeof value, &size);
  if (result != KOVA_CLIENT_OK) return Fail(file, "query: ", result);
  WriteText(file, "DisplayName=");
  Write(file, value, size - 1);
  WriteText(file, "\n");
  KovaClientDisconnect(&client);
  return 0;
}

/* The entry point the linker is told of (/entry:GameStart). */
void __stdcall GameStart(void) {
  KovaHandle file = CreateFileA("msvc-game.txt", KOVA_GENERIC_WRITE, 0, 0, KOVA_CREATE_ALWAYS,
                                KOVA_FILE_ATTRIBUTE_NORMAL, 0);
  if (file == (KovaHandle)-1) ExitProcess(2);
  {
    const unsigned int code = Run(file);
    CloseHandle(file);
    ExitProcess(code);
  }
}
