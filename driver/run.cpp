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
#include <cstdio>
#include <fstream>
#include <string>

#include "common/cellmap.hpp"
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

// The result files, opened at the start in this order and kept open.
void open_result_files() {
  open_unit(75, "vp_anal.phiw");
  open_unit(76, "vp_eq.phiw");
  open_unit(77, "1000_over_q_eq.phiw");
  open_unit(78, "1000_over_q_anal.phiw");
  open_unit(98, "mod_pressure_p33_ice");
  open_unit(99, "mod_grad_pressure_p33_ice");
  open_unit(30, "real_strain1_map");
  open_unit(31, "imag_strain1_map");
  open_unit(32, "real_strain3_map");
  open_unit(33, "imag_strain3_map");
  open_unit(34, "real_stress_map");
  open_unit(35, "imag_stress_map");
}

}  // namespace

void upscale_run(std::istream& parameters) {
  RunStorage& run = run_storage();
  Deck& deck = run.deck;

  // 1. Result files first, so that every run leaves them, then the clock.
  open_result_files();
  timer();

  // 2. The parameters, echoed; h = domain_size/ny.
  LineInput input(parameters, "standard input");
  readata(input, deck);

  // 3. The layered material map, written and checked.
  material_map_stage(run);

  // 4. The per-cell ice map, read in every run.
  read_binary_ice(deck, run.binary_ice);

  // 5. The single pass of the test, at the first frequency of the deck.
  for (std::int32_t cycle = 1; cycle <= 1; ++cycle) {
    PassScalars pass;
    pass.cycle = cycle;
    pass.omega = angular_frequency(deck.fmin);

    // 5.1 The medium of every cell: water proportion, then elastic, mass and
    //     friction coefficients (the permafrost model takes the water
    //     proportion of layer-type-1 cells from the ice map here).
    medium_stage(run, pass);

    // 5.2 Global numbers of the unknowns of every cell.
    global_numbering(deck.nx, deck.ny, run.xnod);

    // 5.3 Average density of the sample, for the velocities.
    record(stdout_unit, "  computes average density, ");
    pass.rob_med = average_density(deck, run.matnum, run.phiw, pass.phi1_frac, pass.phi3_frac);
    record(stdout_unit, "average density rob_med is (kg/m**3)", pass.rob_med);

    pass.freq_log = logarithmic_frequency(deck, cycle);
    record(stdout_unit);
    record(stdout_unit, "cycle=", cycle);
    record(stdout_unit, "freq (Hz), omega_fix ", deck.fmin, pass.omega);

    // 5.4 Analytic plane-wave reference of every cell's medium.
    plane_wave_stage(run, pass);

    // 5.5 The complex system of the test: element matrices with the
    //     boundary conditions and the top load, assembled in compressed rows.
    assembly_stage(run, pass);
    record(stdout_unit, "number of unknowns nodos = ", pass.n);

    // 5.6 Minimum-degree ordering, factorisation and solution.
    solve_stage(run, pass);
    const std::string warning = backward_error_warning(pass);
    if (!warning.empty()) std::fprintf(stderr, "%s\n", warning.c_str());

    // 5.7 Volume change, strains, stress, pressure, effective moduli and
    //     all result files.
    evaluation_stage(run, pass);
  }

  // 6. The CPU time of the run, in hours.
  const double hours = timer() / 3600.0;
  record(stdout_unit);
  write_line(stdout_unit, " running time=" + format_f(hours, 15, 6) + "hours");
  stop_run(40);
}
