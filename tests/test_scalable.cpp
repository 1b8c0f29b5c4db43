// The scalable solver (MUMPS with METIS, AMD or AMF, L D L^T of the
// complex symmetric system): its solutions of assembled systems against
// the project's own factorisation, the symmetric form of the assembled
// values, factorisation repeated on one analysis, the error statuses, and
// the serial BLAS underneath.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fem/geometric_order.hpp"
#include "fem/global_numbering.hpp"
#include "scalable/blas_buffer.hpp"
#include "scalable/symmetric_solver.hpp"
#include "scalable/symmetric_values.hpp"
#include "sparse/backward_error.hpp"
#include "sparse/sparse.hpp"
#include "tests/sparse_fixtures.hpp"
#include "tests/test_support.hpp"

namespace {

using namespace sparse_fixtures;
using scalable::Ordering;
using scalable::Status;
using scalable::SymmetricSolver;
using std::int32_t;

// The project's own path (minimum-degree ordering, then symbolic and
// numeric factorisation with the solution), as the pass runs it.
std::vector<dcomplex> project_solution(const FemSystem& s) {
  auto block = std::make_unique<sparse::WorkBlock>();
  Csr<dcomplex> m = s.m;
  std::vector<int32_t> c(m.n), ic(m.n);
  std::vector<dcomplex> z(m.n);
  int32_t flag = 0, esp = 0;
  zodrv(m.n, m.ia.data(), m.ja.data(), m.a.data(), c.data(), ic.data(), block->nsp, block->isp(), 1,
        flag);
  EXPECT_EQ(flag, 0) << "the project's ordering failed";
  zndrv(m.n, c.data(), c.data(), ic.data(), m.ia.data(), m.ja.data(), m.a.data(), s.rhs.data(), z.data(),
        block->nsp, block->isp(), block->rsp(), esp, 1, flag, block->scratch);
  EXPECT_EQ(flag, 0) << "the project's factorisation failed";
  return z;
}

// The system with held columns cleared (values and load).
FemSystem symmetric_form(const FemSystem& s) {
  FemSystem t = s;
  std::vector<unsigned char> held(s.m.n);
  scalable::held_unknowns(t.m.n, t.m.ia.data(), t.m.ja.data(), t.m.a.data(), held.data());
  scalable::symmetric_values(t.m.n, t.m.ia.data(), t.m.ja.data(), t.m.a.data(), t.rhs.data(), held.data());
  return t;
}

// analyse, factor and solve in one object; any failing status fails the test.
std::vector<dcomplex> mumps_solution(SymmetricSolver& solver, const Csr<dcomplex>& m, const std::vector<dcomplex>& b) {
  std::vector<dcomplex> x(m.n, dcomplex(-7.0));
  Status st = solver.analyse(m.n, m.ia.data(), m.ja.data());
  EXPECT_TRUE(st.good()) << st.message;
  st = solver.factor(m.a.data());
  EXPECT_TRUE(st.good()) << st.message;
  st = solver.solve(b.data(), x.data());
  EXPECT_TRUE(st.good()) << st.message;
  return x;
}

double relative_difference(const std::vector<dcomplex>& x, const std::vector<dcomplex>& z) {
  double diff = 0, size = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    diff = std::max(diff, modulus(x[i] - z[i]));
    size = std::max(size, modulus(z[i]));
  }
  return diff / size;
}

bool same_bytes(const std::vector<dcomplex>& x, const std::vector<dcomplex>& y) {
  return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(dcomplex)) == 0;
}

// A small matrix in compressed rows from dense rows (zeros not stored
// unless `keep_zeros`).
Csr<dcomplex> small(const std::vector<std::vector<dcomplex>>& rows, bool keep_zeros = false) {
  Csr<dcomplex> m;
  m.n = static_cast<int32_t>(rows.size());
  m.ia.push_back(1);
  for (const auto& row : rows) {
    for (int32_t c = 0; c < m.n; ++c)
      if (keep_zeros || row[c].re != 0 || row[c].im != 0) {
        m.ja.push_back(c + 1);
        m.a.push_back(row[c]);
      }
    m.ia.push_back(static_cast<int32_t>(m.ja.size()) + 1);
  }
  return m;
}

// ------------------------------------------------- agreement with the project --

struct AgreementCase {
  int32_t nx, ny;
  Ordering ordering;
  int ordering_code;  // what MUMPS reports as the ordering it used
};

