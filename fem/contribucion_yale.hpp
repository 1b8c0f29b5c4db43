// contribucion_yale: add one value into a matrix held in compressed rows.
//
// In:     the entry (row, col) of a matrix of order n and its value.
// In/out: ia, ja, avec, the compressed rows: row i occupies positions
//         ia(i) .. ia(i+1)-1 of ja (columns, strictly ascending within a row)
//         and avec (values); ia(n+1)-1 is the number of stored entries.
// If the row already holds col, the value is added to that entry; otherwise
// a new entry is inserted at its place in the row, every later entry moves
// up by one position and every later row pointer grows by one. The caller
// guarantees room for one more entry.
//
// ia, ja, avec point at element 1: position p is pointer[p-1].
#pragma once

#include <cstdint>

#include "common/complex.hpp"

void contribucion_yale(const std::int32_t& col, const std::int32_t& row, const dcomplex& value,
                       const std::int32_t& n, std::int32_t* ia, std::int32_t* ja, dcomplex* avec);
