// upscale_sweep: velocity and attenuation of a 2D three-phase porous rock
// sample at every frequency of its deck's grid, in one run.
//
// Build and run (see README.md):
//   ./run_sweep.sh [NAME]        a bundled example, with its picture
//   cd examples/permafrost_layered && ../../build/upscale_sweep < deck.in
//   upscale_sweep -j 2 < deck.in   two frequencies at once (default: one per
//                                  processor the process may use)
//   upscale_sweep --load piston < deck.in   the top under a rigid piston
//
// The program reads the deck of upscale from standard input and writes the
// table "frequency_sweep.dat" (one row per frequency) and a short summary;
// it ends with exit status 0.  Fatal conditions end it as they end
// upscale: the message on standard output, "STOP n" on the error stream,
// exit status n & 255.
#include <cstdio>
#include <iostream>
#include <new>
#include <string_view>

#include "common/stop.hpp"
#include "driver/solver_ranks.hpp"
#include "sweep/sweep.hpp"

namespace {

int run_program(int argc, char** argv) {
  for (int a = 1; a < argc; ++a) {
    if (std::string_view(argv[a]) == "--help") {
      std::printf("usage: upscale_sweep [-j N] [--load periodic|piston|split] [--refine K] [--solver builtin|mumps]\n"
                  "                     [--out-of-core DIR]\n"
                  "                     [--error-estimate] [--tensor [--angle-step D]] < deck.in\n"
                  "The test of upscale at every frequency of the deck's logarithmic grid: the table\n"
                  "\"frequency_sweep.dat\" (\"frequency_sweep.dat.partial\" while it grows) and a short summary.\n"
                  "-j N: frequencies computed at once (1 to %d; default: the processors this process may use).\n"
                  "--load periodic (the default): the sample as one period of an infinite medium, its\n"
                  "  displacements periodic but for an imposed vertical strain: the modulus of the rock.\n"
                  "--load piston: the top under a rigid, impermeable piston, the other sides closed;\n"
                  "--load split: 1 Pa on the top of each solid, the other sides closed.\n"
                  "--refine K: every cell of the deck split into K x K cells.\n"
                  "--solver: the sparse solver (default: builtin up to 60 x 60 cells, mumps beyond).\n"
                  "--out-of-core DIR: mumps's factors in files under DIR instead of in memory.\n"
                  "Built with -DUPSCALE_MPI=ON, mpirun -np P upscale_sweep (or srun --mpi=pmix -n P) shares\n"
                  "each factorisation between P ranks.\n"
                  "--error-estimate: the sample also at h/2, the estimated error of Mw in the table.\n"
                  "--tensor: the vertical, horizontal and shear tests (periodic strains, or rigid plates\n"
                  "  under piston and split), the effective\n"
                  "  stiffness in \"effective_stiffness.dat\", qP and qSV against angle in \"angle_sweep.dat\".\n"
                  "--angle-step D: the angles' step in degrees (0.01 <= D <= 90, default 15).\n"
                  "Exit statuses: README.md.\n",
                  static_cast<int>(max_sweep_jobs));
      return 0;
    }
  }
  static char stdout_buffer[1 << 16];
  prepare_standard_output(stdout_buffer, sizeof stdout_buffer);
  try {
    upscale_sweep(std::cin, sweep_options(argc, argv));
  } catch (const StopRun& stop) {
    return finish_run(stop);
  } catch (const std::bad_alloc&) {
    return finish_out_of_memory("upscale_sweep");
  }
  return finish_normal_end();
}

}  // namespace

// Under mpirun or srun every rank but rank 0 only serves the solver and
// ends with rank 0's status; rank 0 is the program.
int main(int argc, char** argv) { return run_on_ranks(argc, argv, run_program); }
