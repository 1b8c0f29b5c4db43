// CPU clock of the run: user plus system time of the process.
#pragma once

// Returns the CPU seconds consumed since the previous call (since the start
// of the process at the first call).  The reading is kept in single
// precision and the difference is formed in single precision.
double timer();
