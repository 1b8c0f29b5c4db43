#include "common/stop.hpp"

#include <cstdio>
#include <string>

#include "common/units.hpp"

void stop_run(int code, std::string_view message) {
  write_line(stdout_unit, message);
  throw StopRun{code, std::string(message)};
}

void stop_run(int code) { throw StopRun{code, {}}; }

namespace {
[[noreturn]] void stop_with_report(int code, std::string_view message) {
  write_line(stdout_unit, message);
  std::fflush(stdout);
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  throw StopRun{code, std::string(message)};
}
}  // namespace

void stop_input(std::string_view message) { stop_with_report(stop_input_error, message); }

void stop_input_parameter(std::string_view message) { stop_with_report(stop_bad_parameter, message); }

int finish_run(const StopRun& stop) {
  close_all_units();
  int code = stop.code;
  if (!lost_output().empty()) {
    // Output that never reached its file: a run that would end normally
    // has failed (an output error); any other stop keeps its own number.
    std::fprintf(stderr, "cannot write %s: output lost\n", lost_output().c_str());
    if (code == 40) code = stop_input_error;
  }
  std::fprintf(stderr, "STOP %d\n", code);
  std::fflush(stderr);
  return code & 255;
}
