#include "exact/periodic_stack.hpp"

#include "exact/exact_1d.hpp"

namespace {

dcomplex program_complex(const std::complex<double>& c) { return dcomplex(c.real(), c.imag()); }

}  // namespace

StackStiffness exact_periodic_stack(const std::vector<ExactLayer>& layers, double omega) {
  StackStiffness out;
  const exact_1d::StackModuli<double> m = exact_1d::periodic_stack<double>(layers, omega);
  out.valid = m.valid;
  out.why = m.why;
  if (!m.valid) return out;
  out.c11 = program_complex(m.c11);
  out.c13 = program_complex(m.c13);
  out.c13h = program_complex(m.c13h);
  out.c33 = program_complex(m.c33);
  out.c55 = program_complex(m.c55);
  return out;
}
