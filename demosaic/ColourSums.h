// Which directions the demosaic trusts at a cell, and the colour sums along
// them.
//
// ThresholdGradients keeps the directions whose gradient lies below
// min + floor(max / 2) of the eight slots and marks the others with -1. An
// accumulation rule then walks the directions still usable and takes, along
// each, one estimate of every colour from the cell's 5 x 5 neighbourhood (a
// sample, or the mean of two to four samples rounded down), adding them into
// three sums. The middle sum always collects green. The outer two collect red
// and blue, in an order fixed by the site class (raw/Lattice.h):
//
//   rule              classes    first sum              third sum
//   AccumulateColor0  R0, B0     own colour             opposite colour
//   AccumulateColor1  R1, B1     own colour             opposite colour
//   AccumulateGreenA  G10, G11   red at G10, blue G11   blue at G10, red G11
//   AccumulateGreenB  G00, G01   blue at G00, red G01   red at G00, blue G01
//
// The named rules read the neighbourhood around centre, the cell's own
// sample in a mosaic whose rows lie g_mosaicSide samples apart (see
// demosaic/Gradients.h), and return how many directions they used, or 1 when
// none was usable (the sums are then 0). SumColoursAround is the pure form
// of all four, which the demosaic uses: it takes the stride of the rows
// around centre and gives the sums by colour.
#pragma once

#include "raw/Lattice.h"

#include <cstdint>

// min + floor(max / 2) of the eight slots, computed as the rule does in
// double precision: trunc((max - min) * 0.5 + min * 1.5).
int32_t GradientThreshold(const int32_t gradients[kDirectionCount]);

// Marks every slot at or above GradientThreshold with -1, in place.
void ThresholdGradients(int32_t gradients[kDirectionCount]);

int32_t AccumulateColor0(const uint16_t* centre, int32_t gradients[kDirectionCount],
                         int32_t& first, int32_t& second, int32_t& third);
int32_t AccumulateColor1(const uint16_t* centre, int32_t gradients[kDirectionCount],
                         int32_t& first, int32_t& second, int32_t& third);
int32_t AccumulateGreenA(const uint16_t* centre, int32_t gradients[kDirectionCount],
                         int32_t& first, int32_t& second, int32_t& third);
int32_t AccumulateGreenB(const uint16_t* centre, int32_t gradients[kDirectionCount],
                         int32_t& first, int32_t& second, int32_t& third);

// The rule of siteClass around centre, rows stride samples apart: thresholds
// gradients in place, sets sums, indexed by CellColour (red, green, blue), and
// returns the count of the rule.
int32_t SumColoursAround(SiteClass siteClass, const uint16_t* centre, int64_t stride,
                         int32_t gradients[kDirectionCount], int32_t sums[3]);
