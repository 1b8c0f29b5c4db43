// Double-double arithmetic: a value is the unevaluated sum hi + lo of two
// doubles with |lo| <= half an ulp of hi, about 106 bits of significand.
//
// The building blocks are error-free transformations:
//   two_sum(a, b)       s + e == a + b exactly (Knuth, any magnitudes),
//   fast_two_sum(a, b)  the same for |a| >= |b| (renormalisation),
//   two_prod(a, b)      p + e == a * b exactly (Dekker's product with
//                       Veltkamp's splitting; exact while a*b neither
//                       overflows nor underflows).
// They rely on every operation being rounded exactly as written: this code
// must never be compiled with fast-math, reassociation or contraction of
// a*b + c into fused multiply-adds (the build uses -ffp-contract=off).
#pragma once

#if defined(__FAST_MATH__) || defined(__ASSOCIATIVE_MATH__)
#error "double-double arithmetic needs strict IEEE rounding: do not build with fast-math"
#endif

#include "common/complex.hpp"

struct DoubleDouble {
  double hi;
  double lo;
};

// Complex double-double: real and imaginary parts carried separately.
struct ComplexDD {
  DoubleDouble re;
  DoubleDouble im;
};

inline DoubleDouble two_sum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  const double e = (a - (s - bb)) + (b - bb);
  return {s, e};
}

inline DoubleDouble fast_two_sum(double a, double b) {
  const double s = a + b;
  const double e = b - (s - a);
  return {s, e};
}

// Veltkamp's splitting: a == high + low with each half 26 bits wide.
inline void split(double a, double& high, double& low) {
  constexpr double splitter = 134217729.0;  // 2^27 + 1
  const double t = splitter * a;
  high = t - (t - a);
  low = a - high;
}

inline DoubleDouble two_prod(double a, double b) {
  const double p = a * b;
  double ah, al, bh, bl;
  split(a, ah, al);
  split(b, bh, bl);
  const double e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
  return {p, e};
}

inline DoubleDouble operator-(DoubleDouble a) { return {-a.hi, -a.lo}; }

// Accurate sum of two double-doubles (both parts' rounding errors kept).
inline DoubleDouble operator+(DoubleDouble a, DoubleDouble b) {
  DoubleDouble s = two_sum(a.hi, b.hi);
  const DoubleDouble t = two_sum(a.lo, b.lo);
  s.lo += t.hi;
  s = fast_two_sum(s.hi, s.lo);
  s.lo += t.lo;
  return fast_two_sum(s.hi, s.lo);
}

inline DoubleDouble operator-(DoubleDouble a, DoubleDouble b) { return a + (-b); }

// Double-double times double.
inline DoubleDouble operator*(DoubleDouble a, double b) {
  DoubleDouble p = two_prod(a.hi, b);
  p.lo += a.lo * b;
  return fast_two_sum(p.hi, p.lo);
}

inline double to_double(DoubleDouble a) { return a.hi + a.lo; }
inline DoubleDouble to_dd(double a) { return {a, 0.0}; }

inline ComplexDD operator+(const ComplexDD& a, const ComplexDD& b) { return {a.re + b.re, a.im + b.im}; }
inline ComplexDD operator-(const ComplexDD& a, const ComplexDD& b) { return {a.re - b.re, a.im - b.im}; }
inline ComplexDD operator-(const ComplexDD& a) { return {-a.re, -a.im}; }

// Exact four-multiplication product of two double complex numbers, each
// component summed in double-double.
inline ComplexDD exact_product(dcomplex a, dcomplex b) {
  return {two_prod(a.re, b.re) - two_prod(a.im, b.im), two_prod(a.re, b.im) + two_prod(a.im, b.re)};
}

// Four-multiplication product of a double complex and a complex double-double.
inline ComplexDD operator*(dcomplex a, const ComplexDD& b) {
  return {b.re * a.re - b.im * a.im, b.im * a.re + b.re * a.im};
}

inline ComplexDD to_cdd(dcomplex a) { return {to_dd(a.re), to_dd(a.im)}; }
inline dcomplex to_dcomplex(const ComplexDD& a) { return {to_double(a.re), to_double(a.im)}; }
