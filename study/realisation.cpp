#include "study/realisation.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <sstream>
#include <stdexcept>

#include "sweep/sweep.hpp"
#include "study/file_bytes.hpp"
#include "study/plan.hpp"
#include "study/process.hpp"

namespace fs = std::filesystem;

namespace {

// Every file a realisation writes, in its directory and its working
// folder: the only files the study ever removes or replaces there.
const char* const owned_names[] = {
    "manifest",       "manifest.tmp", "failure",      "failure.tmp",       "frequency_sweep.dat",
    "frequency_sweep.dat.partial",    "deck.in",      "deck.in.tmp",       "maps.out",
    "maps.err",       "sweep.out",    "sweep.err",    "binary_ice_gnu.dat", "phiw_binary_patchy.dat",
    "effective_stiffness.dat", "effective_stiffness.dat.partial", "angle_sweep.dat", "angle_sweep.dat.partial",
    "sweep_limits.dat"};

// Removes the owned files of the working folder, then the folder; a
// folder that still holds a file of someone else's is left, and the
// realisation fails naming that file.
void clear_work(const fs::path& work) {
  if (!fs::exists(fs::symlink_status(work))) return;
  if (fs::is_symlink(work) || !fs::is_directory(work)) {
    throw std::runtime_error("\"" + work.string() + "\" is not a directory the study made; remove it");
  }
  for (const char* name : owned_names) fs::remove(work / name);
  for (const auto& entry : fs::directory_iterator(work)) {
    std::string message = "\"";
    message.append(work.string()).append("\" holds \"").append(entry.path().filename().string());
    throw std::runtime_error(message + "\", which the study did not write: move it away and rerun");
  }
  fs::remove(work);
}

}  // namespace

bool maps_need_warm_up(const Study& study) {
  for (const std::string& word : study.maps) {
    if (word.rfind("vonkarman", 0) == 0) return true;
  }
  return false;
}

std::string clipping_note(const fs::path& directory, const std::string& name) {
  std::istringstream lines(read_text(directory / "maps.err"));
  std::string line;
  while (std::getline(lines, line)) {
    int clipped = 0, cells = 0;
    if (std::sscanf(line.c_str(), "upscale_maps: warning: %d of %d cells clipped", &clipped, &cells) == 2 &&
        cells > 0 && clipped > heavy_clipping * cells) {
      return name + ": " + std::to_string(clipped) + " of " + std::to_string(cells) +
             " cells of its map were clipped to the admissible water proportions (" +
             std::to_string((100 * clipped + cells / 2) / cells) + " %); its statistics are those of the clipped map";
    }
  }
  return "";
}

namespace {
Outcome compute_realisation(const Study& study, const Tools& tools, std::int32_t r);
}  // namespace

Outcome run_realisation(const Study& study, const Tools& tools, std::int32_t r) {
  try {
    return compute_realisation(study, tools, r);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& error) {
    // A fault of the file system (a full disk, a foreign file in the
    // working folder): the owned files of the working folder go, freeing
    // what they held, and the failure is recorded where --status and
    // --merge look for it; neither step may hide the fault itself.
    const fs::path directory = study.output / realisation_name(r, study.realisations);
    try {
      clear_work(directory / work_name);
    } catch (const std::exception&) {
    }
    try {
      if (fs::is_directory(directory) && !fs::is_symlink(directory)) {
        write_atomically(directory / failure_name, std::string(error.what()) + "\n");
      }
    } catch (const std::exception&) {
    }
    throw;
  }
}

namespace {

Outcome compute_realisation(const Study& study, const Tools& tools, std::int32_t r) {
  const std::string name = realisation_name(r, study.realisations);
  const fs::path directory = study.output / name;
  if (fs::is_symlink(directory)) {
    std::string message = "\"";
    message.append(directory.string()).append("\" is a symbolic link where a realisation's directory belongs; "
                                              "it was left as it is");
    return {Outcome::failed, message, ""};
  }
  const std::string manifest = manifest_text(shared_inputs(study, tools), study, r);
  if (is_complete(directory, "") && read_text(directory / manifest_name) == manifest) {
    return {Outcome::skipped, "", clipping_note(directory, name)};
  }

  // 1. A clean working folder with the deck, the case's per-cell files the
  //    deck reads, and nothing else.
  fs::create_directories(directory);
  for (const char* owned : owned_names) fs::remove(directory / owned);
  const fs::path work = directory / work_name;
  clear_work(work);
  fs::create_directories(work);
  for (const std::string& file : study.case_files) fs::copy_file(study.case_dir / file, work / file);
  write_atomically(work / "deck.in", study.deck);

  const auto fail = [&](const std::string& program, int status, const fs::path& out, const fs::path& err) {
    const std::string message = program + " " + status_text(status) + ": " + stop_message(out, err);
    write_atomically(directory / failure_name, message + "\n");
    return Outcome{Outcome::failed, message, ""};
  };

  // 2. The map of this realisation's seed, then the sweep on one thread.
  std::vector<std::string> maps_args = study.maps;
  maps_args.push_back("--seed");
  maps_args.push_back(std::to_string(realisation_seed(study, r)));
  // The von Karman correlation of the study's grid, computed once and kept
  // for the other realisations (the same values, bit for bit).
  const fs::path cache = study.output / maps_cache_name;
  fs::create_directories(cache);
  maps_args.insert(maps_args.end(), {"--cache", cache.string()});
  const int maps_status = run_process(tools.maps, maps_args, work, work / "deck.in", work / "maps.out",
                                      work / "maps.err");
  if (maps_status != 0) return fail("upscale_maps", maps_status, work / "maps.out", work / "maps.err");
  std::vector<std::string> sweep_args{"-j", "1"};
  sweep_args.insert(sweep_args.end(), {"--load", study.load});
  if (study.refine > 1) sweep_args.insert(sweep_args.end(), {"--refine", std::to_string(study.refine)});
  if (study.error_estimate) sweep_args.push_back("--error-estimate");
  if (!study.quantity.empty()) sweep_args.push_back("--tensor");
  if (!study.out_of_core.empty()) sweep_args.insert(sweep_args.end(), {"--out-of-core", study.out_of_core});
  // Over ranks: a step of the task's allocation under Slurm, else mpirun.
  std::filesystem::path program = tools.sweep;
  if (study.ranks > 1) {
    const bool in_slurm_job = std::getenv("SLURM_JOB_ID") != nullptr;
    std::vector<std::string> launch =
        in_slurm_job ? std::vector<std::string>{"--mpi=pmix", "-n", std::to_string(study.ranks), tools.sweep.string()}
                     : std::vector<std::string>{"-np", std::to_string(study.ranks), tools.sweep.string()};
    sweep_args.insert(sweep_args.begin(), launch.begin(), launch.end());
    program = in_slurm_job ? "srun" : "mpirun";
  }
  const int sweep_status = run_process(program, sweep_args, work, work / "deck.in", work / "sweep.out",
                                       work / "sweep.err", study.ranks > 1);
  if (sweep_status != 0) return fail("upscale_sweep", sweep_status, work / "sweep.out", work / "sweep.err");

  // 3. The files move up, the table last, then the manifest: only now is
  //    the realisation complete.
  for (const char* owned : owned_names) {
    if (owned != std::string(sweep_table_name) && fs::exists(work / owned)) fs::rename(work / owned, directory / owned);
  }
  fs::rename(work / sweep_table_name, directory / sweep_table_name);
  write_atomically(directory / manifest_name, manifest);
  clear_work(work);
  return {Outcome::done, "", clipping_note(directory, name)};
}

}  // namespace
