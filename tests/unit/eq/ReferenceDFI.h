#pragma once

// Direct form I of order 5, the equalizer's earlier realisation, kept as the reference the
// lattice-ladder's settled responses are compared against:
//   y[n] = b0·x[n] + sum(k=1..5) (b_k·x[n-k] - a_k·y[n-k]), den = a0..a5 (a0 = 1), num = b0..b5.
// With T = long double it stands for the designed filter's exact response.
template <class T = double> class DFI {
public:
  double process(double x, const double* den, const double* num) {
    for (int k = 5; k >= 1; --k) {
      in[k] = in[k - 1];
      out[k] = out[k - 1];
    }
    in[0] = x;
    T acc = static_cast<T>(num[0]) * in[0];
    for (int k = 1; k <= 5; ++k)
      acc += static_cast<T>(num[k]) * in[k] - static_cast<T>(den[k]) * out[k];
    out[0] = acc;
    return static_cast<double>(acc);
  }

private:
  T in[6] = {}, out[6] = {}; // newest first
};
