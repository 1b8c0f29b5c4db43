#include "study/runner.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/sweep.hpp"
#include "study/maps.hpp"
#include "study/summary.hpp"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Exit statuses span 0..255 (stops such as 99999 arrive as 159), so a
// process killed by a signal is told apart above them.
constexpr int killed_by_signal = 256;

std::string read_text(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Writes a file under a temporary name and moves it into place, so that a
// reader sees the old file or the whole new one, never a part.
void write_atomically(const fs::path& file, const std::string& text) {
  // Realisations run on several threads: a fault is thrown, not stopped,
  // so that the thread that meets it reports it as its realisation's.
  const fs::path temporary = file.string() + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "w");
  if (out == nullptr) throw std::runtime_error("cannot create \"" + temporary.string() + "\"");
  const bool written = std::fputs(text.c_str(), out) >= 0;
  if ((std::fclose(out) != 0) || !written) {
    throw std::runtime_error("cannot write \"" + temporary.string() + "\" (output lost)");
  }
  fs::rename(temporary, file);
}

// 64-bit FNV-1a checksum of a text or of a file's bytes, in hexadecimal.
std::string checksum_text(const std::string& bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}
std::string checksum_file(const fs::path& file) { return checksum_text(read_text(file)); }

// Single quotes for the shell, a quote inside written as '\''.
std::string shell_quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs `program` with `args` in `directory`, standard input from `input`
// (or /dev/null), standard output and error into the two files; returns
// the exit status (0..255), killed_by_signal + the signal for a process
// killed by one, or -errno when the program could not be started.
int run_process(const fs::path& program, const std::vector<std::string>& args, const fs::path& directory,
                 const fs::path& input, const fs::path& output, const fs::path& error, bool search_path = false) {
  std::vector<std::string> words{program.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  posix_spawn_file_actions_addopen(&actions, 0, input.empty() ? "/dev/null" : input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, error.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int started = search_path ? posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ)
                                  : posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -started;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -errno;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return killed_by_signal + WTERMSIG(status);
}

// The message of a program that stopped: the lines of its standard output
// (the sweep's own summary lines left out) and the "STOP n" of its error
// stream.
std::string stop_message(const fs::path& out, const fs::path& err) {
  std::string message;
  std::istringstream lines(read_text(out));
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t begin = line.find_first_not_of(' ');
    if (begin == std::string::npos) continue;
    line = line.substr(begin);
    bool summary = false;
    for (const char* prefix : {"frequency sweep of a", "ordering and symbolic", "top load:", "every row of cells",
                               "some row of cells", "relaxed limit", "unrelaxed limit"}) {
      summary = summary || line.rfind(prefix, 0) == 0;
    }
    if (summary) continue;
    message += (message.empty() ? "" : " | ") + line;
  }
  std::istringstream errors(read_text(err));
  while (std::getline(errors, line)) {
    if (line.rfind("STOP ", 0) == 0) message += " (" + line + ")";
  }
  return message;
}

std::string status_text(int status) {
  if (status < 0) return "could not be started (" + std::string(std::strerror(-status)) + ")";
  if (status >= killed_by_signal) return "was killed by signal " + std::to_string(status - killed_by_signal);
  return "ended with status " + std::to_string(status);
}

// What the realisations of a study share: the deck, the case's files, the
// maps options, the grid and the two programs.
std::string shared_inputs(const Study& study, const Tools& tools) {
  std::string text = "deck " + checksum_text(study.deck) + "\n";
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(study.case_dir)) {
    if (entry.is_regular_file() && entry.path().filename() != "deck.in") files.push_back(entry.path().filename());
  }
  std::sort(files.begin(), files.end());
  for (const std::string& name : files) text += "case " + name + " " + checksum_file(study.case_dir / name) + "\n";
  text += "maps";
  for (const std::string& word : study.maps) text += " " + word;
  text += "\ngrid " + (study.fmin.empty() ? "deck" : study.fmin) + " " + (study.fmax.empty() ? "deck" : study.fmax) +
          " " + (study.nfreq.empty() ? "deck" : study.nfreq) + "\n";
  text += "programs " + checksum_file(tools.maps) + " " + checksum_file(tools.sweep) + "\n";
  return text;
}

// What makes a realisation what it is: the shared inputs, its seed, and
// the checksum of the shared inputs (the study's signature, which the plan
// holds too, so that a merge counts only realisations of the same inputs).
// A rerun whose manifest differs computes the realisation again.
std::string manifest_text(const std::string& shared, const Study& study, std::int32_t r) {
  return shared + "seed " + std::to_string(study.seed + static_cast<std::uint64_t>(r - 1)) + "\nstudy " +
         checksum_text(shared) + "\n";
}

struct Plan {
  fs::path study_file;
  std::int32_t realisations = 0;
  std::string jobs;
  std::string signature;  // checksum of the shared inputs; empty: any
};

