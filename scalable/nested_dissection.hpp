// nested_dissection: METIS's fill-reducing nested-dissection order of a
// structurally symmetric pattern, as a pivot order for MUMPS.
//
// In:  n, the 1-based compressed-row pattern ia (n+1), ja (the diagonal and
//      any order of columns allowed; each off-diagonal entry and its
//      transpose must both be stored).
// Out: perm_in(i) = the position (1..n) of unknown i in the pivot order.
// Returns "" on success, else what went wrong.
//
// METIS runs with its default options, whose fixed seed makes the order
// the same on every run.
#pragma once

#include <cstdint>
#include <string>

namespace scalable {

std::string nested_dissection(std::int32_t n, const std::int32_t* ia, const std::int32_t* ja,
                              std::int32_t* perm_in);

}  // namespace scalable
