// The fast reflectivity kernel for AVX-512: eight doubles per vector. Compiled with -mavx512f
// (see CMakeLists.txt) and entered only where the CPU supports it.
#include "physics/reflectivity_kernel.h"

namespace tolvi::fast {

namespace {
typedef double EightDoubles __attribute__((vector_size(64)));
}

constinit const KernelTable AVX512_KERNELS = kernelTable<EightDoubles>("avx512");

}  // namespace tolvi::fast
