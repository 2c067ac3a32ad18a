// The Linux side of the platform seam: X11 windows, the embedded panel
// images, the monotonic clock.
#include "gui/offscreen/OffscreenFrame.h"
#include "gui/platform/Platform.h"
#include "gui/x11/X11Frame.h"

#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <thread>

#if defined(OMBRINE_EMBEDDED_RESOURCES)
#include "EmbeddedResources.h"
#endif

namespace VSTGUI::platform {

std::unique_ptr<IPlatformFrame> createFrame(CFrame* frame, void* parentWindow, const CRect& size) {
  if (!parentWindow) return std::make_unique<OffscreenFrame>(size);
  // The host hands over an X11 window id in the pointer.
  return X11Frame::create(frame, static_cast<::Window>(reinterpret_cast<uintptr_t>(parentWindow)),
                          size);
}

bool findResource(const char* name, std::vector<unsigned char>& bytes) {
#if defined(OMBRINE_EMBEDDED_RESOURCES)
  const ombrine::ResourceBlob blob = ombrine::findResource(name);
  if (!blob.data) return false;
  bytes.assign(blob.data, blob.data + blob.size);
  return true;
#else
  (void)name;
  (void)bytes;
  return false;
#endif
}

uint32_t getTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void sleepMilliseconds(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// cairo (with pixman) and Xlib keep process-wide state (caches, extension
// hooks, implementation tables allocated when they are loaded) that they never
// release; if a host unloads this module and they went with it, that state
// would be lost, and any hook still registered would point into unmapped code.
// So they stay loaded for the process from the moment this module is loaded.
namespace {
void pinLibraries() {
  for (const char* library : {"libcairo.so.2", "libX11.so.6"})
    dlopen(library, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}
const bool librariesPinned = (pinLibraries(), true);
} // namespace

void initializeThread() { (void)librariesPinned; }

void uninitializeThread() {}

} // namespace VSTGUI::platform
