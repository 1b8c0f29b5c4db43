#include "common/input.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>

#include "common/format.hpp"
#include "common/stop.hpp"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Mantissa digits, optional point, optional exponent (E, D, or a bare sign
// when `bare_sign_exponent`), all already free of blanks.  On success
// `normalised` holds a text strtod reads with the same value.
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

bool is_blank(std::string_view line) {
  for (char c : line) {
    if (c != ' ' && c != '\t' && c != '\r') return false;
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

LineInput::LineInput(std::istream& in, std::string source_name) : in_(in), source_(std::move(source_name)) {}

bool LineInput::next_line(std::string& line) {
  if (!std::getline(in_, line)) return false;
  ++line_number_;
  return true;
}

bool LineInput::next_nonblank_line(std::string& line) {
  while (next_line(line)) {
    if (!is_blank(line)) return true;
  }
  return false;
}

void LineInput::fail(std::string_view item, std::string_view found, std::string_view expected) {
  std::string message = source_ + ", line " + std::to_string(line_number_) + ": cannot read " + std::string(item) +
                        ": " + std::string(expected) + " expected, found " + std::string(found);
  stop_input(message);
}

double LineInput::free_real(std::string_view item) {
  std::string line;
  if (!next_nonblank_line(line)) fail(item, "the end of the input", "a real number");
  const std::string_view token = first_token(line);
  double value = 0;
  if (!parse_free_real(token, value)) fail(item, shown(token), "a real number");
  return value;
}

std::int32_t LineInput::free_integer(std::string_view item) {
  std::string line;
  if (!next_nonblank_line(line)) fail(item, "the end of the input", "an integer");
  const std::string_view token = first_token(line);
  std::int32_t value = 0;
  if (!parse_free_integer(token, value)) fail(item, shown(token), "an integer");
  return value;
}

std::int32_t LineInput::column_integer(std::string_view item, int width) {
  std::string line;
  if (!next_line(line)) fail(item, "the end of the input", "an integer in columns 1-" + std::to_string(width));
  const std::string field = strip_blanks(std::string_view(line).substr(0, width));
  if (field.empty()) return 0;
  std::int32_t value = 0;
  if (!parse_free_integer(field, value)) {
    fail(item, shown(std::string_view(line).substr(0, width)), "an integer in columns 1-" + std::to_string(width));
  }
  return value;
}

double LineInput::column_real(std::string_view item, int width) {
  std::string line;
  if (!next_line(line)) fail(item, "the end of the input", "a real in columns 1-" + std::to_string(width));
  const std::string_view raw = std::string_view(line).substr(0, width);
  const std::string field = strip_blanks(raw);
  double value = 0;
  bool implied = false;
  if (!parse_column_real(field, 10, value, implied)) {
    fail(item, shown(raw), "a real in columns 1-" + std::to_string(width));
  }
  if (implied) {
    std::fprintf(stderr,
                 "warning: %s, line %d: %.*s is written without a decimal point (%s) and reads as %s\n",
                 source_.c_str(), line_number_, static_cast<int>(item.size()), item.data(), field.c_str(),
                 format_real(value).c_str());
  }
  return value;
}

double LineInput::cell_record_value(std::string_view what, std::int32_t j, std::int32_t k) {
  // The item's name is formed only when there is an error to report.
  auto item_name = [&] {
    return std::string(what) + " of cell (" + std::to_string(j) + "," + std::to_string(k) + ")";
  };
  std::string line;
  if (!next_nonblank_line(line)) fail(item_name(), "the end of the file", "a record j, k, value");
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
  std::int32_t ignored = 0;
  if (!parse_free_integer(tokens[0], ignored) || !parse_free_integer(tokens[1], ignored)) {
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
  for (std::int32_t k = 1; k <= ny; ++k) {
    for (std::int32_t j = 1; j <= nx; ++j) map(j, k) = input.cell_record_value(what, j, k);
  }
}
