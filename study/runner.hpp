// Running a study: its realisations on this machine or as a Slurm job
// array, resumable, with the summary merged at the end.
//
// OUTPUT/rNNNN holds realisation r: its deck, its map, "frequency_sweep.dat"
// and the messages of upscale_maps and upscale_sweep.  Each realisation
// runs in the working folder OUTPUT/rNNNN/run; only when the sweep ended
// with 0 are its files moved up, the table last, and then a small manifest
// (the deck, the maps options, the seed, the grid, checksums of the case's
// files and of the two programs) is written under a temporary name and
// moved into place.  A realisation is complete when its table and its
// manifest are there (for --merge and --status, a manifest of the study's
// current inputs); a rerun skips it when the manifest equals the one the
// current inputs give.  A realisation killed at any point has no
// manifest, so it is never taken for complete.  A realisation that fails
// leaves OUTPUT/rNNNN/failure: the program, its status and its message.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "study/study_file.hpp"

// Exit statuses of upscale_study beside 0 (the stops of the programs'
// own conventions, stop_input_error = 2 and stop_bad_parameter = 3).
constexpr int stop_realisations_failed = 5;   // some realisations failed
constexpr int stop_incomplete_study = 6;      // --merge: realisations missing
constexpr int stop_slurm_failed = 7;          // sbatch missing, refused or its wait failed

inline constexpr const char* manifest_name = "manifest";
inline constexpr const char* failure_name = "failure";
inline constexpr const char* plan_name = "study_plan";

// Where the two programs a realisation runs are found.
struct Tools {
  std::filesystem::path maps;   // upscale_maps
  std::filesystem::path sweep;  // upscale_sweep
  std::filesystem::path study;  // upscale_study itself (for the Slurm jobs)
};
// The programs in `directory`, or beside the running executable when it
// is empty.
Tools find_tools(const std::filesystem::path& directory);

// What became of one realisation.
struct Outcome {
  enum Kind { skipped, done, failed } kind = done;
  std::string message;  // for a failure: the program, its status and its message
};

// Runs realisation r (1-based) unless it is complete and unchanged.
Outcome run_realisation(const Study& study, const Tools& tools, std::int32_t r);

// Writes OUTPUT/study_plan: the study file, the number of realisations and
// the study's signature (the checksum of the inputs its realisations
// share), which --merge and --status read; `jobs` names the Slurm jobs, if
// any.  A realisation whose manifest carries another signature was computed
// from other inputs and does not count.
void write_plan(const Study& study, const Tools& tools, const std::string& jobs);

// Runs every realisation on this machine, `jobs` at a time, showing the
// progress on the error stream, then merges.  Stops with
// stop_realisations_failed naming the failed realisations.
void run_local(const Study& study, const Tools& tools, int jobs);

// Submits the job array (at most `jobs` tasks at a time; 0: no limit) and
// the merge job, prints their ids, and with `wait` waits for the merge job
// and reports as run_local does.
void run_slurm(const Study& study, const Tools& tools, int jobs, bool wait);

// Recomputes OUTPUT/study_summary.dat from the complete realisations.
// Without allow_missing an incomplete set is refused (stop_incomplete_study,
// or stop_realisations_failed when some failed), listing what is missing
// and each failure's message.
void merge_study(const std::filesystem::path& output, bool allow_missing);

// Writes the progress of the study in OUTPUT on standard output.
void show_status(const std::filesystem::path& output);
