// The cost of a frequency of the effective stiffness against one test:
// the 60 x 60 patchy permafrost example under the piston, each pass on a
// structure laid out once (as the sweep does).
//   one test:  the sweep's pass (medium, density, analytic reference,
//              assembly, numeric factorisation, solution, evaluation);
//   tensor:    the same pass, then the horizontal and shear tests on the
//              coefficients it formed (assembly, numeric factorisation,
//              solution and averages of each), the stiffness and the
//              qP and qSV waves at 7 angles.
// Target: the tensor in at most 3.2 times one test.
//   cmake -S . -B build -DUPSCALE_BENCH=ON && cmake --build build --target bench_tensor
//   build/bench_tensor
#include <benchmark/benchmark.h>

#include <filesystem>
#include <sstream>

#include "bench/bench_support.hpp"
#include "common/input.hpp"
#include "common/units.hpp"
#include "sweep/effective_tensor.hpp"
#include "driver/pass.hpp"
#include "driver/readata.hpp"
#include "sweep/tensor_pass.hpp"

namespace fs = std::filesystem;

namespace {

// The example read once, the three tests' structures laid out once.
struct Tensor {
  RunStoragePtr vertical = make_run_storage(), horizontal = make_run_storage(), shear = make_run_storage();

  Tensor() {
    const fs::path dir = fs::temp_directory_path() / "upscale_bench_tensor";
    fs::create_directories(dir);
    const fs::path example = fs::path(UPSCALE_EXAMPLES) / "permafrost_patchy";
    for (const auto& entry : fs::directory_iterator(example)) {
      fs::copy_file(entry.path(), dir / entry.path().filename(), fs::copy_options::overwrite_existing);
    }
    fs::current_path(dir);
    OutputDiscarded quiet;
    std::istringstream text(slurp("deck.in"));
    LineInput input(text, "standard input");
    RunStorage& run = *vertical;
    run.load = TopLoad::piston;
    readata(input, run.deck);
    material_map_stage(run);
    read_binary_ice(run);
    read_patchy_map(run);
    PassScalars layout;
    structure_stage(run, layout);
    other_test_structure(run, HarmonicTest::horizontal, *horizontal);
    other_test_structure(run, HarmonicTest::shear, *shear);
  }
};

Tensor& tensor() {
  static Tensor t;
  return t;
}

PassScalars pass_at(double frequency) {
  PassScalars pass;
  pass.frequency = frequency;
  pass.omega = angular_frequency(frequency);
  pass.freq_log = frequency;
  return pass;
}

void BM_one_test_frequency(benchmark::State& state) {
  Tensor& t = tensor();
  OutputDiscarded quiet;
  for (auto _ : state) {
    PassScalars pass = pass_at(1.0);
    benchmark::DoNotOptimize(run_pass(*t.vertical, pass, SystemLayout::reuse));
  }
}
BENCHMARK(BM_one_test_frequency)->Unit(benchmark::kMillisecond)->MinTime(5.0);

void BM_tensor_frequency(benchmark::State& state) {
  Tensor& t = tensor();
  OutputDiscarded quiet;
  for (auto _ : state) {
    PassScalars pass = pass_at(1.0);
    run_pass(*t.vertical, pass, SystemLayout::reuse);
    const RunStorage& run = *t.vertical;
    double error = 0;
    const StressStrainAverages vertical = average_stress_strain(run.deck, run.coef, run.xnod, run.z.data());
    const StressStrainAverages horizontal = solve_other_test(*t.horizontal, run.coef, pass, error);
    const StressStrainAverages shear = solve_other_test(*t.shear, run.coef, pass, error);
    const EffectiveStiffness c = effective_stiffness(vertical, horizontal, shear);
    for (int a = 0; a < angle_count(15.0); ++a) {
      benchmark::DoNotOptimize(christoffel_waves(c, pass.rob_med, angle_at(15.0, a)));
    }
  }
}
BENCHMARK(BM_tensor_frequency)->Unit(benchmark::kMillisecond)->MinTime(5.0);

// Each test's own assembly, numeric factorisation, solution and averages
// (0 vertical, 1 horizontal, 2 shear): the three cost the same, since the
// horizontal test is numbered as the vertical one of the mirrored mesh.
void BM_other_test(benchmark::State& state) {
  Tensor& t = tensor();
  OutputDiscarded quiet;
  PassScalars pass = pass_at(1.0);
  run_pass(*t.vertical, pass, SystemLayout::reuse);
  RunStorage& other = state.range(0) == 0 ? *t.vertical : state.range(0) == 1 ? *t.horizontal : *t.shear;
  for (auto _ : state) {
    double error = 0;
    benchmark::DoNotOptimize(solve_other_test(other, t.vertical->coef, pass, error));
  }
}
BENCHMARK(BM_other_test)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
