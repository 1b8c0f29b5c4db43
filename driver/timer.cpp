#include "driver/timer.hpp"

#include <sys/resource.h>

namespace {
float time0 = 0.0f;  // CPU time at the previous call
}

double timer() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double seconds = static_cast<double>(usage.ru_utime.tv_sec) + 1e-6 * usage.ru_utime.tv_usec +
                         static_cast<double>(usage.ru_stime.tv_sec) + 1e-6 * usage.ru_stime.tv_usec;
  const float now = static_cast<float>(seconds);
  const float elapsed = now - time0;
  time0 = now;
  return static_cast<double>(elapsed);
}
