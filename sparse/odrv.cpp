// Ordering driver: minimum-degree ordering and/or symmetric reordering: the entry points of the
// four families.
#include "sparse/odrv.hpp"

#include "sparse/sparse.hpp"

void sodrv(const std::int32_t& n, std::int32_t* ia, std::int32_t* ja, float* a, std::int32_t* p,
           std::int32_t* ip, const std::int32_t& nsp, std::int32_t* isp, const std::int32_t& path,
           std::int32_t& flag) {
  sparse::odrv<float>(n, ia, ja, a, p, ip, nsp, isp, path, flag);
}

void dodrv(const std::int32_t& n, std::int32_t* ia, std::int32_t* ja, double* a, std::int32_t* p,
           std::int32_t* ip, const std::int32_t& nsp, std::int32_t* isp, const std::int32_t& path,
           std::int32_t& flag) {
  sparse::odrv<double>(n, ia, ja, a, p, ip, nsp, isp, path, flag);
}

void codrv(const std::int32_t& n, std::int32_t* ia, std::int32_t* ja, scomplex* a, std::int32_t* p,
           std::int32_t* ip, const std::int32_t& nsp, std::int32_t* isp, const std::int32_t& path,
           std::int32_t& flag) {
  sparse::odrv<scomplex>(n, ia, ja, a, p, ip, nsp, isp, path, flag);
}

void zodrv(const std::int32_t& n, std::int32_t* ia, std::int32_t* ja, dcomplex* a, std::int32_t* p,
           std::int32_t* ip, const std::int32_t& nsp, std::int32_t* isp, const std::int32_t& path,
           std::int32_t& flag) {
  sparse::odrv<dcomplex>(n, ia, ja, a, p, ip, nsp, isp, path, flag);
}
