// What a study runs and how it ends: the two programs of a realisation,
// the exit statuses of upscale_study and the names of its files.
#pragma once

#include <filesystem>

// Exit statuses of upscale_study beside 0 and the programs' own
// stop_input_error = 2 and stop_bad_parameter = 3.  None of them means
// anything else in upscale, upscale_sweep or upscale_maps (status 5 there
// is a non-finite result).
constexpr int stop_incomplete_study = 6;      // --merge: realisations missing
constexpr int stop_slurm_failed = 7;          // sbatch missing, refused or its wait failed
constexpr int stop_realisations_failed = 8;   // some realisations failed

inline constexpr const char* manifest_name = "manifest";
inline constexpr const char* failure_name = "failure";
inline constexpr const char* plan_name = "study_plan";
inline constexpr const char* work_name = "run";  // a realisation's working folder

// Where the programs a study runs are found.
struct Tools {
  std::filesystem::path maps;   // upscale_maps
  std::filesystem::path sweep;  // upscale_sweep
  std::filesystem::path study;  // upscale_study itself (for the Slurm jobs)
};

// The programs in `directory`, or beside the running executable when it
// is empty; a missing one stops with stop_input_error.
Tools find_tools(const std::filesystem::path& directory);
