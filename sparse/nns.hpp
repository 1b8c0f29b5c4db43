// Solution of A x = b with the factors of nnf (the generic body of snns,
// dnns, cnns, znns).
//   forward:  tmp(k) = (b(r(k)) - sum of l(j)*tmp(jl(j))) * d(k), k = 1..n
//   backward: tmp(k) = tmp(k) - sum of u(j)*tmp(ju(j)), k = n..1;
//             z(c(k)) = tmp(k)
// b by unpermuted row, z by unpermuted column; b and z may be one array.
// Checks nothing.
#pragma once

#include <cstdint>

#include "sparse/families.hpp"
#include "sparse/nnf_kernels.hpp"

namespace sparse {

template <class V>
void nns(const std::int32_t& n, const std::int32_t* r_, const std::int32_t* c_,
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

  for (std::int32_t k = 1; k <= n; ++k) {
    V sum = b(r(k));
    for (std::int32_t j = il(k); j < il(k + 1); ++j) sum = subtract_product(sum, l(j), tmp(jl(j)));
    tmp(k) = sum * d(k);
  }
  for (std::int32_t k = n; k >= 1; --k) {
    V sum = tmp(k);
    for (std::int32_t j = iu(k); j < iu(k + 1); ++j) sum = subtract_product(sum, u(j), tmp(ju(j)));
    tmp(k) = sum;
    z(c(k)) = sum;
  }
}

}  // namespace sparse
