// The header convention of every table the programs write (the sweep's
// table and limits, the stiffness and angle tables, the study's summary):
// one line of column names, then one row per line, every field
// right-justified in its column's width.  The header line carries no
// comment marker and every name is made of letters, digits and "_" only,
// so that the names come through as written with
//   pandas.read_csv(path, sep=r"\s+")
//   numpy.genfromtxt(path, names=True, dtype=None, encoding=None)
// (gnuplot skips the line with "skip 1" or reads it with "columnhead").
//
// A name ends with its unit, one of unit_suffixes below ("_m_per_s" is
// m/s); a name without one of them is dimensionless.  "thousand_over_Q"
// is 1000/Q.  python/upscale_tables.py reads the units back from the same
// suffixes.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace table_header {

// The unit suffixes of column names and the units they stand for.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 7> unit_suffixes = {{
    {"_Hz", "Hz"},
    {"_rad_per_s", "rad/s"},
    {"_m_per_s", "m/s"},
    {"_kg_per_m3", "kg/m3"},
    {"_Pa", "Pa"},
    {"_deg", "deg"},
    {"_cells", "cells"},
}};

// The field of one name or value: right-justified in `width` characters
// (a longer text is kept whole).
inline std::string field(std::string_view text, int width) {
  const std::size_t size = text.size() < static_cast<std::size_t>(width) ? static_cast<std::size_t>(width) : text.size();
  std::string out(size - text.size(), ' ');
  out.append(text);
  return out;
}

// The width of a column: `least`, or one more than its name where the name
// is as long, so that every field stays blank-separated.
inline int width_of(std::string_view name, int least) {
  return name.size() < static_cast<std::size_t>(least) ? least : static_cast<int>(name.size()) + 1;
}

// One line of a table, header or row: the i-th field added is
// right-justified in the width of the i-th name, so that the rows stay
// aligned with their header.
class Line {
 public:
  Line(std::vector<std::string_view> names, int least) : names_(std::move(names)), least_(least) {}
  void add(std::string_view text) { text_ += field(text, width_of(names_.at(next_++), least_)); }
  const std::string& text() const { return text_; }

 private:
  std::vector<std::string_view> names_;
  int least_;
  std::size_t next_ = 0;
  std::string text_;
};

// The length of the unit suffix that ends `name`, or 0.
inline std::size_t unit_suffix_length(std::string_view name) {
  for (const auto& [suffix, unit] : unit_suffixes) {
    if (name.size() > suffix.size() && name.ends_with(suffix)) return suffix.size();
  }
  return 0;
}

// `name` with "_" + `word` before its unit: ("Re_c55_Pa", "mean") gives
// "Re_c55_mean_Pa", ("thousand_over_Q", "p5") "thousand_over_Q_p5".
inline std::string with_word(std::string_view name, std::string_view word) {
  const std::size_t stem = name.size() - unit_suffix_length(name);
  std::string out(name.substr(0, stem));
  out += '_';
  out.append(word);
  out.append(name.substr(stem));
  return out;
}

}  // namespace table_header
