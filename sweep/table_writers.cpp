// The writers of the sweep's tables (sweep/table_writers.hpp).
#include "sweep/table_writers.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/complex.hpp"
#include "common/format.hpp"
#include "common/stop.hpp"
#include "common/table_header.hpp"
#include "common/units.hpp"
#include "driver/evaluation.hpp"
#include "sweep/effective_tensor.hpp"
#include "sweep/sweep_table.hpp"
#include "sweep/tensor_tables.hpp"

namespace {

using sweep_table::column_width;

// The relative distance |a - b| / |b| of two moduli.
double relative_error(const dcomplex& a, const dcomplex& b) { return abs(a - b) / abs(b); }

std::string right_justified(std::string_view text, int width) { return table_header::field(text, width); }

// The columns of the sweep's table before its flags, in their order.
std::vector<std::string_view> sweep_columns(bool layered, bool refined) {
  std::vector<std::string_view> names(sweep_table::columns.begin(), sweep_table::columns.end());
  if (layered) names.insert(names.end(), sweep_table::exact_columns.begin(), sweep_table::exact_columns.end());
  if (refined) {
    names.insert(names.end(), sweep_table::error_estimate_columns.begin(), sweep_table::error_estimate_columns.end());
  }
  names.push_back(sweep_table::diffusion_column);
  return names;
}

// The last angle of the angle table: 180 degrees under periodic sides,
// whose sample need not be symmetric about the vertical.
double last_angle(bool periodic) { return periodic ? 180.0 : 90.0; }

// The Richardson estimate of the error of a quantity x at h from its value
// at h/2, for second-order convergence: |x - (4 x_half - x) / 3|.
double richardson(double x, double x_half) { return std::fabs(x - (4.0 * x_half - x) / 3.0); }

// The columns of the two tables of the tensor, in their order.
std::vector<std::string_view> stiffness_columns(bool periodic, bool layered, bool refined) {
  using namespace tensor_table;
  std::vector<std::string_view> names(tensor_table::stiffness_columns.begin(), tensor_table::stiffness_columns.end());
  if (periodic) names.insert(names.end(), periodic_columns.begin(), periodic_columns.end());
  if (periodic && layered) names.insert(names.end(), exact_columns.begin(), exact_columns.end());
  if (refined) names.insert(names.end(), estimate_columns.begin(), estimate_columns.end());
  return names;
}

std::vector<std::string_view> angle_columns(bool refined) {
  using namespace tensor_table;
  std::vector<std::string_view> names(tensor_table::angle_columns.begin(), tensor_table::angle_columns.end());
  if (refined) names.insert(names.end(), angle_estimate_columns.begin(), angle_estimate_columns.end());
  return names;
}

}  // namespace

void write_table_header(bool layered, bool refined) {
  const std::vector<std::string_view> names = sweep_columns(layered, refined);
  table_header::Line line(names, column_width);
  for (const std::string_view name : names) line.add(name);
  write_line(table_unit, line.text() + right_justified(sweep_table::flags_column, sweep_table::flags_width));
}

void write_table_row(double frequency, const SweepPoint& point, bool periodic, const std::string& where) {
  const SampleResults& r = point.results;
  const double values[] = {frequency,      point.pass.omega,
                           r.velocity_c33, r.thousand_over_q_c33,
                           r.c33.re,       r.c33.im,
                           r.mstar.re,     r.mstar.im,
                           point.pass.vp1, point.pass.thousand_over_qp1,
                           r.mw.re,        r.mw.im,
                           r.velocity_w,   r.thousand_over_q_w,
                           r.velocity_mstar, r.thousand_over_q_mstar,
                           point.pass.rob_med};
  static_assert(std::size(values) == sweep_table::columns.size());
  table_header::Line line(sweep_columns(point.reference.valid, point.refined), column_width);
  for (const double value : values) line.add(format_real(value));
  if (point.reference.valid) {
    const LayeredSolution& x = point.reference;
    for (const double value : {x.mw.re, x.mw.im, relative_error(r.mw, x.mw), phase_velocity(x.mw, point.pass.rob_med),
                               1000.0 * x.mw.im / x.mw.re}) {
      line.add(format_real(value));
    }
  }
  if (point.refined) {
    const ErrorEstimates e = error_estimates(point);
    for (const double value : {e.mw, e.velocity, e.thousand_over_q}) line.add(format_real(value));
  }
  line.add(format_real(point.diffusion_cells));
  // The flags keep a blank before them however many they are.
  const std::string flags = row_flags(point, periodic);
  write_line(table_unit, line.text() + right_justified(flags, table_header::width_of(flags, sweep_table::flags_width)));
  if (!flush_unit(table_unit)) {
    stop_input("cannot write " + lost_output().back() + ": the sweep stops, since no later row could be kept\n" +
               where);
  }
}

