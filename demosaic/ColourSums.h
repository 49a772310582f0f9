// Direction selection and colour sums of the eight-direction demosaic.
//
// ThresholdGradients keeps a direction usable when its gradient lies below
// min + floor(max / 2) of the eight slots and marks every other one with -1.
// Each accumulation rule then takes, along every usable direction, one
// estimate of each of the three colours from the 5 x 5 neighbourhood of
// (r, c) (a single sample, or the rounded-down mean of 2, 3 or 4 samples) and
// adds them to the first, second and third sum. The second sum is always the
// green estimate. Which of the others is red and which blue depends on the
// site class (raw/Lattice.h):
//
//   rule              classes    first sum              third sum
//   AccumulateColor0  R0, B0     own colour             opposite colour
//   AccumulateColor1  R1, B1     own colour             opposite colour
//   AccumulateGreenA  G10, G11   red at G10, blue G11   blue at G10, red G11
//   AccumulateGreenB  G00, G01   blue at G00, red G01   red at G00, blue G01
//
// The rules read raw.m_mosaic with the side g_mosaicSide and return the number
// of usable directions n, or 1 when there is none (the sums then stay 0).
#pragma once

#include <cstdint>

class CRawX10;

// Marks every slot at or above the threshold with -1, in place.
void ThresholdGradients(int32_t gradients[8]);

int32_t AccumulateColor0(const CRawX10& raw, int32_t gradients[8], int32_t r, int32_t c,
                         int32_t& first, int32_t& second, int32_t& third);
int32_t AccumulateColor1(const CRawX10& raw, int32_t gradients[8], int32_t r, int32_t c,
                         int32_t& first, int32_t& second, int32_t& third);
int32_t AccumulateGreenA(const CRawX10& raw, int32_t gradients[8], int32_t r, int32_t c,
                         int32_t& first, int32_t& second, int32_t& third);
int32_t AccumulateGreenB(const CRawX10& raw, int32_t gradients[8], int32_t r, int32_t c,
                         int32_t& first, int32_t& second, int32_t& third);
