// The sparse direct solver's entry points, by value-type family:
//   s float, d double, c scomplex, z dcomplex.
// Arrays are passed as pointers to their element 1; integers are 32-bit;
// scalars by reference.  Each family's routine is one instantiation of the
// generic body named beside it; md, mdi, mdm, mdp, mdu serve all families.
#pragma once

#include <cstdint>

#include "common/complex.hpp"
#include "sparse/md.hpp"
#include "sparse/work_block.hpp"

// Ordering driver: minimum-degree ordering and/or symmetric reordering (sparse/odrv.hpp).
void sodrv(const std::int32_t& n, std::int32_t* ia, std::int32_t* ja, float* a, std::int32_t* p,
           std::int32_t* ip, const std::int32_t& nsp, std::int32_t* isp, const std::int32_t& path,
           std::int32_t& flag);
void dodrv(const std::int32_t& n, std::int32_t* ia, std::int32_t* ja, double* a, std::int32_t* p,
           std::int32_t* ip, const std::int32_t& nsp, std::int32_t* isp, const std::int32_t& path,
           std::int32_t& flag);
void codrv(const std::int32_t& n, std::int32_t* ia, std::int32_t* ja, scomplex* a, std::int32_t* p,
           std::int32_t* ip, const std::int32_t& nsp, std::int32_t* isp, const std::int32_t& path,
           std::int32_t& flag);
void zodrv(const std::int32_t& n, std::int32_t* ia, std::int32_t* ja, dcomplex* a, std::int32_t* p,
           std::int32_t* ip, const std::int32_t& nsp, std::int32_t* isp, const std::int32_t& path,
           std::int32_t& flag);

// Symmetric reordering of a symmetrically stored matrix (sparse/sro.hpp).
void ssro(const std::int32_t& n, const std::int32_t* ip, std::int32_t* ia, std::int32_t* ja,
          float* a, std::int32_t* q, std::int32_t* r, const bool& dflag);
void dsro(const std::int32_t& n, const std::int32_t* ip, std::int32_t* ia, std::int32_t* ja,
          double* a, std::int32_t* q, std::int32_t* r, const bool& dflag);
void csro(const std::int32_t& n, const std::int32_t* ip, std::int32_t* ia, std::int32_t* ja,
          scomplex* a, std::int32_t* q, std::int32_t* r, const bool& dflag);
void zsro(const std::int32_t& n, const std::int32_t* ip, std::int32_t* ia, std::int32_t* ja,
          dcomplex* a, std::int32_t* q, std::int32_t* r, const bool& dflag);

// Factor/solve driver: symbolic, numeric, solve, transposed solve (sparse/ndrv.hpp).
// Each family's driver comes twice: with the fixed arguments, and with the
// caller's factorisation scratch appended (the fast path of the numeric
// factorisation; the results are the same bits either way).
void sndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const float* a,
           const float* b, float* z, const std::int32_t& nsp, std::int32_t* isp, float* rsp,
           std::int32_t& esp, const std::int32_t& path, std::int32_t& flag);
void sndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const float* a,
           const float* b, float* z, const std::int32_t& nsp, std::int32_t* isp, float* rsp,
           std::int32_t& esp, const std::int32_t& path, std::int32_t& flag,
           sparse::FactorScratch& scratch);
void dndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const double* a,
           const double* b, double* z, const std::int32_t& nsp, std::int32_t* isp, double* rsp,
           std::int32_t& esp, const std::int32_t& path, std::int32_t& flag);
void dndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const double* a,
           const double* b, double* z, const std::int32_t& nsp, std::int32_t* isp, double* rsp,
           std::int32_t& esp, const std::int32_t& path, std::int32_t& flag,
           sparse::FactorScratch& scratch);
void cndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja,
           const scomplex* a, const scomplex* b, scomplex* z, const std::int32_t& nsp,
           std::int32_t* isp, scomplex* rsp, std::int32_t& esp, const std::int32_t& path,
           std::int32_t& flag);
void cndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja,
           const scomplex* a, const scomplex* b, scomplex* z, const std::int32_t& nsp,
           std::int32_t* isp, scomplex* rsp, std::int32_t& esp, const std::int32_t& path,
           std::int32_t& flag,
           sparse::FactorScratch& scratch);
void zndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja,
           const dcomplex* a, const dcomplex* b, dcomplex* z, const std::int32_t& nsp,
           std::int32_t* isp, dcomplex* rsp, std::int32_t& esp, const std::int32_t& path,
           std::int32_t& flag);
void zndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
           const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja,
           const dcomplex* a, const dcomplex* b, dcomplex* z, const std::int32_t& nsp,
           std::int32_t* isp, dcomplex* rsp, std::int32_t& esp, const std::int32_t& path,
           std::int32_t& flag,
           sparse::FactorScratch& scratch);

// Symbolic factorisation: patterns of L and U (sparse/nsf.hpp).
void snsf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* ic,
          const std::int32_t* ia, const std::int32_t* ja, std::int32_t* il, std::int32_t* jl,
          const std::int32_t& jlmax, std::int32_t* iu, std::int32_t* ju, const std::int32_t& jumax,
          std::int32_t* q, std::int32_t* im, std::int32_t& flag);
void dnsf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* ic,
          const std::int32_t* ia, const std::int32_t* ja, std::int32_t* il, std::int32_t* jl,
          const std::int32_t& jlmax, std::int32_t* iu, std::int32_t* ju, const std::int32_t& jumax,
          std::int32_t* q, std::int32_t* im, std::int32_t& flag);
