#include "exact/diffusion_length.hpp"

#include <Eigen/Dense>
#include <cmath>
#include <limits>

double largest_diffusion_eigenvalue(const ExactLayer& l) {
  Eigen::Matrix3d k, b;
  k << l.lambda1 + 2.0 * l.mu1, l.d3 + l.mu13, l.b1,
       l.d3 + l.mu13, l.lambda3 + 2.0 * l.mu3, l.b2,
       l.b1, l.b2, l.m;
  b << l.b11, -l.b11, -l.b12,
       -l.b11, l.b11, l.b12,
       -l.b12, l.b12, l.b22;
  if (Eigen::LLT<Eigen::Matrix3d>(k).info() != Eigen::Success) return 0.0;
  const Eigen::GeneralizedSelfAdjointEigenSolver<Eigen::Matrix3d> solver(b, k, Eigen::EigenvaluesOnly);
  if (solver.info() != Eigen::Success) return 0.0;
  return solver.eigenvalues().maxCoeff();  // ascending order: the last
}

double diffusion_length(double omega, double lambda) {
  const double rate = omega * lambda;
  return rate > 0.0 ? 1.0 / std::sqrt(rate) : std::numeric_limits<double>::infinity();
}