Plan read_plan(const fs::path& output) {
  const fs::path file = output / plan_name;
  std::ifstream in(file);
  if (!in) stop_input("\"" + output.string() + "\" holds no study (no " + plan_name + ")");
  Plan plan;
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t blank = line.find(' ');
    const std::string key = line.substr(0, blank), value = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (key == "study_file") plan.study_file = value;
    if (key == "realisations") plan.realisations = std::atoi(value.c_str());
    if (key == "jobs") plan.jobs = value;
    if (key == "signature") plan.signature = value;
  }
  if (plan.realisations < 1) stop_input(file.string() + ": no number of realisations");
  return plan;
}

// A realisation is complete when its table and its manifest are there,
// and, for a plan with a signature, when the manifest carries it.
bool is_complete(const fs::path& directory, const std::string& signature) {
  if (!fs::is_regular_file(directory / manifest_name) || !fs::is_regular_file(directory / sweep_table_name)) {
    return false;
  }
  return signature.empty() || read_text(directory / manifest_name).find("\nstudy " + signature + "\n") !=
                                  std::string::npos;
}

}  // namespace

Tools find_tools(const fs::path& directory) {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const fs::path bin = directory.empty() ? self.parent_path() : fs::absolute(directory);
  Tools tools{bin / "upscale_maps", bin / "upscale_sweep", bin / "upscale_study"};
  for (const fs::path& tool : {tools.maps, tools.sweep}) {
    if (access(tool.c_str(), X_OK) != 0) {
      stop_input("cannot find the program " + tool.string() + " (give the programs' directory with --bin DIR)");
    }
  }
  if (directory.empty()) tools.study = self;
  return tools;
}

Outcome run_realisation(const Study& study, const Tools& tools, std::int32_t r) {
  const fs::path directory = study.output / realisation_name(r, study.realisations);
  const std::string manifest = manifest_text(shared_inputs(study, tools), study, r);
  if (is_complete(directory, "") && read_text(directory / manifest_name) == manifest) return {Outcome::skipped, ""};

  // 1. A clean working folder with the case, the study's deck and the map.
  fs::create_directories(directory);
  fs::remove(directory / manifest_name);
  fs::remove(directory / failure_name);
  fs::remove(directory / sweep_table_name);
  const fs::path work = directory / "run";
  fs::remove_all(work);
  fs::create_directories(work);
  for (const auto& entry : fs::directory_iterator(study.case_dir)) {
    if (entry.is_regular_file() && entry.path().filename() != "deck.in") {
      fs::copy_file(entry.path(), work / entry.path().filename());
    }
  }
  write_atomically(work / "deck.in", study.deck);

  const auto fail = [&](const std::string& program, int status, const fs::path& out, const fs::path& err) {
    const std::string message = program + " " + status_text(status) + ": " + stop_message(out, err);
    write_atomically(directory / failure_name, message + "\n");
    return Outcome{Outcome::failed, message};
  };

  // 2. The map of this realisation's seed, then the sweep on one thread.
  std::vector<std::string> maps_args = study.maps;
  maps_args.push_back("--seed");
  maps_args.push_back(std::to_string(study.seed + static_cast<std::uint64_t>(r - 1)));
  const int maps_status = run_process(tools.maps, maps_args, work, work / "deck.in", work / "maps.out",
                                      work / "maps.err");
  if (maps_status != 0) return fail("upscale_maps", maps_status, work / "maps.out", work / "maps.err");
  const int sweep_status = run_process(tools.sweep, {"-j", "1"}, work, work / "deck.in", work / "sweep.out",
                                       work / "sweep.err");
  if (sweep_status != 0) return fail("upscale_sweep", sweep_status, work / "sweep.out", work / "sweep.err");

  // 3. The files move up, the table last, then the manifest: only now is
  //    the realisation complete.
  for (const auto& entry : fs::directory_iterator(work)) {
    if (entry.path().filename() != sweep_table_name) fs::rename(entry.path(), directory / entry.path().filename());
  }
  fs::rename(work / sweep_table_name, directory / sweep_table_name);
  write_atomically(directory / manifest_name, manifest);
  fs::remove_all(work);
  return {Outcome::done, ""};
}

void write_plan(const Study& study, const Tools& tools, const std::string& jobs) {
  fs::create_directories(study.output);
  write_atomically(study.output / plan_name,
                   "study_file " + study.file.string() + "\nrealisations " + std::to_string(study.realisations) +
                       "\njobs " + jobs + "\nsignature " + checksum_text(shared_inputs(study, tools)) + "\n");
}