TEST(ScalableSolver, AssembledSystemsAgreeWithTheProjectsFactorisation) {
  const AgreementCase cases[] = {
      {3, 4, Ordering::metis, 1}, {3, 4, Ordering::amd, 0},     {20, 20, Ordering::metis, 1},
      {20, 20, Ordering::amf, 2}, {60, 60, Ordering::metis, 1}, {60, 60, Ordering::amd, 0},
  };
  int32_t cached_nx = 0, cached_ny = 0;
  FemSystem s, t;
  std::vector<dcomplex> z;
  for (const AgreementCase& c : cases) {
    SCOPED_TRACE("mesh " + std::to_string(c.nx) + " x " + std::to_string(c.ny) + ", ordering " +
                 std::to_string(c.ordering_code));
    if (c.nx != cached_nx || c.ny != cached_ny) {
      s = fem_system(c.nx, c.ny);
      t = symmetric_form(s);
      z = project_solution(s);
      cached_nx = c.nx;
      cached_ny = c.ny;
    }
    SymmetricSolver solver(c.ordering);
    const std::vector<dcomplex> x = mumps_solution(solver, t.m, t.rhs);
    EXPECT_LT(relative_difference(x, z), 1e-10) << "MUMPS's solution differs from the project's";
    const double omega =
        componentwise_backward_error(s.m.n, s.m.ia.data(), s.m.ja.data(), s.m.a.data(), s.rhs.data(), x.data());
    EXPECT_LT(omega, 1e-13) << "backward error of MUMPS's solution in the assembled (unsymmetric) system";
    const scalable::Memory mem = solver.memory();
    EXPECT_EQ(mem.ordering_used, c.ordering_code) << "MUMPS did not use the ordering asked for";
    EXPECT_GE(mem.estimated_mb, 0) << "no memory estimate after the analysis";
    EXPECT_GE(mem.allocated_mb, 0) << "no memory figure after the factorisation";
    EXPECT_GT(mem.factor_entries, double(s.m.nnz()) / 2) << "the factors cannot hold fewer entries than A's triangle";
    EXPECT_EQ(solver.order(), s.m.n);
  }
}

// --------------------------------------------------------- symmetric form --

TEST(ScalableSymmetricValues, AssembledSystemsBecomeSymmetricBitForBit) {
  for (auto [nx, ny] : {std::pair{3, 4}, std::pair{20, 20}}) {
    SCOPED_TRACE("mesh " + std::to_string(nx) + " x " + std::to_string(ny));
    const FemSystem s = fem_system(nx, ny);
    std::vector<unsigned char> held(s.m.n);
    const int32_t count = scalable::held_unknowns(s.m.n, s.m.ia.data(), s.m.ja.data(), s.m.a.data(), held.data());
    EXPECT_GT(count, 0) << "the assembled system has no held unknown";
    FemSystem t = s;
    scalable::symmetric_values(t.m.n, t.m.ia.data(), t.m.ja.data(), t.m.a.data(), t.rhs.data(), held.data());
    // the value at (r,c) for every stored pair, before and after
    int32_t asymmetric_before = 0, asymmetric_after = 0;
    for (int32_t r = 1; r <= s.m.n; ++r)
      for (int32_t p = s.m.ia[r - 1]; p < s.m.ia[r]; ++p) {
        const int32_t c = s.m.ja[p - 1];
        const auto row_c = s.m.ja.begin() + (s.m.ia[c - 1] - 1), end_c = s.m.ja.begin() + (s.m.ia[c] - 1);
        const auto q = std::find(row_c, end_c, r) - s.m.ja.begin();
        ASSERT_LT(q, s.m.ia[c] - 1) << "pattern not symmetric at (" << r << "," << c << ")";
        asymmetric_before += std::memcmp(&s.m.a[p - 1], &s.m.a[q], sizeof(dcomplex)) != 0;
        asymmetric_after += std::memcmp(&t.m.a[p - 1], &t.m.a[q], sizeof(dcomplex)) != 0;
      }
    EXPECT_GT(asymmetric_before, 0) << "the assembled values were expected to be unsymmetric in held columns";
    EXPECT_EQ(asymmetric_after, 0) << "stored pairs still differ after clearing the held columns";
    EXPECT_TRUE(same_bytes(s.rhs, t.rhs)) << "the loads of held unknowns are zero: the load must stay untouched";
  }
}

