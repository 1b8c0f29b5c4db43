#include "scalable/nested_dissection.hpp"

#include <metis.h>

#include <numeric>
#include <vector>

namespace scalable {

static_assert(sizeof(idx_t) == sizeof(std::int32_t), "Debian's METIS has 32-bit indices");

std::string nested_dissection(std::int32_t n, const std::int32_t* ia, const std::int32_t* ja,
                              std::int32_t* perm_in) {
  // --- The graph: the pattern without its diagonal, 0-based ---
  std::vector<idx_t> xadj(n + 1, 0), adjncy;
  adjncy.reserve(static_cast<std::size_t>(ia[n] - 1));
  for (std::int32_t r = 1; r <= n; ++r) {
    for (std::int32_t p = ia[r - 1]; p < ia[r]; ++p)
      if (ja[p - 1] != r) adjncy.push_back(ja[p - 1] - 1);
    xadj[r] = static_cast<idx_t>(adjncy.size());
  }
  // A graph without edges needs no ordering (METIS does not take it).
  if (adjncy.empty()) {
    std::iota(perm_in, perm_in + n, 1);
    return {};
  }

  // --- METIS: perm[i] is the unknown at position i, iperm its inverse ---
  idx_t options[METIS_NOPTIONS];
  METIS_SetDefaultOptions(options);
  options[METIS_OPTION_NUMBERING] = 0;
  idx_t nvtxs = n;
  std::vector<idx_t> perm(n), iperm(n);
  const int status = METIS_NodeND(&nvtxs, xadj.data(), adjncy.data(), nullptr, options, perm.data(), iperm.data());
  if (status != METIS_OK)
    return status == METIS_ERROR_MEMORY ? "METIS could not allocate its memory"
                                        : "METIS failed (status " + std::to_string(status) + ")";
  for (std::int32_t i = 0; i < n; ++i) perm_in[i] = iperm[i] + 1;
  return {};
}

}  // namespace scalable
