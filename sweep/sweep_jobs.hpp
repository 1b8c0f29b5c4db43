// How the sweep computes several frequencies at once: which kind of job
// (job_kind), how many of them the memory holds (jobs_within_memory), and
// the jobs themselves (start_jobs), which hand the frequencies back in
// grid order.
//
// Threads (sweep/sweep_workers.hpp) share one process: on the built-in
// solver each has its own work block and they run side by side; on the
// scalable solver MUMPS's state is one for the process, so their
// factorisations take turns and a large sample gains nothing.  Processes
// (sweep/sweep_processes.hpp) are copies of the sweep, each with its own
// MUMPS: a sample on the scalable solver is computed by them wherever a
// copy may call MUMPS (scalable::copies_may_call_mumps: the sequential
// build, one thread), each copy holding its own factors.
#pragma once

#include <cstdint>
#include <memory>

#include "sweep/one_frequency.hpp"

// The frequencies of the grid computed by one or more jobs, handed back
// in grid order.  Once a frequency has stopped, none above it is begun
// where it can still be avoided; those below it still run, so that the
// lowest stop of the grid is the one reported.
class SweepJobs {
 public:
  virtual ~SweepJobs() = default;
  // Waits for frequency i = 1..nfreq; returns its point, or throws the
  // stop it met (StopRun, or std::bad_alloc for a refused allocation).
  virtual const SweepPoint& result(std::int32_t i) = 0;
};

enum class JobKind { threads, processes };

// Processes when some pass of `passes` is on the scalable solver, the
// solver runs on one rank and a copy of this process may call MUMPS;
// threads otherwise.  A sample on the scalable solver left to threads
// (another thread running, a threaded BLAS) has a warning when `jobs` > 1.
JobKind job_kind(const PassPair& passes, std::int32_t jobs);

// The jobs asked for, no more than the frequencies, and beyond 60 x 60 no
// more than the memory holds (with a warning).  A job holds the arrays of
// its passes and the built-in solver's work blocks; a process also holds
// the factors of each of its scalable solvers (MUMPS's estimate after the
// analysis), which threads share.  No job orders or factorises
// symbolically again.
std::int32_t jobs_within_memory(const PassPair& passes, std::int32_t jobs, JobKind kind);

// `jobs` jobs of `kind` computing the frequencies of the sample of
// `passes`, whose structure is laid out (and, on the scalable solver,
// analysed).
std::unique_ptr<SweepJobs> start_jobs(const PassPair& passes, std::int32_t jobs, JobKind kind);
