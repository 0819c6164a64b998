#include "convert/convert_cel.h"

#include "common/run_state.h"
#include "common/status.h"
#include "convert/cel_header.h"
#include "convert/convert_cel32.h"
#include "convert/gif_container.h"
#include "convert/output_file.h"
#include "convert/palette_file.h"
#include "convert/scan_interlaced.h"
#include "convert/scan_sequential.h"
#include "encode/encoder.h"
#include "encode/lzw.h"
#include "platform/platform.h"

#include <cstdlib>

namespace {

// pixels is the loaded pixel area when interlacing, else null and the input is streamed;
// lzw the compressed stream (its table `table_bits` wide), else null for plain codes.
int write_gif(FILE *input, const CelImage &image, const unsigned char *pixels, LzwStream *lzw,
              int table_bits) {
    char out_buffer[OUTPUT_BUFFER_SIZE];
    OutputFile output;
    int status = open_output(input, out_buffer, output);
    if (status != STATUS_OK) return status;
    FILE *out = output.stream;
    GifLayout layout = cel_gif_layout(image, run_state.interlace);
    layout.depth = table_bits;
    write_gif_head(out, layout);
    if (run_state.interlace)
        status = scan_interlaced(out, pixels, image, lzw);
    else
        status = scan_sequential(input, out, image, lzw);
    if (status == STATUS_OK) {
        if (lzw != nullptr)
            lzw_end(out, *lzw);
        else
            finish_image_data(out, encoder_state.clear_code + 1, image.depth + 1);
        write_gif_trailer(out);
    }
    return close_output(output, status);
}

// Compressed: the smallest table that holds the highest index, and a window taken before
// the output file is made.
int write_compressed_gif(FILE *input, const CelImage &image, const unsigned char *pixels) {
    unsigned highest;
    uint64_t count;
    if (pixels != nullptr || run_state.interlace) {
        highest = highest_index(pixels, image);
        count = uint64_t{image.width} * image.height;
    } else {
        survey_pixels(input, image, highest, count);
    }
    const int bits = table_bits_for(highest);
    LzwStream lzw{};
    int status = lzw_begin(lzw, lzw_code_size(bits), count, LZW_CHOICES);
    if (status == STATUS_OK) status = write_gif(input, image, pixels, &lzw, bits);
    lzw_release(lzw);
    return status;
}

int convert_image(FILE *input, const CelImage &image) {
    start_image_data(image.depth);
    if (!run_state.interlace) {
        if (run_state.compress) return write_compressed_gif(input, image, nullptr);
        return write_gif(input, image, nullptr, nullptr, image.depth);
    }
    // The buffer comes before the output file, so running out of memory leaves any
    // earlier file of that name as it was.
    unsigned char *pixels = nullptr;
    int status = load_pixel_area(input, image, &pixels);
    if (status == STATUS_OK && run_state.compress)
        status = write_compressed_gif(input, image, pixels);
    else if (status == STATUS_OK)
        status = write_gif(input, image, pixels, nullptr, image.depth);
    free(pixels);
    return status;
}

} // namespace

int convert_cel(FILE *input, const char *input_name) {
    KissFile file;
    const int status = read_kiss_file(input, input_name, file);
    if (status != STATUS_OK) return status;
    const KissKind kind = classify_kiss_file(file);
    switch (kind) {
    case KissKind::palette:
    case KissKind::old_palette:
        return load_palette(input, file, kind);
    case KissKind::short_file:
        return STATUS_SHORT_HEADER;
    case KissKind::other:
        return STATUS_NOT_CEL;
    case KissKind::cel32:
        return convert_cel32(input, file);
    case KissKind::cel:
    case KissKind::old_cel:
        break;
    }
    const CelImage image = decode_cel_image(file);
    run_state.pixel_depth = static_cast<signed char>(image.depth);
    if (image.depth != 4 && image.depth != 8) return STATUS_NOT_CEL;
    // Old-style pixels start inside the bytes read for a header.
    if (kind == KissKind::old_cel && !seek_to(input, pixel_data_offset(kind)))
        return STATUS_READ_ERROR;
    return convert_image(input, image);
}
