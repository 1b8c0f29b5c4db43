// The worker threads of the sweep, which compute its frequencies several at
// a time and hand them back in grid order (SweepWorkers).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/readata.hpp"
#include "sweep/one_frequency.hpp"
#include "sweep/sweep_jobs.hpp"

// The frequencies of the grid shared out among worker threads, each with a
// pass object of its own, and handed back in grid order.
//
// A worker takes the next frequency not yet taken, computes it with its
// output silenced, and leaves the result (or the stop it met) in the
// frequency's slot.  Once a frequency has stopped, no frequency above it is
// begun; those below it still run, so that the lowest stop of the grid is
// the one reported, whatever the order in which the workers met them.  The
// results are those of one thread: every frequency is computed alone, from
// the same sample and the same structure of the system.
class SweepWorkers final : public SweepJobs {
 public:
  // The first worker computes on `first`, which holds the sample and the
  // structure of its system; each further one makes a pass object of its
  // own and copies them into it, while the first is already computing
  // (both only read what is copied).  A worker that cannot have its
  // storage takes no part.
  // A thread that the system refuses leaves the sweep to the workers
  // already started, with a warning; when not even the first can start, the
  // sweep stops with stop_input_error.
  SweepWorkers(const PassPair& first, std::int32_t workers);

  // Ends the workers: those still running finish their frequency and take
  // no other.
  ~SweepWorkers() override;

  SweepWorkers(const SweepWorkers&) = delete;
  SweepWorkers& operator=(const SweepWorkers&) = delete;

  // Waits for frequency i; returns its point, or rethrows the stop it met.
  const SweepPoint& result(std::int32_t i) override;

 private:
  struct Slot {
    SweepPoint point;
    std::exception_ptr failure;
    bool done = false;
  };

  void work(const PassPair& run);

  const Deck& deck_;
  std::vector<Slot> slots_;  // slot i for frequency i = 1..nfreq
  std::mutex mutex_;
  std::condition_variable done_;
  std::int32_t next_ = 1;
  std::int32_t lowest_stop_;
  bool abandoned_ = false;
  std::vector<std::thread> threads_;
};
