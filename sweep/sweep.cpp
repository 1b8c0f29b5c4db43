// The sweep's set-up and its recipe, upscale_sweep (sweep/sweep.hpp): the
// sample read (and read again at h/2 for the error estimate), the structure
// of its systems, the tensor's tests and the exact reference's limits laid
// out once, the heading, then the rows in grid order, the tables named and
// the summary.  One frequency is sweep/one_frequency.cpp's, the rows of the
// tables sweep/table_writers.cpp's, the jobs sweep/sweep_jobs.cpp's,
// the progress line sweep/progress.cpp's and the command line
// sweep/sweep_options.cpp's.
#include "sweep/sweep.hpp"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "common/format.hpp"
#include "common/input.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/evaluation.hpp"
#include "driver/pass.hpp"
#include "driver/refine.hpp"
#include "driver/solver_ranks.hpp"
#include "driver/run_options.hpp"
#include "driver/map_use.hpp"
#include "driver/readata.hpp"
#include "sweep/one_frequency.hpp"
#include "sweep/progress.hpp"
#include "sweep/sweep_reference.hpp"
#include "sweep/sweep_table.hpp"
#include "sweep/sweep_jobs.hpp"
#include "sweep/table_writers.hpp"
#include "sweep/tensor_pass.hpp"
#include "sweep/tensor_tables.hpp"
#include "driver/timer.hpp"
#include "exact/layered_exact.hpp"
#include "exact/periodic_stack.hpp"

namespace {

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

// The deck, the material map and the per-cell maps, read and checked as
// the program reads and checks them, without its echo or its map files.
// The per-cell maps are read once per sweep: a sample refined further
// (`coarser` not null) takes the maps of `coarser` refined.
void read_sample(std::istream& parameters, RunStorage& run, std::int32_t refine, SolverChoice solver,
                 const RunStorage* coarser = nullptr) {
  try {
    OutputDiscarded quiet;
    LineInput input(parameters, "standard input");
    readata(input, run.deck);
    refine_deck(run.deck, refine);
    size_for_mesh(run, 1, uses_scalable_solver(run.deck, solver));
    if (run.deck.nfreq < 1) {
      stop_input_parameter("standard input, line " + std::to_string(run.deck.nfreq_line) +
                           ": nfreq = " + std::to_string(run.deck.nfreq) +
                           " is not admitted (the sweep needs at least one frequency)");
    }
    if (run.deck.nfreq > max_sweep_frequencies) {
      stop_input_parameter("standard input, line " + std::to_string(run.deck.nfreq_line) +
                           ": nfreq = " + std::to_string(run.deck.nfreq) + " is not admitted (a sweep computes at most " +
                           std::to_string(max_sweep_frequencies) + " frequencies)");
    }
    material_map_stage(run);
    if (coarser == nullptr) {
      read_binary_ice(run);
      read_patchy_map(run);
    } else {
      refine_cell_maps(*coarser, run.deck.refine / coarser->deck.refine, run);
    }
  } catch (const StopRun& stop) {
    report_and_rethrow(stop, "");
  }
}

// The whole deck from `parameters`, to be read more than once.  A deck is
// a few dozen lines; more than max_deck_bytes is refused.
std::string deck_text(std::istream& parameters) {
  constexpr std::size_t max_deck_bytes = std::size_t{1} << 20;
  std::string text;
  char buffer[4096];
  while (parameters.read(buffer, sizeof buffer) || parameters.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(parameters.gcount()));
    if (text.size() > max_deck_bytes) {
      stop_input("standard input: the deck exceeds " + std::to_string(max_deck_bytes) +
                 " bytes (a deck is a few dozen lines)");
    }
  }
  return text;
}

// Everything one sample of the sweep owns: the pass objects (the sample,
// at h/2 with the error estimate, the tensor's tests of both) and the
// scalable solvers of those that use it.  It stays where it was made: the
// workers and the solvers point into it.
struct SweepSample {
  RunStoragePtr storage;
  RunStoragePtr half_storage;
  RunStoragePtr tensor_storage[6];  // the tensor's vertical, horizontal and shear tests, at h and h/2
  std::optional<SharedSolver> shared, shared_half, tensor_solvers[6];
  PassPair passes;
  PassScalars layout;  // the sample's sizes, from its structure
};

// The exact reference of a layered sample, with the relaxed limit of the
// coefficients at fmin and the unrelaxed one of those at fmax.
struct SweepReference {
  std::vector<ExactLayer> layers;
  bool layered = false;
  LayeredLimits low, high;
};

