// Sparse direct solver: minimum-degree ordering, symmetric reordering,
// symbolic and numeric factorisation, solves, and the two drivers with
// their partition of the work block and their error codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numeric>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "sparse/kernels.hpp"
#include "sparse/ndrv.hpp"
#include "sparse/odrv.hpp"
#include "sparse/sparse.hpp"
#include "tests/sparse_fixtures.hpp"
#include "tests/test_support.hpp"

namespace {

using namespace sparse_fixtures;
using std::int32_t;

// ---------------------------------------------------------------- helpers --

// The run's own work block (static: 177 MB).
sparse::WorkBlock run_block;

// Ordering through the ordering driver, in a block of nsp integer words.
struct Ordering {
  std::vector<int32_t> p, ip;
  int32_t flag = -7;
};

Ordering order(Csr<dcomplex>& m, int32_t nsp, int32_t path = 1) {
  Ordering o;
  o.p.assign(m.n, -5);
  o.ip.assign(m.n, -5);
  TestBlock<int32_t> block(nsp);
  zodrv(m.n, m.ia.data(), m.ja.data(), m.a.data(), o.p.data(), o.ip.data(), nsp, block.isp(), path,
        o.flag);
  return o;
}

Ordering order(Csr<dcomplex>& m) { return order(m, 3 * m.n + 4 * m.nnz() + 10); }

std::vector<int32_t> identity(int32_t n) {
  std::vector<int32_t> p(n);
  std::iota(p.begin(), p.end(), 1);
  return p;
}

// One factor-driver call on family V with a block of nsp value words and
// a factorisation scratch of its own.
template <class V>
struct FactorRun {
  TestBlock<V> block;
  std::unique_ptr<sparse::FactorScratch> scratch = std::make_unique<sparse::FactorScratch>();
  int32_t esp = -12345;
  int32_t flag = -12345;
  explicit FactorRun(int32_t nsp) : block(nsp) {}
  void call(const Csr<V>& m, const std::vector<int32_t>& p, const std::vector<int32_t>& ip,
            const V* b, V* z, int32_t path) {
    sparse::ndrv(m.n, p.data(), p.data(), ip.data(), m.ia.data(), m.ja.data(), m.a.data(), b, z,
                 block.nsp, block.isp(), block.rsp(), esp, path, flag, scratch.get());
  }
};

// The ways the numeric factorisation can run on this machine: row by row
// (no scratch), and in blocks with every kernel the processor supports.
struct FactorPath {
  std::string name;
  bool blocked;
  sparse::Kernel kernel;
};

std::vector<FactorPath> factor_paths() {
  std::vector<FactorPath> paths{{"row by row", false, sparse::Kernel::portable}};
  for (sparse::Kernel k : sparse::all_kernels)
    if (sparse::kernel_supported(k)) paths.push_back({sparse::kernel_name(k), true, k});
  return paths;
}

// Symbolic factorisation into plain arrays.
struct Symbolic {
  std::vector<int32_t> il, jl, iu, ju, q, im;
  int32_t flag = -1;
};

Symbolic symbolic(const Csr<dcomplex>& m, const std::vector<int32_t>& p,
                  const std::vector<int32_t>& ip, int32_t jlmax = -1, int32_t jumax = -1) {
  const int32_t n = m.n;
  if (jlmax < 0) jlmax = n * (n - 1) / 2 + 1;
  if (jumax < 0) jumax = n * (n - 1) / 2 + 1;
  Symbolic s;
  s.il.assign(n + 1, 0);
  s.iu.assign(n + 1, 0);
  s.jl.assign(std::max(jlmax, 1), 0);
  s.ju.assign(std::max(jumax, 1), 0);
  s.q.assign(n + 1, 0);
  s.im.assign(n, 0);
  znsf(n, p.data(), ip.data(), m.ia.data(), m.ja.data(), s.il.data(), s.jl.data(), jlmax,
       s.iu.data(), s.ju.data(), jumax, s.q.data(), s.im.data(), s.flag);
  return s;
}

std::vector<int32_t> row_of(const std::vector<int32_t>& ptr, const std::vector<int32_t>& idx,
                            int32_t k) {
  return std::vector<int32_t>(idx.begin() + (ptr[k - 1] - 1), idx.begin() + (ptr[k] - 1));
}

// The factors and solution of one numeric factorisation in plain arrays.
template <class V>
struct Numeric {
  std::vector<V> l, d, u, z, row, tmp;
  int32_t flag = -1;
};

template <class V>
Numeric<V> prepare(const Symbolic& s, int32_t n) {
  Numeric<V> f;
  f.l.assign(std::max(s.il[n] - 1, 1), V(-99));
  f.u.assign(std::max(s.iu[n] - 1, 1), V(-99));
  f.d.assign(n, V(-99));
  f.z.assign(n, V(-99));
  f.row.assign(n, V(-99));
  f.tmp.assign(n, V(-99));
  return f;
}

template <class V>
bool same_bits(const std::vector<V>& a, const std::vector<V>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(V)) == 0;
}

// A matrix from a dense table (zero entries are not stored unless listed
// in `explicit_zeros` as (row, column) pairs).
Csr<dcomplex> dense(const std::vector<std::vector<dcomplex>>& rows,
                    const std::set<std::pair<int32_t, int32_t>>& explicit_zeros = {}) {
  Csr<dcomplex> m;
  m.n = static_cast<int32_t>(rows.size());
  m.ia.push_back(1);
  for (int32_t i = 1; i <= m.n; ++i) {
    for (int32_t j = 1; j <= m.n; ++j) {
      const dcomplex v = rows[i - 1][j - 1];
      if (!(v == dcomplex(0)) || explicit_zeros.count({i, j})) {
        m.ja.push_back(j);
        m.a.push_back(v);
      }
    }
    m.ia.push_back(static_cast<int32_t>(m.ja.size()) + 1);
  }
  return m;
}

Csr<dcomplex> dense_pattern(int32_t n) {
  std::vector<std::set<int32_t>> rows(n);
  for (auto& r : rows)
    for (int32_t j = 1; j <= n; ++j) r.insert(j);
  return with_random_values<dcomplex>(from_rows(rows), 7);
}

// ------------------------------------------------- ordering: small graphs --

TEST(OrderingSmallGraphs, StarWithCentreOneIsOrdered4312) {
  // row 1 holds columns 2, 3, 4; the leaves have only their diagonal
  auto m = from_rows({{1, 2, 3, 4}, {2}, {3}, {4}});
  const Ordering o = order(m);
  ASSERT_EQ(o.flag, 0) << "ordering of the star failed";
  EXPECT_EQ(o.p, (std::vector<int32_t>{4, 3, 1, 2}))
      << "leaf 4 heads degree list 2, then leaf 3; the centre, re-inserted at the front of list "
         "2, comes before leaf 2, which is then interior";
  EXPECT_EQ(o.ip, (std::vector<int32_t>{3, 4, 2, 1})) << "ip must be the inverse of p";
}

TEST(OrderingSmallGraphs, DiagonalMatrixIsOrderedBackwards) {
  auto m = from_rows({{1}, {2}, {3}, {4}, {5}, {6}});
  const Ordering o = order(m);
  ASSERT_EQ(o.flag, 0);
  EXPECT_EQ(o.p, (std::vector<int32_t>{6, 5, 4, 3, 2, 1}))
      << "with every degree 1 the highest-numbered vertex heads the list";
}

TEST(OrderingSmallGraphs, LowerTriangleEntriesPlayNoPart) {
  // only entries below the diagonal: no adjacency at all
  auto m = from_rows({{1}, {1, 2}, {1, 2, 3}, {2, 4}});
  const Ordering o = order(m);
  ASSERT_EQ(o.flag, 0);
  EXPECT_EQ(o.p, (std::vector<int32_t>{4, 3, 2, 1}))
      << "a pattern with no strict upper entries must order like a diagonal matrix";
}

TEST(OrderingSmallGraphs, PathGraphEliminatesFromTheHighEnd) {
  // 1-2-3-4-5: ends have degree 2; 5 heads list 2, and each new end is
  // re-inserted at the front of list 2; vertex 1 is finally interior.
  auto m = from_rows({{1, 2}, {2, 3}, {3, 4}, {4, 5}, {5}});
  const Ordering o = order(m);
  ASSERT_EQ(o.flag, 0);
  EXPECT_EQ(o.p, (std::vector<int32_t>{5, 4, 3, 2, 1}));
}

