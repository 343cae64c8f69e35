// The fast reflectivity kernel for AVX2: four doubles per vector. Compiled with -mavx2 (see
// CMakeLists.txt) and entered only where the CPU supports it.
#include "physics/reflectivity_kernel.h"

namespace tolvi::fast {

namespace {
typedef double FourDoubles __attribute__((vector_size(32)));
}

constinit const KernelTable AVX2_KERNELS = kernelTable<FourDoubles>("avx2");

}  // namespace tolvi::fast
