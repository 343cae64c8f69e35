#include "physics/reflectivity.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "base/constants.h"
#include "base/status.h"
#include "physics/reflectivity_fast.h"
#include "physics/resolution.h"

namespace tolvi {

namespace {

// The smallest grazing angle on the q axis, radians.
constexpr double MIN_Q_ANGLE = 1e-6;

// Divergence quadrature: four nodes in units of the standard deviation; the weights sum to 1.
constexpr int NODES = 4;
constexpr std::array<double, NODES> NODE_OFFSET{0.5, -0.5, 1.5, -1.5};
constexpr std::array<double, NODES> NODE_WEIGHT{0.357, 0.357, 0.143, 0.143};

// The plain transfer matrix serves while no exponential of an interface exceeds e^200 (and not
// every entry falls below e^-200): its entries, products of two exponentials, then stay within
// e^±400 ≈ 2^±577, and with (P, Q) held within 2^±128 every product of the recursion stays far
// inside the double range (2^±1022). Beyond that the scaled form takes over.
constexpr double PLAIN_EXPONENT_LIMIT = 200.0;
constexpr double PQ_HIGH = 0x1p128;
constexpr double PQ_LOW = 0x1p-128;
// Below this the amplitudes have lost digits to underflow: redo the interface scaled.
constexpr double PQ_UNDERFLOW = 0x1p-900;

// The slab stack unpacked once per curve: χ = n² - 1 of each slab (magnetic term applied) less
// the ambient medium's (which comes last, as 0), the heights of the interfaces and their
// roughnesses. With a² = n_ambient² sin²θ the wave number of slab s is k0 sqrt(chi[s] + a²): a sum
// of small numbers, where n² - n_ambient² cos²θ would be the difference of two numbers near 1.
struct StackOptics {
    int count = 0;  // interfaces = slabs
    std::array<Complex, MAX_SLABS + 1> chi;
    std::array<double, MAX_SLABS> z;      // Å above the bottom of slab 0
    std::array<double, MAX_SLABS> sigma;  // Å
};

// χ of the slab less χ of the ambient medium.
Complex relativeChi(const LayerEntry& slab, double p, Complex ambientChi) {
    return effectiveMedium(slab, p).chi() - ambientChi;
}

// n_ambient² = 1 + χ_ambient: the factor of sin²θ in every wave number.
Complex ambientIndexSquared(const ModelStore& store, int slot) {
    Complex chi = ambientOf(store, slot).chi();
    return {1.0 + chi.re, chi.im};
}

void unpackStack(const ModelStore& store, int slot, StackOptics& st) {
    const LayerModel& model = store.layerModel(slot);
    double p = store.dataSet(slot).magMode;
    Complex ambientChi = ambientOf(store, slot).chi();
    int count = std::clamp(model.layall, 0, MAX_SLABS);
    double z = 0.0;
    for (int s = 0; s < count; ++s) {
        const LayerEntry& slab = model.slabs[s];
        st.chi[s] = relativeChi(slab, p, ambientChi);
        z = z + slab.t.value;
        st.z[s] = z;
        st.sigma[s] = slab.sig.value;
    }
    // The ambient medium never carries a magnetic term.
    st.chi[count] = {0.0, 0.0};
    st.count = count;
}

// One interface: the substrate (with its thickness) under the ambient medium, with the roughness
// of the sample surface. An empty stack stays empty.
void unpackSubstrate(const ModelStore& store, int slot, StackOptics& st) {
    const LayerModel& model = store.layerModel(slot);
    int count = std::clamp(model.layall, 0, MAX_SLABS);
    st.count = count > 0 ? 1 : 0;
    if (count == 0) return;
    const LayerEntry& substrate = model.slabs[0];
    st.chi[0] = relativeChi(substrate, store.dataSet(slot).magMode, ambientOf(store, slot).chi());
    st.chi[1] = {0.0, 0.0};
    st.z[0] = 0.0 + substrate.t.value;
    st.sigma[0] = model.slabs[count - 1].sig.value;
}

// What the two paths share of interface s: the prefactors 0.5 (1 ± r) with r = k_lo / k_hi,
// a± = k_lo ± k_hi, the exponents z Im a± and phases z Re a± of the global coordinate, the height
// and the roughness.
struct Interface {
    Complex wPlus;
    Complex wMinus;
    Complex aMinus;
    Complex aPlus;
    double xMinus = 0.0, xPlus = 0.0;  // z Im a-, z Im a+
    double yMinus = 0.0, yPlus = 0.0;  // z Re a-, z Re a+, reduced to [-π, π]
    double z = 0.0;
    double sigma = 0.0;
};

// 2π, 4π and π/180 as long doubles, for the reduction of the phases and the angles' sines.
constexpr long double TWO_PI_LONG = 6.283185307179586476925286766559L;
constexpr long double FOUR_PI_LONG = 12.566370614359172953850573533118L;
// π/180 - RAD_PER_DEG: the tail of the degree factor beyond its double.
constexpr double RAD_PER_DEG_TAIL =
    static_cast<double>(0.017453292519943295769236907684886L - RAD_PER_DEG);

// a · b = p + e exactly (Dekker's product: no fused multiply-add is used or needed).
inline void twoProduct(double a, double b, double& p, double& e) {
    constexpr double SPLIT = 134217729.0;  // 2^27 + 1
    p = a * b;
    double t = SPLIT * a;
    double aHi = t - (t - a), aLo = a - aHi;
    t = SPLIT * b;
    double bHi = t - (t - b), bLo = b - bHi;
    e = ((aHi * bHi - p) + aHi * bLo + aLo * bHi) + aLo * bLo;
}

// z k1 + z k2 in long double. In the global coordinate the heights reach thousands of Å and the
// phases thousands of radians: rounded in double, each would carry an error of an ulp of its size
// (about 1e-12 rad), which no longer cancels between neighbouring interfaces and reaches R. The
// 64-bit products keep them to about 1e-16 rad for stacks some 1e4 Å high.
long double heightProduct(double z, double k1, double k2) {
    return static_cast<long double>(z) * k1 + static_cast<long double>(z) * k2;
}

Interface makeInterface(Complex kLo, Complex kHi, double z, double sigma) {
    Interface f;
    if (kHi.re != 0.0 || kHi.im != 0.0) {
        Complex r = kLo / kHi;
        f.wPlus = 0.5 * (Complex{1.0, 0.0} + r);
        f.wMinus = 0.5 * (Complex{1.0, 0.0} - r);
    } else {
        // k_hi = 0 (an index equal to the in-plane component): the matrix times k_hi has the
        // same Q/P and needs no division, 0.5 (k_hi ± k_lo) in place of 0.5 (1 ± r).
        f.wPlus = 0.5 * kLo;
        f.wMinus = -0.5 * kLo;
    }
    f.aMinus = kLo - kHi;
    f.aPlus = kLo + kHi;
    f.xMinus = static_cast<double>(heightProduct(z, kLo.im, -kHi.im));
    f.xPlus = static_cast<double>(heightProduct(z, kLo.im, kHi.im));
    f.yMinus = static_cast<double>(std::remainder(heightProduct(z, kLo.re, -kHi.re), TWO_PI_LONG));
    f.yPlus = static_cast<double>(std::remainder(heightProduct(z, kLo.re, kHi.re), TWO_PI_LONG));
    f.z = z;
    f.sigma = sigma;
    return f;
}

// Névot-Croce exponents -0.5 (σ a)^2 of an interface.
struct Roughness {
    Complex gMinus;
    Complex gPlus;
};

Roughness roughness(const Interface& f) {
    if (f.sigma == 0.0) return {};
    return {-0.5 * square(f.sigma * f.aMinus), -0.5 * square(f.sigma * f.aPlus)};
}

// The interface matrix as written:
//   A = 0.5 (1 + r) exp(-i z a-) F-    B = 0.5 (1 - r) exp(+i z a+) F+
//   C = 0.5 (1 - r) exp(-i z a+) F+    D = 0.5 (1 + r) exp(+i z a-) F-
// applied to (P, Q). exp(∓i z a) for real z is e^{±z Im a} (cos(z Re a) ∓ i sin(z Re a)), so
// each pair shares its cosine and sine and gives the same numbers as two separate exponentials.
// Returns false, leaving (P, Q) alone, when an exponential would exceed e^200, every entry would
// fall below e^-200, or the new amplitudes overflow or underflow: the caller then goes on with
// the scaled form from this interface.
bool plainStep(const Interface& f, const Roughness& g, Complex& P, Complex& Q) {
    double xm = f.xMinus;
    double xp = f.xPlus;
    double top = std::max(g.gMinus.re + std::fabs(xm), g.gPlus.re + std::fabs(xp));
    if (!(std::fabs(xm) <= PLAIN_EXPONENT_LIMIT && std::fabs(xp) <= PLAIN_EXPONENT_LIMIT &&
          g.gMinus.re <= PLAIN_EXPONENT_LIMIT && g.gPlus.re <= PLAIN_EXPONENT_LIMIT &&
          top >= -PLAIN_EXPONENT_LIMIT))
        return false;

    double ym = f.yMinus;
    double yp = f.yPlus;
    double cm = std::cos(ym), sm = std::sin(ym);
    double cp = std::cos(yp), sp = std::sin(yp);
    double em = std::exp(xm), emInv = std::exp(-xm);
    double ep = std::exp(xp), epInv = std::exp(-xp);
    Complex A = f.wPlus * Complex{em * cm, -(em * sm)};
    Complex B = f.wMinus * Complex{epInv * cp, epInv * sp};
    Complex C = f.wMinus * Complex{ep * cp, -(ep * sp)};
    Complex D = f.wPlus * Complex{emInv * cm, emInv * sm};
    if (f.sigma != 0.0) {
        Complex fMinus = cexp(g.gMinus);
        Complex fPlus = cexp(g.gPlus);
        A = A * fMinus;
        B = B * fPlus;
        C = C * fPlus;
        D = D * fMinus;
    }
    Complex P2 = A * P + B * Q;
    Complex Q2 = C * P + D * Q;

    double m = std::max(std::max(std::fabs(P2.re), std::fabs(P2.im)),
                        std::max(std::fabs(Q2.re), std::fabs(Q2.im)));
    if (!(m <= PQ_HIGH && m >= PQ_LOW)) {
        if (!(m <= DBL_MAX) || m < PQ_UNDERFLOW) return false;
        // Only Q/P matters: a power of two rescales both without changing a digit of it.
        int e = std::ilogb(m);
        P2 = {std::scalbn(P2.re, -e), std::scalbn(P2.im, -e)};
        Q2 = {std::scalbn(Q2.re, -e), std::scalbn(Q2.im, -e)};
    }
    P = P2;
    Q = Q2;
    return true;
}

// An amplitude v e^scale, for stacks whose global-coordinate factors exceed the double range.
// P and Q need separate scales: in an absorbing slab high in the stack their ratio grows like
// e^(2 z Im k), which no pair of doubles with a common scale can hold.
struct Scaled {
    Complex v;
    double scale = 0.0;
};

bool isZero(Complex a) {
    return a.re == 0.0 && a.im == 0.0;
}

Scaled normalised(Scaled a) {
    double m = std::max(std::fabs(a.v.re), std::fabs(a.v.im));
    if (m == 0.0 || !std::isfinite(m)) return a;
    int e = std::ilogb(m);
    a.v = {std::scalbn(a.v.re, -e), std::scalbn(a.v.im, -e)};
    a.scale += e * LN2;
    return a;
}

// w1 e^g1 a1 + w2 e^g2 a2, with the larger real exponent taken out as the new scale, so that
// neither exponential can overflow and only a negligible term can underflow.
Scaled combine(Complex w1, Complex g1, Scaled a1, Complex w2, Complex g2, Scaled a2) {
    bool has1 = !isZero(a1.v);
    bool has2 = !isZero(a2.v);
    if (!has1 && !has2) return {};
    double e1 = g1.re + a1.scale;
    double e2 = g2.re + a2.scale;
    double top = !has2 ? e1 : !has1 ? e2 : std::max(e1, e2);
    Complex sum;
    if (has1) sum = sum + w1 * cexp({e1 - top, g1.im}) * a1.v;
    if (has2) sum = sum + w2 * cexp({e2 - top, g2.im}) * a2.v;
    return normalised({sum, top});
}

// The same interface matrix with each entry as w e^g: the exponents of the phase factor and of
// the roughness factor are added before exponentiating and the largest is scaled out.
void scaledStep(const Interface& f, const Roughness& g, Scaled& P, Scaled& Q) {
    double xm = f.xMinus, ym = f.yMinus;
    double xp = f.xPlus, yp = f.yPlus;
    Complex gA{xm + g.gMinus.re, -ym + g.gMinus.im};
    Complex gB{-xp + g.gPlus.re, yp + g.gPlus.im};
    Complex gC{xp + g.gPlus.re, -yp + g.gPlus.im};
    Complex gD{-xm + g.gMinus.re, ym + g.gMinus.im};
    Scaled P2 = combine(f.wPlus, gA, P, f.wMinus, gB, Q);
    Scaled Q2 = combine(f.wMinus, gC, P, f.wPlus, gD, Q);
    P = P2;
    Q = Q2;
}

// R = |Q/P|^2 of one angle: the transfer-matrix recursion in the global depth coordinate from the
// substrate (P = 1, Q = 0) up to the ambient medium. Each k_hi is the next interface's k_lo.
// The angle enters as a² = n_ambient² sin²θ (sinθ in the ambient medium).
double stackReflectivity(const StackOptics& st, Complex aSq, double k0) {
    if (st.count == 0) return 0.0;
    Complex kLo = k0 * csqrt(st.chi[0] + aSq);
    Complex P{1.0, 0.0};
    Complex Q{0.0, 0.0};
    Scaled Ps, Qs;
    bool scaled = false;
    for (int s = 0; s < st.count; ++s) {
        Complex kHi = k0 * csqrt(st.chi[s + 1] + aSq);
        Interface f = makeInterface(kLo, kHi, st.z[s], st.sigma[s]);
        Roughness g = roughness(f);
        kLo = kHi;
        if (!scaled) {
            if (plainStep(f, g, P, Q)) continue;
            scaled = true;
            Ps = normalised({P, 0.0});
            Qs = normalised({Q, 0.0});
        }
        scaledStep(f, g, Ps, Qs);
    }
    // P = 0 leaves Q/P undefined: take its limit, total reflection.
    if (!scaled) return isZero(P) ? 1.0 : norm2(Q / P);
    if (isZero(Ps.v)) return 1.0;
    if (isZero(Qs.v)) return 0.0;
    return norm2(Qs.v / Ps.v) * std::exp(2.0 * (Qs.scale - Ps.scale));
}

// The plain recursion of one slot's stack (or of its substrate alone), unpacked on first use: the
// fast path needs it only for the rare angles the kernel leaves.
enum class StackPart { Whole, Substrate };

struct PlainAngles {
    const ModelStore& store;
    int slot;
    StackPart part;
    double k0;
    std::optional<StackOptics> optics;

