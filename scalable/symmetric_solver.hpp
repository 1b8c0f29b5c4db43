// SymmetricSolver: the sparse direct solver for large meshes, a wrapper of
// the sequential multifrontal solver MUMPS (double complex, ZMUMPS) for a
// complex symmetric matrix A = A^T (not Hermitian), factorised as L D L^T.
//
//   analyse(n, ia, ja)  the pattern, once per mesh: the full, structurally
//                       symmetric pattern in 1-based compressed rows (ia n+1
//                       row pointers, ja columns); a fill-reducing ordering
//                       and the symbolic factorisation (with a fourth
//                       argument perm_in, the given pivot order: perm_in[i-1]
//                       is the position 1..n of unknown i);
//   factor(a)           the values on that pattern, once per frequency: a at
//                       the positions of ja; the values must be symmetric
//                       (a(r,c) == a(c,r)); only the lower triangle is read
//                       into the factorisation, all of it into the check;
//   solve(rhs, x)       x = A^-1 rhs with the last factors (rhs, x: n values;
//                       they may be the same array).
// Every call returns a Status: ok, or what went wrong in words (MUMPS's
// error code INFOG(1) < 0 and its detail INFOG(2) included). Nothing is
// thrown and nothing stops the program; a failed call leaves the object
// usable for a new analyse (after a failed factor, for a new factor). A
// moved-from object may only be destroyed or assigned to.
//
// Orderings: METIS nested dissection (the default; METIS_NodeND called here
// and handed to MUMPS as the user's pivot order: Debian's sequential MUMPS
// is built without METIS, and asked for it (ICNTL(7) = 5) it silently
// orders by AMF instead), MUMPS's own approximate minimum degree (AMD) or
// approximate minimum fill (AMF), or a pivot order the caller computed and
// hands to analyse (given). memory().ordering_used tells which ordering
// MUMPS applied.
//
// The memory figures MUMPS gives (memory()) are the estimate of the
// analysis for an in-core factorisation and, after factor, what it
// allocated and used, in megabytes (10^6 bytes).
//
// Determinism: the results are the same bytes run to run on one machine
// and do not depend on any thread count. MUMPS is built without OpenMP,
// the BLAS under it is the serial OpenBLAS (blas_is_serial() checks the one
// loaded), METIS runs with its fixed default seed, and the analysis is
// sequential.
//
// Ownership and threads: each object owns one MUMPS instance (and the
// arrays it lends MUMPS), created in the constructor and ended in the
// destructor; nothing is shared between objects. MUMPS itself, however,
// keeps working state in Fortran module variables shared by all instances
// of the process (its load-balancing, buffer, out-of-core and low-rank
// modules: the __zmumps_load_MOD_*, __zmumps_buf_MOD_*, __mumps_ooc_common_
// MOD_* symbols of libzmumps_seq and libmumps_common_seq). Two objects
// inside MUMPS at the same time, from two threads, corrupt that state: two
// threads each analysing and factorising its own 30 x 30 system in its own
// object end in a segmentation fault or a double free, whether or not the
// objects were created beforehand on one thread. One call at a time is
// safe, whichever thread makes it and however the calls of different
// objects interleave (each call saves and restores its instance's state;
// the tests check that interleaved objects keep their own factors).
// The one lock: every call into MUMPS made here (the start and the end
// of an instance, the analysis, the factorisation, the solution) holds the
// process's one lock, mumps_lock(), so that no caller can forget it and
// two threads never are inside MUMPS at once. A caller that shares one
// object between threads holds the same lock across the calls that must
// follow one another on it (a factorisation and the solutions from its
// factors); the lock is recursive, so the calls inside take it again.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/complex.hpp"
#include "scalable/ranks.hpp"

