// The module's exported entry point, under its two names.
#include "formats/vst2/VST_ORVEL.h"
#include "formats/vst2/vst2abi.h"

#include <new>

#if defined(_WIN32)
#define OMBRINE_EXPORT extern "C" __declspec(dllexport)
#else
#define OMBRINE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

OMBRINE_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster);

AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
  if (!audioMaster) return nullptr;
  // A host that does not answer the version query is not one we can talk to.
  if (!audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f)) return nullptr;
  try {
    auto* effect = new VST_ORVEL(audioMaster);
    return effect->getAeffect();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Older hosts look for "main". It cannot be declared with this signature in
// C++, so the same function gets a second, assembler-level name.
OMBRINE_EXPORT AEffect* ombrineMainAlias(audioMasterCallback audioMaster) __asm__("main")
    __attribute__((alias("VSTPluginMain")));
