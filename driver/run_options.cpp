#include "driver/run_options.hpp"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include <string_view>

#include "common/stop.hpp"
#include "driver/refine.hpp"

namespace {

// The value of option `name` at argv[a] ("--name value" or "--name=value"),
// advancing a past it; empty when argv[a] is another argument.
bool option_value(int argc, const char* const* argv, int& a, std::string_view name, std::string& value,
                  const std::string& usage) {
  const std::string_view arg = argv[a];
  if (arg == name) {
    if (a + 1 >= argc) stop_input_parameter("option " + std::string(name) + " needs a value\n" + usage);
    value = argv[++a];
    return true;
  }
  if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=') {
    value = std::string(arg.substr(name.size() + 1));
    return true;
  }
  return false;
}

}  // namespace

bool read_test_option(int argc, const char* const* argv, int& a, TestOptions& options, const std::string& usage) {
  std::string value;
  if (option_value(argc, argv, a, "--load", value, usage)) {
    if (value == "split") {
      options.load = TopLoad::split;
    } else if (value == "piston") {
      options.load = TopLoad::piston;
    } else if (value == "periodic") {
      options.load = TopLoad::periodic;
    } else {
      stop_input_parameter("--load " + value + " is not admitted: the load is split, piston or periodic\n" + usage);
    }
    return true;
  }
  if (option_value(argc, argv, a, "--solver", value, usage)) {
    if (value == "builtin") {
      options.solver = SolverChoice::builtin;
    } else if (value == "mumps") {
      options.solver = SolverChoice::mumps;
    } else {
      stop_input_parameter("--solver " + value + " is not admitted: the solver is builtin or mumps\n" + usage);
    }
    return true;
  }
  if (option_value(argc, argv, a, "--refine", value, usage)) {
    options.refine = refine_factor(value.c_str(), usage.c_str());
    return true;
  }
  if (option_value(argc, argv, a, "--out-of-core", value, usage)) {
    // MUMPS writes its factor files there, one set a rank: a directory
    // each rank can write, best on its own local disk.
    std::error_code error;
    if (value.empty() || value.size() >= 200 || !std::filesystem::is_directory(value, error) ||
        access(value.c_str(), W_OK | X_OK) != 0) {
      stop_input_parameter("--out-of-core " + value + ": not a directory this process can write (at most 199 "
                           "characters)\n" + usage);
    }
    options.out_of_core = value;
    return true;
  }
  return false;
}

const char* load_name(TopLoad load) {
  switch (load) {
    case TopLoad::piston: return "piston";
    case TopLoad::periodic: return "periodic";
    default: return "split";
  }
}

HarmonicTest vertical_test(TopLoad load) {
  return load == TopLoad::periodic ? HarmonicTest::periodic_vertical : HarmonicTest::vertical;
}
