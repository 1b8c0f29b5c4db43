// The one way the run ends: a numbered stop.
//
// stop_run() throws StopRun; the main routine catches it, reports "STOP n"
// on the error stream, flushes and closes every result file and exits with
// the low eight bits of n.  Tests call the routines directly and catch
// StopRun, so a stop never ends the test process.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A stop in flight: its number, and its message as written to standard
// output (empty when the stop has none of its own), so that a caller that
// silenced the echo can still report it.
struct StopRun {
  int code;
  std::string message;
  bool on_error_stream = false;  // the message belongs on the error stream too
};

// Stop numbers chosen by this program for conditions of its own; none
// collides in its low eight bits with a stop number of the physics.
constexpr int stop_input_error = 2;      // unreadable, short or missing input
constexpr int stop_bad_parameter = 3;    // a deck value outside what the storage admits
constexpr int stop_nonfinite_coefficient = 4;  // a coefficient map holds inf or NaN
constexpr int stop_nonfinite_result = 5;  // the solution or the modulus c33 holds inf or NaN

// Write `message` to standard output (unit 6), followed by a newline, then
// stop.  A message of several records holds them separated by newlines.
[[noreturn]] void stop_run(int code, std::string_view message);
// Stop without a message of its own (the caller has written it).
[[noreturn]] void stop_run(int code);
// For faults of the input: the message goes to standard output and to the
// error stream, then the run stops with stop_input_error.
[[noreturn]] void stop_input(std::string_view message);
// The same for a deck value outside what the program admits; stops with
// stop_bad_parameter.
[[noreturn]] void stop_input_parameter(std::string_view message);

// Standard output fully buffered in `buffer`, and a reader of standard
// output that goes away (a closed pipe) turned into lost output: writes to
// it fail, the run goes on writing its files, and the end reports the loss
// and fails with stop_input_error, instead of the process dying of SIGPIPE
// with its result files empty.
void prepare_standard_output(char* buffer, std::size_t size);

// What the main routine does with a caught stop: closes all units, writes
// "STOP n" to the error stream and returns the exit status (n & 255).  When
// some output was lost (lost_output()), it says so first, and a normal end
// (40) becomes stop_input_error.
int finish_run(const StopRun& stop);
// What the main routine does with an allocation the system refused outside
// every guarded place (std::bad_alloc): the stop stop_input_error, with a
// message saying that `program` ran out of memory.
int finish_out_of_memory(std::string_view program);
// The end of a program whose normal end is no stop: closes all units and
// returns 0, or, when some output was lost, says so and ends as a stop
// with stop_input_error.
int finish_normal_end();
