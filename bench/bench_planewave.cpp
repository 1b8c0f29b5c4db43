// Cost of the plane-wave analysis: the whole 60 x 60 sample per frequency,
// and the kernels of one cell.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include "common/cellmap.hpp"
#include "common/complex.hpp"
#include "common/units.hpp"
#include "planewave/c_invert.hpp"
#include "planewave/cautov.hpp"
#include "planewave/refine_roots.hpp"
#include "planewave/veloc_aten.hpp"

namespace {

struct Sample {
  RealMap p11, p12, p13, p22, p23, p33, b11, b12, b22;
  RealMap lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3;
};

// A heterogeneous permafrost-like sample: every cell differs a little.
std::unique_ptr<Sample> make_sample() {
  auto s = std::make_unique<Sample>();
  for (int k = 1; k <= 60; ++k)
    for (int j = 1; j <= 60; ++j) {
      const double x = 1.0 + 0.3 * std::sin(0.37 * j + 0.11 * k);  // ice content proxy
      const double y = 1.0 + 0.2 * std::cos(0.23 * j - 0.41 * k);
      s->lambda1(j, k) = 1e10 * y;  s->mu1(j, k) = 1.3e10 * y;
      s->lambda3(j, k) = 3e9 * x;   s->mu3(j, k) = 3e9 * x;
      s->mu13(j, k) = 1e7 * x;      s->b1(j, k) = 2e9 / x;
      s->b2(j, k) = 1e9 / x;        s->m(j, k) = 3e9 / x;      s->d3(j, k) = 1e9;
      s->p11(j, k) = 1800 * y;      s->p12(j, k) = -50 / x;    s->p13(j, k) = 10;
      s->p22(j, k) = 1200 / x;      s->p23(j, k) = -20;        s->p33(j, k) = 300 * x;
      s->b11(j, k) = 1e5 * x;       s->b12(j, k) = 5e6;        s->b22(j, k) = 1e9 / x;
    }
  return s;
}

void BM_veloc_aten_60x60(benchmark::State& state) {
  open_unit(stdout_unit, "/dev/null");  // the echo is not what is measured
  const auto s = make_sample();
  const std::int32_t nx = 60, ny = 60;
  const double omega = 6.283185307179586;
  double vp1, vp2, vp3, vs1, vs2, q1, q2, q3, q4, q5;
  for (auto _ : state) {
    veloc_aten(nx, ny, omega, s->p11, s->p12, s->p13, s->p22, s->p23, s->p33, s->b11, s->b12, s->b22,
               s->lambda1, s->lambda3, s->mu1, s->mu3, s->mu13, s->b1, s->b2, s->m, s->d3, vp1, vp2, vp3,
               vs1, vs2, q1, q2, q3, q4, q5);
    benchmark::DoNotOptimize(vp1);
    benchmark::DoNotOptimize(q5);
  }
  close_unit(stdout_unit);
  state.SetItemsProcessed(state.iterations() * 3600);
}
BENCHMARK(BM_veloc_aten_60x60)->Unit(benchmark::kMillisecond);

// One 5 x 5 inversion.
void BM_c_invert_5(benchmark::State& state) {
  dcomplex a[25];
  for (auto _ : state) {
    for (int j = 0; j < 5; ++j)
      for (int i = 0; i < 5; ++i) a[j * 5 + i] = dcomplex(i == j ? 10.0 : 1.0 / (1 + i + j), 0.1 * i);
    const std::int32_t n = 5;
    c_invert(n, a);
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK(BM_c_invert_5);

// Cardano eigenvalues of a 3 x 3, then their double-double refinement.
dcomplex bench_t[9] = {{2e-7, -1e-9}, {1e-8, 3e-9}, {-2e-8, 0}, {5e-8, 1e-5},
                       {4e-7, -0.05}, {1e-8, 2e-6}, {-1e-8, 0},  {3e-8, 1e-6}, {1e-7, -1e-7}};

void BM_cautov(benchmark::State& state) {
  dcomplex eig[3];
  for (auto _ : state) {
    cautov(bench_t, eig);
    benchmark::DoNotOptimize(eig);
  }
}
BENCHMARK(BM_cautov);

void BM_refine_cubic_roots(benchmark::State& state) {
  dcomplex cardano[3], eig[3];
  cautov(bench_t, cardano);
  for (auto _ : state) {
    eig[0] = cardano[0]; eig[1] = cardano[1]; eig[2] = cardano[2];
    refine_cubic_roots(bench_t, eig);
    benchmark::DoNotOptimize(eig);
  }
}
BENCHMARK(BM_refine_cubic_roots);

}  // namespace

BENCHMARK_MAIN();
