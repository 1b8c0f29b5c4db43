// The command line of upscale_sweep (sweep/sweep.hpp): its options, and the
// number of processors that sets the default number of jobs.
#include "sweep/sweep.hpp"

#include <sched.h>
#include <unistd.h>

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "common/format.hpp"
#include "common/stop.hpp"
#include "driver/run_options.hpp"

std::int32_t available_processors() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<std::int32_t>(online) : 1;
}

SweepOptions sweep_options(int argc, const char* const* argv) {
  const std::string usage = std::string("usage: upscale_sweep [-j N] ") + test_options_usage +
                            " [--error-estimate] [--tensor [--angle-step D]]" +
                            " < deck (N: frequencies computed at once, 1 to " + std::to_string(max_sweep_jobs) +
                            "; default: the processors this process may use)";
  SweepOptions options;
  options.test.load = TopLoad::periodic;  // the rock, not the test rig
  std::int32_t jobs = 0;
  for (int a = 1; a < argc; ++a) {
    std::string_view arg = argv[a];
    std::string value;
    if (read_test_option(argc, argv, a, options.test, usage)) continue;
    if (arg == "--error-estimate") {
      options.error_estimate = true;
      continue;
    }
    if (arg == "--tensor") {
      options.tensor = true;
      continue;
    }
    if (arg == "--angle-step" || arg.substr(0, 13) == "--angle-step=") {
      if (arg == "--angle-step") {
        if (a + 1 >= argc) stop_input_parameter("option --angle-step needs a number of degrees\n" + usage);
        value = argv[++a];
      } else {
        value = std::string(arg.substr(13));
      }
      std::size_t used = 0;
      double step = 0;
      try {
        step = std::stod(value, &used);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used == 0 || used != value.size() || !(step >= min_angle_step && step <= 90.0)) {
        stop_input_parameter("--angle-step " + value + " is not admitted: the step of the angles is a number of degrees from " +
                             format_real(min_angle_step) + " to 90\n" + usage);
      }
      options.angle_step = step;
      continue;
    }
    if (arg == "-j" || arg == "--jobs") {
      if (a + 1 >= argc) stop_input_parameter("option " + std::string(arg) + " needs a number of jobs\n" + usage);
      value = argv[++a];
    } else if (arg.substr(0, 2) == "-j") {
      value = std::string(arg.substr(2));
    } else {
      stop_input_parameter("unknown argument \"" + std::string(arg) + "\"\n" + usage);
    }
    std::size_t used = 0;
    long parsed = 0;
    try {
      parsed = std::stol(value, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used == 0 || used != value.size() || parsed < 1 || parsed > max_sweep_jobs) {
      stop_input_parameter("-j " + value + " is not admitted: the number of jobs must be a whole number from 1 to " +
                           std::to_string(max_sweep_jobs) + "\n" + usage);
    }
    jobs = static_cast<std::int32_t>(parsed);
  }
  if (options.angle_step != 15.0 && !options.tensor) {
    stop_input_parameter("--angle-step is the step of the tensor's angle table: it needs --tensor\n" + usage);
  }
  if (jobs == 0) jobs = available_processors() < max_sweep_jobs ? available_processors() : max_sweep_jobs;
  options.jobs = jobs;
  return options;
}
