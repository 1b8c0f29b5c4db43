#include "driver/timer.hpp"

#include <sys/resource.h>

namespace {
float process_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double seconds = static_cast<double>(usage.ru_utime.tv_sec) + 1e-6 * usage.ru_utime.tv_usec +
                         static_cast<double>(usage.ru_stime.tv_sec) + 1e-6 * usage.ru_stime.tv_usec;
  return static_cast<float>(seconds);
}
}  // namespace

double CpuClock::timer() {
  const float now = process_seconds();
  const float elapsed = now - time0_;
  time0_ = now;
  return static_cast<double>(elapsed);
}

double timer() { return static_cast<double>(process_seconds()); }
