#include "common/input.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>

#include "common/format.hpp"
#include "common/stop.hpp"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A real split into its parts: sign, the mantissa digits before and after
// the optional point, and the optional exponent (after E, D, or a bare sign
// when `bare_sign_exponent`), all already free of blanks.  The parsers join
// the parts again into a text that strtod reads with the same value.
struct ParsedReal {
  std::string digits_before, digits_after, exponent;
  bool negative = false;
  bool has_point = false;
};

bool split_real(std::string_view text, ParsedReal& out, bool bare_sign_exponent) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    out.negative = text[i] == '-';
    ++i;
  }
  while (i < text.size() && is_digit(text[i])) out.digits_before.push_back(text[i++]);
  if (i < text.size() && text[i] == '.') {
    out.has_point = true;
    ++i;
    while (i < text.size() && is_digit(text[i])) out.digits_after.push_back(text[i++]);
  }
  if (out.digits_before.empty() && out.digits_after.empty()) return false;
  if (i == text.size()) return true;
  const char c = text[i];
  if (c == 'e' || c == 'E' || c == 'd' || c == 'D') {
    ++i;
  } else if (!(bare_sign_exponent && (c == '+' || c == '-'))) {
    return false;
  }
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) out.exponent.push_back(text[i++]);
  std::size_t first_digit = i;
  while (i < text.size() && is_digit(text[i])) out.exponent.push_back(text[i++]);
  return i == text.size() && i > first_digit;
}

bool to_double(const std::string& text, double& value) {
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return false;
  if (errno == ERANGE && std::abs(value) > 1.0) return false;  // overflow
  return true;
}

std::string strip_blanks(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\r') out.push_back(c);
  }
  return out;
}

// First token of a line: blanks and a comma separate items.
std::string_view first_token(std::string_view line) {
  std::size_t start = 0;
  while (start < line.size() && (line[start] == ' ' || line[start] == '\t' || line[start] == '\r')) ++start;
  std::size_t end = start;
  while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != ',' && line[end] != '\r') ++end;
  return line.substr(start, end - start);
}

bool is_blank_char(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// What ends an item of a line: a blank or a comma.
bool is_separator(char c) { return is_blank_char(c) || c == ','; }

bool is_blank(std::string_view line) {
  for (char c : line) {
    if (!is_blank_char(c)) return false;
  }
  return true;
}

std::string shown(std::string_view text) {
  std::string out = "\"";
  for (char c : text.substr(0, 40)) out.push_back((c >= 32 && c < 127) ? c : '?');
  if (text.size() > 40) out += "...";
  return out + "\"";
}

}  // namespace

bool parse_free_integer(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long magnitude = 0;
  for (; i < text.size(); ++i) {
    if (!is_digit(text[i])) return false;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > 2147483648LL) return false;
  }
  const long long signed_value = negative ? -magnitude : magnitude;
  if (signed_value > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(signed_value);
  return true;
}

bool parse_free_real(std::string_view text, double& value) {
  ParsedReal parts;
  if (!split_real(text, parts, false)) return false;
  std::string normal = parts.negative ? "-" : "";
  normal += parts.digits_before.empty() ? "0" : parts.digits_before;
  normal += "." + parts.digits_after;
  if (!parts.exponent.empty()) normal += "e" + parts.exponent;
  return to_double(normal, value);
}

bool parse_column_real(std::string_view field, int fraction_digits, double& value, bool& implied) {
  implied = false;
  if (field.empty()) {
    value = 0.0;
    return true;
  }
  ParsedReal parts;
  if (!split_real(field, parts, true)) return false;
  if (parts.has_point) {
    std::string normal = parts.negative ? "-" : "";
    normal += parts.digits_before.empty() ? "0" : parts.digits_before;
    normal += "." + parts.digits_after;
    if (!parts.exponent.empty()) normal += "e" + parts.exponent;
    return to_double(normal, value);
  }
  // No decimal point: the last `fraction_digits` digits are the fraction.
  long long exponent = 0;
  if (!parts.exponent.empty()) {
    if (parts.exponent.size() > 6) return false;
    exponent = std::atoll(parts.exponent.c_str());
  }
  implied = true;
  std::string normal = parts.negative ? "-" : "";
  normal += parts.digits_before + "e" + std::to_string(exponent - fraction_digits);
  return to_double(normal, value);
}

std::size_t number_prefix_length(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  bool digits = false;
  for (; i < text.size() && is_digit(text[i]); ++i) digits = true;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && is_digit(text[i]); ++i) digits = true;
  }
  if (!digits) return 0;
  const std::size_t mantissa = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i == mantissa) return mantissa;
  const std::size_t first_digit = i;
  while (i < text.size() && is_digit(text[i])) ++i;
  return i > first_digit ? i : mantissa;
}

LineInput::LineInput(std::istream& in, std::string source_name) : in_(in), source_(std::move(source_name)) {}

