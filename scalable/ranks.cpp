#include "scalable/ranks.hpp"

#include "scalable/mumps_call.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <memory>
#include <mutex>
#include <thread>

#include "common/machine_memory.hpp"
#include "scalable/symmetric_solver.hpp"

#ifdef UPSCALE_MPI
#include <mpi.h>
#endif

namespace scalable {

namespace {

constexpr int job_init = -1, job_end = -2, job_analyse = 1, job_factor = 2;
// The rows' own steps (no MUMPS call): their pattern, their values, the residual.
constexpr int job_rows_pattern = 101, job_rows_values = 102, job_rows_residual = 103;
// The stop of a one-process build started as several ranks (a bad parameter).
constexpr int ranks_refused = 3;
// The communicator value of MUMPS's sequential build.
constexpr int sequential_communicator = -987654;

// What a rank needs and is offered after the analysis of `id`.
RankMemory own_memory(const ZMUMPS_STRUC_C& id) {
  RankMemory m;
  // INFO(15): megabytes for the factorisation in core; INFO(17) out of core.
  m.needed_mb = id.icntl[22 - 1] == 1 ? id.info[17 - 1] : id.info[15 - 1];
  m.offered_mb = static_cast<long>(memory_offered() / 1000000);
  return m;
}

#ifdef UPSCALE_MPI

// Rank 0's word to the workers before each call: the job, the instance,
// the host's controls (ICNTL and CNTL) and out-of-core directory; job end_of_run carries
// the exit status instead.
struct Command {
  int job = 0;
  int status = 0;
  std::uint64_t instance = 0;
  int icntl[60] = {};
  double cntl[15] = {};
  char ooc_tmpdir[256] = {};
  std::uint64_t words = 0;  // the bytes of rank 0's words that follow, for the workers' row sources
};
constexpr int end_of_run = 1000;

// Whether MPI is started and not yet ended in this process.
bool mpi_running() {
  int initialised = 0, finalised = 0;
  MPI_Initialized(&initialised);
  MPI_Finalized(&finalised);
  return initialised != 0 && finalised == 0;
}

int rank_in_world() {
  if (!mpi_running()) return 0;
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  return rank;
}

// Rank 0's word, sent by rank 0 and awaited by the workers. A worker waits
// without spinning: between rank 0's calls (its assembly, its results,
// a whole sweep's other stages) the worker's core stays free for rank 0.
void exchange(Command& c) {
  MPI_Request request;
  MPI_Ibcast(&c, sizeof c, MPI_BYTE, 0, MPI_COMM_WORLD, &request);
  if (rank_in_world() == 0) {
    MPI_Wait(&request, MPI_STATUS_IGNORE);
    return;
  }
  for (int done = 0;;) {
    MPI_Test(&request, &done, MPI_STATUS_IGNORE);
    if (done) return;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// Rank 0's words for the workers' row sources, after the command that
// announced their size (in pieces of at most 1 GiB, MPI's counts being int).
void exchange_words(std::vector<char>& words) {
  constexpr std::size_t piece = std::size_t{1} << 30;
  for (std::size_t done = 0; done < words.size(); done += piece) {
    const std::size_t count = std::min(piece, words.size() - done);
    MPI_Bcast(words.data() + done, static_cast<int>(count), MPI_BYTE, 0, MPI_COMM_WORLD);
  }
}

void gather_memory(const ZMUMPS_STRUC_C& id, std::vector<RankMemory>* all) {
  const RankMemory mine = own_memory(id);
  long sent[2] = {mine.needed_mb, mine.offered_mb};
  std::vector<long> received(2 * static_cast<std::size_t>(rank_count()));
  MPI_Gather(sent, 2, MPI_LONG, received.data(), 2, MPI_LONG, 0, MPI_COMM_WORLD);
  if (all == nullptr) return;
  all->clear();
  for (std::size_t r = 0; r < received.size() / 2; ++r) all->push_back({received[2 * r], received[2 * r + 1]});
}

#endif

// --- The rows' steps, the same on every rank (collective over the ranks) ---

int own_rank() {
#ifdef UPSCALE_MPI
  return rank_in_world();
#else
  return 0;
#endif
}

// Every rank's part of a vector (`mine`, in its rows() order) into the
// whole vector `whole` on rank 0.
void gather_rows(SharedRows& rows, const dcomplex* mine, dcomplex* whole) {
  const std::vector<std::int32_t>& own = rows.source->rows();
#ifdef UPSCALE_MPI
  if (rank_count() > 1) {
    MPI_Gatherv(mine, static_cast<int>(own.size()), MPI_C_DOUBLE_COMPLEX, rows.gathered.data(), rows.counts.data(),
                rows.places.data(), MPI_C_DOUBLE_COMPLEX, 0, MPI_COMM_WORLD);
    if (own_rank() != 0) return;
    for (std::size_t i = 0; i < rows.all_rows.size(); ++i) whole[rows.all_rows[i] - 1] = rows.gathered[i];
    return;
  }
#endif
  for (std::size_t i = 0; i < own.size(); ++i) whole[own[i] - 1] = mine[i];
}

void rows_pattern_step(SharedRows& rows, const std::vector<char>& words) {
  const int rank = own_rank(), ranks = rank_count();
  rows.source->pattern(words, rank, ranks);
  const std::vector<std::int32_t>& own = rows.source->rows();
  rows.own.assign(own.size(), dcomplex(0.0, 0.0));
  rows.solution.assign(rows.source->held().size(), dcomplex(0.0, 0.0));
#ifdef UPSCALE_MPI
  if (ranks > 1) {
    int count = static_cast<int>(own.size());
    rows.counts.assign(rank == 0 ? ranks : 0, 0);
    MPI_Gather(&count, 1, MPI_INT, rows.counts.data(), 1, MPI_INT, 0, MPI_COMM_WORLD);
    rows.places.assign(rows.counts.size(), 0);
    for (std::size_t r = 1; r < rows.counts.size(); ++r) rows.places[r] = rows.places[r - 1] + rows.counts[r - 1];
    const std::size_t total = rows.counts.empty() ? 0 : static_cast<std::size_t>(rows.places.back() + rows.counts.back());
    rows.all_rows.assign(total, 0);
    rows.gathered.assign(total, dcomplex(0.0, 0.0));
    MPI_Gatherv(own.data(), count, MPI_INT32_T, rows.all_rows.data(), rows.counts.data(), rows.places.data(),
                MPI_INT32_T, 0, MPI_COMM_WORLD);
  }
#endif
}

void rows_values_step(SharedRows& rows, const std::vector<char>& words, dcomplex* load) {
  RowSource& source = *rows.source;
  source.values(words);
#ifdef UPSCALE_MPI
  if (rank_count() > 1) {
    // Each held unknown is found by the one rank that owns its row; every
    // other rank adds zeros, which leaves the value's bits as they are.
    const int n = static_cast<int>(source.held().size());
    MPI_Allreduce(MPI_IN_PLACE, source.held().data(), n, MPI_UNSIGNED_CHAR, MPI_MAX, MPI_COMM_WORLD);
    MPI_Allreduce(MPI_IN_PLACE, source.known().data(), n, MPI_C_DOUBLE_COMPLEX, MPI_SUM, MPI_COMM_WORLD);
  }
#endif
  source.eliminate_held();
  gather_rows(rows, source.load().data(), load);
}

double rows_residual_step(SharedRows& rows, const dcomplex* z, dcomplex* residual) {
  const std::size_t n = rows.solution.size();
  if (own_rank() == 0) std::copy_n(z, n, rows.solution.begin());
  double worst = 0.0;
#ifdef UPSCALE_MPI
  if (rank_count() > 1) {
    MPI_Bcast(rows.solution.data(), static_cast<int>(n), MPI_C_DOUBLE_COMPLEX, 0, MPI_COMM_WORLD);
    const double mine = rows.source->residual(rows.solution.data(), rows.own.data());
    gather_rows(rows, rows.own.data(), residual);
    // The largest of the ranks' figures, a NaN kept as the rows keep it.
    std::vector<double> every(own_rank() == 0 ? rank_count() : 0);
    MPI_Gather(&mine, 1, MPI_DOUBLE, every.data(), 1, MPI_DOUBLE, 0, MPI_COMM_WORLD);
    for (double figure : every)
      if (!(figure <= worst)) worst = figure;
    return worst;
  }
#endif
  worst = rows.source->residual(rows.solution.data(), rows.own.data());
  gather_rows(rows, rows.own.data(), residual);
  return worst;
}

#ifdef UPSCALE_MPI

// A worker: each of rank 0's calls on the worker's copy of the instance.
// Where rank 0 shares the rows of the matrix, the worker's own rows come
// from a row source of the program's, made at the rows' pattern step.
int serve(RowSourceFactory factory) {
  struct Served {
    ZMUMPS_STRUC_C id{};
    SharedRows rows;
  };
  std::map<std::uint64_t, Served> instances;
  std::vector<char> words;
  for (;;) {
    Command c;
    exchange(c);
    if (c.job == end_of_run) return c.status;
    words.resize(c.words);
    exchange_words(words);
    Served& served = instances[c.instance];
    ZMUMPS_STRUC_C& id = served.id;
    if (c.job == job_rows_pattern) {
      if (factory == nullptr) throw std::logic_error("rows shared, but no row source on this rank");
      served.rows.source = factory();
      rows_pattern_step(served.rows, words);
      RowSource& source = *served.rows.source;
      id.nnz_loc = static_cast<MUMPS_INT8>(source.row().size());
      id.irn_loc = source.row().data();
      id.jcn_loc = source.column().data();
      id.a_loc = reinterpret_cast<ZMUMPS_COMPLEX*>(source.value().data());
      continue;
    }
    if (c.job == job_rows_values) {
      rows_values_step(served.rows, words, nullptr);
      continue;
    }
    if (c.job == job_rows_residual) {
      rows_residual_step(served.rows, nullptr, nullptr);
      continue;
    }
    if (c.job == job_init) {
      id = ZMUMPS_STRUC_C{};
      id.par = 1;
      id.sym = 2;
      id.comm_fortran = mumps_communicator();
    } else {
      std::copy(std::begin(c.icntl), std::end(c.icntl), id.icntl);
      std::copy(std::begin(c.cntl), std::end(c.cntl), id.cntl);
      std::memcpy(id.ooc_tmpdir, c.ooc_tmpdir, sizeof c.ooc_tmpdir);
    }
    id.job = c.job;
    zmumps_c(&id);
    if (c.job == job_analyse) gather_memory(id, nullptr);
    if (c.job == job_end) instances.erase(c.instance);
  }
}

#endif

}  // namespace

int start_ranks(int& argc, char**& argv, RowSourceFactory factory) {
#ifdef UPSCALE_MPI
  // Rank 0's calls come from whichever of its threads holds the MUMPS
  // lock, one at a time.
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_SERIALIZED, &provided);
  if (rank_in_world() != 0) {
    const int status = serve(factory);
    MPI_Finalize();
    return status;
  }
#else
  (void)argc;
  (void)argv;
  (void)factory;
  // Started as several ranks, this one-process build would run the whole
  // program once per rank, each writing the same files: it refuses.
  for (const char* launcher_size : {"OMPI_COMM_WORLD_SIZE", "PMI_SIZE", "SLURM_STEP_NUM_TASKS"}) {
    const char* value = std::getenv(launcher_size);
    if (value == nullptr || std::atol(value) <= 1) continue;
    std::printf("started as %s ranks (%s), but this build runs one process: build it with -DUPSCALE_MPI=ON to "
                "share one sample between ranks\n", value, launcher_size);
    std::fflush(stdout);
    std::fprintf(stderr, "STOP %d\n", ranks_refused);
    return ranks_refused;
  }
#endif
  return -1;
}

int end_ranks(int status) {
#ifdef UPSCALE_MPI
  if (mpi_running()) {
    const std::lock_guard<std::recursive_mutex> lock(mumps_lock());
    Command c;
    c.job = end_of_run;
    c.status = status;
    exchange(c);
    MPI_Finalize();
  }
#endif
  return status;
}

int rank_count() {
#ifdef UPSCALE_MPI
  if (!mpi_running()) return 1;
  int size = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  return size;
#else
  return 1;
#endif
}

int mumps_communicator() {
#ifdef UPSCALE_MPI
  return static_cast<int>(MPI_Comm_c2f(MPI_COMM_WORLD));
#else
  return sequential_communicator;
#endif
}

void call_mumps(ZMUMPS_STRUC_C& id, std::uintptr_t instance, std::vector<RankMemory>* memory) {
  const std::lock_guard<std::recursive_mutex> lock(mumps_lock());
  [[maybe_unused]] const bool shared = rank_count() > 1;
#ifdef UPSCALE_MPI
  if (shared) {
    Command c;
    c.job = id.job;
    c.instance = instance;
    std::copy(id.icntl, id.icntl + 60, c.icntl);
    std::copy(id.cntl, id.cntl + 15, c.cntl);
    std::memcpy(c.ooc_tmpdir, id.ooc_tmpdir, sizeof c.ooc_tmpdir);
    exchange(c);
  }
#else
  (void)instance;
#endif
  zmumps_c(&id);
  if (id.job != job_analyse) return;
#ifdef UPSCALE_MPI
  if (shared) {
    gather_memory(id, memory);
    return;
  }
#endif
  if (memory != nullptr) *memory = {own_memory(id)};
}

namespace {

// Rank 0's word for one of the rows' steps of `instance`, and its words.
void announce_rows_step([[maybe_unused]] int job, [[maybe_unused]] std::uintptr_t instance,
                        [[maybe_unused]] const std::vector<char>* words) {
#ifdef UPSCALE_MPI
  if (rank_count() <= 1) return;
  Command c;
  c.job = job;
  c.instance = instance;
  c.words = words != nullptr ? words->size() : 0;
  exchange(c);
  if (c.words > 0) exchange_words(const_cast<std::vector<char>&>(*words));
#endif
}

}  // namespace

void share_rows_pattern(std::uintptr_t instance, SharedRows& rows, const std::vector<char>& words) {
  const std::lock_guard<std::recursive_mutex> lock(mumps_lock());
  announce_rows_step(job_rows_pattern, instance, &words);
  rows_pattern_step(rows, words);
}

void share_rows_values(std::uintptr_t instance, SharedRows& rows, const std::vector<char>& words, dcomplex* load) {
  const std::lock_guard<std::recursive_mutex> lock(mumps_lock());
  announce_rows_step(job_rows_values, instance, &words);
  rows_values_step(rows, words, load);
}

double share_rows_residual(std::uintptr_t instance, SharedRows& rows, const dcomplex* z, dcomplex* residual) {
  const std::lock_guard<std::recursive_mutex> lock(mumps_lock());
  announce_rows_step(job_rows_residual, instance, nullptr);
  return rows_residual_step(rows, z, residual);
}

}  // namespace scalable
