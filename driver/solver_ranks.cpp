#include "driver/solver_ranks.hpp"

#include "driver/band_ranks.hpp"
#include "scalable/blas_kernels.hpp"
#include "scalable/ranks.hpp"

int run_on_ranks(int argc, char** argv, int (*program)(int, char**)) {
  scalable::pin_blas_kernels(argv);
  if (const int worker = scalable::start_ranks(argc, argv, make_band_row_source); worker >= 0) return worker;
  return scalable::end_ranks(program(argc, argv));
}

int solver_ranks() { return scalable::rank_count(); }
