// The factor structure that a symbolic factorisation (the factor driver's
// path 1 or 5) leaves at the start of a work block, copied into another
// block, whose numeric factorisations (path 2) then run on it as on the
// original.  The structure is the integer array il (n+1 words), iu (n+1),
// jl (il(n+1)-1) and ju (iu(n+1)-1), in that order from word 1; nothing
// after it is read by path 2 before it is written.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>

#include "sparse/work_block.hpp"

namespace sparse {

// The length of the factor structure of order n held by `block`, in
// integer words.
inline std::int64_t factor_structure_words(std::int32_t n, const WorkBlock& block) {
  const std::int32_t* iw = std::launder(reinterpret_cast<const std::int32_t*>(block.storage()));
  const std::int64_t jlmax = iw[n] - 1;         // il(n+1) - 1
  const std::int64_t jumax = iw[2 * n + 1] - 1;  // iu(n+1) - 1
  return std::int64_t{2} * n + 2 + jlmax + jumax;
}

inline void copy_factor_structure(std::int32_t n, const WorkBlock& from, WorkBlock& to) {
  // memcpy begins, in the target block, the integer array it copies.
  std::memcpy(to.storage(), from.storage(),
              static_cast<std::size_t>(factor_structure_words(n, from)) * sizeof(std::int32_t));
}

}  // namespace sparse
