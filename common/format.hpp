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
// The text of one item of a record.  Numbers are formatted into the item's
// own buffer, so a record costs no allocation, however many of them a
// per-cell file holds.  The view points into the object: it is used within
// the expression that made it and never copied.
class ItemText {
 public:
  ItemText(std::string_view text) : view_(text) {}
  ItemText(const char* text) : view_(text) {}
  ItemText(const std::string& text) : view_(text) {}
  ItemText(std::int32_t value);
  ItemText(std::int64_t value);
  ItemText(double value);  // the shortest form that reads back to the same double
  ItemText(const ItemText&) = delete;
  ItemText& operator=(const ItemText&) = delete;
  std::string_view view() const { return view_; }

 private:
  char buffer_[32];
  std::string_view view_;
};
}  // namespace record_detail

// One free-format record on `unit`.
template <class... Items>
void record(int unit, const Items&... items) {
  if (output_discarded()) return;
  bool first = true;
  [[maybe_unused]] auto add = [&](const auto& item) {
    if (!first) write_text(unit, " ");
    first = false;
    write_text(unit, record_detail::ItemText(item).view());
  };
  (add(items), ...);
  write_text(unit, "\n");
}

// The text of the same record, without its newline: for messages that are
// carried as well as written (the message of a stop).
template <class... Items>
std::string record_text(const Items&... items) {
  std::string text;
  bool first = true;
  [[maybe_unused]] auto add = [&](const auto& item) {
    if (!first) text += ' ';
    first = false;
    text += record_detail::ItemText(item).view();
  };
  (add(items), ...);
  return text;
}
