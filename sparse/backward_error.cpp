#include "sparse/backward_error.hpp"

#include <cmath>
#include <limits>

namespace {
// The modulus of x: the plain square root of re^2 + im^2 where that sum
// neither overflows nor underflows, hypot (slower, but safe) elsewhere.
double modulus(const dcomplex& x) {
  const double sum = x.re * x.re + x.im * x.im;
  if (sum < std::numeric_limits<double>::max() && sum > std::numeric_limits<double>::min()) return std::sqrt(sum);
  return std::hypot(x.re, x.im);
}
}  // namespace

template <class Index>
double componentwise_backward_error(std::int32_t n, const Index* ia, const std::int32_t* ja,
                                    const dcomplex* a, const dcomplex* b, const dcomplex* z) {
  double omega = 0.0;
  for (std::int32_t i = 1; i <= n; ++i) {
    dcomplex residual = b[i - 1];
    double scale = modulus(b[i - 1]);
    for (Index p = ia[i - 1]; p < ia[i]; ++p) {
      const dcomplex zj = z[ja[p - 1] - 1];
      residual = residual - a[p - 1] * zj;
      scale += modulus(a[p - 1]) * modulus(zj);
    }
    const double r = modulus(residual);
    if (r == 0.0) continue;
    const double ratio = scale > 0.0 ? r / scale : std::numeric_limits<double>::infinity();
    if (!(ratio <= omega)) omega = ratio;  // a NaN ratio is kept: it is no accuracy at all
  }
  return omega;
}

template double componentwise_backward_error(std::int32_t, const std::int32_t*, const std::int32_t*, const dcomplex*,
                                             const dcomplex*, const dcomplex*);
template double componentwise_backward_error(std::int32_t, const std::int64_t*, const std::int32_t*, const dcomplex*,
                                             const dcomplex*, const dcomplex*);