    double reflectivity(Complex aSq) {
        if (!optics) {
            optics.emplace();
            if (part == StackPart::Whole)
                unpackStack(store, slot, *optics);
            else
                unpackSubstrate(store, slot, *optics);
        }
        return stackReflectivity(*optics, aSq, k0);
    }
};

// The stack constants of the fast kernel: the same χ and heights as unpackStack and
// unpackSubstrate compute, with the thicknesses, roughnesses and heights scaled by k0.
void unpackFast(const ModelStore& store, int slot, StackPart part, double k0,
                fast::StackConstants& fs) {
    const LayerModel& model = store.layerModel(slot);
    double p = store.dataSet(slot).magMode;
    Complex ambientChi = ambientOf(store, slot).chi();
    int layers = std::clamp(model.layall, 0, MAX_SLABS);
    int count = part == StackPart::Whole ? layers : std::min(layers, 1);
    double z = 0.0;
    double zMax = 0.0;
    for (int s = 0; s < count; ++s) {
        const LayerEntry& slab = model.slabs[s];
        Complex chi = relativeChi(slab, p, ambientChi);
        fs.chiRe[s] = chi.re;
        fs.chiIm[s] = chi.im;
        z = z + slab.t.value;
        zMax = std::max(zMax, std::fabs(z));
        fs.phaseScale[s] = 2.0 * k0 * slab.t.value;
        // The reference takes the roughness of the sample surface.
        double sigma =
            part == StackPart::Whole ? slab.sig.value : model.slabs[layers - 1].sig.value;
        fs.roughScale[s] = 2.0 * (k0 * sigma) * (k0 * sigma);
    }
    fs.chiRe[count] = 0.0;
    fs.chiIm[count] = 0.0;
    fs.heightScale = 4.0 * k0 * z;
    fs.phaseBound = 2.0 * k0 * zMax;
    fs.count = count;
}

[[noreturn]] void throwNotFinite(const char* what, int slot, double x, double R, double L,
                                 double bg) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "The %s intensity of F%d at x = %.15g is not finite (R = %.6g, logI0 = %.15g, "
                  "bg = %.15g)",
                  what, slot + 1, x, R, L, bg);
    throw NumberError(text);
}

