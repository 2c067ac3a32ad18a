// Windows load-time entry. The toolkit finds the panel images among this
// module's resources, so it needs the module's own instance handle (not the
// host executable's); the system hands it over here.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// Read by the toolkit's resource lookup (gui/win32).
void* hInstance = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/) {
  hInstance = instance;
  return TRUE;
}