TEST(OrderingSmallGraphs, RepeatedColumnIsEnteredOnceAndRejectedBySymbolicPhase) {
  // A malformed row (column 3 twice) must neither corrupt the lists nor
  // change the ordering; the symbolic phase then names the row.
  auto clean = from_rows({{1, 2, 3}, {2, 3}, {3, 4}, {4}});
  Csr<dcomplex> bad = clean;
  bad.ja = {1, 2, 3, 3, 2, 3, 3, 4, 4};
  bad.ia = {1, 5, 7, 9, 10};
  bad.a.assign(bad.ja.size(), dcomplex(1));
  const Ordering a = order(clean);
  const Ordering b = order(bad);
  ASSERT_EQ(b.flag, 0) << "a repeated column is not an ordering error";
  EXPECT_EQ(a.p, b.p) << "the repeated entry must not change the ordering";
  std::vector<int32_t> seen(b.p);
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, identity(4)) << "the ordering must still be a permutation";
  const Symbolic s = symbolic(bad, b.p, b.ip);
  EXPECT_EQ(s.flag, 2 * 4 + 1) << "row 1 holds column 3 twice";
}

// Three places where the purge step must keep the lists intact: a
// prototype that already ends the element's boundary list, a walk whose
// count is taken before mass elimination lowers the element's size, and a
// vertex that is in no degree list when a new element meets it.

bool is_permutation_with_inverse(const Ordering& o) {
  const int32_t n = static_cast<int32_t>(o.p.size());
  std::vector<int32_t> seen(o.p);
  std::sort(seen.begin(), seen.end());
  if (seen != identity(n)) return false;
  for (int32_t k = 1; k <= n; ++k)
    if (o.ip[o.p[k - 1] - 1] != k) return false;
  return true;
}

TEST(OrderingPurge, PrototypeEndingTheBoundaryListAndMassEliminationInOneWalk) {
  // Edges 1-4, 2-3, 2-5, 2-7, 3-4, 4-7; vertex 6 isolated.  Worked by hand:
  // 6 (degree 1); 5 (degree 2, makes element 5 = {2}); 1 (degree 2,
  // element 1 = {4}); 4 (degree 3, absorbs 1, element 4 = {7, 3}); 3
  // (degree 3, absorbs 4, element 3 = {7, 2}): 7 is interior and is
  // numbered at once, and 2, adjacent to elements 3 and 5 only, is the
  // prototype of 5 while its entry ends the list; its degree by inclusion
  // and exclusion is 1 + 1 - 1 = 1, so 2 comes last.
  auto m = from_rows({{1, 4}, {2, 3, 5, 7}, {3, 4}, {4, 7}, {5}, {6}, {7}});
  const Ordering o = order(m);
  ASSERT_EQ(o.flag, 0);
  EXPECT_EQ(o.p, (std::vector<int32_t>{6, 5, 1, 4, 3, 7, 2}))
      << "the prototype at the tail must stay in the element, and the walk must visit both "
         "vertices of element 3 although 7 is mass-eliminated first";
}

TEST(OrderingPurge, VertexInNoDegreeListLeavesTheListsIntact) {
  // A duplicate vertex (kept out of the degree lists) that a later element
  // contains: taking it "out" of its list must change nothing.
  auto m = from_rows({{1, 5, 7}, {2, 3, 4, 6, 8}, {3, 5, 7, 8}, {4, 5, 6, 7, 8, 9},
                      {5, 7}, {6}, {7}, {8}, {9}});
  const Ordering o = order(m);
  ASSERT_EQ(o.flag, 0);
  EXPECT_TRUE(is_permutation_with_inverse(o)) << "the degree lists were corrupted";
}

TEST(OrderingPurge, RandomSmallGraphsAlwaysGiveAPermutation) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    auto m = random_pattern(5 + seed % 20, 1 + seed % 3, seed, true);
    const Ordering o = order(m);
    ASSERT_EQ(o.flag, 0) << "seed " << seed;
    ASSERT_TRUE(is_permutation_with_inverse(o)) << "seed " << seed;
  }
}

// ------------------------------------------------ ordering: real mesh fill --

TEST(OrderingFiniteElementMesh, PermutationAndFillOfThe60By60System) {
  auto m = fem_pattern(60, 60);
  ASSERT_EQ(m.n, 22204);
  ASSERT_EQ(m.nnz(), 922216) << "the 60 x 60 pattern must have 922216 entries";
  Ordering o;
  o.p.assign(m.n, 0);
  o.ip.assign(m.n, 0);
  zodrv(m.n, m.ia.data(), m.ja.data(), m.a.data(), o.p.data(), o.ip.data(), classic_work_words,
        run_block.isp(), 1, o.flag);
  ASSERT_EQ(o.flag, 0);
  for (int32_t k = 1; k <= m.n; ++k) ASSERT_EQ(o.ip[o.p[k - 1] - 1], k) << "ip(p(k)) != k";
  const Symbolic s = symbolic(m, o.p, o.ip, 4000000, 4000000);
  ASSERT_EQ(s.flag, 0);
  const double fill = double(s.il[m.n] - 1) + double(s.iu[m.n] - 1);
  double ops = 0;
  for (int32_t j = 1; j < s.il[m.n]; ++j) {
    const int32_t i = s.jl[j - 1];
    ops += s.iu[i] - s.iu[i - 1];
  }
  // This minimum-degree ordering gives factors of about 5.8 million entries and
  // about 0.83 billion multiply-adds; a different tie-break or update rule
  // moves these by several per cent.
  EXPECT_NEAR(fill, 5.8e6, 0.01 * 5.8e6) << "fill of the minimum-degree ordering is off";
  EXPECT_NEAR(ops, 0.83e9, 0.01 * 0.83e9) << "operation count of the ordering is off";
}

// ----------------------------------------------- ordering: storage limits --

TEST(OrderingStorage, ExactListRoomSucceedsAndOneWordLessFails) {
  // path 1-2-3: k = 2 adjacencies, the last one entered from row 2
  auto m = from_rows({{1, 2}, {2, 3}, {3}});
  const int32_t n = 3, k = 2;
  for (int32_t max : {n + 2 * k, n + 2 * k - 1}) {
    std::vector<int32_t> v(max), link(max), head(n), last(n), next(n);
    int32_t flag = -1;
    md(n, m.ia.data(), m.ja.data(), max, v.data(), link.data(), head.data(), last.data(),
       next.data(), v.data(), flag);
    if (max == n + 2 * k) {
      EXPECT_EQ(flag, 0) << "max = n + 2k must suffice";
    } else {
      EXPECT_EQ(flag, 9 * n + 2) << "one word short must fail at row 2, the last adjacency";
    }
  }
}

TEST(OrderingStorage, DriverPartitionGivesMaxOfHalfTheRest) {
  // max = (nsp - n) div 2: nsp = 3n + 4k gives exactly n + 2k
  auto m = from_rows({{1, 2}, {2, 3}, {3}});
  EXPECT_EQ(order(m, 3 * 3 + 8).flag, 0);
  EXPECT_EQ(order(m, 3 * 3 + 7).flag, 9 * 3 + 2) << "(nsp - n) div 2 truncates";
}

TEST(OrderingStorage, TooSmallBlockFailsBeforeOrdering) {
  auto m = from_rows({{1, 2}, {2, 3}, {3}});
  const Ordering o = order(m, 3 * 3 - 1);  // max = n - 1
  EXPECT_EQ(o.flag, 10 * 3 + 1);
  EXPECT_EQ(o.p, std::vector<int32_t>(3, -5)) << "no permutation may be written";
  EXPECT_EQ(order(m, 10 * 3 + 1).flag, 0) << "nsp = 10n + 1 leaves room for this graph";
}

TEST(OrderingStorage, PathOutsideOneToFiveIsRejected) {
  auto m = from_rows({{1, 2}, {2, 3}, {3}});
  for (int32_t path : {0, 6}) {
    const Ordering o = order(m, 100, path);
    EXPECT_EQ(o.flag, 11 * 3 + 1) << "path " << path;
    EXPECT_EQ(o.p, std::vector<int32_t>(3, -5)) << "path " << path << " must do nothing";
  }
}

TEST(OrderingStorage, OrderingDriverUsesOnlyTheFirstNspIntegerWordsOfTheRunBlock) {
  static_assert(sparse::WorkBlock::default_nsp == classic_work_words,
                "the work block is nsp double-complex words");
  auto m = fem_pattern(4, 3);
  int32_t* isp = run_block.isp();
  isp[classic_work_words] = 123456789;  // integer word nsp + 1
  isp[4 * classic_work_words - 1] = 987654321;  // the last integer word of the block
  Ordering o;
  o.p.assign(m.n, 0);
  o.ip.assign(m.n, 0);
  zodrv(m.n, m.ia.data(), m.ja.data(), m.a.data(), o.p.data(), o.ip.data(), classic_work_words, isp, 1,
        o.flag);
  ASSERT_EQ(o.flag, 0);
  EXPECT_EQ(isp[classic_work_words], 123456789) << "the ordering counts nsp in integer words";
  EXPECT_EQ(isp[4 * classic_work_words - 1], 987654321);
  EXPECT_EQ(o.p, order(m).p) << "a bigger block must not change the ordering";
}

// ---------------------------------------------------- symmetric reordering --

