#!/usr/bin/env python3
"""Independent check of the equalizer network polynomials D0..D5 and N0..N5.

network.txt holds the twelve closed-form coefficients as plain text, one per line, written the
way the network's derivation prints them (· for products, ² for squares, − for minus). This
script parses that text into exact polynomials (fractions.Fraction, nothing rounded), evaluates
them exactly at random component values and compares the C++ design in src/dsp/eq with them.

Usage (from the repository root):
  python3 tools/eqcheck/eqcheck.py                  # build the driver, check 2000 random sets
  python3 tools/eqcheck/eqcheck.py --count 20000 --seed 7
  python3 tools/eqcheck/eqcheck.py --gen-literal tests/unit/eq/NetworkLiteral.h  # then clang-format -i

The check passes when every coefficient agrees with the exact value to within
1e-12 of the sum of the magnitudes of its terms (the scale at which double rounding works).
Only the Python 3 standard library and g++ are needed.
"""

import argparse
import os
import random
import subprocess
import sys
import tempfile
from fractions import Fraction

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
VARIABLES = ["Rhb", "Rhc", "Rq", "Rlb", "Rlc", "Chb", "Lhb", "Chc", "Clb", "Clc"]
NAMES = ["D0", "D1", "D2", "D3", "D4", "D5", "N0", "N1", "N2", "N3", "N4", "N5"]


# --- parsing ----------------------------------------------------------------------------------

def tokenize(text):
    tokens, i = [], 0
    while i < len(text):
        ch = text[i]
        if ch.isspace():
            i += 1
        elif ch in "()+·":
            tokens.append(ch)
            i += 1
        elif ch in "−-":
            tokens.append("-")
            i += 1
        elif ch == "²":
            tokens.append("^2")
            i += 1
        elif ch.isascii() and ch.isdigit():
            j = i
            while j < len(text) and (text[j].isdigit() or text[j] == "."):
                j += 1
            tokens.append(Fraction(text[i:j]))  # exact decimal
            i = j
        elif ch.isalpha():
            j = i
            while j < len(text) and text[j].isascii() and text[j].isalnum():
                j += 1
            name = text[i:j]
            if name not in VARIABLES:
                raise ValueError("unknown name %r" % name)
            tokens.append(name)
            i = j
        else:
            raise ValueError("unexpected character %r" % ch)
    return tokens


# A polynomial is a dict {monomial: Fraction}; a monomial is a sorted tuple of (name, power).
def poly_mul(p, q):
    r = {}
    for m1, c1 in p.items():
        for m2, c2 in q.items():
            powers = dict(m1)
            for name, e in m2:
                powers[name] = powers.get(name, 0) + e
            m = tuple(sorted(powers.items()))
            r[m] = r.get(m, 0) + c1 * c2
    return {m: c for m, c in r.items() if c != 0}


def poly_add(p, q, sign=1):
    r = dict(p)
    for m, c in q.items():
        r[m] = r.get(m, 0) + sign * c
    return {m: c for m, c in r.items() if c != 0}


class Parser:
    def __init__(self, tokens):
        self.t, self.i = tokens, 0

    def peek(self):
        return self.t[self.i] if self.i < len(self.t) else None

    def take(self, expected=None):
        tok = self.peek()
        if expected is not None and tok != expected:
            raise ValueError("expected %r, got %r at token %d" % (expected, tok, self.i))
        self.i += 1
        return tok

    def expr(self):
        sign = 1
        if self.peek() == "-":
            self.take()
            sign = -1
        result = poly_add({}, self.product(), sign)
        while self.peek() in ("+", "-"):
            sign = 1 if self.take() == "+" else -1
            result = poly_add(result, self.product(), sign)
        return result

    def product(self):
        result = self.factor()
        while self.peek() == "·":
            self.take()
            result = poly_mul(result, self.factor())
        return result

    def factor(self):
        tok = self.peek()
        if isinstance(tok, Fraction):
            self.take()
            return {(): tok}
        if tok == "(":
            self.take()
            inner = self.expr()
            self.take(")")
            return inner
        if tok in VARIABLES:
            self.take()
            power = 1
            if self.peek() == "^2":
                self.take()
                power = 2
            return {((tok, power),): Fraction(1)}
        raise ValueError("unexpected token %r at %d" % (tok, self.i))


