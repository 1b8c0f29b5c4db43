#include "common/stop.hpp"

#include <cstdio>
#include <string>

#include "common/units.hpp"

void stop_run(int code, std::string_view message) {
  write_line(stdout_unit, message);
  throw StopRun{code};
}

void stop_run(int code) { throw StopRun{code}; }

void stop_input(std::string_view message) {
  write_line(stdout_unit, message);
  std::fflush(stdout);
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  throw StopRun{stop_input_error};
}

int finish_run(const StopRun& stop) {
  close_all_units();
  std::fprintf(stderr, "STOP %d\n", stop.code);
  std::fflush(stderr);
  return stop.code & 255;
}
