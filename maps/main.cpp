// upscale_maps: one realisation of a stochastic per-cell map of a deck.
//
// Build and run (see README.md):
//   cmake -S . -B build && cmake --build build -j2 --target upscale_maps
//   cd mycase
//   ../build/upscale_maps --seed 7 --kind binary --fraction 0.3 --values 0.05 0.2 --correlation 0.1 0.1 < deck.in
//
// The program reads the parameter deck of upscale on standard input (it
// uses nx, ny, domain_size, the layer types and their phi_a) and writes
// "phiw_binary_patchy.dat" (or, with --file ice, "binary_ice_gnu.dat") in
// the working directory: a Gaussian random field of the given mean,
// standard deviation and correlation, or its binary thresholding into
// patches of two values.  Every check is made before the file is written.
// It ends with exit status 0 and one line on standard output naming what
// it wrote; a refused option or deck ends as a stop of the program
// (message on standard output, "STOP n" on the error stream, exit status
// n & 255).  "upscale_maps --help" prints the usage and ends with 0.
#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "common/format.hpp"

#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/map_use.hpp"
#include "maps/maps.hpp"
#include "maps/study_deck.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& a : args) {
    if (a == "--help") {
      std::printf("usage: upscale_maps --kind gaussian|binary --correlation LX LY [--seed S]\n"
                  "                    [--mean M --std S | --fraction F --values LOW HIGH]\n"
                  "                    [--covariance exponential|gaussian|vonkarman:NU] [--file patchy|ice] < deck.in\n"
                  "One realisation of a stationary random field over the deck's cells, written to\n"
                  "\"phiw_binary_patchy.dat\" (--file patchy, the default) or \"binary_ice_gnu.dat\" (--file ice):\n"
                  "a Gaussian field of mean M and standard deviation S clipped to the admissible water\n"
                  "proportions, or its thresholding into a fraction F of cells at HIGH and the rest at LOW.\n"
                  "LX, LY: correlation lengths in metres.  --cache DIR keeps the von Karman correlation there\n"
                  "for the next realisations of the same grid (the same map, faster).  Exit statuses: README.md.\n");
      return 0;
    }
  }
  try {
    // 1. The options, checked on their own.
    const MapOptions options = parse_map_options(args);

    // 2. The deck: the grid, the layer types and the bound of every cell's
    //    water proportion; the options are checked against it.
    Deck deck;
    IntMap matnum;
    try {
      read_study_deck(std::cin, "standard input", deck, matnum);
    } catch (const StopRun& stop) {
      if (!stop.message.empty()) write_line(stdout_unit, stop.message);
      throw;
    }
    check_map_options(options, deck, matnum);
    // A map this deck would read without using any of its values is still
    // written, with a warning naming the rule (driver/map_use.hpp).
    for (const std::string& line : unused_map_warnings(deck, matnum, options.file == MapFile::patchy)) {
      if (line.starts_with(map_file_name(options.file))) std::fprintf(stderr, "upscale_maps: warning: %s\n", line.c_str());
    }

    // 3. One realisation on the deck's cells.
    FieldSynthesis synthesis(deck.nx, deck.ny, deck.h, options.lx, options.ly, options.covariance, options.nu,
                             options.cache);
    if (synthesis.dropped_variance() > 0) {
      std::fprintf(stderr,
                   "upscale_maps: warning: the correlation does not embed exactly even on a %d x %d grid; "
                   "negative spectral weights holding %.3g of the spectrum were set to zero\n",
                   synthesis.padded_nx(), synthesis.padded_ny(), synthesis.dropped_variance());
    }
    RealMap values;
    int clipped = 0;
    make_map(options, deck, matnum, synthesis, values, clipped);
    if (clipped > 0) {
      std::fprintf(stderr,
                   "upscale_maps: warning: %d of %d cells clipped to [%g, phi_a - %g] (the admissible water "
                   "proportions; 1 in place of phi_a in the shaley-sand model)\n",
                   clipped, deck.nx * deck.ny, clip_margin, clip_margin);
    }

    // 4. The file, written only now that everything has been checked.
    write_map_file(map_file_name(options.file), deck.nx, deck.ny, values);
    std::printf("upscale_maps: wrote %s: %d x %d cells of a %s field, seed %llu%s\n", map_file_name(options.file),
                deck.nx, deck.ny, options.kind == FieldKind::binary ? "binary" : "Gaussian",
                static_cast<unsigned long long>(options.seed),
                clipped > 0 ? (", " + std::to_string(clipped) + " cells clipped").c_str() : "");
  } catch (const StopRun& stop) {
    return finish_run(stop);
  } catch (const std::bad_alloc&) {
    return finish_out_of_memory("upscale_maps");
  }
  return finish_normal_end();
}