TEST(SymmetricReordering, IdentityMovesLowerEntriesUp) {
  // symmetric storage: each pair once, some below the diagonal
  Csr<dcomplex> m;
  m.n = 3;
  m.ia = {1, 3, 5, 7};
  m.ja = {1, 3, 1, 2, 2, 3};  // row 2 holds (2,1) below the diagonal
  m.a = {dcomplex(11), dcomplex(13), dcomplex(21), dcomplex(22), dcomplex(32), dcomplex(33)};
  std::vector<int32_t> q(3), r(6);
  const auto ip = identity(3);
  zsro(3, ip.data(), m.ia.data(), m.ja.data(), m.a.data(), q.data(), r.data(), false);
  EXPECT_EQ(m.ia, (std::vector<int32_t>{1, 4, 6, 7}));
  EXPECT_EQ(m.ja, (std::vector<int32_t>{1, 3, 2, 2, 3, 3}))
      << "(2,1) becomes (1,2) and (3,2) becomes (2,3), kept in relative order";
  EXPECT_EQ(m.a, (std::vector<dcomplex>{dcomplex(11), dcomplex(13), dcomplex(21), dcomplex(22),
                                        dcomplex(32), dcomplex(33)}));
}

TEST(SymmetricReordering, DiagonalFlagPutsTheDiagonalFirst) {
  Csr<dcomplex> m;
  m.n = 3;
  m.ia = {1, 3, 5, 7};
  m.ja = {3, 1, 1, 2, 3, 2};
  m.a = {dcomplex(13), dcomplex(11), dcomplex(21), dcomplex(22), dcomplex(33), dcomplex(32)};
  std::vector<int32_t> q(3), r(6);
  const auto ip = identity(3);
  zsro(3, ip.data(), m.ia.data(), m.ja.data(), m.a.data(), q.data(), r.data(), true);
  EXPECT_EQ(m.ia, (std::vector<int32_t>{1, 4, 6, 7}));
  for (int32_t i = 1; i <= 3; ++i)
    EXPECT_EQ(m.ja[m.ia[i - 1] - 1], i) << "row " << i << " must begin with its diagonal";
  EXPECT_EQ(m.ja, (std::vector<int32_t>{1, 3, 2, 2, 3, 3}));
  EXPECT_EQ(m.a[1], dcomplex(13));
  EXPECT_EQ(m.a[2], dcomplex(21)) << "values must travel with their columns";
}

TEST(SymmetricReordering, EveryEntryEndsInTheUpperTriangleOfTheNewOrder) {
  // upper-triangle storage of a symmetric pattern, reordered by the
  // minimum-degree permutation through the driver (path 2)
  auto full = with_random_values<dcomplex>(random_pattern(40, 3, 11, true), 5);
  std::vector<std::set<int32_t>> rows(full.n);
  std::multiset<std::tuple<int32_t, int32_t, double>> before;
  Csr<dcomplex> m;
  m.n = full.n;
  m.ia.push_back(1);
  for (int32_t i = 1; i <= m.n; ++i) {
    for (int32_t p = full.ia[i - 1]; p < full.ia[i]; ++p)
      if (full.ja[p - 1] >= i) {
        m.ja.push_back(full.ja[p - 1]);
        m.a.push_back(full.a[p - 1]);
        before.insert({i, full.ja[p - 1], full.a[p - 1].re});
      }
    m.ia.push_back(static_cast<int32_t>(m.ja.size()) + 1);
  }
  Csr<dcomplex> copy = m;
  const Ordering plain = order(copy);
  for (int32_t path : {2, 4}) {
    Csr<dcomplex> w = m;
    const Ordering o = order(w, 3 * w.n + 4 * w.nnz() + 10, path);
    ASSERT_EQ(o.flag, 0);
    EXPECT_EQ(o.p, plain.p) << "path " << path << " orders like path 1";
    std::multiset<std::tuple<int32_t, int32_t, double>> after;
    for (int32_t i = 1; i <= w.n; ++i)
      for (int32_t p = w.ia[i - 1]; p < w.ia[i]; ++p) {
        const int32_t j = w.ja[p - 1];
        EXPECT_GE(o.ip[j - 1], o.ip[i - 1]) << "entry (" << i << "," << j << ") not upper";
        after.insert({std::min(i, j), std::max(i, j), w.a[p - 1].re});
        if (path == 4 && p == w.ia[i - 1]) {
          EXPECT_EQ(j, i) << "path 4 puts the diagonal first";
        }
      }
    EXPECT_EQ(before, after) << "path " << path << " must move entries, not change them";
    // path 3 / 5 with the same ip on the original give the same result
    Csr<dcomplex> w2 = m;
    Ordering o2;
    o2.p.assign(m.n, -5);
    o2.ip = o.ip;
    TestBlock<int32_t> block(3 * m.n + 4 * m.nnz() + 10);
    zodrv(m.n, w2.ia.data(), w2.ja.data(), w2.a.data(), o2.p.data(), o2.ip.data(),
          block.nsp, block.isp(), path + 1, o2.flag);
    ASSERT_EQ(o2.flag, 0);
    EXPECT_EQ(w2.ja, w.ja) << "path " << path + 1 << " with the same ip";
    EXPECT_EQ(o2.p, std::vector<int32_t>(m.n, -5)) << "paths 3 and 5 leave p alone";
  }
}

TEST(SymmetricReordering, NoRoomForTheDestinationsIsAPartitionError) {
  auto m = from_rows({{1, 2}, {2, 3}, {3}});
  // tmp = nsp + 1 - n, qq = tmp - nnz must be >= 1
  EXPECT_EQ(order(m, 3 + 5 - 1, 3).flag, 10 * 3 + 1);
  EXPECT_EQ(order(m, 3 + 5, 3).flag, 0);
}

// ---------------------------------------------------- symbolic factorisation --

TEST(SymbolicFactorisation, EmptyRowIsNamedByItsUnpermutedNumber) {
  auto m = from_rows({{1, 2}, {1, 2, 3}, {}, {4}});
  const std::vector<int32_t> p{4, 3, 2, 1}, ip{4, 3, 2, 1};
  EXPECT_EQ(symbolic(m, p, ip).flag, 4 + 3) << "row 3 is empty";
}

TEST(SymbolicFactorisation, DuplicateColumnIsNamedByItsRow) {
  Csr<dcomplex> m = from_rows({{1}, {2}, {3}});
  m.ja = {1, 2, 3, 2, 3};
  m.ia = {1, 2, 5, 6};
  const std::vector<int32_t> p{3, 1, 2}, ip{2, 3, 1};
  EXPECT_EQ(symbolic(m, p, ip).flag, 2 * 3 + 2) << "row 2 holds column 2 twice";
}

TEST(SymbolicFactorisation, ColumnOutsideTheMatrixIsAMalformedRow) {
  // Such an entry would index past the permutation; the ordering skips it
  // and the symbolic phase rejects the row like one with a repeated column.
  Csr<dcomplex> m = from_rows({{1, 2}, {1, 2, 3}, {2, 3}});
  m.ja[3] = 9;  // row 2: columns 1, 9, 0
  m.ja[4] = 0;
  const Ordering o = order(m);
  ASSERT_EQ(o.flag, 0) << "the ordering must survive a column outside 1..n";
  std::vector<int32_t> seen(o.p);
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, identity(3));
  EXPECT_EQ(symbolic(m, o.p, o.ip).flag, 2 * 3 + 2);
}

TEST(SymbolicFactorisation, RowWithoutDiagonalPositionIsANullPivot) {
  // row 2's columns are all above 2 and nothing fills column 2
  auto m = from_rows({{1}, {3}, {2, 3}});
  const auto id = identity(3);
  EXPECT_EQ(symbolic(m, id, id).flag, 5 * 3 + 2);
}

TEST(SymbolicFactorisation, MissingDiagonalFilledByEliminationIsAccepted) {
  auto m = from_rows({{1, 2}, {1}});
  const auto id = identity(2);
  const Symbolic s = symbolic(m, id, id);
  EXPECT_EQ(s.flag, 0) << "L(2,1) and U(1,2) fill position (2,2)";
}

TEST(SymbolicFactorisation, DiagonalMatrixHasEmptyFactors) {
  auto m = from_rows({{1}, {2}, {3}, {4}});
  const auto id = identity(4);
  const Symbolic s = symbolic(m, id, id);
  ASSERT_EQ(s.flag, 0);
  EXPECT_EQ(s.il[4], 1);
  EXPECT_EQ(s.iu[4], 1);
}

TEST(SymbolicFactorisation, DensePatternHasTriangularCounts) {
  const int32_t n = 20;
  auto m = dense_pattern(n);
  const auto id = identity(n);
  const Symbolic s = symbolic(m, id, id);
  ASSERT_EQ(s.flag, 0);
  EXPECT_EQ(s.il[n] - 1, n * (n - 1) / 2);
  EXPECT_EQ(s.iu[n] - 1, n * (n - 1) / 2);
  for (int32_t k = 1; k <= n; ++k) {
    std::vector<int32_t> lower(k - 1), upper(n - k);
    std::iota(lower.begin(), lower.end(), 1);
    std::iota(upper.begin(), upper.end(), k + 1);
    EXPECT_EQ(row_of(s.il, s.jl, k), lower) << "row " << k << " of L";
    EXPECT_EQ(row_of(s.iu, s.ju, k), upper) << "row " << k << " of U";
  }
}

