// The system of one band of cell rows: the complete rows of the unknowns
// the band owns, assembled from the cells that touch them, so that several
// processes (the ranks of one sample) each assemble and hold their own
// share of the rows and none holds the whole matrix.
//
// Cells are (j, k), j = 1..nx along x, k = 1..ny along y, e = (k-1)*nx + j.
// The band of cell rows k0..k1 owns every unknown whose highest cell row
// lies in k0..k1: a vertex line between two bands belongs to the upper one,
// which therefore also reads the cells of row k0 - 1 below it. Unknowns
// that reach further (the loaded plate of a piston test, which every top
// or right-side cell shares; the closing lines of a periodic mesh, whose
// highest row is ny and lowest 1) take the cells they touch wherever these
// lie. Bands that tile 1..ny thus own every unknown exactly once.
//
// Row r of a band is row r of global_pattern and global_values bit for bit:
// the same columns, and each value the sum of the same element entries
// added in the same order, since the band visits its cells in the order
// of the whole assembly (j outer, k inner), skipping only cells that touch
// none of its rows; the load of r likewise.
#pragma once

#include <cstdint>
#include <vector>

#include "common/cellmap.hpp"
#include "common/complex.hpp"
#include "fem/global_numbering.hpp"

// The rows of one band and their storage, made once per mesh by
// band_pattern and filled at each frequency by band_values.
struct RowBand {
  std::int32_t first_cell_row = 1, last_cell_row = 0;  // k0, k1
  std::int32_t n = 0;                 // unknowns of the whole mesh
  std::vector<std::int32_t> rows;     // the band's unknowns, ascending
  std::vector<std::int32_t> cells;    // the cells touching them, in assembly order
  // Compressed rows of the band (1-based positions): row rows[i] holds
  // columns ja[ia[i]-1 .. ia[i+1]-2] (global numbers, rising) and their
  // values a; rhs[i] is its load. Positions count in 64 bits: a band may
  // hold more than 2^31 entries.
  std::vector<std::int64_t> ia;
  std::vector<std::int32_t> ja;
  std::vector<dcomplex> a, rhs;
  // Work of the assembly: the position+1 of each unknown in rows (0: another
  // band's), each cell's numbers sorted with their slots, and whether a
  // stored entry has had its first contribution.
  std::vector<std::int32_t> local, sorted_node, sorted_slot;
  std::vector<unsigned char> touched;

  std::int64_t entries() const { return ia.empty() ? 0 : ia.back() - 1; }
};

// The cell rows of band b of `bands` that tile 1..ny, as even as whole
// rows allow: first_cell_row = 1 + b*ny/bands, up to the next band's less one.
void band_cell_rows(std::int32_t ny, std::int32_t bands, std::int32_t b, std::int32_t& first_cell_row,
                    std::int32_t& last_cell_row);

// The unknowns the band of cell rows k0..k1 owns: own[r-1] = 1 for each.
void band_unknowns(const std::int32_t& nx, const std::int32_t& ny, const NodeTable& xnod, std::int32_t k0,
                   std::int32_t k1, std::vector<unsigned char>& own);

// The band of cell rows k0..k1 of the nx x ny mesh numbered by xnod: its
// unknowns, its cells, its pattern, and room for its values.
void band_pattern(const std::int32_t& nx, const std::int32_t& ny, const NodeTable& xnod, std::int32_t k0,
                  std::int32_t k1, RowBand& band);

// The band's values and loads at omega, for `test`, on the pattern
// band_pattern laid out for this very xnod: those of global_values's rows.
void band_values(const double& omega, const std::int32_t& nx, const std::int32_t& ny, const double& h,
                 const NodeTable& xnod, const CoefficientMaps& coef, RowBand& band,
                 HarmonicTest test = HarmonicTest::vertical);
