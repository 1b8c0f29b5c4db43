// One plane-wave mode: its complex slowness s (principal square root of
// the eigenvalue s^2 of S = E^{-1} A) and its phase speed 1/Re s, with the
// attenuation measures derived from s.
#pragma once

#include <cmath>

#include "common/complex.hpp"

struct PlaneMode {
  dcomplex s;    // complex slowness, s/m
  double speed;  // phase speed 1/Re s, m/s
};

inline PlaneMode plane_mode(const dcomplex& eigenvalue) {
  const dcomplex s = sqrt(eigenvalue);
  return {s, 1.0 / s.re};
}

// Attenuation per wavelength in dB: 20*log10(e)*pi*|Im s / Re s|.
inline double attenuation_per_wavelength(const PlaneMode& mode) {
  return 54.57505014459279 * std::fabs(mode.s.im / mode.s.re);
}

// Quality factor Q = |Re s / Im s| (infinite for a lossless mode).
inline double quality_factor(const PlaneMode& mode) { return std::fabs(mode.s.re / mode.s.im); }

// Whether the mode is a travelling wave.  With positive energy (E and the
// mass matrix positive definite, the friction positive semi-definite) every
// eigenvalue has Re(s^2) > 0, so Re s >= |s|/sqrt(2).  A slowness whose real
// part vanishes (s^2 on the negative real axis: a mode that only decays) has
// the infinite speed 1/Re s, or, blurred by rounding, an absurdly large one;
// Re s <= 1e-8*|s| (Q below 1e-8) is taken as such a mode.  A NaN slowness
// (singular E) does not propagate either.
inline bool propagates(const PlaneMode& mode) {
  return std::isfinite(mode.speed) && mode.s.re > 1e-8 * abs(mode.s);
}

// Puts the faster of two modes first.  Only a strictly faster second mode
// moves up: a tie keeps the given order.  Each speed keeps its slowness.
inline void faster_first(PlaneMode& first, PlaneMode& second) {
  if (second.speed > first.speed) {
    const PlaneMode keep = first;
    first = second;
    second = keep;
  }
}