TEST(SymbolicFactorisation, NoRoomForLOrUIsReportedAtTheRow) {
  auto m = dense_pattern(4);
  const auto id = identity(4);
  EXPECT_EQ(symbolic(m, id, id, 2, 100).flag, 3 * 4 + 3) << "L rows 2, 3 need 3 words";
  EXPECT_EQ(symbolic(m, id, id, 100, 2).flag, 6 * 4 + 1) << "U row 1 needs 3 words";
}

// Fill by plain elimination on a boolean matrix, the reference pattern.
void boolean_fill(const Csr<dcomplex>& m, const std::vector<int32_t>& r,
                  const std::vector<int32_t>& ic, std::vector<std::vector<char>>& f) {
  const int32_t n = m.n;
  f.assign(n + 1, std::vector<char>(n + 1, 0));
  for (int32_t k = 1; k <= n; ++k)
    for (int32_t p = m.ia[r[k - 1] - 1]; p < m.ia[r[k - 1]]; ++p) f[k][ic[m.ja[p - 1] - 1]] = 1;
  for (int32_t k = 1; k <= n; ++k)
    for (int32_t i = 1; i < k; ++i)
      if (f[k][i])
        for (int32_t j = i + 1; j <= n; ++j)
          if (f[i][j]) f[k][j] = 1;
}

TEST(SymbolicFactorisation, PatternsMatchBooleanEliminationOnRandomMatrices) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    const bool symmetric = seed % 2 == 0;
    auto m = random_pattern(60, 2, seed, symmetric);
    Ordering o = order(m);
    ASSERT_EQ(o.flag, 0);
    const Symbolic s = symbolic(m, o.p, o.ip);
    ASSERT_EQ(s.flag, 0) << "seed " << seed;
    std::vector<std::vector<char>> f;
    boolean_fill(m, o.p, o.ip, f);
    for (int32_t k = 1; k <= m.n; ++k) {
      std::vector<int32_t> lower, upper;
      for (int32_t j = 1; j <= m.n; ++j) {
        if (f[k][j] && j < k) lower.push_back(j);
        if (f[k][j] && j > k) upper.push_back(j);
      }
      ASSERT_EQ(row_of(s.il, s.jl, k), lower) << "seed " << seed << ", row " << k << " of L";
      ASSERT_EQ(row_of(s.iu, s.ju, k), upper) << "seed " << seed << ", row " << k << " of U";
    }
  }
}

// ------------------------------------------------------ numeric factorisation --

// Runs nnf through every factorisation path and the literal one on the
// same structure and requires identical bits in l, d, u, z, tmp and row.
template <class V>
void expect_bit_identical(const Csr<V>& m, const std::vector<V>& b, const std::string& what) {
  Csr<dcomplex> pattern;
  pattern.n = m.n;
  pattern.ia = m.ia;
  pattern.ja = m.ja;
  pattern.a.assign(m.ja.size(), dcomplex(0));
  const Ordering o = order(pattern);
  ASSERT_EQ(o.flag, 0) << what;
  const int32_t n = m.n;
  const int32_t room = std::min<int64_t>(int64_t(n) * (n - 1) / 2 + 1, 20000000);
  const Symbolic s = symbolic(pattern, o.p, o.ip, room, room);
  ASSERT_EQ(s.flag, 0) << what;
  const int32_t lmax = s.il[n] - 1, umax = s.iu[n] - 1;
  auto slow = prepare<V>(s, n);
  literal_nnf(n, o.p.data(), o.p.data(), o.ip.data(), m.ia.data(), m.ja.data(), m.a.data(),
              slow.z.data(), b.data(), s.il.data(), s.jl.data(), slow.l.data(), lmax,
              slow.d.data(), s.iu.data(), s.ju.data(), slow.u.data(), umax, slow.row.data(),
              slow.tmp.data(), slow.flag);
  ASSERT_EQ(slow.flag, 0) << what;
  auto scratch = std::make_unique<sparse::FactorScratch>();
  for (const FactorPath& path : factor_paths()) {
    const std::string where = what + ", " + path.name;
    ASSERT_TRUE(scratch->use_kernel(path.kernel)) << where;
    auto fast = prepare<V>(s, n);
    sparse::nnf(n, o.p.data(), o.p.data(), o.ip.data(), m.ia.data(), m.ja.data(), m.a.data(),
                fast.z.data(), b.data(), s.il.data(), s.jl.data(), fast.l.data(), lmax,
                fast.d.data(), s.iu.data(), s.ju.data(), fast.u.data(), umax, fast.row.data(),
                fast.tmp.data(), fast.flag, path.blocked ? scratch.get() : nullptr);
    ASSERT_EQ(fast.flag, 0) << where;
    EXPECT_TRUE(same_bits(fast.l, slow.l)) << where << ": values of L differ from the literal ones";
    EXPECT_TRUE(same_bits(fast.d, slow.d)) << where << ": pivot reciprocals differ";
    EXPECT_TRUE(same_bits(fast.u, slow.u)) << where << ": values of U differ";
    EXPECT_TRUE(same_bits(fast.z, slow.z)) << where << ": solutions differ";
    EXPECT_TRUE(same_bits(fast.tmp, slow.tmp)) << where << ": intermediate solutions differ";
    EXPECT_TRUE(same_bits(fast.row, slow.row)) << where << ": work row left in another state";
  }
}

// Every path the machine supports against the literal order, on the
// finite-element meshes and on random patterns and values.
TEST(NumericFactorisation, EveryPathIsBitIdenticalToTheLiteralOrder) {
  struct Case {
    const char* kind;  // "mesh" or "random"
    int32_t nx, ny;    // mesh size; for "random" nx is the seed
  };
  const Case cases[] = {{"mesh", 1, 1},   {"mesh", 2, 3},   {"mesh", 5, 4},   {"mesh", 12, 9},
                        {"mesh", 20, 20}, {"random", 1, 0}, {"random", 2, 0}, {"random", 3, 0},
                        {"random", 4, 0}, {"random", 5, 0}, {"random", 6, 0}, {"random", 7, 0},
                        {"random", 8, 0}};
  for (const Case& c : cases) {
    if (std::string(c.kind) == "mesh") {
      const FemSystem s = fem_system(c.nx, c.ny);
      expect_bit_identical(s.m, s.rhs,
                           "mesh " + std::to_string(c.nx) + " x " + std::to_string(c.ny));
      continue;
    }
    const unsigned seed = static_cast<unsigned>(c.nx);
    const auto pattern = seed <= 4 ? random_pattern(300, 3, seed, seed % 2 == 0)
                                   : fem_pattern(3 + seed, 2 + seed % 3);
    // values not made dominant: rounding then differs visibly between orders
    const auto m = with_random_values<dcomplex>(pattern, 100 + seed, seed % 2 == 0);
    std::vector<dcomplex> b(m.n);
    std::mt19937 gen(seed);
    for (auto& x : b) x = random_value<dcomplex>(gen);
    expect_bit_identical(m, b, "random case " + std::to_string(seed));
  }
}

// --------------------------------------------- kernels and their scratch --

// A product followed by a sum must be rounded twice.  The operands pass
// through volatiles, so the compiler cannot fold the expressions at compile
// time; a fused multiply-add would keep the product's low part.
TEST(Kernels, ProductThenSumIsRoundedTwice) {
  volatile double va = 1.0 + 0x1p-30, vb = 1.0 - 0x1p-30, vc = -1.0;
  const double a = va, b = vb, c = vc;
  ASSERT_NE(std::fma(a, b, c), 0.0) << "the operands must tell a fused sum apart";
  EXPECT_EQ(a * b + c, 0.0) << "a*b + c was fused into one rounding";
  // the program's complex product and sum: with l = (a, p), u = (b, q) the
  // real part a*b - p*q cancels to 0 only when both products are rounded
  // before the subtraction; with (a, -p) and (q, b) the imaginary part
  // a*b + (-p)*q does
  volatile double vp = 1.0 + 0x1p-29, vq = 1.0 - 0x1p-29;
  const double p = vp, q = vq;
  const dcomplex x(0.0, 0.0);
  ASSERT_NE(std::fma(a, b, -(p * q)), 0.0);
  ASSERT_NE(std::fma(-p, q, a * b), 0.0);
  EXPECT_EQ((x + dcomplex(a, p) * dcomplex(b, q)).re, 0.0) << "real part of l*u fused";
  EXPECT_EQ((x + dcomplex(a, -p) * dcomplex(q, b)).im, 0.0) << "imaginary part of l*u fused";
}

