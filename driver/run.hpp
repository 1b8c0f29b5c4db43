// The road of one run: setup, the single pass of the harmonic
// compressibility test, the report.  It never returns normally: it ends
// with a numbered stop (40 on success), which the main routine turns into
// the exit status.
#pragma once

#include <istream>

#include "fem/global_numbering.hpp"

// `load` chooses the top load of the test (--load); the deck does not.
[[noreturn]] void upscale_run(std::istream& parameters, TopLoad load = TopLoad::split);
