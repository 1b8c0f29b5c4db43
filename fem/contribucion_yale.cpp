#include "fem/contribucion_yale.hpp"

// One insertion costs time proportional to the number of stored entries
// behind it; the assembly of the whole system lays out the pattern first
// instead (global_sist) and gives the same arrays.
void contribucion_yale(const std::int32_t& col, const std::int32_t& row, const dcomplex& value,
                       const std::int32_t& n, std::int32_t* ia, std::int32_t* ja, dcomplex* avec) {
  // 1-based views of the three arrays.
  auto IA = [ia](std::int32_t i) -> std::int32_t& { return ia[i - 1]; };
  auto JA = [ja](std::int32_t p) -> std::int32_t& { return ja[p - 1]; };
  auto AV = [avec](std::int32_t p) -> dcomplex& { return avec[p - 1]; };

  const std::int32_t p0 = IA(row);
  const std::int32_t p1 = IA(row + 1);

  // --- Existing entry: add to it (the last match; there is at most one) ---
  std::int32_t found = 0;
  for (std::int32_t p = p0; p < p1; ++p) {
    if (JA(p) == col) found = p;
  }
  if (found != 0) {
    AV(found).re += value.re;
    AV(found).im += value.im;
    return;
  }

  // --- New entry: its place follows every smaller column of the row ---
  std::int32_t c = 0;
  for (std::int32_t p = p0; p < p1; ++p) {
    if (JA(p) < col) ++c;
  }
  const std::int32_t q = p0 + c;

  // Move the tail of the whole matrix one place up, from the end downwards.
  const std::int32_t e1 = IA(n + 1);
  if (q < e1) {
    for (std::int32_t p = e1; p >= q + 1; --p) AV(p) = AV(p - 1);
    for (std::int32_t p = e1; p >= q + 1; --p) JA(p) = JA(p - 1);
  }
  AV(q) = value;
  JA(q) = col;
  for (std::int32_t i = row + 1; i <= n + 1; ++i) IA(i) = IA(i) + 1;
}
