// Reads component sets (Rhb Rhc Rq Rlb Rlc Chb Lhb Chc Clb Clc per line, SI units) and prints
// D0..D5 N0..N5 of the equalizer network for each, for tools/eqcheck/eqcheck.py.
#include "dsp/eq/ORVELFilterSmoothed.h"

#include <cstdio>

int main() {
  ORVELFilterSmoothed::Components c;
  while (std::scanf("%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf", &c.Rhb, &c.Rhc, &c.Rq, &c.Rlb,
                    &c.Rlc, &c.Chb, &c.Lhb, &c.Chc, &c.Clb, &c.Clc) == 10) {
    double den[6], num[6];
    ORVELFilterSmoothed::networkPolynomials(c, den, num);
    for (double d : den)
      std::printf("%.17g ", d);
    for (int i = 0; i < 6; ++i)
      std::printf(i < 5 ? "%.17g " : "%.17g\n", num[i]);
  }
  return 0;
}
