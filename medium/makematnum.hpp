// Layered material map: the layer type (1 or 2) of every cell.
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"

// The sample is a periodic stack of horizontal layers, repeated upwards from
// the bottom row: a period is nl(1) rows of layer type 1 under nl(2) rows of
// layer type 2.  Fills matnum(j,k) for the nper = ny div (nl(1) + nl(2))
// whole periods; the rows above them keep 0, so the driver's check of the
// map rejects a mesh that is not a whole number of periods.  size_layer(i) is
// the thickness of layer type i in metres (echo only).
void makematnum(const std::int32_t& nx, const std::int32_t& ny, const LayerInt& nl, LayerReal& size_layer,
                const double& h, IntMap& matnum);
