// Directional gradients of the eight-direction demosaic.
//
// Around the cell (r, c) of the composite mosaic, P(dy, dx) is the sample of
// cell (r + dy, c + dx); every rule reads only the 5 x 5 neighbourhood. Each
// of the eight slots of g_gradients (N, E, S, W, NE, SE, SW, NW) measures how
// strongly the mosaic changes along its direction, as a sum of absolute
// differences between cells of one colour (see raw/Lattice.h). Terms marked
// "halved" are halved on their own, rounding down, before they are added.
// The few terms that are divided by 1.1 are computed in double precision and
// added in a fixed order, since any other order or precision changes results.
#pragma once

#include <cstdint>

// Side of the composite mosaic, set by the demosaic pass before it scans.
extern int32_t g_mosaicSide;

// The eight gradient slots of the current cell, N, E, S, W, NE, SE, SW, NW.
// The gradient rules fill them with values of 0 or more; ThresholdGradients
// then marks the disabled directions with -1.
extern int32_t g_gradients[8];

enum Direction : int { kNorth, kEast, kSouth, kWest, kNorthEast, kSouthEast, kSouthWest, kNorthWest };

// Fills g_gradients for the green cell (r, c) (c odd) of the mosaic of the
// given side; r and c lie at least two cells inside every edge.
void ComputeGreenGradients(const uint16_t* mosaic, int32_t side, int32_t r, int32_t c);

// Fills g_gradients for the red or blue cell (r, c) (c even) of a mosaic of
// side g_mosaicSide; r and c lie at least two cells inside every edge.
void ComputeColorGradients(const uint16_t* mosaic, int32_t r, int32_t c);
