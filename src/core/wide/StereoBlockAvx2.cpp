// The stereo block loop built with AVX2 and FMA (-mavx2 -mfma; see StereoBlock.h).
#include "core/StereoBlock.h"

#if !defined(__AVX2__) || !defined(__FMA__)
#error "this file is built with AVX2 and FMA enabled"
#endif

namespace stereo_block {
OMBRINE_STEREO_BLOCK_ENTRIES(Build::kAvx2)
} // namespace stereo_block
