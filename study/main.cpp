// upscale_study: many stochastic realisations of a sample's per-cell map,
// the frequency sweep of each, and the mean and spread of their curves.
//
// Build and run (see README.md):
//   ./run_study.sh                         the bundled example, with its picture
//   build/upscale_study examples/study_permafrost/study.txt -j 2
//
//   upscale_study STUDY_FILE [--engine local|slurm] [-j N] [--wait] [--bin DIR]
//   upscale_study --merge OUTPUT [--allow-missing]
//   upscale_study --status OUTPUT
//
// Each realisation r draws its map with upscale_maps (seed + r - 1) and
// runs upscale_sweep -j 1 on it in OUTPUT/rNNNN; the local engine runs N
// of them at a time on this machine, the slurm engine submits a job array
// and a merge job.  The summary OUTPUT/study_summary.dat gives per
// frequency the mean, standard deviation and 5th, 50th, 95th percentiles of
// the velocity and 1000/Q.  A rerun skips what is complete and unchanged.
// Exit status 0; a fatal condition ends as a stop (message on standard
// output, "STOP n" on the error stream, status n & 255): 2 a fault of the
// study file, its case or OUTPUT (OUTPUT in use by another run among
// them), 3 a usage error or a study refused by its checks, 6 an incomplete
// set refused by --merge, 7 a Slurm submission that failed, 8 failed
// realisations.  (--task R STUDY_FILE [--signature S] runs realisation R
// alone: the job array's task, refusing any study but the one of signature
// S it was submitted with.)
#include <charconv>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/stop.hpp"
#include "common/units.hpp"
#include "study/local_pool.hpp"
#include "study/merge_status.hpp"
#include "study/output_claim.hpp"
#include "study/slurm_engine.hpp"
#include "study/study_file.hpp"
#include "study/tools.hpp"

namespace {

const char* const usage_text =
    "usage: upscale_study STUDY_FILE [--engine local|slurm] [-j N] [--wait] [--bin DIR]\n"
    "       upscale_study --merge OUTPUT [--allow-missing]\n"
    "       upscale_study --status OUTPUT\n"
    "       upscale_study --help";

[[noreturn]] void usage(const std::string& what) {
  stop_input_parameter("upscale_study: " + what + "\n " + usage_text);
}

int count_of(const std::string& option, const std::string& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1) {
    usage(option + ": '" + text + "' is not a whole number of at least 1");
  }
  return value;
}

void print_help() {
  std::printf("%s\n"
              "The frequency sweeps of many stochastic realisations of a sample's per-cell map, and the mean,\n"
              "spread and percentiles of their velocity and 1000/Q.\n"
              "  --engine local|slurm  run on this machine (default) or as a Slurm job array\n"
              "  -j N                  realisations at a time (1 to %d; local default: the processors)\n"
              "  --wait                slurm: wait for the merge job and report as the local engine does\n"
              "  --bin DIR             where upscale_maps and upscale_sweep are (default: beside this program)\n"
              "  --merge OUTPUT        recompute OUTPUT/study_summary.dat (--allow-missing: from the complete ones)\n"
              "  --status OUTPUT       the progress of the study in OUTPUT\n"
              "The study file's keys and the exit statuses are described in README.md.\n",
              usage_text, max_study_jobs);
}

}  // namespace

int main(int argc, char** argv) {
  // What the program was doing, for the message of a failed allocation.
  std::string doing = "reading the command line";
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string study_file, merge_dir, status_dir, engine = "local", bin, submitted;
    int jobs = 0, task = 0;
    bool wait = false, allow_missing = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& a = args[i];
      const auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size()) usage(a + ": a value is missing");
        return args[++i];
      };
      if (a == "--help" || a == "-h") {
        print_help();
        return 0;
      } else if (a == "--engine") {
        engine = value();
        if (engine != "local" && engine != "slurm") usage("--engine: '" + engine + "' is not local or slurm");
      } else if (a == "-j") {
        jobs = count_of(a, value());
        if (jobs > max_study_jobs) {
          usage("-j: " + std::to_string(jobs) + " realisations at a time exceed the limit of " +
                std::to_string(max_study_jobs));
        }
      } else if (a == "--wait") {
        wait = true;
      } else if (a == "--bin") {
        bin = value();
      } else if (a == "--merge") {
        merge_dir = value();
      } else if (a == "--allow-missing") {
        allow_missing = true;
      } else if (a == "--status") {
        status_dir = value();
      } else if (a == "--task") {
        task = count_of(a, value());
      } else if (a == "--signature") {
        submitted = value();
      } else if (!a.empty() && a[0] == '-') {
        usage(a + ": unknown option");
      } else if (study_file.empty()) {
        study_file = a;
      } else {
        usage("'" + a + "': one study file only");
      }
    }

    if (!merge_dir.empty() || !status_dir.empty()) {
      if (!study_file.empty() || (!merge_dir.empty() && !status_dir.empty())) {
        usage("--merge and --status take an OUTPUT directory and nothing else");
      }
      if (!merge_dir.empty()) {
        doing = "merging the realisations of " + merge_dir;
        const DirectoryLock lock(merge_dir, DirectoryLock::exclusive);
        merge_study(merge_dir, allow_missing);
      } else {
        doing = "reading the progress of " + status_dir;
        show_status(status_dir);
      }
      return finish_normal_end();
    }
    if (study_file.empty()) usage("no study file");
    if (allow_missing) usage("--allow-missing belongs to --merge");
    if (!submitted.empty() && task == 0) usage("--signature belongs to --task");

    // 1. The study, checked whole before anything is written.
    doing = "reading the study file " + study_file;
    const Study study = read_study_file(study_file);
    const Tools tools = find_tools(bin);
    if (task > 0) {
      // One task of the job array, on the frozen study file.
      if (task > study.realisations) usage("--task " + std::to_string(task) + ": the study has " +
                                           std::to_string(study.realisations) + " realisations");
      doing = "running realisation " + std::to_string(task);
      run_task(study, tools, task, submitted);
      return finish_normal_end();
    }
    if (engine != "slurm" && wait) usage("--wait belongs to --engine slurm");

    if (engine == "slurm") check_slurm_paths(study);

    // 2. OUTPUT, locked and owned, then the realisations.
    doing = "taking the output " + study.output.string();
    DirectoryLock lock = claim_output(study);
    doing = "running the " + std::to_string(study.realisations) + " realisations";
    if (engine == "slurm") {
      run_slurm(study, tools, jobs, wait, lock);
    } else {
      const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
      run_local(study, tools, jobs > 0 ? jobs : std::min(processors, max_study_jobs));
    }
  } catch (const StopRun& stop) {
    return finish_run(stop);
  } catch (const std::bad_alloc&) {
    try {
      stop_input("upscale_study: out of memory while " + doing);
    } catch (const StopRun& stop) {
      return finish_run(stop);
    }
  } catch (const std::exception& error) {
    // A file-system fault outside the realisations (OUTPUT cannot be
    // created or written): an input/output error like the program's.
    try {
      stop_input(std::string("upscale_study: ") + error.what());
    } catch (const StopRun& stop) {
      return finish_run(stop);
    }
  }
  return finish_normal_end();
}
