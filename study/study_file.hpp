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
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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
};

// Reads and checks a study file; a fault stops with stop_input_error and a
// message naming the file, the line and the key.  The deck of the case and
// the maps options are checked too (a study that cannot run is refused
// before anything is written).
Study read_study_file(const std::filesystem::path& file);

// The deck of the case with the study's grid in place of the deck's first
// three items (each the first word of its line, the rest of the line kept).
std::string study_deck_text(const Study& study, const std::string& case_deck);

// The name of realisation r's directory: "r0001", widened when the study
// has more than 9999 realisations.
std::string realisation_name(std::int32_t r, std::int32_t realisations);

// Splits a value into words at blanks.
std::vector<std::string> split_words(const std::string& text);
