// The two steps of the assembly that the whole system (global_sist.cpp) and
// a band of its rows (band_assembly.cpp) share: a cell's numbers sorted,
// and one row of an element matrix added into its stored row.
#pragma once

#include <cstdint>

#include "common/complex.hpp"
#include "fem/global_numbering.hpp"
#include "fem/local_sys.hpp"

namespace element_scatter {

// Merges the ascending lists a[0..na) and b[0..nb) into out, keeping one
// copy of every number (a number present in both lists, or repeated within
// one: under the piston several slots of a cell share an unknown); returns
// the length.
inline int merge_unique(const std::int32_t* a, int na, const std::int32_t* b, int nb,
                 std::int32_t* out) {
  int ia = 0;
  int ib = 0;
  int no = 0;
  auto keep = [&](std::int32_t v) {
    if (no == 0 || out[no - 1] != v) out[no++] = v;
  };
  while (ia < na && ib < nb) {
    if (a[ia] < b[ib]) {
      keep(a[ia++]);
    } else if (b[ib] < a[ia]) {
      keep(b[ib++]);
    } else {
      keep(a[ia++]);
      ++ib;
    }
  }
  while (ia < na) keep(a[ia++]);
  while (ib < nb) keep(b[ib++]);
  return no;
}

// The 20 numbers of cell e in ascending order, with the local slot each
// came from (insertion sort of 20 numbers).
inline void sort_cell_numbers(const NodeTable& xnod, int e, std::int32_t* node, std::int32_t* slot) {
  for (int s = 1; s <= 20; ++s) {
    const std::int32_t v = xnod(e, s);
    int p = s - 1;
    while (p > 0 && node[p - 1] > v) {
      node[p] = node[p - 1];
      slot[p] = slot[p - 1];
      --p;
    }
    node[p] = v;
    slot[p] = s;
  }
}

// Row s of the element matrix a_el added into the stored row that starts
// at position `start` of ja and avec (1-based): the position of each
// element column is found by one merge-walk of the row against the cell's
// sorted numbers; the first contribution to a position is stored as it is
// (signed zeros included), later ones are added.
template <class Position>
inline void add_element_row(const ElementMatrix& a_el, int s, const std::int32_t* node, const std::int32_t* slot,
                            Position start, const std::int32_t* ja, dcomplex* avec, unsigned char* touched) {
  Position pos[21];  // pos[t]: position of the column of slot t in the row
  Position p = start;
  for (int q = 0; q < 20; ++q) {
    while (ja[p - 1] < node[q]) ++p;
    pos[slot[q]] = p;
  }
  for (int t = 1; t <= 20; ++t) {
    const Position pt = pos[t];
    const dcomplex v = a_el(s, t);
    if (touched[pt - 1] == 0) {
      touched[pt - 1] = 1;
      avec[pt - 1] = v;
    } else {
      avec[pt - 1].re += v.re;
      avec[pt - 1].im += v.im;
    }
  }
}

}  // namespace element_scatter
