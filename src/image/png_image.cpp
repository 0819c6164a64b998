// PNG image cels through libspng: any PNG as 8-bit straight RGBA, tRNS applied, no gamma.
#include "image/image.h"

#include "common/status.h"

#include <spng.h>

int decode_png(const unsigned char *bytes, size_t size, RgbaImage &image) {
    spng_ctx *png = spng_ctx_new(0);
    if (png == nullptr) return STATUS_NO_MEMORY;
    spng_ihdr header;
    size_t decoded_size = 0;
    // Text and other ancillary chunks are bounded too, so no chunk makes it hold much.
    int status = spng_set_chunk_limits(png, 1 << 24, 1 << 26) == 0 &&
                         spng_set_png_buffer(png, bytes, size) == 0 &&
                         spng_get_ihdr(png, &header) == 0
                     ? size_image(header.width, header.height, image)
                     : STATUS_NOT_DOLL_CEL;
    if (status == STATUS_OK && (spng_decoded_image_size(png, SPNG_FMT_RGBA8, &decoded_size) != 0 ||
                                decoded_size != image.rgba.size() ||
                                spng_decode_image(png, image.rgba.data(), decoded_size,
                                                  SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0))
        status = STATUS_NOT_DOLL_CEL;
    spng_ctx_free(png);
    return status;
}
