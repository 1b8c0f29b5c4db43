// Benchmark of the medium model: e_modulus and mass_visco_coef (and the
// non-finite guard) over a 60 x 60 sample of two layer types, in both medium
// models.  Arguments: key_model (0 permafrost, 1 shaley sand) and whether the
// nine elastic record files are written (cycle = 1) or not (cycle = 2).  The
// three friction record files are written in every case, and the echo of
// cell (1,1) goes to /dev/null.  Files land in a temporary directory.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include "common/cellmap.hpp"
#include "common/units.hpp"
#include "medium/check_coefficients.hpp"
#include "medium/e_modulus.hpp"
#include "medium/mass_visco_coef.hpp"

namespace {

struct Sample : CoefficientMaps {
  std::int32_t nx = 60, ny = 60, key_model = 0, cycle = 1;
  double omega = 100 * 6.283185307179586;
  IntMap matnum;
  RealMap phiw, binary_ice;
  LayerReal akf, ro2, eta, ro1, ro3, phi_a, capa_1_0, capa_3_0, s3, rs1, rs3, coef_b13, ak_air, xmu_air, ak_s1,
      xmu_s1, ak_s3, xmu_s3;
  double s1_frac = 0, s3_frac = 0, phi1_frac = 0, phi3_frac = 0;

  explicit Sample(std::int32_t model) : key_model(model) {
    for (int i = 1; i <= 2; ++i) {
      akf(i) = 2.25e9, ro2(i) = 1000, eta(i) = 0.00179, ro1(i) = 2650, phi_a(i) = 0.3;
      capa_1_0(i) = 1e-13, capa_3_0(i) = 1e-13, s3(i) = 0.2, rs1(i) = 5e-5, rs3(i) = 1e-6, coef_b13(i) = 1e6;
      ak_air(i) = 1.5e5, xmu_air(i) = 0, ak_s1(i) = 3.8e10, xmu_s1(i) = 4.4e10;
      ro3(i) = model == 0 ? 920 : 2550;
      ak_s3(i) = model == 0 ? 8.58e9 : 2.1e10;
      xmu_s3(i) = model == 0 ? 3.32e9 : 7e9;
    }
    for (int j = 1; j <= nx; ++j) {
      for (int k = 1; k <= ny; ++k) {
        matnum(j, k) = k <= 30 ? 1 : 2;
        binary_ice(j, k) = 0.05 + 0.2 * ((j * 7 + k * 13) % 17) / 16.0;
        phiw(j, k) = model == 0 ? 0.1 : 0.15 + 0.1 * ((j + k) % 5) / 4.0;
      }
    }
  }

  void run() {
    e_modulus(nx, ny, matnum, phi_a, phiw, s3, akf, eta, omega, ak_air, xmu_air, ak_s3, xmu_s3, ak_s1, xmu_s1,
              key_model, lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3, cycle, binary_ice);
    mass_visco_coef(nx, ny, matnum, phi_a, phiw, s3, eta, key_model, ro1, ro2, ro3, capa_1_0, capa_3_0, rs1, rs3,
                    coef_b13, p11, p12, p13, p22, p23, p33, b11, b12, b22, s1_frac, s3_frac, phi1_frac, phi3_frac,
                    binary_ice);
    check_coefficients_finite(nx, ny, *this);
  }
};

void BM_MediumModel60x60(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path previous = fs::current_path();
  const fs::path scratch = fs::temp_directory_path() / ("bench_medium_" + std::to_string(::getpid()));
  fs::create_directories(scratch);
  fs::current_path(scratch);
  open_unit(stdout_unit, "/dev/null");

  auto sample = std::make_unique<Sample>(static_cast<std::int32_t>(state.range(0)));
  sample->cycle = state.range(1) ? 1 : 2;
  for (auto _ : state) {
    sample->run();
    benchmark::DoNotOptimize(sample->d3.data.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel(std::string(state.range(0) == 0 ? "permafrost" : "shaley-sand") +
                 (state.range(1) ? ", elastic record files" : ", no elastic record files"));

  close_all_units();
  fs::current_path(previous);
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
}

}  // namespace

BENCHMARK(BM_MediumModel60x60)
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->ArgNames({"key_model", "files"})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