// Where a curve goes: (lin, lg), and also (lin2, lg2) when they are given.
struct CurveOutput {
    const char* what;  // "calculated" or "reference", for the message of a failure
    std::array<double, MAX_DATA>& lin;
    std::array<double, MAX_DATA>& lg;
    std::array<double, MAX_DATA>* lin2 = nullptr;
    std::array<double, MAX_DATA>* lg2 = nullptr;
};

const fast::KernelTable& activeKernels() {
    static const fast::KernelTable& table = fast::kernels(fast::activeVariant());
    return table;
}

// Points taken together: their angles go through the fast kernel as one batch.
constexpr int CHUNK_POINTS = 64;
// Nodes of a resolution plan taken together.
constexpr int CHUNK_NODES = CHUNK_POINTS * NODES;

// R of `count` angles, each given by a² = (aSqRe, aSqIm), into R: by the kernel when there is
// one, and by the plain recursion for the angles it leaves (for all of them without a kernel).
void reflectAngles(const fast::KernelTable* kernels, const fast::StackConstants& fs,
                   PlainAngles& plain, const double* aSqRe, const double* aSqIm, int count,
                   double* R) {
    if (kernels) {
        kernels->reflect(fs, aSqRe, aSqIm, count, R);
        for (int j = 0; j < count; ++j)
            if (!(R[j] >= 0.0 && R[j] <= DBL_MAX)) R[j] = plain.reflectivity({aSqRe[j], aSqIm[j]});
    } else {
        for (int j = 0; j < count; ++j) R[j] = plain.reflectivity({aSqRe[j], aSqIm[j]});
    }
}

