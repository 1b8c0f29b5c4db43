#include "scalable/blas_buffer.hpp"

#include <atomic>

#include "common/complex.hpp"

extern "C" void ztrsm_(const char* side, const char* uplo, const char* transa, const char* diag, const int* m,
                       const int* n, const dcomplex* alpha, const dcomplex* a, const int* lda, dcomplex* b,
                       const int* ldb);

namespace scalable {

namespace {
// The buffer belongs to the BLAS library, one per process; this records
// that the process has made the call that maps it.
std::atomic<bool> taken{false};
}  // namespace

bool blas_buffer_taken() { return taken.load(); }

void take_blas_buffer() {
  const int one = 1;
  const dcomplex alpha(1.0, 0.0), a(1.0, 0.0);
  dcomplex b(1.0, 0.0);
  ztrsm_("L", "L", "N", "N", &one, &one, &alpha, &a, &one, &b, &one);
  taken.store(true);
}

}  // namespace scalable
