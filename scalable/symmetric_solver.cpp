// The MUMPS instance of a SymmetricSolver, the lower triangle it hands MUMPS,
// and the three phases.
//
// Index names (compressed rows, 1-based): ia, ja the caller's pattern;
// for the k-th stored entry of the lower triangle (row >= column, in the
// order of the rows): irn[k], jcn[k] its row and column (MUMPS's
// coordinate format, 1-based), pos[k] its position in ja (0-based),
// mirror[k] the position of its transposed entry (== pos[k] on the
// diagonal). The object keeps neither: the lower entries of row r are its
// first lower_length[r-1] entries, and, the columns of every row rising,
// the transposed entries of column c's lower entries, met row after row,
// are the strictly upper entries of row c in their order; the analysis
// checks that this walk finds every mirror, and a factorisation walks it
// with one cursor a row (8 bytes an unknown where the positions took 8 an
// entry).
#include "scalable/symmetric_solver.hpp"

#include <zmumps_c.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <string>
#include <utility>

#include "scalable/nested_dissection.hpp"
#include "scalable/mumps_call.hpp"

extern "C" int openblas_get_parallel(void);

namespace scalable {

namespace {

static_assert(sizeof(ZMUMPS_COMPLEX) == sizeof(dcomplex) && alignof(ZMUMPS_COMPLEX) == alignof(dcomplex),
              "MUMPS's double complex and dcomplex must share a layout (two doubles, real first)");
static_assert(sizeof(MUMPS_INT) == sizeof(std::int32_t), "Debian's MUMPS has 32-bit integers");

// MUMPS's job codes.
constexpr int job_init = -1, job_end = -2, job_analyse = 1, job_factor = 2, job_solve = 3;

// Workspace errors that more relaxation of MUMPS's estimate cures, and how
// often the factorisation is retried with twice the relaxation.
constexpr int retries_on_workspace = 4;
bool workspace_too_small(int infog1) { return infog1 == -8 || infog1 == -9 || infog1 == -14 || infog1 == -15; }

std::string mumps_words(int infog1) {
  switch (infog1) {
    case -5: case -7: case -13: case -19: return "not enough memory could be allocated";
    case -6: return "the matrix is structurally singular";
    case -8: case -9: case -14: case -15: return "a workspace estimated in the analysis was too small";
    case -10: return "the matrix is numerically singular";
    case -16: return "the order n is out of range";
    case -17: case -20: return "an internal buffer was too small";
    default: return "MUMPS reported an error";
  }
}

// The lower triangle of the pattern (irn, jcn, pos) and the mirror of
// each of its entries; "" when the pattern is sound, else what is wrong.
template <class Index>
std::string lower_triangle(std::int32_t n, const Index* ia, const std::int32_t* ja,
                           std::vector<MUMPS_INT>& irn, std::vector<MUMPS_INT>& jcn, std::vector<std::int64_t>& pos,
                           std::vector<std::int64_t>& mirror) {
  if (n < 1) return "the order n must be at least 1";
  if (ia[0] != 1) return "ia(1) must be 1";

  // --- The lower triangle, row by row, in arrays of its exact size ---
  std::size_t lower_count = 0;
  for (std::int32_t r = 1; r <= n; ++r) {
    if (ia[r] < ia[r - 1]) return std::string("ia must not decrease (row " + std::to_string(r) + ")");
    for (Index p = ia[r - 1]; p < ia[r]; ++p) {
      const std::int32_t c = ja[p - 1];
      if (c < 1 || c > n) return std::string("column " + std::to_string(c) + " out of range in row " + std::to_string(r));
      if (c <= r) ++lower_count;
    }
  }
  irn.clear();
  jcn.clear();
  pos.clear();
  irn.reserve(lower_count);
  jcn.reserve(lower_count);
  pos.reserve(lower_count);
  for (std::int32_t r = 1; r <= n; ++r)
    for (Index p = ia[r - 1]; p < ia[r]; ++p)
      if (ja[p - 1] <= r) {
        irn.push_back(r);
        jcn.push_back(ja[p - 1]);
        pos.push_back(p - 1);
      }
  // --- The upper triangle gathered by column ---
  // For column c: the rows r < c storing (r, c), and where, in
  // upper_row / upper_pos[upper_start[c] .. upper_start[c+1]-1].
  std::vector<std::int64_t> upper_start(n + 2, 0);
  for (std::int32_t r = 1; r <= n; ++r)
    for (Index p = ia[r - 1]; p < ia[r]; ++p)
      if (ja[p - 1] > r) ++upper_start[ja[p - 1] + 1];
  for (std::int32_t c = 1; c <= n; ++c) upper_start[c + 1] += upper_start[c];
  std::vector<std::int32_t> upper_row(upper_start[n + 1]);
  std::vector<std::int64_t> upper_pos(upper_start[n + 1]);
  {
    std::vector<std::int64_t> next(upper_start.begin(), upper_start.end() - 1);
    for (std::int32_t r = 1; r <= n; ++r)
      for (Index p = ia[r - 1]; p < ia[r]; ++p)
        if (ja[p - 1] > r) {
          const std::int64_t q = next[ja[p - 1]]++;
          upper_row[q] = r;
          upper_pos[q] = p - 1;
        }
  }
  // --- The mirror of each lower entry (r, c): (c, r), in column r's list ---
  // Every strictly upper entry must be some lower entry's mirror: the two
  // counts agree.
  mirror.assign(pos.size(), -1);
  std::int64_t strict_lower = 0;
  for (std::int64_t k = 0; k < static_cast<std::int64_t>(pos.size()); ++k) {
    if (irn[k] == jcn[k]) { mirror[k] = pos[k]; continue; }
    ++strict_lower;
    const std::int32_t r = irn[k], c = jcn[k];
    const auto first = upper_row.begin() + upper_start[r], last = upper_row.begin() + upper_start[r + 1];
    const auto hit = std::find(first, last, c);
    if (hit == last) return std::string("entry (" + std::to_string(r) + "," + std::to_string(c) +
                                          ") is stored but (" + std::to_string(c) + "," + std::to_string(r) + ") is not");
    mirror[k] = upper_pos[hit - upper_row.begin()];
  }
  if (strict_lower != upper_start[n + 1])
    return "the pattern is not symmetric (or a row repeats a column)";
  return {};
}

}  // namespace

std::recursive_mutex& mumps_lock() {
  // One for the process, as MUMPS's module state is one for the process.
  static std::recursive_mutex lock;
  return lock;
}

struct SymmetricSolver::State {
  ZMUMPS_STRUC_C id{};
  bool alive = false;  // the MUMPS instance exists (job -1 succeeded)
  Status init_status;
  Ordering ordering;
  std::int32_t n = 0;
  bool analysed = false, factored = false;
  std::vector<MUMPS_INT> irn, jcn, perm_in;
  std::vector<std::int64_t> row_start;                 // ia - 1
  std::vector<std::uint32_t> lower_length, cursor;     // each row's lower entries; the walk's place in each row
  std::size_t lower_count = 0;
  std::vector<dcomplex> lower, work;  // the copying factorisation's lower triangle; the solution's
  std::string out_of_core_directory;  // empty: in core
  double pivot_threshold = 0.01;      // CNTL(1): MUMPS's threshold pivoting; 0: none
  bool distributed = false;           // each rank hands MUMPS its own rows (rows)
  SharedRows rows;
  std::vector<RankMemory> ranks;      // after the analysis

