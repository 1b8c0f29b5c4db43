// Numbered output units, as the program's files are known by number.
//
// Unit 6 is standard output.  open_unit() connects a unit to a named file
// in the working directory (an existing file is overwritten from its start,
// a missing one created).  Writing to a unit that is not connected creates
// the file "fort.N", the default name of unit N: this is how the result
// tables of units 54 and 18 get their names.  Every unit is buffered and is
// flushed and closed by close_all_units(), which the end of every run calls.
//
// The table of units is an object: the program's main thread writes to the
// process's own table, and a thread that runs a pass of its own (a worker of
// the frequency sweep) binds a Units object of its own for its lifetime, so
// that two passes in two threads share no output state.  The routines reach
// the units of their thread through the functions below.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

constexpr int stdout_unit = 6;

// One table of units: the files connected to unit numbers 0..99, the
// outputs lost so far and the depth of OutputDiscarded.  Used only through
// the functions below, by the thread that binds it.
struct Units {
  static constexpr int count = 100;
  struct Slot {
    std::FILE* file = nullptr;
    std::string name;
  };
  std::array<Slot, count> slots;
  std::vector<std::string> lost;
  int discard_depth = 0;

  Units() = default;
  ~Units();  // closes what is still connected, without reporting
  Units(const Units&) = delete;
  Units& operator=(const Units&) = delete;
};

// While alive, the calling thread writes to `units` instead of the table it
// used before.
class BindUnits {
 public:
  explicit BindUnits(Units& units);
  ~BindUnits();
  BindUnits(const BindUnits&) = delete;
  BindUnits& operator=(const BindUnits&) = delete;

 private:
  Units* previous_;
};

void open_unit(int unit, const std::string& file_name);
// Connects a unit to a named file that one run at a time may write: the
// file is opened without truncating and locked (see run_lock.hpp); a run
// that finds it locked by another run of `program` stops with the
// input/output error and leaves it untouched.  truncate_unit() then empties
// it, once the run is sure to write it.
void open_unit_exclusive(int unit, const std::string& file_name, const std::string& program);
void truncate_unit(int unit);
void close_unit(int unit);
bool unit_is_open(int unit);
void flush_all_units();
void close_all_units();
// Every output whose data was lost (a write or a close that failed, as on a
// full disk or a closed standard output): the file's name and the reason,
// one entry per file; empty while everything has been written.  Closing a
// unit or all units detects it.
const std::vector<std::string>& lost_output();
// Flushes one unit now; false when its data could not be written (the loss
// is then noted as above).  A unit that is not connected has nothing to lose.
bool flush_unit(int unit);

// While an OutputDiscarded object lives, every unit drops what it is given:
// open_unit() and close_unit() leave the files and the table of units as
// they are (no file is created or truncated), a record costs one test, and
// standard output stays silent.  A program that runs the routines of the
// run many times (the frequency sweep) silences their echo and per-cell
// record files this way, so that they cost no time and overwrite nothing.
// Objects may nest; output resumes when the last one ends.
class OutputDiscarded {
 public:
  OutputDiscarded();
  ~OutputDiscarded();
  OutputDiscarded(const OutputDiscarded&) = delete;
  OutputDiscarded& operator=(const OutputDiscarded&) = delete;

 private:
  Units& units_;  // the table silenced, that of the thread at construction
};
bool output_discarded();

// Appends raw text to a unit (no newline added).
void write_text(int unit, std::string_view text);
// Appends one line: the text, then a newline.
void write_line(int unit, std::string_view text);