TEST(ScalableSymmetricValues, HeldUnknownWithALoadMovesItsColumnToTheLoad) {
  // unknown 2 is held at x2 = 6 / 3 = 2; rows 1 and 3 couple to it
  const std::vector<std::vector<dcomplex>> rows = {
      {dcomplex(4, 1), dcomplex(1, -1), dcomplex(0.5, 0)},
      {dcomplex(0), dcomplex(3, 0), dcomplex(0)},
      {dcomplex(0.5, 0), dcomplex(2, 0.5), dcomplex(5, 0)},
  };
  const Csr<dcomplex> original = small(rows, true);
  const std::vector<dcomplex> b = {dcomplex(1, 2), dcomplex(6, 0), dcomplex(-1, 0)};
  Csr<dcomplex> m = original;
  std::vector<dcomplex> rhs = b;
  std::vector<unsigned char> held(3);
  EXPECT_EQ(scalable::held_unknowns(3, m.ia.data(), m.ja.data(), m.a.data(), held.data()), 1);
  EXPECT_EQ(held, (std::vector<unsigned char>{0, 1, 0}));
  scalable::symmetric_values(3, m.ia.data(), m.ja.data(), m.a.data(), rhs.data(), held.data());
  SymmetricSolver solver;
  const std::vector<dcomplex> x = mumps_solution(solver, m, rhs);
  EXPECT_LT(relative_difference(x, dense_solve(original, b)), 1e-14)
      << "moving the held column to the load changed the solution";
}

// ---------------------------------------------- one analysis, many factors --

TEST(ScalableSolver, RepeatedFactorisationMatchesAFreshAnalysisByteForByte) {
  const FemSystem t = symmetric_form(fem_system(20, 20));
  // second values: a symmetric change of every diagonal entry
  Csr<dcomplex> m2 = t.m;
  for (int32_t r = 1; r <= m2.n; ++r)
    for (int32_t p = m2.ia[r - 1]; p < m2.ia[r]; ++p)
      if (m2.ja[p - 1] == r) m2.a[p - 1] = m2.a[p - 1] * dcomplex(1.25, 0.5);
  for (Ordering ordering : {Ordering::metis, Ordering::amd}) {
    SCOPED_TRACE(ordering == Ordering::metis ? "METIS" : "AMD");
    SymmetricSolver reused(ordering);
    const std::vector<dcomplex> x1 = mumps_solution(reused, t.m, t.rhs);
    std::vector<dcomplex> x2(t.m.n);
    ASSERT_TRUE(reused.factor(m2.a.data()).good());
    ASSERT_TRUE(reused.solve(t.rhs.data(), x2.data()).good());
    SymmetricSolver fresh(ordering);
    EXPECT_TRUE(same_bytes(x2, mumps_solution(fresh, m2, t.rhs))) << "refactorisation differs from a fresh analysis";
    EXPECT_FALSE(same_bytes(x1, x2)) << "the second values were not used";
    // two objects interleaved on one thread keep their own factors
    std::vector<dcomplex> x1_again(t.m.n);
    SymmetricSolver other(ordering);
    mumps_solution(other, t.m, t.rhs);
    ASSERT_TRUE(other.factor(t.m.a.data()).good());
    ASSERT_TRUE(reused.solve(t.rhs.data(), x1_again.data()).good());
    EXPECT_TRUE(same_bytes(x1_again, x2)) << "another object's factorisation disturbed this object's factors";
    // factorising in the values' own storage: the same factors, and the
    // values whole again after it
    std::vector<dcomplex> borrowed = m2.a, x2_borrowed(t.m.n);
    ASSERT_TRUE(reused.factor_borrowing(borrowed.data()).good());
    ASSERT_TRUE(reused.solve(t.rhs.data(), x2_borrowed.data()).good());
    EXPECT_TRUE(same_bytes(x2_borrowed, x2)) << "factorising in place changed the factors";
    EXPECT_TRUE(same_bytes(borrowed, m2.a)) << "the borrowed values were not given back whole";
  }
}

// --------------------------------------------------------------- statuses --