// The scaling of a slot's curve: I = 10^L R + bg, held at 10^(L - 20) from below.
struct Scaling {
    double L;
    double bg;
    double scale;
    double floor;
};

Scaling scalingOf(const DataSet& d) {
    double L = d.logI0.value;
    return {L, d.bg.value, std::pow(10.0, L), std::pow(10.0, L - 20.0)};
}

// The intensity of point i from its averaged R, into the curve's arrays.
void storeIntensity(const CurveOutput& out, const Scaling& s, int slot, double x, int i,
                    double R) {
    double I = s.scale * R + s.bg;
    if (I < s.floor) I = s.floor;
    double logI = std::log10(I);
    if (!std::isfinite(I) || !std::isfinite(logI)) throwNotFinite(out.what, slot, x, R, s.L, s.bg);
    out.lin[i] = I;
    out.lg[i] = logI;
    if (out.lin2) {
        (*out.lin2)[i] = I;
        (*out.lg2)[i] = logI;
    }
}

// The stack of one curve as both paths read it: the kernel's constants (when there is a kernel)
// and the plain recursion for the angles the kernel leaves.
struct CurveStack {
    const fast::KernelTable* kernels;
    PlainAngles plain;
    fast::StackConstants fs;
    Complex ambientSq;

    CurveStack(const ModelStore& store, int slot, StackPart part, const fast::KernelTable* table)
        : kernels(table),
          plain{store, slot, part, TWO_PI / store.dataSet(slot).lamd, std::nullopt},
          ambientSq(ambientIndexSquared(store, slot)) {
        if (kernels) unpackFast(store, slot, part, plain.k0, fs);
        if (fs.count == 0) kernels = nullptr;  // an empty stack: R = 0 without any work
    }
};

