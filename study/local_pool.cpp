#include "study/local_pool.hpp"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "common/stop.hpp"
#include "study/merge_status.hpp"
#include "study/plan.hpp"
#include "study/realisation.hpp"

namespace {

// Runs a realisation without letting a fault escape the worker thread: a
// stop or a file-system error becomes the realisation's failure.
Outcome run_guarded(const Study& study, const Tools& tools, std::int32_t r) {
  try {
    return run_realisation(study, tools, r);
  } catch (const StopRun& stop) {
    return {Outcome::failed, stop.message, ""};
  } catch (const std::bad_alloc&) {
    Outcome o{Outcome::failed, "upscale_study ran out of memory for this realisation's checksums, paths and "
                               "messages (run fewer realisations at a time with -j)", ""};
    o.out_of_memory = true;
    return o;
  } catch (const std::exception& error) {
    return {Outcome::failed, error.what(), ""};
  }
}

}  // namespace

void run_local(const Study& study, const Tools& tools, int jobs) {
  write_plan(study, tools, "local");
  const std::int32_t total = study.realisations;
  std::vector<Outcome> outcomes(static_cast<std::size_t>(total));
  std::atomic<std::int32_t> next{1};
  std::mutex progress_lock;
  int finished = 0;
  const bool terminal = isatty(fileno(stderr)) != 0;
  const auto run_one = [&](std::int32_t r) {
    const Outcome outcome = run_guarded(study, tools, r);
    const std::lock_guard<std::mutex> lock(progress_lock);
    outcomes[static_cast<std::size_t>(r - 1)] = outcome;
    ++finished;
    const char* what = outcome.kind == Outcome::done ? "computed" : outcome.kind == Outcome::skipped
                                                                        ? "complete, skipped"
                                                                        : "FAILED";
    std::fprintf(stderr, terminal ? "\r realisations done: %d of %d (%s %s)          " : " realisations done: %d of %d (%s %s)\n",
                 finished, total, realisation_name(r, total).c_str(), what);
    std::fflush(stderr);
  };
  const auto worker = [&]() {
    for (std::int32_t r = next++; r <= total; r = next++) run_one(r);
  };
  // A von Karman correlation is computed by the first realisation alone,
  // and read from the study's cache by all the others.
  if (maps_need_warm_up(study) && total > 1 && jobs > 1) run_one(next++);
  // Each realisation is one thread's sequence of files and processes: the
  // results do not depend on how many run at once, only the time does.
  const int threads = std::max(1, std::min<int>(jobs, total));
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    try {
      pool.emplace_back(worker);
    } catch (const std::system_error& error) {
      if (pool.empty()) {
        stop_input("upscale_study: the system refused a thread for the realisations (" + std::string(error.what()) +
                   "): the realisations left were not started");
      }
      std::fprintf(stderr, "upscale_study: warning: the system refused thread %d of %d (%s): the realisations run "
                   "%d at a time\n", t + 1, threads, error.what(), t);
      break;
    }
  }
  for (std::thread& thread : pool) thread.join();
  if (terminal) std::fprintf(stderr, "\n");
  finish_study(study, outcomes, false);
}
