// One realisation of a study: its map, its sweep and its manifest.
//
// OUTPUT/rNNNN holds realisation r: its deck, its map, "frequency_sweep.dat"
// and the messages of upscale_maps and upscale_sweep.  It runs in the
// working folder OUTPUT/rNNNN/run, which holds the study's deck, the
// per-cell files the deck reads from the case (no other file of the case)
// and the map; only when the sweep ended with 0 are its files moved up,
// the table last, and then the manifest is written under a temporary name
// and moved into place: only now is the realisation complete.  A rerun
// skips a realisation whose manifest equals the one the current inputs
// give.  A realisation that fails leaves OUTPUT/rNNNN/failure: the
// program, its status and its message.
//
// The study deletes and overwrites only the files it writes itself (the
// names below); a working folder that holds anything else, or a
// realisation's directory that is a symbolic link, fails the realisation
// and is left as it is.
#pragma once

#include <cstdint>
#include <string>

#include "study/study_file.hpp"
#include "study/tools.hpp"

// What became of one realisation.
struct Outcome {
  enum Kind { skipped, done, failed } kind = done;
  std::string message;  // for a failure: the program, its status and its message
  std::string note;     // a remark for the study's closing lines (a heavily clipped map)
  bool out_of_memory = false;  // failed for want of memory in upscale_study itself
};

// OUTPUT's directory of the maps' correlation cache (upscale_maps --cache).
inline constexpr const char* maps_cache_name = "maps_cache";

// True when the study's maps need a costly correlation (von Karman), which
// the first realisation computes alone before the others reuse it.
bool maps_need_warm_up(const Study& study);

// Share of a Gaussian map's cells clipped to the admissible range above
// which the study's closing lines name the realisation.
constexpr double heavy_clipping = 0.10;

// Runs realisation r (1-based) unless it is complete and unchanged.
// File-system faults are thrown (std::exception), stops are StopRun.
Outcome run_realisation(const Study& study, const Tools& tools, std::int32_t r);

// The remark on realisation `name`'s map from its maps.err in `directory`:
// empty unless more than heavy_clipping of its cells were clipped.
std::string clipping_note(const std::filesystem::path& directory, const std::string& name);