// Intensities of the points [first, end) (clamped to the slot's points), averaged over the
// divergence. Without kernels every angle takes the plain recursion; with them the kernel
// computes the angles of CHUNK_POINTS points at a time and the plain recursion those it leaves.
// Per point the same nodes, angles, quadrature, scaling and floor either way; with a footprint
// each node's R is taken times the fraction of the beam on the sample at its angle.
void fillCurve(const ModelStore& store, int slot, StackPart part, const fast::KernelTable* kernels,
               const CurveOutput& out, int first, int end) {
    const DataSet& d = store.dataSet(slot);
    const FootprintSettings& footprint = store.dataOptions[slot].footprint;
    bool withFootprint = footprint.kind != FootprintKind::None;
    // The nodes are symmetric, so a negative divergence acts as its absolute value.
    double sx = std::fabs(d.divergence) * FWHM_TO_SIGMA;
    int nodes = sx == 0.0 ? 1 : NODES;
    Scaling scaling = scalingOf(d);
    int n = std::clamp(d.npoints, 0, MAX_DATA);
    first = std::clamp(first, 0, n);
    end = std::clamp(end, first, n);

    CurveStack stack(store, slot, part, kernels);
    std::array<double, CHUNK_NODES> aSqRe, aSqIm, sineSq, R;
    for (int i0 = first; i0 < end; i0 += CHUNK_POINTS) {
        int i1 = std::min(end, i0 + CHUNK_POINTS);
        int angles = (i1 - i0) * nodes;
        // Every node's a² = n_ambient² sin²θ is taken before any reflectivity.
        for (int i = i0; i < i1; ++i) {
            double xs = d.xData[i] - d.x0_shift.value;
            int j = (i - i0) * nodes;
            for (int k = 0; k < nodes; ++k) {
                double node = nodes == 1 ? xs : xs + NODE_OFFSET[k] * sx;
                sineSq[j + k] = grazingSineSquared(d.xAxis, d.lamd, node);
                aSqRe[j + k] = stack.ambientSq.re * sineSq[j + k];
                aSqIm[j + k] = stack.ambientSq.im * sineSq[j + k];
            }
        }
        reflectAngles(stack.kernels, stack.fs, stack.plain, aSqRe.data(), aSqIm.data(), angles,
                      R.data());
        if (withFootprint)
            for (int j = 0; j < angles; ++j)
                R[j] = footprintFraction(footprint, std::sqrt(sineSq[j])) * R[j];

        for (int i = i0; i < i1; ++i) {
            const double* Rk = &R[(i - i0) * nodes];
            double Rp = Rk[0];
            if (nodes > 1) {
                Rp = 0.0;
                for (int k = 0; k < NODES; ++k) Rp = Rp + NODE_WEIGHT[k] * Rk[k];
            }
            storeIntensity(out, scaling, slot, d.xData[i], i, Rp);
        }
    }
}

