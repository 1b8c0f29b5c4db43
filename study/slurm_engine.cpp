#include "study/slurm_engine.hpp"

#include "common/stop.hpp"
#include "common/units.hpp"
#include "study/file_bytes.hpp"
#include "study/merge_status.hpp"
#include "study/plan.hpp"
#include "study/process.hpp"
#include "study/realisation.hpp"

namespace fs = std::filesystem;

namespace {

std::string first_word(const std::string& text) { return text.substr(0, text.find_first_of(";\n")); }

// Why realisation r has no complete result after its task: its failure, or
// the task's own error file when the task left one.
std::string missing_reason(const fs::path& directory, const fs::path& slurm, std::int32_t r) {
  if (fs::exists(directory / failure_name)) {
    std::string message = read_text(directory / failure_name);
    if (!message.empty() && message.back() == '\n') message.pop_back();
    return message;
  }
  for (const char* suffix : {".err", ".out"}) {
    const fs::path file = slurm / ("task_" + std::to_string(r) + suffix);
    if (fs::exists(file)) return "did not complete (see " + file.string() + ")";
  }
  return "did not complete, and its task left no output in " + slurm.string() + " (it may never have run)";
}

}  // namespace

void check_slurm_paths(const Study& study) {
  for (const fs::path& path : {study.file, study.case_dir, study.output}) {
    const std::size_t at = path.string().find_first_of(path == study.file ? "\n" : "#\n");
    if (at == std::string::npos) continue;
    stop_input_parameter(study.file.string() + ": the path \"" + path.string() + "\" holds " +
                         (path.string()[at] == '#' ? "a '#', which the tasks' frozen study file would read as a comment"
                                                   : "a newline, which the tasks' frozen study file and Slurm's job "
                                                     "names cannot carry") +
                         "; move or rename the study");
  }
}

void run_slurm(const Study& study, const Tools& tools, int jobs, bool wait, DirectoryLock& lock) {
  check_slurm_paths(study);
  write_plan(study, tools, "slurm (submitting)");
  const fs::path slurm = study.output / "slurm";
  fs::create_directories(slurm);
  const std::string name = study.file.stem().string();
  const fs::path frozen = slurm / frozen_study_name;
  write_atomically(frozen, "# " + study.file.string() + " as submitted\n" + study.frozen);

  // 1. The scripts of the tasks and of the merge: every file they write
  //    lies inside OUTPUT.
  // The script is copied by sbatch at submission: each task carries the
  // signature of this study, whatever is written in OUTPUT later.
  write_atomically(slurm / "array.sh",
                   "#!/bin/sh\n# Task r of the job array: realisation r of the study.\nexec " +
                       shell_quoted(tools.study.string()) + " --task \"$SLURM_ARRAY_TASK_ID\" " +
                       shell_quoted(frozen.string()) + " --bin " + shell_quoted(tools.maps.parent_path()) +
                       " --signature " + checksum_text(shared_inputs(study, tools)) + "\n");
  write_atomically(slurm / "merge.sh", "#!/bin/sh\n# After the array, whatever its tasks' outcome: the summary.\nexec " +
                                           shell_quoted(tools.study.string()) + " --merge " +
                                           shell_quoted(study.output.string()) + "\n");

  const auto submit = [&](std::vector<std::string> args, const std::string& tag) {
    const fs::path out = slurm / ("sbatch_" + tag + ".out"), err = slurm / ("sbatch_" + tag + ".err");
    const int status = run_process("sbatch", args, study.output, "", out, err, true);
    if (status != 0) {
      const std::string why = status < 0 ? "sbatch could not be started (is Slurm's client installed?)"
                                         : "sbatch " + status_text(status) + ": " + read_text(err);
      stop_run(stop_slurm_failed, " the " + tag + " job was not submitted: " + why);
    }
    return first_word(read_text(out));
  };

  // 2. The job array, throttled; its tasks' output and errors in OUTPUT/slurm.
  std::vector<std::string> array_args = {"--parsable", "--job-name=" + name,
                                         "--array=1-" + std::to_string(study.realisations) +
                                             (jobs > 0 ? "%" + std::to_string(jobs) : ""),
                                         "--output=" + slurm_file_pattern(slurm, "task_%a.out"),
                                         "--error=" + slurm_file_pattern(slurm, "task_%a.err"),
                                         "--chdir=" + study.output.string()};
  if (study.ranks > 1) array_args.push_back("--ntasks=" + std::to_string(study.ranks));
  array_args.insert(array_args.end(), study.slurm.begin(), study.slurm.end());
  array_args.push_back((slurm / "array.sh").string());
  const std::string array_id = submit(array_args, "array");
  write_line(stdout_unit, " job array " + array_id + ": " + std::to_string(study.realisations) + " realisations" +
                              (jobs > 0 ? ", at most " + std::to_string(jobs) + " at a time" : ""));
  flush_all_units();

  // 3. The merge job, after the array whatever its outcome.
  std::vector<std::string> merge_args = {"--parsable", "--job-name=" + name + "_merge",
                                         "--dependency=afterany:" + array_id,
                                         "--output=" + slurm_file_pattern(slurm, "merge.out"),
                                         "--error=" + slurm_file_pattern(slurm, "merge.err"),
                                         "--chdir=" + study.output.string()};
  merge_args.insert(merge_args.end(), study.slurm.begin(), study.slurm.end());
  if (wait) merge_args.push_back("--wait");
  merge_args.push_back((slurm / "merge.sh").string());
  if (!wait) {
    const std::string merge_id = submit(merge_args, "merge");
    write_plan(study, tools, "slurm array " + array_id + " merge " + merge_id);
    write_line(stdout_unit, " merge job " + merge_id + " (after the array)");
    write_line(stdout_unit, " progress: upscale_study --status " + study.output.string());
    return;
  }
  write_plan(study, tools, "slurm array " + array_id + " merge (waited for)");
  write_line(stdout_unit, " merge job submitted after the array; waiting for its end");
  flush_all_units();
  lock.release();
  const fs::path out = slurm / "sbatch_merge.out", err = slurm / "sbatch_merge.err";
  const int status = run_process("sbatch", merge_args, study.output, "", out, err, true);
  const std::string merge_id = first_word(read_text(out));
  // The jobs are over: OUTPUT is this command's again.
  const DirectoryLock again(study.output, DirectoryLock::exclusive);
  write_plan(study, tools, "slurm array " + array_id + " merge " + merge_id);
  if (status < 0 || merge_id.empty()) {
    stop_run(stop_slurm_failed, " the merge job was not submitted: " + read_text(err));
  }
  write_line(stdout_unit, " merge job " + merge_id + " ended (" + status_text(status) + ")");
  // The merge job's report, recomputed here: the same summary, byte for
  // byte, and the same failures, ending this command as a local study ends.
  std::vector<Outcome> outcomes(static_cast<std::size_t>(study.realisations));
  const std::string signature = checksum_text(shared_inputs(study, tools));
  for (std::int32_t r = 1; r <= study.realisations; ++r) {
    const std::string rname = realisation_name(r, study.realisations);
    const fs::path directory = study.output / rname;
    Outcome& o = outcomes[static_cast<std::size_t>(r - 1)];
    if (is_complete(directory, signature)) {
      o.kind = Outcome::done;
      o.note = clipping_note(directory, rname);
    } else {
      o.kind = Outcome::failed;
      o.message = missing_reason(directory, slurm, r);
    }
  }
  finish_study(study, outcomes, true);
}

