// The frequency sweep: the harmonic compressibility test of one sample at
// every frequency of the deck's logarithmic grid, in one run.
//
// At each frequency f_i = 10^(log10 fmin + (log10 fmax - log10 fmin) (i-1)/(nfreq-1)),
// i = 1..nfreq (fmin alone when nfreq = 1), the sweep computes exactly what
// a run of the program computes with fmin = f_i: coefficients, analytic
// reference, assembly, solution and evaluation.  What does not depend on
// the frequency is done once: the deck, the material and ice maps, the
// numbering, the pattern of the system, its minimum-degree ordering and
// its symbolic factorisation; every frequency repeats only the numeric
// factorisation on that structure.  The frequencies are independent, so
// several are computed at once, one per job.
//
// The routines' echo and record files are silenced: the sweep writes its
// table (sweep_table_name) and a short summary on standard output, and
// leaves every result file of the program in the working directory as it
// was.  A progress line goes to the error stream.
#pragma once

#include <cstdint>
#include <istream>

#include "driver/readata.hpp"
#include "sweep/sweep_table.hpp"
#include "driver/run_options.hpp"

inline constexpr const char* sweep_table_name = sweep_table::file_name;

// What the command line chooses: the number of jobs, the test's load and
// refinement, and whether the discretisation error of Mw is estimated.
struct SweepOptions {
  std::int32_t jobs = 1;
  TestOptions test;
  bool error_estimate = false;
  // --tensor: the horizontal and shear tests (and the vertical piston test)
  // beside the sweep's own, the effective stiffness and the qP and qSV
  // waves every angle_step degrees from the vertical (--angle-step D).
  bool tensor = false;
  double angle_step = 15.0;
};

// Runs the sweep on the deck read from `parameters` and the per-cell files
// of the working directory.  It returns at the normal end; every fatal
// condition stops as in the program (same message, same stop number), the
// message written to standard output with the frequency at which it
// occurred.  The rows of the frequencies done before a stop are kept.
// `jobs` frequencies are computed at once (sweep/sweep_jobs.hpp): on the
// built-in solver each by a thread with a pass object of its own (about
// 200 MB of address space, 150 MB touched), on the scalable solver each by
// a copy of the process with its own MUMPS; the table is the same, byte
// for byte, whatever their number.
// The table grows under sweep_table::partial_name and takes its name
// sweep_table::file_name with its last row.  For a sample whose every row
// is uniform the table also holds the exact one-dimensional solution, and
// the summary the relaxed and unrelaxed limits of the work-conjugate
// modulus.
void upscale_sweep(std::istream& parameters, const SweepOptions& options);

// The most frequencies a sweep admits (each keeps its results until its
// row is written in grid order).
inline constexpr std::int32_t max_sweep_frequencies = 100000;

// The most jobs a sweep admits.
inline constexpr std::int32_t max_sweep_jobs = 256;

// The finest step of the tensor's angle table, in degrees: 18001 angles a
// frequency under periodic sides (a finer step would ask for gigabytes of
// table, and past 2^31 angles their count would not fit).
inline constexpr double min_angle_step = 0.01;

// The options of the command line: the number of jobs "-j N" (or "-jN",
// "--jobs N"; without it, the number of processors the process may use),
// the load "--load split|piston" (default split), the refinement
// "--refine K" and "--error-estimate" (the sample also solved at h/2, and
// the Richardson estimate of the relative error of Mw in the table's last
// column, error_estimate_w), "--tensor" (the tables of
// sweep/tensor_tables.hpp) and "--angle-step D" (min_angle_step <= D <= 90
// degrees, default 15).  Any other argument,
// or a number outside 1..max_sweep_jobs, stops with stop_bad_parameter and a
// usage message.
SweepOptions sweep_options(int argc, const char* const* argv);

// Point i = 1..nfreq of the sweep's logarithmic grid: fmin and fmax exactly
// at its ends, the points between computed in double precision.
double sweep_frequency(const Deck& deck, std::int32_t i);