// Every pass of every supported kernel against the literal x + l*u, term
// after term, on random data with one planted cancelling entry (all read
// at run time); the same data through a model that fuses each product into
// its sum must differ, so that a fused kernel could not pass.
TEST(Kernels, EveryPassOfEveryKernelRoundsLikeTheLiteralSums) {
  using sparse::block_rows;
  using sparse::group_max;
  const int32_t count = 11;  // whole steps of four and a rest
  std::mt19937 gen(17);
  for (sparse::Kernel kernel : sparse::all_kernels) {
    if (!sparse::kernel_supported(kernel)) continue;
    const sparse::PassTable& table = sparse::pass_table(kernel);
    for (int rows = 1; rows <= block_rows; ++rows)
      for (int g = 1; g <= group_max; ++g) {
        const std::string what = std::string(sparse::kernel_name(kernel)) + " pass R = " +
                                 std::to_string(rows) + ", G = " + std::to_string(g);
        std::vector<int32_t> cols(count);
        for (int32_t s = 0; s < count; ++s) cols[s] = count - s;  // distinct, descending
        std::vector<dcomplex> w(count * block_rows);
        for (auto& v : w) v = random_value<dcomplex>(gen);
        std::vector<std::vector<dcomplex>> u(g, std::vector<dcomplex>(count));
        for (auto& ut : u)
          for (auto& v : ut) v = random_value<dcomplex>(gen);
        dcomplex lk[block_rows][group_max];
        for (auto& lr : lk)
          for (auto& v : lr) v = random_value<dcomplex>(gen);
        // entry (cols[0], row 0) cancels exactly unless a product is
        // fused: 0 + (a*b - p*q) with a*b and p*q both rounding to 1
        lk[0][0] = dcomplex(1.0 + 0x1p-30, 1.0 + 0x1p-29);
        u[0][0] = dcomplex(1.0 - 0x1p-30, 1.0 - 0x1p-29);
        for (int t = 1; t < g; ++t) u[t][0] = dcomplex(0.0, 0.0);
        w[(cols[0] - 1) * block_rows] = dcomplex(0.0, 0.0);
        std::vector<dcomplex> literal = w, fused = w;
        for (int32_t s = 0; s < count; ++s)
          for (int r = 0; r < rows; ++r) {
            dcomplex& e = literal[(cols[s] - 1) * block_rows + r];
            dcomplex& f = fused[(cols[s] - 1) * block_rows + r];
            for (int t = 0; t < g; ++t) {
              const dcomplex l = lk[r][t], v = u[t][s];
              e = e + l * v;
              f = f + dcomplex(std::fma(l.re, v.re, -(l.im * v.im)), std::fma(l.re, v.im, l.im * v.re));
            }
          }
        const dcomplex* ut[group_max];
        for (int t = 0; t < g; ++t) ut[t] = u[t].data();
        table.pass[rows - 1][g - 1](w.data(), cols.data(), count, ut, lk);
        EXPECT_TRUE(same_bits(w, literal)) << what << ": sums differ from the literal ones";
        EXPECT_FALSE(same_bits(fused, literal)) << what << ": the data cannot tell fused sums apart";
      }
  }
}

// Two threads, each with its own work block and scratch (one forced to the
// portable kernel), factorise the same matrix at once: l, d, u and z are
// the bits of the same factorisations one after the other.
TEST(FactorScratch, TwoBlocksInTwoThreadsGiveTheBitsOfOneAfterTheOther) {
  const FemSystem s = fem_system(20, 16);
  Csr<dcomplex> pattern = s.m;
  const Ordering o = order(pattern);
  ASSERT_EQ(o.flag, 0);
  const int32_t n = s.m.n, nsp = 2000000;
  // l, d and u of a block after path 1 (the driver's partition)
  const auto factors = [n](FactorRun<dcomplex>& run) {
    const int32_t* isp = run.block.isp();
    const int32_t jlmax = isp[n] - 1, jumax = isp[2 * n + 1] - 1;
    const int32_t lv = (2 * n + 3 + jlmax + jumax - 2 + 4) / 4 + 1;
    const dcomplex* first = run.block.rsp() + (lv - 1);
    return std::vector<dcomplex>(first, first + jlmax + n + jumax);
  };
  std::vector<dcomplex> z_one(n), z_two(n), z_a(n), z_b(n);
  FactorRun<dcomplex> one(nsp), two(nsp), a(nsp), b(nsp);
  ASSERT_TRUE(two.scratch->use_kernel(sparse::Kernel::portable));
  ASSERT_TRUE(b.scratch->use_kernel(sparse::Kernel::portable));
  one.call(s.m, o.p, o.ip, s.rhs.data(), z_one.data(), 1);
  two.call(s.m, o.p, o.ip, s.rhs.data(), z_two.data(), 1);
  ASSERT_EQ(one.flag, 0);
  ASSERT_EQ(two.flag, 0);
  std::thread ta([&] { a.call(s.m, o.p, o.ip, s.rhs.data(), z_a.data(), 1); });
  std::thread tb([&] { b.call(s.m, o.p, o.ip, s.rhs.data(), z_b.data(), 1); });
  ta.join();
  tb.join();
  ASSERT_EQ(a.flag, 0);
  ASSERT_EQ(b.flag, 0);
  EXPECT_TRUE(same_bits(factors(a), factors(one))) << "factors of the first thread differ";
  EXPECT_TRUE(same_bits(factors(b), factors(two))) << "factors of the second thread differ";
  EXPECT_TRUE(same_bits(factors(one), factors(two))) << "the kernels give different factors";
  EXPECT_TRUE(same_bits(z_a, z_one)) << "solution of the first thread differs";
  EXPECT_TRUE(same_bits(z_b, z_two)) << "solution of the second thread differs";
}

TEST(NumericFactorisation, GroupedUpdatesAreBitIdenticalInTheOtherFamilies) {
  const auto pattern = fem_pattern(7, 5);
  std::mt19937 gen(3);
  {
    const auto m = with_random_values<double>(pattern, 31, false);
    std::vector<double> b(m.n);
    for (auto& x : b) x = random_value<double>(gen);
    expect_bit_identical(m, b, "double real");
  }
  {
    const auto m = with_random_values<float>(pattern, 32, false);
    std::vector<float> b(m.n);
    for (auto& x : b) x = random_value<float>(gen);
    expect_bit_identical(m, b, "single real");
  }
  {
    const auto m = with_random_values<scomplex>(pattern, 33, false);
    std::vector<scomplex> b(m.n);
    for (auto& x : b) x = random_value<scomplex>(gen);
    expect_bit_identical(m, b, "single complex");
  }
}

// A = L0*U0 on the dense pattern, L0 unit lower triangular with small
// Gaussian-integer entries, U0 upper triangular with power-of-two pivots
// except U0(kz, kz) = 0: every step of the elimination is exact, so the
// pivot of row kz comes out exactly zero after real arithmetic on all the
// rows before it.
Csr<dcomplex> exactly_singular_at(int32_t n, int32_t kz) {
  std::mt19937 gen(static_cast<unsigned>(kz));
  std::uniform_int_distribution<int> small(-3, 3);
  std::vector<std::vector<dcomplex>> l0(n, std::vector<dcomplex>(n, dcomplex(0)));
  std::vector<std::vector<dcomplex>> u0 = l0, rows = l0;
  for (int32_t i = 0; i < n; ++i) {
    l0[i][i] = dcomplex(1);
    for (int32_t j = 0; j < i; ++j) l0[i][j] = dcomplex(small(gen), small(gen));
    u0[i][i] = i + 1 == kz ? dcomplex(0) : dcomplex(double(1 << (i % 3)), 0);
    for (int32_t j = i + 1; j < n; ++j) u0[i][j] = dcomplex(small(gen), small(gen));
  }
  std::set<std::pair<int32_t, int32_t>> all;
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j) {
      for (int32_t q = 0; q < n; ++q) rows[i][j] = rows[i][j] + l0[i][q] * u0[q][j];
      all.insert({i + 1, j + 1});
    }
  return dense(rows, all);
}

