// Length and seed of the fuzz tests: short in `make test`, as long as wanted by hand, e.g.
//   OMBRINE_FUZZ_CALLS=1000000 OMBRINE_FUZZ_SEED=7 build/asan/tests/test_module
//   --gtest_filter='*Fuzz*'
#pragma once

#include <cstdint>
#include <cstdlib>

namespace fuzz {

inline std::uint64_t fromEnvironment(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

inline std::uint64_t calls(std::uint64_t fallback) {
  return fromEnvironment("OMBRINE_FUZZ_CALLS", fallback);
}
inline std::uint64_t seed(std::uint64_t fallback) {
  return fromEnvironment("OMBRINE_FUZZ_SEED", fallback);
}

} // namespace fuzz