namespace scalable {

enum class Ordering { metis, amd, amf, given };

struct Status {
  enum Kind {
    ok,
    bad_pattern,        // pattern not square, not 1-based, unsorted bounds or not symmetric
    asymmetric_values,  // a(r,c) != a(c,r) at some stored pair
    out_of_order,       // factor before analyse, or solve before factor
    ordering_failed,    // METIS returned an error, or no order was given
    mumps_failed,       // MUMPS's INFOG(1) < 0 (see infog1, infog2)
  };
  Kind kind = ok;
  int infog1 = 0;  // MUMPS's INFOG(1) and INFOG(2) of the failed call, else 0
  int infog2 = 0;
  std::string message;
  bool good() const { return kind == ok; }
  // MUMPS could not have the memory it needed: an allocation refused
  // (-5, -7, -13, -19), or a workspace still too small after every retry
  // with more relaxation (-8, -9, -14, -15).
  bool memory_refused() const {
    return kind == mumps_failed && (infog1 == -5 || infog1 == -7 || infog1 == -13 || infog1 == -19 ||
                                    infog1 == -8 || infog1 == -9 || infog1 == -14 || infog1 == -15);
  }
};

// MUMPS's figures, in megabytes; -1 while not yet known.
struct Memory {
  long estimated_mb = -1;  // INFOG(17): analysis's estimate for an in-core factorisation
  long allocated_mb = -1;  // INFOG(19): allocated by the last factorisation
  long used_mb = -1;       // INFOG(22): effectively used by the last factorisation
  double estimated_entries = -1;  // INFOG(20): the analysis's estimate of the factors' entries
  double factor_entries = -1;  // INFOG(9): entries of the factors (after factor)
  int ordering_used = -1;      // INFOG(7): 0 AMD, 1 given (METIS or the caller's), 2 AMF, ...
  // Every rank's share (rank 0 first; one rank without MPI): what it needs
  // for the factorisation and what its machine offers it.
  std::vector<RankMemory> ranks;
};

class SymmetricSolver {
 public:
  explicit SymmetricSolver(Ordering ordering = Ordering::metis);
  ~SymmetricSolver();
  SymmetricSolver(const SymmetricSolver&) = delete;
  SymmetricSolver& operator=(const SymmetricSolver&) = delete;
  SymmetricSolver(SymmetricSolver&&) noexcept;
  SymmetricSolver& operator=(SymmetricSolver&&) noexcept;

  // The row pointers ia in 32 or 64 bits (a pattern of more than 2^31
  // entries).
  Status analyse(std::int32_t n, const std::int32_t* ia, const std::int32_t* ja,
                 const std::int32_t* perm_in = nullptr);
  Status analyse(std::int32_t n, const std::int64_t* ia, const std::int32_t* ja,
                 const std::int32_t* perm_in = nullptr);
  // The values a of the analysed pattern, copied into the object's own
  // lower triangle.
  Status factor(const dcomplex* a);
  // The same without the copy: the lower triangle is moved to the front of
  // a for MUMPS, and a is made whole again before the call returns (each
  // entry past the diagonal from the transposed entry it equals, which the
  // check of symmetry holds); a must not be read meanwhile.
  Status factor_borrowing(dcomplex* a);

  // The rows shared between the ranks (row_share.hpp), no rank holding the
  // whole matrix: `own` is this rank's source, and `words` go to every
  // rank's (with the analysis, for the rows' pattern; with each
  // factorisation, for their values). factor_shared writes the whole load,
  // with the held unknowns eliminated, to `load` (rank 0, order n);
  // residual_shared writes load - A z to `residual` and returns the
  // componentwise backward error of z. The ordering is AMD or given.
  Status analyse_shared(std::int32_t n, const std::int32_t* perm_in, std::unique_ptr<RowSource> own,
                        const std::vector<char>& words);
  Status factor_shared(const std::vector<char>& words, dcomplex* load);
  double residual_shared(const dcomplex* z, dcomplex* residual);

  Status solve(const dcomplex* rhs, dcomplex* x);

  Memory memory() const;
  std::int32_t order() const;
  // Whether the next factorisations pivot: MUMPS's threshold pivoting
  // (a pivot at least a hundredth of the largest entry of its column; the
  // default), or the pivots in the analysis's order as they come, which
  // saves the search for them (a tenth of the time at 240 x 240 cells) and
  // may lose accuracy, or fail, on an ill-conditioned system.
  void pivoting(bool threshold);
  // The factors in files under `directory` (MUMPS's out-of-core mode, one
  // set of files a rank, removed when the instance ends), from the next
  // analysis on; "" keeps them in core (the default).
  void out_of_core(const std::string& directory);

 private:
  struct State;
  template <class Index>
  static Status analyse_pattern(State& s, std::int32_t n, const Index* ia, const std::int32_t* ja,
                                const std::int32_t* perm_in);
  static Status analyse_entries(State& s, std::int32_t n, const std::int32_t* perm_in);
  static Status factor_entries(State& s);
  static Status lower_values(State& s, const dcomplex* a, dcomplex* lower);
  std::unique_ptr<State> state_;
};

// The process's one lock around MUMPS's shared state (see above).
std::recursive_mutex& mumps_lock();

// Whether the BLAS loaded in this process is OpenBLAS built without
// threads (openblas_get_parallel() == 0).
bool blas_is_serial();

// Whether a copy of this process made by fork() may go on calling MUMPS on
// its own: the copy holds MUMPS's module state, every instance with its
// analysis, and the BLAS, and is the only process that uses its copies of
// them, so copies factorise side by side where threads must take turns.
// Not in the MPI build (an MPI process must not fork), not on a threaded
// BLAS, and not while any thread but the caller runs (a copy holds the
// calling thread alone: a lock another thread held would stay held in
// it). When it may not, `why_not` (if given) receives the reason.
bool copies_may_call_mumps(std::string* why_not = nullptr);

}  // namespace scalable