// The findings of row_flags that the summary counts, in its order.
constexpr const char* flag_words[] = {"rig",           "unresolved",      "rounding",
                                      "not_dissipative", "ill_conditioned", "exact_outside_limits"};

// What the rows of a sweep counted, for its summary.
struct RowCounts {
  std::int32_t rows = 0, inaccurate = 0;
  std::int32_t flagged[std::size(flag_words)] = {};
  // Closed sides: the rows where c33 or mstar has Im < 0.
  bool closed = false;
  std::int32_t c33_active = 0, mstar_active = 0;
};

// A sweep that ends before its rows leaves no table behind, unless an
// earlier sweep's growing table was there.
void abandon_table(bool table_existed) {
  close_unit(table_unit);
  if (!table_existed) std::remove(sweep_table::partial_name);
}

// The deck, read once, or twice with the error estimate: the sample, and
// the same sample at h/2 (refined twice as much), each in a pass object.
void read_samples(std::istream& parameters, const SweepOptions& options, bool table_existed, SweepSample& sample) {
  try {
    sample.storage = make_run_storage();
  } catch (const std::bad_alloc&) {
    abandon_table(table_existed);
    stop_input("cannot allocate the storage of a pass (its 60 x 60 sizes, about 200 MB of address space): the "
               "sweep needs it before its first frequency");
  }
  RunStorage& first = *sample.storage;
  first.load = options.test.load;
  first.test = vertical_test(first.load);
  sample.passes.sample = &first;
  try {
    if (!options.error_estimate) {
      read_sample(parameters, first, options.test.refine, options.test.solver);
    } else {
      const std::string text = deck_text(parameters);
      std::istringstream once(text), twice(text);
      read_sample(once, first, options.test.refine, options.test.solver);
      try {
        sample.half_storage = make_run_storage();
      } catch (const std::bad_alloc&) {
        stop_input("cannot allocate the storage of the sample at h/2 for the error estimate");
      }
      sample.half_storage->load = first.load;
      sample.half_storage->test = first.test;
      read_sample(twice, *sample.half_storage, 2 * options.test.refine, options.test.solver, &first);
      sample.passes.half = sample.half_storage.get();
    }
  } catch (const StopRun&) {
    // A sweep refused for its deck or its maps leaves no table behind.
    abandon_table(table_existed);
    throw;
  }
  warn_unused_maps("upscale_sweep", first.deck, first.matnum, std::filesystem::exists(patchy_map_name));
}

// The scalable solver of a sample that uses it: one analysed instance,
// which threads share (scalable/ serialises every call into MUMPS) and
// each job process holds a copy of.
void give_solver(RunStorage& run, const TestOptions& test, std::optional<SharedSolver>& solver) {
  if (!uses_scalable_solver(run.deck, test.solver)) return;
  solver.emplace(scalable_ordering(static_cast<std::int32_t>(mesh_unknowns(run.deck, run.load))), test.out_of_core);
  run.shared = &*solver;
}

// The tensor's other tests on one sample (slot 0: the sample, 3: at h/2),
// each with the structure of its own numbering; the vertical piston test
// is the sample's own when the sweep runs under the piston.  Under
// periodic sides the three tests are the periodic strains, the vertical
// one the sweep's own.  Each test on the scalable solver has an instance
// of its own (its own pattern), under scalable/'s one lock.
TensorPasses lay_out_tests(SweepSample& sample, const RunStorage& run, std::int32_t n, int slot) {
  auto lay_out = [&](HarmonicTest test, int t) {
    try {
      sample.tensor_storage[t] = make_run_storage();
    } catch (const std::bad_alloc&) {
      stop_input("cannot allocate the storage of a test of the effective stiffness");
    }
    std::optional<SharedSolver>& solver = sample.tensor_solvers[t];
    if (run.shared != nullptr) solver.emplace(scalable_ordering(n), run.shared->out_of_core);
    other_test_structure(run, test, *sample.tensor_storage[t], solver ? &*solver : nullptr);
    return sample.tensor_storage[t].get();
  };
  const TopLoad load = sample.passes.sample->load;
  const bool periodic = load == TopLoad::periodic;
  TensorPasses tests;
  if (load == TopLoad::split) tests.vertical = lay_out(HarmonicTest::vertical, slot);
  tests.horizontal = lay_out(periodic ? HarmonicTest::periodic_horizontal : HarmonicTest::horizontal, slot + 1);
  tests.shear = lay_out(periodic ? HarmonicTest::periodic_shear : HarmonicTest::shear, slot + 2);
  return tests;
}

