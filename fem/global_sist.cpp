#include "fem/global_sist.hpp"

#include <array>
#include <cstring>

#include "fem/element_scatter.hpp"
#include "fem/local_sys.hpp"

namespace {


// The 20 numbers of each of the first ncells cells in ascending order, with
// the local slot each came from, into sorted_node/sorted_slot.
void sort_cell_numbers(const NodeTable& xnod, int ncells, AssemblyScratch& w) {
  for (int e = 1; e <= ncells; ++e)
    element_scatter::sort_cell_numbers(xnod, e, &w.sorted_node[(e - 1) * 20], &w.sorted_slot[(e - 1) * 20]);
}

}  // namespace

// Policy. Inserting entry by entry (contribucion_yale) shifts the stored
// tail on every new entry, which is quadratic in the size of the system.
// The pattern, however, follows from xnod alone (unknowns are coupled
// exactly when they share a cell), so the pattern is laid out first
// (global_pattern) and the values are then added into it (global_values):
//   1. every row empty so far;
//   2. sort the 20 numbers of each cell and list the cells of each unknown;
//   3. row r = the union of the sorted number lists of its cells, which
//      gives ia and ja; the entry positions the pattern does not reach are
//      cleared;
//   4. visit the cells j outer, k inner: find the position of each element
//      entry by one merge-walk of the global row against the sorted cell
//      numbers, and store the entries row-major: the first contribution to
//      a position is stored as it is, later ones are added. Every stored sum
//      thus receives the same terms in the same order as under insertion,
//      and rounds the same way (signed zeros included);
//   5. add the element loads into rhs_m, cleared beforehand, in the same
//      cell order.
// Steps 1-3 are global_pattern, 4-5 global_values. global_values keeps
// nothing from global_pattern but ia and ja: it sorts the cell numbers
// again (cheap next to the element matrices) and resets its own record of
// touched positions, so it may follow any other assembly.

namespace {

// The coefficient maps as global_sist receives them, one by one, bundled
// by name with the members of CoefficientMaps (no map is copied).
struct MapReferences {
  const RealMap &lambda1, &lambda3, &mu1, &mu3, &mu13, &b1, &b2, &m, &d3;  // elastic
  const RealMap &p11, &p12, &p13, &p22, &p23, &p33;                     // mass
  const RealMap &b11, &b12, &b22;                                       // friction
};

// The values and the load on a laid-out pattern: the common body of
// global_sist and global_values.  Maps is CoefficientMaps or MapReferences:
// each map is read by its name.
template <class Maps, class Index>
void assemble_values(const double& omega, const std::int32_t& nx, const std::int32_t& ny, const double& h,
                     const NodeTable& xnod, const Maps& coef, dcomplex* avec, const Index* ia,
                     const std::int32_t* ja, dcomplex* rhs_m, AssemblyScratch& w, HarmonicTest test) {
  const std::int32_t n = numbered_unknowns(nx, ny, xnod);
  const dcomplex zero(0.0, 0.0);
  const int ncells = (nx > 0 && ny > 0) ? nx * ny : 0;

  // The load is summed from zero; no stored position has been written yet.
  for (std::int32_t i = 1; i <= n; ++i) rhs_m[i - 1] = zero;
  if (n <= 0) return;
  const Index nnz = ia[n] - 1;
  std::memset(w.touched.data(), 0, static_cast<std::size_t>(nnz));
  // The sorted numbers of this xnod, whatever mesh the scratch last held.
  sort_cell_numbers(xnod, ncells, w);

  // --- 4, 5. Element entries and loads, cells j outer, k inner ---
  ElementMatrix a_el;
  ElementVector rhs_el;
  for (std::int32_t j = 1; j <= nx; ++j) {
    for (std::int32_t k = 1; k <= ny; ++k) {
      local_sys(j, k, nx, ny, omega, h, coef.lambda1(j, k), coef.lambda3(j, k), coef.mu1(j, k), coef.mu3(j, k),
                coef.mu13(j, k), coef.b1(j, k), coef.b2(j, k), coef.m(j, k), coef.d3(j, k), coef.p11(j, k),
                coef.p12(j, k), coef.p13(j, k), coef.p22(j, k), coef.p23(j, k), coef.p33(j, k), coef.b11(j, k),
                coef.b12(j, k), coef.b22(j, k), a_el, rhs_el, test);
      const int e = (k - 1) * nx + j;
      const std::int32_t* node = &w.sorted_node[(e - 1) * 20];
      const std::int32_t* slot = &w.sorted_slot[(e - 1) * 20];
      for (int s = 1; s <= 20; ++s)
        element_scatter::add_element_row(a_el, s, node, slot, ia[xnod(e, s) - 1], ja, avec, w.touched.data());
      for (int s = 1; s <= 20; ++s) {
        const std::int32_t r = xnod(e, s);
        rhs_m[r - 1].re += rhs_el(s).re;
        rhs_m[r - 1].im += rhs_el(s).im;
      }
    }
  }
}

}  // namespace

