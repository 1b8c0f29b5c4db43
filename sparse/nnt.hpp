// Solution of the transposed system A^T x = b (transposed, not conjugated)
// with the factors of nnf (the generic body of snnt, dnnt, cnnt, znnt).
// Column-oriented:
//   tmp(k) = b(c(k))
//   forward with (I + U)^T:  for k = 1..n, for j in row k of U:
//                            tmp(ju(j)) = tmp(ju(j)) - u(j)*tmp(k)
//   backward with (L + D^-1)^T: for k = n..1: s = tmp(k)*d(k);
//                            for j in row k of L: tmp(jl(j)) -= l(j)*s;
//                            z(r(k)) = s
// b by unpermuted column, z by unpermuted row; b and z may be one array.
// Checks nothing.
#pragma once

#include <cstdint>

#include "sparse/families.hpp"
#include "sparse/nnf_kernels.hpp"

namespace sparse {

template <class V>
void nnt(const std::int32_t& n, const std::int32_t* r_, const std::int32_t* c_,
         const std::int32_t* il_, const std::int32_t* jl_, const V* l_, const V* d_,
         const std::int32_t* iu_, const std::int32_t* ju_, const V* u_, V* z_, const V* b_,
         V* tmp_) {
  const auto r = one_based(r_);
  const auto c = one_based(c_);
  const auto il = one_based(il_);
  const auto jl = one_based(jl_);
  const auto l = one_based(l_);
  const auto d = one_based(d_);
  const auto iu = one_based(iu_);
  const auto ju = one_based(ju_);
  const auto u = one_based(u_);
  const auto z = one_based(z_);
  const auto b = one_based(b_);
  const auto tmp = one_based(tmp_);

  for (std::int32_t k = 1; k <= n; ++k) tmp(k) = b(c(k));
  for (std::int32_t k = 1; k <= n; ++k) {
    const V tk = tmp(k);
    for (std::int32_t j = iu(k); j < iu(k + 1); ++j) tmp(ju(j)) = subtract_product(tmp(ju(j)), u(j), tk);
  }
  for (std::int32_t k = n; k >= 1; --k) {
    const V s = tmp(k) * d(k);
    for (std::int32_t j = il(k); j < il(k + 1); ++j) tmp(jl(j)) = subtract_product(tmp(jl(j)), l(j), s);
    z(r(k)) = s;
  }
}

}  // namespace sparse
