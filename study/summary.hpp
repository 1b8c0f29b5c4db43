// The study's summary: per frequency, the number of realisations and the
// mean, standard deviation and percentiles of the velocity and the 1000/Q
// of one modulus over the realisations' sweep tables.  The columns are
// found by their names in the table's header line, so that columns added
// to the table move nothing:
//   modulus = work   velocity_w_m_per_s      thousand_over_Q_w  (the work-conjugate modulus)
//   modulus = c33    velocity_c33_m_per_s    thousand_over_Q_c33
//   modulus = mstar  velocity_mstar_m_per_s  thousand_over_Q_mstar
// The summary's columns: frequency_Hz, n, velocity_{mean,std,p5,p50,p95}_m_per_s,
// thousand_over_Q_{mean,...} (or the quantity's name with the statistic
// before its unit), after the convention of common/table_header.hpp.
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

// The names of the velocity and 1000/Q columns of a modulus (work, c33 or
// mstar).
struct SummaryColumns {
  std::string velocity, thousand_over_q;
};
SummaryColumns summary_columns(const std::string& modulus);

// A column of the tensor's tables (upscale_sweep --tensor) that the study
// key `quantity` names: "NAME", a column of effective_stiffness.dat other
// than the frequency (e.g. "Re_c55_Pa"), or "NAME@ANGLE", a column of
// angle_sweep.dat other than the frequency and the angle, at one angle of
// its grid (0 to 90 degrees in steps of 15, the sweep's default; e.g.
// "qSV_thousand_over_Q@45").  The summary then gathers its mean, standard deviation
// and percentiles over the realisations, in columns named after it.
struct TensorQuantity {
  const char* table = nullptr;  // the file name
  std::string column;
  bool at_angle = false;
  double angle = 0;  // degrees, when at_angle
};
// False, with the reason in `why`, when `text` names no such column.
bool parse_tensor_quantity(const std::string& text, TensorQuantity& quantity, std::string& why);

// The position of column `name` among the header's `names`; a table
// without it stops with stop_input_error naming the column, the file and
// the modulus that needs it.
std::size_t column_index(const std::vector<std::string>& names, const std::string& name,
                         const std::filesystem::path& file, const std::string& modulus);

// Writes OUTPUT/study_summary.dat from the sweep tables of the realisations
// `present` (their directory names, in order) for `modulus`: a header line
// of names (common/table_header.hpp), then one row per frequency.  Every table must have
// the same frequencies; a table that differs or cannot be read, or lacks
// the modulus's columns, stops with stop_input_error naming the file and
// the line or the column.  The file is written under a temporary name and
// moved into place.  With `error_estimate`, two more columns give the
// mean and the maximum over the realisations of error_estimate_w, the
// estimated relative discretisation error of Mw.  A non-empty `quantity`
// (TensorQuantity) takes the place of the modulus's velocity and 1000/Q.
void write_summary(const std::filesystem::path& output, const std::vector<std::string>& present,
                   const std::string& modulus, bool error_estimate = false, const std::string& quantity = "");
