// No allocation while blocks are processed: the module, loaded by path, is
// driven through the host library with global operator new/delete replaced and
// the C allocator wrapped, and every call made while a block runs is counted.
#include "core/Parameters.h"
#include "formats/lv2/Lv2Ports.h"
#include "vsthost/vsthost.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <iterator>
#include <lv2/core/lv2.h>
#include <memory>
#include <new>
#include <string>
#include <vector>

// Wrapping malloc conflicts with the sanitizers' own allocators.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define OMBRINE_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
#define OMBRINE_COUNT_ALLOCATIONS 0
#endif
#endif
#if !defined(OMBRINE_COUNT_ALLOCATIONS)
#if defined(__GLIBC__)
#define OMBRINE_COUNT_ALLOCATIONS 1
#else
#define OMBRINE_COUNT_ALLOCATIONS 0
#endif
#endif

namespace {

std::atomic<bool> counting{false};
std::atomic<long> newCalls{0};
std::atomic<long> mallocCalls{0};

[[maybe_unused]] void countNew() {
  if (counting.load(std::memory_order_relaxed)) newCalls.fetch_add(1, std::memory_order_relaxed);
}

[[maybe_unused]] void countMalloc() {
  if (counting.load(std::memory_order_relaxed)) mallocCalls.fetch_add(1, std::memory_order_relaxed);
}

struct Counts {
  long newCalls = 0;
  long mallocCalls = 0;
  long total() const { return newCalls + mallocCalls; }
};

// Counts the allocations made while the given code runs.
template <typename F> Counts countDuring(F&& f) {
  const long n0 = newCalls.load(), m0 = mallocCalls.load();
  counting.store(true);
  f();
  counting.store(false);
  return {newCalls.load() - n0, mallocCalls.load() - m0};
}

} // namespace

#if OMBRINE_COUNT_ALLOCATIONS

// glibc's own entry points, which its malloc family forwards to.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* p);

void* malloc(std::size_t size) noexcept {
  countMalloc();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
  countMalloc();
  return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) noexcept {
  countMalloc();
  return __libc_realloc(p, size);
}
void* memalign(std::size_t alignment, std::size_t size) noexcept {
  countMalloc();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  countMalloc();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
  countMalloc();
  void* p = __libc_memalign(alignment, size);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
void free(void* p) noexcept { __libc_free(p); }
}

