// The progress line of the sweep (sweep/progress.hpp).
#include "sweep/progress.hpp"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/complex.hpp"
#include "common/format.hpp"
#include "driver/pass.hpp"
#include "sweep/sweep_table.hpp"

Progress::Progress(std::int32_t total) : total_(total), terminal_(isatty(fileno(stderr)) != 0) {}

void Progress::row_done(std::int32_t i, double frequency, const SweepPoint& point) const {
  const PassScalars& pass = point.pass;
  // (A std::string first: GCC 12 misreads a chain begun by a literal as overlapping copies.)
  std::string text = std::string(" ") + std::to_string(i) + " of " + std::to_string(total_) +
                     " rows done: " + format_real(frequency) + " Hz, backward error " +
                     backward_error_figure(pass.backward_error);
  if (pass.backward_error > backward_error_threshold) text += " (inaccurate)";
  if (pass.forward_error > forward_error_threshold) {
    text += " (ill-conditioned: refinement moves the solution by " + backward_error_figure(pass.forward_error) + ")";
  }
  if (point.tensor && point.tensor_backward_error > backward_error_threshold) {
    text += " (a test of the tensor inaccurate: " + backward_error_figure(point.tensor_backward_error) + ")";
  }
  // A passive medium gives Im >= 0 under exp(+i omega t).  Mw is
  // conjugate to the work of the loads; its Im of a nearly elastic
  // sample may round to a tiny negative value: that is marked as such.
  // (c33 and mstar of the closed-wall tests are not conjugate to that
  // work and may have Im < 0: the sweep counts those rows at its end.)
  const dcomplex& mw = point.results.mw;
  if (mw.im < 0) {
    text += -mw.im <= sweep_table::rounding_level * abs(mw) ? " (Im Mw < 0 at rounding level)"
                                                             : " (Im Mw < 0: not dissipative)";
  }
  if (terminal_) {
    std::fprintf(stderr, "\r%-100s", text.c_str());
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  std::fflush(stderr);
}

void Progress::end() const {
  if (terminal_) std::fprintf(stderr, "\n");
}
