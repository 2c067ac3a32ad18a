// Hooks for tests and tools: count bitmap loads, replace the resource source,
// replace the tick count. Production code never installs any of them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace VSTGUI::testhooks {

// How many CBitmap objects were created from a resource of this name (any case).
int bitmapLoadCount(const char* name);
void resetBitmapLoadCounts();

// Replaces the module's resources; an empty function restores them.
using ResourceSource = std::function<bool(const char* name, std::vector<unsigned char>& bytes)>;
void setResourceSource(ResourceSource source);

// Replaces the millisecond tick count; an empty function restores the system's.
using TickSource = std::function<uint32_t()>;
void setTickSource(TickSource source);
// Replaces the short sleep of idle pacing (tests advance their own clock instead).
using SleepHook = std::function<void(uint32_t ms)>;
void setSleepHook(SleepHook hook);

} // namespace VSTGUI::testhooks