int LineInput::next_char(std::string_view item) {
  std::streambuf* buffer = in_.rdbuf();
  int c = EOF;
  try {
    // A file stream reports a failed read by an exception.
    errno = 0;
    c = buffer->sbumpc();
  } catch (const std::ios_base::failure& failure) {
    stop_input(source_ + ", line " + std::to_string(line_number_ + 1) + ": cannot read " + std::string(item) +
               ": the read failed (" + failure.code().message() + ")");
  }
  // Standard input shared with C's stdio reports it in the stream's error
  // flag, with the reason in errno.
  if (c == EOF && buffer == std::cin.rdbuf() && std::ferror(stdin)) {
    const int reason = errno;
    stop_input(source_ + ", line " + std::to_string(line_number_ + 1) + ": cannot read " + std::string(item) +
               ": the read failed (" + std::strerror(reason != 0 ? reason : EIO) + ")");
  }
  return c;
}

bool LineInput::next_line(std::string_view item, std::string_view expected) {
  line_.clear();
  int c = next_char(item);
  if (c == EOF) return false;  // a last line without its newline still counts below
  for (; c != EOF && c != '\n'; c = next_char(item)) {
    if (line_.size() == max_line_length) {
      fail_on_line(line_number_ + 1, item, "a line longer than " + std::to_string(max_line_length) + " characters",
                   expected);
    }
    // Grow by doubling, but never beyond the longest line admitted.
    if (line_.size() == line_.capacity()) line_.reserve(std::min(2 * line_.capacity(), max_line_length));
    line_.push_back(static_cast<char>(c));
  }
  ++line_number_;
  return true;
}

bool LineInput::next_nonblank_line(std::string_view item, std::string_view expected) {
  while (next_line(item, expected)) {
    if (!is_blank(line_)) return true;
  }
  return false;
}

int LineInput::next_record_line() {
  return next_nonblank_line("a record", "a record j, k, value") ? line_number_ : 0;
}

void LineInput::fail_on_line(int line, std::string_view item, std::string_view found, std::string_view expected) {
  std::string message = source_ + ", line " + std::to_string(line) + ": cannot read " + std::string(item) + ": " +
                        std::string(expected) + " expected, found " + std::string(found);
  stop_input(message);
}

void LineInput::fail(std::string_view item, std::string_view found, std::string_view expected) {
  fail_on_line(line_number_, item, found, expected);
}

void LineInput::fail_at_end(std::string_view item, std::string_view end, std::string_view expected) {
  // The missing item belongs on the line after the last one read.
  fail_on_line(line_number_ + 1, item, end, expected);
}

double LineInput::free_real(std::string_view item) {
  if (!next_nonblank_line(item, "a real number")) fail_at_end(item, "the end of the input", "a real number");
  const std::string_view token = first_token(line_);
  double value = 0;
  if (!parse_free_real(token, value)) fail(item, shown(token), "a real number");
  return value;
}

std::int32_t LineInput::free_integer(std::string_view item) {
  if (!next_nonblank_line(item, "an integer")) fail_at_end(item, "the end of the input", "an integer");
  const std::string_view token = first_token(line_);
  std::int32_t value = 0;
  if (!parse_free_integer(token, value)) fail(item, shown(token), "an integer");
  return value;
}

std::int32_t LineInput::column_integer(std::string_view item, int width) {
  const std::string expected = "an integer in columns 1-" + std::to_string(width);
  if (!next_line(item, expected)) fail_at_end(item, "the end of the input", expected);
  const std::string_view raw = std::string_view(line_).substr(0, width);
  const std::string field = strip_blanks(raw);
  std::int32_t value = 0;
  if (!field.empty() && !parse_free_integer(field, value)) fail(item, shown(raw), expected);
  warn_misplaced_number(item, width, field.empty(), std::to_string(value));
  return value;
}

double LineInput::column_real(std::string_view item, int width) {
  const std::string expected = "a real in columns 1-" + std::to_string(width);
  if (!next_line(item, expected)) fail_at_end(item, "the end of the input", expected);
  const std::string_view raw = std::string_view(line_).substr(0, width);
  const std::string field = strip_blanks(raw);
  double value = 0;
  bool implied = false;
  if (!parse_column_real(field, 10, value, implied)) fail(item, shown(raw), expected);
  if (implied) {
    std::fprintf(stderr,
                 "warning: %s, line %d: %.*s is written without a decimal point (%s) and reads as %s\n",
                 source_.c_str(), line_number_, static_cast<int>(item.size()), item.data(), field.c_str(),
                 format_real(value).c_str());
  }
  warn_misplaced_number(item, width, field.empty(), format_real(value));
  return value;
}

