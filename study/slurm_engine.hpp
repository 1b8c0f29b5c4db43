// The Slurm engine: a study's realisations as a job array, and a merge job
// after it.
//
// At submission the study file is frozen into OUTPUT/slurm/study.txt (every
// key, with case and output as absolute paths): the tasks read that copy,
// so that an edit of the study file after submission changes nothing of
// the running study.  A task refuses to run when OUTPUT's plan carries
// another signature than its own (the case, the programs or OUTPUT's study
// changed since), touching nothing.  Every file the jobs write lies inside
// OUTPUT; a "%" in OUTPUT's path is doubled in the file patterns of sbatch,
// so that Slurm writes it as one.
#pragma once

#include <cstdint>

#include "study/output_claim.hpp"
#include "study/study_file.hpp"
#include "study/tools.hpp"

// The frozen study file of OUTPUT's Slurm jobs.
inline constexpr const char* frozen_study_name = "study.txt";

// Refuses with stop_bad_parameter, before anything is written, a study
// whose file name holds a newline, or whose case or OUTPUT path holds a
// '#' or a newline: the frozen study file and Slurm's job names could not
// carry them.
void check_slurm_paths(const Study& study);

// Writes the plan, submits the job array (at most `jobs` tasks at a time;
// 0: no limit) and the merge job, prints their ids, lets `lock` go (the
// tasks take their own), and with `wait` waits for the merge job and
// reports as run_local does.
void run_slurm(const Study& study, const Tools& tools, int jobs, bool wait, DirectoryLock& lock);

// One task of the array: realisation r of the frozen study, under a shared
// lock of OUTPUT and an exclusive lock of the realisation's directory.
// `submitted` is the signature of the study the task was submitted for
// (empty: not checked): a frozen study or a plan of another signature is
// refused with stop_input_error, touching nothing.  Stops with
// stop_realisations_failed when the realisation fails.
void run_task(const Study& study, const Tools& tools, std::int32_t r, const std::string& submitted);
