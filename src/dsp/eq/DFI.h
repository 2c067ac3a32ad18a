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

  static_assert(kOrder == 5, "the recursion below is written out for order 5");

  // One sample. den = a0..a5 (a0 assumed 1, never read), num = b0..b5.
  // y[n] = b0·x[n] + sum(k=1..5) (b_k·x[n-k] - a_k·y[n-k])
  double process(double x, const double* den, const double* num) {
    // The shift by one place is done through locals: element 0 is the oldest,
    // element kOrder the newest. (A copying loop here compiles to two library
    // memmove calls per sample.)
    const double x1 = inputHistory[5], x2 = inputHistory[4], x3 = inputHistory[3];
    const double x4 = inputHistory[2], x5 = inputHistory[1];
    const double y1 = outputHistory[5], y2 = outputHistory[4], y3 = outputHistory[3];
    const double y4 = outputHistory[2], y5 = outputHistory[1];
    double acc = x * num[0];
    acc = (num[1] * x1 - y1 * den[1]) + acc;
    acc = (num[2] * x2 - y2 * den[2]) + acc;
    acc = (num[3] * x3 - y3 * den[3]) + acc;
    acc = (num[4] * x4 - y4 * den[4]) + acc;
    acc = (num[5] * x5 - y5 * den[5]) + acc;
    inputHistory[0] = x5;
    inputHistory[1] = x4;
    inputHistory[2] = x3;
    inputHistory[3] = x2;
    inputHistory[4] = x1;
    inputHistory[5] = x;
    outputHistory[0] = y5;
    outputHistory[1] = y4;
    outputHistory[2] = y3;
    outputHistory[3] = y2;
    outputHistory[4] = y1;
    outputHistory[5] = acc;
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
