// The stereo block loop built with AVX-512 (F, VL, DQ, BW) and FMA, 128-bit vectors only (see
// StereoBlock.h): the same code as the AVX2 build, with 32 vector registers to keep it in.
#include "core/StereoBlock.h"

#if !defined(__AVX512VL__) || !defined(__FMA__)
#error "this file is built with AVX-512 and FMA enabled"
#endif

namespace stereo_block {
OMBRINE_STEREO_BLOCK_ENTRIES(Build::kAvx512)
} // namespace stereo_block
