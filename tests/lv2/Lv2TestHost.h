// A small LV2 host for the tests: loads the bundle's DSP binary by path, the way a host does
// once it has read the Turtle, and drives one instance through the C interface.
#pragma once

#include "core/Parameters.h"
#include "formats/lv2/Lv2Ports.h"

#include <array>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/core/lv2.h>
#include <string>
#include <vector>

namespace lv2test {

inline const LV2_Descriptor* descriptor() {
  static const LV2_Descriptor* d = []() -> const LV2_Descriptor* {
    void* library = dlopen(OMBRINE_LV2_BUNDLE "/ombrine_dsp.so", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      ADD_FAILURE() << dlerror();
      return nullptr;
    }
    using Entry = const LV2_Descriptor* (*)(uint32_t);
    auto entry = reinterpret_cast<Entry>(dlsym(library, "lv2_descriptor"));
    return entry ? entry(0) : nullptr;
  }();
  return d;
}

// One instance with its own control values (port units) and audio buffers, all connected.
class Instance {
public:
  explicit Instance(double rate, std::size_t maxFrames = 512) : in(2), out(2) {
    for (auto& b : in)
      b.assign(maxFrames, 0.0f);
    for (auto& b : out)
      b.assign(maxFrames, 0.0f);
    const LV2_Descriptor* d = descriptor();
    if (!d) return;
    handle = d->instantiate(d, rate, OMBRINE_LV2_BUNDLE "/", nullptr);
    if (!handle) return;
    for (uint32_t i = 0; i < kNumParams; ++i) {
      // What a host puts there first: the default from the Turtle.
      controls[i] = static_cast<float>(parameters::toPortValue(
          static_cast<int>(i), parameters::info(static_cast<int>(i)).initial));
      d->connect_port(handle, i, &controls[i]);
    }
    d->connect_port(handle, lv2ports::kInputLeft, in[0].data());
    d->connect_port(handle, lv2ports::kInputRight, in[1].data());
    d->connect_port(handle, lv2ports::kOutputLeft, out[0].data());
    d->connect_port(handle, lv2ports::kOutputRight, out[1].data());
    d->activate(handle);
  }
  ~Instance() {
    if (handle) {
      descriptor()->deactivate(handle);
      descriptor()->cleanup(handle);
    }
  }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool valid() const { return handle != nullptr; }
  void run(uint32_t frames) { descriptor()->run(handle, frames); }

  LV2_Handle handle = nullptr;
  std::array<float, kNumParams> controls{};
  std::vector<std::vector<float>> in, out;
};

} // namespace lv2test