TEST(NumericFactorisation, ZeroPivotAnywhereLeavesTheSameStateAsTheLiteralOrder) {
  // rows are eliminated in blocks of four side by side: a zero pivot in
  // each place of a block, and in the short last block
  const int32_t n = 11;
  for (int32_t kz : {1, 5, 6, 7, 8, 10, 11}) {
    const auto m = exactly_singular_at(n, kz);
    const auto id = identity(n);
    const Symbolic s = symbolic(m, id, id);
    ASSERT_EQ(s.flag, 0);
    std::vector<dcomplex> b(n);
    for (int32_t i = 0; i < n; ++i) b[i] = dcomplex(i + 1, -i);
    auto slow = prepare<dcomplex>(s, n);
    const int32_t lmax = s.il[n] - 1, umax = s.iu[n] - 1;
    literal_nnf(n, id.data(), id.data(), id.data(), m.ia.data(), m.ja.data(), m.a.data(),
                slow.z.data(), b.data(), s.il.data(), s.jl.data(), slow.l.data(), lmax,
                slow.d.data(), s.iu.data(), s.ju.data(), slow.u.data(), umax, slow.row.data(),
                slow.tmp.data(), slow.flag);
    ASSERT_EQ(slow.flag, 8 * n + kz) << "zero pivot at row " << kz
                                     << ": the construction must cancel exactly";
    for (const FactorPath& path : factor_paths()) {
      const std::string what = "zero pivot at row " + std::to_string(kz) + ", " + path.name;
      auto scratch = std::make_unique<sparse::FactorScratch>();
      ASSERT_TRUE(scratch->use_kernel(path.kernel));
      auto fast = prepare<dcomplex>(s, n);
      if (path.blocked)
        znnf(n, id.data(), id.data(), id.data(), m.ia.data(), m.ja.data(), m.a.data(),
             fast.z.data(), b.data(), s.il.data(), s.jl.data(), fast.l.data(), lmax,
             fast.d.data(), s.iu.data(), s.ju.data(), fast.u.data(), umax, fast.row.data(),
             fast.tmp.data(), fast.flag, *scratch);
      else
        znnf(n, id.data(), id.data(), id.data(), m.ia.data(), m.ja.data(), m.a.data(),
             fast.z.data(), b.data(), s.il.data(), s.jl.data(), fast.l.data(), lmax,
             fast.d.data(), s.iu.data(), s.ju.data(), fast.u.data(), umax, fast.row.data(),
             fast.tmp.data(), fast.flag);
      EXPECT_EQ(fast.flag, 8 * n + kz) << what;
      EXPECT_TRUE(same_bits(fast.l, slow.l)) << what << ": values of L (rows 1..k) differ";
      EXPECT_TRUE(same_bits(fast.d, slow.d)) << what << ": pivots written beyond row k-1";
      EXPECT_TRUE(same_bits(fast.u, slow.u)) << what << ": rows of U written beyond row k-1";
      EXPECT_TRUE(same_bits(fast.tmp, slow.tmp)) << what << ": intermediate solution differs";
      EXPECT_TRUE(same_bits(fast.row, slow.row)) << what << ": work row left in another state";
      EXPECT_TRUE(same_bits(fast.z, slow.z)) << what << ": z must be untouched";
    }
  }
}

TEST(NumericFactorisation, SystemBeyondTheScratchRoomIsFactorisedRowByRow) {
  // more unknowns than the fast path's scratch holds: the plain order must
  // still give the literal bits (a band of half-width 2, natural order)
  const int32_t n = sparse::FactorScratch::capacity + 7;
  std::vector<std::set<int32_t>> rows(n);
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t j = std::max(1, i - 2); j <= std::min(n, i + 2); ++j) rows[i - 1].insert(j);
  const auto m = with_random_values<dcomplex>(from_rows(rows), 77, false);
  const auto id = identity(n);
  const Symbolic s = symbolic(m, id, id, 2 * n + 1, 2 * n + 1);
  ASSERT_EQ(s.flag, 0);
  std::vector<dcomplex> b(n);
  std::mt19937 gen(5);
  for (auto& x : b) x = random_value<dcomplex>(gen);
  auto fast = prepare<dcomplex>(s, n);
  auto slow = prepare<dcomplex>(s, n);
  const int32_t lmax = s.il[n] - 1, umax = s.iu[n] - 1;
  auto scratch = std::make_unique<sparse::FactorScratch>();
  znnf(n, id.data(), id.data(), id.data(), m.ia.data(), m.ja.data(), m.a.data(), fast.z.data(),
       b.data(), s.il.data(), s.jl.data(), fast.l.data(), lmax, fast.d.data(), s.iu.data(),
       s.ju.data(), fast.u.data(), umax, fast.row.data(), fast.tmp.data(), fast.flag, *scratch);
  literal_nnf(n, id.data(), id.data(), id.data(), m.ia.data(), m.ja.data(), m.a.data(),
              slow.z.data(), b.data(), s.il.data(), s.jl.data(), slow.l.data(), lmax,
              slow.d.data(), s.iu.data(), s.ju.data(), slow.u.data(), umax, slow.row.data(),
              slow.tmp.data(), slow.flag);
  ASSERT_EQ(fast.flag, 0);
  ASSERT_EQ(slow.flag, 0);
  EXPECT_TRUE(same_bits(fast.l, slow.l)) << "values of L differ from the literal ones";
  EXPECT_TRUE(same_bits(fast.d, slow.d)) << "pivot reciprocals differ";
  EXPECT_TRUE(same_bits(fast.u, slow.u)) << "values of U differ";
  EXPECT_TRUE(same_bits(fast.z, slow.z)) << "solutions differ";
  EXPECT_TRUE(same_bits(fast.row, slow.row)) << "work row left in another state";
}

TEST(NumericFactorisation, IdentityGivesEmptyFactorsAndUnitPivots) {
  auto m = from_rows({{1}, {2}, {3}});
  for (auto& x : m.a) x = dcomplex(1);
  const auto id = identity(3);
  const Symbolic s = symbolic(m, id, id);
  auto f = prepare<dcomplex>(s, 3);
  const std::vector<dcomplex> b{dcomplex(1, 2), dcomplex(-3, 4), dcomplex(5, -6)};
  znnf(3, id.data(), id.data(), id.data(), m.ia.data(), m.ja.data(), m.a.data(), f.z.data(),
       b.data(), s.il.data(), s.jl.data(), f.l.data(), 0, f.d.data(), s.iu.data(), s.ju.data(),
       f.u.data(), 0, f.row.data(), f.tmp.data(), f.flag);
  ASSERT_EQ(f.flag, 0);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(f.d[k], dcomplex(1)) << "d(" << k + 1 << ")";
    EXPECT_EQ(f.z[k], b[k]) << "z(" << k + 1 << ") must equal b";
  }
}

TEST(NumericFactorisation, ExplicitZeroPivotStopsWithoutRowExchange) {
  // [[0, 1], [1, 0]] with (1,1) stored as an explicit 0
  auto m = dense({{dcomplex(0), dcomplex(1)}, {dcomplex(1), dcomplex(0)}}, {{1, 1}});
  const auto id = identity(2);
  FactorRun<dcomplex> run(1000);
  std::vector<dcomplex> b{dcomplex(1), dcomplex(2)}, z{dcomplex(7), dcomplex(7)};
  run.call(m, id, id, b.data(), z.data(), 1);
  EXPECT_EQ(run.flag, 8 * 2 + 1);
  EXPECT_EQ(z[0], dcomplex(7)) << "z must be untouched after a zero pivot";
  // without the stored zero the symbolic phase finds no pivot position
  auto m2 = dense({{dcomplex(0), dcomplex(1)}, {dcomplex(1), dcomplex(0)}});
  FactorRun<dcomplex> run2(1000);
  run2.call(m2, id, id, b.data(), z.data(), 1);
  EXPECT_EQ(run2.flag, 5 * 2 + 1);
}

TEST(NumericFactorisation, PivotCancellingToZeroIsReportedAtItsRow) {
  auto m = dense({{dcomplex(2), dcomplex(1), dcomplex(0)},
                  {dcomplex(4), dcomplex(2), dcomplex(1)},
                  {dcomplex(0), dcomplex(1), dcomplex(3)}});
  const auto id = identity(3);
  FactorRun<dcomplex> run(1000);
  std::vector<dcomplex> b(3, dcomplex(1)), z(3);
  run.call(m, id, id, b.data(), z.data(), 1);
  EXPECT_EQ(run.flag, 8 * 3 + 2) << "2 - (4/2)*1 is exactly 0";
}

TEST(NumericFactorisation, NoRoomForTheValuesOfL) {
  auto m = dense_pattern(3);
  const auto id = identity(3);
  const Symbolic s = symbolic(m, id, id);
  auto f = prepare<dcomplex>(s, 3);
  std::vector<dcomplex> b(3, dcomplex(1));
  znnf(3, id.data(), id.data(), id.data(), m.ia.data(), m.ja.data(), m.a.data(), f.z.data(),
       b.data(), s.il.data(), s.jl.data(), f.l.data(), 2, f.d.data(), s.iu.data(), s.ju.data(),
       f.u.data(), 3, f.row.data(), f.tmp.data(), f.flag);
  EXPECT_EQ(f.flag, 4 * 3 + 1);
  znnf(3, id.data(), id.data(), id.data(), m.ia.data(), m.ja.data(), m.a.data(), f.z.data(),
       b.data(), s.il.data(), s.jl.data(), f.l.data(), 3, f.d.data(), s.iu.data(), s.ju.data(),
       f.u.data(), 2, f.row.data(), f.tmp.data(), f.flag);
  EXPECT_EQ(f.flag, 7 * 3 + 1);
}

// --------------------------------------------------------- solver paths --

struct PathCase {
  Csr<dcomplex> m;
  Ordering o;
  std::vector<dcomplex> b;
};