def load_network(path=os.path.join(HERE, "network.txt")):
    formulas, texts = {}, {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line:
                continue
            name, _, body = line.partition(" = ")
            parser = Parser(tokenize(body))
            formulas[name] = parser.expr()
            if parser.peek() is not None:
                raise ValueError("%s: trailing tokens from %d" % (name, parser.i))
            texts[name] = body
    assert sorted(formulas) == sorted(NAMES), sorted(formulas)
    return formulas, texts


def evaluate(poly, values):
    """Exact value and the sum of |terms| (the rounding scale) at double inputs."""
    total, scale = Fraction(0), Fraction(0)
    for m, c in poly.items():
        term = c
        for name, e in m:
            term *= values[name] ** e
        total += term
        scale += abs(term)
    return total, scale


# --- literal C++ for the unit tests ------------------------------------------------------------

def cpp_literal(body):
    out = []
    for tok in tokenize(body):
        if isinstance(tok, Fraction):
            # Reprint the decimal exactly as written.
            out.append(None)
        elif tok == "^2":
            name = out.pop()
            out.append("(%s * %s)" % (name, name))
        elif tok == "·":
            out.append("*")
        else:
            out.append(tok)
    # Put the written decimals back in order.
    numbers = iter(_decimals(body))
    return " ".join(next(numbers) if x is None else x for x in out)


def _decimals(body):
    result, i = [], 0
    while i < len(body):
        if body[i].isascii() and body[i].isdigit() and (i == 0 or not body[i - 1].isalnum()):
            j = i
            while j < len(body) and (body[j].isdigit() or body[j] == "."):
                j += 1
            text = body[i:j]
            result.append(text + ("" if "." in text else ".0"))
            i = j
        else:
            i += 1
    return result


def generate_literal(path, texts):
    lines = [
        "// Generated by: python3 tools/eqcheck/eqcheck.py --gen-literal " + os.path.relpath(path, ROOT),
        "// (then clang-format -i) from tools/eqcheck/network.txt. Do not edit: regenerate instead.",
        "// The network polynomials evaluated term by term exactly as written, as a reference for",
        "// the factored design.",
        "#pragma once",
        "",
        "inline void literalNetworkPolynomials(double Rhb, double Rhc, double Rq, double Rlb,",
        "                                      double Rlc, double Chb, double Lhb, double Chc,",
        "                                      double Clb, double Clc, double* den, double* num) {",
    ]
    for name in NAMES:
        target = ("den[%s]" if name[0] == "D" else "num[%s]") % name[1]
        lines.append("  %s = %s;" % (target, cpp_literal(texts[name])))
    lines.append("}")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


# --- exact identity of the factored form used by the C++ design ------------------------------

def check_factored_form(formulas):
    """Rebuilds D(s) and N(s) from the grouping the C++ design uses and checks, exactly, that it
    expands to the twelve coefficients of network.txt."""
    F = Fraction

    def var(name):
        return {((name, 1),): F(1)}

    def const(c):
        return {(): F(c)} if c != 0 else {}

    def add(*ps):
        r = {}
        for p in ps:
            r = poly_add(r, p)
        return r

    def mul(*ps):
        r = const(1)
        for p in ps:
            r = poly_mul(r, p)
        return r

    def neg(p):
        return poly_add({}, p, -1)

    s = var("s")
    Rhb, Rhc, Rq, Rlb, Rlc = (var(n) for n in ("Rhb", "Rhc", "Rq", "Rlb", "Rlc"))
    Chb, Lhb, Chc, Clb, Clc = (var(n) for n in ("Chb", "Lhb", "Chc", "Clb", "Clc"))
    # P(s) = 1 + Chb·(1 + Rhb + Rq)·s + Chb·Lhb·s²
    P = add(const(1), mul(Chb, add(const(1), Rhb, Rq), s), mul(Chb, Lhb, s, s))

    def branch(beta, gamma, alpha, zeta=0, eta=0, eps=0):
        # P(s)·(β + (β·Rhc + γ − α·Rhc²)·Chc·s) − Chb·Rhb²·s·(ζ + (ζ·Rhc + η − ε·Rhc²)·Chc·s)
        q = add(const(beta), mul(add(mul(const(beta), Rhc), const(gamma),
                                     neg(mul(const(alpha), Rhc, Rhc))), Chc, s))
        r = add(const(zeta), mul(add(mul(const(zeta), Rhc), const(eta),
                                     neg(mul(const(eps), Rhc, Rhc))), Chc, s))
        return add(mul(P, q), neg(mul(Chb, Rhb, Rhb, s, r)))

    D = lambda *a: branch(*[F(x) for x in a])
    lowA = mul(add(const(1), mul(Rlb, Clb, s)), add(const(1), mul(Rlc, Clc, s)))
    lowB = mul(Rlc, add(const(1), mul(Rlb, Clb, s)))
    lowC = mul(Rlb, add(const(1), mul(Rlc, Clc, s)))
    lowD = mul(Rlb, Rlc)
    den = add(
        mul(lowA, D("1520004820003.3", "114000361500247.5", "320000620.0003", "140000440.0003",
                    "10500033000.0225", "20000.02")),
        mul(lowB, D("220000220", "16500016500", "20000.02", "20000.02", "1500001.5", "0")),
        mul(lowC, D("251000640.0003", "18825048000.0225", "21000.02", "12000.02", "900001.5", "1")),
        mul(lowD, D("31000.02", "2325001.5", "1", "1", "75", "0")))

    def G(beta, gamma, alpha):
        beta, gamma, alpha = F(beta), F(gamma), F(alpha)
        return add(const(beta), mul(add(mul(const(beta), Rhc), const(gamma),
                                        neg(mul(const(alpha), Rhc, Rhc))), Chc, s))

    num = mul(P, add(mul(lowA, G("100000200000.1", "7500015000007.5", "100000200.0001")),
                     mul(lowC, G("120000320.0002", "9000024000.015", "10000.01")),
                     mul(lowD, G("10000.01", "750000.75", "0"))))

    def coefficient(p, k):
        r = {}
        for m, c in p.items():
            powers = dict(m)
            if powers.pop("s", 0) == k:
                r[tuple(sorted(powers.items()))] = c
        return r

    ok = True
    for k in range(6):
        for name, poly in (("D%d" % k, den), ("N%d" % k, num)):
            if coefficient(poly, k) != formulas[name]:
                print("factored form differs from", name)
                ok = False
    return ok


# --- comparison with the C++ design ------------------------------------------------------------

def build_driver(out_dir):
    exe = os.path.join(out_dir, "eqdump")
    sources = [os.path.join(HERE, "eqdump.cpp")]
    eq_dir = os.path.join(ROOT, "src", "dsp", "eq")
    sources += [os.path.join(eq_dir, f) for f in sorted(os.listdir(eq_dir)) if f.endswith(".cpp")]
    subprocess.check_call(["g++", "-std=c++20", "-O2", "-I", os.path.join(ROOT, "src"), "-o", exe]
                          + sources)
    return exe


def random_components(rng):
    # Anywhere a control can put the potentiometers, and switched parts well beyond the tables.
    v = {
        "Rhb": 10000.0 * rng.uniform(0.005, 0.995),
        "Rhc": 1000.0 * rng.uniform(0.005, 0.995),
        "Rq": 2200.0 * rng.uniform(0.005, 0.995),
        "Rlb": 10000.0 * rng.uniform(0.005, 0.995),
        "Rlc": 100000.0 * rng.uniform(0.005, 0.995),
        "Chb": 10.0 ** rng.uniform(-9, -7.5),
        "Lhb": 10.0 ** rng.uniform(-2, -0.5),
        "Chc": 10.0 ** rng.uniform(-8, -6.5),
        "Clb": 10.0 ** rng.uniform(-7, -5.5),
        "Clc": 10.0 ** rng.uniform(-8.5, -6.5),
    }
    return v


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--count", type=int, default=2000)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--driver", help="prebuilt eqdump executable")
    ap.add_argument("--gen-literal", metavar="HEADER")
    args = ap.parse_args()

    formulas, texts = load_network()
    print("parsed %s (%d monomials)" % (", ".join(NAMES), sum(len(p) for p in formulas.values())))
    if args.gen_literal:
        generate_literal(os.path.join(os.getcwd(), args.gen_literal), texts)
        print("wrote", args.gen_literal)
        return 0

    if not check_factored_form(formulas):
        return 1
    print("factored form expands exactly to all twelve coefficients")

    rng = random.Random(args.seed)
    sets = [random_components(rng) for _ in range(args.count)]
    with tempfile.TemporaryDirectory() as tmp:
        exe = args.driver or build_driver(tmp)
        stdin = "".join(" ".join(repr(s[n]) for n in VARIABLES) + "\n" for s in sets)
        out = subprocess.run([exe], input=stdin, capture_output=True, text=True, check=True).stdout
    rows = [list(map(float, line.split())) for line in out.splitlines()]
    assert len(rows) == len(sets), (len(rows), len(sets))

    worst, worst_at = 0.0, None
    worst_value = 0.0
    failures = 0
    for s, row in zip(sets, rows):
        exact_values = {n: Fraction(s[n]) for n in VARIABLES}
        for name, got in zip(NAMES, row):
            exact, scale = evaluate(formulas[name], exact_values)
            err = float(abs(Fraction(got) - exact) / scale)
            worst_value = max(worst_value, float(abs(Fraction(got) - exact) / abs(exact)))
            if err > worst:
                worst, worst_at = err, name
            if err > 1e-12:
                failures += 1
    print("%d sets x 12 coefficients: worst error %.3g of the term scale (%s), %d over 1e-12"
          % (len(sets), worst, worst_at, failures))
    print("worst error relative to the coefficient itself: %.3g" % worst_value)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