void global_sist(const double& omega, const std::int32_t& nx, const std::int32_t& ny,
                 const double& h, const NodeTable& xnod, const RealMap& lambda1,
                 const RealMap& lambda3, const RealMap& mu1, const RealMap& mu3,
                 const RealMap& mu13, const RealMap& b1, const RealMap& b2, const RealMap& m,
                 const RealMap& d3, const RealMap& p11, const RealMap& p12, const RealMap& p13,
                 const RealMap& p22, const RealMap& p23, const RealMap& p33,
                 const RealMap& b11, const RealMap& b12, const RealMap& b22, dcomplex* avec,
                 std::int32_t* ia, std::int32_t* ja, dcomplex* rhs_m, AssemblyScratch& scratch) {
  global_pattern(nx, ny, xnod, ia, ja, avec, scratch);
  const MapReferences maps{.lambda1 = lambda1, .lambda3 = lambda3, .mu1 = mu1, .mu3 = mu3, .mu13 = mu13,
                           .b1 = b1, .b2 = b2, .m = m, .d3 = d3, .p11 = p11, .p12 = p12, .p13 = p13,
                           .p22 = p22, .p23 = p23, .p33 = p33, .b11 = b11, .b12 = b12, .b22 = b22};
  assemble_values(omega, nx, ny, h, xnod, maps, avec, ia, ja, rhs_m, scratch, HarmonicTest::vertical);
}

template <class Index>
void global_pattern(const std::int32_t& nx, const std::int32_t& ny, const NodeTable& xnod, Index* ia,
                    std::int32_t* ja, dcomplex* avec, AssemblyScratch& w) {
  const std::int32_t n = numbered_unknowns(nx, ny, xnod);
  const dcomplex zero(0.0, 0.0);
  const int ncells = (nx > 0 && ny > 0) ? nx * ny : 0;

  // --- 1. Every row empty so far ---
  for (std::int32_t i = 1; i <= n + 1; ++i) ia[i - 1] = 1;
  if (n <= 0) return;

  // --- 2. Sorted numbers of each cell; the cells of each unknown ---
  sort_cell_numbers(xnod, ncells, w);
  for (std::int32_t r = 1; r <= n + 1; ++r) w.occ_start[r] = 0;
  for (int e = 1; e <= ncells; ++e) {
    for (int s = 1; s <= 20; ++s) ++w.occ_start[xnod(e, s)];
  }
  // occ_start[r] becomes the end of unknown r's list, then its start as the
  // cells are placed from the back.
  std::int32_t total = 0;
  for (std::int32_t r = 1; r <= n; ++r) {
    total += w.occ_start[r];
    w.occ_start[r] = total;
  }
  w.occ_start[n + 1] = total;
  for (int e = ncells; e >= 1; --e) {
    for (int s = 20; s >= 1; --s) w.occ_cell[--w.occ_start[xnod(e, s)]] = e;
  }

  // --- 3. Pattern: row r = union of the numbers of the cells of r ---
  Index next = 1;  // next free position of ja
  for (std::int32_t r = 1; r <= n; ++r) {
    ia[r - 1] = next;
    std::int32_t* row = w.merge_a.data();
    std::int32_t* spare = w.merge_b.data();
    int len = 0;
    for (std::int32_t q = w.occ_start[r]; q < w.occ_start[r + 1]; ++q) {
      const std::int32_t* node = &w.sorted_node[(w.occ_cell[q] - 1) * 20];
      len = element_scatter::merge_unique(row, len, node, 20, spare);
      std::int32_t* t = row;
      row = spare;
      spare = t;
    }
    for (int q = 0; q < len; ++q) ja[next - 1 + q] = row[q];
    next += len;
  }
  ia[n] = next;
  const Index nnz = next - 1;
  const Index capacity = Index{50} * n;
  for (Index p = nnz + 1; p <= capacity; ++p) {
    ja[p - 1] = 0;
    avec[p - 1] = zero;
  }
}


template <class Index>
void global_values(const double& omega, const std::int32_t& nx, const std::int32_t& ny, const double& h,
                   const NodeTable& xnod, const CoefficientMaps& coef, dcomplex* avec, const Index* ia,
                   const std::int32_t* ja, dcomplex* rhs_m, AssemblyScratch& scratch, HarmonicTest test) {
  assemble_values(omega, nx, ny, h, xnod, coef, avec, ia, ja, rhs_m, scratch, test);
}

template void global_pattern(const std::int32_t&, const std::int32_t&, const NodeTable&, std::int32_t*,
                             std::int32_t*, dcomplex*, AssemblyScratch&);
template void global_pattern(const std::int32_t&, const std::int32_t&, const NodeTable&, std::int64_t*,
                             std::int32_t*, dcomplex*, AssemblyScratch&);
template void global_values(const double&, const std::int32_t&, const std::int32_t&, const double&, const NodeTable&,
                            const CoefficientMaps&, dcomplex*, const std::int32_t*, const std::int32_t*, dcomplex*,
                            AssemblyScratch&, HarmonicTest);
template void global_values(const double&, const std::int32_t&, const std::int32_t&, const double&, const NodeTable&,
                            const CoefficientMaps&, dcomplex*, const std::int64_t*, const std::int32_t*, dcomplex*,
                            AssemblyScratch&, HarmonicTest);
