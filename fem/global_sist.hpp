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
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"
#include "common/complex.hpp"
#include "fem/contribucion_yale.hpp"
#include "fem/global_numbering.hpp"

void global_sist(const double& omega, const std::int32_t& nx, const std::int32_t& ny,
                 const double& h, const NodeTable& xnod, const RealMap& lambda1,
                 const RealMap& lambda3, const RealMap& mu1, const RealMap& mu3,
                 const RealMap& mu13, const RealMap& b1, const RealMap& b2, const RealMap& m,
                 const RealMap& d3, const RealMap& p11, const RealMap& p12, const RealMap& p13,
                 const RealMap& p22, const RealMap& p23, const RealMap& p33,
                 const RealMap& b11, const RealMap& b12, const RealMap& b22, dcomplex* avec,
                 std::int32_t* ia, std::int32_t* ja, dcomplex* rhs_m);
