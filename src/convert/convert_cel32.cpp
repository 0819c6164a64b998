#include "convert/convert_cel32.h"

#include "colour/colour_table.h"
#include "common/run_state.h"
#include "common/status.h"
#include "convert/gif_container.h"
#include "convert/output_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr size_t CHUNK_PIXELS = size_t{1} << 14;
constexpr unsigned OPAQUE_FROM = 128; // GIF has one transparent index: alpha decides which side

// Reads the pixels the file holds, up to the declared count, as colours or NO_COLOUR; the
// buffer grows with what arrives, so a header that declares more costs nothing.
int read_pixels(FILE *input, uint64_t declared, uint32_t **pixels, size_t &got) {
    size_t room = 0;
    got = 0;
    *pixels = nullptr;
    unsigned char bgra[CHUNK_PIXELS * 4];
    while (got < declared) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(CHUNK_PIXELS, declared - got));
        const size_t arrived = fread(bgra, 4, want, input);
        if (got + arrived > room) {
            room = std::max(room * 2, got + arrived);
            uint32_t *grown = static_cast<uint32_t *>(realloc(*pixels, room * 4));
            if (grown == nullptr) return STATUS_NO_MEMORY;
            *pixels = grown;
        }
        for (size_t i = 0; i < arrived; ++i) {
            const unsigned char *p = bgra + i * 4;
            (*pixels)[got + i] =
                p[3] < OPAQUE_FROM ? NO_COLOUR : uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
        }
        got += arrived;
        if (arrived < want) break;
    }
    return ferror(input) ? STATUS_READ_ERROR : STATUS_OK;
}

} // namespace

int convert_cel32(FILE *input, const KissFile &file) {
    const CelImage image = decode_cel_image(file);
    uint32_t *pixels;
    size_t got;
    int status = read_pixels(input, uint64_t{image.width} * image.height, &pixels, got);
    // The rows the file holds; the rest of a row it ends in is transparent.
    const uint32_t rows =
        image.width == 0 ? 0 : static_cast<uint32_t>((got + image.width - 1) / image.width);
    const size_t area = size_t{rows} * image.width;
    if (status == STATUS_OK && area > got) {
        uint32_t *grown = static_cast<uint32_t *>(realloc(pixels, std::max<size_t>(area, 1) * 4));
        if (grown == nullptr)
            status = STATUS_NO_MEMORY;
        else
            pixels = grown;
        std::fill(pixels + got, pixels + (status == STATUS_OK ? area : got), NO_COLOUR);
    }
    ColourTable table;
    if (status == STATUS_OK) status = index_colours(pixels, area, 1, table);
    if (status == STATUS_OK) {
        GifLayout layout = cel_gif_layout(image, run_state.interlace);
        layout.height = rows;
        layout.colours = table.colours.rgb;
        char out_buffer[OUTPUT_BUFFER_SIZE];
        OutputFile output;
        status = open_output(input, out_buffer, output);
        if (status == STATUS_OK)
            status =
                close_output(output, write_picture_gif(output.stream, layout,
                                                       reinterpret_cast<unsigned char *>(pixels)));
    }
    free(pixels);
    return status;
}
