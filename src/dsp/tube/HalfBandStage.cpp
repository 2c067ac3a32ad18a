#include "dsp/tube/HalfBandStage.h"

#include <cmath>

// Two interleaved sets: sorted together the twelve coefficients alternate between A and B.
const double HalfBandStage::kCoefficientsA[kSectionsPerBranch] = {
    0.01677466677723562, 0.13902148819717805, 0.3325011117394731,
    0.53766105314488,    0.7214184024215805,  0.8821858402078155};
const double HalfBandStage::kCoefficientsB[kSectionsPerBranch] = {
    0.06501319274445962, 0.23094129990840923, 0.4364942348420355,
    0.6329609551399348,  0.8037808679411123,  0.9599687404800694};

AllpassChain::AllpassChain(const double* coefficients, int32_t sectionCount)
    : count(sectionCount < kMaxSections ? (sectionCount > 0 ? sectionCount : 0) : kMaxSections) {
  for (int32_t i = 0; i < count; ++i)
    sections[i] = AllpassSection(coefficients[i]);
}

HalfBandStage::HalfBandStage()
    : branchA(kCoefficientsA, kSectionsPerBranch), branchB(kCoefficientsB, kSectionsPerBranch) {}

bool HalfBandStage::isStateFinite() const {
  if (!std::isfinite(delay)) return false;
  for (const AllpassChain* chain : {&branchA, &branchB}) {
    for (int32_t i = 0; i < chain->getCount(); ++i) {
      const AllpassSection& s = chain->getSection(i);
      if (!std::isfinite(s.getPreviousInput()) || !std::isfinite(s.getPreviousOutput()))
        return false;
    }
  }
  return true;
}
