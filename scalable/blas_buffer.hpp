// The work buffer of the BLAS under MUMPS, taken before the factorisation.
//
// The serial OpenBLAS maps one work buffer of blas_buffer_bytes at its
// first level-3 call and keeps it for the life of the process (later calls
// reuse it).  When the system refuses that mapping (an address-space limit
// the factors have already filled) it retries the mapping for ever, inside
// the factorisation, and the run never ends.  Taking the buffer at the
// start, before the factors, removes that loop: what MUMPS allocates later
// it allocates itself and reports when refused (INFOG(1) = -13), and the
// caller can first check that the buffer fits the address space left.
//
//   blas_buffer_taken()  whether this process holds the buffer already;
//   take_blas_buffer()   one 1 x 1 triangular solve (ztrsm), the first
//                        level-3 call, which maps the buffer; the caller
//                        has checked that blas_buffer_bytes fit.
#pragma once

#include <cstdint>

namespace scalable {

// OpenBLAS 0.3.21 on x86-64 (Debian's libopenblas0-serial): a buffer of
// 128 MiB and the two pages it maps beside it.
inline constexpr std::uint64_t blas_buffer_bytes = (std::uint64_t{128} << 20) + 8192;

bool blas_buffer_taken();
void take_blas_buffer();

}  // namespace scalable
