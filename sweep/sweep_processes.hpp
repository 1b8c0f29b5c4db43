// The job processes of the sweep: copies of it (fork), each with its own
// MUMPS, which compute its frequencies several at a time on the scalable
// solver (SweepProcesses).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/stop.hpp"
#include "driver/readata.hpp"
#include "sweep/one_frequency.hpp"
#include "sweep/sweep_jobs.hpp"

// The frequencies of the grid shared out among copies of this process.
//
// MUMPS's state is one for a process, so the threads of one process take
// turns at it; copies of the process do not share it.  The copies are
// made once the sample is read and every system laid out and analysed,
// before any thread starts: each job holds all of it (pass objects,
// analysed instances), its pages shared with the sweep until written, and
// factorises in its own instances.  A job takes the next frequency not yet
// taken (a counter in memory the jobs share), says so, computes it with
// its output silenced, and sends the sweep its point or the stop it met
// through a pipe of its own (sweep/job_messages.hpp); the sweep hands them
// back in grid order.  Once a frequency has stopped no job begins one
// above it.  Every frequency is computed alone from the same state, so the
// results are those of one job, byte for byte.
//
// A job ends with _exit: it never flushes the sweep's buffers nor runs its
// exit handlers, and it dies with the sweep.  A job that ends without the
// result of a frequency it began (a signal, the kernel's out-of-memory
// killer) stops the sweep at that frequency with stop_input_error, saying
// how it ended; a frequency no job is left to compute stops it the same
// way.  The sweep reaps every job, whichever way it ends.
class SweepProcesses final : public SweepJobs {
 public:
  // Starts `jobs` processes on `passes` (laid out and analysed).  A
  // process that the system refuses leaves the sweep to those already
  // started, with a warning; when not even the first starts, the sweep
  // stops with stop_input_error.
  SweepProcesses(const PassPair& passes, std::int32_t jobs);

  // Ends the jobs: those still computing finish their frequency, take no
  // other and are reaped.
  ~SweepProcesses() override;

  SweepProcesses(const SweepProcesses&) = delete;
  SweepProcesses& operator=(const SweepProcesses&) = delete;

  const SweepPoint& result(std::int32_t i) override;

 private:
  // What the jobs and the sweep share, in a mapping of their own: the next
  // frequency not yet taken, the lowest frequency stopped so far (nfreq + 1
  // while none has), and whether the sweep has given up its jobs.
  struct Counters {
    std::atomic<std::int32_t> next;
    std::atomic<std::int32_t> lowest_stop;
    std::atomic<bool> abandoned;
  };
  struct CountersRelease {
    void operator()(Counters* counters) const;
  };
  struct Job {
    pid_t pid = -1;          // -1 once reaped
    int fd = -1;             // the read end of its pipe; -1 once at its end
    std::int32_t begun = 0;  // the frequency it began and has not answered (0: none)
  };
  enum class Outcome { pending, point, stop, out_of_memory };
  struct Slot {
    Outcome outcome = Outcome::pending;
    SweepPoint point;
    StopRun stop{0, {}};
  };

  // The job's life, in the copy: frequencies until none is left, then _exit.
  [[noreturn]] void run_job(const PassPair& passes, int fd, pid_t sweep);
  void take_messages();
  void take_message(Job& job);
  void job_ended(Job& job);
  void fail(std::int32_t i, const std::string& message);
  void lower_stop(std::int32_t i);

  const Deck& deck_;
  std::unique_ptr<Counters, CountersRelease> counters_;
  std::vector<Slot> slots_;  // slot i for frequency i = 1..nfreq
  std::vector<Job> jobs_;
  std::string endings_;  // how the jobs that failed ended, for a frequency none is left to compute
};
