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
// study file, its case or OUTPUT, 3 a usage error, 5 failed realisations,
// 6 an incomplete set refused by --merge, 7 a Slurm submission that failed.
// (--task R STUDY_FILE runs realisation R alone: the job array's task.)
#include <charconv>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "common/stop.hpp"
#include "common/units.hpp"
#include "study/runner.hpp"
#include "study/study_file.hpp"

namespace {

[[noreturn]] void usage(const std::string& what) {
  stop_input_parameter("upscale_study: " + what +
                       "\n usage: upscale_study STUDY_FILE [--engine local|slurm] [-j N] [--wait] [--bin DIR]\n"
                       "        upscale_study --merge OUTPUT [--allow-missing]\n"
                       "        upscale_study --status OUTPUT");
}

int count_of(const std::string& option, const std::string& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1) {
    usage(option + ": '" + text + "' is not a whole number of at least 1");
  }
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string study_file, merge_dir, status_dir, engine = "local", bin;
    int jobs = 0, task = 0;
    bool wait = false, allow_missing = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& a = args[i];
      const auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size()) usage(a + ": a value is missing");
        return args[++i];
      };
      if (a == "--engine") {
        engine = value();
        if (engine != "local" && engine != "slurm") usage("--engine: '" + engine + "' is not local or slurm");
      } else if (a == "-j") {
        jobs = count_of(a, value());
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
        merge_study(merge_dir, allow_missing);
      } else {
        show_status(status_dir);
      }
      return finish_normal_end();
    }
    if (study_file.empty()) usage("no study file");
    if (allow_missing) usage("--allow-missing belongs to --merge");

    const Study study = read_study_file(study_file);
    const Tools tools = find_tools(bin);
    if (task > 0) {
      // One task of the job array.
      if (task > study.realisations) usage("--task " + std::to_string(task) + ": the study has " +
                                           std::to_string(study.realisations) + " realisations");
      const Outcome outcome = run_realisation(study, tools, task);
      const std::string name = realisation_name(task, study.realisations);
      if (outcome.kind == Outcome::failed) {
        stop_run(stop_realisations_failed, " realisation " + std::to_string(task) + " failed: " + outcome.message);
      }
      write_line(stdout_unit, " realisation " + std::to_string(task) + " (" + name + ") " +
                                  (outcome.kind == Outcome::done ? "computed" : "complete and unchanged"));
      return finish_normal_end();
    }
    if (engine == "slurm") {
      run_slurm(study, tools, jobs, wait);
    } else {
      if (wait) usage("--wait belongs to --engine slurm");
      run_local(study, tools, jobs > 0 ? jobs : std::max(1u, std::thread::hardware_concurrency()));
    }
  } catch (const StopRun& stop) {
    return finish_run(stop);
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
