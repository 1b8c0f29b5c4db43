// Inversion by bordering.  The inverse of the leading k x k block is built
// for k = 1..n and always stands in place of that block.  Going from order
// m-1 to m with B = inverse of the leading block, c = the column above the
// new diagonal entry, r = the row left of it and d = the diagonal entry:
//
//   v = B*c,  s = r*B*c,  delta = 1/(d - s)        (inverse Schur complement)
//   new column  = -v*delta
//   new row     = -(r*B)*delta
//   new block   = B - v*(new row) = B + B*c*delta*r*B
//
// Index names: i, k rows and columns of the block, f the summation index;
// every sum runs in ascending order.  v and w are 5-entry work vectors.
#include "planewave/c_invert.hpp"

void c_invert(const std::int32_t& n, dcomplex* a) {
  const auto at = [a](int i, int j) -> dcomplex& { return a[(j - 1) * 5 + (i - 1)]; };
  dcomplex v[5];
  dcomplex w[5];

  at(1, 1) = dcomplex(1.0, 0.0) / at(1, 1);
  for (int m = 2; m <= n; ++m) {
    // --- v = B*c and s = r*v ---
    for (int i = 1; i <= m - 1; ++i) {
      dcomplex sum{};
      for (int f = 1; f <= m - 1; ++f) sum += at(i, f) * at(f, m);
      v[i - 1] = sum;
    }
    dcomplex s{};
    for (int i = 1; i <= m - 1; ++i) s += at(m, i) * v[i - 1];

    // --- The new diagonal entry and column ---
    const dcomplex delta = dcomplex(1.0, 0.0) / (at(m, m) - s);
    at(m, m) = delta;
    for (int i = 1; i <= m - 1; ++i) at(i, m) = -v[i - 1] * delta;

    // --- The new row, from w = r*B with B not yet changed ---
    for (int k = 1; k <= m - 1; ++k) {
      dcomplex sum{};
      for (int f = 1; f <= m - 1; ++f) sum += at(m, f) * at(f, k);
      w[k - 1] = sum;
    }
    for (int k = 1; k <= m - 1; ++k) at(m, k) = -w[k - 1] * delta;

    // --- The new block ---
    for (int k = 1; k <= m - 1; ++k) {
      for (int i = 1; i <= m - 1; ++i) at(i, k) = at(i, k) - v[i - 1] * at(m, k);
    }
  }
}
