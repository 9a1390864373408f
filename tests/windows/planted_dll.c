/* A DLL that must never be loaded. Put beside a copy of velmor.exe under the names of the
   system DLLs the program loads at run time, it leaves "planted_dll_loaded.txt" beside
   itself the moment a process loads it. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 32];
    DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
    while (length > 0 && path[length - 1] != L'\\') --length;
    lstrcpyW(path + length, L"planted_dll_loaded.txt");
    CloseHandle(CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
  }
  return TRUE;
}
