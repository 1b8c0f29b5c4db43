// The command-line option that chooses how the top of the sample is loaded:
//   --load split    each solid's top carries its own 1 Pa (the default)
//   --load piston   a rigid, impermeable piston carries 2 Pa on both solids
// ("--load=piston" is read the same way).
#pragma once

#include <string>

#include "fem/global_numbering.hpp"

// The words of the option in a usage message.
inline constexpr const char* load_usage = "[--load split|piston]";

// If argv[a] is the load option, reads it (advancing a past its value) into
// `load` and returns true; otherwise returns false and leaves both alone.
// A missing or unknown value stops with stop_bad_parameter and `usage`.
bool read_load_option(int argc, const char* const* argv, int& a, TopLoad& load, const std::string& usage);

// The option's value as written on the command line.
const char* load_name(TopLoad load);