TEST(ScalableSolverStatus, FailuresAreReportedNotThrown) {
  const dcomplex one(1.0), two(2.0);
  SymmetricSolver solver;
  std::vector<dcomplex> x(2), b = {one, one};

  // out of order
  EXPECT_EQ(solver.factor(b.data()).kind, Status::out_of_order) << "factor before analyse";
  EXPECT_EQ(solver.solve(b.data(), x.data()).kind, Status::out_of_order) << "solve before factor";

  // an unsymmetric pattern: (1,2) stored, (2,1) not
  const Csr<dcomplex> lopsided = small({{one, one}, {dcomplex(0), one}});
  Status st = solver.analyse(2, lopsided.ia.data(), lopsided.ja.data());
  EXPECT_EQ(st.kind, Status::bad_pattern) << st.message;
  EXPECT_FALSE(st.message.empty());

  // unsymmetric values on a symmetric pattern
  const Csr<dcomplex> unsymmetric = small({{two, one}, {two, two}});
  ASSERT_TRUE(solver.analyse(2, unsymmetric.ia.data(), unsymmetric.ja.data()).good());
  st = solver.factor(unsymmetric.a.data());
  EXPECT_EQ(st.kind, Status::asymmetric_values) << st.message;
  EXPECT_NE(st.message.find("a(2,1)"), std::string::npos) << "the message must name the entry: " << st.message;
  EXPECT_EQ(solver.solve(b.data(), x.data()).kind, Status::out_of_order) << "solve after a failed factor";

  // a singular matrix: MUMPS's own error, turned into a status
  const Csr<dcomplex> singular = small({{one, one}, {one, one}});
  st = solver.factor(singular.a.data());
  EXPECT_EQ(st.kind, Status::mumps_failed) << st.message;
  EXPECT_LT(st.infog1, 0);
  EXPECT_NE(st.message.find("singular"), std::string::npos) << st.message;

  // a zero pivot in the analysis's order: without pivoting MUMPS fails (or
  // gives a solution that is not finite), which a pass meets with threshold
  // pivoting, the default, that solves the same system exactly
  const Csr<dcomplex> swapped = small({{dcomplex(0), one}, {one, dcomplex(0)}}, true);
  ASSERT_TRUE(solver.analyse(2, swapped.ia.data(), swapped.ja.data()).good());
  solver.pivoting(false);
  st = solver.factor(swapped.a.data());
  if (st.good()) st = solver.solve(b.data(), x.data());
  EXPECT_TRUE(!st.good() || !std::isfinite(x[0].re)) << "no pivoting, yet a solution " << x[0].re;
  solver.pivoting(true);
  ASSERT_TRUE(solver.factor(swapped.a.data()).good());
  ASSERT_TRUE(solver.solve(b.data(), x.data()).good());
  EXPECT_LT(relative_difference(x, {one, one}), 1e-15);

  // and the object still works
  ASSERT_TRUE(solver.analyse(2, singular.ia.data(), singular.ja.data()).good());
  const Csr<dcomplex> regular = small({{two, one}, {one, two}});
  ASSERT_TRUE(solver.factor(regular.a.data()).good());
  ASSERT_TRUE(solver.solve(b.data(), x.data()).good());
  EXPECT_LT(relative_difference(x, {dcomplex(1.0 / 3), dcomplex(1.0 / 3)}), 1e-15);
}

// ------------------------------------------------------------ the library --

TEST(ScalableSolverLibrary, TheBlasLoadedIsTheSerialOpenBlas) {
  EXPECT_TRUE(scalable::blas_is_serial()) << "the OpenBLAS loaded is built with threads";
  std::ifstream maps("/proc/self/maps");
  std::string line, blas;
  while (std::getline(maps, line))
    if (line.find("libopenblas") != std::string::npos || line.find("libblas") != std::string::npos) blas = line;
  EXPECT_NE(blas.find("openblas-serial"), std::string::npos) << "BLAS mapped from: " << blas;
}

// The address space the process holds (VmSize), in bytes.
std::uint64_t address_space_held() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmSize:", 0) == 0) return std::stoull(line.substr(7)) * 1024;
  return 0;
}

