// The kind and the number of the sweep's jobs, and their start
// (sweep/sweep_jobs.hpp).
#include "sweep/sweep_jobs.hpp"

#include <cstdio>
#include <string>

#include "common/cellmap.hpp"
#include "common/machine_memory.hpp"
#include "driver/pass.hpp"
#include "driver/solver_ranks.hpp"
#include "sweep/sweep_processes.hpp"
#include "sweep/sweep_workers.hpp"

namespace {

// What one factorisation of a scalable solver holds, in bytes, from
// MUMPS's analysis: the process's share (its one rank's, in core or out
// of core as chosen), else the estimate of the factors in core.
std::uint64_t factorisation_bytes(const SharedSolver& shared) {
  const scalable::Memory memory = shared.solver.memory();
  long mb = memory.estimated_mb;
  if (!memory.ranks.empty() && memory.ranks.front().needed_mb > 0) mb = memory.ranks.front().needed_mb;
  return mb > 0 ? static_cast<std::uint64_t>(mb) * 1000000 : 0;
}

}  // namespace

JobKind job_kind(const PassPair& passes, std::int32_t jobs) {
  bool scalable = false;
  for (const RunStorage* run : pass_objects(passes)) scalable = scalable || run->shared != nullptr;
  if (!scalable || solver_ranks() > 1) return JobKind::threads;
  std::string why_not;
  if (scalable::copies_may_call_mumps(&why_not)) return JobKind::processes;
  if (jobs > 1) {
    std::fprintf(stderr, "warning: the jobs share one MUMPS instance and take turns at it (%s)\n", why_not.c_str());
  }
  return JobKind::threads;
}

std::int32_t jobs_within_memory(const PassPair& passes, std::int32_t jobs, JobKind kind) {
  const Deck& deck = passes.sample->deck;
  std::int32_t workers = jobs < deck.nfreq ? jobs : deck.nfreq;
  if (workers <= 1 || (deck.nx <= classic_cells_x && deck.ny <= classic_cells_y)) return workers;
  // A job holds the arrays of its passes and, on the built-in solver,
  // their work blocks; a process also the factors of its scalable solvers.
  // Threads share those factors, taken at the first factorisation: what
  // they need is not offered to the jobs.
  std::uint64_t per_job = 0;
  std::uint64_t offered = memory_offered();
  for (const RunStorage* run : pass_objects(passes)) {
    if (run->shared == nullptr) {
      per_job += pass_memory_estimate(run->deck, run->load, false);
      continue;
    }
    per_job += pass_arrays_estimate(run->deck, run->load);
    const std::uint64_t factors = factorisation_bytes(*run->shared);
    if (kind == JobKind::processes) {
      per_job += factors;
    } else {
      offered = offered > factors ? offered - factors : 0;
    }
  }
  const std::uint64_t fit = offered / per_job;
  if (fit < static_cast<std::uint64_t>(workers)) {
    const std::int32_t fewer = fit < 1 ? 1 : static_cast<std::int32_t>(fit);
    std::fprintf(stderr, "warning: %d jobs of this mesh need about %llu MB, more than this machine offers; %d %s\n",
                 static_cast<int>(workers), static_cast<unsigned long long>((per_job * workers) >> 20),
                 static_cast<int>(fewer), fewer == 1 ? "job runs" : "jobs run");
    workers = fewer;
  }
  return workers;
}

std::unique_ptr<SweepJobs> start_jobs(const PassPair& passes, std::int32_t jobs, JobKind kind) {
  // One job is one thread: no copy of the process.
  if (kind == JobKind::processes && jobs > 1) return std::make_unique<SweepProcesses>(passes, jobs);
  return std::make_unique<SweepWorkers>(passes, jobs);
}
