// The eight directional gradients of the demosaic, and the two values that
// the demosaic's per-cell rules share.
//
// Around cell (r, c), P(dy, dx) is the sample of cell (r + dy, c + dx); a
// rule reads nothing outside the 5 x 5 square dy, dx = -2 .. 2. A gradient
// slot adds up absolute differences between cells of one colour lying along
// its direction (raw/Lattice.h names the directions and colours): the
// smaller the sum, the smoother the mosaic is that way. A "halved" term is
// halved, rounding down, on its own before it joins the sum. The few terms
// divided by 1.1 are computed in double precision and added in a fixed order,
// as any other order or precision changes some results.
//
// Each rule comes in two forms. The pure one (GreenGradientsAround,
// ColourGradientsAround) reads the neighbourhood around a pointer to the
// cell's sample, rows stride samples apart, and fills the caller's slots: a
// 5 x 5 patch will do as well as a whole mosaic. The named rules
// (ComputeGreenGradients, ComputeColorGradients) take the mosaic and its side
// and fill g_gradients, for which the colour-sum rules (demosaic/ColourSums.h)
// read the side from g_mosaicSide; a caller of those sets it first with
// PublishMosaicSide. Both values are per thread, so any number of threads
// run the rules at once. The demosaic itself uses the pure forms only.
#pragma once

#include "raw/Lattice.h"

#include <cstdint>

// Side of the composite mosaic that the colour-sum rules read.
extern thread_local int32_t g_mosaicSide;

// The gradient slots of the current cell, indexed by Direction (N, E, S, W,
// NE, SE, SW, NW). The gradient rules fill them with values of 0 or more;
// ThresholdGradients then marks the directions it drops with -1.
extern thread_local int32_t g_gradients[kDirectionCount];

// Sets g_mosaicSide of the calling thread.
void PublishMosaicSide(int32_t side);

// Fills gradients for the green cell of mosaic row r whose sample centre
// points at, or the red or blue one: rows lie stride samples apart, and the
// rows and columns two either side of the cell are readable.
void GreenGradientsAround(const uint16_t* centre, int64_t stride, int32_t r, int32_t gradients[kDirectionCount]);
void ColourGradientsAround(const uint16_t* centre, int64_t stride, int32_t r, int32_t gradients[kDirectionCount]);

// Fills g_gradients for the green cell (r, c) (c odd) of a side x side mosaic;
// r and c lie at least two cells inside every edge. rows holds the mosaic's
// rows from firstRow on (all of it by default), at least to row r + 2.
void ComputeGreenGradients(const uint16_t* rows, int32_t side, int32_t r, int32_t c, int32_t firstRow = 0);

// Fills g_gradients for the red or blue cell (r, c) (c even) of a side x side
// mosaic, held as for ComputeGreenGradients; r and c lie at least two cells
// inside every edge.
void ComputeColorGradients(const uint16_t* rows, int32_t side, int32_t r, int32_t c, int32_t firstRow = 0);
