// Numeric factorisation with solution: the entry points of the four families.
#include "sparse/nnf.hpp"

#include "sparse/sparse.hpp"

void snnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const float* a,
          float* z, const float* b, const std::int32_t* il, const std::int32_t* jl, float* l,
          const std::int32_t& lmax, float* d, const std::int32_t* iu, const std::int32_t* ju,
          float* u, const std::int32_t& umax, float* row, float* tmp, std::int32_t& flag) {
  sparse::nnf<float>(n, r, c, ic, ia, ja, a, z, b, il, jl, l, lmax, d, iu, ju, u, umax, row, tmp,
                     flag);
}

void snnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const float* a,
          float* z, const float* b, const std::int32_t* il, const std::int32_t* jl, float* l,
          const std::int32_t& lmax, float* d, const std::int32_t* iu, const std::int32_t* ju,
          float* u, const std::int32_t& umax, float* row, float* tmp, std::int32_t& flag,
          sparse::FactorScratch& scratch) {
  sparse::nnf<float>(n, r, c, ic, ia, ja, a, z, b, il, jl, l, lmax, d, iu, ju, u, umax, row, tmp,
                     flag, &scratch);
}

void dnnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const double* a,
          double* z, const double* b, const std::int32_t* il, const std::int32_t* jl, double* l,
          const std::int32_t& lmax, double* d, const std::int32_t* iu, const std::int32_t* ju,
          double* u, const std::int32_t& umax, double* row, double* tmp, std::int32_t& flag) {
  sparse::nnf<double>(n, r, c, ic, ia, ja, a, z, b, il, jl, l, lmax, d, iu, ju, u, umax, row, tmp,
                      flag);
}

void dnnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const double* a,
          double* z, const double* b, const std::int32_t* il, const std::int32_t* jl, double* l,
          const std::int32_t& lmax, double* d, const std::int32_t* iu, const std::int32_t* ju,
          double* u, const std::int32_t& umax, double* row, double* tmp, std::int32_t& flag,
          sparse::FactorScratch& scratch) {
  sparse::nnf<double>(n, r, c, ic, ia, ja, a, z, b, il, jl, l, lmax, d, iu, ju, u, umax, row, tmp,
                      flag, &scratch);
}

void cnnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const scomplex* a,
          scomplex* z, const scomplex* b, const std::int32_t* il, const std::int32_t* jl,
          scomplex* l, const std::int32_t& lmax, scomplex* d, const std::int32_t* iu,
          const std::int32_t* ju, scomplex* u, const std::int32_t& umax, scomplex* row,
          scomplex* tmp, std::int32_t& flag) {
  sparse::nnf<scomplex>(n, r, c, ic, ia, ja, a, z, b, il, jl, l, lmax, d, iu, ju, u, umax, row, tmp,
                        flag);
}

void cnnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const scomplex* a,
          scomplex* z, const scomplex* b, const std::int32_t* il, const std::int32_t* jl,
          scomplex* l, const std::int32_t& lmax, scomplex* d, const std::int32_t* iu,
          const std::int32_t* ju, scomplex* u, const std::int32_t& umax, scomplex* row,
          scomplex* tmp, std::int32_t& flag,
          sparse::FactorScratch& scratch) {
  sparse::nnf<scomplex>(n, r, c, ic, ia, ja, a, z, b, il, jl, l, lmax, d, iu, ju, u, umax, row, tmp,
                        flag, &scratch);
}

void znnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const dcomplex* a,
          dcomplex* z, const dcomplex* b, const std::int32_t* il, const std::int32_t* jl,
          dcomplex* l, const std::int32_t& lmax, dcomplex* d, const std::int32_t* iu,
          const std::int32_t* ju, dcomplex* u, const std::int32_t& umax, dcomplex* row,
          dcomplex* tmp, std::int32_t& flag) {
  sparse::nnf<dcomplex>(n, r, c, ic, ia, ja, a, z, b, il, jl, l, lmax, d, iu, ju, u, umax, row, tmp,
                        flag);
}

void znnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const dcomplex* a,
          dcomplex* z, const dcomplex* b, const std::int32_t* il, const std::int32_t* jl,
          dcomplex* l, const std::int32_t& lmax, dcomplex* d, const std::int32_t* iu,
          const std::int32_t* ju, dcomplex* u, const std::int32_t& umax, dcomplex* row,
          dcomplex* tmp, std::int32_t& flag,
          sparse::FactorScratch& scratch) {
  sparse::nnf<dcomplex>(n, r, c, ic, ia, ja, a, z, b, il, jl, l, lmax, d, iu, ju, u, umax, row, tmp,
                        flag, &scratch);
}
