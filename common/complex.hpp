// Complex arithmetic of the program: pairs of reals, real part first.
//
// The rounding of every complex formula must be reproducible, so the
// operations are spelled out here instead of taken from std::complex:
//   - a product is the plain four-multiplication product,
//   - a quotient is Smith's scaled division (divide by the component of
//     larger magnitude first),
//   - the modulus is computed without overflow (hypot),
//   - square roots are principal.
// A real operand combines with each component separately.
#pragma once

// Every formula must round as written.  Fast math reorders and fuses; a
// target with FMA lets the compiler fuse a product into a sum even with
// contraction off.  The program is built for the baseline target; vector
// kernels that need more are compiled for it on their own and chosen at
// run time (sparse/kernels.hpp).
#if defined(__FAST_MATH__)
#error "build without -ffast-math: the results must round exactly as written"
#endif
#if defined(__FMA__)
#error "build for a target without FMA (no -march=native, no -mfma): products must not be fused into sums"
#endif

#include <cmath>
#include <complex>

// Trivially constructible, so large arrays of it cost nothing until used;
// write dcomplex{} or dcomplex(0) for a zero.
template <class R>
struct Complex {
  R re;
  R im;

  Complex() = default;
  constexpr Complex(R real_part, R imag_part = R(0)) : re(real_part), im(imag_part) {}

  constexpr Complex& operator+=(Complex b) { re += b.re; im += b.im; return *this; }
  constexpr Complex& operator-=(Complex b) { re -= b.re; im -= b.im; return *this; }
};

using dcomplex = Complex<double>;  // double-precision complex (the z family)
using scomplex = Complex<float>;   // single-precision complex (the c family)

template <class R> constexpr Complex<R> operator+(Complex<R> a, Complex<R> b) { return {a.re + b.re, a.im + b.im}; }
template <class R> constexpr Complex<R> operator-(Complex<R> a, Complex<R> b) { return {a.re - b.re, a.im - b.im}; }
template <class R> constexpr Complex<R> operator-(Complex<R> a) { return {-a.re, -a.im}; }

// Plain four-multiplication product.
template <class R> constexpr Complex<R> operator*(Complex<R> a, Complex<R> b) {
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

// Smith's scaled division.
template <class R> constexpr Complex<R> operator/(Complex<R> a, Complex<R> b) {
  if (std::abs(b.im) > std::abs(b.re)) {
    const R t = b.re / b.im;
    const R den = b.re * t + b.im;
    return {(a.re * t + a.im) / den, (a.im * t - a.re) / den};
  }
  const R t = b.im / b.re;
  const R den = b.re + b.im * t;
  return {(a.re + a.im * t) / den, (a.im - a.re * t) / den};
}

// Reciprocal 1/b by the same scaled division.
template <class R> constexpr Complex<R> reciprocal(Complex<R> b) {
  if (std::abs(b.im) > std::abs(b.re)) {
    const R t = b.re / b.im;
    const R s = b.re * t + b.im;
    return {t / s, -R(1) / s};
  }
  const R t = b.im / b.re;
  const R s = b.re + b.im * t;
  return {R(1) / s, -t / s};
}

// A real operand scales each component.
template <class R> constexpr Complex<R> operator*(Complex<R> a, R x) { return {a.re * x, a.im * x}; }
template <class R> constexpr Complex<R> operator*(R x, Complex<R> a) { return {x * a.re, x * a.im}; }
template <class R> constexpr Complex<R> operator/(Complex<R> a, R x) { return {a.re / x, a.im / x}; }

template <class R> constexpr bool operator==(Complex<R> a, Complex<R> b) { return a.re == b.re && a.im == b.im; }

// Modulus without overflow or underflow.
template <class R> inline R abs(Complex<R> a) { return std::hypot(a.re, a.im); }

// Principal square root (non-negative real part; the cut along the negative
// real axis takes the sign of the imaginary part).
template <class R> inline Complex<R> sqrt(Complex<R> a) {
  const std::complex<R> s = std::sqrt(std::complex<R>(a.re, a.im));
  return {s.real(), s.imag()};
}

// A complex number raised to the integer power 2 or 3 as repeated products.
template <class R> constexpr Complex<R> square(Complex<R> a) { return a * a; }
template <class R> constexpr Complex<R> cube(Complex<R> a) { return a * a * a; }
