// Internal to the Windows backend.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace VSTGUI::win32 {

// The module the toolkit is linked into (the plug-in DLL): its resources hold
// the images, and its window class is registered for it.
HINSTANCE moduleInstance();

} // namespace VSTGUI::win32
