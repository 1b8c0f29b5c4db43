// Symmetric reordering of a symmetrically stored matrix: the entry points of the four families.
#include "sparse/sro.hpp"

#include "sparse/sparse.hpp"

void ssro(const std::int32_t& n, const std::int32_t* ip, std::int32_t* ia, std::int32_t* ja,
          float* a, std::int32_t* q, std::int32_t* r, const bool& dflag) {
  sparse::sro<float>(n, ip, ia, ja, a, q, r, dflag);
}

void dsro(const std::int32_t& n, const std::int32_t* ip, std::int32_t* ia, std::int32_t* ja,
          double* a, std::int32_t* q, std::int32_t* r, const bool& dflag) {
  sparse::sro<double>(n, ip, ia, ja, a, q, r, dflag);
}

void csro(const std::int32_t& n, const std::int32_t* ip, std::int32_t* ia, std::int32_t* ja,
          scomplex* a, std::int32_t* q, std::int32_t* r, const bool& dflag) {
  sparse::sro<scomplex>(n, ip, ia, ja, a, q, r, dflag);
}

void zsro(const std::int32_t& n, const std::int32_t* ip, std::int32_t* ia, std::int32_t* ja,
          dcomplex* a, std::int32_t* q, std::int32_t* r, const bool& dflag) {
  sparse::sro<dcomplex>(n, ip, ia, ja, a, q, r, dflag);
}
