// The choice of the double-complex factorisation kernel, and the tables of
// the portable and SSE2 passes.
#include "sparse/kernels.hpp"

#include "sparse/nnf_kernels.hpp"

namespace sparse {

namespace {

template <int R, int G>
void portable_pass(dcomplex* w1, const std::int32_t* cols, std::int32_t count,
                   const dcomplex* const* u, const dcomplex (*lk)[group_max]) {
  block_pass<R, G, dcomplex>(w1, cols, count, u, lk);
}

#if defined(__x86_64__)
template <int R, int G>
void sse2_pass(dcomplex* w1, const std::int32_t* cols, std::int32_t count,
               const dcomplex* const* u, const dcomplex (*lk)[group_max]) {
  block_pass_sse2<R, G>(w1, cols, count, u, lk);
}
#endif

// pass[R - 1][G - 1] = Pass<R, G>
template <template <int, int> class Pass>
constexpr PassTable make_table() {
  return {{{Pass<1, 1>::f, Pass<1, 2>::f, Pass<1, 3>::f, Pass<1, 4>::f},
           {Pass<2, 1>::f, Pass<2, 2>::f, Pass<2, 3>::f, Pass<2, 4>::f},
           {Pass<3, 1>::f, Pass<3, 2>::f, Pass<3, 3>::f, Pass<3, 4>::f},
           {Pass<4, 1>::f, Pass<4, 2>::f, Pass<4, 3>::f, Pass<4, 4>::f}}};
}

template <int R, int G>
struct Portable {
  static constexpr BlockPass f = portable_pass<R, G>;
};
constexpr PassTable portable_table = make_table<Portable>();

#if defined(__x86_64__)
template <int R, int G>
struct Sse2 {
  static constexpr BlockPass f = sse2_pass<R, G>;
};
constexpr PassTable sse2_table = make_table<Sse2>();
#endif

#if defined(__x86_64__) && defined(__GNUC__)
// Whether the processor runs AVX2, the system keeping its 256-bit registers
// (which __builtin_cpu_supports checks); asked once, by one thread.
bool processor_has_avx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}
#endif

Kernel find_best_kernel() {
  if (kernel_supported(Kernel::avx2)) return Kernel::avx2;
  if (kernel_supported(Kernel::sse2)) return Kernel::sse2;
  return Kernel::portable;
}

}  // namespace

bool kernel_supported(Kernel kernel) {
  switch (kernel) {
    case Kernel::portable:
      return true;
    case Kernel::sse2:
#if defined(__x86_64__)
      return true;  // part of every x86-64 processor
#else
      return false;
#endif
    case Kernel::avx2:
#if defined(__x86_64__) && defined(__GNUC__)
      return avx2_passes() != nullptr && processor_has_avx2();
#else
      return false;
#endif
  }
  return false;
}

Kernel best_kernel() {
  static const Kernel best = find_best_kernel();
  return best;
}

const char* kernel_name(Kernel kernel) {
  switch (kernel) {
    case Kernel::portable: return "portable";
    case Kernel::sse2: return "sse2";
    case Kernel::avx2: return "avx2";
  }
  return "unknown";
}

const PassTable& pass_table(Kernel kernel) {
  if (!kernel_supported(kernel)) return portable_table;
  switch (kernel) {
#if defined(__x86_64__)
    case Kernel::sse2: return sse2_table;
    case Kernel::avx2: return *avx2_passes();
#endif
    default: return portable_table;
  }
}

}  // namespace sparse
