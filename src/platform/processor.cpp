// The processor query, the same on every system: x86-64 answers CPUID, others nothing.
#include "platform/platform.h"

#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <cpuid.h>

Processor query_processor() {
    Processor p = {};
    unsigned eax, ebx, ecx, edx;
    if (__get_cpuid(0, &eax, &ebx, &ecx, &edx) == 0) return p;
    const unsigned highest_leaf = eax;
    std::memcpy(p.vendor, &ebx, 4); // the vendor's name comes in EBX, EDX, ECX
    std::memcpy(p.vendor + 4, &edx, 4);
    std::memcpy(p.vendor + 8, &ecx, 4);
    __get_cpuid(1, &eax, &ebx, &ecx, &edx);
    const unsigned base_family = (eax >> 8) & 0xF, base_model = (eax >> 4) & 0xF;
    p.family = base_family == 0xF ? base_family + ((eax >> 20) & 0xFF) : base_family;
    p.model =
        base_family == 0x6 || base_family == 0xF ? ((eax >> 12) & 0xF0) | base_model : base_model;
    if (highest_leaf >= 7) {
        __cpuid_count(7, 0, eax, ebx, ecx, edx);
        p.bmi2 = (ebx >> 8) & 1;
    }
    return p;
}

#else

Processor query_processor() {
    return Processor{};
}

#endif
