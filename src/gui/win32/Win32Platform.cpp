// The Windows side of the platform seam: resources of the plug-in module,
// the system tick count, OLE and GDI+ for the editor's lifetime. Windows and
// drawing are in Win32Frame and Win32Graphics.
#include "gui/win32/Win32Platform.h"

#include "gui/platform/Platform.h"
#include "gui/win32/Win32Graphics.h"

#include <ole2.h>

// The module's instance handle, recorded by DllMain when the module is loaded.
extern void* hInstance;

namespace VSTGUI {
namespace win32 {

HINSTANCE moduleInstance() {
  if (hInstance) return static_cast<HINSTANCE>(hInstance);
  // Not loaded as a DLL with our DllMain (a program linking the toolkit): the
  // module that holds this code.
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&moduleInstance), &module);
  return module;
}

} // namespace win32

namespace platform {

bool findResource(const char* name, std::vector<unsigned char>& bytes) {
  if (!name || !*name) return false;
  HMODULE module = win32::moduleInstance();
  // Resource names are stored in upper case and matched regardless of case.
  HRSRC info = FindResourceA(module, name, "PNG");
  if (!info) return false;
  HGLOBAL loaded = LoadResource(module, info);
  const auto* data = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
  const DWORD size = SizeofResource(module, info);
  if (!data || size == 0) return false;
  bytes.assign(data, data + size);
  return true;
}

uint32_t getTicks() { return GetTickCount(); }

void sleepMilliseconds(uint32_t ms) { Sleep(ms); }

namespace {
// Successful OLE initialisations on this thread not yet undone: a thread already
// set up for another COM model refuses, and then must not be uninitialised.
thread_local int oleInitializations = 0;
} // namespace

void initializeThread() {
  if (SUCCEEDED(OleInitialize(nullptr))) ++oleInitializations;
  gdiplus::acquire();
}

void uninitializeThread() {
  gdiplus::release();
  if (oleInitializations > 0) {
    --oleInitializations;
    OleUninitialize();
  }
}

} // namespace platform
} // namespace VSTGUI
