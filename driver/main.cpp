// upscale: batch numerical upscaling of a 2D three-phase porous rock sample.
//
// Build and run (see README.md):
//   cmake -S . -B build && cmake --build build -j2
//   cd examples/permafrost_layered && ../../build/upscale < deck.in
//
//   ../../build/upscale --load piston < deck.in   the top under a rigid piston
//
// The program reads its parameter deck from standard input, echoes every
// stage on standard output, writes its result tables and per-cell maps to
// fixed-name files in the working directory, and ends with exit status 40.
// Every fatal condition ends the run with a numbered stop: its message on
// standard output, "STOP n" on the error stream, exit status n & 255.
// "upscale --help" (anywhere on the command line) prints the usage and ends
// with 0, running nothing; an argument that is none of the options stops
// with 3 and the usage.
#include <cstdio>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "common/run_lock.hpp"
#include "common/stop.hpp"
#include "driver/solver_ranks.hpp"
#include "driver/run_options.hpp"
#include "driver/run.hpp"

namespace {

int run_program(int argc, char** argv) {
  bool help = false;
  for (int a = 1; a < argc; ++a) help = help || std::string_view(argv[a]) == "--help";
  if (help) {
    std::printf("usage: upscale [--load split|piston|periodic] [--refine K] [--solver builtin|mumps]\n"
                "               [--out-of-core DIR] < deck.in\n"
                "The finite-element compressibility test of a 2D three-phase porous rock sample at the deck's first\n"
                "frequency: the deck is read from standard input, the per-cell files \"binary_ice_gnu.dat\" (and,\n"
                "in the patchy model, \"phiw_binary_patchy.dat\") from the working directory, every stage is\n"
                "echoed on standard output and the result files are written there.  Normal end: exit status 40;\n"
                "the other statuses are listed in README.md.  --load piston loads the top with a rigid,\n"
                "impermeable piston carrying 2 Pa on both solids (default split: 1 Pa on each solid's top);\n"
                "--load periodic takes the sample as one period of an infinite medium under a vertical strain.\n"
                "--refine K splits every cell of the deck into K x K cells carrying its values.\n"
                "--solver chooses the sparse solver (default: builtin up to 60 x 60 cells, mumps beyond).\n"
                "--out-of-core DIR keeps mumps's factors in files under DIR instead of in memory.\n"
                "Built with -DUPSCALE_MPI=ON, mpirun -np P upscale (or srun --mpi=pmix -n P) shares the factors\n"
                "between P ranks.\n");
    return 0;
  }
  static char stdout_buffer[1 << 16];
  prepare_standard_output(stdout_buffer, sizeof stdout_buffer);
  // One run at a time in a directory, taken before any file is opened and
  // held past the final flush of every result file.
  std::optional<WorkingDirectoryLock> lock;
  try {
    // The options of the test (load, refinement, solver); any other
    // argument is refused before anything is run.
    TestOptions options;
    const std::string usage = std::string("usage: upscale ") + test_options_usage + " < deck";
    for (int a = 1; a < argc; ++a) {
      if (!read_test_option(argc, argv, a, options, usage)) {
        stop_input_parameter("unknown argument \"" + std::string(argv[a]) + "\"\n" + usage);
      }
    }
    lock.emplace("upscale");
    upscale_run(std::cin, options);
  } catch (const StopRun& stop) {
    return finish_run(stop);
  } catch (const std::bad_alloc&) {
    return finish_out_of_memory("upscale");
  }
}

}  // namespace

// Under mpirun or srun every rank but rank 0 only serves the solver and
// ends with rank 0's status; rank 0 is the program.
int main(int argc, char** argv) { return run_on_ranks(argc, argv, run_program); }
