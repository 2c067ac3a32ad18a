// Flush-to-zero and denormals-are-zero for the duration of one block, with the
// caller's floating-point mode restored on every exit path. Recursive filters
// and the tube solve otherwise slow down badly on decaying signals.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define OMBRINE_MXCSR 1
#endif

class ScopedDenormals {
public:
#if defined(OMBRINE_MXCSR)
  // MXCSR bit 15 is flush-to-zero, bit 6 denormals-are-zero.
  static constexpr unsigned kFlushBits = 0x8040;
  ScopedDenormals() : saved(_mm_getcsr()) { _mm_setcsr(saved | kFlushBits); }
  ~ScopedDenormals() { _mm_setcsr(saved); }
#elif defined(__aarch64__)
  // FPCR bit 24 (FZ) flushes denormal inputs and outputs alike.
  static constexpr std::uint64_t kFlushBits = 1ull << 24;
  ScopedDenormals() : saved(__builtin_aarch64_get_fpcr64()) {
    __builtin_aarch64_set_fpcr64(saved | kFlushBits);
  }
  ~ScopedDenormals() { __builtin_aarch64_set_fpcr64(saved); }
#else
  ScopedDenormals() = default;
#endif

  ScopedDenormals(const ScopedDenormals&) = delete;
  ScopedDenormals& operator=(const ScopedDenormals&) = delete;
  // Stack only.
  static void* operator new(std::size_t) = delete;

private:
#if defined(OMBRINE_MXCSR)
  unsigned saved;
#elif defined(__aarch64__)
  std::uint64_t saved;
#endif
};
