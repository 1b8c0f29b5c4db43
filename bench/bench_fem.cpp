// Finite-element discretisation: numbering, one element matrix, and the
// assembly of the largest (60 x 60) system.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "fem/contribucion_yale.hpp"
#include "fem/global_numbering.hpp"
#include "fem/global_sist.hpp"
#include "fem/local_sys.hpp"

namespace {

struct Sample : CoefficientMaps {
  NodeTable xnod;
  AssemblyScratch scratch;
  std::int32_t nx, ny, n;
  std::vector<std::int32_t> ia, ja;
  std::vector<dcomplex> avec, rhs;

  Sample(std::int32_t cells_x, std::int32_t cells_y) : nx(cells_x), ny(cells_y) {
    for (int j = 1; j <= nx; ++j) {
      for (int k = 1; k <= ny; ++k) {
        const double f = 1.0 + 0.01 * j + 0.02 * k;
        lambda1(j, k) = 1.3e10 * f, lambda3(j, k) = 0.7e10 * f, mu1(j, k) = 2.9e10 * f;
        mu3(j, k) = 3.3e9 * f, mu13(j, k) = 1.7e9 * f, b1(j, k) = 4.1e9 * f;
        b2(j, k) = 1.9e9 * f, m(j, k) = 2.3e9 * f, d3(j, k) = 0.9e9 * f;
        b11(j, k) = 3.1e6 * f, b12(j, k) = 2.2e7 * f, b22(j, k) = 5.3e7 * f;
      }
    }
    global_numbering(nx, ny, xnod);
    n = unknown_count(nx, ny);
    ia.resize(n + 1);
    ja.resize(50 * n);
    avec.resize(50 * n);
    rhs.resize(n);
  }

  void assemble() {
    global_sist(2.0 * 3.141592653589793 * 100.0, nx, ny, 0.01 / ny, xnod, lambda1, lambda3, mu1,
                mu3, mu13, b1, b2, m, d3, p11, p12, p13, p22, p23, p33, b11, b12, b22,
                avec.data(), ia.data(), ja.data(), rhs.data(), scratch);
  }
};

void BM_global_numbering_60x60(benchmark::State& state) {
  auto xnod = std::make_unique<NodeTable>();
  for (auto _ : state) {
    global_numbering(60, 60, *xnod);
    benchmark::DoNotOptimize(xnod->data.data());
  }
}
BENCHMARK(BM_global_numbering_60x60);

void BM_local_sys_inner_cell(benchmark::State& state) {
  ElementMatrix a;
  ElementVector r;
  const std::int32_t j = 2, k = 2, nx = 3, ny = 3;
  const double omega = 628.3, h = 0.01, c = 1.0e9, p = 1000.0, f = 1.0e7;
  for (auto _ : state) {
    local_sys(j, k, nx, ny, omega, h, c, c, c, c, c, c, c, c, c, p, p, p, p, p, p, f, f, f, a, r);
    benchmark::DoNotOptimize(a.data.data());
  }
}
BENCHMARK(BM_local_sys_inner_cell);

// The target: the whole 60 x 60 system (22204 unknowns, 922216 entries).
void BM_global_sist(benchmark::State& state) {
  auto sample = std::make_unique<Sample>(state.range(0), state.range(0));
  for (auto _ : state) {
    sample->assemble();
    benchmark::DoNotOptimize(sample->avec.data());
  }
  state.counters["entries"] = sample->ia[sample->n] - 1;
}
BENCHMARK(BM_global_sist)->Arg(10)->Arg(30)->Arg(60)->Unit(benchmark::kMillisecond);

// Entry-by-entry insertion, for comparison: quadratic in the size.
void BM_assembly_by_insertion(benchmark::State& state) {
  auto s = std::make_unique<Sample>(state.range(0), state.range(0));
  ElementMatrix a;
  ElementVector r;
  for (auto _ : state) {
    std::fill(s->ia.begin(), s->ia.end(), 1);
    for (int j = 1; j <= s->nx; ++j) {
      for (int k = 1; k <= s->ny; ++k) {
        local_sys(j, k, s->nx, s->ny, 628.3, 0.001, s->lambda1(j, k), s->lambda3(j, k),
                  s->mu1(j, k), s->mu3(j, k), s->mu13(j, k), s->b1(j, k), s->b2(j, k),
                  s->m(j, k), s->d3(j, k), s->p11(j, k), s->p12(j, k), s->p13(j, k),
                  s->p22(j, k), s->p23(j, k), s->p33(j, k), s->b11(j, k), s->b12(j, k),
                  s->b22(j, k), a, r);
        const int e = (k - 1) * s->nx + j;
        for (int u = 1; u <= 20; ++u)
          for (int t = 1; t <= 20; ++t)
            contribucion_yale(s->xnod(e, t), s->xnod(e, u), a(u, t), s->n, s->ia.data(),
                              s->ja.data(), s->avec.data());
      }
    }
    benchmark::DoNotOptimize(s->avec.data());
  }
}
BENCHMARK(BM_assembly_by_insertion)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
