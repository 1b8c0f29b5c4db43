// A study's plan, its signature and what makes a realisation complete.
//
// OUTPUT/study_plan names the study file, the number of realisations, the
// jobs that run them and the study's signature: the checksum of every
// input its realisations share (the deck with the study's grid, the
// checksums of the per-cell files taken from the case, the keys that shape
// a realisation, seed and maps options among them, and the checksums of
// the two programs).  Each realisation's manifest holds those inputs, its
// own seed, the number of rows its table must have and the signature.  A
// realisation is complete when its manifest is there, carries the plan's
// signature, and its table has every row the manifest promises: a killed
// or mixed-up realisation never counts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "study/study_file.hpp"
#include "study/tools.hpp"

// The shared inputs, as the manifests write them.
std::string shared_inputs(const Study& study, const Tools& tools);
// The manifest of realisation r of a study whose shared inputs are `shared`.
std::string manifest_text(const std::string& shared, const Study& study, std::int32_t r);
// The seed of realisation r: seed + r - 1 (the study file refuses a seed
// whose last realisation would wrap).
std::uint64_t realisation_seed(const Study& study, std::int32_t r);

struct Plan {
  std::filesystem::path study_file;
  std::int32_t realisations = 0;
  std::string jobs;
  std::string signature;  // empty: any (a plan made by hand)
  std::string modulus = "work";  // the modulus the summary summarises
  std::string quantity;          // or the column of the tensor's tables (empty: the modulus)
  bool error_estimate = false;    // the summary also gives the estimated error of Mw
};

// True when OUTPUT holds a plan file.
bool has_plan(const std::filesystem::path& output);
// Reads OUTPUT's plan; a missing or unreadable one stops with
// stop_input_error.
Plan read_plan(const std::filesystem::path& output);

// Writes OUTPUT/study_plan (`jobs` names the engine and its jobs).  When the
// plan changes (another signature or number of realisations), the summary
// of the earlier inputs is removed first, so that a summary in OUTPUT is
// always one of the plan's inputs.
void write_plan(const Study& study, const Tools& tools, const std::string& jobs);

// Whether the realisation in `directory` is complete; an empty signature
// accepts any.
bool is_complete(const std::filesystem::path& directory, const std::string& signature);
