#pragma once

// Internal interface of the fast reflectivity kernel: the stack constants it reads, the three
// builds of it (baseline x86-64, AVX2, AVX-512) and the choice between them. The public entry
// points are in reflectivity.h; this header serves reflectivity.cpp, the kernel builds, the
// equality tests and the benchmark.

#include "model/model_store.h"

namespace tolvi {

// The plain kernel, kept as the oracle of the fast one: the transfer matrix as written, in the
// global depth coordinate, one angle at a time, with the guards described in reflectivity.cpp.
// Same contract as computeReflectivity, computeFresnelReference and slabReflectivity.
void computeReflectivityPlain(ModelStore& store, int slot, bool simulate);
void computeFresnelReferencePlain(ModelStore& store, int slot);
double slabReflectivityPlain(const ModelStore& store, int slot, double theta);

namespace fast {

// The slab stack unpacked once per curve for the kernel, as structure of arrays. The kernel works
// with κ = k / k0 = sqrt(χ - χ_ambient + a²), a² = n_ambient² sin²θ, so k0 is folded into the
// scales here. The arrays are filled up to `count` (chi up to `count` inclusive) and deliberately
// left without initialisers: zeroing 13 KB per call would cost more than a short curve.
struct StackConstants {
    int count = 0;  // interfaces (= slabs), 1 to MAX_SLABS; the kernel never sees an empty stack
    double heightScale = 0.0;     // 4 k0 z_top, z_top the height of the top interface above slab 0
    double phaseBound = 0.0;      // 2 k0 max |z|: times sqrt(max |κ²|) it bounds the phases z a±
    double chiRe[MAX_SLABS + 1];  // χ = n² - 1 of each slab less the ambient's, the ambient last
    double chiIm[MAX_SLABS + 1];
    double phaseScale[MAX_SLABS];  // 2 k0 t of each slab (the substrate's is not used)
    double roughScale[MAX_SLABS];  // 2 k0² σ² of each interface (the top of slab s)
};

// R of `count` angles, each given by a² = n_ambient² sin²θ in (aSqRe[i], aSqIm[i]), into R[i].
// A NaN marks an angle whose result the fast form cannot vouch for (an exact zero wave number or
// denominator, an exponential or a phase beyond the bounds of its guards); the caller computes
// that angle with the plain kernel.
using ReflectFn = void (*)(const StackConstants& stack, const double* aSqRe, const double* aSqIm,
                           int count, double* R);
// The kernel's own exp(x) and (sin x, cos x) over arrays, exposed for the accuracy tests.
using ExpFn = void (*)(const double* x, double* y, int count);
using SinCosFn = void (*)(const double* x, double* s, double* c, int count);

struct KernelTable {
    const char* name;  // "base", "avx2", "avx512": the names TOLVI_KERNEL accepts
    int lanes;         // doubles per vector
    ReflectFn reflect;
    ExpFn exp;
    SinCosFn sinCos;
};

// One table per build; each lives in the translation unit compiled for its instruction set, and
// only data is read from it before the CPU has been checked.
extern const KernelTable BASE_KERNELS;
extern const KernelTable AVX2_KERNELS;
extern const KernelTable AVX512_KERNELS;

enum class Variant { Base, Avx2, Avx512 };

// Whether this CPU (and its operating system) runs the variant's instructions.
bool cpuSupports(Variant v);

// The variant for a request ("avx512", "avx2", "base"; null or empty for none): the request when
// the CPU supports it, otherwise the widest supported one.
Variant chooseVariant(const char* request);

// The variant computeReflectivity uses: chooseVariant of the environment variable TOLVI_KERNEL,
// resolved once, on first use (thread-safe).
Variant activeVariant();

const KernelTable& kernels(Variant v);

// The public curve functions with a given variant instead of the active one (for the tests and
// the benchmark). The variant must be supported by the CPU.
void computeReflectivityWith(Variant v, ModelStore& store, int slot, bool simulate, int firstPoint,
                             int endPoint);
void computeFresnelReferenceWith(Variant v, ModelStore& store, int slot);

}  // namespace fast
}  // namespace tolvi
