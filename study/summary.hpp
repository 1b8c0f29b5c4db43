// The study's summary: per frequency, the number of realisations and the
// mean, standard deviation and percentiles of the velocity and the 1000/Q
// of c33 over the realisations' sweep tables.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

inline constexpr const char* summary_name = "study_summary.dat";

// Statistics of one sample of values, in the order given.
struct SampleStatistics {
  double mean = 0;
  double std = 0;  // dividing by n - 1; NaN for one value
  double p5 = 0, p50 = 0, p95 = 0;
};

// Mean (the sum in the given order over n), standard deviation (two
// passes, dividing by n - 1) and the p-th percentiles by linear
// interpolation between order statistics: position p/100 (n - 1) in the
// sorted values, counted from 0.  `values` must not be empty.
SampleStatistics sample_statistics(const std::vector<double>& values);

// The value at fraction q of the sorted values by that interpolation.
double percentile(const std::vector<double>& sorted, double q);

// Writes OUTPUT/study_summary.dat from the sweep tables of the realisations
// `present` (their directory names, in order): a header line starting with
// "#", then one row per frequency.  Every table must have the same
// frequencies; a table that differs or cannot be read stops with
// stop_input_error naming the file and the line.  The file is written
// under a temporary name and moved into place.
void write_summary(const std::filesystem::path& output, const std::vector<std::string>& present);
