// The command-line options of the test that both programs share:
//   --load split    each solid's top carries its own 1 Pa (the default)
//   --load piston   a rigid, impermeable piston carries 2 Pa on both solids
//   --load periodic the sample as one period of an infinite medium under
//                   an imposed vertical strain: no side, no loaded face
//   --refine K      every cell of the deck split into K x K cells (default 1)
//   --solver builtin|mumps   the sparse solver (default: the built-in one
//                   up to 60 x 60 cells, the scalable one beyond)
//   --out-of-core DIR  the scalable solver's factors in files under DIR
//                   (a directory the process can write), not in memory
// ("--load=piston" and "--refine=2" are read the same way).
#pragma once

#include <cstdint>
#include <string>

#include "driver/scalable_stage.hpp"
#include "fem/global_numbering.hpp"

struct TestOptions {
  TopLoad load = TopLoad::split;
  std::int32_t refine = 1;
  SolverChoice solver = SolverChoice::automatic;
  std::string out_of_core;  // "": the factors in core
};

// The words of the options in a usage message.
inline constexpr const char* test_options_usage = "[--load split|piston|periodic] [--refine K] [--solver builtin|mumps] [--out-of-core DIR]";

// If argv[a] is one of the options, reads it (advancing a past its value)
// into `options` and returns true; otherwise returns false and leaves both
// alone.  A missing or unknown value stops with stop_bad_parameter and
// `usage`.
bool read_test_option(int argc, const char* const* argv, int& a, TestOptions& options, const std::string& usage);

// The load's value as written on the command line.
const char* load_name(TopLoad load);

// The vertical test of a load: the periodic one under periodic sides.
HarmonicTest vertical_test(TopLoad load);
