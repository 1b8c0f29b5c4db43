// The stages of a pass, over its storage (driver/pass_storage.hpp).
//
// The run driver calls these stages in order; the tests and benchmarks call
// them too, so that every caller runs exactly the program's own sequence.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "common/cellmap.hpp"
#include "common/complex.hpp"
#include "driver/evaluation.hpp"
#include "driver/pass_storage.hpp"
#include "driver/readata.hpp"
#include "fem/global_numbering.hpp"
#include "fem/global_sist.hpp"
#include "driver/scalable_stage.hpp"
#include "sparse/work_block.hpp"

// The scalars of the pass.
struct PassScalars {
  std::int32_t cycle = 1;
  double frequency = 0;  // Hz
  double omega = 0;     // rad/s
  double freq_log = 0;  // Hz
  // Phase fractions of the last cell of the coefficient routines.
  double s1_frac = 0, s3_frac = 0, phi1_frac = 0, phi3_frac = 0;
  double rob_med = 0;  // kg/m^3
  // Analytic reference of the last cell.
  double vp1 = 0, vp2 = 0, vp3 = 0, vs1 = 0, vs2 = 0;
  double thousand_over_qp1 = 0, thousand_over_qp2 = 0, thousand_over_qp3 = 0;
  double thousand_over_qs1 = 0, thousand_over_qs2 = 0;
  double slowest_vp1 = 0;  // the smallest analytic P1 speed of all cells
  std::int32_t n = 0;  // number of unknowns
  // Componentwise backward error of the solution (see solve_stage).
  double backward_error = 0;
  // Estimated relative forward error of the solution (refinement_forward_error).
  double forward_error = 0;
};

// The componentwise backward error above which a solution is reported as
// inaccurate.  The solutions of the bundled examples stay below 1e-14
// anywhere from 1e-4 to 1e4 Hz; at extreme frequencies (1e-20 Hz) the
// factorisation, which does not pivot, loses digits and the error grows
// past 1e-12.
inline constexpr double backward_error_threshold = 1e-13;

// The estimated forward error above which a solution is reported as
// inaccurate.  The backward error guards the factorisation (a small one
// says z solves a system close to the assembled one), not the system's
// conditioning: a sample whose friction coefficients span many orders of
// magnitude (a nearly sealing layer beside an open one) has a solution
// that small relative changes of its entries move a great deal.
inline constexpr double forward_error_threshold = 1e-6;

// The layered material map of the deck, written to "matnum_p33" and
// "matnum_p33_gnu" row by row from the bottom; stops with 222 at the first
// cell whose layer type lies outside 1..nmat (its records written).
void material_map_stage(RunStorage& run);

// The per-cell map of "binary_ice_gnu.dat": one record j, k, value per
// cell, row by row from the bottom; the value is stored by the record's
// place.  A missing file, a short file or an unreadable record stops the run
// with a message naming the file, the line and the cell.  A refined deck
// reads one record per cell of the deck into `coarse` and spreads each over
// the cells it covers.
void read_binary_ice(const Deck& deck, RealMap& binary_ice, RealMap& coarse);
void read_binary_ice(RunStorage& run);
// The patchy model's map of "phiw_binary_patchy.dat" into run.patchy, read
// once per run before the first frequency (nothing in the other model),
// with the rules and stops of read_binary_ice.
void read_patchy_map(RunStorage& run);
// The per-cell maps of `from` given to `to`, whose deck is `from`'s refined
// `factor` times as much: the same sample on smaller cells, without
// reading the files again.
void refine_cell_maps(const RunStorage& from, std::int32_t factor, RunStorage& to);

// Water proportion, elastic, mass and friction coefficients of every cell,
// then the guards against coefficients that are not finite numbers and
// against values that lie outside their physically possible range.
void medium_stage(RunStorage& run, PassScalars& pass);

// The analytic plane-wave reference of every cell's medium.
void plane_wave_stage(RunStorage& run, PassScalars& pass);

// Element matrices and loads of every cell, assembled in compressed rows.
void assembly_stage(RunStorage& run, PassScalars& pass);
// The same in two steps, for a mesh assembled at many frequencies: the
// pattern of the system depends on the mesh alone and is laid out once;
// the values are assembled afresh at every frequency into that pattern.
void assembly_pattern_stage(RunStorage& run, PassScalars& pass);
void assembly_values_stage(RunStorage& run, const PassScalars& pass);

