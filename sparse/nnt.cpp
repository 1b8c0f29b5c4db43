// Solution of the transposed system with existing factors: the entry points of the four families.
#include "sparse/nnt.hpp"

#include "sparse/sparse.hpp"

void snnt(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* il, const std::int32_t* jl, const float* l, const float* d,
          const std::int32_t* iu, const std::int32_t* ju, const float* u, float* z, const float* b,
          float* tmp) {
  sparse::nnt<float>(n, r, c, il, jl, l, d, iu, ju, u, z, b, tmp);
}

void dnnt(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* il, const std::int32_t* jl, const double* l, const double* d,
          const std::int32_t* iu, const std::int32_t* ju, const double* u, double* z,
          const double* b, double* tmp) {
  sparse::nnt<double>(n, r, c, il, jl, l, d, iu, ju, u, z, b, tmp);
}

void cnnt(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* il, const std::int32_t* jl, const scomplex* l, const scomplex* d,
          const std::int32_t* iu, const std::int32_t* ju, const scomplex* u, scomplex* z,
          const scomplex* b, scomplex* tmp) {
  sparse::nnt<scomplex>(n, r, c, il, jl, l, d, iu, ju, u, z, b, tmp);
}

void znnt(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* il, const std::int32_t* jl, const dcomplex* l, const dcomplex* d,
          const std::int32_t* iu, const std::int32_t* ju, const dcomplex* u, dcomplex* z,
          const dcomplex* b, dcomplex* tmp) {
  sparse::nnt<dcomplex>(n, r, c, il, jl, l, d, iu, ju, u, z, b, tmp);
}