// The exact reference at both ends of the grid.  A medium that stops at
// one end of the grid stops the sweep there, in its row's turn; here it
// only goes without its limit.
void reference_limits(RunStorage& first, SweepReference& reference) {
  const Deck& deck = first.deck;
  for (const std::int32_t end : {deck.nfreq, std::int32_t{1}}) {
    PassScalars at_end;
    at_end.omega = angular_frequency(sweep_frequency(deck, end));
    try {
      medium_stage(first, at_end);
    } catch (const StopRun&) {
      continue;
    }
    reference.layered = row_uniform_layers(deck.nx, deck.ny, deck.h, first.coef, reference.layers);
    if (reference.layered) {
      (end == 1 ? reference.low : reference.high) =
          first.load == TopLoad::periodic ? exact_periodic_limits(reference.layers)
                                          : exact_layered_limits(reference.layers, first.load == TopLoad::piston);
    }
  }
}

// The frequency-independent structure of every system of the sweep
// (numbering, pattern, ordering and symbolic factorisation, once), the
// tensor's tests, and the exact reference; output silenced.
void lay_out_sweep(const SweepOptions& options, SweepSample& sample, SweepReference& reference) {
  PassPair& passes = sample.passes;
  RunStorage& first = *passes.sample;
  try {
    const OutputDiscarded quiet;
    structure_stage(first, sample.layout);
    if (passes.half != nullptr) {
      PassScalars half_layout;
      structure_stage(*passes.half, half_layout);
    }
    if (options.tensor) {
      passes.tensor = lay_out_tests(sample, first, sample.layout.n, 0);
      if (passes.half != nullptr) {
        passes.half_tensor = lay_out_tests(
            sample, *passes.half, static_cast<std::int32_t>(mesh_unknowns(passes.half->deck, first.load)), 3);
      }
    }
    reference_limits(first, reference);
  } catch (const StopRun& stop) {
    report_and_rethrow(stop, "");
  }
}

// The heading's lines on the exact reference: the stack and the limits of
// Mw, with their velocities in the sample's average density.
void write_reference_heading(const RunStorage& first, const SweepReference& reference) {
  if (!reference.layered) {
    write_line(stdout_unit, " some row of cells is not uniform: no exact reference");
    std::remove(sweep_table::limits_name);
    return;
  }
  const std::size_t layers = reference.layers.size();
  record(stdout_unit, " every row of cells is uniform: a stack of", static_cast<std::int32_t>(layers),
         layers == 1 ? "layer," : "layers,", "with the exact one-dimensional solution in the table");
  const double rob_med = average_density(first.deck, first.matnum, first.phiw);
  auto limit = [&](const char* label, bool exists, double modulus) {
    if (!exists) {
      write_line(stdout_unit, std::string(label) + " no closed form for this sample");
      return;
    }
    record(stdout_unit, label, modulus, "Pa, velocity", phase_velocity(dcomplex(modulus, 0.0), rob_med), "m/s");
  };
  limit(" relaxed limit of Mw (omega -> 0, coefficients at fmin):     ", reference.low.relaxed_exists,
        reference.low.relaxed);
  limit(" unrelaxed limit of Mw (omega -> infinity, coefficients at fmax):", reference.high.unrelaxed_exists,
        reference.high.unrelaxed);
  write_limits_table(reference.low, reference.high, rob_med);
}


