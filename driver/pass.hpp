// The storage of a run and the stages of its single pass.
//
// The run driver calls these stages in order; the tests and benchmarks call
// them too, so that every caller runs exactly the program's own sequence.
#pragma once

#include <array>
#include <cstdint>

#include "common/cellmap.hpp"
#include "common/complex.hpp"
#include "driver/evaluation.hpp"
#include "driver/readata.hpp"
#include "fem/global_numbering.hpp"
#include "sparse/work_block.hpp"

// Everything a run holds, sized for the largest mesh and reserved once (a
// static object: about 200 MB, most of it the solver's work block).
struct RunStorage {
  Deck deck;
  LayerReal size_layer;
  IntMap matnum;
  RealMap phiw, binary_ice;
  // Elastic (Pa), mass (kg/m^3) and friction coefficients of every cell.
  RealMap lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3;
  RealMap p11, p12, p13, p22, p23, p33;
  RealMap b11, b12, b22;
  NodeTable xnod;
  // The assembled system in compressed rows, its load and its solution.
  std::array<std::int32_t, max_unknowns + 1> ia;
  std::array<std::int32_t, max_entries> ja;
  std::array<dcomplex, max_entries> avec;
  std::array<dcomplex, max_unknowns> rhs_m;
  std::array<dcomplex, max_unknowns> z;
  std::array<std::int32_t, max_unknowns> c, ic;  // ordering and its inverse
  sparse::WorkBlock work;
  ResultFields fields;
};

// The scalars of the pass.
struct PassScalars {
  std::int32_t cycle = 1;
  double omega = 0;     // rad/s
  double freq_log = 0;  // Hz
  // Phase fractions of the last cell of the coefficient routines.
  double s1_frac = 0, s3_frac = 0, phi1_frac = 0, phi3_frac = 0;
  double rob_med = 0;  // kg/m^3
  // Analytic reference of the last cell.
  double vp1 = 0, vp2 = 0, vp3 = 0, vs1 = 0, vs2 = 0;
  double thousand_over_qp1 = 0, thousand_over_qp2 = 0, thousand_over_qp3 = 0;
  double thousand_over_qs1 = 0, thousand_over_qs2 = 0;
  std::int32_t n = 0;  // number of unknowns
};

// The run's storage: one static object for the whole process.
RunStorage& run_storage();

// The layered material map of the deck, written to "matnum_p33" and
// "matnum_p33_gnu" row by row from the bottom; stops with 222 at the first
// cell whose layer type lies outside 1..nmat (its records written).
void material_map_stage(RunStorage& run);

// The per-cell map of "binary_ice_gnu.dat": one record j, k, value per
// cell, row by row from the bottom; the value is stored by the record's
// place.  A missing file, a short file or an unreadable record stops the run
// with a message naming the file, the line and the cell.
void read_binary_ice(const Deck& deck, RealMap& binary_ice);

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

// How the solve stage factorises.  The ordering and the symbolic
// factorisation depend on the pattern alone, so a system with the pattern
// of an earlier solve can reuse them and repeat the numeric part only.
enum class Factorisation {
  order_and_factor,     // minimum-degree ordering, symbolic and numeric factorisation
  reuse_order_and_structure,  // numeric factorisation on the earlier ordering and structure
};

// Factorisation and solution into z; stops with 9 or 99 when the solver
// reports a failure.
void solve_stage(RunStorage& run, const PassScalars& pass,
                 Factorisation factorisation = Factorisation::order_and_factor);

// Volume change, strains, stress, pressure and the effective moduli of the
// solved test, with every result file.
SampleResults evaluation_stage(RunStorage& run, const PassScalars& pass);

// Angular frequency (rad/s) of a frequency in Hz.
double angular_frequency(double frequency);

// Point `cycle` of the logarithmic frequency grid fmin..fmax of nfreq
// points; a grid of one point is fmin itself.
double logarithmic_frequency(const Deck& deck, std::int32_t cycle);