  int& icntl(int k) { return id.icntl[k - 1]; }
  int infog(int k) const { return id.infog[k - 1]; }

  std::uintptr_t instance() const { return reinterpret_cast<std::uintptr_t>(this); }

  Status call(int job, const char* phase) {
    id.job = job;
    call_mumps(id, instance(), job == job_analyse ? &ranks : nullptr);
    if (infog(1) >= 0) return {};
    Status s;
    s.kind = Status::mumps_failed;
    s.infog1 = infog(1);
    s.infog2 = infog(2);
    char text[160];
    std::snprintf(text, sizeof text, "%s: %s (MUMPS INFOG(1) = %d, INFOG(2) = %d)", phase,
                  mumps_words(s.infog1).c_str(), s.infog1, s.infog2);
    s.message = text;
    return s;
  }

  // Silent, assembled input (centralised on rank 0, or each rank's own rows), in core unless a directory for
  // the factors is given; the analysis is sequential and reads the pattern
  // only (no matching, no 2x2 compression by values), and the scaling is
  // computed at the start of each factorisation.
  void set_controls() {
    icntl(1) = -1;  // errors
    icntl(2) = -1;  // diagnostics
    icntl(3) = -1;  // global information
    icntl(4) = 0;   // verbosity
    icntl(5) = 0;   // assembled matrix
    icntl(6) = 0;   // no maximum matching (it would need values in the analysis)
    icntl(8) = 7;   // simultaneous row and column iterative scaling, at factorisation
    icntl(12) = 1;  // plain ordering of the symmetric pattern
    icntl(18) = distributed ? 3 : 0;  // each rank's own entries, or the whole matrix on rank 0
    icntl(22) = out_of_core_directory.empty() ? 0 : 1;  // factors in core, or in files
    std::snprintf(id.ooc_tmpdir, sizeof id.ooc_tmpdir, "%s", out_of_core_directory.c_str());
    icntl(28) = 1;  // sequential analysis
    id.cntl[1 - 1] = pivot_threshold;
    icntl(7) = ordering == Ordering::metis || ordering == Ordering::given ? 1 : ordering == Ordering::amd ? 0 : 2;
  }
};

SymmetricSolver::SymmetricSolver(Ordering ordering) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.ordering = ordering;
  s.id.par = 1;
  s.id.sym = 2;
  s.id.comm_fortran = mumps_communicator();
  s.init_status = s.call(job_init, "start of MUMPS");
  s.alive = s.init_status.good();
  if (s.alive) s.set_controls();
}

