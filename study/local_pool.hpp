// The local engine: a study's realisations on this machine, a few at a
// time, each on a thread of its own that starts the programs.
#pragma once

#include "study/study_file.hpp"
#include "study/tools.hpp"

// Writes the plan, runs every realisation, `jobs` at a time, showing the
// progress on the error stream, then ends as finish_study ends.  When the
// system refuses a thread, the realisations run on the threads it gave,
// with a warning; when it gives none, the study stops with
// stop_input_error.  The caller holds OUTPUT's lock.
void run_local(const Study& study, const Tools& tools, int jobs);
