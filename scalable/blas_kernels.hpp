// One set of BLAS kernels on every processor.
//
// Debian's OpenBLAS is built for every x86-64 processor and picks its
// kernels when it is loaded, by the processor it finds: FMA kernels on one
// machine, SSE3 kernels on another, each summing in its own way, so that
// MUMPS's factors, and the results, would differ in their last bits from
// machine to machine. The programs run with one kernel set everywhere,
// the SSE3 kernels (OpenBLAS's core type "Prescott"), which every x86-64
// processor of the last twenty years runs. OpenBLAS reads the core type
// from the environment only when it is loaded, before main, so a program
// started without it sets it and starts itself again.
#pragma once

namespace scalable {

inline constexpr const char* blas_core_type = "Prescott";

// Returns when OPENBLAS_CORETYPE is blas_core_type; otherwise sets it and
// replaces the process by the same program with the same arguments
// (its own path). Called first in main, before any file or thread; if
// the program cannot be started again, the run goes on as it is.
void pin_blas_kernels(char** argv);

}  // namespace scalable