SymmetricSolver::~SymmetricSolver() {
  if (state_ && state_->alive) {
    state_->id.job = job_end;
    call_mumps(state_->id, state_->instance());
  }
}

SymmetricSolver::SymmetricSolver(SymmetricSolver&&) noexcept = default;
SymmetricSolver& SymmetricSolver::operator=(SymmetricSolver&& other) noexcept {
  if (this != &other) {
    SymmetricSolver ended(std::move(*this));
    state_ = std::move(other.state_);
  }
  return *this;
}

namespace {

// METIS's order of the pattern ia, ja, whose indices METIS takes in 32 bits.
std::string metis_order(std::int32_t n, const std::int32_t* ia, const std::int32_t* ja, std::int32_t* perm) {
  return nested_dissection(n, ia, ja, perm);
}
std::string metis_order(std::int32_t n, const std::int64_t* ia, const std::int32_t* ja, std::int32_t* perm) {
  if (ia[n] - 1 > std::numeric_limits<std::int32_t>::max())
    return "METIS counts the pattern's entries in 32 bits, and this pattern holds " + std::to_string(ia[n] - 1);
  const std::vector<std::int32_t> narrow(ia, ia + n + 1);
  return nested_dissection(n, narrow.data(), ja, perm);
}

}  // namespace

Status SymmetricSolver::analyse(std::int32_t n, const std::int32_t* ia, const std::int32_t* ja,
                                const std::int32_t* perm_in) {
  return analyse_pattern(*state_, n, ia, ja, perm_in);
}

Status SymmetricSolver::analyse(std::int32_t n, const std::int64_t* ia, const std::int32_t* ja,
                                const std::int32_t* perm_in) {
  return analyse_pattern(*state_, n, ia, ja, perm_in);
}

