// Internal: the toolkit's way to the platform, past the test hooks when installed.
#pragma once

#include <cstdint>
#include <vector>

namespace VSTGUI::detail {

void countBitmapLoad(const char* name);
bool loadResource(const char* name, std::vector<unsigned char>& bytes);
uint32_t ticks();
void sleepMilliseconds(uint32_t ms);

} // namespace VSTGUI::detail
