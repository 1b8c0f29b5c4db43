// global_sist: the complex sparse system of the harmonic compressibility
// test, assembled from the element matrices and loads of every cell.
//
// In:  omega (rad/s), the mesh nx x ny, the cell side h, the numbering xnod
//      (global_numbering), and the per-cell coefficient maps: elastic
//      lambda1 .. d3, mass p11 .. p33 (handed to local_sys, which ignores
//      them), friction b11, b12, b22.
// Out: the matrix of order n = 6*nx*ny + 5*nx + 5*ny + 4 in compressed rows
//      ia (n+1 row pointers), ja (columns), avec (values), and the load
//      rhs_m (n values).
//
// Compressed rows (1-based): row i occupies positions ia(i) .. ia(i+1)-1 of
// ja and avec, ia(1) = 1, and ia(n+1)-1 is the number of stored entries.
// After the assembly the columns of every row rise strictly; the entry
// (r,c) is stored, even when zero, exactly when unknowns r and c belong to
// a common cell (so the pattern is structurally symmetric, while the values
// are not); each stored value is the sum of its element entries added in
// the order of the cells (j outer, k inner); positions ia(n+1) .. 50*n of
// ja and avec are 0.
//
// The arrays are addressed through pointers to element 1 (position p is
// pointer[p-1]); ja and avec must hold 50*n positions, ia n+1, rhs_m n.
// The numbers in xnod must lie in 1..n, as global_numbering makes them.
//
// The pattern depends on the numbering alone and the values on omega and
// the coefficients, so the assembly is also offered in its two halves: a
// run over many frequencies on one mesh lays out the pattern once
// (global_pattern) and re-assembles only the values at each frequency
// (global_values). global_sist is global_pattern followed by global_values.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/cellmap.hpp"
#include "common/complex.hpp"
#include "fem/global_numbering.hpp"

// The scratch of the assembly, owned by the caller (one per pass object, so
// that two assemblies may run at once) and sized once for its mesh by
// resize (a 60 x 60 mesh by default):
//   occ_start/occ_cell: for unknown r, the cells containing it are
//       occ_cell[occ_start[r] .. occ_start[r+1]-1] (counting sort);
//   sorted_node/sorted_slot: the 20 numbers of each cell in ascending
//       order, with the local slot each came from;
//   merge_a/merge_b: the growing column list of one row;
//   touched: whether a stored entry has received its first contribution.
struct AssemblyScratch {
  std::vector<std::int32_t> occ_start, occ_cell, sorted_node, sorted_slot, merge_a, merge_b;
  std::vector<unsigned char> touched;

  AssemblyScratch() { resize(classic_unknowns, classic_cells); }
  // Room for n unknowns in `cells` cells, with entries_per_unknown stored
  // entries per unknown.
  void resize(std::int32_t n, std::int32_t cells) {
    const std::size_t un = static_cast<std::size_t>(n), uc = static_cast<std::size_t>(cells) * 20;
    occ_start.assign(un + 2, 0);
    occ_cell.assign(uc, 0);
    sorted_node.assign(uc, 0);
    sorted_slot.assign(uc, 0);
    merge_a.assign(un, 0);
    merge_b.assign(un, 0);
    touched.assign(un * entries_per_unknown, 0);
  }
};

// The routine's own arguments are followed by the caller's scratch.
void global_sist(const double& omega, const std::int32_t& nx, const std::int32_t& ny,
                 const double& h, const NodeTable& xnod, const RealMap& lambda1,
                 const RealMap& lambda3, const RealMap& mu1, const RealMap& mu3,
                 const RealMap& mu13, const RealMap& b1, const RealMap& b2, const RealMap& m,
                 const RealMap& d3, const RealMap& p11, const RealMap& p12, const RealMap& p13,
                 const RealMap& p22, const RealMap& p23, const RealMap& p33,
                 const RealMap& b11, const RealMap& b12, const RealMap& b22, dcomplex* avec,
                 std::int32_t* ia, std::int32_t* ja, dcomplex* rhs_m, AssemblyScratch& scratch);

// global_pattern: the compressed-row pattern of the system of an nx x ny
// mesh, without its values.
//
// In:  the mesh nx x ny and the numbering xnod (numbers in 1..n).
// Out: ia (n+1 row pointers) and ja (the strictly rising columns of every
//      row): (r,c) is stored exactly when unknowns r and c belong to a
//      common cell. Positions ia(n+1) .. 50*n of ja and avec are set to 0;
//      the stored positions 1 .. ia(n+1)-1 of avec are left as they were,
//      for global_values to fill.
//
// ia and ja follow from xnod alone, so one call serves every frequency
// assembled on the same mesh. ja and avec must hold 50*n positions, ia n+1.
//
// The row pointers ia count in 32 or 64 bits (Index): a mesh of more than
// 2^31 stored entries needs the 64 bits.
template <class Index>
void global_pattern(const std::int32_t& nx, const std::int32_t& ny, const NodeTable& xnod, Index* ia,
                    std::int32_t* ja, dcomplex* avec, AssemblyScratch& scratch);

// global_values: the values and the load of the system at one frequency, on
// a pattern already laid out.
//
// In:  omega, the mesh nx x ny, the cell side h, the numbering xnod, the
//      coefficient maps, and ia, ja as global_pattern
//      built them for this very nx, ny and xnod.
// Out: avec at the stored positions 1 .. ia(n+1)-1 and the load rhs_m
//      (n values), both assembled from scratch: whatever the arrays held
//      before, from garbage to an earlier frequency, is overwritten, and the
//      result is bit for bit that of global_sist at this omega. ia, ja and
//      the positions of avec beyond ia(n+1)-1 are not written.
//
// `test` chooses the harmonic test whose boundary conditions and load the
// element matrices carry (local_sys); xnod must be that test's numbering.
//
// Precondition: ia and ja are the pattern of xnod; with any other arrays
// the positions of the element entries are not found.
template <class Index>
void global_values(const double& omega, const std::int32_t& nx, const std::int32_t& ny, const double& h,
                   const NodeTable& xnod, const CoefficientMaps& coef, dcomplex* avec, const Index* ia,
                   const std::int32_t* ja, dcomplex* rhs_m, AssemblyScratch& scratch,
                   HarmonicTest test = HarmonicTest::vertical);
