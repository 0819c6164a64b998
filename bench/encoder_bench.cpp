// The image-data encoder alone: pixel codes in, packed sub-blocks out to /dev/null.
#include "encode/encoder.h"

#include <benchmark/benchmark.h>
#include <random>
#include <vector>

namespace {

constexpr size_t PIXELS = 1 << 20;

std::vector<unsigned char> random_codes(int depth) {
    std::mt19937 generator(42);
    std::vector<unsigned char> codes(PIXELS);
    for (auto &c : codes)
        c = static_cast<unsigned char>(generator() & ((1u << depth) - 1));
    return codes;
}

// Runs of pixels, as the scans hand them over; 4-bit pixels two to a byte.
void put_pixels_in_runs(benchmark::State &state) {
    const int depth = static_cast<int>(state.range(0));
    const size_t run = static_cast<size_t>(state.range(1));
    const std::vector<unsigned char> codes = random_codes(depth);
    FILE *out = fopen("/dev/null", "wb");
    for (auto _ : state) {
        start_image_data(depth);
        for (size_t at = 0; at < PIXELS; at += run)
            if (depth == 8)
                put_byte_pixels(out, &codes[at], run);
            else
                put_nibble_pixels(out, &codes[at / 2], run);
        finish_image_data(out, (1 << depth) + 1, depth + 1);
    }
    fclose(out);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * PIXELS));
}

// One call per code: the reference the runs are measured against.
void put_code_singly(benchmark::State &state) {
    const int depth = static_cast<int>(state.range(0));
    const std::vector<unsigned char> codes = random_codes(depth);
    FILE *out = fopen("/dev/null", "wb");
    for (auto _ : state) {
        start_image_data(depth);
        for (unsigned char code : codes)
            put_code(out, code, depth + 1);
        finish_image_data(out, (1 << depth) + 1, depth + 1);
    }
    fclose(out);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * PIXELS));
}

} // namespace

BENCHMARK(put_pixels_in_runs)
    ->ArgsProduct({{4, 8}, {64, 4096, 32768}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(put_code_singly)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
