// The LV2 plug-in's DSP binary: the channel-pair processor behind LV2's C interface. No GUI code
// is linked in.
#include "core/ChannelPairProcessor.h"
#include "core/Parameters.h"
#include "formats/lv2/Lv2Ports.h"

#include <cmath>
#include <cstring>
#include <lv2/core/lv2.h>
#include <memory>
#include <new>

namespace {

struct Instance {
  double rate = 0.0;
  std::unique_ptr<ChannelPairProcessor> processor;
  const float* controls[kNumParams] = {};
  const float* in[2] = {};
  float* out[2] = {};
  // Port values last handed to the processor, as bits: a value is handed over only when it
  // changes, and NaN compares equal to itself this way.
  std::uint32_t handed[kNumParams] = {};
  bool known[kNumParams] = {};
  bool ran = false; // the processor has run since it was made

  // A fresh processor, as at instantiation: its first block applies the port values at once.
  bool reset() {
    auto fresh = std::unique_ptr<ChannelPairProcessor>(new (std::nothrow) ChannelPairProcessor);
    if (!fresh) return false;
    fresh->prepare(rate);
    processor = std::move(fresh);
    ran = false;
    for (bool& k : known)
      k = false;
    return true;
  }

  void readControls() {
    for (int i = 0; i < kNumParams; ++i) {
      if (!controls[i]) continue;
      const float value = *controls[i];
      std::uint32_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      if (known[i] && bits == handed[i]) continue;
      handed[i] = bits;
      known[i] = true;
      processor->setParameter(i, static_cast<float>(parameters::toNormalised(i, value)));
    }
  }
};

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*) {
  if (ChannelPairProcessor::usableRate(rate) == 0.0) return nullptr;
  auto* instance = new (std::nothrow) Instance;
  if (!instance) return nullptr;
  instance->rate = rate;
  if (!instance->reset()) {
    delete instance;
    return nullptr;
  }
  return instance;
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
  auto* instance = static_cast<Instance*>(handle);
  if (port < kNumParams) {
    instance->controls[port] = static_cast<const float*>(data);
    return;
  }
  switch (port) {
  case lv2ports::kInputLeft: instance->in[0] = static_cast<const float*>(data); break;
  case lv2ports::kInputRight: instance->in[1] = static_cast<const float*>(data); break;
  case lv2ports::kOutputLeft: instance->out[0] = static_cast<float*>(data); break;
  case lv2ports::kOutputRight: instance->out[1] = static_cast<float*>(data); break;
  default: break; // no such port
  }
}

// Activation starts from a clean state, as the format asks: nothing of an earlier run is heard.
void activate(LV2_Handle handle) {
  auto* instance = static_cast<Instance*>(handle);
  if (instance->ran) instance->reset();
}

void run(LV2_Handle handle, uint32_t frames) {
  auto* instance = static_cast<Instance*>(handle);
  if (!instance->processor) return;
  instance->readControls();
  instance->ran = true;
  if (frames == 0 || frames > 0x7fffffffu) return;
  if (!instance->in[0] || !instance->in[1] || !instance->out[0] || !instance->out[1]) return;
  instance->processor->process(instance->in[0], instance->in[1], instance->out[0], instance->out[1],
                               static_cast<std::int32_t>(frames));
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) { delete static_cast<Instance*>(handle); }

const void* extensionData(const char*) { return nullptr; }

const LV2_Descriptor kDescriptor = {lv2ports::kPluginUri, instantiate, connectPort,  activate, run,
                                    deactivate,           cleanup,     extensionData};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
