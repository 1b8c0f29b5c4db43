// The study file: lines of "key = value"; "#" starts a comment.
//
//   case         directory of deck.in and the per-cell files (relative to the study file)
//   realisations number of realisations; realisation r uses seed + r - 1
//   seed         the seed of realisation 1
//   maps         the upscale_maps options of every realisation (without --seed)
//   fmin, fmax, nfreq   (optional) the frequency grid, in place of the deck's
//   output       (optional) the study's directory; by default beside the study
//                file, named after it without its extension
//   slurm        (optional) options passed to sbatch (partition, time, memory, account)
//   load         (optional) periodic (default), piston or split: the test of every sweep
//   modulus      (optional) work (default), c33 or mstar: the modulus whose
//                velocity and 1000/Q the summary gathers
//   quantity     (optional) a column of the effective stiffness to summarise
//                instead of the modulus: a column of effective_stiffness.dat by
//                its header name (e.g. Re_c55_Pa), or a column of
//                angle_sweep.dat at an angle of its grid, NAME@ANGLE (e.g.
//                qSV_thousand_over_Q@45); the sweeps then run with --tensor
//   refine       (optional) K: every cell of the deck split into K x K cells (default 1)
//   error_estimate (optional) yes or no (default): the sweeps also solve at h/2 and the
//                summary gives the mean and maximum of the estimated error of Mw
//   ranks        (optional) P: each sweep over P MPI ranks (the programs of the MPI build)
//   out_of_core  (optional) an absolute directory of every machine the sweeps run on
//                (node-local scratch): the large samples' factors kept in files there
//
// Before anything is written the study is checked whole: the map the maps
// options write must be one the deck reads and uses, every per-cell file
// the deck reads must be in the case or written by the maps, OUTPUT must
// lie outside the case, and the sizes must lie within the limits below.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Limits of a study, checked before a plan is written: directory names,
// the plan's tables and the threads of the local engine stay bounded.
constexpr std::int32_t max_realisations = 100000;
constexpr std::int32_t max_study_nfreq = 10000;
constexpr int max_study_jobs = 256;

// The most ranks a realisation's sweep may ask for.
inline constexpr std::int32_t max_study_ranks = 4096;

struct Study {
  std::filesystem::path file;      // the study file, absolute
  std::filesystem::path case_dir;  // absolute
  std::int32_t realisations = 0;
  std::uint64_t seed = 0;
  std::vector<std::string> maps;   // the words of the maps options
  // The grid, as written (empty: the deck's own line).
  std::string fmin, fmax, nfreq;
  std::filesystem::path output;    // absolute
  std::vector<std::string> slurm;  // the words of the sbatch options
  std::string deck;                // the case's deck with the study's grid
  std::int32_t rows = 0;           // frequencies of the study's grid: rows of every table
  std::string load = "periodic";   // periodic | piston | split
  std::string modulus = "work";    // work | c33 | mstar
  std::string quantity;            // a column of the tensor's tables; empty: the modulus
  std::int32_t refine = 1;         // every cell of the deck split into refine x refine
  bool error_estimate = false;     // the sweeps' Richardson estimate of Mw's error
  // MPI ranks of each realisation's sweep (the programs of the MPI build):
  // mpirun -np ranks locally, an srun --mpi=pmix step of ranks tasks under
  // Slurm; 1: the sweep alone.
  std::int32_t ranks = 1;
  std::string out_of_core;         // the sweeps' --out-of-core directory; empty: in core
  std::string map_file;            // the per-cell file upscale_maps writes
  std::vector<std::string> case_files;  // the other per-cell files the deck reads, taken from the case
  // "key value" of every key that shapes a realisation (everything but
  // case, realisations, output and slurm, whose effects are the checksums
  // of the case's files, the number of directories and their place), in
  // the order of the keys' names: part of the study's signature.
  std::vector<std::string> shaping;
  // The study file as the Slurm tasks read it, frozen at submission: every
  // key, with case and output as absolute paths.
  std::string frozen;
};

// Reads and checks a study file; a fault of a line stops with
// stop_input_error and a message naming the file, the line and the key.
// The deck of the case and the maps options are checked too, and the
// checks of the whole study above refuse with stop_bad_parameter naming
// the key: a study that cannot run is refused before anything is written.
Study read_study_file(const std::filesystem::path& file);

// The deck of the case with the study's grid in place of the deck's first
// three items (each the first word of its line, the rest of the line kept).
std::string study_deck_text(const Study& study, const std::string& case_deck);

// The name of realisation r's directory: "r0001", widened when the study
// has more than 9999 realisations.
std::string realisation_name(std::int32_t r, std::int32_t realisations);

// Splits a value into words at blanks.
std::vector<std::string> split_words(const std::string& text);
