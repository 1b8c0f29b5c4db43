// The worker threads of the sweep (sweep/sweep_workers.hpp).
#include "sweep/sweep_workers.hpp"

#include <cstdio>
#include <new>
#include <string>
#include <system_error>

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
