#include "driver/sweep.hpp"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/format.hpp"
#include "common/input.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/evaluation.hpp"
#include "driver/pass.hpp"
#include "driver/readata.hpp"
#include "driver/timer.hpp"
#include "fem/global_numbering.hpp"

namespace {

constexpr int table_unit = 60;
constexpr int column_width = 24;

// Writes the stop's own message, which the silenced routines could not
// write, and the place where it occurred, then lets the stop go on.
[[noreturn]] void report_and_rethrow(const StopRun& stop, const std::string& where) {
  if (!stop.message.empty()) {
    write_line(stdout_unit, stop.message);
    if (stop.on_error_stream) std::fprintf(stderr, "%s\n", stop.message.c_str());
  }
  if (!where.empty()) {
    write_line(stdout_unit, where);
    std::fprintf(stderr, "%s\n", where.c_str());
  }
  throw stop;
}

// The deck, the material map and the ice map, read and checked as the
// program reads and checks them, without its echo or its map files.
void read_sample(std::istream& parameters, RunStorage& run) {
  try {
    OutputDiscarded quiet;
    LineInput input(parameters, "standard input");
    readata(input, run.deck);
    if (run.deck.nfreq < 1) {
      stop_input_parameter("standard input, line " + std::to_string(run.deck.nfreq_line) +
                           ": nfreq = " + std::to_string(run.deck.nfreq) +
                           " is not admitted (the sweep needs at least one frequency)");
    }
    material_map_stage(run);
    read_binary_ice(run.deck, run.binary_ice);
  } catch (const StopRun& stop) {
    report_and_rethrow(stop, "");
  }
}

// What one frequency of the sweep gives.
struct SweepPoint {
  PassScalars pass;
  SampleResults results;
};

// The pass of the program at `frequency`, its output silenced.  The
// pattern of the system must be laid out, and for reuse_order_and_structure
// an earlier solve must have left its ordering and structure.
SweepPoint solve_at(RunStorage& run, double frequency, Factorisation factorisation) {
  OutputDiscarded quiet;
  SweepPoint point;
  PassScalars& pass = point.pass;
  pass.cycle = 1;  // each frequency is computed as the one pass of a run at that frequency
  pass.omega = angular_frequency(frequency);
  pass.freq_log = frequency;
  medium_stage(run, pass);
  pass.rob_med = average_density(run.deck, run.matnum, run.phiw, pass.phi1_frac, pass.phi3_frac);
  plane_wave_stage(run, pass);
  pass.n = unknown_count(run.deck.nx, run.deck.ny);
  assembly_values_stage(run, pass);
  solve_stage(run, pass, factorisation);
  point.results = evaluation_stage(run, pass);
  return point;
}

std::string right_justified(std::string_view text, int width) {
  std::string field(text.size() < static_cast<std::size_t>(width) ? width - text.size() : 0, ' ');
  field += text;
  return field;
}

void write_table_header() {
  static constexpr const char* labels[] = {"frequency(Hz)", "omega(rad/s)", "velocity(m/s)", "1000/Q",
                                           "Re(c33)(Pa)",   "Im(c33)(Pa)",  "Re(mstar)(Pa)", "Im(mstar)(Pa)",
                                           "vp1(m/s)",      "1000/qp1"};
  std::string line;
  for (const char* label : labels) line += right_justified(label, column_width);
  line[0] = '#';  // a comment line for plotting programs, columns aligned with the rows
  write_line(table_unit, line);
}

// One row: every value in the shortest form that reads back to the same
// double, as the program's echo writes it.  The row is on disk when this
// returns; a row that cannot be written stops the sweep, since every later
// row would be lost too.
void write_table_row(double frequency, const SweepPoint& point, const std::string& where) {
  const SampleResults& r = point.results;
  const double values[] = {frequency,  point.pass.omega, r.velocity_c33, r.thousand_over_q_c33,
                           r.c33.re,   r.c33.im,         r.mstar.re,     r.mstar.im,
                           point.pass.vp1, point.pass.thousand_over_qp1};
  std::string line;
  for (const double value : values) line += right_justified(format_real(value), column_width);
  write_line(table_unit, line);
  if (!flush_unit(table_unit)) {
    stop_input("cannot write " + lost_output().back() + ": the sweep stops, since no later row could be kept\n" +
               where);
  }
}

// The progress of the sweep on the error stream: one line rewritten in
// place on a terminal, one line per frequency otherwise.
class Progress {
 public:
  explicit Progress(std::int32_t total) : total_(total), terminal_(isatty(fileno(stderr)) != 0) {}