// The structure of the system, for a mesh solved at many frequencies:
// numbering, pattern, minimum-degree ordering and symbolic factorisation,
// all of which depend on the mesh alone.  Stops with 9 or 99 as solve_stage.
void structure_stage(RunStorage& run, PassScalars& pass);
// The numbering of the pass's test: number_unknowns under its load for the
// vertical test, transposed_piston_numbering for the horizontal one,
// merged_numbering for the shear test.
void number_pass_unknowns(RunStorage& run);

// Gives `to` the sample of `from` (deck, maps read from files, the sizes of
// the largest numbering of its mesh), for a pass of another test on the
// same sample, which lays out its own structure (structure_stage).
void copy_sample(const RunStorage& from, RunStorage& to, bool scalable = false);

// Gives `to` the sample and the structure of `from` (deck, maps read from
// files, numbering, pattern, ordering and factor structure), so that its
// passes may reuse them.
void copy_structure(const RunStorage& from, RunStorage& to);

// How the solve stage factorises.  The ordering and the symbolic
// factorisation depend on the pattern alone, so a system with the pattern
// of an earlier solve can reuse them and repeat the numeric part only.
enum class Factorisation {
  order_and_factor,     // minimum-degree ordering, symbolic and numeric factorisation
  reuse_order_and_structure,  // numeric factorisation on the earlier ordering and structure
};

// Factorisation and solution into z; stops with 9 or 99 when the solver
// reports a failure, and with stop_nonfinite_result at the first unknown of
// z that is not a finite number.  pass.backward_error receives the
// componentwise backward error of z in the assembled system (with its held
// unknowns eliminated, for the scalable solver), and
// pass.forward_error the estimate of refinement_forward_error.
void solve_stage(RunStorage& run, PassScalars& pass,
                 Factorisation factorisation = Factorisation::order_and_factor);

// One step of iterative refinement on the factors solve_stage has just
// made: the residual r = b - A z, the correction d = A^-1 r, and
// max |d| / max |z|, which estimates the relative forward error of z
// (about the condition number times the rounding of the residual).  z
// itself is left as it is.  Uses run.residual and run.correction.  The
// built-in solver's; the scalable solver makes the same estimate inside
// its factor-and-solve turn (solve_scalable), since the factors of a
// shared instance last only while its lock is held.
double refinement_forward_error(RunStorage& run, const PassScalars& pass);

// The two solvers behind solve_stage: the built-in one in the work block,
// and the scalable one (run.shared): its analysis once per sample (it stops
// with 9 when it fails, and with stop_bad_parameter when its estimate of the
// factors exceeds the memory the machine offers), then the numeric
// factorisation and the solution (99 when they fail), first without
// pivoting and again with threshold pivoting where that fails or its
// solution is not finite or exceeds backward_error_threshold, with the
// backward and forward errors of the solution kept.  MUMPS refused memory
// in either stops with stop_input_error, as any refused allocation, giving
// its estimate and what the machine offers.
void solve_builtin(RunStorage& run, PassScalars& pass, Factorisation factorisation);
void analyse_scalable(RunStorage& run, const PassScalars& pass);
void solve_scalable(RunStorage& run, PassScalars& pass);

// The warning written on the error stream when pass.backward_error exceeds
// backward_error_threshold; empty otherwise.
std::string backward_error_warning(const PassScalars& pass);
// The backward error in two digits, as the warning and the sweep show it.
std::string backward_error_figure(double backward_error);

// Volume change, strains, stress, pressure and the effective moduli of the
// solved test, with every result file.
SampleResults evaluation_stage(RunStorage& run, const PassScalars& pass);

// Whether a pass lays out the structure of its system or finds it laid out
// (by structure_stage, or by an earlier pass on the same storage).
enum class SystemLayout { build, reuse };

// One pass of the test at pass.frequency and pass.omega, with its echo:
// coefficients, numbering (build only), average density, analytic
// reference, assembly, solution and evaluation with every result file.
// The program runs it once; the frequency sweep once per frequency, its
// output silenced.
SampleResults run_pass(RunStorage& run, PassScalars& pass, SystemLayout layout);

// Angular frequency (rad/s) of a frequency in Hz.
double angular_frequency(double frequency);

// Point `cycle` of the logarithmic frequency grid fmin..fmax of nfreq
// points; a grid of one point is fmin itself.
double logarithmic_frequency(const Deck& deck, std::int32_t cycle);