template <class Index>
Status SymmetricSolver::analyse_pattern(State& s, std::int32_t n, const Index* ia, const std::int32_t* ja,
                                        const std::int32_t* perm_in) {
  if (!s.alive) return s.init_status;
  s.analysed = s.factored = false;
  s.distributed = false;
  std::vector<std::int64_t> pos, mirror;
  const std::string wrong = lower_triangle(n, ia, ja, s.irn, s.jcn, pos, mirror);
  if (!wrong.empty()) {
    Status e;
    e.kind = Status::bad_pattern;
    e.message = "analysis: " + wrong;
    return e;
  }
  for (auto* list : {&s.irn, &s.jcn}) list->shrink_to_fit();
  s.row_start.assign(ia, ia + n + 1);
  for (std::int64_t& start : s.row_start) start -= 1;
  const std::size_t lower_count = pos.size();
  s.lower_length.assign(n, 0);
  s.cursor.assign(n, 0);
  for (std::size_t k = 0; k < lower_count; ++k) {
    if (pos[k] != s.row_start[s.irn[k] - 1] + s.lower_length[s.irn[k] - 1]) {
      Status e;
      e.kind = Status::bad_pattern;
      e.message = "analysis: the lower entries of row " + std::to_string(s.irn[k]) + " must lead it (columns rising)";
      return e;
    }
    ++s.lower_length[s.irn[k] - 1];
  }
  for (std::size_t k = 0; k < lower_count; ++k) {
    const std::int32_t r = s.irn[k], c = s.jcn[k];
    if (r == c) continue;
    if (mirror[k] != s.row_start[c - 1] + s.lower_length[c - 1] + s.cursor[c - 1]++) {
      Status e;
      e.kind = Status::bad_pattern;
      e.message = "analysis: the columns of row " + std::to_string(c) + " must rise";
      return e;
    }
  }
  std::vector<std::int64_t>().swap(pos);
  std::vector<std::int64_t>().swap(mirror);

  if (s.ordering == Ordering::metis) {
    s.perm_in.assign(n, 0);
    const std::string failed = metis_order(n, ia, ja, s.perm_in.data());
    if (!failed.empty()) {
      Status e;
      e.kind = Status::ordering_failed;
      e.message = "analysis: " + failed;
      return e;
    }
  }
  s.lower_count = lower_count;
  std::vector<dcomplex>().swap(s.lower);  // made by the first copying factorisation
  s.id.nnz = static_cast<MUMPS_INT8>(lower_count);
  s.id.irn = s.irn.data();
  s.id.jcn = s.jcn.data();
  s.id.nnz_loc = 0;
  s.id.irn_loc = s.id.jcn_loc = nullptr;
  return analyse_entries(s, n, perm_in);
}

Status SymmetricSolver::analyse_shared(std::int32_t n, const std::int32_t* perm_in, std::unique_ptr<RowSource> own,
                                       const std::vector<char>& words) {
  State& s = *state_;
  if (!s.alive) return s.init_status;
  s.analysed = s.factored = false;
  if (s.ordering == Ordering::metis) {
    Status e;
    e.kind = Status::ordering_failed;
    e.message = "analysis: METIS orders the whole pattern, which no rank holds when the rows are shared";
    return e;
  }
  // Every rank's rows from the words, this rank's among them.
  s.distributed = true;
  s.rows = SharedRows{};
  s.rows.source = std::move(own);
  share_rows_pattern(s.instance(), s.rows, words);
  RowSource& source = *s.rows.source;
  s.id.nnz = 0;
  s.id.irn = s.id.jcn = nullptr;
  s.id.nnz_loc = static_cast<MUMPS_INT8>(source.row().size());
  s.id.irn_loc = source.row().data();
  s.id.jcn_loc = source.column().data();
  return analyse_entries(s, n, perm_in);
}

// The ordering and the symbolic analysis of the entries set in s.id.
Status SymmetricSolver::analyse_entries(State& s, std::int32_t n, const std::int32_t* perm_in) {
  if (s.ordering == Ordering::metis) {
    s.id.perm_in = s.perm_in.data();
  } else if (s.ordering == Ordering::given) {
    if (perm_in == nullptr) {
      Status e;
      e.kind = Status::ordering_failed;
      e.message = "analysis: no pivot order given";
      return e;
    }
    s.perm_in.assign(perm_in, perm_in + n);
    s.id.perm_in = s.perm_in.data();
  } else {
    s.id.perm_in = nullptr;
  }
  s.n = n;
  s.work.assign(n, dcomplex(0));
  s.id.n = n;
  s.id.nz = 0;
  s.id.a = s.id.a_loc = nullptr;
  s.set_controls();
  Status st = s.call(job_analyse, "analysis");
  s.analysed = st.good();
  return st;
}