// The sweep's heading on standard output: the grid, the solver, the mesh,
// the test, the tensor's tables and the exact reference's limits.
void write_heading(const SweepOptions& options, const SweepSample& sample, const SweepReference& reference,
                   std::int32_t workers) {
  const PassPair& passes = sample.passes;
  const RunStorage& first = *passes.sample;
  const Deck& deck = first.deck;
  const std::int32_t n = sample.layout.n;
  record(stdout_unit, " frequency sweep of a", deck.nx, "x", deck.ny, "sample,", n, "unknowns,", deck.nfreq,
         "frequencies from", deck.fmin, "to", sweep_frequency(deck, deck.nfreq), "Hz,", workers,
         workers == 1 ? "job" : "jobs");
  record(stdout_unit, " ordering and symbolic factorisation once, numeric factorisation at every frequency");
  if (first.shared != nullptr) {
    const int ranks = solver_ranks();
    write_line(stdout_unit, std::string(" solver: MUMPS (complex symmetric L D L^T), ") +
                                (ranks > 1 ? "on " + std::to_string(ranks) + " ranks, " : std::string()) +
                                (scalable_ordering(n) == scalable::Ordering::given ? "geometric nested dissection"
                                                                                   : "approximate minimum degree") +
                                ", factors about " + std::to_string(first.shared->solver.memory().estimated_mb) +
                                " MB");
  }
  if (deck.refine > 1) {
    record(stdout_unit, " every cell of the deck split into", deck.refine, "x", deck.refine, "cells: h =", deck.h,
           "m");
  }
  if (passes.half != nullptr) {
    record(stdout_unit, " error estimate: the same sample at h/2,", passes.half->deck.nx, "x", passes.half->deck.ny,
           "cells, at every frequency");
  }
  if (first.load == TopLoad::periodic) {
    write_line(stdout_unit, " test: periodic (the sample as one period of an infinite medium under a unit vertical "
                            "strain, no wall and no loaded face): Mw is the medium's vertical P-wave modulus c33");
  } else {
    write_line(stdout_unit, std::string(" top load: ") + load_name(first.load) +
                                (first.load == TopLoad::piston ? " (a rigid, impermeable piston, 2 Pa on both solids)"
                                                               : " (1 Pa on the top of each solid)"));
  }
  if (options.tensor && first.load == TopLoad::periodic) {
    write_line(stdout_unit, " effective stiffness: the periodic sample under unit strains e_zz (the sweep's own), "
                            "e_xx and gamma_xz, qP and qSV every " + format_real(options.angle_step) +
                                " degrees from 0 to 180, in \"" + tensor_table::stiffness_name + "\" and \"" +
                                tensor_table::angle_name + "\"");
  } else if (options.tensor) {
    write_line(stdout_unit, " effective stiffness: the vertical, horizontal and shear tests under rigid plates" +
                                std::string(passes.tensor.vertical == nullptr ? " (the vertical one the sweep's own)" : "") +
                                ", qP and qSV every " + format_real(options.angle_step) + " degrees, in \"" +
                                tensor_table::stiffness_name + "\" and \"" + tensor_table::angle_name + "\"");
  }
  write_reference_heading(first, reference);
}

// The rows begin: the tables of an earlier sweep, with or without the
// tensor, no longer describe what is in this directory (a table left by a
// tensor sweep that stopped, too; this sweep holds the directory's sweep
// lock).  The tensor's two tables grow under names of their own beside it.
void begin_tables(const SweepOptions& options, const SweepSample& sample, bool layered) {
  const bool periodic = sample.passes.sample->load == TopLoad::periodic;
  const bool refined = sample.passes.half != nullptr;
  std::remove(sweep_table::file_name);
  std::remove(tensor_table::stiffness_name);
  std::remove(tensor_table::angle_name);
  if (!options.tensor) {
    std::remove(tensor_table::stiffness_partial_name);
    std::remove(tensor_table::angle_partial_name);
  }
  truncate_unit(table_unit);
  write_table_header(layered, refined);
  if (options.tensor) {
    open_unit(stiffness_unit, tensor_table::stiffness_partial_name);
    open_unit(angle_unit, tensor_table::angle_partial_name);
    write_tensor_headers(periodic, layered, refined);
  }
}

// The rows in grid order, as the jobs hand them back: progress, the
// table's row, its flags counted, the tensor's rows.  The first stop met
// in grid order ends the sweep, the rows before it kept.
RowCounts write_rows(const SweepOptions& options, const PassPair& passes, std::int32_t workers, JobKind kind) {
  const Deck& deck = passes.sample->deck;
  const bool periodic = passes.sample->load == TopLoad::periodic;
  const Progress progress(deck.nfreq);
  RowCounts counts;
  counts.closed = !periodic;
  {
    const std::unique_ptr<SweepJobs> jobs = start_jobs(passes, workers, kind);
    for (std::int32_t i = 1; i <= deck.nfreq; ++i) {
      const double frequency = sweep_frequency(deck, i);
      const std::string where = " stopped at frequency " + std::to_string(i) + " of " +
                                std::to_string(deck.nfreq) + ": f = " + format_real(frequency) +
                                " Hz, omega = " + format_real(angular_frequency(frequency)) + " rad/s";
      const SweepPoint* point = nullptr;
      try {
        point = &jobs->result(i);
      } catch (const StopRun& stop) {
        progress.end();
        report_and_rethrow(stop, where + "; the rows before it are in " + sweep_table::partial_name);
      }
      progress.row_done(i, frequency, *point);
      if (point->pass.backward_error > backward_error_threshold) ++counts.inaccurate;
      if (point->results.c33.im < 0) ++counts.c33_active;
      if (point->results.mstar.im < 0) ++counts.mstar_active;
      write_table_row(frequency, *point, periodic, where);
      const std::string flags = row_flags(*point, periodic);
      const std::string padded = "," + flags + ",";
      for (std::size_t f = 0; f < std::size(flag_words); ++f) {
        if (padded.find(std::string(",").append(flag_words[f]).append(",")) != std::string::npos) ++counts.flagged[f];
      }
      if (point->tensor) write_tensor_rows(frequency, *point, options.angle_step, where);
      ++counts.rows;
    }
  }
  progress.end();
  return counts;
}

