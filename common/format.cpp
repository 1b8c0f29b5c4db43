#include "common/format.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

// Infinity, -Infinity or NaN.
const char* non_finite(double x);

std::string format_real(double x) { return std::string(record_detail::ItemText(x).view()); }

const char* non_finite(double x) {
  if (std::isnan(x)) return "NaN";
  return x > 0 ? "Infinity" : "-Infinity";
}

namespace {

std::string right_justify(std::string text, int width) {
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
  return text;
}

// Decimal exponent e of x rounded to `digits` significant digits, so that
// the rounded magnitude is m * 10^e with 1 <= m < 10, and its digit string.
void round_to_digits(double x, int digits, std::string& mantissa_digits, int& exponent) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*e", digits - 1, std::fabs(x));
  mantissa_digits.clear();
  const char* p = text;
  for (; *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') mantissa_digits.push_back(*p);
  }
  exponent = std::atoi(p + 1);
}

}  // namespace

std::string format_e(double x, int width, int digits) {
  if (!std::isfinite(x)) return right_justify(non_finite(x), width);
  std::string text;
  if (std::signbit(x) && x != 0) text.push_back('-');
  std::string mantissa;
  int exponent = 0;
  if (x == 0) {
    mantissa.assign(digits, '0');
    exponent = 0;
  } else {
    round_to_digits(x, digits, mantissa, exponent);
    exponent += 1;  // 0.ddd form
  }
  text += "0.";
  text += mantissa;
  char exp_text[16];
  if (std::abs(exponent) <= 99) {
    std::snprintf(exp_text, sizeof exp_text, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  } else {
    std::snprintf(exp_text, sizeof exp_text, "%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
  }
  text += exp_text;
  if (static_cast<int>(text.size()) > width) {
    // Drop the optional leading zero before giving up the width.
    const std::size_t zero = text.find("0.");
    if (zero != std::string::npos) text.erase(zero, 1);
  }
  return right_justify(text, width);
}

std::string format_f(double x, int width, int decimals) {
  if (!std::isfinite(x)) return right_justify(non_finite(x), width);
  char text[512];
  std::snprintf(text, sizeof text, "%.*f", decimals, x);
  std::string out(text);
  if (decimals == 0) out.push_back('.');  // a fixed field always shows its point
  if (static_cast<int>(out.size()) > width) {
    // Fortran may drop the leading zero of a magnitude below 1.
    const std::size_t zero = out.find("0.");
    if (zero != std::string::npos && (zero == 0 || out[zero - 1] == '-')) out.erase(zero, 1);
  }
  return right_justify(out, width);
}

std::string format_g(double x, int width, int digits) {
  if (!std::isfinite(x)) return right_justify(non_finite(x), width);
  int decimals = digits - 1;  // zero is written as F(w-4).(d-1)
  if (x != 0) {
    std::string mantissa;
    int exponent = 0;
    round_to_digits(x, digits, mantissa, exponent);
    // Rounded magnitude in [10^(k-1), 10^k) with k = exponent + 1.
    const int k = exponent + 1;
    if (k < 0 || k > digits) return format_e(x, width, digits);
    decimals = digits - k;
  }
  return format_f(x, width - 4, decimals) + "    ";
}

namespace record_detail {
ItemText::ItemText(std::int32_t value)
    : view_(buffer_, static_cast<std::size_t>(std::to_chars(buffer_, buffer_ + sizeof buffer_, value).ptr - buffer_)) {}

ItemText::ItemText(std::int64_t value)
    : view_(buffer_, static_cast<std::size_t>(std::to_chars(buffer_, buffer_ + sizeof buffer_, value).ptr - buffer_)) {}

ItemText::ItemText(double value) {
  if (!std::isfinite(value)) {
    view_ = non_finite(value);
  } else {
    view_ = std::string_view(
        buffer_, static_cast<std::size_t>(std::to_chars(buffer_, buffer_ + sizeof buffer_, value).ptr - buffer_));
  }
}
}  // namespace record_detail