// f R (f the footprint fraction) of a stack at `count` values of q (1/Å), each taken at the sine
// λq/4π, held as the q axis holds it.
void reflectAtQ(CurveStack& stack, double lamd, const FootprintSettings& footprint,
                const double* q, int count, double* R) {
    std::array<double, CHUNK_NODES> aSqRe, aSqIm, sineSq;
    for (int k0 = 0; k0 < count; k0 += CHUNK_NODES) {
        int n = std::min(count - k0, CHUNK_NODES);
        for (int j = 0; j < n; ++j) {
            sineSq[j] = grazingSineSquared(2, lamd, q[k0 + j]);
            aSqRe[j] = stack.ambientSq.re * sineSq[j];
            aSqIm[j] = stack.ambientSq.im * sineSq[j];
        }
        reflectAngles(stack.kernels, stack.fs, stack.plain, aSqRe.data(), aSqIm.data(), n,
                      R + k0);
        if (footprint.kind != FootprintKind::None)
            for (int j = 0; j < n; ++j)
                R[k0 + j] = footprintFraction(footprint, std::sqrt(sineSq[j])) * R[k0 + j];
    }
}

// f R at the nodes [first, end) of the slot's resolution plan, into the plan's node values.
void fillNodes(ModelStore& store, int slot, StackPart part, const fast::KernelTable* kernels,
               int first, int end) {
    ResolutionPlan& plan = store.resolutionPlans[slot];
    first = std::clamp(first, 0, plan.nodeCount);
    end = std::clamp(end, first, plan.nodeCount);
    CurveStack stack(store, slot, part, kernels);
    reflectAtQ(stack, store.dataSet(slot).lamd, store.dataOptions[slot].footprint,
               plan.nodeQ.data() + first, end - first, plan.nodeValue.data() + first);
}

// f R of the whole stack at any q, for the resolution plan's checks.
class StackSampler : public ReflectivitySampler {
  public:
    StackSampler(const ModelStore& store, int slot)
        : d_(store.dataSet(slot)),
          footprint_(store.dataOptions[slot].footprint),
          stack_(store, slot, StackPart::Whole, &activeKernels()) {}

