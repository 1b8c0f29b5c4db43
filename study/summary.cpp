#include "study/summary.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

#include "common/format.hpp"
#include "common/stop.hpp"
#include "common/table_header.hpp"
#include "sweep/sweep.hpp"
#include "sweep/sweep_table.hpp"
#include "sweep/tensor_tables.hpp"
#include "study/study_file.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int column_width = 24;

std::string number_text(double value) { return std::isnan(value) ? "nan" : format_real(value); }

// One sweep table: the frequency as written, and the velocity and the
// 1000/Q of the summarised modulus of every row.
struct Table {
  std::vector<std::string> frequency;
  std::vector<double> velocity, thousand_over_q, error_estimate;
  // The estimated errors of Mw's velocity (relative) and 1000/Q (absolute).
  std::vector<double> velocity_estimate, thousand_over_q_estimate;
};

double value_of(const std::string& word, const fs::path& file, int line) {
  const char* begin = word.c_str();
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (end != begin + word.size()) {
    stop_input(file.string() + ", line " + std::to_string(line) + ": '" + word + "' is not a number");
  }
  return value;
}

}  // namespace

SummaryColumns summary_columns(const std::string& modulus) {
  using namespace sweep_table;
  auto name = [](int position) { return std::string(columns[position - 1]); };
  if (modulus == "c33") return {name(velocity_c33), name(thousand_over_q_c33)};
  if (modulus == "mstar") return {name(velocity_mstar), name(thousand_over_q_mstar)};
  return {name(velocity_w), name(thousand_over_q_w)};
}

std::size_t column_index(const std::vector<std::string>& names, const std::string& name, const fs::path& file,
                         const std::string& modulus) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return i;
  }
  stop_input("the sweep table \"" + file.string() + "\" has no column " + name + " in its header line, which " +
             "modulus = " + modulus + " summarises (a table of an older upscale_sweep; give modulus = c33 in the "
             "study, or rerun it with the current programs)");
}

namespace {

// The items of row `line` of a table whose header named `names`: a row
// before the header, or one of another length, stops with
// stop_input_error naming the file and the line.
std::vector<std::string> row_words(const std::string& line, const std::vector<std::string>& names,
                                   const fs::path& file, int number) {
  if (names.empty()) stop_input(file.string() + ", line " + std::to_string(number) + ": a row before the header line");
  std::vector<std::string> words = split_words(line);
  if (words.size() != names.size()) {
    stop_input(file.string() + ", line " + std::to_string(number) + ": a row of the table has " +
               std::to_string(words.size()) + " items, not " + std::to_string(names.size()) + " (the header's)");
  }
  return words;
}

Table read_table(const fs::path& file, const std::string& modulus, bool error_estimate) {
  std::ifstream in(file);
  if (!in) stop_input("cannot read the sweep table \"" + file.string() + "\"");
  Table table;
  std::string line;
  std::vector<std::string> names;
  std::size_t frequency = 0, velocity = 0, q = 0, estimate = 0, velocity_estimate = 0, q_estimate = 0;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty()) continue;
    if (names.empty()) {
      // The header: the columns' names, blank-separated (common/table_header.hpp).
      names = split_words(line);
      const SummaryColumns wanted = summary_columns(modulus);
      frequency = column_index(names, std::string(sweep_table::columns[0]), file, modulus);
      velocity = column_index(names, wanted.velocity, file, modulus);
      q = column_index(names, wanted.thousand_over_q, file, modulus);
      if (error_estimate) {
        estimate = column_index(names, "error_estimate_w", file, modulus);
        velocity_estimate = column_index(names, "error_estimate_vel_w", file, modulus);
        q_estimate = column_index(names, std::string(sweep_table::error_estimate_columns[2]), file, modulus);
      }
      continue;
    }
    const std::vector<std::string> words = row_words(line, names, file, number);
    table.frequency.push_back(words[frequency]);
    table.velocity.push_back(value_of(words[velocity], file, number));
    table.thousand_over_q.push_back(value_of(words[q], file, number));
    if (error_estimate) {
      table.error_estimate.push_back(value_of(words[estimate], file, number));
      table.velocity_estimate.push_back(value_of(words[velocity_estimate], file, number));
      table.thousand_over_q_estimate.push_back(value_of(words[q_estimate], file, number));
    }
  }
  if (table.frequency.empty()) stop_input("the sweep table \"" + file.string() + "\" has no rows");
  return table;
}

