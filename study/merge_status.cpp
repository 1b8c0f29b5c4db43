#include "study/merge_status.hpp"

#include <sstream>

#include "common/stop.hpp"
#include "common/units.hpp"
#include "study/file_bytes.hpp"
#include "study/plan.hpp"
#include "study/summary.hpp"

namespace fs = std::filesystem;

void finish_study(const Study& study, const std::vector<Outcome>& outcomes, bool by_jobs) {
  std::string failed_list;
  int failed = 0, computed = 0, skipped = 0;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const Outcome& o = outcomes[i];
    if (o.kind == Outcome::failed) {
      ++failed;
      failed_list += (failed_list.empty() ? "" : ", ") + std::to_string(i + 1);
      write_line(stdout_unit, " realisation " + std::to_string(i + 1) + " failed: " + o.message);
    }
    computed += o.kind == Outcome::done;
    skipped += o.kind == Outcome::skipped;
  }
  for (const Outcome& o : outcomes) {
    if (!o.note.empty()) write_line(stdout_unit, " warning: " + o.note);
  }
  if (by_jobs) {
    std::ostringstream line;  // (a stream: GCC 12 warns falsely on chains of std::string +)
    line << ' ' << outcomes.size() << " realisations: " << computed << " complete, " << failed << " failed or missing";
    write_line(stdout_unit, line.str());
  } else {
    std::ostringstream line;
    line << ' ' << outcomes.size() << " realisations: " << computed << " computed, " << skipped
         << " complete and unchanged, " << failed << " failed";
    write_line(stdout_unit, line.str());
  }
  // A failed allocation of the study itself is a stop of its own, not a
  // fault of the realisation's inputs.
  std::string starved;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    if (outcomes[i].out_of_memory) starved += (starved.empty() ? "" : ", ") + std::to_string(i + 1);
  }
  if (!starved.empty()) {
    stop_input("upscale_study: out of memory while running realisations " + starved + " (their checksums, paths "
               "and messages); " + summary_name + " not written: rerun with fewer realisations at a time (-j)");
  }
  if (failed > 0) {
    stop_run(stop_realisations_failed,
             " realisations failed: " + failed_list + "; " + summary_name + " not written (upscale_study --merge " +
                 study.output.string() + " --allow-missing averages the complete ones)");
  }
  merge_study(study.output, false);
}

void merge_study(const fs::path& output, bool allow_missing) {
  const Plan plan = read_plan(output);
  std::vector<std::string> present;
  std::string missing_list;
  int missing = 0, failed = 0;
  for (std::int32_t r = 1; r <= plan.realisations; ++r) {
    const std::string name = realisation_name(r, plan.realisations);
    if (is_complete(output / name, plan.signature)) {
      present.push_back(name);
      continue;
    }
    ++missing;
    missing_list += (missing_list.empty() ? "" : ", ") + std::to_string(r);
    std::string why = is_complete(output / name, "") ? "computed from other inputs than the study's" : "not complete";
    if (fs::exists(output / name / failure_name)) {
      ++failed;
      why = "failed: " + read_text(output / name / failure_name);
      if (!why.empty() && why.back() == '\n') why.pop_back();
    }
    if (!allow_missing) write_line(stdout_unit, " realisation " + std::to_string(r) + " (" + name + ") " + why);
  }
  if (missing > 0 && !allow_missing) {
    stop_run(failed > 0 ? stop_realisations_failed : stop_incomplete_study,
             " " + std::to_string(missing) + " of " + std::to_string(plan.realisations) +
                 " realisations missing: " + missing_list + "; " + summary_name +
                 " not written (--allow-missing averages the complete ones)");
  }
  if (present.empty()) stop_run(stop_incomplete_study, " no realisation is complete: nothing to average");
  write_summary(output, present, plan.modulus, plan.error_estimate, plan.quantity);
  write_line(stdout_unit, " " + std::string(summary_name) + ": " + std::to_string(present.size()) + " of " +
                              std::to_string(plan.realisations) + " realisations" +
                              (missing > 0 ? " (missing: " + missing_list + ")" : ""));
}

void show_status(const fs::path& output) {
  const Plan plan = read_plan(output);
  int complete = 0, started = 0;
  std::string failed_list;
  int failed = 0;
  for (std::int32_t r = 1; r <= plan.realisations; ++r) {
    const fs::path directory = output / realisation_name(r, plan.realisations);
    if (is_complete(directory, plan.signature)) {
      ++complete;
    } else if (fs::exists(directory / failure_name)) {
      ++failed;
      failed_list += (failed_list.empty() ? "" : ", ") + std::to_string(r);
    } else if (fs::exists(directory / work_name)) {
      ++started;
    }
  }
  const int waiting = plan.realisations - complete - failed - started;
  write_line(stdout_unit, " study " + plan.study_file.string() + " (" + plan.jobs + ")");
  write_line(stdout_unit, " realisations done: " + std::to_string(complete) + " of " +
                              std::to_string(plan.realisations) + "; failed: " + std::to_string(failed) +
                              (failed > 0 ? " (" + failed_list + ")" : "") + "; running or interrupted: " +
                              std::to_string(started) + "; not started: " + std::to_string(waiting));
  // A summary in OUTPUT is one of the plan's inputs: writing a changed
  // plan removes the earlier one first.
  write_line(stdout_unit, std::string(" ") + summary_name + ": " +
                              (fs::exists(output / summary_name) ? "written" : "not yet written"));
}
