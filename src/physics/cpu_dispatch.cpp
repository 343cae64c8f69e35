// The choice of the fast reflectivity kernel's build for the running CPU.
#include <cstdlib>
#include <cstring>

#include "physics/reflectivity_fast.h"

namespace tolvi::fast {

bool cpuSupports(Variant v) {
    // The compiler's CPU model checks the CPUID bits and that the operating system saves the
    // wider registers (XGETBV).
    __builtin_cpu_init();
    switch (v) {
        case Variant::Avx512:
            return __builtin_cpu_supports("avx512f");
        case Variant::Avx2:
            return __builtin_cpu_supports("avx2");
        case Variant::Base:
            break;
    }
    return true;
}

Variant chooseVariant(const char* request) {
    if (request) {
        for (Variant v : {Variant::Avx512, Variant::Avx2, Variant::Base})
            if (std::strcmp(request, kernels(v).name) == 0 && cpuSupports(v)) return v;
    }
    if (cpuSupports(Variant::Avx512)) return Variant::Avx512;
    if (cpuSupports(Variant::Avx2)) return Variant::Avx2;
    return Variant::Base;
}

Variant activeVariant() {
    // Resolved once; the initialisation of a local static is thread-safe.
    static const Variant chosen = chooseVariant(std::getenv("TOLVI_KERNEL"));
    return chosen;
}

const KernelTable& kernels(Variant v) {
    switch (v) {
        case Variant::Avx512:
            return AVX512_KERNELS;
        case Variant::Avx2:
            return AVX2_KERNELS;
        case Variant::Base:
            break;
    }
    return BASE_KERNELS;
}

}  // namespace tolvi::fast