// The column of a tensor table that holds the estimated error of `column`
// (a sweep with --error-estimate): the relative error of a modulus (its Re
// and Im alike) or of a velocity, the absolute error of a 1000/Q; empty
// when the column has none.
std::string estimate_column(const std::string& column) {
  for (const char* wave : {"qP", "qSV"}) {
    if (column == std::string(wave) + "_velocity_m_per_s") return std::string("estimate_") + wave + "_vel";
    if (column == std::string(wave) + "_thousand_over_Q") return std::string("estimate_") + wave + "_thousand_over_Q";
  }
  for (const char* c : {"c11", "c13", "c33", "c55"}) {
    for (const char* part : {"Re_", "Im_"}) {
      if (column == part + std::string(c) + "_Pa") return std::string("estimate_") + c;
    }
  }
  if (column == "Re_c13h_Pa" || column == "Im_c13h_Pa") return "estimate_c13";
  return "";
}

// The values of `quantity` in one realisation's tensor table, one per
// frequency, with the frequencies as written, and with `error_estimate`
// their estimated errors where the table has them.
Table read_quantity(const fs::path& file, const TensorQuantity& quantity, const std::string& text,
                    bool error_estimate) {
  std::ifstream in(file);
  if (!in) stop_input("cannot read the table \"" + file.string() + "\" that quantity = " + text + " summarises");
  Table table;
  std::string line;
  std::vector<std::string> names;
  std::size_t frequency = 0, column = 0, angle = 0, estimate = 0;
  const std::string estimate_name = error_estimate ? estimate_column(quantity.column) : std::string();
  auto index = [&](const std::string& name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == name) return i;
    }
    stop_input("the table \"" + file.string() + "\" has no column " + name + " in its header line, which " +
               "quantity = " + text + " summarises");
  };
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty()) continue;
    if (names.empty()) {
      names = split_words(line);
      frequency = index(std::string(tensor_table::angle_columns[0]));
      column = index(quantity.column);
      if (quantity.at_angle) angle = index(std::string(tensor_table::angle_columns[1]));
      if (!estimate_name.empty()) estimate = index(estimate_name);
      continue;
    }
    const std::vector<std::string> words = row_words(line, names, file, number);
    if (quantity.at_angle && value_of(words[angle], file, number) != quantity.angle) continue;
    table.frequency.push_back(words[frequency]);
    table.velocity.push_back(value_of(words[column], file, number));  // the quantity's values
    if (!estimate_name.empty()) table.velocity_estimate.push_back(value_of(words[estimate], file, number));
  }
  if (table.frequency.empty()) {
    stop_input("the table \"" + file.string() + "\" has no rows" +
               (quantity.at_angle ? " at " + format_real(quantity.angle) + " degrees" : std::string()));
  }
  return table;
}

}  // namespace