PathCase path_case(bool hermitian) {
  PathCase c;
  auto pattern = fem_pattern(3, 2);
  c.m = with_random_values<dcomplex>(pattern, 3);
  // make the values complex symmetric (a_ij = a_ji) or Hermitian
  for (int32_t i = 1; i <= c.m.n; ++i)
    for (int32_t p = c.m.ia[i - 1]; p < c.m.ia[i]; ++p) {
      const int32_t j = c.m.ja[p - 1];
      if (j >= i) continue;
      for (int32_t t = c.m.ia[j - 1]; t < c.m.ia[j]; ++t)
        if (c.m.ja[t - 1] == i) {
          const dcomplex v = c.m.a[t - 1];
          c.m.a[p - 1] = hermitian ? dcomplex(v.re, -v.im) : v;
        }
    }
  if (hermitian)
    for (int32_t i = 1; i <= c.m.n; ++i)
      for (int32_t p = c.m.ia[i - 1]; p < c.m.ia[i]; ++p)
        if (c.m.ja[p - 1] == i) c.m.a[p - 1].im = 0;
  c.o = order(c.m);
  std::mt19937 gen(9);
  c.b.resize(c.m.n);
  for (auto& x : c.b) x = random_value<dcomplex>(gen);
  return c;
}

TEST(SolverPaths, Path1SolvesAndPath3RepeatsTheSolutionExactly) {
  PathCase c = path_case(false);
  FactorRun<dcomplex> run(20000);
  std::vector<dcomplex> z1(c.m.n), z3(c.m.n);
  run.call(c.m, c.o.p, c.o.ip, c.b.data(), z1.data(), 1);
  ASSERT_EQ(run.flag, 0);
  EXPECT_LT(relative_residual(c.m, z1, c.b), 1e-13);
  const auto dense_z = dense_solve(c.m, c.b);
  for (int32_t i = 0; i < c.m.n; ++i) EXPECT_LT(abs(z1[i] - dense_z[i]), 1e-12) << "z(" << i + 1 << ")";
  run.flag = 4242;
  run.call(c.m, c.o.p, c.o.ip, c.b.data(), z3.data(), 3);
  EXPECT_EQ(run.flag, 4242) << "path 3 must leave flag as the caller set it";
  EXPECT_TRUE(same_bits(z1, z3)) << "path 3 must reproduce path 1's solution";
}

TEST(SolverPaths, Path5ThenPath2EqualsPath1) {
  PathCase c = path_case(false);
  FactorRun<dcomplex> one(20000), two(20000);
  std::vector<dcomplex> z1(c.m.n), z2(c.m.n, dcomplex(5));
  one.call(c.m, c.o.p, c.o.ip, c.b.data(), z1.data(), 1);
  two.call(c.m, c.o.p, c.o.ip, c.b.data(), z2.data(), 5);
  ASSERT_EQ(two.flag, 0);
  EXPECT_EQ(z2, std::vector<dcomplex>(c.m.n, dcomplex(5))) << "path 5 must not solve";
  const int32_t esp5 = two.esp;
  two.call(c.m, c.o.p, c.o.ip, c.b.data(), z2.data(), 2);
  ASSERT_EQ(two.flag, 0);
  EXPECT_EQ(two.esp, esp5) << "esp depends on the structure only";
  EXPECT_EQ(one.esp, esp5);
  EXPECT_TRUE(same_bits(z1, z2));
}

TEST(SolverPaths, TransposedSolveOfComplexSymmetricMatrixEqualsPlainSolve) {
  PathCase c = path_case(false);
  FactorRun<dcomplex> run(20000);
  std::vector<dcomplex> z3(c.m.n), z4(c.m.n);
  run.call(c.m, c.o.p, c.o.ip, c.b.data(), z3.data(), 1);
  run.call(c.m, c.o.p, c.o.ip, c.b.data(), z4.data(), 4);
  for (int32_t i = 0; i < c.m.n; ++i)
    EXPECT_LT(abs(z3[i] - z4[i]), 1e-12 * abs(z3[i]) + 1e-300) << "z(" << i + 1 << ")";
}

TEST(SolverPaths, TransposedSolveOfHermitianMatrixIsNotConjugated) {
  PathCase c = path_case(true);
  FactorRun<dcomplex> run(20000);
  std::vector<dcomplex> z3(c.m.n), z4(c.m.n);
  run.call(c.m, c.o.p, c.o.ip, c.b.data(), z3.data(), 1);
  run.call(c.m, c.o.p, c.o.ip, c.b.data(), z4.data(), 4);
  EXPECT_LT(relative_residual(c.m, z4, c.b, true), 1e-13) << "path 4 must solve A^T z = b";
  double diff = 0;
  for (int32_t i = 0; i < c.m.n; ++i) diff = std::max(diff, abs(z3[i] - z4[i]));
  EXPECT_GT(diff, 1e-6) << "for a Hermitian matrix A^T differs from A";
}

TEST(SolverPaths, RightHandSideAndSolutionMayBeOneArray) {
  PathCase c = path_case(false);
  FactorRun<dcomplex> run(20000);
  std::vector<dcomplex> z(c.m.n), bz = c.b;
  run.call(c.m, c.o.p, c.o.ip, c.b.data(), z.data(), 1);
  run.call(c.m, c.o.p, c.o.ip, bz.data(), bz.data(), 1);
  EXPECT_TRUE(same_bits(z, bz)) << "path 1 in place";
  for (int32_t path : {3, 4}) {
    std::vector<dcomplex> zs(c.m.n), in_place = c.b;
    run.call(c.m, c.o.p, c.o.ip, c.b.data(), zs.data(), path);
    run.call(c.m, c.o.p, c.o.ip, in_place.data(), in_place.data(), path);
    EXPECT_TRUE(same_bits(zs, in_place)) << "path " << path << " in place";
  }
}

TEST(SolverPaths, PathOutsideOneToFiveChangesNothingButFlag) {
  PathCase c = path_case(false);
  FactorRun<dcomplex> run(20000);
  std::vector<dcomplex> z(c.m.n, dcomplex(3));
  for (int32_t path : {0, 6}) {
    run.esp = 77;
    run.call(c.m, c.o.p, c.o.ip, c.b.data(), z.data(), path);
    EXPECT_EQ(run.flag, 11 * c.m.n + 1) << "path " << path;
    EXPECT_EQ(run.esp, 77) << "esp must be untouched";
  }
  EXPECT_EQ(z, std::vector<dcomplex>(c.m.n, dcomplex(3)));
}

// ------------------------------------------------- driver partition figures --

// Expected layout, worked out from the partition rules for a block of nsp
// value words (lratio = 4) and factors of nl, nu entries.
struct Layout {
  int32_t lv, dv, uv, tmpv, rowv, umax, esp;
};
Layout layout(int32_t n, int32_t nsp, int32_t nl, int32_t nu) {
  Layout w;
  const int32_t jup = 2 * n + 3 + nl;
  w.lv = (jup + nu - 2 + 4) / 4 + 1;
  w.dv = w.lv + nl;
  w.uv = w.dv + n;
  w.tmpv = nsp + 1 - 2 * n;
  w.rowv = nsp + 1 - n;
  w.umax = w.tmpv - w.uv;
  w.esp = w.umax - nu;
  return w;
}

