#include "common/stop.hpp"

#include <csignal>
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
  if (!output_discarded()) {
    std::fflush(stdout);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  }
  throw StopRun{code, std::string(message), true};
}
}  // namespace

void stop_input(std::string_view message) { stop_with_report(stop_input_error, message); }

void stop_input_parameter(std::string_view message) { stop_with_report(stop_bad_parameter, message); }

void prepare_standard_output(char* buffer, std::size_t size) {
  std::setvbuf(stdout, buffer, _IOFBF, size);
  std::signal(SIGPIPE, SIG_IGN);
}

namespace {
// Closes every unit; true when some output never reached its file, which
// is then reported on the error stream.
bool close_and_report_lost_output() {
  close_all_units();
  if (lost_output().empty()) return false;
  for (const std::string& lost : lost_output()) std::fprintf(stderr, "cannot write %s: output lost\n", lost.c_str());
  return true;
}

int report_stop(int code) {
  std::fprintf(stderr, "STOP %d\n", code);
  std::fflush(stderr);
  return code & 255;
}
}  // namespace

int finish_run(const StopRun& stop) {
  // Output that never reached its file: a run that would end normally has
  // failed (an output error); any other stop keeps its own number.
  const bool lost = close_and_report_lost_output();
  return report_stop(lost && stop.code == 40 ? stop_input_error : stop.code);
}

int finish_out_of_memory(std::string_view program) {
  try {
    stop_input(std::string(program) + ": out of memory (the system refused an allocation of the run)");
  } catch (const StopRun& stop) {
    return finish_run(stop);
  }
}

int finish_normal_end() {
  if (close_and_report_lost_output()) return report_stop(stop_input_error);
  std::fflush(stderr);
  return 0;
}
