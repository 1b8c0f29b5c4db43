// What the four value-type families of the sparse solver differ in, and the
// 1-based array access shared by all its routines.
//
//   family  value type   lratio (integer words per value word)
//   s       float        1
//   d       double       2
//   c       scomplex     2
//   z       dcomplex     4
//
// Every solver routine is written once over the value type V; a family is
// one instantiation.  The zero-pivot test is exact: a real pivot equals 0,
// a complex pivot has both parts 0.  Pivot reciprocals of complex pivots
// use the scaled (Smith) division.
#pragma once

#include <cstdint>

#include "common/complex.hpp"

namespace sparse {

template <class V>
struct Family;

template <>
struct Family<float> {
  static constexpr std::int32_t lratio = 1;
};
template <>
struct Family<double> {
  static constexpr std::int32_t lratio = 2;
};
template <>
struct Family<scomplex> {
  static constexpr std::int32_t lratio = 2;
};
template <>
struct Family<dcomplex> {
  static constexpr std::int32_t lratio = 4;
};

template <class R>
constexpr bool is_zero(R x) { return x == R(0); }
template <class R>
constexpr bool is_zero(Complex<R> x) { return x.re == R(0) && x.im == R(0); }

template <class R>
constexpr R pivot_reciprocal(R x) { return R(1) / x; }
template <class R>
constexpr Complex<R> pivot_reciprocal(Complex<R> x) { return reciprocal(x); }

template <class V>
constexpr V zero_value() { return V(0); }

// x + a*b and x - a*b with the plain product; the double-complex family
// has SSE2 versions of the same rounding (nnf_kernels.hpp).
template <class V>
inline V add_product(V x, V a, V b) {
  return x + a * b;
}
template <class V>
inline V subtract_product(V x, V a, V b) {
  return x - a * b;
}

// A view of an array handed over as a pointer to its element 1:
// a(i) is element i, i = 1, 2, ...
template <class T>
struct Array1 {
  T* base;
  T& operator()(std::int32_t i) const { return base[i - 1]; }
  // Pointer to element i (for handing a sub-array on).
  T* at(std::int32_t i) const { return base + (i - 1); }
};

template <class T>
Array1<T> one_based(T* p) { return Array1<T>{p}; }

}  // namespace sparse