namespace {
void* allocate(std::size_t size, std::size_t alignment = 0) {
  countNew();
  if (size == 0) size = 1;
  void* p = alignment > alignof(std::max_align_t) ? __libc_memalign(alignment, size)
                                                  : __libc_malloc(size);
  if (!p) throw std::bad_alloc();
  return p;
}
void* allocateNoThrow(std::size_t size, std::size_t alignment = 0) noexcept {
  try {
    return allocate(size, alignment);
  } catch (...) {
    return nullptr;
  }
}
} // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return allocateNoThrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocateNoThrow(size);
}
void* operator new(std::size_t size, std::align_val_t a) {
  return allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
  return allocate(size, static_cast<std::size_t>(a));
}
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocateNoThrow(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocateNoThrow(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { __libc_free(p); }
void operator delete[](void* p) noexcept { __libc_free(p); }
void operator delete(void* p, std::size_t) noexcept { __libc_free(p); }
void operator delete[](void* p, std::size_t) noexcept { __libc_free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { __libc_free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { __libc_free(p); }
void operator delete(void* p, std::align_val_t) noexcept { __libc_free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { __libc_free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { __libc_free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { __libc_free(p); }

#endif // OMBRINE_COUNT_ALLOCATIONS

namespace {

constexpr int kMaxBlock = 1024;

class Allocation : public ::testing::Test {
protected:
  void SetUp() override {
#if !OMBRINE_COUNT_ALLOCATIONS
    GTEST_SKIP() << "allocations are counted only with glibc's allocator, not under sanitizers";
#endif
    std::string error;
    module = vsthost::Module::load(OMBRINE_MODULE_PATH, &error);
    ASSERT_TRUE(module) << error;
    plugin = std::make_unique<vsthost::Plugin>(*module);
    ASSERT_TRUE(plugin->valid());
    for (VstInt32 i = 0; i < plugin->aeffect()->numParams; ++i)
      names.push_back(plugin->parameterName(i));
    plugin->dispatch(effOpen);
    plugin->setSampleRate(48000.0f);
    plugin->setBlockSize(512);
    plugin->resume();
    for (auto* buffers : {&inF, &outF})
      for (auto& channel : *buffers)
        channel.assign(kMaxBlock, 0.0f);
    for (auto* buffers : {&inD, &outD})
      for (auto& channel : *buffers)
        channel.assign(kMaxBlock, 0.0);
    for (int i = 0; i < kMaxBlock; ++i) {
      // A loud chord with some odd samples, so the tube and the filter work.
      const double x = 0.7 * std::sin(0.031 * i) + 0.2 * std::sin(0.47 * i);
      inF[0][i] = static_cast<float>(x);
      inF[1][i] = static_cast<float>(-x);
      inD[0][i] = x;
      inD[1][i] = -x;
    }
  }

  VstInt32 index(const char* name) const {
    for (std::size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) return static_cast<VstInt32>(i);
    ADD_FAILURE() << "no parameter " << name;
    return 0;
  }

  void processFloat(int frames) {
    float* in[2] = {inF[0].data(), inF[1].data()};
    float* out[2] = {outF[0].data(), outF[1].data()};
    plugin->process(in, out, frames);
  }
  void processDouble(int frames) {
    double* in[2] = {inD[0].data(), inD[1].data()};
    double* out[2] = {outD[0].data(), outD[1].data()};
    plugin->processDouble(in, out, frames);
  }

  std::unique_ptr<vsthost::Module> module;
  std::unique_ptr<vsthost::Plugin> plugin;
  std::vector<std::string> names;
  std::vector<float> inF[2], outF[2];
  std::vector<double> inD[2], outD[2];
};

TEST_F(Allocation, CountersSeeTheModuleAllocate) {
  // The counts must reach into the loaded module, or zero below means nothing:
  // the module's calls resolve to the replacements in this executable...
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "malloc"), reinterpret_cast<void*>(&malloc));
  void* (*plainNew)(std::size_t) = &::operator new;
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "_Znwm"), reinterpret_cast<void*>(plainNew));
  // ...and creating an effect, which allocates its parts, is counted.
  std::unique_ptr<vsthost::Plugin> another;
  const Counts created = countDuring([&] { another = std::make_unique<vsthost::Plugin>(*module); });
  EXPECT_GT(created.newCalls, 0);
  void* (*volatile cMalloc)(std::size_t) = &malloc;
  const Counts c = countDuring([&] { free(cMalloc(16)); });
  EXPECT_EQ(c.mallocCalls, 1);
  const Counts closed = countDuring([&] { another.reset(); });
  EXPECT_EQ(closed.total(), 0); // freeing is not counted
}

TEST_F(Allocation, NoneWhileBlocksAreProcessed) {
  processFloat(512); // first block: anything lazy may happen here

  const VstInt32 mode = index("Mode"), tube = index("Tube Buffer"), eq = index("Equalizer");
  const VstInt32 hiBoost = index("Hi Boost"), loFreq = index("Lo Freq"),
                 input = index("Input level");
  const int sizes[] = {512, 1, 37, 0, 1024, 256, 511};
  Counts processing;
  long blocks = 0;
  for (float modeValue : {1.0f, 0.0f}) { // stereo, mono
    plugin->setParameter(mode, modeValue);
    for (int switches = 0; switches < 4; ++switches) {
      plugin->setParameter(tube, (switches & 1) ? 1.0f : 0.0f);
      plugin->setParameter(eq, (switches & 2) ? 1.0f : 0.0f);
      for (bool dbl : {false, true}) {
        for (int k = 0; k < 40; ++k) {
          // Automation between blocks, from this thread as a host's audio thread does.
          plugin->setParameter(hiBoost, static_cast<float>(k % 10) / 9.0f);
          plugin->setParameter(loFreq, static_cast<float>(k % 6) / 6.0f + 0.01f);
          plugin->setParameter(input, 0.5f + 0.5f * static_cast<float>(k % 2));
          const int frames = sizes[static_cast<std::size_t>(k) % std::size(sizes)];
          const Counts c = countDuring([&] { dbl ? processDouble(frames) : processFloat(frames); });
          processing.newCalls += c.newCalls;
          processing.mallocCalls += c.mallocCalls;
          ++blocks;
        }
      }
    }
  }
  EXPECT_EQ(blocks, 2 * 4 * 2 * 40);
  EXPECT_EQ(processing.newCalls, 0);
  EXPECT_EQ(processing.mallocCalls, 0);
}

TEST_F(Allocation, NoneWhenParametersChange) {
  processFloat(512);
  const Counts c = countDuring([&] {
    for (int k = 0; k < 200; ++k)
      for (VstInt32 i = 0; i < static_cast<VstInt32>(names.size()); ++i)
        plugin->setParameter(i, static_cast<float>((k * 7 + i) % 11) / 10.0f);
  });
  EXPECT_EQ(c.newCalls, 0);
  EXPECT_EQ(c.mallocCalls, 0);
}

// The LV2 plug-in's run, port values changing between runs as a host's automation does: no
// allocation either (instantiation and activation may allocate).
TEST(Lv2Allocation, NoneInRun) {
  if (!OMBRINE_COUNT_ALLOCATIONS) GTEST_SKIP() << "the sanitizers replace the allocator";
  void* library = dlopen(OMBRINE_LV2_BUNDLE "/ombrine_dsp.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  using Entry = const LV2_Descriptor* (*)(uint32_t);
  const LV2_Descriptor* d = reinterpret_cast<Entry>(dlsym(library, "lv2_descriptor"))(0);
  LV2_Handle h = nullptr;
  // Instantiation allocates the chains: the counters see into the plug-in.
  EXPECT_GT(countDuring([&] { h = d->instantiate(d, 48000.0, "", nullptr); }).total(), 0);
  ASSERT_NE(h, nullptr);
  float controls[kNumParams];
  for (int i = 0; i < kNumParams; ++i) {
    controls[i] = static_cast<float>(parameters::toPortValue(i, parameters::info(i).initial));
    d->connect_port(h, static_cast<uint32_t>(i), &controls[i]);
  }
  std::vector<float> audio[4];
  for (uint32_t a = 0; a < 4; ++a) {
    audio[a].assign(1024, 0.0f);
    for (std::size_t i = 0; i < 1024; ++i)
      audio[a][i] = 0.5f * std::sin(0.031f * static_cast<float>(i));
    d->connect_port(h, lv2ports::kInputLeft + a, audio[a].data());
  }
  d->activate(h);
  d->run(h, 512); // the first run hands over every value
  const uint32_t sizes[] = {512, 1, 37, 0, 1024, 256};
  const Counts c = countDuring([&] {
    for (int k = 0; k < 120; ++k) {
      controls[kHiBoost] = static_cast<float>(k % 10) / 9.0f;
      controls[kLoFreq] = k % 2 ? 60.0f : 150.0f;
      controls[kInputLevel] = static_cast<float>(k % 7) - 3.0f;
      controls[kMode] = k % 30 < 15 ? 1.0f : 0.0f;
      controls[kTubeBuffer] = k % 40 < 20 ? 1.0f : 0.0f;
      d->run(h, sizes[static_cast<std::size_t>(k) % std::size(sizes)]);
    }
  });
  d->deactivate(h);
  d->cleanup(h);
  EXPECT_EQ(c.total(), 0);
}

} // namespace
