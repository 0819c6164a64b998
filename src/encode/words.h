#pragma once

// What the encoder's runs of pixels share: little-endian words, whole bytes appended to the
// sub-blocks, and whether BMI2 can be asked for.
#include "encode/encoder.h"

#include <cstring>
#include <type_traits>

// x86-64 compilers that can build one function for BMI2 and ask the processor for it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(QUONDEL_NO_SIMD)
#define QUONDEL_BMI2 1
#include <immintrin.h>

inline bool processor_deposits_fast() {
    static const bool fast = deposit_is_fast(query_processor());
    return fast;
}
#define BMI2_PATH(path) path
#else
#define BMI2_PATH(path) nullptr
#endif

// The fast path a run takes: the BMI2 one where it is wanted, built and fast on this
// processor, else the portable one.
template <typename Path>
Path choose_path(bool simd, Path portable, typename std::common_type<Path>::type bmi2) {
#ifdef QUONDEL_BMI2
    if (simd && bmi2 != nullptr && processor_deposits_fast()) return bmi2;
#endif
    (void)simd;
    (void)bmi2;
    return portable;
}

// Little-endian words: one load or store where the host is little-endian, bytes elsewhere.
inline uint64_t load_le64(const unsigned char *p) {
    uint64_t v = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    memcpy(&v, p, 8);
#else
    for (int i = 7; i >= 0; --i)
        v = v << 8 | p[i];
#endif
    return v;
}

inline void store_le64(unsigned char *p, uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    memcpy(p, &v, 8);
#else
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
#endif
}

// Appends bytes to the sub-blocks; the stream must stand on a byte boundary.
void put_bytes(FILE *out, const unsigned char *bytes, size_t count);

// Chooses each run's fast path, BMI2 where `simd` and the processor allow; true if it is.
bool choose_byte_runs(bool simd);
bool choose_nibble_runs(bool simd);