namespace {

// Runs a realisation without letting a fault escape the worker thread: a
// stop or a file-system error becomes the realisation's failure.
Outcome run_guarded(const Study& study, const Tools& tools, std::int32_t r) {
  try {
    return run_realisation(study, tools, r);
  } catch (const StopRun& stop) {
    return {Outcome::failed, stop.message};
  } catch (const std::exception& error) {
    return {Outcome::failed, error.what()};
  }
}

// The end of a study whose realisations have all been run: the failures
// named, or the summary.
void finish(const Study& study, const std::vector<Outcome>& outcomes, bool by_jobs) {
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
  if (by_jobs) {
    write_line(stdout_unit, " " + std::to_string(outcomes.size()) + " realisations: " + std::to_string(computed) +
                                " complete, " + std::to_string(failed) + " failed or missing");
  } else {
    write_line(stdout_unit, " " + std::to_string(outcomes.size()) + " realisations: " + std::to_string(computed) +
                                " computed, " + std::to_string(skipped) + " complete and unchanged, " +
                                std::to_string(failed) + " failed");
  }
  if (failed > 0) {
    stop_run(stop_realisations_failed,
             " realisations failed: " + failed_list + "; " + summary_name + " not written (upscale_study --merge " +
                 study.output.string() + " --allow-missing averages the complete ones)");
  }
  merge_study(study.output, false);
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
  const auto worker = [&]() {
    for (std::int32_t r = next++; r <= total; r = next++) {
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
    }
  };
  const int threads = std::max(1, std::min<int>(jobs, total));
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) pool.emplace_back(worker);
  for (std::thread& thread : pool) thread.join();
  if (terminal) std::fprintf(stderr, "\n");
  finish(study, outcomes, false);
}

void run_slurm(const Study& study, const Tools& tools, int jobs, bool wait) {
  write_plan(study, tools, "slurm (submitting)");
  const fs::path slurm = study.output / "slurm";
  fs::create_directories(slurm);
  const std::string name = study.file.stem().string();

  // 1. The scripts of the tasks and of the merge: every file they write
  //    lies inside OUTPUT.
  write_atomically(slurm / "array.sh",
                   "#!/bin/sh\n# Task r of the job array: realisation r of the study.\nexec " +
                       shell_quoted(tools.study.string()) + " --task \"$SLURM_ARRAY_TASK_ID\" " +
                       shell_quoted(study.file.string()) + " --bin " + shell_quoted(tools.maps.parent_path()) + "\n");
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
    std::string id = read_text(out);
    id = id.substr(0, id.find_first_of(";\n"));
    return id;
  };

  // 2. The job array, throttled; its tasks' output and errors in OUTPUT/slurm.
  std::vector<std::string> array_args = {"--parsable", "--job-name=" + name,
                                         "--array=1-" + std::to_string(study.realisations) +
                                             (jobs > 0 ? "%" + std::to_string(jobs) : ""),
                                         "--output=" + (slurm / "task_%a.out").string(),
                                         "--error=" + (slurm / "task_%a.err").string(),
                                         "--chdir=" + study.output.string()};
  array_args.insert(array_args.end(), study.slurm.begin(), study.slurm.end());
  array_args.push_back((slurm / "array.sh").string());
  const std::string array_id = submit(array_args, "array");
  write_line(stdout_unit, " job array " + array_id + ": " + std::to_string(study.realisations) + " realisations" +
                              (jobs > 0 ? ", at most " + std::to_string(jobs) + " at a time" : ""));
  flush_all_units();

  // 3. The merge job, after the array whatever its outcome.
  std::vector<std::string> merge_args = {"--parsable", "--job-name=" + name + "_merge",
                                         "--dependency=afterany:" + array_id,
                                         "--output=" + (slurm / "merge.out").string(),
                                         "--error=" + (slurm / "merge.err").string(),
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
  const fs::path out = slurm / "sbatch_merge.out", err = slurm / "sbatch_merge.err";
  const int status = run_process("sbatch", merge_args, study.output, "", out, err, true);
  std::string merge_id = read_text(out);
  merge_id = merge_id.substr(0, merge_id.find_first_of(";\n"));
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
    const fs::path directory = study.output / realisation_name(r, study.realisations);
    Outcome& o = outcomes[static_cast<std::size_t>(r - 1)];
    if (is_complete(directory, signature)) {
      o.kind = Outcome::done;
    } else {
      o.kind = Outcome::failed;
      o.message = fs::exists(directory / failure_name) ? read_text(directory / failure_name)
                                                       : "did not complete (see " + (slurm / "task_N.err").string() + ")";
      if (!o.message.empty() && o.message.back() == '\n') o.message.pop_back();
    }
  }
  finish(study, outcomes, true);
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
      if (why.back() == '\n') why.pop_back();
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
  write_summary(output, present);
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
    } else if (fs::exists(directory / "run")) {
      ++started;
    }
  }
  const int waiting = plan.realisations - complete - failed - started;
  write_line(stdout_unit, " study " + plan.study_file.string() + " (" + plan.jobs + ")");
  write_line(stdout_unit, " realisations done: " + std::to_string(complete) + " of " +
                              std::to_string(plan.realisations) + "; failed: " + std::to_string(failed) +
                              (failed > 0 ? " (" + failed_list + ")" : "") + "; running or interrupted: " +
                              std::to_string(started) + "; not started: " + std::to_string(waiting));
  write_line(stdout_unit, std::string(" ") + summary_name + ": " +
                              (fs::exists(output / summary_name) ? "written" : "not yet written"));
}
