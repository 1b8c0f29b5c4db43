// Fuzz target: the record reader of the per-cell files on arbitrary text.
//
// The bytes are the contents of a per-cell file ("binary_ice_gnu.dat" or
// "phiw_binary_patchy.dat").  Records j, k, value are read one after the
// other, as the run reads them, until the file gives out: every record
// must yield a finite value, consume at least one line, and a file that
// gives out must end with the input-error stop, never with anything else.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "common/input.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"

namespace {
void require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  open_unit(stdout_unit, "/dev/null");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  LineInput input(in, "binary_ice_gnu.dat");
  // At most one record per cell of the largest mesh is ever read.
  for (int record = 1; record <= 3600; ++record) {
    const int before = input.line_number();
    try {
      const double value = input.cell_record_value("the value", 1, 1);
      require(std::isfinite(value));
      require(input.line_number() > before);
    } catch (const StopRun& stop) {
      require(stop.code == stop_input_error);
      return 0;
    }
  }
  return 0;
}