// Complete: each table takes its name.
void name_tables(const SweepOptions& options) {
  close_unit(table_unit);
  auto take_name = [](const char* partial, const char* name) {
    std::error_code renamed;
    std::filesystem::rename(partial, name, renamed);
    if (renamed) {
      std::string message = "cannot rename ";
      message.append(partial).append(" to ").append(name).append(" (").append(renamed.message());
      stop_input(message + "): the complete table stays under the first name");
    }
  };
  take_name(sweep_table::partial_name, sweep_table::file_name);
  if (options.tensor) {
    close_unit(stiffness_unit);
    close_unit(angle_unit);
    take_name(tensor_table::stiffness_partial_name, tensor_table::stiffness_name);
    take_name(tensor_table::angle_partial_name, tensor_table::angle_name);
  }
}

void write_summary(const RowCounts& counts) {
  record(stdout_unit, " table \"" + std::string(sweep_table::file_name) + "\":", counts.rows, "rows");
  write_line(stdout_unit, " rows whose solution may be inaccurate (backward error above " +
                              format_real(backward_error_threshold) + "): " + std::to_string(counts.inaccurate));
  std::string text;
  for (std::size_t f = 0; f < std::size(flag_words); ++f) {
    text += f == 0 ? " " : ", ";
    text += flag_words[f];
    text += ' ';
    text += std::to_string(counts.flagged[f]);
  }
  write_line(stdout_unit, " rows flagged (column flags):" + text);
  if (counts.closed) {
    // c33 and mstar of a closed sample are not conjugate to the work of
    // the loads: Im < 0 there is no fault of the medium, so one count.
    write_line(stdout_unit, " rows with Im < 0 (c33 and mstar are not conjugate to the work of the loads; Mw is): "
                            "c33 " + std::to_string(counts.c33_active) + ", mstar " + std::to_string(counts.mstar_active));
  }
  write_line(stdout_unit, " CPU time (s) = " + format_f(timer(), 4, 2));
}

}  // namespace

void upscale_sweep(std::istream& parameters, const SweepOptions& options) {
  timer();

  // 1. Take the table's lock.  One sweep at a time writes a table: its
  //    lock, on the growing table, is taken before anything else, and the
  //    table is emptied only once the sample has been read.  The rows grow
  //    in sweep_table::partial_name, renamed to sweep_table::file_name with
  //    the last row, so a table under that name is always complete.
  const bool table_existed = std::filesystem::exists(sweep_table::partial_name);
  open_unit_exclusive(table_unit, sweep_table::partial_name, "upscale_sweep");

  // 2. Read the sample (and the sample at h/2 for the error estimate); a
  //    refused deck leaves no table behind.
  SweepSample sample;
  read_samples(parameters, options, table_existed, sample);

  // 3. Give the samples on the scalable solver their shared instances.
  give_solver(*sample.passes.sample, options.test, sample.shared);
  if (sample.passes.half != nullptr) give_solver(*sample.passes.half, options.test, sample.shared_half);

  // 4. Lay out what does not depend on the frequency, once: the
  //    structure of every system and the exact reference's limits.
  SweepReference reference;
  lay_out_sweep(options, sample, reference);

  // 5. Share the frequencies among as many jobs as the memory holds:
  //    processes, each with its own MUMPS, on the scalable solver.
  const JobKind kind = job_kind(sample.passes, options.jobs);
  const std::int32_t workers = jobs_within_memory(sample.passes, options.jobs, kind);

  // 6. Say what the sweep computes, before the first row.
  write_heading(options, sample, reference, workers);
  flush_all_units();

  // 7. Empty the tables and write their headers.
  begin_tables(options, sample, reference.layered);

  // 8. Compute the frequencies and write their rows in grid order.
  const RowCounts counts = write_rows(options, sample.passes, workers, kind);

  // 9. Name the complete tables and summarise their rows.
  name_tables(options);
  write_summary(counts);
}
