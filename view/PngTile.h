// A tile as a PNG file, encoded by libspng: the pictures as 8-bit RGB, the
// overlay marks as 8-bit RGBA, clipped samples red, zero samples blue (both
// at once magenta) and every other pixel transparent.
#pragma once

#include "view/Pyramid.h"

#include <string>

// The PNG file of tile; empty when the encoder failed. Throws std::bad_alloc.
std::string EncodePngTile(const TilePixels& tile);
