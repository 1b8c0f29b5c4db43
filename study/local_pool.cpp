#include "study/local_pool.hpp"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "common/stop.hpp"
#include "study/file_bytes.hpp"
#include "study/merge_status.hpp"
#include "study/plan.hpp"
#include "study/realisation.hpp"

namespace {

// Runs a realisation without letting a fault escape the worker thread: a
// stop or a file-system error becomes the realisation's failure, and a
// refused allocation (in the realisation or in the words of its failure)
// an outcome marked out of memory, made without allocating.
Outcome run_guarded(const Study& study, const Tools& tools, std::int32_t r) noexcept {
  try {
    try {
      return run_realisation(study, tools, r);
    } catch (const StopRun& stop) {
      return {Outcome::failed, stop.message, ""};
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& error) {
      return {Outcome::failed, error.what(), ""};
    }
  } catch (...) {
  }
  Outcome starved;
  starved.kind = Outcome::failed;
  starved.out_of_memory = true;
  try {
    starved.message = "upscale_study ran out of memory for this realisation";
  } catch (...) {
  }
  return starved;
}

}  // namespace

void run_local(const Study& study, const Tools& tools, int jobs) {
  write_plan(study, tools, "local");
  const std::int32_t total = study.realisations;
  // Every allocation of the pool is made here, before any thread starts; a
  // refusal is a stop of the study (stop_input_error, by the caller).
  std::vector<Outcome> outcomes(static_cast<std::size_t>(total));
  const int threads = std::max(1, std::min<int>(jobs, total));
  std::vector<std::thread> pool;
  pool.reserve(static_cast<std::size_t>(threads));
  std::atomic<std::int32_t> next{1};
  std::mutex progress_lock;
  int finished = 0;
  const bool terminal = isatty(fileno(stderr)) != 0;
  // Runs realisation r and reports it; nothing escapes (the outcome is
  // moved into its slot, the name fits a string's own storage).  Returns
  // false when the realisation found no memory in upscale_study.
  const auto run_one = [&](std::int32_t r) noexcept {
    Outcome outcome = run_guarded(study, tools, r);
    const bool fed = !outcome.out_of_memory;
    const std::lock_guard<std::mutex> lock(progress_lock);
    const char* what = outcome.kind == Outcome::done ? "computed" : outcome.kind == Outcome::skipped
                                                                        ? "complete, skipped"
                                                                        : "FAILED";
    outcomes[static_cast<std::size_t>(r - 1)] = std::move(outcome);
    ++finished;
    const std::string name = realisation_name(r, total);  // a few characters: no allocation
    std::fprintf(stderr, terminal ? "\r realisations done: %d of %d (%s %s)          " : " realisations done: %d of %d (%s %s)\n",
                 finished, total, name.c_str(), what);
    std::fflush(stderr);
    return fed;
  };
  // A worker whose realisation found no memory leaves the others the
  // memory it held, unless it is the last one running.
  std::atomic<int> running{0};
  const auto worker = [&]() noexcept {
    running.fetch_add(1);
    for (std::int32_t r = next++; r <= total; r = next++) {
      if (run_one(r)) continue;
      int now = running.load();
      while (now > 1 && !running.compare_exchange_weak(now, now - 1)) {
      }
      if (now > 1) return;
    }
    running.fetch_sub(1);
  };
  // A von Karman correlation is computed by the first realisation alone,
  // and read from the study's cache by all the others.
  if (maps_need_warm_up(study) && total > 1 && jobs > 1) run_one(next++);
  // Each realisation is one thread's sequence of files and processes: the
  // results do not depend on how many run at once, only the time does.
  // A thread the system refuses (its stack, or the memory of its state)
  // leaves the realisations to the threads started.
  for (int t = 0; t < threads; ++t) {
    std::string why;
    try {
      pool.emplace_back(worker);
      continue;
    } catch (const std::system_error& error) {
      why = error.what();
    } catch (const std::bad_alloc&) {
      why = "out of memory";
    }
    if (pool.empty()) {
      stop_input("upscale_study: the system refused a thread for the realisations (" + why +
                 "): the realisations left were not started");
    }
    std::fprintf(stderr, "upscale_study: warning: the system refused thread %d of %d (%s): the realisations run "
                 "%d at a time\n", t + 1, threads, why.c_str(), t);
    break;
  }
  for (std::thread& thread : pool) thread.join();
  if (terminal) std::fprintf(stderr, "\n");
  // A failure that could not be recorded while the others ran (a full
  // disk, freed since by the failed realisations' working folders) is
  // recorded now, so that --status and --merge tell it failed.
  for (std::int32_t r = 1; r <= total; ++r) {
    const Outcome& o = outcomes[static_cast<std::size_t>(r - 1)];
    const std::filesystem::path directory = study.output / realisation_name(r, total);
    if (o.kind != Outcome::failed || o.out_of_memory || !std::filesystem::is_directory(directory) ||
        std::filesystem::is_symlink(directory) || std::filesystem::exists(directory / failure_name)) {
      continue;
    }
    try {
      write_atomically(directory / failure_name, o.message + "\n");
    } catch (const std::exception&) {
    }
  }
  finish_study(study, outcomes, false);
}