// A column field reads only its own columns.  Two slips leave a number
// where the field does not see it all: a number typed to the right of a
// blank field (which reads as 0), and a number begun so late that it runs
// on past the field's last column (the field holds only its beginning).
// Both read as the format says, with a warning; any other text after the
// field (a comment) is not the field's concern.
void LineInput::warn_misplaced_number(std::string_view item, int width, bool field_blank,
                                      std::string_view value_text) {
  const std::string_view line = line_;
  const std::size_t w = static_cast<std::size_t>(width);
  if (line.size() <= w) return;
  auto say = [&](const std::string& what) {
    std::fprintf(stderr, "warning: %s, line %d: %.*s reads as %.*s from columns 1-%d, but %s\n", source_.c_str(),
                 line_number_, static_cast<int>(item.size()), item.data(), static_cast<int>(value_text.size()),
                 value_text.data(), width, what.c_str());
  };
  if (field_blank) {
    // The next item after the blank field, when it is a number as a whole.
    std::size_t start = w;
    while (start < line.size() && is_blank_char(line[start])) ++start;
    const std::string_view token = first_token(line.substr(start));
    if (!token.empty() && number_prefix_length(token) == token.size()) {
      say("the field is blank and the number " + shown(token) + " stands further right, from column " +
          std::to_string(start + 1));
    }
    return;
  }
  // The item that holds the field's last column and the column after it.
  if (is_separator(line[w - 1]) || is_separator(line[w])) return;
  std::size_t start = w - 1;
  while (start > 0 && !is_separator(line[start - 1])) --start;
  std::size_t end = w;
  while (end < line.size() && !is_separator(line[end])) ++end;
  const std::string_view token = line.substr(start, end - start);
  const std::size_t in_field = w - start;
  const std::size_t number = number_prefix_length(token);
  if (number > in_field) {
    say("the number " + shown(token.substr(0, number)) + " in its last column runs on past column " +
        std::to_string(width));
  }
}

double LineInput::cell_record_value(std::string_view what, std::int32_t j, std::int32_t k) {
  std::int32_t label_j = 0, label_k = 0;
  return cell_record(what, j, k, label_j, label_k);
}

double LineInput::cell_record(std::string_view what, std::int32_t j, std::int32_t k, std::int32_t& label_j,
                              std::int32_t& label_k) {
  // The item's name is formed only when there is an error to report.
  auto item_name = [&] {
    return std::string(what) + " of cell (" + std::to_string(j) + "," + std::to_string(k) + ")";
  };
  if (!next_nonblank_line(item_name(), "a record j, k, value")) {
    fail_at_end(item_name(), "the end of the file", "a record j, k, value");
  }
  const std::string_view line = line_;
  // Items are separated by blanks, or by one comma with blanks around it.
  std::string_view rest = line;
  std::string_view tokens[3];
  auto skip_blanks = [&rest] {
    std::size_t start = 0;
    while (start < rest.size() && (rest[start] == ' ' || rest[start] == '\t' || rest[start] == '\r')) ++start;
    rest = rest.substr(start);
  };
  for (int t = 0; t < 3; ++t) {
    skip_blanks();
    if (t > 0 && !rest.empty() && rest[0] == ',') {
      rest = rest.substr(1);
      skip_blanks();
    }
    tokens[t] = first_token(rest);
    if (tokens[t].empty()) fail(item_name(), shown(line), "three items j, k, value");
    rest = rest.substr(tokens[t].size());
  }
  if (!parse_free_integer(tokens[0], label_j) || !parse_free_integer(tokens[1], label_k)) {
    fail(item_name(), shown(line), "two integers j, k before the value");
  }
  double value = 0;
  if (!parse_free_real(tokens[2], value)) fail(item_name(), shown(tokens[2]), "a real value");
  return value;
}

void read_cell_map(const std::string& file_name, std::string_view map_name, std::string_view what, std::int32_t nx,
                   std::int32_t ny, RealMap& map) {
  std::ifstream file(file_name);
  if (!file) stop_input("cannot open \"" + file_name + "\": " + std::string(map_name) + " is missing or unreadable");
  LineInput input(file, file_name);
  bool labels_warned = false;
  for (std::int32_t k = 1; k <= ny; ++k) {
    for (std::int32_t j = 1; j <= nx; ++j) {
      std::int32_t label_j = 0, label_k = 0;
      map(j, k) = input.cell_record(what, j, k, label_j, label_k);
      if (!labels_warned && (label_j != j || label_k != k)) {
        labels_warned = true;
        std::fprintf(stderr,
                     "warning: %s, line %d: the record labelled cell (%d,%d) stands at the position of cell (%d,%d); "
                     "records are taken by position, so its value is used for cell (%d,%d)\n",
                     file_name.c_str(), input.line_number(), static_cast<int>(label_j), static_cast<int>(label_k),
                     static_cast<int>(j), static_cast<int>(k), static_cast<int>(j), static_cast<int>(k));
      }
    }
  }
  long long beyond = 0;
  while (input.next_record_line() != 0) ++beyond;
  if (beyond > 0) {
    std::fprintf(stderr, "warning: %s: %lld records after the %lld of the deck's %d x %d cells were ignored\n",
                 file_name.c_str(), beyond, static_cast<long long>(nx) * ny, static_cast<int>(nx),
                 static_cast<int>(ny));
  }
}

int cell_record_line(const std::string& file_name, std::int32_t nx, std::int32_t j, std::int32_t k) {
  std::ifstream file(file_name);
  if (!file) return 0;
  LineInput input(file, file_name);
  const std::int64_t record = std::int64_t{k - 1} * nx + j;
  int line = 0;
  for (std::int64_t r = 1; r <= record; ++r) {
    line = input.next_record_line();
    if (line == 0) return 0;
  }
  return line;
}
