#include "common/stop.hpp"

#include <cstdio>
#include <string>

#include "common/units.hpp"

void stop_run(int code, std::string_view message) {
  write_line(stdout_unit, message);
  throw StopRun{code};
}

void stop_run(int code) { throw StopRun{code}; }

namespace {
[[noreturn]] void stop_with_report(int code, std::string_view message) {
  write_line(stdout_unit, message);
  std::fflush(stdout);
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  throw StopRun{code};
}
}  // namespace

void stop_input(std::string_view message) { stop_with_report(stop_input_error, message); }

void stop_input_parameter(std::string_view message) { stop_with_report(stop_bad_parameter, message); }

int finish_run(const StopRun& stop) {
  close_all_units();
  std::fprintf(stderr, "STOP %d\n", stop.code);
  std::fflush(stderr);
  return stop.code & 255;
}
