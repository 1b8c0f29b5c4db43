// The road of one run: setup, the single pass of the harmonic
// compressibility test, the report.  It never returns normally: it ends
// with a numbered stop (40 on success), which the main routine turns into
// the exit status.
#pragma once

#include <istream>

#include "driver/run_options.hpp"

// `options` choose the top load and the refinement of the test (--load,
// --refine); the deck does not.
[[noreturn]] void upscale_run(std::istream& parameters, const TestOptions& options = TestOptions());
