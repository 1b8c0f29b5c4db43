// The end of a study: its closing lines and summary (--merge), and its
// progress (--status).
#pragma once

#include <filesystem>
#include <vector>

#include "study/realisation.hpp"
#include "study/study_file.hpp"

// The closing lines of a study whose realisations have all been run (by
// this process, or `by_jobs` of Slurm): the failures and the heavily
// clipped maps named, then the summary (merge_study).  Stops with
// stop_realisations_failed naming the failed realisations.
void finish_study(const Study& study, const std::vector<Outcome>& outcomes, bool by_jobs);

// Recomputes OUTPUT/study_summary.dat from the complete realisations.
// Without allow_missing an incomplete set is refused (stop_incomplete_study,
// or stop_realisations_failed when some failed), listing what is missing
// and each failure's message.  The caller holds OUTPUT's lock.
void merge_study(const std::filesystem::path& output, bool allow_missing);

// Writes the progress of the study in OUTPUT on standard output.
void show_status(const std::filesystem::path& output);
