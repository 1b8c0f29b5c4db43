// The scalable solver (MUMPS, complex symmetric L D L^T) on the systems of
// a 60 x 60 and a 120 x 120 mesh, with METIS's nested dissection and with
// MUMPS's AMD: the analysis (ordering and symbolic factorisation), the
// numeric factorisation a sweep repeats at every frequency, and one solve;
// beside them the project's own numeric factorisation (with its solve) at
// 60 x 60.
//
// The 60 x 60 system is the project's assembly (fem_system). The project's
// storage stops at 60 x 60, so the 120 x 120 system is a stand-in made
// here: the same element matrices and loads (local_sys, with the boundary
// conditions of every side), on a numbering of the same unknowns (four per
// vertex, one per edge, n = 6 nx ny + 5 nx + 5 ny + 4) assembled into
// compressed rows. Mesh 61 below is that stand-in at 60 x 60, to compare
// it with the project's assembly.
// Counters: n, fill = entries of the factors, est_MB / used_MB = MUMPS's
// memory estimate after the analysis / effectively used by the
// factorisation.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "fem/global_numbering.hpp"
#include "fem/local_sys.hpp"
#include "scalable/symmetric_solver.hpp"
#include "scalable/symmetric_values.hpp"
#include "sparse/sparse.hpp"
#include "tests/sparse_fixtures.hpp"