TEST(DriverPartition, WorkedTwentyUnknownDensePattern) {
  const int32_t n = 20, nsp = classic_work_words;
  auto m = dense_pattern(n);
  const auto id = identity(n);
  std::vector<dcomplex> b(n, dcomplex(1, 1)), z(n);
  int32_t esp = 0, flag = -1;
  int32_t* isp = run_block.isp();
  dcomplex* rsp = run_block.rsp();

  // the ordering driver's list room
  EXPECT_EQ((nsp - n) / 2, 5550990);

  // symbolic failure: esp = max div lratio, provisional ju at jutmp
  Csr<dcomplex> broken = m;
  broken.ia[n] = broken.ia[n - 1];  // row 20 emptied
  zndrv(n, id.data(), id.data(), id.data(), broken.ia.data(), broken.ja.data(), broken.a.data(),
        b.data(), z.data(), nsp, isp, rsp, esp, 1, flag);
  EXPECT_EQ(flag, n + 20) << "row 20 is empty";
  EXPECT_EQ(esp, 11101979) << "esp = (4 nsp - 4n - 3) div 4 after a symbolic failure";
  EXPECT_EQ(isp[2 * n + 3 - 1], 1) << "jl starts at integer word 2n + 3";
  EXPECT_EQ(isp[22204042 - 1], 2) << "provisional ju starts at jutmp = 22204042";
  EXPECT_EQ(isp[22204042 + 19 - 1], 2 + 1) << "row 2 of U follows row 1's 19 columns";
  EXPECT_EQ(isp[2 * n + 3 + 22203958 + n - 1], n + 1)
      << "q begins right after jlmax = 22203958 words (its head q(n+1) was reset for row 20)";
  const int32_t im1 = 2 * n + 3 + 22203958 + (n + 1);  // integer word of im(1)
  EXPECT_EQ(isp[im1 + 19 - 2], 190)
      << "im follows the n + 1 words of q: im(19) is the last position of row 19 of U";

  // success
  zndrv(n, id.data(), id.data(), id.data(), m.ia.data(), m.ja.data(), m.a.data(), b.data(),
        z.data(), nsp, isp, rsp, esp, 1, flag);
  ASSERT_EQ(flag, 0);
  EXPECT_EQ(isp[n], 191) << "il(n+1) - 1 = 190";
  EXPECT_EQ(isp[2 * n + 1], 191) << "iu(n+1) - 1 = 190";
  EXPECT_EQ(isp[233 - 1], 2) << "ju moved down to integer word 233";
  EXPECT_EQ(isp[233 + 190 - 1 - 1], n) << "last column of U (row 19) ends the structure";
  const Layout w = layout(n, nsp, 190, 190);
  EXPECT_EQ(w.lv, 107);
  EXPECT_EQ(w.dv, 297);
  EXPECT_EQ(w.uv, 317);
  EXPECT_EQ(w.tmpv, 11101961);
  EXPECT_EQ(w.rowv, 11101981);
  EXPECT_EQ(w.umax, 11101644);
  EXPECT_EQ(esp, 11101454) << "esp = umax - jumax";

  // the values are where the layout says: compare with a literal run
  const Symbolic s = symbolic(m, id, id);
  auto f = prepare<dcomplex>(s, n);
  literal_nnf(n, id.data(), id.data(), id.data(), m.ia.data(), m.ja.data(), m.a.data(),
              f.z.data(), b.data(), s.il.data(), s.jl.data(), f.l.data(), 190, f.d.data(),
              s.iu.data(), s.ju.data(), f.u.data(), 190, f.row.data(), f.tmp.data(), f.flag);
  ASSERT_EQ(f.flag, 0);
  EXPECT_TRUE(rsp[107 - 1] == f.l[0]) << "l(1) at value word 107";
  EXPECT_TRUE(rsp[107 + 189 - 1] == f.l[189]) << "l(190) at value word 296";
  EXPECT_TRUE(rsp[297 - 1] == f.d[0]) << "d(1) at value word 297";
  EXPECT_TRUE(rsp[317 - 1] == f.u[0]) << "u(1) at value word 317";
  EXPECT_TRUE(rsp[11101961 - 1] == f.tmp[0]) << "tmp at value word 11101961";
  EXPECT_TRUE(rsp[11101981 + n - 1 - 1] == f.row[n - 1]) << "row at value word 11101981";
  EXPECT_TRUE(same_bits(z, f.z));
}

TEST(DriverPartition, NoRoomForUValuesAndTheShortfallInEsp) {
  const int32_t n = 4;
  auto m = dense_pattern(n);
  const auto id = identity(n);
  const int32_t nl = 6, nu = 6;
  // umax = 0 for nsp = uv + 2n - 1 (tmp starts right at u)
  const int32_t nsp0 = layout(n, 0, nl, nu).uv + 2 * n - 1;
  ASSERT_EQ(layout(n, nsp0, nl, nu).umax, 0);
  std::vector<dcomplex> b(n, dcomplex(1)), z(n, dcomplex(9));
  {
    FactorRun<dcomplex> run(nsp0);
    run.call(m, id, id, b.data(), z.data(), 1);
    EXPECT_EQ(run.flag, 10 * n + 1) << "umax exactly 0";
    EXPECT_EQ(run.esp, -nu);
  }
  for (int32_t extra = 1; extra < nu; ++extra) {
    FactorRun<dcomplex> run(nsp0 + extra);
    run.call(m, id, id, b.data(), z.data(), 1);
    EXPECT_EQ(run.flag, 7 * n + 1) << "0 < umax = " << extra << " < jumax";
    EXPECT_EQ(run.esp, extra - nu) << "esp must show the shortfall";
  }
  FactorRun<dcomplex> run(nsp0 + nu);
  run.call(m, id, id, b.data(), z.data(), 1);
  EXPECT_EQ(run.flag, 0) << "umax = jumax is enough";
  EXPECT_EQ(run.esp, 0);
  EXPECT_LT(relative_residual(m, z, b), 1e-14);
}

TEST(DriverPartition, BlockTooSmallForTheSymbolicPhase) {
  auto m = dense_pattern(4);
  const auto id = identity(4);
  std::vector<dcomplex> b(4, dcomplex(1)), z(4);
  // 4 nsp + 1 - (2n+3) - (n+1) - n with nsp = 5: 21 - 11 - 5 - 4 = 1: jlmax = 0
  FactorRun<dcomplex> run(5);
  run.call(m, id, id, b.data(), z.data(), 1);
  EXPECT_EQ(run.flag, 10 * 4 + 1);
  EXPECT_EQ(run.esp, 0) << "esp = max div lratio = 1 div 4";
}

// ------------------------------------------------------- value families --

template <class V>
void check_family(double tolerance, const char* name) {
  for (auto [nx, ny] : {std::pair{2, 2}, {6, 5}}) {
    auto pattern = fem_pattern(nx, ny);
    Csr<V> m = with_random_values<V>(pattern, 21);
    Ordering o;
    o.p.assign(m.n, 0);
    o.ip.assign(m.n, 0);
    TestBlock<int32_t> oblock(3 * m.n + 4 * m.nnz());
    sparse::odrv(m.n, m.ia.data(), m.ja.data(), m.a.data(), o.p.data(), o.ip.data(), oblock.nsp,
                 oblock.isp(), 1, o.flag);
    ASSERT_EQ(o.flag, 0) << name;
    std::vector<V> b(m.n), z(m.n);
    std::mt19937 gen(4);
    for (auto& x : b) x = random_value<V>(gen);
    FactorRun<V> run(200000);
    run.call(m, o.p, o.ip, b.data(), z.data(), 1);
    ASSERT_EQ(run.flag, 0) << name;
    EXPECT_LT(relative_residual(m, z, b), tolerance) << name << ": path 1 residual";
    run.call(m, o.p, o.ip, b.data(), z.data(), 4);
    EXPECT_LT(relative_residual(m, z, b, true), tolerance) << name << ": path 4 residual";
  }
}

TEST(ValueFamilies, EveryFamilySolvesFiniteElementPatterns) {
  check_family<float>(1e-5, "single real");
  check_family<double>(1e-13, "double real");
  check_family<scomplex>(1e-5, "single complex");
  check_family<dcomplex>(1e-13, "double complex");
}

TEST(ValueFamilies, NamedEntryPointsMatchTheGenericBodies) {
  // the s, d, c entry points reach the same code as the z one
  auto pattern = fem_pattern(2, 2);
  Csr<double> m = with_random_values<double>(pattern, 8);
  std::vector<int32_t> p(m.n), ip(m.n);
  std::vector<int32_t> isp(4 * m.nnz() + 3 * m.n);
  int32_t flag = -1;
  dodrv(m.n, m.ia.data(), m.ja.data(), m.a.data(), p.data(), ip.data(),
        static_cast<int32_t>(isp.size()), isp.data(), 1, flag);
  ASSERT_EQ(flag, 0);
  std::vector<double> b(m.n, 1.0), z(m.n);
  TestBlock<double> block(100000);
  int32_t esp = 0;
  dndrv(m.n, p.data(), p.data(), ip.data(), m.ia.data(), m.ja.data(), m.a.data(), b.data(),
        z.data(), block.nsp, block.isp(), block.rsp(), esp, 1, flag);
  ASSERT_EQ(flag, 0);
  EXPECT_LT(relative_residual(m, z, b), 1e-13);
  // the ordering is the same for every family: it sees the pattern only
  Csr<dcomplex> mz = pattern;
  EXPECT_EQ(order(mz).p, p);
}

// ------------------------------------------------------------ real system --

TEST(RealSystem, SixtyBySixtyCompressibilityTestSolvesInTheRunBlock) {
  FemSystem s = fem_system(60, 60);
  std::vector<int32_t> c(s.m.n), ic(s.m.n);
  int32_t flag = -1, esp = 0;
  zodrv(s.m.n, s.m.ia.data(), s.m.ja.data(), s.m.a.data(), c.data(), ic.data(), classic_work_words,
        run_block.isp(), 1, flag);
  ASSERT_EQ(flag, 0);
  std::vector<dcomplex> z(s.m.n);
  zndrv(s.m.n, c.data(), c.data(), ic.data(), s.m.ia.data(), s.m.ja.data(), s.m.a.data(),
        s.rhs.data(), z.data(), classic_work_words, run_block.isp(), run_block.rsp(), esp, 1, flag,
        run_block.scratch);
  ASSERT_EQ(flag, 0) << "the 60 x 60 system must fit the work block";
  EXPECT_GT(esp, 0);
  EXPECT_LT(relative_residual(s.m, z, s.rhs), 1e-10);
}

}  // namespace