  // The frequency being computed, on a terminal only (elsewhere each
  // frequency gets the one line written when it is solved).
  void show(std::int32_t i, double frequency) const {
    if (terminal_) write(heading(i, frequency));
  }

  // The frequency's line again, with the backward error of its solution.
  void solved(std::int32_t i, double frequency, const PassScalars& pass) const {
    std::string text = heading(i, frequency) + ", backward error " + backward_error_figure(pass.backward_error);
    if (pass.backward_error > backward_error_threshold) text += " (inaccurate)";
    write(text);
  }

  void end() const {
    if (terminal_) std::fprintf(stderr, "\n");
  }

 private:
  std::string heading(std::int32_t i, double frequency) const {
    return " frequency " + std::to_string(i) + " of " + std::to_string(total_) + ": " + format_real(frequency) +
           " Hz";
  }

  void write(const std::string& text) const {
    if (terminal_) {
      std::fprintf(stderr, "\r%-80s", text.c_str());
    } else {
      std::fprintf(stderr, "%s\n", text.c_str());
    }
    std::fflush(stderr);
  }

  std::int32_t total_;
  bool terminal_;
};

}  // namespace

void upscale_sweep(std::istream& parameters) {
  RunStorage& run = run_storage();
  const Deck& deck = run.deck;
  timer();

  // One sweep at a time writes a table: its lock is taken before anything
  // else, and the table is emptied only once the sample has been read.
  const bool table_existed = std::filesystem::exists(sweep_table_name);
  open_unit_exclusive(table_unit, sweep_table_name, "upscale_sweep");
  try {
    read_sample(parameters, run);
  } catch (const StopRun&) {
    // A sweep refused for its deck or its maps leaves no table behind.
    close_unit(table_unit);
    if (!table_existed) std::remove(sweep_table_name);
    throw;
  }

  // The frequency-independent part of the system: numbering and pattern.
  PassScalars layout;
  global_numbering(deck.nx, deck.ny, run.xnod);
  assembly_pattern_stage(run, layout);

  record(stdout_unit, " frequency sweep of a", deck.nx, "x", deck.ny, "sample,", layout.n, "unknowns,", deck.nfreq,
         "frequencies from", deck.fmin, "to", sweep_frequency(deck, deck.nfreq), "Hz");
  record(stdout_unit, " ordering and symbolic factorisation once, numeric factorisation at every frequency");
  flush_all_units();

  truncate_unit(table_unit);
  write_table_header();
  const Progress progress(deck.nfreq);
  std::int32_t rows = 0, inaccurate = 0;
  for (std::int32_t i = 1; i <= deck.nfreq; ++i) {
    const double frequency = sweep_frequency(deck, i);
    progress.show(i, frequency);
    const Factorisation factorisation =
        i == 1 ? Factorisation::order_and_factor : Factorisation::reuse_order_and_structure;
    const std::string where = " stopped at frequency " + std::to_string(i) + " of " + std::to_string(deck.nfreq) +
                              ": f = " + format_real(frequency) + " Hz, omega = " +
                              format_real(angular_frequency(frequency)) + " rad/s";
    SweepPoint point;
    try {
      point = solve_at(run, frequency, factorisation);
    } catch (const StopRun& stop) {
      progress.end();
      report_and_rethrow(stop, where);
    }
    progress.solved(i, frequency, point.pass);
    if (point.pass.backward_error > backward_error_threshold) ++inaccurate;
    write_table_row(frequency, point, where);
    ++rows;
  }
  progress.end();
  close_unit(table_unit);

  record(stdout_unit, " table \"" + std::string(sweep_table_name) + "\":", rows, "rows");
  write_line(stdout_unit, " rows whose solution may be inaccurate (backward error above " +
                              format_real(backward_error_threshold) + "): " + std::to_string(inaccurate));
  write_line(stdout_unit, " CPU time (s) = " + format_f(timer(), 4, 2));
}

double sweep_frequency(const Deck& deck, std::int32_t i) {
  if (deck.nfreq == 1 || i == 1) return deck.fmin;
  if (i == deck.nfreq) return deck.fmax;
  const double exponent = std::log10(deck.fmin) + (std::log10(deck.fmax) - std::log10(deck.fmin)) *
                                                      static_cast<double>(i - 1) / static_cast<double>(deck.nfreq - 1);
  return std::pow(10.0, exponent);
}
