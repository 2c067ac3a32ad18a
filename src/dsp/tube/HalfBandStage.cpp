#include "dsp/tube/HalfBandStage.h"

#include <cmath>

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