TEST(ScalableSolverLibrary, TheBlasBufferTakenAtStartIsTheOneTheFactorisationUses) {
  // The reservation must hold OpenBLAS's whole buffer (a larger one would
  // find the address space it was checked against too small), and a
  // factorisation afterwards must map no buffer of its own.
  const std::uint64_t before = address_space_held();
  scalable::take_blas_buffer();
  const std::uint64_t taken = address_space_held() - before;
  EXPECT_TRUE(scalable::blas_buffer_taken());
  if (taken > 0) {  // 0 when an earlier test of this process mapped it
    EXPECT_GE(taken, std::uint64_t{128} << 20) << "the first level-3 call mapped no buffer";
    EXPECT_LE(taken, scalable::blas_buffer_bytes) << "OpenBLAS's buffer outgrew blas_buffer_bytes";
  }
  const FemSystem s = fem_system(30, 30);
  const FemSystem t = symmetric_form(s);
  SymmetricSolver solver(Ordering::amd);
  const std::uint64_t ready = address_space_held();
  const std::vector<dcomplex> x = mumps_solution(solver, t.m, t.rhs);
  ASSERT_EQ(x.size(), static_cast<std::size_t>(t.m.n));
  const std::uint64_t grown = address_space_held() - std::min(address_space_held(), ready);
  EXPECT_LT(grown, std::uint64_t{100} << 20) << "the factorisation mapped a second BLAS buffer";
}

// The full pattern of the mesh's unknowns under a load's numbering (every
// two unknowns of one cell couple), in 1-based compressed rows.
struct MeshPattern {
  int32_t n = 0;
  std::vector<int32_t> ia, ja;
  NodeTable xnod;
};

MeshPattern mesh_pattern(int32_t nx, int32_t ny, TopLoad load) {
  MeshPattern p;
  p.xnod.resize(nx * ny);
  if (load == TopLoad::periodic) {
    std::vector<int32_t> mark;
    periodic_numbering(nx, ny, p.xnod, mark);
  } else {
    number_unknowns(load, nx, ny, p.xnod);
  }
  for (int e = 1; e <= nx * ny; ++e)
    for (int s = 1; s <= NodeTable::slots; ++s) p.n = std::max(p.n, p.xnod(e, s));
  std::vector<std::vector<int32_t>> rows(p.n);
  for (int e = 1; e <= nx * ny; ++e)
    for (int s = 1; s <= NodeTable::slots; ++s)
      for (int t = 1; t <= NodeTable::slots; ++t) rows[p.xnod(e, s) - 1].push_back(p.xnod(e, t));
  p.ia.push_back(1);
  for (auto& row : rows) {
    std::sort(row.begin(), row.end());
    row.erase(std::unique(row.begin(), row.end()), row.end());
    p.ja.insert(p.ja.end(), row.begin(), row.end());
    p.ia.push_back(static_cast<int32_t>(p.ja.size()) + 1);
  }
  return p;
}

TEST(GeometricOrder, IsAPermutationForEveryLoadAndFillsNoMoreThanMetis) {
  struct Case {
    int32_t nx, ny;
    TopLoad load;
    bool against_metis;
  };
  const Case cases[] = {{1, 1, TopLoad::split, false},    {7, 7, TopLoad::split, false},
                        {8, 5, TopLoad::piston, false},   {5, 12, TopLoad::periodic, false}, {1, 3, TopLoad::periodic, false},
                        {4, 1, TopLoad::periodic, false},
                        {60, 60, TopLoad::split, true},   {120, 120, TopLoad::split, true},
                        {90, 61, TopLoad::piston, true},  {60, 60, TopLoad::periodic, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.nx << " x " << c.ny << ", load " << static_cast<int>(c.load));
    const MeshPattern p = mesh_pattern(c.nx, c.ny, c.load);
    std::vector<int32_t> perm;
    geometric_order(c.nx, c.ny, p.xnod, p.n, perm);
    ASSERT_EQ(perm.size(), static_cast<std::size_t>(p.n));
    std::vector<int32_t> sorted = perm;
    std::sort(sorted.begin(), sorted.end());
    for (int32_t i = 0; i < p.n; ++i) ASSERT_EQ(sorted[i], i + 1) << "not a permutation of 1..n";
    if (!c.against_metis) continue;
    SymmetricSolver geometric(Ordering::given), metis(Ordering::metis);
    Status st = geometric.analyse(p.n, p.ia.data(), p.ja.data(), perm.data());
    ASSERT_TRUE(st.good()) << st.message;
    st = metis.analyse(p.n, p.ia.data(), p.ja.data());
    ASSERT_TRUE(st.good()) << st.message;
    EXPECT_EQ(geometric.memory().ordering_used, 1) << "MUMPS did not take the given order";
    const double ours = geometric.memory().estimated_entries, theirs = metis.memory().estimated_entries;
    EXPECT_LE(ours, theirs);
  }
}

}  // namespace
