// Fuzz target: the patchy water-proportion reader on an arbitrary file.
//
// The first byte chooses the mesh (nx, ny in 1..8, enough to cover short,
// exact and long files); the rest is written to "phiw_binary_patchy.dat" in
// a private scratch directory and read_patchy_map() reads it.
// It must either fill every cell of the mesh with a finite value, leaving
// the cells outside the mesh untouched, or end with the input-error stop.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/cellmap.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "medium/porosity.hpp"

namespace {
void require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  open_unit(stdout_unit, "/dev/null");
  char scratch[] = "/tmp/upscale_fuzz_porosity_XXXXXX";
  if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::int32_t nx = 1 + (data[0] & 7);
  const std::int32_t ny = 1 + ((data[0] >> 3) & 7);
  std::FILE* file = std::fopen("phiw_binary_patchy.dat", "wb");
  if (file == nullptr) std::abort();
  std::fwrite(data + 1, 1, size - 1, file);
  std::fclose(file);

  RealMap phiw;
  const double untouched = -12345.5;
  std::fill(phiw.data.begin(), phiw.data.end(), untouched);
  try {
    read_patchy_map(nx, ny, phiw);
  } catch (const StopRun& stop) {
    require(stop.code == stop_input_error);
    return 0;
  }
  for (std::int32_t k = 1; k <= 60; ++k) {
    for (std::int32_t j = 1; j <= 60; ++j) {
      if (j <= nx && k <= ny) {
        require(std::isfinite(phiw(j, k)));
      } else {
        require(phiw(j, k) == untouched);
      }
    }
  }
  return 0;
}
