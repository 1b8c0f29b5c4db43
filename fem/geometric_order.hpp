// geometric_order: a fill-reducing pivot order of the mesh's unknowns,
// computed from the grid alone by nested dissection.
//
// The unknowns of two cells couple only when the cells share a vertex, so
// a line of vertices (with the vertical or horizontal edges lying on it)
// cuts the mesh in two halves that do not couple. Numbering both halves
// first and the line after them confines the fill of each half to itself;
// recursing into the halves gives the nested-dissection order, whose
// factors of an n-unknown grid hold O(n log n) entries. The cut runs
// across the longer side of each rectangle of cells, at its middle; the
// recursion ends at rectangles at most one cell wide or high, whose
// unknowns are numbered row by row from the bottom.
//
// The order depends on nx and ny and the numbering alone: no graph is
// built or partitioned, it is the same on every run and machine, and it
// takes linear time.
//
// An unknown met at several places of the grid (the piston's one vertical
// unknown along the top, a periodic side's image of the opposite side)
// takes the place of its last meeting, which is where a separator would
// put a coupling between two halves.
//
// In:  nx, ny, the mesh size; xnod, the numbering of any load (rows 1 ..
//      nx*ny); n, the number of unknowns it uses (every number 1..n
//      appears).
// Out: perm_in(i) = the position (1..n) of unknown i in the pivot order,
//      i = 1..n (perm_in[i - 1]).
#pragma once

#include <cstdint>
#include <vector>

#include "fem/global_numbering.hpp"

void geometric_order(std::int32_t nx, std::int32_t ny, const NodeTable& xnod, std::int32_t n,
                     std::vector<std::int32_t>& perm_in);