namespace {

Status not_analysed() {
  Status e;
  e.kind = Status::out_of_order;
  e.message = "factorisation: no analysed pattern (analyse first)";
  return e;
}

}  // namespace

// Whether a(r,c) == a(c,r) at every stored pair; with `lower`, the lower
// triangle's values in MUMPS's order.
Status SymmetricSolver::lower_values(State& s, const dcomplex* a, dcomplex* lower) {
  std::fill(s.cursor.begin(), s.cursor.end(), 0u);
  std::size_t k = 0;
  for (std::int32_t r = 1; r <= s.n; ++r) {
    for (std::uint32_t q = 0; q < s.lower_length[r - 1]; ++q, ++k) {
      const std::int32_t c = s.jcn[k];
      const dcomplex v = a[s.row_start[r - 1] + q];
      const dcomplex w = c == r ? v : a[s.row_start[c - 1] + s.lower_length[c - 1] + s.cursor[c - 1]++];
      if (!(v.re == w.re && v.im == w.im)) {
        Status e;
        e.kind = Status::asymmetric_values;
        char text[200];
        std::snprintf(text, sizeof text,
                      "factorisation: the values are not symmetric: a(%d,%d) = (%.17g, %.17g) but a(%d,%d) = (%.17g, %.17g)",
                      r, c, v.re, v.im, c, r, w.re, w.im);
        e.message = text;
        return e;
      }
      if (lower != nullptr) lower[k] = v;
    }
  }
  return {};
}

Status SymmetricSolver::factor(const dcomplex* a) {
  State& s = *state_;
  s.factored = false;
  if (!s.analysed || s.distributed) return not_analysed();
  if (s.lower.size() != s.lower_count) s.lower.assign(s.lower_count, dcomplex(0));
  const Status symmetric = lower_values(s, a, s.lower.data());
  if (!symmetric.good()) return symmetric;
  s.id.a = reinterpret_cast<ZMUMPS_COMPLEX*>(s.lower.data());
  return factor_entries(s);
}

Status SymmetricSolver::factor_borrowing(dcomplex* a) {
  State& s = *state_;
  s.factored = false;
  if (!s.analysed || s.distributed) return not_analysed();
  const Status symmetric = lower_values(s, a, nullptr);
  if (!symmetric.good()) return symmetric;
  // The lower triangle moved to the front of a, row after row: the k-th
  // lower entry never lies before place k.
  std::size_t k = 0;
  for (std::int32_t r = 1; r <= s.n; ++r)
    for (std::uint32_t q = 0; q < s.lower_length[r - 1]; ++q) a[k++] = a[s.row_start[r - 1] + q];
  s.id.a = reinterpret_cast<ZMUMPS_COMPLEX*>(a);
  const Status st = factor_entries(s);
  s.id.a = nullptr;
  // The rows back in place, the last first (a row's places never lie
  // before the lower entries of the rows above it), and each entry past a
  // diagonal again the transposed entry it equals.
  for (std::int32_t r = s.n; r >= 1; --r)
    for (std::uint32_t q = s.lower_length[r - 1]; q-- > 0;) a[s.row_start[r - 1] + q] = a[--k];
  std::fill(s.cursor.begin(), s.cursor.end(), 0u);
  for (std::int32_t r = 1; r <= s.n; ++r) {
    for (std::uint32_t q = 0; q < s.lower_length[r - 1]; ++q, ++k) {
      const std::int32_t c = s.jcn[k];
      if (c != r) a[s.row_start[c - 1] + s.lower_length[c - 1] + s.cursor[c - 1]++] = a[s.row_start[r - 1] + q];
    }
  }
  return st;
}

