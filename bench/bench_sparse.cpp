// Sparse direct solver on the 60 x 60 compressibility-test system
// (n = 22204, 922216 entries): the ordering, symbolic and numeric phases
// timed separately (the numeric one with every kernel this processor
// supports, and row by row without a scratch), the repeated solve, and,
// when SuiteSparse is installed (bench/setup.sh), UMFPACK and KLU on the
// same matrix in the same run.
// Counters: fill = nnz(L+U) with the diagonal counted once, residual =
// ||A z - b|| / ||b||.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "sparse/sparse.hpp"
#include "tests/sparse_fixtures.hpp"

#ifdef UPSCALE_HAVE_SUITESPARSE
#include <klu.h>
#include <umfpack.h>
#endif

namespace {

using namespace sparse_fixtures;
using std::int32_t;

sparse::WorkBlock block;

struct Problem {
  FemSystem s;
  std::vector<int32_t> c, ic;
  std::vector<dcomplex> z;
  Problem() : s(fem_system(60, 60)), c(s.m.n), ic(s.m.n), z(s.m.n) {}
};

Problem& problem() {
  static Problem p;
  return p;
}

void order(Problem& p) {
  int32_t flag = 0;
  zodrv(p.s.m.n, p.s.m.ia.data(), p.s.m.ja.data(), p.s.m.a.data(), p.c.data(), p.ic.data(),
        classic_work_words, block.isp(), 1, flag);
  if (flag != 0) throw std::runtime_error("ordering failed");
}

int32_t factor(Problem& p, int32_t path) {
  int32_t flag = 0, esp = 0;
  zndrv(p.s.m.n, p.c.data(), p.c.data(), p.ic.data(), p.s.m.ia.data(), p.s.m.ja.data(),
        p.s.m.a.data(), p.s.rhs.data(), p.z.data(), classic_work_words, block.isp(), block.rsp(), esp,
        path, flag, block.scratch);
  if (flag != 0) throw std::runtime_error("factorisation failed");
  return esp;
}

void BM_Ordering(benchmark::State& state) {
  Problem& p = problem();
  for (auto _ : state) order(p);
}
BENCHMARK(BM_Ordering)->Unit(benchmark::kMillisecond);

void BM_Symbolic(benchmark::State& state) {
  Problem& p = problem();
  order(p);
  for (auto _ : state) factor(p, 5);
  const int32_t n = p.s.m.n;
  state.counters["fill"] = double(block.isp()[n] - 1) + double(block.isp()[2 * n + 1] - 1) + n;
}
BENCHMARK(BM_Symbolic)->Unit(benchmark::kMillisecond);

// znnf: numeric factorisation with both substitutions (path 2), with the
// kernel of the argument (kernel_name order: portable, sse2, avx2).
void BM_Numeric(benchmark::State& state) {
  const auto kernel = static_cast<sparse::Kernel>(state.range(0));
  if (!block.scratch.use_kernel(kernel)) {
    state.SkipWithError("kernel not supported here");
    return;
  }
  state.SetLabel(sparse::kernel_name(kernel));
  Problem& p = problem();
  order(p);
  factor(p, 5);
  for (auto _ : state) factor(p, 2);
  state.counters["residual"] = relative_residual(p.s.m, p.z, p.s.rhs);
  block.scratch.use_kernel(sparse::best_kernel());
}
BENCHMARK(BM_Numeric)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The same without a scratch: the fixed-argument driver, row by row.
void BM_NumericRowByRow(benchmark::State& state) {
  Problem& p = problem();
  order(p);
  factor(p, 5);
  int32_t flag = 0, esp = 0;
  for (auto _ : state)
    zndrv(p.s.m.n, p.c.data(), p.c.data(), p.ic.data(), p.s.m.ia.data(), p.s.m.ja.data(),
          p.s.m.a.data(), p.s.rhs.data(), p.z.data(), classic_work_words, block.isp(), block.rsp(), esp,
          2, flag);
  state.counters["residual"] = relative_residual(p.s.m, p.z, p.s.rhs);
}
BENCHMARK(BM_NumericRowByRow)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_Solve(benchmark::State& state) {
  Problem& p = problem();
  order(p);
  factor(p, 1);
  for (auto _ : state) factor(p, 3);
  state.counters["residual"] = relative_residual(p.s.m, p.z, p.s.rhs);
}
BENCHMARK(BM_Solve)->Unit(benchmark::kMillisecond);

#ifdef UPSCALE_HAVE_SUITESPARSE
// SuiteSparse takes compressed columns; the rows of A are the columns of
// A^T, so both solve with the array transpose (not conjugated).
struct ZeroBased {
  std::vector<int> p, i;
  std::vector<double> x;  // interleaved complex
  ZeroBased() {
    const auto& m = problem().s.m;
    for (int32_t v : m.ia) p.push_back(v - 1);
    for (int32_t v : m.ja) i.push_back(v - 1);
    for (const dcomplex& v : m.a) {
      x.push_back(v.re);
      x.push_back(v.im);
    }
  }
};

ZeroBased& zero_based() {
  static ZeroBased z;
  return z;
}

std::vector<dcomplex> from_interleaved(const std::vector<double>& x) {
  std::vector<dcomplex> z(x.size() / 2);
  for (size_t k = 0; k < z.size(); ++k) z[k] = dcomplex(x[2 * k], x[2 * k + 1]);
  return z;
}

void BM_UmfpackSymbolic(benchmark::State& state) {
  ZeroBased& a = zero_based();
  const int n = problem().s.m.n;
  for (auto _ : state) {
    void* symbolic = nullptr;
    umfpack_zi_symbolic(n, n, a.p.data(), a.i.data(), a.x.data(), nullptr, &symbolic, nullptr,
                        nullptr);
    umfpack_zi_free_symbolic(&symbolic);
  }
}
BENCHMARK(BM_UmfpackSymbolic)->Unit(benchmark::kMillisecond);

// UMFPACK's numeric factorisation and one solve, timed, on its symbolic
// analysis `symbolic` (freed here) with `control` (nullptr: its defaults).
void time_umfpack_numeric(benchmark::State& state, Problem& pr, ZeroBased& a, void* symbolic,
                          const double* control) {
  const int n = pr.s.m.n;
  std::vector<double> b, x(2 * n);
  for (const dcomplex& v : pr.s.rhs) {
    b.push_back(v.re);
    b.push_back(v.im);
  }
  int lnz = 0, unz = 0, nr = 0, nc = 0, nzud = 0;
  for (auto _ : state) {
    void* numeric = nullptr;
    umfpack_zi_numeric(a.p.data(), a.i.data(), a.x.data(), nullptr, symbolic, &numeric, control,
                       nullptr);
    umfpack_zi_solve(UMFPACK_Aat, a.p.data(), a.i.data(), a.x.data(), nullptr, x.data(), nullptr,
                     b.data(), nullptr, numeric, control, nullptr);
    umfpack_zi_get_lunz(&lnz, &unz, &nr, &nc, &nzud, numeric);
    umfpack_zi_free_numeric(&numeric);
  }
  umfpack_zi_free_symbolic(&symbolic);
  state.counters["fill"] = double(lnz) + unz - n;
  state.counters["residual"] = relative_residual(pr.s.m, from_interleaved(x), pr.s.rhs);
}

// Numeric factorisation and one solve, the work of znnf.
void BM_UmfpackNumeric(benchmark::State& state) {
  Problem& pr = problem();
  ZeroBased& a = zero_based();
  const int n = pr.s.m.n;
  void* symbolic = nullptr;
  umfpack_zi_symbolic(n, n, a.p.data(), a.i.data(), a.x.data(), nullptr, &symbolic, nullptr,
                      nullptr);
  time_umfpack_numeric(state, pr, a, symbolic, nullptr);
}
BENCHMARK(BM_UmfpackNumeric)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The same with our minimum-degree order given as UMFPACK's column order,
// under its symmetric strategy (diagonal pivots preferred, as ours are);
// its default strategy runs out of memory with this order.
void BM_UmfpackNumericOurOrdering(benchmark::State& state) {
  Problem& pr = problem();
  ZeroBased& a = zero_based();
  const int n = pr.s.m.n;
  order(pr);
  std::vector<int> qinit(n);
  for (int k = 0; k < n; ++k) qinit[k] = pr.c[k] - 1;
  double control[UMFPACK_CONTROL];
  umfpack_zi_defaults(control);
  control[UMFPACK_STRATEGY] = UMFPACK_STRATEGY_SYMMETRIC;
  void* symbolic = nullptr;
  if (umfpack_zi_qsymbolic(n, n, a.p.data(), a.i.data(), a.x.data(), nullptr, qinit.data(),
                           &symbolic, control, nullptr) != UMFPACK_OK) {
    state.SkipWithError("UMFPACK's symbolic analysis failed");
    return;
  }
  time_umfpack_numeric(state, pr, a, symbolic, control);
}
BENCHMARK(BM_UmfpackNumericOurOrdering)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_KluAnalyze(benchmark::State& state) {
  ZeroBased& a = zero_based();
  const int n = problem().s.m.n;
  klu_common common;
  klu_defaults(&common);
  for (auto _ : state) {
    klu_symbolic* symbolic = klu_analyze(n, a.p.data(), a.i.data(), &common);
    klu_free_symbolic(&symbolic, &common);
  }
}
BENCHMARK(BM_KluAnalyze)->Unit(benchmark::kMillisecond);

void BM_KluNumeric(benchmark::State& state) {
  Problem& pr = problem();
  ZeroBased& a = zero_based();
  const int n = pr.s.m.n;
  klu_common common;
  klu_defaults(&common);
  klu_symbolic* symbolic = klu_analyze(n, a.p.data(), a.i.data(), &common);
  std::vector<double> x;
  double fill = 0;
  for (auto _ : state) {
    x.clear();
    for (const dcomplex& v : pr.s.rhs) {
      x.push_back(v.re);
      x.push_back(v.im);
    }
    klu_numeric* numeric = klu_z_factor(a.p.data(), a.i.data(), a.x.data(), symbolic, &common);
    klu_z_tsolve(symbolic, numeric, n, 1, x.data(), 0, &common);
    fill = double(numeric->lnz) + numeric->unz - n + numeric->nzoff;
    klu_z_free_numeric(&numeric, &common);
  }
  klu_free_symbolic(&symbolic, &common);
  state.counters["fill"] = fill;
  state.counters["residual"] = relative_residual(pr.s.m, from_interleaved(x), pr.s.rhs);
}
BENCHMARK(BM_KluNumeric)->Unit(benchmark::kMillisecond)->MinTime(3.0);
#endif

}  // namespace

BENCHMARK_MAIN();
