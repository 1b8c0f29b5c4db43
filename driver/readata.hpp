// The run's parameters: read from standard input, echoed, checked.
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"
#include "common/input.hpp"

// Every input quantity of a run, under its own name, with the derived cell
// side h.  Per-layer-type arrays hold element 2 as zero when nmat = 1.
struct Deck {
  double fmin = 0;         // Hz, first frequency: the frequency of the computation
  double fmax = 0;         // Hz, last frequency of the logarithmic grid
  std::int32_t nfreq = 0;  // points of the logarithmic grid
  std::int32_t nfreq_line = 0;  // line of the deck that holds nfreq, for messages
  double domain_size = 0;  // m, height of the sample
  std::int32_t nx = 0;     // cells along x
  std::int32_t ny = 0;     // cells along y
  std::int32_t key_model = 0;  // 0 permafrost (ice), 1 shaley sand
  std::int32_t model = 0;      // 0 layered water proportion, 1 per-cell map from a file
  std::int32_t nmat = 0;       // layer types, 1 or 2
  std::int32_t refine = 1;     // each cell of the deck split into refine x refine cells (--refine)

  LayerInt nl;          // cells, thickness of each layer type
  LayerInt nl_line;     // line of the deck that holds nl(i), for messages; the
                        // nineteen reals of the layer type follow line by line
  LayerReal akf;        // Pa, fluid bulk modulus
  LayerReal ro2;        // kg/m^3, fluid density
  LayerReal eta;        // Pa s, fluid viscosity
  LayerReal ro1;        // kg/m^3, solid-1 density
  LayerReal ro3;        // kg/m^3, solid-3 density
  LayerReal phi_a;      // absolute porosity
  LayerReal phi_layer;  // water proportion of the layer type
  LayerReal capa_1_0;   // m^2, solid-1 frame permeability constant
  LayerReal capa_3_0;   // m^2, solid-3 frame permeability constant
  LayerReal s3;         // shale proportion
  LayerReal rs1;        // m, solid-1 grain size (shaley sand)
  LayerReal rs3;        // m, solid-3 grain size (shaley sand)
  LayerReal coef_b13;   // friction coefficient between the solids
  LayerReal ak_air;     // Pa, air bulk modulus
  LayerReal xmu_air;    // Pa, air shear modulus
  LayerReal ak_s1;      // Pa, solid-1 mineral bulk modulus
  LayerReal xmu_s1;     // Pa, solid-1 mineral shear modulus
  LayerReal ak_s3;      // Pa, solid-3 mineral bulk modulus
  LayerReal xmu_s3;     // Pa, solid-3 mineral shear modulus

  double h = 0;  // m, cell side domain_size/ny
};

// Reads the 9 + 20*nmat lines of the parameter stream, echoes them to
// standard output and sets h.  Stops with 11 when, in the permafrost model,
// a layer type's water proportion is not below its absolute porosity, and
// with stop_bad_parameter when a value lies outside what the storage and
// the models admit (fmin, fmax, domain_size > 0, nx, ny in 1..60, nmat in 1..2,
// key_model and model in 0..1, nl(i) >= 0 with nl(1) + nl(2) in
// 1..2^31 - 1).
void readata(LineInput& input, Deck& deck);

// The deck's layered material map: the layer type of every cell
// (medium/makematnum.hpp), for the programs that read a deck without
// running it.
void deck_layers(const Deck& deck, IntMap& matnum);