bool parse_tensor_quantity(const std::string& text, TensorQuantity& quantity, std::string& why) {
  const std::size_t at = text.find('@');
  quantity = TensorQuantity{};
  quantity.column = text.substr(0, at);
  quantity.at_angle = at != std::string::npos;
  quantity.table = quantity.at_angle ? tensor_table::angle_name : tensor_table::stiffness_name;
  bool known = false;
  std::string names;
  if (quantity.at_angle) {
    for (std::size_t c = 2; c < tensor_table::angle_columns.size(); ++c) {
      known = known || quantity.column == tensor_table::angle_columns[c];
      names += std::string(names.empty() ? "" : ", ") + std::string(tensor_table::angle_columns[c]);
    }
  } else {
    for (std::size_t c = 1; c < tensor_table::stiffness_columns.size(); ++c) {
      known = known || quantity.column == tensor_table::stiffness_columns[c];
      names += std::string(names.empty() ? "" : ", ") + std::string(tensor_table::stiffness_columns[c]);
    }
    // The couplings of normal strain and shear, which the periodic tests give.
    for (const std::string_view column : tensor_table::periodic_columns) {
      known = known || quantity.column == column;
      names += ", " + std::string(column) + " (periodic)";
    }
  }
  if (!known) {
    why = "names no column of " + std::string(quantity.table) + " (its columns: " + names + ")" +
          (quantity.at_angle ? "" : "; a column of " + std::string(tensor_table::angle_name) + " takes @ANGLE");
    return false;
  }
  if (!quantity.at_angle) return true;
  const std::string angle = text.substr(at + 1);
  char* end = nullptr;
  quantity.angle = std::strtod(angle.c_str(), &end);
  if (angle.empty() || end != angle.c_str() + angle.size() || !(quantity.angle >= 0.0 && quantity.angle <= 180.0) ||
      std::fmod(quantity.angle, 15.0) != 0.0) {
    why = "has no angle of the table's grid after '@' (0, 15, 30, ..., 90 degrees, and to 180 under periodic sides)";
    return false;
  }
  return true;
}

double percentile(const std::vector<double>& sorted, double q) {
  const double position = q * static_cast<double>(sorted.size() - 1);
  const std::size_t below = static_cast<std::size_t>(std::floor(position));
  if (below + 1 >= sorted.size()) return sorted.back();
  const double fraction = position - static_cast<double>(below);
  return sorted[below] + fraction * (sorted[below + 1] - sorted[below]);
}

SampleStatistics sample_statistics(const std::vector<double>& values) {
  SampleStatistics s;
  const double n = static_cast<double>(values.size());
  double sum = 0;
  for (const double x : values) sum = sum + x;
  s.mean = sum / n;
  double squares = 0;
  for (const double x : values) squares = squares + (x - s.mean) * (x - s.mean);
  s.std = values.size() > 1 ? std::sqrt(squares / (n - 1)) : std::numeric_limits<double>::quiet_NaN();
  std::vector<double> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  s.p5 = percentile(sorted, 0.05);
  s.p50 = percentile(sorted, 0.50);
  s.p95 = percentile(sorted, 0.95);
  return s;
}

