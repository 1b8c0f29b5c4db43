// The progress line of the sweep on the error stream.
#pragma once

#include <cstdint>

#include "sweep/one_frequency.hpp"

// The progress of the sweep on the error stream: the rows done out of the
// total, with the backward error of each row's solution; one line
// rewritten in place on a terminal, one line per row otherwise.
class Progress {
 public:
  explicit Progress(std::int32_t total);

  void row_done(std::int32_t i, double frequency, const SweepPoint& point) const;

  void end() const;

 private:
  std::int32_t total_;
  bool terminal_;
};
