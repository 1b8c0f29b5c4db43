// Formatted output: free-format records and the fixed edit descriptors.
//
// A free-format record is one line: its items in order, separated by one
// blank.  Text items are written exactly as given (labels keep their own
// spacing), integers in decimal, reals in the shortest form that reads back
// to the same double.  record(unit) with no item writes an empty line.
//
// The fixed formats follow Fortran's edit descriptors:
//   format_e(x, w, d)  Ew.d: 0.ddd...E+xx, right-justified in w characters;
//   format_g(x, w, d)  Gw.d: d significant digits; when the value rounded
//                      to d digits lies in [0.1, 10^d) (or is 0) it is
//                      written as F(w-4) with 4 trailing blanks, otherwise
//                      as Ew.d;
//   format_f(x, w, d)  Fw.d: fixed notation with d decimals in w characters.
// A value that does not fit its width is written in full rather than lost.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/units.hpp"

std::string format_real(double x);
std::string format_e(double x, int width, int digits);
std::string format_g(double x, int width, int digits);
std::string format_f(double x, int width, int decimals);

namespace record_detail {
// Each item is written straight into the unit's buffer: a record costs no
// allocation, however many of them a per-cell file holds.
void put(int unit, std::string_view text);
inline void put(int unit, const char* text) { put(unit, std::string_view(text)); }
inline void put(int unit, const std::string& text) { put(unit, std::string_view(text)); }
void put(int unit, std::int32_t value);
void put(int unit, std::int64_t value);
void put(int unit, double value);
}  // namespace record_detail

// One free-format record on `unit`.
template <class... Items>
void record(int unit, const Items&... items) {
  bool first = true;
  [[maybe_unused]] auto add = [&](const auto& item) {
    if (!first) record_detail::put(unit, std::string_view(" "));
    first = false;
    record_detail::put(unit, item);
  };
  (add(items), ...);
  record_detail::put(unit, std::string_view("\n"));
}
