// Symbolic factorisation: patterns of L and U: the entry points of the four families.
#include "sparse/nsf.hpp"

#include "sparse/sparse.hpp"

void snsf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* ic,
          const std::int32_t* ia, const std::int32_t* ja, std::int32_t* il, std::int32_t* jl,
          const std::int32_t& jlmax, std::int32_t* iu, std::int32_t* ju, const std::int32_t& jumax,
          std::int32_t* q, std::int32_t* im, std::int32_t& flag) {
  sparse::nsf(n, r, ic, ia, ja, il, jl, jlmax, iu, ju, jumax, q, im, flag);
}

void dnsf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* ic,
          const std::int32_t* ia, const std::int32_t* ja, std::int32_t* il, std::int32_t* jl,
          const std::int32_t& jlmax, std::int32_t* iu, std::int32_t* ju, const std::int32_t& jumax,
          std::int32_t* q, std::int32_t* im, std::int32_t& flag) {
  sparse::nsf(n, r, ic, ia, ja, il, jl, jlmax, iu, ju, jumax, q, im, flag);
}

void cnsf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* ic,
          const std::int32_t* ia, const std::int32_t* ja, std::int32_t* il, std::int32_t* jl,
          const std::int32_t& jlmax, std::int32_t* iu, std::int32_t* ju, const std::int32_t& jumax,
          std::int32_t* q, std::int32_t* im, std::int32_t& flag) {
  sparse::nsf(n, r, ic, ia, ja, il, jl, jlmax, iu, ju, jumax, q, im, flag);
}

void znsf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* ic,
          const std::int32_t* ia, const std::int32_t* ja, std::int32_t* il, std::int32_t* jl,
          const std::int32_t& jlmax, std::int32_t* iu, std::int32_t* ju, const std::int32_t& jumax,
          std::int32_t* q, std::int32_t* im, std::int32_t& flag) {
  sparse::nsf(n, r, ic, ia, ja, il, jl, jlmax, iu, ju, jumax, q, im, flag);
}
