#include "dsp/tube/ORVEL.h"

#include <cmath>

ORVEL::ORVEL(double sampleRate)
    : filter(std::make_unique<ORVELFilterSmoothed>(sampleRate)),
      tube(std::make_unique<TubeStage>(kSupplyVoltage, kCathodeResistance, kUpperCathodeResistance,
                                       kLoadResistance, kBypassCapacitance, kCouplingCapacitance,
                                       sampleRate)) {}

ORVEL::~ORVEL() = default;

void ORVEL::setSampleRate(double rate) {
  filter->setSampleRate(rate);
  tube->setSampleRate(rate);
}

void ORVEL::setEqualizer(double value) {
  equalizerOn.store(value >= 0.5, std::memory_order_relaxed);
  updateGains();
}

void ORVEL::setTubeBuffer(double value) {
  tubeBufferOn.store(value >= 0.5, std::memory_order_relaxed);
  updateGains();
}

void ORVEL::setFilterParameters(double hiBoost, double hiCut, double hiBoostFreq, double hiCutFreq,
                                double hiFreqQ, double loBoost, double loCut, double loFreq) {
  filter->setTargets(hiBoost, hiCut, hiBoostFreq, hiCutFreq, hiFreqQ, loBoost, loCut, loFreq);
}

void ORVEL::clearFilterHistory() { filter->clearHistory(); }

void ORVEL::resetTube() { tube->resetToQuiescent(); }

bool ORVEL::isStateFinite() const {
  return filter->section.isStateFinite() && std::isfinite(tube->getLowerCathodeVoltage()) &&
         std::isfinite(tube->getLowerPlateVoltage()) &&
         std::isfinite(tube->getUpperCathodeVoltage()) && std::isfinite(tube->getOutputVoltage()) &&
         std::isfinite(tube->getBypassHistoryCurrent()) &&
         std::isfinite(tube->getCouplingHistoryCurrent());
}

void ORVEL::updateGains() {
  const bool eq = equalizerOn.load(std::memory_order_relaxed);
  const bool tubeOn = tubeBufferOn.load(std::memory_order_relaxed);
  double pre = 1.0;
  double post = 1.0;
  if (tubeOn) {
    pre = eq ? 1.0 : kTubeInputGainWithoutEqualizer;
    post = kTubeOutputGain;
  } else if (eq) {
    post = kEqualizerMakeUpGain;
  }
  preGain.store(pre, std::memory_order_relaxed);
  postGain.store(post, std::memory_order_relaxed);
}
