// The worker threads of the sweep and the number of them the memory holds
// (sweep/sweep_workers.hpp).
#include "sweep/sweep_workers.hpp"

#include <cstdio>
#include <new>
#include <string>
#include <system_error>

#include "common/cellmap.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/pass.hpp"
#include "sweep/sweep.hpp"

SweepWorkers::SweepWorkers(const PassPair& first, std::int32_t workers)
    : deck_(first.sample->deck), slots_(static_cast<std::size_t>(deck_.nfreq) + 1),
      lowest_stop_(deck_.nfreq + 1) {
  try {
    threads_.emplace_back([this, first] { work(first); });
    for (std::int32_t w = 2; w <= workers; ++w) {
      threads_.emplace_back([this, first] {
        RunStoragePtr own, own_half, own_tests[6];
        // A copy of the structure of `from` (null: none) in a pass object of its own.
        auto copy_of = [](const RunStorage* from, RunStoragePtr& to) {
          if (from == nullptr) return;
          to = make_run_storage();
          copy_structure(*from, *to);
        };
        try {
          copy_of(first.sample, own);
          copy_of(first.half, own_half);
          const RunStorage* tests[6] = {first.tensor.vertical,      first.tensor.horizontal,
                                        first.tensor.shear,         first.half_tensor.vertical,
                                        first.half_tensor.horizontal, first.half_tensor.shear};
          for (int t = 0; t < 6; ++t) copy_of(tests[t], own_tests[t]);
        } catch (const std::bad_alloc&) {
          return;
        }
        work(PassPair{own.get(), own_half.get(),
                      TensorPasses{own_tests[0].get(), own_tests[1].get(), own_tests[2].get()},
                      TensorPasses{own_tests[3].get(), own_tests[4].get(), own_tests[5].get()}});
      });
    }
  } catch (const std::system_error& error) {
    if (threads_.empty()) {
      stop_input("cannot start a thread for the sweep (" + std::string(error.what()) + ")");
    }
    std::fprintf(stderr, "warning: only %zu of %d jobs could be started (%s); the sweep goes on with them\n",
                 threads_.size(), static_cast<int>(workers), error.what());
  }
}

SweepWorkers::~SweepWorkers() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    abandoned_ = true;
  }
  for (std::thread& thread : threads_) thread.join();
}

const SweepPoint& SweepWorkers::result(std::int32_t i) {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return slots_[i].done; });
  if (slots_[i].failure) std::rethrow_exception(slots_[i].failure);
  return slots_[i].point;
}

void SweepWorkers::work(const PassPair& run) {
  Units sink;  // this thread's own units, silenced
  const BindUnits bind(sink);
  const OutputDiscarded quiet;
  for (;;) {
    std::int32_t i;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      i = next_++;
      if (abandoned_ || i > deck_.nfreq || i > lowest_stop_) return;
    }
    Slot& slot = slots_[i];
    try {
      slot.point = solve_at(run, sweep_frequency(deck_, i));
    } catch (...) {
      slot.failure = std::current_exception();
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (slot.failure && i < lowest_stop_) lowest_stop_ = i;
      slot.done = true;
    }
    done_.notify_all();
  }
}

std::int32_t jobs_within_memory(const PassPair& passes, std::int32_t jobs) {
  const Deck& deck = passes.sample->deck;
  std::int32_t workers = jobs < deck.nfreq ? jobs : deck.nfreq;
  if (workers <= 1 || (deck.nx <= classic_cells_x && deck.ny <= classic_cells_y)) return workers;
  // A job holds the arrays of its passes and, on the built-in solver,
  // their work blocks; the scalable solver's factors are shared.
  auto job_part = [&](const RunStorage& run) {
    return run.shared != nullptr ? pass_arrays_estimate(run.deck, run.load)
                                 : pass_memory_estimate(run.deck, run.load, false);
  };
  std::uint64_t per_job = job_part(*passes.sample);
  if (passes.half != nullptr) per_job += job_part(*passes.half);
  for (const RunStorage* other : {passes.tensor.vertical, passes.tensor.horizontal, passes.tensor.shear,
                                  passes.half_tensor.vertical, passes.half_tensor.horizontal,
                                  passes.half_tensor.shear}) {
    if (other != nullptr) per_job += job_part(*other);
  }
  // The scalable solvers' factors, shared by the jobs, are taken at the
  // first factorisation: what they need is not offered to the jobs.
  std::uint64_t offered = memory_offered();
  for (const RunStorage* run : {passes.sample, passes.half, passes.tensor.vertical, passes.tensor.horizontal,
                                passes.tensor.shear, passes.half_tensor.vertical, passes.half_tensor.horizontal,
                                passes.half_tensor.shear}) {
    if (run == nullptr || run->shared == nullptr) continue;
    const long factors_mb = run->shared->solver.memory().estimated_mb;
    const std::uint64_t factors = factors_mb > 0 ? static_cast<std::uint64_t>(factors_mb) * 1000000 : 0;
    offered = offered > factors ? offered - factors : 0;
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
