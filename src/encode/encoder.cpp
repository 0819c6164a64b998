#include "encode/encoder.h"

EncoderState encoder_state{};

void reset_encoder() {
    encoder_state.bit_accumulator = 0;
    encoder_state.bit_count = 0;
    encoder_state.block_length = 0;
    encoder_state.codes_since_clear = 1;
}

void write_sub_block(FILE *out, const unsigned char *bytes, int length) {
    putc(length, out);
    fwrite(bytes, 1, static_cast<size_t>(length), out);
}

void flush_block(FILE *out) {
    write_sub_block(out, encoder_state.block, encoder_state.block_length);
    encoder_state.block_length = 0;
}

void finish_image_data(FILE *out, int end_code, int code_width) {
    // The end code never gets a clear code in front of it, even when one is due.
    put_bits(out, static_cast<uint32_t>(end_code), code_width);
    put_bits(out, 0, 7); // pushes out a partly filled byte; the bits left over are dropped
    encoder_state.bit_accumulator = 0;
    encoder_state.bit_count = 0;
    if (encoder_state.block_length > 0) flush_block(out);
    putc(0, out);
}