void write_limits_table(const LayeredLimits& low, const LayeredLimits& high, double rob_med) {
  const std::vector<std::string_view> names(sweep_table::limits_columns.begin(), sweep_table::limits_columns.end());
  table_header::Line header(names, column_width);
  for (const std::string_view name : names) header.add(name);
  std::string text = header.text() + '\n';
  auto row = [&](const char* name, bool exists, double modulus) {
    table_header::Line line(names, column_width);
    line.add(name);
    line.add(exists ? format_real(modulus) : "nan");
    line.add(exists ? format_real(phase_velocity(dcomplex(modulus, 0.0), rob_med)) : "nan");
    text += line.text() + '\n';
  };
  row("relaxed", low.relaxed_exists, low.relaxed);
  row("unrelaxed", high.unrelaxed_exists, high.unrelaxed);
  std::FILE* file = std::fopen(sweep_table::limits_name, "w");
  const bool written = file != nullptr && std::fputs(text.c_str(), file) >= 0;
  if (file == nullptr || std::fclose(file) != 0 || !written) {
    stop_input(std::string("cannot write \"") + sweep_table::limits_name + "\" (output lost)");
  }
}

void write_tensor_headers(bool periodic, bool layered, bool refined) {
  for (const auto& [unit, names] : {std::pair{stiffness_unit, stiffness_columns(periodic, layered, refined)},
                                    std::pair{angle_unit, angle_columns(refined)}}) {
    table_header::Line line(names, tensor_table::column_width);
    for (const std::string_view name : names) line.add(name);
    write_line(unit, line.text());
  }
}

void write_tensor_rows(double frequency, const SweepPoint& point, double angle_step, const std::string& where) {
  const EffectiveStiffness& c = point.stiffness;
  const double values[] = {frequency, c.c11.re,  c.c11.im,  c.c13.re,           c.c13.im,
                           c.c13h.re, c.c13h.im, c.c33.re,  c.c33.im,           c.c55.re,
                           c.c55.im,  c13_difference(c),    point.pass.rob_med, point.pass.vp1,
                           point.pass.vs1};
  static_assert(std::size(values) == tensor_table::stiffness_columns.size());
  table_header::Line line(stiffness_columns(c.periodic, point.stack.valid, point.refined), tensor_table::column_width);
  for (const double value : values) line.add(format_real(value));
  if (c.periodic) {
    const dcomplex c15 = 0.5 * (c.c15 + c.c51), c35 = 0.5 * (c.c35 + c.c53);
    for (const double value : {c15.re, c15.im, c35.re, c35.im, reciprocity_difference(c)}) {
      line.add(format_real(value));
    }
    if (point.stack.valid) {
      // The infinite stack's exact stiffness and the relative error of
      // each finite-element component (c13: the mean of its two).
      const StackStiffness& x = point.stack;
      const dcomplex c13 = 0.5 * (c.c13 + c.c13h);
      for (const double value : {x.c11.re, x.c11.im, x.c13.re, x.c13.im, x.c33.re, x.c33.im, x.c55.re, x.c55.im,
                                 relative_error(c.c11, x.c11), relative_error(c13, x.c13),
                                 relative_error(c.c33, x.c33), relative_error(c.c55, x.c55)}) {
        line.add(format_real(value));
      }
    }
  }
  if (point.refined) {
    // Each component's relative error and the absolute error of its
    // 1000/Q, from the same sample at h/2.
    const EffectiveStiffness& half = point.stiffness_half;
    const dcomplex c13 = 0.5 * (c.c13 + c.c13h), c13_half = 0.5 * (half.c13 + half.c13h);
    const std::pair<dcomplex, dcomplex> pairs[] = {{c.c11, half.c11}, {c13, c13_half}, {c.c33, half.c33},
                                                   {c.c55, half.c55}};
    for (const auto& [at_h, at_half] : pairs) {
      const dcomplex extrapolated = (4.0 * at_half - at_h) / dcomplex(3.0, 0.0);
      const double q = 1000.0 * at_h.im / at_h.re, q_half = 1000.0 * at_half.im / at_half.re;
      for (const double value : {relative_error(at_h, extrapolated), richardson(q, q_half)}) {
        line.add(format_real(value));
      }
    }
  }
  write_line(stiffness_unit, line.text());
  const double last = last_angle(c.periodic);
  for (std::int32_t i = 0; i < angle_count(angle_step, last); ++i) {
    const double angle = angle_at(angle_step, i, last);
    const AngleWaves waves = christoffel_waves(c, point.pass.rob_med, angle);
    table_header::Line row(angle_columns(point.refined), tensor_table::column_width);
    for (const double value : {frequency, angle, waves.velocity_qp, waves.thousand_over_q_qp, waves.velocity_qsv,
                               waves.thousand_over_q_qsv}) {
      row.add(format_real(value));
    }
    if (point.refined) {
      const AngleWaves half = christoffel_waves(point.stiffness_half, point.pass.rob_med, angle);
      for (const double value : {richardson(waves.velocity_qp, half.velocity_qp) / waves.velocity_qp,
                                 richardson(waves.thousand_over_q_qp, half.thousand_over_q_qp),
                                 richardson(waves.velocity_qsv, half.velocity_qsv) / waves.velocity_qsv,
                                 richardson(waves.thousand_over_q_qsv, half.thousand_over_q_qsv)}) {
        row.add(format_real(value));
      }
    }
    write_line(angle_unit, row.text());
  }
  if (!flush_unit(stiffness_unit) || !flush_unit(angle_unit)) {
    stop_input("cannot write " + lost_output().back() + ": the sweep stops, since no later row could be kept\n" +
               where);
  }
}
