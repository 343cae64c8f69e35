// The fast reflectivity kernel for any x86-64 CPU: two doubles per vector (SSE2).
#include "physics/reflectivity_kernel.h"

namespace tolvi::fast {

namespace {
typedef double TwoDoubles __attribute__((vector_size(16)));
}

constinit const KernelTable BASE_KERNELS = kernelTable<TwoDoubles>("base");

}  // namespace tolvi::fast
