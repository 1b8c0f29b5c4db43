// The storage of a pass: the arrays of one test on one mesh, their sizes
// from the deck, and the memory the machine offers them.
#pragma once

#include <cstdint>
#include <string>
#include <memory>

#include "common/cellmap.hpp"
#include "common/complex.hpp"
#include "common/machine_memory.hpp"
#include "driver/evaluation.hpp"
#include "driver/readata.hpp"
#include "driver/scalable_stage.hpp"
#include "fem/global_numbering.hpp"
#include "fem/global_sist.hpp"
#include "sparse/work_block.hpp"

// The state of one pass of the test.  Its owner (the program, or a worker
// of the frequency sweep) creates it once with make_run_storage(), sized
// for a 60 x 60 mesh (about 200 MB of address space, most of it the
// solver's work block, touched only as the stages fill it), and, once the
// deck is read, sizes it for a larger mesh with size_for_mesh().  Two such
// objects may be used side by side, each by its own thread, since the
// routines keep no state of their own.
struct RunStorage {
  Deck deck;
  TopLoad load = TopLoad::split;  // how the top is loaded (an option, not a deck item)
  // Which harmonic test the pass runs: the vertical one (under `load`), or
  // the horizontal or shear test of the effective stiffness (always with
  // their rigid plate).
  HarmonicTest test = HarmonicTest::vertical;
  std::vector<std::int32_t> numbering_scratch;  // merged_numbering's marks
  NodeTable transposed_scratch;                 // transposed_piston_numbering's table
  LayerReal size_layer;
  IntMap matnum;
  RealMap phiw, binary_ice;
  RealMap patchy;      // the patchy model's water map, read once per run (read_patchy_map)
  RealMap coarse_map;  // a per-cell file of a refined deck, on the deck's own cells
  CoefficientMaps coef;
  NodeTable xnod;
  // The assembled system in compressed rows (room for entries_per_unknown
  // entries per unknown), its load and its solution.
  // Row pointers count in 64 bits (a large mesh stores more than 2^31
  // entries); the built-in solver, whose meshes stay far below that, reads
  // them narrowed to 32 bits in ia_builtin.
  Buffer<std::int64_t> ia;
  Buffer<std::int32_t> ja, ia_builtin;
  Buffer<dcomplex> avec, rhs_m, z;
  Buffer<dcomplex> residual, correction;  // the forward-error estimate's (refinement_forward_error)
  Buffer<std::int32_t> c, ic;  // ordering and its inverse
  sparse::WorkBlock work;
  // The scalable solver of the sample, when the pass uses it (null: the
  // built-in solver in the work block); owned by whoever made the pass.
  SharedSolver* shared = nullptr;
  Buffer<unsigned char> held;  // the unknowns held at zero, for the scalable solver
  // Over several ranks, each rank (this one included) assembles and holds
  // its own band of rows (driver/band_ranks.hpp): this storage then holds
  // no compressed rows (ja, avec and the assembly's scratch stay empty),
  // only the load, the solution and the refinement's vectors.
  bool rows_shared = false;
  AssemblyScratch assembly;
  ResultFields fields;

  RunStorage() { size_system(classic_unknowns); }
  // The arrays of the system for n unknowns.
  void size_system(std::int32_t n);
};

// The solver's own sizes must hold the 60 x 60 mesh: the ordering's lists
// (half the block after n words) both triangles of its stored entries, and
// the block the factors' budget.
static_assert((std::int64_t{sparse::WorkBlock::default_nsp} - classic_unknowns) / 2 >=
              classic_unknowns + 2 * std::int64_t{entries_per_unknown} * classic_unknowns);
static_assert(sparse::WorkBlock::default_nsp >= classic_work_words);

// The unknowns of the deck's mesh under `load`: 6 nx ny + 5 nx + 5 ny + 4,
// less the 2 nx + 1 that the piston merges; -1 when it would not fit the
// solver's 32-bit indices with entries_per_unknown entries per unknown.
std::int64_t mesh_unknowns(const Deck& deck, TopLoad load);

// The work block of the built-in solver for n unknowns, in 16-byte words:
// the fixed 11102000 up to the 60 x 60 mesh; beyond it, the fill of a
// minimum-degree factorisation of a two-dimensional mesh grows like
// n log n, and the block grows with it from the 500 words per unknown of
// the 60 x 60 mesh (with a quarter to spare).  -1 beyond 32-bit words.
std::int64_t work_block_words(std::int64_t n);

// What a pass object of the deck's mesh takes, in bytes, and what this
// machine offers: the memory available now, bounded by the process's
// address-space limit.
std::uint64_t pass_memory_estimate(const Deck& deck, TopLoad load, bool scalable = false);
// The same without the solver's storage (work block or factors); with the
// rows shared between sharing_ranks > 1 ranks, this rank's share.
std::uint64_t pass_arrays_estimate(const Deck& deck, TopLoad load, int sharing_ranks = 1);

// Whether the deck's mesh is solved by the scalable solver under `choice`.
bool uses_scalable_solver(const Deck& deck, SolverChoice choice);
// Takes the scalable solver's BLAS buffer (scalable/blas_buffer.hpp) once
// per process, after checking that it fits the address space left; stops
// with stop_bad_parameter and both figures when it does not.
void reserve_blas_buffer(const Deck& deck);

// Sizes `run` for its deck's mesh (a mesh up to 60 x 60 keeps the sizes it
// was made with).  Stops with stop_bad_parameter, before any allocation of
// that size, when the mesh is too large for the solver's indices or when
// `passes` pass objects of it would need more memory than the machine
// offers, giving both figures; stops with stop_input_error when the system
// refuses the memory all the same.  With the scalable solver it first takes
// the BLAS's buffer (reserve_blas_buffer), at any size.
void size_for_mesh(RunStorage& run, std::int32_t passes = 1, bool scalable = false);

// Every array of `run` sized for its deck's mesh, n unknowns and a work
// block of `words` words.
void resize_arrays(RunStorage& run, std::int32_t n, std::int32_t words);

struct RunStorageRelease {
  void operator()(RunStorage* run) const;
};
using RunStoragePtr = std::unique_ptr<RunStorage, RunStorageRelease>;

// A new pass object, sized for a 60 x 60 mesh.  Its memory is touched only
// as the stages fill it; the work block is asked for large pages, which
// spares tens of thousands of page faults (a tenth of a run's CPU time)
// where the system offers them.
RunStoragePtr make_run_storage();
