#include "convert/picture_gif.h"

#include "common/status.h"
#include "convert/output_file.h"
#include "convert/scan_interlaced.h"
#include "encode/encoder.h"

int write_picture_gif(FILE *input, unsigned char *picture, const GifLayout &layout) {
    char out_buffer[OUTPUT_BUFFER_SIZE];
    OutputFile output;
    const int opened = open_output(input, out_buffer, output);
    if (opened != STATUS_OK) return opened;
    FILE *out = output.stream;
    start_image_data(layout.depth);
    write_gif_head(out, layout);
    // Rows packed as a 4-bit cel's where the table is 4 bits (in place: each packed byte lies
    // no later than the pixels it holds), then out as a cel's pixel area.
    const CelImage image = {layout.depth, layout.width, layout.height, 0, 0};
    const size_t stride = row_stride(image);
    for (size_t y = 0; layout.depth == 4 && y < layout.height; ++y)
        for (size_t x = 0; x < layout.width; ++x) {
            const unsigned char pixel = picture[y * layout.width + x];
            unsigned char &byte = picture[y * stride + x / 2];
            byte = static_cast<unsigned char>(x % 2 ? byte | pixel : pixel << 4);
        }
    int status = scan_pixel_area(out, picture, image, layout.interlace);
    if (status == STATUS_OK) {
        finish_image_data(out, encoder_state.clear_code + 1, layout.depth + 1);
        write_gif_trailer(out);
    }
    return close_output(output, status);
}
