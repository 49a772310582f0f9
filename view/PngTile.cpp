#include "view/PngTile.h"

#include <spng.h>

#include <cstdlib>
#include <memory>
#include <new>

namespace
{

struct ContextFree
{
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};

struct BufferFree
{
    void operator()(void* buffer) const { std::free(buffer); }
};

// The colours of the marks, RGBA.
void MarkColour(uint8_t mark, uint8_t* rgba)
{
    const bool clipped = (mark & kMarkClipped) != 0;
    const bool zero = (mark & kMarkZero) != 0;
    rgba[0] = clipped ? 255 : 0;
    rgba[1] = 0;
    rgba[2] = zero ? 255 : 0;
    rgba[3] = clipped || zero ? 255 : 0;
}

}  // namespace

std::string EncodePngTile(const TilePixels& tile)
{
    const std::unique_ptr<spng_ctx, ContextFree> context(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!context)
        throw std::bad_alloc();
    spng_ctx* const png = context.get();
    std::vector<uint8_t> rgba;
    const std::vector<uint8_t>* image = &tile.bytes;
    if (tile.channels == 1)
    {
        rgba.resize(tile.bytes.size() * 4);
        for (size_t i = 0; i < tile.bytes.size(); ++i)
            MarkColour(tile.bytes[i], rgba.data() + 4 * i);
        image = &rgba;
    }
    spng_ihdr header{};
    header.width = static_cast<uint32_t>(tile.width);
    header.height = static_cast<uint32_t>(tile.height);
    header.bit_depth = 8;
    header.color_type = static_cast<uint8_t>(tile.channels == 1 ? SPNG_COLOR_TYPE_TRUECOLOR_ALPHA
                                                                : SPNG_COLOR_TYPE_TRUECOLOR);
    // Speed over size: the tiles go over the loopback interface.
    if (spng_set_option(png, SPNG_ENCODE_TO_BUFFER, 1) != 0 || spng_set_option(png, SPNG_IMG_COMPRESSION_LEVEL, 1) != 0 ||
        spng_set_ihdr(png, &header) != 0 ||
        spng_encode_image(png, image->data(), image->size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) != 0)
        return std::string();
    size_t length = 0;
    int error = 0;
    const std::unique_ptr<void, BufferFree> buffer(spng_get_png_buffer(png, &length, &error));
    if (!buffer || error != 0)
        return std::string();
    return std::string(static_cast<const char*>(buffer.get()), length);
}
