// The DLL entry routine: loading and unloading do no work of their own, for
// processes and threads alike.
#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