void run_task(const Study& study, const Tools& tools, std::int32_t r, const std::string& submitted) {
  const DirectoryLock output_lock(study.output, DirectoryLock::shared, 120);
  const Plan plan = read_plan(study.output);
  const std::string signature = checksum_text(shared_inputs(study, tools));
  if (!submitted.empty() && (signature != submitted || plan.signature != submitted)) {
    stop_input(" realisation " + std::to_string(r) + " refused: this task was submitted for the study of signature " +
               submitted + ", and " + study.output.string() + " now holds " +
               (plan.signature != submitted ? "the plan of another study" : "another frozen study file") +
               " (of signature " + (plan.signature != submitted ? plan.signature : signature) +
               "); nothing was written");
  }
  if (plan.signature != signature || plan.realisations != study.realisations) {
    stop_input(" realisation " + std::to_string(r) + " refused: the plan in " + study.output.string() +
               " is not the one of the submitted study " + study.file.string() + " (the study, its case or the "
               "programs changed since the submission); nothing was written");
  }
  const std::string name = realisation_name(r, study.realisations);
  if (fs::is_symlink(study.output / name)) {
    stop_input(" \"" + (study.output / name).string() + "\" is a symbolic link where a realisation's directory "
               "belongs; it was left as it is");
  }
  fs::create_directories(study.output / name);
  const DirectoryLock realisation_lock(study.output / name, DirectoryLock::exclusive);
  const Outcome outcome = run_realisation(study, tools, r);
  if (outcome.kind == Outcome::failed) {
    stop_run(stop_realisations_failed, " realisation " + std::to_string(r) + " failed: " + outcome.message);
  }
  write_line(stdout_unit, " realisation " + std::to_string(r) + " (" + name + ") " +
                              (outcome.kind == Outcome::done ? "computed" : "complete and unchanged"));
  if (!outcome.note.empty()) write_line(stdout_unit, " warning: " + outcome.note);
}
