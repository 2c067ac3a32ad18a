#pragma once

#include <cstdint>

// Direct-form-I section of fixed order 5. It holds only the histories: the owning filter passes its
// coefficient arrays on every call, so new coefficients act at the next sample while the histories
// carry over unchanged.
class DFI {
public:
  static constexpr int kOrder = 5;

  DFI() { clearHistory(); }
  virtual ~DFI() = default;

  // One sample. den = a0..a5 (a0 assumed 1, never read), num = b0..b5.
  // y[n] = b0·x[n] + sum(k=1..5) (b_k·x[n-k] - a_k·y[n-k])
  double process(double x, const double* den, const double* num) {
    // Shift by copying: element 0 is the oldest, element kOrder the newest.
    for (int i = 1; i <= kOrder; ++i) {
      outputHistory[i - 1] = outputHistory[i];
      inputHistory[i - 1] = inputHistory[i];
    }
    inputHistory[kOrder] = x;
    double acc = inputHistory[kOrder] * num[0];
    for (int k = 1; k <= kOrder; ++k)
      acc = (num[k] * inputHistory[kOrder - k] - outputHistory[kOrder - k] * den[k]) + acc;
    outputHistory[kOrder] = acc;
    return acc;
  }

  void clearHistory() {
    for (int i = 0; i <= kOrder; ++i) {
      inputHistory[i] = 0.0;
      outputHistory[i] = 0.0;
    }
  }

  double inputHistory[kOrder + 1];  // oldest first
  double outputHistory[kOrder + 1]; // oldest first
  std::int32_t order = kOrder;
};