void cnsf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* ic,
          const std::int32_t* ia, const std::int32_t* ja, std::int32_t* il, std::int32_t* jl,
          const std::int32_t& jlmax, std::int32_t* iu, std::int32_t* ju, const std::int32_t& jumax,
          std::int32_t* q, std::int32_t* im, std::int32_t& flag);
void znsf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* ic,
          const std::int32_t* ia, const std::int32_t* ja, std::int32_t* il, std::int32_t* jl,
          const std::int32_t& jlmax, std::int32_t* iu, std::int32_t* ju, const std::int32_t& jumax,
          std::int32_t* q, std::int32_t* im, std::int32_t& flag);

// Numeric factorisation with solution (sparse/nnf.hpp), with the fixed
// arguments (row by row) and with the caller's scratch (fast path).
void snnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const float* a,
          float* z, const float* b, const std::int32_t* il, const std::int32_t* jl, float* l,
          const std::int32_t& lmax, float* d, const std::int32_t* iu, const std::int32_t* ju,
          float* u, const std::int32_t& umax, float* row, float* tmp, std::int32_t& flag);
void snnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const float* a,
          float* z, const float* b, const std::int32_t* il, const std::int32_t* jl, float* l,
          const std::int32_t& lmax, float* d, const std::int32_t* iu, const std::int32_t* ju,
          float* u, const std::int32_t& umax, float* row, float* tmp, std::int32_t& flag,
          sparse::FactorScratch& scratch);
void dnnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const double* a,
          double* z, const double* b, const std::int32_t* il, const std::int32_t* jl, double* l,
          const std::int32_t& lmax, double* d, const std::int32_t* iu, const std::int32_t* ju,
          double* u, const std::int32_t& umax, double* row, double* tmp, std::int32_t& flag);
void dnnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const double* a,
          double* z, const double* b, const std::int32_t* il, const std::int32_t* jl, double* l,
          const std::int32_t& lmax, double* d, const std::int32_t* iu, const std::int32_t* ju,
          double* u, const std::int32_t& umax, double* row, double* tmp, std::int32_t& flag,
          sparse::FactorScratch& scratch);
void cnnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const scomplex* a,
          scomplex* z, const scomplex* b, const std::int32_t* il, const std::int32_t* jl,
          scomplex* l, const std::int32_t& lmax, scomplex* d, const std::int32_t* iu,
          const std::int32_t* ju, scomplex* u, const std::int32_t& umax, scomplex* row,
          scomplex* tmp, std::int32_t& flag);
void cnnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const scomplex* a,
          scomplex* z, const scomplex* b, const std::int32_t* il, const std::int32_t* jl,
          scomplex* l, const std::int32_t& lmax, scomplex* d, const std::int32_t* iu,
          const std::int32_t* ju, scomplex* u, const std::int32_t& umax, scomplex* row,
          scomplex* tmp, std::int32_t& flag,
          sparse::FactorScratch& scratch);
void znnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const dcomplex* a,
          dcomplex* z, const dcomplex* b, const std::int32_t* il, const std::int32_t* jl,
          dcomplex* l, const std::int32_t& lmax, dcomplex* d, const std::int32_t* iu,
          const std::int32_t* ju, dcomplex* u, const std::int32_t& umax, dcomplex* row,
          dcomplex* tmp, std::int32_t& flag);
void znnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const dcomplex* a,
          dcomplex* z, const dcomplex* b, const std::int32_t* il, const std::int32_t* jl,
          dcomplex* l, const std::int32_t& lmax, dcomplex* d, const std::int32_t* iu,
          const std::int32_t* ju, dcomplex* u, const std::int32_t& umax, dcomplex* row,
          dcomplex* tmp, std::int32_t& flag,
          sparse::FactorScratch& scratch);

// Solution with existing factors (sparse/nns.hpp).
void snns(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* il, const std::int32_t* jl, const float* l, const float* d,
          const std::int32_t* iu, const std::int32_t* ju, const float* u, float* z, const float* b,
          float* tmp);
void dnns(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* il, const std::int32_t* jl, const double* l, const double* d,
          const std::int32_t* iu, const std::int32_t* ju, const double* u, double* z,
          const double* b, double* tmp);
void cnns(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* il, const std::int32_t* jl, const scomplex* l, const scomplex* d,
          const std::int32_t* iu, const std::int32_t* ju, const scomplex* u, scomplex* z,
          const scomplex* b, scomplex* tmp);
void znns(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* il, const std::int32_t* jl, const dcomplex* l, const dcomplex* d,
          const std::int32_t* iu, const std::int32_t* ju, const dcomplex* u, dcomplex* z,
          const dcomplex* b, dcomplex* tmp);

// Solution of the transposed system with existing factors (sparse/nnt.hpp).
void snnt(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* il, const std::int32_t* jl, const float* l, const float* d,
          const std::int32_t* iu, const std::int32_t* ju, const float* u, float* z, const float* b,
          float* tmp);
void dnnt(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* il, const std::int32_t* jl, const double* l, const double* d,
          const std::int32_t* iu, const std::int32_t* ju, const double* u, double* z,
          const double* b, double* tmp);
void cnnt(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* il, const std::int32_t* jl, const scomplex* l, const scomplex* d,
          const std::int32_t* iu, const std::int32_t* ju, const scomplex* u, scomplex* z,
          const scomplex* b, scomplex* tmp);
void znnt(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* il, const std::int32_t* jl, const dcomplex* l, const dcomplex* d,
          const std::int32_t* iu, const std::int32_t* ju, const dcomplex* u, dcomplex* z,
          const dcomplex* b, dcomplex* tmp);