    void sample(const double* q, int count, double* R) override {
        reflectAtQ(stack_, d_.lamd, footprint_, q, count, R);
    }

  private:
    const DataSet& d_;
    const FootprintSettings& footprint_;
    CurveStack stack_;
};

// Intensities of the points [first, end) from the node values of the resolution plan: each the
// weighted sum over its window.
void fillFromNodes(const ModelStore& store, int slot, const CurveOutput& out, int first, int end) {
    const ResolutionPlan& plan = store.resolutionPlans[slot];
    const DataSet& d = store.dataSet(slot);
    Scaling scaling = scalingOf(d);
    int n = std::min(std::clamp(d.npoints, 0, MAX_DATA), plan.points);
    first = std::clamp(first, 0, n);
    end = std::clamp(end, first, n);
    for (int i = first; i < end; ++i) {
        const double* w = plan.weight.data() + plan.firstWeight[i];
        const double* v = plan.nodeValue.data() + plan.firstNode[i];
        double Rp = 0.0;
        for (int k = 0; k < plan.nodeSpan[i]; ++k) Rp = Rp + w[k] * v[k];
        storeIntensity(out, scaling, slot, d.xData[i], i, Rp);
    }
}

// A curve of the points [first, end), averaged over the slot's resolution: the divergence, or
// the pointwise resolution through the plan (made or brought up to date first).
void fillResolved(ModelStore& store, int slot, StackPart part, const fast::KernelTable* kernels,
                  const CurveOutput& out, int first, int end) {
    if (!pointwiseResolution(store.dataOptions[slot])) {
        fillCurve(store, slot, part, kernels, out, first, end);
        return;
    }
    ResolutionPlan& plan = store.resolutionPlans[slot];
    int n = std::clamp(store.dataSet(slot).npoints, 0, MAX_DATA);
    // The reference reads the plan that its curve made, while that serves these points.
    const DataSet& d = store.dataSet(slot);
    bool serves = plan.valid && plan.points == n && plan.weightShift == d.x0_shift.value &&
                  plan.weightScale == store.dataOptions[slot].resolution.scale.value;
    if (part == StackPart::Whole || !serves || plan.frozen) prepareResolution(store, slot);
    n = std::min(n, plan.points);
    first = std::clamp(first, 0, n);
    end = std::clamp(end, first, n);
    // A plan made just now already holds the whole stack's node values.
    bool fresh = part == StackPart::Whole && plan.nodesFresh && kernels == &activeKernels();
    plan.nodesFresh = false;
    if (!fresh) {
        NodeRange nodes = resolutionNodesOf(plan, first, end);
        fillNodes(store, slot, part, kernels, nodes.first, nodes.end);
    }
    fillFromNodes(store, slot, out, first, end);
}

CurveOutput calculatedOutput(DataSet& d, bool simulate) {
    return {"calculated", d.calcLin, d.calcLog, simulate ? &d.yLin : nullptr,
            simulate ? &d.yLog : nullptr};
}

void fillCalculated(ModelStore& store, int slot, bool simulate, const fast::KernelTable* kernels,
                    int first, int end) {
    fillResolved(store, slot, StackPart::Whole, kernels,
                 calculatedOutput(store.dataSet(slot), simulate), first, end);
}

void fillReference(ModelStore& store, int slot, const fast::KernelTable* kernels) {
    DataSet& d = store.dataSet(slot);
    fillResolved(store, slot, StackPart::Substrate, kernels, {"reference", d.rfLin, d.rfLog}, 0,
                 MAX_DATA);
}

}  // namespace

std::unique_ptr<ReflectivitySampler> makeStackSampler(const ModelStore& store, int slot) {
    return std::make_unique<StackSampler>(store, slot);
}

double grazingAngle(int xAxis, double lamd, double x) {
    if (xAxis == 0) {
        if (x < 1e-5) x = 1e-5;
        return RAD_PER_DEG * x;
    }
    if (xAxis == 1) {
        if (x < 2e-5) x = 2e-5;
        return 0.5 * RAD_PER_DEG * x;
    }
    // Beyond q = 4π/λ there is no angle: the sine is held at ±1, so that such a point is computed
    // at 90° (and a negative one falls to the floor below).
    double theta = thetaOfQ(lamd, x);
    if (theta < MIN_Q_ANGLE) theta = MIN_Q_ANGLE;
    return theta;
}

