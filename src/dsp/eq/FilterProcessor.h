#pragma once

#include "dsp/eq/FilterWrapper.h"

// A FilterWrapper that owns the section it runs; a rate change clears the section's histories.
template <int Order, class Section, int NumControls>
class FilterProcessor : public FilterWrapper<Order, NumControls> {
public:
  explicit FilterProcessor(double rate) : FilterWrapper<Order, NumControls>(rate) {}

  void setSampleRate(double rate) override {
    this->sampleRate = rate;
    this->updateCoefficients();
    section.clearHistory();
  }

  Section section;

protected:
  ~FilterProcessor() = default;
};
