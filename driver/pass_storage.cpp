#include "driver/pass_storage.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>
#include <string>

#include "common/stop.hpp"
#include "scalable/blas_buffer.hpp"
#include "scalable/ranks.hpp"

void RunStorageRelease::operator()(RunStorage* run) const { delete run; }

RunStoragePtr make_run_storage() { return RunStoragePtr(new RunStorage); }

void RunStorage::size_system(std::int32_t n) {
  const std::size_t un = static_cast<std::size_t>(n);
  ia.allocate(un + 1);
  const std::size_t entries = rows_shared ? 0 : un * entries_per_unknown;
  ia_builtin.allocate(rows_shared ? 0 : un + 1);
  ja.allocate(entries);
  avec.allocate(entries);
  rhs_m.allocate(un);
  z.allocate(un);
  residual.allocate(un);
  correction.allocate(un);
  c.allocate(un);
  ic.allocate(un);
  held.allocate(un);
}

bool uses_scalable_solver(const Deck& deck, SolverChoice choice) {
  if (choice == SolverChoice::automatic) return deck.nx > classic_cells_x || deck.ny > classic_cells_y;
  return choice == SolverChoice::mumps;
}

scalable::Ordering scalable_ordering(std::int32_t n) {
  return n > n_geometric_order ? scalable::Ordering::given : scalable::Ordering::amd;
}

void resize_arrays(RunStorage& run, std::int32_t n, std::int32_t words) {
  const Deck& deck = run.deck;
  for (RealMap* map : {&run.phiw, &run.binary_ice, &run.patchy}) map->resize(deck.nx, deck.ny);
  run.coarse_map.resize(deck.nx / deck.refine, deck.ny / deck.refine);
  run.matnum.resize(deck.nx, deck.ny);
  run.coef.resize(deck.nx, deck.ny);
  run.fields.resize(deck.nx, deck.ny);
  run.xnod.resize(deck.nx * deck.ny);
  if (run.rows_shared) {
    run.assembly.resize(0, 0);
  } else {
    run.assembly.resize(n, deck.nx * deck.ny);
  }
  run.size_system(n);
  run.work.allocate(words);
}

std::int64_t mesh_unknowns(const Deck& deck, TopLoad load) {
  const std::int64_t nx = deck.nx, ny = deck.ny;
  // Any two 32-bit counts multiply within 64 bits.  The unknowns and the
  // cells' 20 numbers each are counted in 32 bits (the entries of the
  // matrix in 64): about 10 000 x 10 000 cells at most, far past what the
  // memory of any machine holds.
  if (nx * ny > std::numeric_limits<std::int32_t>::max() / NodeTable::slots) return -1;
  std::int64_t n = 6 * nx * ny + 5 * nx + 5 * ny + 4;
  if (load == TopLoad::piston) n -= 2 * nx + 1;
  if (n > std::numeric_limits<std::int32_t>::max()) return -1;
  return n;
}

std::int64_t work_block_words(std::int64_t n) {
  if (n <= classic_unknowns) return classic_work_words;
  const double grown = 500.0 * static_cast<double>(n) * std::log(static_cast<double>(n)) /
                       std::log(static_cast<double>(classic_unknowns)) * 1.25;
  if (grown > static_cast<double>(std::numeric_limits<std::int32_t>::max())) return -1;
  return static_cast<std::int64_t>(std::ceil(grown));
}

std::uint64_t pass_arrays_estimate(const Deck& deck, TopLoad load, int sharing_ranks) {
  const std::uint64_t cells = static_cast<std::uint64_t>(deck.nx > classic_cells_x ? deck.nx : classic_cells_x) *
                              static_cast<std::uint64_t>(deck.ny > classic_cells_y ? deck.ny : classic_cells_y);
  const std::int64_t n = mesh_unknowns(deck, load);
  const std::uint64_t un = n > classic_unknowns ? static_cast<std::uint64_t>(n) : classic_unknowns;
  // Per cell: 22 real or integer maps, 7 result fields, 20 numbers, the
  // assembly's 60 words of cell lists.
  const std::uint64_t per_cell = 22 * 8 + 6 * 16 + 8 + 20 * 4 + 60 * 4;
  // Per unknown: the compressed rows (50 entries of 4 + 16 bytes, row
  // pointers of 8 and their 4-byte copy), the load, solution, ordering and
  // the assembly's lists and marks.
  const std::uint64_t per_unknown = entries_per_unknown * (4 + 16 + 1) + 8 + 4 + 4 * 16 + 2 * 4 + 4 * 4;
  if (sharing_ranks <= 1) return cells * per_cell + un * per_unknown;
  // Rows shared between ranks: no compressed rows and no assembly lists
  // here, but this rank's band (its rows with their marks, and their lower
  // triangle: two numbers and a value per entry, about half the
  // entries), and the held unknowns' flags and values, the whole solution
  // and this rank's part of a vector.
  const std::uint64_t band = entries_per_unknown * (4 + 16 + 1) + entries_per_unknown / 2 * (4 + 4 + 16);
  const std::uint64_t shared_per_unknown = 8 + 4 * 16 + 2 * 4 + 1 + 3 * 16 + band / sharing_ranks;
  return cells * (per_cell - 60 * 4) + un * shared_per_unknown;
}

