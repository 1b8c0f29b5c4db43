// CPU clock of the run: user plus system time of the process.
#pragma once

// The clock of one run, owned by it: each reading returns the CPU seconds
// consumed since the previous reading (since the start of the process at
// the first).  The reading is kept in single precision and the difference
// is formed in single precision.
class CpuClock {
 public:
  double timer();

 private:
  float time0_ = 0.0f;  // CPU time at the previous reading
};

// The CPU seconds the process has consumed since it started, in single
// precision: a reading that needs no saved state.
double timer();