Status SymmetricSolver::factor_shared(const std::vector<char>& words, dcomplex* load) {
  State& s = *state_;
  s.factored = false;
  if (!s.analysed || !s.distributed) {
    Status e;
    e.kind = Status::out_of_order;
    e.message = "factorisation: no analysed pattern of shared rows (analyse_shared first)";
    return e;
  }
  share_rows_values(s.instance(), s.rows, words, load);
  s.id.a_loc = reinterpret_cast<ZMUMPS_COMPLEX*>(s.rows.source->value().data());
  return factor_entries(s);
}

double SymmetricSolver::residual_shared(const dcomplex* z, dcomplex* residual) {
  State& s = *state_;
  return share_rows_residual(s.instance(), s.rows, z, residual);
}

// The numeric factorisation of the values set in s.id, with more
// workspace when MUMPS asks.
Status SymmetricSolver::factor_entries(State& s) {
  const int relaxation = s.icntl(14);
  Status st = s.call(job_factor, "factorisation");
  for (int retry = 0; retry < retries_on_workspace && workspace_too_small(st.infog1); ++retry) {
    s.icntl(14) = std::max(2 * s.icntl(14), 40);
    st = s.call(job_factor, "factorisation");
  }
  s.icntl(14) = relaxation;
  s.factored = st.good();
  return st;
}

Status SymmetricSolver::solve(const dcomplex* rhs, dcomplex* x) {
  State& s = *state_;
  if (!s.factored) {
    Status e;
    e.kind = Status::out_of_order;
    e.message = "solution: no factors (factor first, and successfully)";
    return e;
  }
  // MUMPS overwrites its right-hand side with the solution: it works in
  // the object's own array so that rhs is left untouched.
  std::copy_n(rhs, s.n, s.work.begin());
  s.id.rhs = reinterpret_cast<ZMUMPS_COMPLEX*>(s.work.data());
  s.id.nrhs = 1;
  s.id.lrhs = s.n;
  s.icntl(20) = 0;  // dense right-hand side
  s.icntl(21) = 0;  // centralised solution
  s.icntl(9) = 1;   // A x = b (A is symmetric anyway)
  Status st = s.call(job_solve, "solution");
  if (st.good()) std::copy_n(s.work.begin(), s.n, x);
  return st;
}

Memory SymmetricSolver::memory() const {
  const State& s = *state_;
  Memory m;
  if (!s.analysed) return m;
  m.estimated_mb = s.infog(17);
  m.ranks = s.ranks;
  m.ordering_used = s.infog(7);
  // INFOG(20) counts entries; a negative value counts millions of them
  m.estimated_entries = s.infog(20) >= 0 ? double(s.infog(20)) : -1e6 * s.infog(20);
  if (s.factored) {
    m.allocated_mb = s.infog(19);
    m.used_mb = s.infog(22);
    // INFOG(9) counts entries; a negative value counts millions of them
    m.factor_entries = s.infog(9) >= 0 ? double(s.infog(9)) : -1e6 * s.infog(9);
  }
  return m;
}

void SymmetricSolver::pivoting(bool threshold) {
  state_->pivot_threshold = threshold ? 0.01 : 0.0;
  state_->id.cntl[1 - 1] = state_->pivot_threshold;
}

void SymmetricSolver::out_of_core(const std::string& directory) {
  state_->out_of_core_directory = directory;
}

std::int32_t SymmetricSolver::order() const { return state_->analysed ? state_->n : 0; }

bool blas_is_serial() { return openblas_get_parallel() == 0; }

bool copies_may_call_mumps(std::string* why_not) {
  std::string reason;
#ifdef UPSCALE_MPI
  reason = "a process of the MPI build must not fork";
#else
  // One entry a thread under /proc/self/task.
  std::error_code error;
  int threads = 0;
  for (std::filesystem::directory_iterator entry("/proc/self/task", error), end; !error && entry != end;
       entry.increment(error)) {
    ++threads;
  }
  if (error) {
    reason = "the threads of the process cannot be counted (" + error.message() + ")";
  } else if (threads != 1) {
    reason = std::to_string(threads) + " threads run in the process";
  } else if (!blas_is_serial()) {
    reason = "the BLAS runs threads of its own";
  }
#endif
  if (why_not != nullptr) *why_not = reason;
  return reason.empty();
}

}  // namespace scalable
