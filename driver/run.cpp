// The run driver.
//
// The sample is a rectangle of nx x ny square cells of side h of a
// three-phase porous rock (mineral frame, ice or shale, water).  Its left,
// right and bottom sides are held against normal displacement of both
// solids, no fluid crosses any side, and the top of both solids carries a
// uniform compressive normal stress of 1 Pa oscillating at the angular
// frequency omega.  The finite-element solution of this harmonic test gives
// the sample's effective complex plane-wave modulus, its phase velocity and
// its attenuation; the analytic plane-wave speeds of every cell's medium are
// computed beside it.
#include "driver/run.hpp"

#include <cstdint>
#include <filesystem>
#include <new>
#include <optional>
#include <string>

#include "common/format.hpp"
#include "common/stop.hpp"
#include "common/table_header.hpp"
#include "common/units.hpp"
#include "driver/pass.hpp"
#include "driver/map_use.hpp"
#include "driver/readata.hpp"
#include "driver/refine.hpp"
#include "driver/result_units.hpp"
#include "driver/run_options.hpp"
#include "driver/solver_ranks.hpp"
#include "driver/timer.hpp"

namespace {

void write_used_water(const Deck& deck, const RealMap& phiw) {
  open_unit(result_unit::phiw_used, phiw_used_name);
  for (std::int32_t k = 1; k <= deck.ny; ++k) {
    for (std::int32_t j = 1; j <= deck.nx; ++j) record(result_unit::phiw_used, j, k, phiw(j, k));
  }
  close_unit(result_unit::phiw_used);
}

// One header line and one row: frequency, Re and Im of Mw, its phase
// velocity and its signed 1000/Q.
void write_work_modulus(const PassScalars& pass, const SampleResults& r) {
  constexpr int width = 24;
  static constexpr const char* names[] = {"frequency_Hz", "Re_Mw_Pa", "Im_Mw_Pa", "velocity_w_m_per_s",
                                          "thousand_over_Q_w"};
  std::string header, row;
  for (const char* name : names) header += table_header::field(name, width);
  for (const double value : {pass.frequency, r.mw.re, r.mw.im, r.velocity_w, r.thousand_over_q_w}) {
    row += table_header::field(format_real(value), width);
  }
  open_unit(result_unit::work_modulus, work_modulus_name);
  write_line(result_unit::work_modulus, header);
  write_line(result_unit::work_modulus, row);
  close_unit(result_unit::work_modulus);
}

}  // namespace

void upscale_run(std::istream& parameters, const TestOptions& options) {
  RunStoragePtr storage;
  try {
    storage = make_run_storage();
  } catch (const std::bad_alloc&) {
    stop_input("cannot allocate the storage of a pass (its 60 x 60 sizes, about 200 MB of address space)");
  }
  RunStorage& run = *storage;
  run.load = options.load;
  run.test = vertical_test(options.load);
  Deck& deck = run.deck;

  // 1. Result files first, so that every run leaves them, then the clock.
  for (const ResultFile& file : result_files) open_unit(file.unit, file.name);
  CpuClock clock;
  clock.timer();

  // 2. The parameters, echoed; h = domain_size/ny.  A refined deck splits
  //    its cells here; a mesh larger than 60 x 60 sizes the storage, once
  //    its memory is known to fit.
  LineInput input(parameters, "standard input");
  readata(input, deck);
  refine_deck(deck, options.refine);
  if (deck.refine > 1) {
    record(stdout_unit, " every cell of the deck split into", deck.refine, "x", deck.refine, "cells: nx, ny, h =",
           deck.nx, deck.ny, deck.h);
  }
  const bool scalable = uses_scalable_solver(deck, options.solver);
  const int ranks = scalable ? solver_ranks() : 1;
  write_line(stdout_unit, std::string(" load: ") + load_name(options.load) + ", solver: " +
                              (scalable ? "mumps" : "builtin") +
                              (ranks > 1 ? " on " + std::to_string(ranks) + " ranks" : std::string()));
  size_for_mesh(run, 1, scalable);
  // The scalable solver, past 60 x 60 cells or on request.
  std::optional<SharedSolver> shared;
  if (scalable) {
    shared.emplace(scalable_ordering(static_cast<std::int32_t>(mesh_unknowns(deck, run.load))), options.out_of_core);
    run.shared = &*shared;
  }

  // 3. The layered material map, written and checked.
  material_map_stage(run);

  // 4. The per-cell maps, each read once: the ice map in every run, the
  //    water map in the patchy model; a map whose values no cell uses is
  //    named on the error stream.
  read_binary_ice(run);
  read_patchy_map(run);
  warn_unused_maps("upscale", deck, run.matnum, std::filesystem::exists(patchy_map_name));

  // 5. The single pass of the test, at the first frequency of the deck.
  PassScalars pass;
  SampleResults results;
  for (std::int32_t cycle = 1; cycle <= 1; ++cycle) {
    pass.cycle = cycle;
    pass.frequency = deck.fmin;
    pass.omega = angular_frequency(deck.fmin);
    pass.freq_log = logarithmic_frequency(deck, cycle);
    results = run_pass(run, pass, SystemLayout::build);
  }

  // 6. Two files of our own: the water proportion each cell used (the ice
  //    map's, the patchy map's or phi_layer, after the rule of
  //    driver/map_use.hpp), and the work-conjugate modulus Mw, the
  //    modulus to read under every load.
  write_used_water(deck, run.phiw);
  write_work_modulus(pass, results);

  // 7. The CPU time of the run, in hours.
  const double hours = clock.timer() / 3600.0;
  record(stdout_unit);
  write_line(stdout_unit, " running time=" + format_f(hours, 15, 6) + "hours");
  stop_run(40);
}
