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
// A number typed in the wrong columns keeps the value its field reads, with
// a warning naming the line and the item: when the field is blank (it reads
// as 0) and the next item of the line is a number, or when the number in
// the field's last column runs on past it (the field holds only its first
// characters).  Anything else after the field, a comment after a filled
// field for one, is ignored without a word.
//
// A line holds at most max_line_length characters: a longer one (a stream
// without line ends, such as /dev/zero) is refused rather than read without
// bound.  A read that fails (a directory, an I/O error) is reported as
// such, not as an end of the input.  An input that ends before its item
// names the line after the last one read: where the missing item belongs.
//
// Every error stops the run (stop_input) with a message naming the source,
// the line, the item and what was found there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

#include "common/cellmap.hpp"

constexpr std::size_t max_line_length = std::size_t{64} << 20;  // 64 MiB

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
  // The same, keeping the two integers: the labels j, k the record gives.
  double cell_record(std::string_view what, std::int32_t j, std::int32_t k, std::int32_t& label_j,
                     std::int32_t& label_k);

  // Skips to the next record of a per-cell file (the next line that is not
  // blank) and returns its line number; 0 when the input ends first.
  int next_record_line();

  // The number of lines read so far (complete or ended by the input's end).
  int line_number() const { return line_number_; }
  const std::string& source_name() const { return source_; }

 private:
  // Each reads one line into line_ (without its newline); false at the end
  // of the input.  `item` and `expected` word the message of a failure.
  bool next_line(std::string_view item, std::string_view expected);
  bool next_nonblank_line(std::string_view item, std::string_view expected);
  // Reads one character; EOF at the end of the input.  A failed read stops.
  int next_char(std::string_view item);
  // The message of a stop names the source, the line, the item, what was
  // expected and what was found; fail() names the line read last,
  // fail_at_end() the line after it, where the missing item belongs.
  [[noreturn]] void fail_on_line(int line, std::string_view item, std::string_view found, std::string_view expected);
  [[noreturn]] void fail(std::string_view item, std::string_view found, std::string_view expected);
  [[noreturn]] void fail_at_end(std::string_view item, std::string_view end, std::string_view expected);
  void warn_misplaced_number(std::string_view item, int width, bool field_blank, std::string_view value_text);

  std::istream& in_;
  std::string source_;
  int line_number_ = 0;
  std::string line_;  // the line read last, reused from line to line
};

// Reads a per-cell file of nx*ny records j, k, value, row by row from the
// bottom (k outer, j inner): the value of each record is stored at the cell
// its place in the file gives, whatever its two integers say.  A missing
// file stops the run (without creating it), and so does a short file or an
// unreadable record, with a message naming the file, the line and the cell.
// Two warnings go to the error stream, standard output staying as it is:
// the first record whose labels differ from its position (a map written
// column by column, or for another grid), naming the file, the line and
// both cells; and the records after the nx*ny read, saying how many were
// ignored.
// `map_name` says what the file is, `what` what each value is.
void read_cell_map(const std::string& file_name, std::string_view map_name, std::string_view what, std::int32_t nx,
                   std::int32_t ny, RealMap& map);

// The line of a per-cell file (of rows of nx cells) that holds the record
// of cell (j,k), found by reading the file again with the rules of
// read_cell_map; 0 when the file can no longer be read that far.  For the
// messages of checks made on the values after they were read.
int cell_record_line(const std::string& file_name, std::int32_t nx, std::int32_t j, std::int32_t k);

// Parsing helpers, exposed for the tests and the fuzz targets.
// Each returns false when the text is not a complete number of its kind.
bool parse_free_integer(std::string_view text, std::int32_t& value);
bool parse_free_real(std::string_view text, double& value);
// A "(gw.d)" field with blanks already removed; `implied` is set when the
// field had no decimal point and was scaled by 10^-d.
bool parse_column_real(std::string_view field, int fraction_digits, double& value, bool& implied);
// Length of the longest beginning of `text` that is a number as a column
// field reads it (sign, digits with at most one point, an optional exponent
// with E, D or a bare sign); 0 when the text does not begin with one.
std::size_t number_prefix_length(std::string_view text);
