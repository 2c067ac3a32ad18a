#pragma once

#include <cmath>

// Normalised lattice-ladder realisation of a recursive filter of the given order, from
// direct-form coefficients (a0 = 1).
//
// Why not the direct form: the equalizer's coefficients change at every glide step while the
// signal runs. A direct form's histories then no longer belong to its coefficients and the
// mismatch is amplified through the poles, up to bursts of +80 dB where the low section's poles
// sit near z = 1. Each lattice stage is a rotation (c² + k² = 1), so the state can never gain
// energy from a coefficient change, however fast the coefficients move; for a filter that stays
// put it computes the same transfer function.
template <int Order> class LatticeLadder {
public:
  static constexpr int kOrder = Order;
  static_assert(Order >= 1, "a lattice needs at least one stage");

  LatticeLadder() {
    // Pass-through until the first conversion: no reflection, one tap on the direct path.
    for (int m = 0; m <= Order; ++m) {
      k[m] = 0.0;
      c[m] = 1.0;
      v[m] = 0.0;
    }
    v[0] = 1.0;
    clearHistory();
  }

  // Converts normalised den = a0..aN (a0 = 1, not read) and num = b0..bN. Reflection
  // coefficients by the step-down recursion, ladder taps by removing each stage's share of the
  // numerator. Coefficients that are not stable (|k| >= 1, which a stable design can still reach
  // by rounding at extreme rates) or not finite leave the current realisation in place and
  // return false: a bad design can never put NaN into the state.
  bool setCoefficients(const double* den, const double* num) {
    Realisation<double> r;
    const bool converted = r.convert(den, num);
    // The recursion divides by 1 - k², which is tiny where poles crowd z = 1 (the low band at
    // high rates, Lo Freq at its lowest steps): there double loses enough to move the settled
    // response by up to 1e-5, so such designs are converted again in extended precision
    // (within 4e-9 of the designed filter). Elsewhere double is within 1e-11 and five times
    // cheaper, which matters at one conversion per glide step.
    if (!converted || r.closestToUnity < kExtendedBelow) {
      Realisation<long double> e;
      if (!e.convert(den, num)) return false;
      return adopt(e);
    }
    return adopt(r);
  }

  // One sample. Forward path from stage N down to 1, each stage rotating the forward value
  // against the previous sample's backward value; the output is the taps' sum of the new
  // backward values.
  double process(double x) {
    double f = x;
    double gn[Order + 1];
    for (int m = Order; m >= 1; --m) {
      const double gPrev = g[m - 1];
      gn[m] = k[m] * f + c[m] * gPrev;
      f = c[m] * f - k[m] * gPrev;
    }
    gn[0] = f;
    double y = v[0] * gn[0];
    for (int m = 1; m <= Order; ++m)
      y += v[m] * gn[m];
    for (int m = 0; m < Order; ++m)
      g[m] = gn[m];
    return y;
  }

  // Two lattices side by side, one per lane of V (a two-element value with element-wise + - *
  // and subscripts): the two channels of a stereo frame. process() does what the scalar one
  // does in the same order, so each lane is bit for bit its own lattice. The histories stay
  // here while a block runs and go back with storeHistory.
  template <class V> struct Lanes {
    V k[Order + 1]{}, c[Order + 1]{}, v[Order + 1]{}, g[Order]{};

    // After every conversion of that lane's lattice.
    [[gnu::always_inline]] void loadCoefficients(int lane, const LatticeLadder& s) {
      for (int m = 1; m <= Order; ++m) {
        k[m][lane] = s.k[m];
        c[m][lane] = s.c[m];
      }
      for (int m = 0; m <= Order; ++m)
        v[m][lane] = s.v[m];
    }
    [[gnu::always_inline]] void loadHistory(const LatticeLadder& a, const LatticeLadder& b) {
      for (int m = 0; m < Order; ++m)
        g[m] = V{a.g[m], b.g[m]};
    }
    [[gnu::always_inline]] void storeHistory(LatticeLadder& a, LatticeLadder& b) const {
      for (int m = 0; m < Order; ++m) {
        a.g[m] = g[m][0];
        b.g[m] = g[m][1];
      }
    }

    // Unrolled and inlined so that the lanes can stay in registers across the block.
    [[gnu::always_inline]] V process(V x) {
      V f = x;
      V gn[Order + 1];
#pragma GCC unroll 8
      for (int m = Order; m >= 1; --m) {
        const V gPrev = g[m - 1];
        gn[m] = separate(k[m] * f) + separate(c[m] * gPrev);
        f = separate(c[m] * f) - separate(k[m] * gPrev);
      }
      gn[0] = f;
      V y = v[0] * gn[0];
#pragma GCC unroll 8
      for (int m = 1; m <= Order; ++m)
        y += separate(v[m] * gn[m]);
#pragma GCC unroll 8
      for (int m = 0; m < Order; ++m)
        g[m] = gn[m];
      return y;
    }

    // Only `lane` runs; the other keeps its input as output and its history as it was.
    [[gnu::always_inline]] V processLane(V x, int lane) {
      const int other = 1 - lane;
      double kept[Order];
      for (int m = 0; m < Order; ++m)
        kept[m] = g[m][other];
      V y = process(x);
      for (int m = 0; m < Order; ++m)
        g[m][other] = kept[m];
      y[other] = x[other];
      return y;
    }
  };

  // A product kept apart from the sum it enters. Where the compiler may fuse a multiplication
  // with an addition (a build with FMA), it would round once where this filter rounds twice; so
  // the equalizer computes the same bits in every build.
  template <class V> [[gnu::always_inline]] static V separate(V x) {
#if defined(__FMA__)
    asm("" : "+x"(x));
#endif
    return x;
  }

  void clearHistory() {
    for (double& s : g)
      s = 0.0;
  }

  bool isStateFinite() const {
    for (double s : g)
      if (!std::isfinite(s)) return false;
    return true;
  }

private:
  // 1 - |k| below which a conversion is redone in long double.
  static constexpr double kExtendedBelow = 1e-4;

  template <class R> struct Realisation {
    R k[Order + 1], c[Order + 1], v[Order + 1];
    R closestToUnity = 1; // smallest 1 - |k_m|

    // Runs at every glide step: the loops are unrolled so that the whole conversion is
    // straight-line code on registers.
    bool convert(const double* den, const double* num) {
      R step[Order + 1][Order + 1]; // step[m]: the denominator after stepping down to order m
      step[Order][0] = 1;
#pragma GCC unroll 8
      for (int i = 1; i <= Order; ++i)
        step[Order][i] = den[i];
#pragma GCC unroll 8
      for (int m = Order; m >= 1; --m) {
        const R km = step[m][m];
        const R d = (R(1) - km) * (R(1) + km);
        if (!(d > 0)) return false; // |k| >= 1 or NaN
        k[m] = km;
        c[m] = std::sqrt(d);
        const R distance = R(1) - (km < 0 ? -km : km);
        closestToUnity = distance < closestToUnity ? distance : closestToUnity;
#pragma GCC unroll 8
        for (int i = 0; i < m; ++i)
          step[m - 1][i] = (step[m][i] - km * step[m][m - i]) / d;
      }
      step[0][0] = 1;

      R beta[Order + 1];
#pragma GCC unroll 8
      for (int i = 0; i <= Order; ++i)
        beta[i] = num[i];
#pragma GCC unroll 8
      for (int m = Order; m >= 0; --m) {
        v[m] = beta[m];
#pragma GCC unroll 8
        for (int i = 0; i < m; ++i)
          beta[i] -= v[m] * step[m][m - i];
      }
      // The normalised stages scale the backward path by c at every stage.
      R scale = 1;
      bool finite = true;
#pragma GCC unroll 8
      for (int m = Order; m >= 0; --m) {
        v[m] /= scale;
        finite = finite && std::isfinite(static_cast<double>(v[m]));
        if (m >= 1) scale *= c[m];
      }
      return finite;
    }
  };

  template <class R> bool adopt(const Realisation<R>& r) {
    for (int m = 1; m <= Order; ++m) {
      k[m] = static_cast<double>(r.k[m]);
      c[m] = static_cast<double>(r.c[m]);
    }
    for (int m = 0; m <= Order; ++m)
      v[m] = static_cast<double>(r.v[m]);
    return true;
  }

public:
  double k[Order + 1]; // reflection coefficients k_1..k_N (k[0] unused)
  double c[Order + 1]; // sqrt(1 - k²) per stage (c[0] unused)
  double v[Order + 1]; // ladder taps v_0..v_N
  double g[Order];     // backward values g_0..g_(N-1) of the previous sample
};
