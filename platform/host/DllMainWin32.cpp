// The DLL's entry point. The library keeps no per-thread state of its own
// that the loader would have to set up, so on process attach it only
// switches off the per-thread notifications (every thread the game starts
// or ends would otherwise call in here, under the loader lock).
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