void write_summary(const fs::path& output, const std::vector<std::string>& present, const std::string& modulus,
                   bool error_estimate, const std::string& quantity) {
  std::vector<Table> tables;
  for (const std::string& name : present) {
    tables.push_back(read_table(output / name / sweep_table_name, modulus, error_estimate));
  }
  // A quantity of the tensor's tables takes the place of the modulus's
  // velocity; its frequencies must be the sweep table's.
  TensorQuantity tensor;
  if (!quantity.empty()) {
    std::string why;
    if (!parse_tensor_quantity(quantity, tensor, why)) stop_input("quantity = " + quantity + ": " + why);
    for (std::size_t t = 0; t < tables.size(); ++t) {
      const fs::path file = output / present[t] / tensor.table;
      const Table values = read_quantity(file, tensor, quantity, error_estimate);
      if (values.frequency != tables[t].frequency) {
        stop_input(file.string() + ": its frequencies differ from those of its own sweep table");
      }
      tables[t].velocity = values.velocity;
      tables[t].velocity_estimate = values.velocity_estimate;
    }
  }
  const Table& first = tables.front();
  for (std::size_t t = 1; t < tables.size(); ++t) {
    const fs::path file = output / present[t] / sweep_table_name;
    if (tables[t].frequency != first.frequency) {
      stop_input(file.string() + ": its frequencies differ from those of " + present[0] + " (" +
                 std::to_string(tables[t].frequency.size()) + " rows against " +
                 std::to_string(first.frequency.size()) + "); rerun the study so that every realisation "
                 "has the same grid");
    }
  }

  // The header (common/table_header.hpp): each statistic's name is the
  // summarised column's with the statistic before the unit.
  std::vector<std::string> names{std::string(sweep_table::columns[0]), "n"};
  const std::vector<std::string> summarised =
      quantity.empty() ? std::vector<std::string>{"velocity_m_per_s", "thousand_over_Q"}
      : tensor.at_angle ? std::vector{table_header::with_word(tensor.column, "at" + format_real(tensor.angle))}
                        : std::vector{tensor.column};
  for (const std::string& column : summarised) {
    for (const char* statistic : {"mean", "std", "p5", "p50", "p95"}) {
      names.push_back(table_header::with_word(column, statistic));
    }
  }
  // With a quantity, the largest estimate is of the quantity itself where
  // its table has one.
  const bool quantity_estimate = !quantity.empty() && !estimate_column(tensor.column).empty();
  if (error_estimate) {
    names.insert(names.end(), {"error_estimate_w_mean", "error_estimate_w_max"});
    if (quantity.empty()) {
      names.insert(names.end(), {"vel_estimate_max", "thousand_over_Q_estimate_max"});
    } else if (quantity_estimate) {
      names.push_back(table_header::with_word(summarised[0], "estimate_max"));
    }
  }
  const std::vector<std::string_view> views(names.begin(), names.end());
  table_header::Line header(views, column_width);
  for (const std::string_view name : views) header.add(name);
  std::string text = header.text() + '\n';
  for (std::size_t row = 0; row < first.frequency.size(); ++row) {
    std::vector<double> velocity, q;
    for (const Table& table : tables) {
      velocity.push_back(table.velocity[row]);
      q.push_back(table.thousand_over_q[row]);
    }
    const SampleStatistics v = sample_statistics(velocity), a = sample_statistics(q);
    table_header::Line line(views, column_width);
    line.add(first.frequency[row]);
    line.add(std::to_string(tables.size()));
    for (const double value : {v.mean, v.std, v.p5, v.p50, v.p95}) line.add(number_text(value));
    if (quantity.empty()) {
      for (const double value : {a.mean, a.std, a.p5, a.p50, a.p95}) line.add(number_text(value));
    }
    if (error_estimate) {
      double sum = 0, largest = 0, largest_velocity = 0, largest_q = 0;
      for (const Table& table : tables) {
        sum = sum + table.error_estimate[row];
        largest = table.error_estimate[row] > largest ? table.error_estimate[row] : largest;
        if (quantity.empty() || quantity_estimate) {
          largest_velocity = std::fmax(largest_velocity, table.velocity_estimate[row]);
        }
        if (quantity.empty()) largest_q = std::fmax(largest_q, table.thousand_over_q_estimate[row]);
      }
      line.add(number_text(sum / static_cast<double>(tables.size())));
      line.add(number_text(largest));
      // The largest estimated errors of the velocity and the attenuation of
      // Mw (or of the quantity) over the realisations: how far the
      // summary's curves may be off.
      if (quantity.empty()) {
        line.add(number_text(largest_velocity));
        line.add(number_text(largest_q));
      } else if (quantity_estimate) {
        line.add(number_text(largest_velocity));
      }
    }
    text += line.text() + '\n';
  }

  const fs::path temporary = output / (std::string(summary_name) + ".tmp");
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) stop_input("cannot create \"" + temporary.string() + "\"");
  const bool written = std::fputs(text.c_str(), file) >= 0;
  // A summary not written whole leaves no temporary file behind.
  std::error_code error;
  if ((std::fclose(file) != 0) || !written) {
    fs::remove(temporary, error);
    stop_input("cannot write \"" + temporary.string() + "\" (output lost): " + summary_name + " not written");
  }
  fs::rename(temporary, output / summary_name, error);
  if (error) {
    const std::string why = error.message();
    fs::remove(temporary, error);
    stop_input("cannot move \"" + temporary.string() + "\" into place: " + why);
  }
}
