#include "scalable/symmetric_values.hpp"

#include <vector>

namespace scalable {

namespace {
bool is_zero(dcomplex v) { return v.re == 0.0 && v.im == 0.0; }
}  // namespace

template <class Index>
std::int32_t held_unknowns(std::int32_t n, const Index* ia, const std::int32_t* ja, const dcomplex* a,
                           unsigned char* held) {
  std::int32_t count = 0;
  for (std::int32_t r = 1; r <= n; ++r) {
    bool diagonal = false, coupled = false;
    for (Index p = ia[r - 1]; p < ia[r]; ++p) {
      if (ja[p - 1] == r) diagonal = diagonal || !is_zero(a[p - 1]);
      else coupled = coupled || !is_zero(a[p - 1]);
    }
    held[r - 1] = diagonal && !coupled ? 1 : 0;
    count += held[r - 1];
  }
  return count;
}

template <class Index>
void symmetric_values(std::int32_t n, const Index* ia, const std::int32_t* ja, dcomplex* a, dcomplex* rhs,
                      const unsigned char* held) {
  const dcomplex zero(0.0, 0.0);
  // --- The value of each held unknown (zero unless its load is not) ---
  std::vector<dcomplex> value(n, zero);
  for (std::int32_t c = 1; c <= n; ++c) {
    if (!held[c - 1] || is_zero(rhs[c - 1])) continue;
    for (Index p = ia[c - 1]; p < ia[c]; ++p)
      if (ja[p - 1] == c) value[c - 1] = rhs[c - 1] / a[p - 1];
  }
  // --- Held columns cleared, their known part moved to the load ---
  for (std::int32_t r = 1; r <= n; ++r) {
    for (Index p = ia[r - 1]; p < ia[r]; ++p) {
      const std::int32_t c = ja[p - 1];
      if (c == r) continue;
      if (held[r - 1]) {
        a[p - 1] = zero;  // already zero in value; written as +0
      } else if (held[c - 1]) {
        if (!is_zero(value[c - 1])) rhs[r - 1] = rhs[r - 1] - a[p - 1] * value[c - 1];
        a[p - 1] = zero;
      }
    }
  }
}

template std::int32_t held_unknowns(std::int32_t, const std::int32_t*, const std::int32_t*, const dcomplex*,
                                    unsigned char*);
template std::int32_t held_unknowns(std::int32_t, const std::int64_t*, const std::int32_t*, const dcomplex*,
                                    unsigned char*);
template void symmetric_values(std::int32_t, const std::int32_t*, const std::int32_t*, dcomplex*, dcomplex*,
                               const unsigned char*);
template void symmetric_values(std::int32_t, const std::int64_t*, const std::int32_t*, dcomplex*, dcomplex*,
                               const unsigned char*);

}  // namespace scalable