std::uint64_t pass_memory_estimate(const Deck& deck, TopLoad load, bool scalable) {
  const std::int64_t n = mesh_unknowns(deck, load);
  const std::uint64_t un = n > classic_unknowns ? static_cast<std::uint64_t>(n) : classic_unknowns;
  if (scalable) {
    // The factors of a nested-dissection or minimum-degree ordering of a
    // two-dimensional mesh grow like n log n: 3.24 million entries of 16
    // bytes at the 60 x 60 mesh (measured), with MUMPS's working space
    // (a half as much again) and a tenth to spare.
    const double ratio = static_cast<double>(un) / classic_unknowns;
    // Over several ranks this process holds its share of them.
    const double entries = 3.24e6 * ratio * std::log(static_cast<double>(un)) / std::log(double{classic_unknowns});
    const int ranks = scalable::rank_count();
    return pass_arrays_estimate(deck, load, ranks) + static_cast<std::uint64_t>(entries * 16.0 * 1.5 * 1.1 / ranks);
  }
  const std::int64_t words = work_block_words(static_cast<std::int64_t>(un));
  const std::uint64_t block = 16 * static_cast<std::uint64_t>(words > 0 ? words : 0) + sizeof(sparse::FactorScratch);
  return pass_arrays_estimate(deck, load) + block;
}

void reserve_blas_buffer(const Deck& deck) {
  if (scalable::blas_buffer_taken()) return;
  const std::uint64_t left = address_space_left();
  if (left < scalable::blas_buffer_bytes + memory_headroom) {
    stop_input_parameter("standard input, lines 5-6: nx = " + std::to_string(deck.nx) + ", ny = " +
                         std::to_string(deck.ny) + ": the scalable solver's BLAS needs " +
                         std::to_string((scalable::blas_buffer_bytes + memory_headroom) >> 20) +
                         " MB of address space for its work buffer, and the address-space limit leaves " +
                         std::to_string(left >> 20) + " MB");
  }
  scalable::take_blas_buffer();
}

void size_for_mesh(RunStorage& run, std::int32_t passes, bool scalable) {
  const Deck& deck = run.deck;
  const std::int64_t n = mesh_unknowns(deck, run.load);
  // The scalable solver keeps its factors itself: the work block shrinks
  // to a word.
  const std::int64_t words = scalable ? 1 : work_block_words(n);
  if (n < 0 || words < 0) {
    stop_input_parameter("standard input, lines 5-6: nx = " + std::to_string(deck.nx) + ", ny = " +
                         std::to_string(deck.ny) + ": the mesh is too large for the solver's 32-bit indices");
  }
  if (scalable) {
    // The scalable solver's factors are its own: the work block of the
    // built-in solver shrinks to a word at any size, and the BLAS's
    // buffer is taken before the storage of a larger mesh, so that every
    // later estimate counts it among what the process holds.
    if (run.work.nsp != 1) run.work.allocate(1);
    reserve_blas_buffer(deck);
  }
  // Over several ranks each holds its own rows (driver/band_ranks.hpp).
  run.rows_shared = scalable && scalable::rank_count() > 1;
  if (deck.nx <= classic_cells_x && deck.ny <= classic_cells_y) return;  // the sizes it was made with
  const std::uint64_t needed = pass_memory_estimate(deck, run.load, scalable) * static_cast<std::uint64_t>(passes);
  const std::uint64_t offered = memory_offered();
  if (needed > offered) {
    stop_input_parameter("standard input, lines 5-6: nx = " + std::to_string(deck.nx) + ", ny = " +
                         std::to_string(deck.ny) + ": the mesh needs about " + std::to_string(needed >> 20) +
                         " MB, and this machine offers " + std::to_string(offered >> 20) + " MB");
  }
  try {
    resize_arrays(run, static_cast<std::int32_t>(n), static_cast<std::int32_t>(words));
  } catch (const std::bad_alloc&) {
    stop_input("cannot allocate the storage of a " + std::to_string(deck.nx) + " x " + std::to_string(deck.ny) +
               " mesh (about " + std::to_string(needed >> 20) + " MB)");
  }
}
