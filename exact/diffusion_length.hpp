// The diffusion length of the slow mode of a cell's three-phase medium.
//
// Along one direction the displacements U = (u1, u3, w) of a uniform
// medium obey K U'' = i omega B U (exact/layered_exact.hpp).  Each mode of
// B v = lambda K v diffuses with diffusivity 1/lambda, and decays over
// 1/sqrt(omega lambda); the fastest-decaying mode, that of the largest
// lambda, sets the thinnest boundary layer a mesh must resolve.
#pragma once

#include "exact/layered_exact.hpp"

// The largest eigenvalue of B v = lambda K v of a cell (s/m^2 divided by
// the unit of the friction over that of the moduli), 0 when K is not
// positive definite.
double largest_diffusion_eigenvalue(const ExactLayer& cell);

// The diffusion length 1/sqrt(omega lambda) (m), infinite when lambda or
// omega is zero.
double diffusion_length(double omega, double lambda);