namespace {

using namespace sparse_fixtures;
using std::int32_t;

// The stand-in assembly of an nx x ny mesh (see above), with the
// coefficients of fem_system.
FemSystem stand_in_system(int32_t nx, int32_t ny) {
  const int32_t vertices = (nx + 1) * (ny + 1);
  auto vertex = [&](int32_t i, int32_t l) { return 4 * (l * (nx + 1) + i); };  // 0-based first unknown
  const int32_t vertical_edges = 4 * vertices;                                 // then (nx+1)*ny of them
  const int32_t horizontal_edges = vertical_edges + (nx + 1) * ny;             // then nx*(ny+1)
  const int32_t n = horizontal_edges + nx * (ny + 1);
  if (n != unknown_count(nx, ny)) throw std::logic_error("stand-in numbering");

  const double omega = 6.283185307179586, h = 1.0 / ny;
  std::vector<std::tuple<int32_t, int32_t, int64_t>> entries;  // row, column, order of arrival
  std::vector<dcomplex> values, rhs(n, dcomplex(0));
  ElementMatrix a_el;
  ElementVector rhs_el;
  int32_t number[21];
  for (int32_t j = 1; j <= nx; ++j)
    for (int32_t k = 1; k <= ny; ++k) {
      // local vertices: lower left, lower right, upper right, upper left
      const int32_t corner[4] = {vertex(j - 1, k - 1), vertex(j, k - 1), vertex(j, k), vertex(j - 1, k)};
      for (int v = 1; v <= 4; ++v) {
        number[slot::solid1_x(v)] = corner[v - 1];
        number[slot::solid1_y(v)] = corner[v - 1] + 1;
        number[slot::solid3_x(v)] = corner[v - 1] + 2;
        number[slot::solid3_y(v)] = corner[v - 1] + 3;
      }
      number[slot::fluid_left] = vertical_edges + (k - 1) * (nx + 1) + (j - 1);
      number[slot::fluid_right] = vertical_edges + (k - 1) * (nx + 1) + j;
      number[slot::fluid_bottom] = horizontal_edges + (k - 1) * nx + (j - 1);
      number[slot::fluid_top] = horizontal_edges + k * nx + (j - 1);
      local_sys(j, k, nx, ny, omega, h, 1.2e10, 3e9, 1.3e10, 3e9, 1e7, 2e9, 1e9, 2.2e9, 1e9, 2650, 0, 0, 1000, 0,
                917, 1e6, 5e7, 1e10, a_el, rhs_el);
      for (int s = 1; s <= 20; ++s) {
        rhs[number[s]] = rhs[number[s]] + rhs_el(s);
        for (int t = 1; t <= 20; ++t) {
          entries.emplace_back(number[s], number[t], static_cast<int64_t>(values.size()));
          values.push_back(a_el(s, t));
        }
      }
    }
  // --- Compressed rows: entries by row and column, summed in arrival order ---
  std::sort(entries.begin(), entries.end());
  FemSystem sys;
  sys.m.n = n;
  sys.m.ia.assign(n + 1, 0);
  sys.m.ia[0] = 1;
  for (std::size_t e = 0; e < entries.size(); ++e) {
    const auto [r, c, at] = entries[e];
    if (e > 0 && std::get<0>(entries[e - 1]) == r && std::get<1>(entries[e - 1]) == c) {
      sys.m.a.back() = sys.m.a.back() + values[at];
      continue;
    }
    sys.m.ja.push_back(c + 1);
    sys.m.a.push_back(values[at]);
    sys.m.ia[r + 1] = static_cast<int32_t>(sys.m.ja.size()) + 1;
  }
  for (int32_t r = 1; r <= n; ++r) sys.m.ia[r] = std::max(sys.m.ia[r], sys.m.ia[r - 1]);
  sys.rhs = rhs;
  return sys;
}

// The systems by mesh (60: the project's assembly; 61: the stand-in at
// 60 x 60; 120: the stand-in), made symmetric once.
struct Systems {
  std::map<int, FemSystem> by_mesh;
  const FemSystem& get(int mesh) {
    auto it = by_mesh.find(mesh);
    if (it != by_mesh.end()) return it->second;
    FemSystem s = mesh == 60 ? fem_system(60, 60) : stand_in_system(mesh == 61 ? 60 : mesh, mesh == 61 ? 60 : mesh);
    std::vector<unsigned char> held(s.m.n);
    scalable::held_unknowns(s.m.n, s.m.ia.data(), s.m.ja.data(), s.m.a.data(), held.data());
    scalable::symmetric_values(s.m.n, s.m.ia.data(), s.m.ja.data(), s.m.a.data(), s.rhs.data(), held.data());
    return by_mesh.emplace(mesh, std::move(s)).first->second;
  }
};

Systems& systems() {
  static Systems s;
  return s;
}

scalable::Ordering ordering_of(int64_t code) {
  return code == 0 ? scalable::Ordering::metis : code == 1 ? scalable::Ordering::amd : scalable::Ordering::amf;
}

void check(const scalable::Status& st) {
  if (!st.good()) throw std::runtime_error(st.message);
}

void count(benchmark::State& state, const scalable::SymmetricSolver& solver, int32_t n) {
  const scalable::Memory m = solver.memory();
  state.counters["n"] = n;
  state.counters["est_MB"] = double(m.estimated_mb);
  if (m.factor_entries >= 0) state.counters["fill"] = m.factor_entries;
  if (m.used_mb >= 0) state.counters["used_MB"] = double(m.used_mb);
}

// Args: mesh (60, 61 or 120), ordering (0 METIS, 1 AMD, 2 AMF).
void BM_MumpsAnalyse(benchmark::State& state) {
  const FemSystem& s = systems().get(int(state.range(0)));
  scalable::SymmetricSolver solver(ordering_of(state.range(1)));
  for (auto _ : state) check(solver.analyse(s.m.n, s.m.ia.data(), s.m.ja.data()));
  count(state, solver, s.m.n);
}

void BM_MumpsFactor(benchmark::State& state) {
  const FemSystem& s = systems().get(int(state.range(0)));
  scalable::SymmetricSolver solver(ordering_of(state.range(1)));
  check(solver.analyse(s.m.n, s.m.ia.data(), s.m.ja.data()));
  for (auto _ : state) check(solver.factor(s.m.a.data()));
  count(state, solver, s.m.n);
}

void BM_MumpsSolve(benchmark::State& state) {
  const FemSystem& s = systems().get(int(state.range(0)));
  scalable::SymmetricSolver solver(ordering_of(state.range(1)));
  check(solver.analyse(s.m.n, s.m.ia.data(), s.m.ja.data()));
  check(solver.factor(s.m.a.data()));
  std::vector<dcomplex> x(s.m.n);
  for (auto _ : state) check(solver.solve(s.rhs.data(), x.data()));
  count(state, solver, s.m.n);
}

const std::vector<std::vector<int64_t>> meshes_and_orderings = {{60, 61, 120}, {0, 1}};
BENCHMARK(BM_MumpsAnalyse)->ArgsProduct(meshes_and_orderings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MumpsFactor)->ArgsProduct(meshes_and_orderings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MumpsSolve)->ArgsProduct(meshes_and_orderings)->Unit(benchmark::kMillisecond);

// The project's numeric factorisation with its solve on the structure of
// its own minimum-degree ordering (what the sweep repeats per frequency),
// at 60 x 60 on the project's assembly (the unsymmetric values: the
// project's solver takes them as they are).
void BM_ProjectNumeric(benchmark::State& state) {
  FemSystem s = fem_system(60, 60);
  auto block = std::make_unique<sparse::WorkBlock>();
  std::vector<int32_t> c(s.m.n), ic(s.m.n);
  std::vector<dcomplex> z(s.m.n);
  int32_t flag = 0, esp = 0;
  zodrv(s.m.n, s.m.ia.data(), s.m.ja.data(), s.m.a.data(), c.data(), ic.data(), block->nsp,
        block->isp(), 1, flag);
  if (flag != 0) throw std::runtime_error("ordering failed");
  zndrv(s.m.n, c.data(), c.data(), ic.data(), s.m.ia.data(), s.m.ja.data(), s.m.a.data(), s.rhs.data(), z.data(),
        block->nsp, block->isp(), block->rsp(), esp, 1, flag, block->scratch);
  if (flag != 0) throw std::runtime_error("factorisation failed");
  for (auto _ : state) {
    zndrv(s.m.n, c.data(), c.data(), ic.data(), s.m.ia.data(), s.m.ja.data(), s.m.a.data(), s.rhs.data(), z.data(),
          block->nsp, block->isp(), block->rsp(), esp, 2, flag, block->scratch);
    if (flag != 0) throw std::runtime_error("factorisation failed");
  }
  state.counters["n"] = s.m.n;
}
BENCHMARK(BM_ProjectNumeric)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
