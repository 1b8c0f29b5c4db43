#include "medium/cell_record.hpp"

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "common/format.hpp"
#include "common/units.hpp"

void write_cell_record(int unit, std::int32_t j, std::int32_t k, double value) {
  if (!std::isfinite(value)) {
    record(unit, j, k, value);  // rare: keep the shared spelling of inf and NaN
    return;
  }
  // Room: 11 characters per integer, 24 for the shortest double, 2 blanks.
  char text[80];
  char* p = std::to_chars(text, text + 12, j).ptr;
  *p++ = ' ';
  p = std::to_chars(p, p + 12, k).ptr;
  *p++ = ' ';
  p = std::to_chars(p, p + 32, value).ptr;  // shortest form that reads back exactly
  write_line(unit, std::string_view(text, static_cast<std::size_t>(p - text)));
}
