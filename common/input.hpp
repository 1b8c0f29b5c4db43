// Formatted input, read line by line with line numbers for the messages.
//
// Free-format items (the parameter deck's free lines and the per-cell
// files): blank lines before an item are skipped; the item is the first
// token of its line, ended by a blank or a comma; the rest of the line is
// ignored.  Reals accept E or Fortran's D exponent.
//
// Column fields (the deck's formatted lines) read exactly one line, which
// counts as padded with blanks; blanks inside the field are ignored:
//   "(i5)"     an integer in columns 1-5;
//   "(g20.10)" a real in columns 1-20.  A field without a decimal point has
//              its last ten digits taken as the fraction (2 reads 2e-10, 2e9
//              reads 0.2); a warning naming the line goes to the error stream.
//
// Every error stops the run (stop_input) with a message naming the source,
// the line, the item and what was found there.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

#include "common/cellmap.hpp"

class LineInput {
 public:
  LineInput(std::istream& in, std::string source_name);

  double free_real(std::string_view item);
  std::int32_t free_integer(std::string_view item);
  std::int32_t column_integer(std::string_view item, int width);  // "(i5)" for width 5
  double column_real(std::string_view item, int width);           // "(g20.10)" for width 20

  // One record of a per-cell file: integer, integer, real.  The two
  // integers are read and discarded; the real is returned.  An error names
  // the item as "<what> of cell (j,k)".
  double cell_record_value(std::string_view what, std::int32_t j, std::int32_t k);

  int line_number() const { return line_number_; }
  const std::string& source_name() const { return source_; }

 private:
  bool next_line(std::string& line);
  bool next_nonblank_line(std::string& line);
  [[noreturn]] void fail(std::string_view item, std::string_view found, std::string_view expected);

  std::istream& in_;
  std::string source_;
  int line_number_ = 0;
};

// Reads a per-cell file of nx*ny records j, k, value, row by row from the
// bottom (k outer, j inner): the value of each record is stored at the cell
// its place in the file gives, whatever its two integers say.  A missing
// file stops the run (without creating it), and so does a short file or an
// unreadable record, with a message naming the file, the line and the cell.
// `map_name` says what the file is, `what` what each value is.
void read_cell_map(const std::string& file_name, std::string_view map_name, std::string_view what, std::int32_t nx,
                   std::int32_t ny, RealMap& map);

// Parsing helpers, exposed for the tests and the fuzz targets.
// Each returns false when the text is not a complete number of its kind.
bool parse_free_integer(std::string_view text, std::int32_t& value);
bool parse_free_real(std::string_view text, double& value);
// A "(gw.d)" field with blanks already removed; `implied` is set when the
// field had no decimal point and was scaled by 10^-d.
bool parse_column_real(std::string_view field, int fraction_digits, double& value, bool& implied);