double grazingSineSquared(int xAxis, double lamd, double x) {
    if (xAxis == 0 || xAxis == 1) {
        // The held angle as grazingAngle holds it: θ = degrees · π/180 as a sum of two doubles,
        // sinθ as sin θ_hi + cos θ_hi · θ_lo, squared exactly, rounded once.
        double degrees = xAxis == 0 ? std::max(x, 1e-5) : 0.5 * std::max(x, 2e-5);
        double thetaHi, thetaErr;
        twoProduct(degrees, RAD_PER_DEG, thetaHi, thetaErr);
        double thetaLo = thetaErr + degrees * RAD_PER_DEG_TAIL;
        double sine = 0.0, cosine = 0.0;
        ::sincos(thetaHi, &sine, &cosine);
        double sineLo = cosine * thetaLo;
        double square, squareErr;
        twoProduct(sine, sine, square, squareErr);
        return square + (squareErr + 2.0 * sine * sineLo);
    }
    // On the q axis the sine is λq/4π itself, held as grazingAngle holds the angle.
    static const long double minimum = std::sin(static_cast<long double>(MIN_Q_ANGLE));
    long double sine = std::clamp(static_cast<long double>(lamd) * x / FOUR_PI_LONG, minimum, 1.0L);
    return static_cast<double>(sine * sine);
}

// a² = n_ambient² sin²θ of one grazing angle.
Complex angleTerm(const ModelStore& store, int slot, double theta) {
    long double sine = std::sin(static_cast<long double>(theta));
    return static_cast<double>(sine * sine) * ambientIndexSquared(store, slot);
}

double slabReflectivity(const ModelStore& store, int slot, double theta) {
    double k0 = TWO_PI / store.dataSet(slot).lamd;
    fast::StackConstants fs;
    unpackFast(store, slot, StackPart::Whole, k0, fs);
    PlainAngles plain{store, slot, StackPart::Whole, k0, std::nullopt};
    Complex aSq = angleTerm(store, slot, theta);
    if (fs.count == 0) return plain.reflectivity(aSq);
    double R = 0.0;
    activeKernels().reflect(fs, &aSq.re, &aSq.im, 1, &R);
    return R >= 0.0 && R <= DBL_MAX ? R : plain.reflectivity(aSq);
}

double slabReflectivityPlain(const ModelStore& store, int slot, double theta) {
    StackOptics st;
    unpackStack(store, slot, st);
    return stackReflectivity(st, angleTerm(store, slot, theta), TWO_PI / store.dataSet(slot).lamd);
}

void computeReflectivity(ModelStore& store, int slot, bool simulate) {
    fillCalculated(store, slot, simulate, &activeKernels(), 0, MAX_DATA);
}

void computeReflectivityRange(ModelStore& store, int slot, bool simulate, int firstPoint,
                              int endPoint) {
    fillCalculated(store, slot, simulate, &activeKernels(), firstPoint, endPoint);
}

void computeFresnelReference(ModelStore& store, int slot) {
    fillReference(store, slot, &activeKernels());
}

void computeReflectivityNodes(ModelStore& store, int slot, int firstNode, int endNode) {
    fillNodes(store, slot, StackPart::Whole, &activeKernels(), firstNode, endNode);
}

void computeReflectivityFromNodes(ModelStore& store, int slot, bool simulate, int firstPoint,
                                  int endPoint) {
    fillFromNodes(store, slot, calculatedOutput(store.dataSet(slot), simulate), firstPoint,
                  endPoint);
}

void computeReflectivityPlain(ModelStore& store, int slot, bool simulate) {
    fillCalculated(store, slot, simulate, nullptr, 0, MAX_DATA);
}

void computeFresnelReferencePlain(ModelStore& store, int slot) {
    fillReference(store, slot, nullptr);
}

namespace fast {

void computeReflectivityWith(Variant v, ModelStore& store, int slot, bool simulate, int firstPoint,
                             int endPoint) {
    fillCalculated(store, slot, simulate, &kernels(v), firstPoint, endPoint);
}

void computeFresnelReferenceWith(Variant v, ModelStore& store, int slot) {
    fillReference(store, slot, &kernels(v));
}

}  // namespace fast

}  // namespace tolvi
