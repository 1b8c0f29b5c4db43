// Factor/solve driver: symbolic, numeric, solve, transposed solve: the entry points of the four
// families.
#include "sparse/ndrv.hpp"

#include "sparse/sparse.hpp"

void sndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const float* a,
           const float* b, float* z, const std::int32_t& nsp, std::int32_t* isp, float* rsp,
           std::int32_t& esp, const std::int32_t& path, std::int32_t& flag) {
  sparse::ndrv<float>(n, r, c, ic, ia, ja, a, b, z, nsp, isp, rsp, esp, path, flag);
}

void sndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const float* a,
           const float* b, float* z, const std::int32_t& nsp, std::int32_t* isp, float* rsp,
           std::int32_t& esp, const std::int32_t& path, std::int32_t& flag,
           sparse::FactorScratch& scratch) {
  sparse::ndrv<float>(n, r, c, ic, ia, ja, a, b, z, nsp, isp, rsp, esp, path, flag, &scratch);
}

void dndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const double* a,
           const double* b, double* z, const std::int32_t& nsp, std::int32_t* isp, double* rsp,
           std::int32_t& esp, const std::int32_t& path, std::int32_t& flag) {
  sparse::ndrv<double>(n, r, c, ic, ia, ja, a, b, z, nsp, isp, rsp, esp, path, flag);
}

void dndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const double* a,
           const double* b, double* z, const std::int32_t& nsp, std::int32_t* isp, double* rsp,
           std::int32_t& esp, const std::int32_t& path, std::int32_t& flag,
           sparse::FactorScratch& scratch) {
  sparse::ndrv<double>(n, r, c, ic, ia, ja, a, b, z, nsp, isp, rsp, esp, path, flag, &scratch);
}

void cndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja,
           const scomplex* a, const scomplex* b, scomplex* z, const std::int32_t& nsp,
           std::int32_t* isp, scomplex* rsp, std::int32_t& esp, const std::int32_t& path,
           std::int32_t& flag) {
  sparse::ndrv<scomplex>(n, r, c, ic, ia, ja, a, b, z, nsp, isp, rsp, esp, path, flag);
}

void cndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja,
           const scomplex* a, const scomplex* b, scomplex* z, const std::int32_t& nsp,
           std::int32_t* isp, scomplex* rsp, std::int32_t& esp, const std::int32_t& path,
           std::int32_t& flag,
           sparse::FactorScratch& scratch) {
  sparse::ndrv<scomplex>(n, r, c, ic, ia, ja, a, b, z, nsp, isp, rsp, esp, path, flag, &scratch);
}

void zndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja,
           const dcomplex* a, const dcomplex* b, dcomplex* z, const std::int32_t& nsp,
           std::int32_t* isp, dcomplex* rsp, std::int32_t& esp, const std::int32_t& path,
           std::int32_t& flag) {
  sparse::ndrv<dcomplex>(n, r, c, ic, ia, ja, a, b, z, nsp, isp, rsp, esp, path, flag);
}

void zndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja,
           const dcomplex* a, const dcomplex* b, dcomplex* z, const std::int32_t& nsp,
           std::int32_t* isp, dcomplex* rsp, std::int32_t& esp, const std::int32_t& path,
           std::int32_t& flag,
           sparse::FactorScratch& scratch) {
  sparse::ndrv<dcomplex>(n, r, c, ic, ia, ja, a, b, z, nsp, isp, rsp, esp, path, flag, &scratch);
}
